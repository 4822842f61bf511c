// The path compositions every part of the program shares. The ".." steps are kept as
// written; the file system resolves them.
#pragma once

#include <string>
#include <string_view>

namespace config {

// Directory of the running executable, with a trailing "\".
std::wstring ExeDir();
std::wstring ExePath();
std::wstring ConfigIniPath();  // exe dir + "Config.ini"
std::wstring UpdateIniPath();  // exe dir + "UPdate.ini"
// exe dir + "Published.txt": the newest publication time accepted of Data.xml and of
// UPdate.ini (signing/PublicationTime.h).
std::wstring PublicationRecordPath();
std::wstring ZipCacheDir();  // exe dir + "zip\"

// Leading and trailing blanks (and control characters) removed.
std::wstring Trim(const std::wstring& text);
// The same as a view into `text`.
std::wstring_view TrimView(std::wstring_view text);
// The game path counts as set when it is not empty after trimming.
bool IsGamePathSet(const std::wstring& gamePath);
// Directory part of a path, without a trailing separator (a drive root keeps its "\").
std::wstring ExtractFileDir(const std::wstring& path);
std::wstring GameDir(const std::wstring& gamePath);
// game dir + "\..\data\Mods\"
std::wstring InstallRoot(const std::wstring& gamePath);
// game dir + "\..\data\Mods\Addons\" + trimmed folder
std::wstring AddonFolderPath(const std::wstring& gamePath, const std::wstring& folder);
// exe dir + "zip\" + trimmed folder + ".zip", in the long form (ui/LongPath.h)
std::wstring ArchiveCachePath(const std::wstring& folder);

}  // namespace config
