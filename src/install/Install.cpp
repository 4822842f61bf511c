// UnzipArchive and DeleteFolder: one archive through the extraction engine, one folder
// through the shell's file operation.
#include "install/Install.h"

#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <string>

#include "unzip/UnZip.h"

namespace install {

namespace {

// The engine takes paths in the ANSI code page. A path with characters that the code
// page cannot hold is given by its short (8.3) form when the file system has one; else
// the converted text goes on, and the engine reports the file it cannot find.
std::string EnginePath(const std::wstring& path) {
  auto convert = [](const std::wstring& text, bool& lossy) {
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                   static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        result.data(), size, nullptr, &usedDefault);
    lossy = usedDefault != FALSE;
    return result;
  };
  bool lossy = false;
  std::string result = convert(path, lossy);
  if (!lossy) return result;
  DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return result;
  std::wstring shortPath(size, L'\0');
  size = GetShortPathNameW(path.c_str(), shortPath.data(), size);
  shortPath.resize(size);
  bool shortLossy = false;
  std::string converted = convert(shortPath, shortLossy);
  return shortLossy ? result : converted;
}

}  // namespace

bool UnzipArchive(const std::wstring& archivePath, const std::wstring& targetDir) {
  TUnZip unzip;
  // Reading the directory is not guarded: a damaged archive stops the caller.
  unzip.SetZipName(EnginePath(archivePath));
  unzip.LoadDirectory();
  unzip.SetDestDir(EnginePath(targetDir));
  unzip.RecreateDirs = true;
  unzip.FilesList().push_back("*.*");
  unzip.DoAll = true;
  unzip.OverwriteMode = TUZOverwriteMode::Always;
  try {
    unzip.ExtractFiles();
    return true;
  } catch (const std::exception&) {
    // Whatever ended the run (engine errors, a file that is no archive, memory), the
    // answer is only that it did not run to its end.
    return false;
  }
}

bool DeleteFolder(const std::wstring& folderPath) {
  if (folderPath.empty() || folderPath.find_first_of(L"*?") != std::wstring::npos) return false;
  // The ".." steps of the path compositions are resolved first: the recycle bin keeps
  // the original location of what it receives.
  std::wstring from = folderPath;
  DWORD size = GetFullPathNameW(folderPath.c_str(), 0, nullptr, nullptr);
  if (size != 0) {
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(folderPath.c_str(), size, full.data(), nullptr);
    if (size != 0 && size < full.size()) from.assign(full.data(), size);
  }
  // The shell takes a list of paths ended by an empty one: the path, its terminating
  // zero and one more, however long the path is.
  from.push_back(L'\0');
  from.push_back(L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.hwnd = nullptr;
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.pTo = nullptr;
  operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
  return SHFileOperationW(&operation) == 0;
}

}  // namespace install
