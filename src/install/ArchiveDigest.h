// What an archive is, for telling versions apart: its size and SHA-256. Hashing uses the
// platform's CNG provider; it reads the whole file, so callers do it once per archive
// that lands or installs, never while walking the list.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace install {

struct TArchiveDigest {
  long long Size = -1;
  std::string Sha256;  // 64 lowercase hex digits
  bool operator==(const TArchiveDigest&) const = default;
};

// What the catalogue says an archive must be. Each part is optional: Size < 0 and an
// empty Sha256 ask for nothing.
struct TArchiveExpectation {
  long long Size = -1;
  std::string Sha256;  // 64 lowercase hex digits, or empty
  bool Any() const { return Size >= 0 || !Sha256.empty(); }
  bool Matches(const TArchiveDigest& digest) const {
    return (Size < 0 || Size == digest.Size) && (Sha256.empty() || Sha256 == digest.Sha256);
  }
};

// The catalogue's texts of plugsize (decimal bytes) and plugsha256 (64 hex digits, either
// case). A malformed or missing text asks for nothing.
TArchiveExpectation ParseExpectation(std::wstring_view sizeText, std::wstring_view sha256Text);

// Size and SHA-256 of everything `file` holds from its current position on (an open
// handle with read access). nullopt when it cannot be read or hashed.
std::optional<TArchiveDigest> DigestOf(HANDLE file);
// The same for the file at `path`, opened for reading while others may read it.
std::optional<TArchiveDigest> DigestOfFile(const std::wstring& path);

// An archive held open for reading while others may only read it: nobody can replace or
// delete it until Close() or the end of the object.
class TOpenArchive {
 public:
  explicit TOpenArchive(const std::wstring& path);
  ~TOpenArchive() { Close(); }
  TOpenArchive(const TOpenArchive&) = delete;
  TOpenArchive& operator=(const TOpenArchive&) = delete;
  // Size and SHA-256 of the whole archive; nullopt when it could not be opened or read.
  std::optional<TArchiveDigest> Digest();
  void Close();

 private:
  HANDLE FFile;
};

}  // namespace install
