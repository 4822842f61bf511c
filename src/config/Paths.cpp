#include "config/Paths.h"

#include <windows.h>

#include "ui/LongPath.h"

#include <vector>

namespace config {

std::wstring ExePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring ExeDir() {
  std::wstring path = ExePath();
  return path.substr(0, path.find_last_of(L"\\/:") + 1);
}

std::wstring ConfigIniPath() {
  return ExeDir() + L"Config.ini";
}
std::wstring UpdateIniPath() {
  return ExeDir() + L"UPdate.ini";
}
std::wstring PublicationRecordPath() {
  return ExeDir() + L"Published.txt";
}
std::wstring ZipCacheDir() {
  return ExeDir() + L"zip\\";
}

std::wstring_view TrimView(std::wstring_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && text[first] <= L' ') ++first;
  while (last > first && text[last - 1] <= L' ') --last;
  return text.substr(first, last - first);
}

std::wstring Trim(const std::wstring& text) {
  return std::wstring(TrimView(text));
}

bool IsGamePathSet(const std::wstring& gamePath) {
  return !Trim(gamePath).empty();
}

std::wstring ExtractFileDir(const std::wstring& path) {
  size_t delimiter = path.find_last_of(L"\\/:");
  if (delimiter == std::wstring::npos) return {};
  size_t end = delimiter + 1;
  // "C:\x\y.exe" gives "C:\x", but "C:\y.exe" keeps the root: "C:\".
  if (delimiter > 0 && path[delimiter] != L':' && path[delimiter - 1] != L':' &&
      path[delimiter - 1] != L'\\' && path[delimiter - 1] != L'/')
    end = delimiter;
  return path.substr(0, end);
}

std::wstring GameDir(const std::wstring& gamePath) {
  return ExtractFileDir(gamePath);
}

std::wstring InstallRoot(const std::wstring& gamePath) {
  return GameDir(gamePath) + L"\\..\\data\\Mods\\";
}

std::wstring AddonFolderPath(const std::wstring& gamePath, const std::wstring& folder) {
  return GameDir(gamePath) + L"\\..\\data\\Mods\\Addons\\" + Trim(folder);
}

std::wstring ArchiveCachePath(const std::wstring& folder) {
  // Archive names reach 255 characters: the path may pass 260.
  return ui::LongPath(ZipCacheDir() + Trim(folder) + L".zip");
}

}  // namespace config
