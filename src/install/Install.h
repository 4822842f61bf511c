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

// Unpacks every entry of the archive at `archivePath` under `targetDir`, keeping the
// stored directories and replacing existing files. Entries whose names would leave
// `targetDir` are skipped by the engine.
//
// Reading the archive's directory happens before anything is unpacked, and its errors
// (an archive whose directory can be neither read nor rebuilt, a file that cannot be
// opened) leave this function as the engine's exceptions. Afterwards it answers true
// when the extraction ran to its end, whatever it extracted, and false when an error
// ended it (a file that is not a ZIP archive at all ends up here). An empty file is an
// archive without entries: true.
bool UnzipArchive(const std::wstring& archivePath, const std::wstring& targetDir);

// Moves the folder (or file) at `folderPath`, with its contents, to the recycle bin:
// no confirmation, no progress window, no owner window. Any path length is accepted.
// Answers true when the shell reports success. Paths with wildcard characters are
// refused (false) without calling the shell, which would expand them to other items.
bool DeleteFolder(const std::wstring& folderPath);

}  // namespace install
