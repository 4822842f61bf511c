#include "install/InstallRecord.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
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
constexpr std::wstring_view kGameLine = L"#game\t";

// The full path of an installation root, ".." steps resolved, without a trailing
// separator; "" stays "".
std::wstring FullRoot(std::wstring_view root) {
  std::wstring text(config::TrimView(root));
  if (text.empty()) return text;
  DWORD size = GetFullPathNameW(text.c_str(), 0, nullptr, nullptr);
  if (size > 0) {
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(text.c_str(), size, full.data(), nullptr);
    if (length > 0 && length < size) text = full.substr(0, length);
  }
  while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  return text;
}

}  // namespace

std::wstring InstallRecordPath() {
  return config::ExeDir() + L"Installed.txt";
}

TInstallRecord TInstallRecord::Load(const std::wstring& path) {
  TInstallRecord record;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    record.FUnreadable = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    return record;
  }
  LARGE_INTEGER size{};
  std::string bytes;
  // A record of a few thousand add-ons is well below this; more is not ours.
  bool whole = GetFileSizeEx(file, &size) && size.QuadPart < (16 << 20);
  if (whole) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    whole = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
            got == bytes.size();
  }
  CloseHandle(file);
  if (!whole) {
    record.FUnreadable = true;
    return record;
  }
  std::wstring text;
  if (!bytes.empty()) {
    int count =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    text.resize(static_cast<size_t>(count));
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                        count);
  }
  std::wstring root;
  std::wstring_view rest(text);
  while (!rest.empty()) {
    size_t end = rest.find(L'\n');
    std::wstring_view line = rest.substr(0, end);
    rest = end == std::wstring_view::npos ? std::wstring_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
    if (line.substr(0, kGameLine.size()) == kGameLine) {
      root = FullRoot(line.substr(kGameLine.size()));
      continue;
    }
    size_t tab1 = line.find(L'\t');
    size_t tab2 = tab1 == std::wstring_view::npos ? tab1 : line.find(L'\t', tab1 + 1);
    if (tab2 == std::wstring_view::npos) continue;
    TArchiveExpectation parsed =
        ParseExpectation(line.substr(tab1 + 1, tab2 - tab1 - 1), line.substr(0, tab1));
    std::wstring_view folder = line.substr(tab2 + 1);
    if (parsed.Size < 0 || parsed.Sha256.empty() || config::TrimView(folder).empty()) continue;
    std::wstring key;
    Key(root, folder, key);
    record.FEntries[key] = {
        root, std::wstring(config::TrimView(folder)), {parsed.Size, parsed.Sha256}};
  }
  return record;
}

bool TInstallRecord::Save(const std::wstring& path) const {
  if (FUnreadable) return false;
  // The entries that name no game first, where older managers wrote theirs; then one
  // block per game.
  std::map<std::wstring, std::vector<const TEntry*>> byRoot;
  for (const auto& [key, entry] : FEntries) byRoot[entry.Root].push_back(&entry);
  std::wstring text;
  for (auto& [root, entries] : byRoot) {
    if (!root.empty()) text += std::wstring(kGameLine) + root + L"\r\n";
    std::sort(entries.begin(), entries.end(),
              [](const TEntry* a, const TEntry* b) { return a->Folder < b->Folder; });
    for (const TEntry* entry : entries)
      text += std::wstring(entry->Digest.Sha256.begin(), entry->Digest.Sha256.end()) + L"\t" +
              std::to_wstring(entry->Digest.Size) + L"\t" + entry->Folder + L"\r\n";
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

void TInstallRecord::Key(std::wstring_view fullRoot, std::wstring_view folder, std::wstring& key) {
  std::wstring folded;
  FoldCase(fullRoot, key);
  FoldCase(folder, folded);
  key += L'\t';
  key += folded;
}

const TArchiveDigest* TInstallRecord::Find(std::wstring_view root, std::wstring_view folder) const {
  if (FEntries.empty()) return nullptr;
  // The status check asks with one root for every row.
  if (root != FLastRoot) {
    FLastRoot.assign(root);
    FLastFullRoot = FullRoot(root);
  }
  const std::wstring* games[] = {&FLastFullRoot, &kNoGame};
  for (const std::wstring* game : games) {
    Key(*game, folder, FKey);
    auto found = FEntries.find(FKey);
    if (found != FEntries.end()) return &found->second.Digest;
  }
  return nullptr;
}

void TInstallRecord::Set(std::wstring_view root, std::wstring_view folder,
                         const TArchiveDigest& digest) {
  Remove(root, folder);
  std::wstring fullRoot = FullRoot(root);
  std::wstring key;
  Key(fullRoot, folder, key);
  FEntries[key] = {fullRoot, std::wstring(config::TrimView(folder)), digest};
}

void TInstallRecord::Remove(std::wstring_view root, std::wstring_view folder) {
  std::wstring key;
  Key(FullRoot(root), folder, key);
  FEntries.erase(key);
  Key(kNoGame, folder, key);
  FEntries.erase(key);
}

}  // namespace install
