#include "install/InstallRecord.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "config/Paths.h"

namespace install {

namespace {

void FoldCase(std::wstring_view name, std::wstring& folded) {
  name = config::TrimView(name);
  folded.assign(name);
  if (!folded.empty())
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(),
                  static_cast<int>(name.size()), folded.data(), static_cast<int>(folded.size()),
                  nullptr, nullptr, 0);
}

constexpr char kHeader[] = "# VornisTools installed add-ons: sha256, size, folder";

}  // namespace

std::wstring InstallRecordPath() {
  return config::ExeDir() + L"Installed.txt";
}

TInstallRecord TInstallRecord::Load(const std::wstring& path) {
  TInstallRecord record;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return record;
  LARGE_INTEGER size{};
  std::string bytes;
  // A record of a few thousand add-ons is well below this; more is not ours.
  if (GetFileSizeEx(file, &size) && size.QuadPart < (16 << 20)) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
    bytes.resize(got);
  }
  CloseHandle(file);
  std::wstring text;
  if (!bytes.empty()) {
    int count =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    text.resize(static_cast<size_t>(count));
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                        count);
  }
  std::wstring_view rest(text);
  while (!rest.empty()) {
    size_t end = rest.find(L'\n');
    std::wstring_view line = rest.substr(0, end);
    rest = end == std::wstring_view::npos ? std::wstring_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
    size_t tab1 = line.find(L'\t');
    size_t tab2 = tab1 == std::wstring_view::npos ? tab1 : line.find(L'\t', tab1 + 1);
    if (tab2 == std::wstring_view::npos) continue;
    TArchiveExpectation parsed =
        ParseExpectation(line.substr(tab1 + 1, tab2 - tab1 - 1), line.substr(0, tab1));
    std::wstring_view folder = line.substr(tab2 + 1);
    if (parsed.Size < 0 || parsed.Sha256.empty() || config::TrimView(folder).empty()) continue;
    record.Set(folder, {parsed.Size, parsed.Sha256});
  }
  return record;
}

bool TInstallRecord::Save(const std::wstring& path) const {
  std::wstring text;
  for (const auto& [key, entry] : FEntries) {
    text += std::wstring(entry.Digest.Sha256.begin(), entry.Digest.Sha256.end()) + L"\t" +
            std::to_wstring(entry.Digest.Size) + L"\t" + entry.Folder + L"\r\n";
  }
  std::string bytes = std::string(kHeader) + "\r\n";
  if (!text.empty()) {
    int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
    size_t start = bytes.size();
    bytes.resize(start + static_cast<size_t>(count));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        bytes.data() + start, count, nullptr, nullptr);
  }
  std::wstring temporary = path + L".new";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file);
  CloseHandle(file);
  ok = ok && MoveFileExW(temporary.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

const TArchiveDigest* TInstallRecord::Find(std::wstring_view folder) const {
  if (FEntries.empty()) return nullptr;
  FoldCase(folder, FKey);
  auto found = FEntries.find(FKey);
  return found == FEntries.end() ? nullptr : &found->second.Digest;
}

void TInstallRecord::Set(std::wstring_view folder, const TArchiveDigest& digest) {
  std::wstring key;
  FoldCase(folder, key);
  FEntries[key] = {std::wstring(config::TrimView(folder)), digest};
}

void TInstallRecord::Remove(std::wstring_view folder) {
  std::wstring key;
  FoldCase(folder, key);
  FEntries.erase(key);
}

}  // namespace install
