#include "web/BrowserEmulation.h"

#include <windows.h>

#include <string>

namespace web {

namespace {

const wchar_t kEmulationKey[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

std::wstring ExecutableName() {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = 0;
  while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
         path.size())
    path.resize(path.size() * 2);
  path.resize(length);
  return path.substr(path.find_last_of(L"\\/") + 1);
}

}  // namespace

bool SetBrowserEmulation() {
  std::wstring name = ExecutableName();
  if (name.empty()) return false;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kEmulationKey, 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  bool written = false;
  if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
      ERROR_FILE_NOT_FOUND) {
    DWORD mode = kIE11EdgeMode;
    written = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mode),
                             sizeof mode) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
  return written;
}

}  // namespace web
