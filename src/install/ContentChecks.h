// Checks of what a download brought before it may replace the file we already have,
// and of the folder names the catalogue hands us before they become paths.
#pragma once

#include <string>
#include <string_view>

namespace install {

// True when the file ends with a ZIP end-of-central-directory record whose comment
// reaches exactly to the end of the file (what any archive we can read has).
bool LooksLikeZipArchive(const std::wstring& path);

// True when the file is a small text file whose first meaningful line is an INI section
// header ("[name]"): what a version file is, and what an HTML error page is not.
bool LooksLikeIniFile(const std::wstring& path);

// A downloaded version file that may replace the cached one: it looks like an INI file
// and is whole. Unless its length proved that, it must state its number (section
// "updataver", key "ver") and end with a line break, as the publisher writes it: a
// cut-off "ver=12" would otherwise read "ver=1".
bool IsCompleteVersionFile(const std::wstring& path, bool lengthProven);

// True when `folder`, trimmed of blanks, names one plain folder: not empty, at most 251
// characters (its cached archive "<folder>.zip" is one name of at most 255), not ending in a dot
// (which also refuses ".", ".." and "..."), not a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
// also with an extension), and without
// "\", "/", ":", wildcards ("*", "?"), the other characters no file name may hold ("<",
// ">", "|", '"') or control characters. Anything else would make the paths built from
// it point outside the add-on directory or the archive cache, name more than one
// folder, or be read by Windows as another name or a device.
bool IsPlainFolderName(std::wstring_view folder);

}  // namespace install
