// The record of what each installed add-on folder was installed from: the size and
// SHA-256 of the archive it unpacked. One small UTF-8 file beside the executable
// ("Installed.txt"), one line per folder: "<sha256>\t<size>\t<folder>", so folder names
// of any script survive whatever the system's ANSI code page is. Folders compare without
// regard to case, as the file system does.
//
// Folders installed by hand or by an older manager have no entry: nothing can be said
// about which archive they came from.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "install/ArchiveDigest.h"

namespace install {

class TInstallRecord {
 public:
  // Reads the record file; a missing or unreadable file is an empty record, and lines
  // that cannot be read are left out.
  static TInstallRecord Load(const std::wstring& path);
  // Writes the record file whole (a new file renamed over the old one). False when it
  // cannot be written; the old file then stays.
  bool Save(const std::wstring& path) const;

  bool Empty() const { return FEntries.empty(); }
  // The entry of a folder (trimmed of blanks), or null.
  const TArchiveDigest* Find(std::wstring_view folder) const;
  void Set(std::wstring_view folder, const TArchiveDigest& digest);
  void Remove(std::wstring_view folder);

 private:
  struct TEntry {
    std::wstring Folder;  // as installed, trimmed
    TArchiveDigest Digest;
  };
  // Case-folded folder -> entry.
  std::unordered_map<std::wstring, TEntry> FEntries;
  // A buffer reused by lookups: the status check asks once per installed row.
  mutable std::wstring FKey;
};

// exe dir + "Installed.txt"
std::wstring InstallRecordPath();

}  // namespace install
