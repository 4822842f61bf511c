#include "app/Shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "ui/Application.h"
#include "ui/Com.h"

namespace app {

namespace {

using ui::TComPtr;

std::wstring DirectoryWithSeparator(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L"\\/:") + 1);
}

// True when `linkPath` is a shortcut with exactly these settings already.
bool LinkIsCurrent(const std::wstring& linkPath, const std::wstring& target,
                   const std::wstring& description, const std::wstring& workingDir) {
  TComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return false;
  TComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) return false;
  if (FAILED(file->Load(linkPath.c_str(), STGM_READ))) return false;
  wchar_t buffer[MAX_PATH * 4] = {};
  if (FAILED(link->GetPath(buffer, MAX_PATH * 4, nullptr, SLGP_RAWPATH)) ||
      lstrcmpiW(buffer, target.c_str()) != 0)
    return false;
  buffer[0] = 0;
  if (FAILED(link->GetDescription(buffer, MAX_PATH * 4)) || description != buffer) return false;
  buffer[0] = 0;
  if (FAILED(link->GetWorkingDirectory(buffer, MAX_PATH * 4)) ||
      lstrcmpiW(buffer, workingDir.c_str()) != 0)
    return false;
  return true;
}

}  // namespace

std::wstring GetDesktopPath() {
  wchar_t buffer[MAX_PATH] = {};
  HWND owner = ui::Application().Handle();
  if (!SHGetSpecialFolderPathW(owner, buffer, CSIDL_DESKTOP, FALSE)) return {};
  return buffer;
}

void CreateDesktopShortcut(const std::wstring& targetPath, const std::wstring& linkName,
                           const std::wstring& description) {
  // COM is ready: the window thread has joined OLE for the whole run.
  std::wstring desktop = GetDesktopPath();
  std::wstring workingDir = DirectoryWithSeparator(targetPath);
  std::wstring fileName = linkName.substr(0, linkName.rfind(L'.')) + L".lnk";
  if (linkName.find(L'.') == std::wstring::npos) fileName = linkName + L".lnk";
  std::wstring linkPath = desktop + L"\\" + fileName;

  TComPtr<IShellLinkW> link;
  if (!desktop.empty() && !LinkIsCurrent(linkPath, targetPath, description, workingDir) &&
      SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    TComPtr<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      link->SetPath(targetPath.c_str());
      link->SetDescription(description.c_str());
      link->SetWorkingDirectory(workingDir.c_str());
      file->Save(linkPath.c_str(), FALSE);
    }
  }
}

}  // namespace app
