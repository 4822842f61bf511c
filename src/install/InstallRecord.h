// The record of what each installed add-on folder was installed from, and into which
// game: the size and SHA-256 of the archive it unpacked, under the installation root
// (the game's Mods folder) it went to. One small UTF-8 file beside the executable
// ("Installed.txt"), one line per folder: "<sha256>\t<size>\t<folder>", so folder names
// of any script survive whatever the system's ANSI code page is. A line
// "#game\t<installation root>" starts the folders of one game. Folders and roots compare
// without regard to case, as the file system does.
//
// Older managers read the folder lines and skip the game lines; the folder lines they
// write, before any game line, name no game. Such an entry stands for a folder of any
// game that has no entry of its own, until an install or removal of that folder replaces
// it. Folders installed by hand have no entry: nothing can be said about which archive
// they came from.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "install/ArchiveDigest.h"

namespace install {

class TInstallRecord {
 public:
  // Reads the record file; a missing file is an empty record, and lines that cannot be
  // read are left out. A file that exists but cannot be read whole is an empty record
  // that is Unreadable().
  static TInstallRecord Load(const std::wstring& path);
  // Writes the record file whole (a new file renamed over the old one). False when it
  // cannot be written, and always for an Unreadable() record, which would lose what the
  // file holds; the old file then stays.
  bool Save(const std::wstring& path) const;
  bool Unreadable() const { return FUnreadable; }

  bool Empty() const { return FEntries.empty(); }
  // The entry of a folder (trimmed of blanks) installed under installation root `root`,
  // else the folder's entry that names no game, else null.
  const TArchiveDigest* Find(std::wstring_view root, std::wstring_view folder) const;
  // Replaces the folder's entries for `root` and the one that names no game.
  void Set(std::wstring_view root, std::wstring_view folder, const TArchiveDigest& digest);
  void Remove(std::wstring_view root, std::wstring_view folder);

 private:
  struct TEntry {
    std::wstring Root;    // full path of the installation root; empty: no game named
    std::wstring Folder;  // as installed, trimmed
    TArchiveDigest Digest;
  };
  // Case-folded root + "\t" + case-folded folder -> entry.
  static void Key(std::wstring_view fullRoot, std::wstring_view folder, std::wstring& key);
  static inline const std::wstring kNoGame;
  std::unordered_map<std::wstring, TEntry> FEntries;
  bool FUnreadable = false;
  // Buffers reused by lookups: the status check asks once per installed row, with one
  // root.
  mutable std::wstring FKey;
  mutable std::wstring FLastRoot;
  mutable std::wstring FLastFullRoot;
};

// exe dir + "Installed.txt"
std::wstring InstallRecordPath();

}  // namespace install
