// UnzipArchive, RecycleFolder and DeleteFolder: one archive through the extraction
// engine into a staging folder and from there into place, one folder through the
// shell's file operation.
#include "install/Install.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <exception>
#include <string>

#include "install/FileTree.h"
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

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

const wchar_t kStagingName[] = L".VornisTools-staging";
const wchar_t kParkingName[] = L".VornisTools-replaced";
const wchar_t kHoldName[] = L".VornisTools-removal";

// The path with its ".." steps resolved and without a trailing separator.
std::wstring FullPath(const std::wstring& path) {
  std::wstring full = path;
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size != 0) {
    std::wstring buffer(size, L'\0');
    size = GetFullPathNameW(path.c_str(), size, buffer.data(), nullptr);
    if (size != 0 && size < buffer.size()) full.assign(buffer.data(), size);
  }
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  return full;
}

std::wstring LeafName(const std::wstring& path) {
  return path.substr(path.find_last_of(L"\\/") + 1);
}

// Runs the engine over the whole archive into `dest`: true only when every entry was
// written with a good CRC. Nothing it meets reaches the user as a box or an exception.
bool ExtractComplete(const std::wstring& archivePath, const std::wstring& dest) {
  try {
    TUnZip unzip;
    bool clean = true;
    unzip.OnBadCRC = [&clean](TUnZip*, uint32_t, uint32_t, int) { clean = false; };
    unzip.OnSkippingFile = [&clean](TUnZip*, TSkipReason, const std::string&, int, bool&) {
      clean = false;
    };
    // An unknown method or a table that cannot be allocated fails the archive.
    unzip.OnHandleMessage = [&clean](TUnZip*, int, const std::string&, const std::string&, uint32_t,
                                     int& answer) {
      clean = false;
      answer = IDCANCEL;
    };
    unzip.SetZipName(EnginePath(archivePath));
    unzip.LoadDirectory();
    unzip.SetDestDir(EnginePath(dest));
    unzip.RecreateDirs = true;
    unzip.FilesList().push_back("*.*");
    unzip.DoAll = true;
    unzip.OverwriteMode = TUZOverwriteMode::Always;
    unzip.ExtractFiles();
    return clean;
  } catch (const std::exception&) {
    // Whatever ended the run (a damaged directory, a file that is no archive, memory),
    // the archive did not extract whole.
    return false;
  }
}

}  // namespace

bool UnzipArchive(const std::wstring& archivePath, const std::wstring& targetDir) {
  const std::wstring target = FullPath(targetDir);
  const std::wstring staging = target + L"\\" + kStagingName;
  const std::wstring parking = target + L"\\" + kParkingName;
  DeleteTree(staging);
  DeleteTree(parking);
  SHCreateDirectoryExW(nullptr, staging.c_str(), nullptr);
  // Entries named like our own work folders would be moved into them.
  bool ok = ExtractComplete(archivePath, staging) && !Exists(staging + L"\\" + kStagingName) &&
            !Exists(staging + L"\\" + kParkingName) && !Exists(staging + L"\\" + kHoldName) &&
            MoveTreeOver(staging, target, parking);
  DeleteTree(staging);
  return ok;
}

void CleanUpWork(const std::wstring& installRoot) {
  const std::wstring root = FullPath(installRoot);
  DeleteTree(root + L"\\" + kStagingName);
  DeleteTree(root + L"\\" + kParkingName);
  // A removal that ended before it could put back a folder the shell deleted for good.
  const std::wstring hold = root + L"\\" + kHoldName;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((hold + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L".." || !HoldsLastLink(hold + L"\\" + name)) continue;
      RestoreMissing(hold + L"\\" + name, root + L"\\Addons\\" + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  DeleteTree(hold);
}

TRecycleResult RecycleFolder(const std::wstring& folderPath, const std::wstring& installRoot) {
  const std::wstring folder = FullPath(folderPath);
  const std::wstring holdRoot = FullPath(installRoot) + L"\\" + kHoldName;
  const std::wstring hold = holdRoot + L"\\" + LeafName(folder);
  DeleteTree(hold);
  SHCreateDirectoryExW(nullptr, holdRoot.c_str(), nullptr);
  // A second name for every file: whatever the shell does, no file can be lost, and a
  // file left with one name afterwards shows that the shell deleted it for good.
  if (!LinkTree(folder, hold)) {
    RemoveDirectoryW(holdRoot.c_str());
    return TRecycleResult::Unverified;
  }
  DeleteFolder(folder);
  TRecycleResult result;
  if (HoldsLastLink(hold)) {
    RestoreMissing(hold, folder);
    result = TRecycleResult::NotTaken;
  } else {
    result = Exists(folder) ? TRecycleResult::Refused : TRecycleResult::Recycled;
  }
  DeleteTree(holdRoot);
  return result;
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
