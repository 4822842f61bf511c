// Unpacking one add-on archive into the game directory and sending one add-on folder to
// the recycle bin. Both run on the window thread; the unpacking pumps the window's
// messages while it works, so callers must keep their own commands from starting a
// second operation meanwhile.
//
// Deliberately not here: choosing which rows to act on, and any check that a folder
// path names an add-on folder (callers build it from a name that passed
// IsPlainFolderName).
#pragma once

#include <string>

namespace install {

// Unpacks the archive at `archivePath` under `targetDir` all or nothing: the entries go
// into a staging folder inside `targetDir` (so on its volume), and only when every one
// of them was written with a good CRC do the staged files replace the installed ones by
// rename; files the archive does not hold stay. True when the archive was installed.
// False, with nothing under `targetDir` changed and the staging folder gone, when the
// archive cannot be opened or read, is no ZIP archive, has an entry that is skipped
// (a path that leaves the target, an encrypted entry, a name that cannot be created), a
// bad CRC or an unknown method, or when an installed file stands in the way (read-only,
// a file where the archive has a folder). An empty file is an archive without entries:
// true. Never throws for what the archive holds.
bool UnzipArchive(const std::wstring& archivePath, const std::wstring& targetDir);

// Removes what an install or removal that never ended (a crash, a killed process) left
// in `installRoot`: staging and replaced files go; add-on folders that a removal had
// deleted for good but not yet put back return to installRoot\Addons.
void CleanUpWork(const std::wstring& installRoot);

enum class TRecycleResult {
  Recycled,    // the folder is in the recycle bin
  Refused,     // the shell left the folder (in use, access denied): nothing is lost
  NotTaken,    // the recycle bin could not take it: the shell deleted it for good, and it
               // has been put back as it was; only a permanent deletion can remove it
  Unverified,  // no second name could be made for its files, so whether the bin takes
               // it cannot be known beforehand; nothing was done
};

// Moves the folder at `folderPath` to the recycle bin without ever losing it for good:
// every file first gets a second name (a hard link) under `installRoot`, on the same
// volume; a file left with only that name after the shell's delete shows that the bin
// did not take the folder (no bin on the drive, a folder too large for it, Wine without
// a trash), and the folder is then put back. The caller asks the user before it
// deletes a NotTaken folder for good (DeleteTree).
TRecycleResult RecycleFolder(const std::wstring& folderPath, const std::wstring& installRoot);

// Hands the folder (or file) at `folderPath`, with its contents, to the shell's delete
// to the recycle bin: no confirmation, no progress window, no owner window. Where the
// bin cannot take it, the shell deletes it for good. Any path length is accepted.
// Answers true when the shell reports success. Paths with wildcard characters are
// refused (false) without calling the shell, which would expand them to other items.
bool DeleteFolder(const std::wstring& folderPath);

}  // namespace install
