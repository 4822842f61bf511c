// Unpacking one add-on archive into the game directory and sending one add-on folder to
// the recycle bin. Both run on the window thread; the unpacking pumps the window's
// messages while it works, so callers must keep their own commands from starting a
// second operation meanwhile.
//
// Deliberately not here: choosing which rows to act on, any check that a folder path
// names an add-on folder (callers build it from a name that passed IsPlainFolderName),
// and the texts that tell the user what happened.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "install/ArchiveDigest.h"

namespace install {

enum class TInstallFailure {
  None,
  Unreadable,   // the archive cannot be opened, is no ZIP archive, or its directory is damaged
  Damaged,      // an entry's data is damaged (a bad CRC, an unreadable local header)
  Unsupported,  // an entry is encrypted or packed by a method the engine does not know
  BadName,      // an entry's path leaves the target or names what cannot be created
  WriteError,   // the unpacked files could not be written (a full disk)
  ReadOnly,     // an installed file in the way is read-only
  Clash,        // an installed file stands where the archive has a folder, or the reverse
  Refused,      // an installed file could not be replaced (in use by the game, a scanner)
  Kept,         // as Refused, and putting everything back was refused too: the replaced
                // files wait in KeptFolder until a later CleanUpWork puts them back
  NothingKept,  // a rollback found no kept version of the add-on
  KeptDamaged,  // a rollback found the kept version damaged or partly missing
  Link,         // the staging folder holds a link (Path), which is never moved
};

struct TInstallResult {
  TInstallFailure Failure = TInstallFailure::None;
  std::wstring Path;        // the installed file or folder in the way (ReadOnly to Kept, Link)
  unsigned long Code = 0;   // the system's error code of Refused and Kept
  std::wstring KeptFolder;  // Kept only
  explicit operator bool() const { return Failure == TInstallFailure::None; }
};

// Unpacks the archive at `archivePath` under `targetDir` all or nothing: the entries go
// into a staging folder inside `targetDir`, and only when every one of them was written
// with a good CRC do the staged files replace the installed ones by rename (a copy where
// a directory link leads to another volume); files the archive does not hold stay.
// Paths are not limited to 260 characters. On failure nothing under `targetDir` has
// changed (except for Kept) and the staging folder is gone; the result says why. An
// empty file is an archive without entries. Never throws for what the archive holds.
// An archive with an entry, at any level, that the file system takes for one of our
// work folders (IsWorkName, or a short name of one in place) is refused whole: BadName.
TInstallResult UnzipArchive(const std::wstring& archivePath, const std::wstring& targetDir);

// The version of an add-on folder ("Addons\<name>" under the install root) that the last
// install replaced is kept, one deep, as a copy in a work folder of the install root,
// with the size and SHA-256 of the archive it was installed from when known. A copy
// shares no file with the installed folder: whatever happens to one leaves the other.

// Before an install replaces the add-on folder `name`: copies it as it is on disk, with
// `origin` (null when unknown), beside the version kept so far. True when there is no
// such folder (nothing to keep) or the copy was made whole; false when it could not be
// (a full disk): nothing is then prepared, and the install may go on without.
bool PrepareKeep(const std::wstring& installRoot, const std::wstring& name,
                 const TArchiveDigest* origin);

// After the install that PrepareKeep came before: when it installed, the prepared copy
// becomes the kept version and the one kept before goes; otherwise the copy goes.
void FinishKeep(const std::wstring& installRoot, const std::wstring& name, bool installed);

// The names of the add-on folders that have a kept version, as on disk.
std::vector<std::wstring> KeptVersions(const std::wstring& installRoot);

// What the kept version of `name` was installed from, when it is known.
std::optional<TArchiveDigest> KeptOrigin(const std::wstring& installRoot, const std::wstring& name);

// Sends the kept version of `name` to the recycle bin (its add-on has been removed).
void DropKeptVersion(const std::wstring& installRoot, const std::wstring& name);

// Puts back the kept version of the add-on folder `name`, all or nothing, with the
// staging and undo of UnzipArchive; the folder then holds exactly the kept files. The
// version it replaces (installed from `origin`, null when unknown) becomes the kept
// one, so a second rollback returns to it. NothingKept and KeptDamaged change nothing;
// WriteError when the replaced version cannot be kept. On success `restored` receives
// what the version put back was installed from (nullopt when unknown).
TInstallResult RollBack(const std::wstring& installRoot, const std::wstring& name,
                        const TArchiveDigest* origin, std::optional<TArchiveDigest>* restored);

// Finishes what earlier installs and removals in `installRoot` left: staging folders
// and the leftovers of an interrupted install go; files that an undo or a removal could
// not put back are put back now. Answers the folders that still hold such files.
// Work folders whose contents no install or removal of ours can have made there (steps
// naming paths outside `installRoot`, a hold without its list or with files the list
// lacks) are never acted on: `foreign` receives them.
std::vector<std::wstring> CleanUpWork(const std::wstring& installRoot,
                                      std::vector<std::wstring>* foreign = nullptr);

enum class TRecycleResult {
  Recycled,    // the folder is in the recycle bin
  Refused,     // the shell left the folder (in use, access denied): nothing is lost
  NotTaken,    // the recycle bin could not take it: the shell deleted it for good, and it
               // has been put back as it was; only a permanent deletion can remove it
  Unverified,  // no second name or copy could be made of its files, so whether the bin
               // takes it cannot be known beforehand; nothing was done
  Held,        // the bin could not take it and putting it back was refused, or files of an
               // earlier such removal still wait: they are kept in the hold folder
};

// Moves the folder at `folderPath` to the recycle bin without ever losing it for good:
// every file first gets a second name (a hard link) under `installRoot`, or, where the
// file system has no hard links, a copy. A file left with only that name after the
// shell's delete (or, for copies, a recycle bin that did not grow) shows that the bin
// did not take the folder (no bin on the drive, a folder too large for it, Wine without
// a trash), and the folder is then put back. The caller asks the user before it deletes
// a NotTaken folder for good (DeleteTree). For Held, `holdPath` receives the folder
// where the files wait.
TRecycleResult RecycleFolder(const std::wstring& folderPath, const std::wstring& installRoot,
                             std::wstring* holdPath = nullptr);

// Hands the folder (or file) at `folderPath`, with its contents, to the shell's delete
// to the recycle bin: no confirmation, no progress window, no owner window. Where the
// bin cannot take it, the shell deletes it for good. Any path length is accepted.
// Answers true when the shell reports success. Paths with wildcard characters are
// refused (false) without calling the shell, which would expand them to other items.
bool DeleteFolder(const std::wstring& folderPath);

}  // namespace install
