// Paths in the form the file functions take beyond 260 characters ("\\?\C:\..." and
// "\\?\UNC\server\share\..."), for files whose names may be long: the archive cache, the
// temporary files of downloads.
#pragma once

#include <string>

namespace ui {

// The full path of `path` (".." steps resolved, relative to the current folder) in the
// long form; one already in that form is returned as it is.
std::wstring LongPath(const std::wstring& path);
// `path` without the long-form prefix, as the user knows it.
std::wstring PlainPath(const std::wstring& path);

}  // namespace ui
