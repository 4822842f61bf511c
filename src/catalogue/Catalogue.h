// The catalogue Data.xml: one root `plug` with one `Item` per add-on, each carrying the
// attributes plugName, plugid, plugfolder, plugdescribe and plugauthor, and optionally
// plugsize and plugsha256 (what the add-on's archive must be).
//
// Loading fetches the document's bytes itself (no cache, a size cap), refuses what it
// cannot safely hand to the XML service (a DTD, entity declarations, encodings whose
// markup it cannot see), and only then lets MSXML parse the bytes. MSXML on Wine
// ignores ProhibitDTD, so this check is what keeps a hostile catalogue from expanding
// entities or reading local files, on Wine and on Windows alike.
//
// The last catalogue that verified is kept beside the executable with its signature, and
// is what a load shows when the server cannot be reached; it is verified again when read.
//
// What it deliberately does not do: retry, or examine element names (every child of the
// root is an item).
//
// Every failure is an ECatalogueError whose message tells the user what went wrong.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Exception.h"

namespace catalogue {

class ECatalogueError : public Exception {
 public:
  explicit ECatalogueError(std::string message, bool serverUnreachable = false)
      : Exception(std::move(message)), FServerUnreachable(serverUnreachable) {}
  // The update server could not be reached or did not serve (no connection, a time-out,
  // a 5xx answer...): nothing was refused.
  bool ServerUnreachable() const { return FServerUnreachable; }

 private:
  bool FServerUnreachable;
};

// Documents larger than this are refused before parsing.
inline constexpr size_t kMaxCatalogueBytes = 4 * 1024 * 1024;

// The five attributes of one item, in the order the document carries them, and the two
// optional ones (empty when absent; their values are not checked here).
struct TCatalogueItem {
  std::wstring Name;           // plugName
  std::wstring Id;             // plugid
  std::wstring Folder;         // plugfolder
  std::wstring Description;    // plugdescribe
  std::wstring Author;         // plugauthor
  std::wstring ArchiveSize;    // plugsize
  std::wstring ArchiveSha256;  // plugsha256
};

// The update server's address of the catalogue: scheme://update-host/Data.xml.
std::wstring CatalogueUrl();

// GETs `url` past every cache and returns the body. Fails when the server cannot be
// reached, answers other than 200, cuts the body short of its Content-Length, or sends
// more than `maxBytes`.
std::string FetchCatalogueBytes(const std::wstring& url, size_t maxBytes = kMaxCatalogueBytes);

// With a publisher key in this build, fetches url + ".sig" and refuses bytes it does not
// sign: a missing, unreachable or malformed signature file or a signature that does not
// verify. Returns the signature; does nothing and returns "" in a build that verifies
// nothing.
std::string VerifyCatalogueSignature(const std::wstring& url, const std::string& bytes);

// The copy of the last catalogue that verified: `path` holds its bytes, path + ".sig"
// its signature (none in a build that verifies nothing).
struct TSavedCatalogue {
  std::string Bytes;
  std::wstring SavedAt;  // local time of the save: "12/08 17:30", "2025/12/08 17:30"
};
// Replaces the saved copy with these bytes and their signature, each file written whole
// before it replaces the old one. False when they cannot be written.
bool SaveCatalogue(const std::wstring& path, const std::string& bytes,
                   const std::string& signature);
// The saved copy; nullopt when none was saved. Throws ECatalogueError when it cannot be
// read, when (with a publisher key) its signature is missing or does not verify, or
// when CheckCatalogueBytes refuses it.
std::optional<TSavedCatalogue> LoadSavedCatalogue(const std::wstring& path);

// The publication time the catalogue's root element carries in its attribute
// `published` (ASCII, whatever the document's encoding), "" when it carries none.
std::string PublishedTime(const std::string& bytes);

// With a publisher key in this build, refuses verified catalogue bytes that are older
// than the newest catalogue accepted before (the record at recordPath, entry
// "Data.xml"), or that carry no time once one is recorded; with `accept`, records a
// newer time. Does nothing in a build that verifies nothing.
void CheckCataloguePublished(const std::string& bytes, const std::wstring& recordPath, bool accept);

// Refuses bytes that must not reach the XML parser: more than kMaxCatalogueBytes, a
// "<!DOCTYPE" or "<!ENTITY" anywhere, a NUL, or an encoding this check cannot read
// (anything but UTF-16 and ASCII-compatible encodings such as UTF-8 and Big5).
void CheckCatalogueBytes(const std::string& bytes);

// A parsed catalogue. A plain one (a root holding only items with all five attributes)
// is read in one SAX pass and kept as its items; any other keeps its MSXML document,
// which reads and words each item. Either needs the COM apartment of the calling thread
// (window thread); use and destroy it on that thread.
class TCatalogueDocument {
 public:
  // Parses checked bytes (see CheckCatalogueBytes); throws with MSXML's reason, line and
  // column when they are not well-formed.
  static TCatalogueDocument Parse(const std::string& bytes);

  TCatalogueDocument(TCatalogueDocument&&) noexcept;
  TCatalogueDocument& operator=(TCatalogueDocument&&) noexcept;
  ~TCatalogueDocument();

  // Number of child nodes of the root element.
  int ItemCount() const;
  // The attributes of child node `index` (0-based). Throws, naming the item (1-based)
  // and the attribute, when the node is not an element or lacks an attribute.
  TCatalogueItem Item(int index) const;

  class TImpl;

 private:
  explicit TCatalogueDocument(std::unique_ptr<TImpl> impl);
  std::unique_ptr<TImpl> FImpl;
};

// Writes `items` as a catalogue to `path`: XML 1.0, UTF-8, standalone, one indented
// Item per line under plug, attributes in the order above. Replaces an existing file
// only once the new one is complete.
void ExportCatalogue(const std::vector<TCatalogueItem>& items, const std::wstring& path);

}  // namespace catalogue
