#include "install/ContentChecks.h"

#include <windows.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "config/IniFile.h"
#include "config/Paths.h"

namespace install {

namespace {

// Reads up to `count` bytes ending `fromEnd` bytes before the end of the file.
bool ReadTail(const std::wstring& path, size_t count, std::vector<unsigned char>& bytes,
              uint64_t& fileSize) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) != FALSE;
  if (ok) {
    fileSize = static_cast<uint64_t>(size.QuadPart);
    size_t take = static_cast<size_t>(std::min<uint64_t>(count, fileSize));
    LARGE_INTEGER offset{};
    offset.QuadPart = static_cast<LONGLONG>(fileSize - take);
    bytes.assign(take, 0);
    DWORD read = 0;
    ok = SetFilePointerEx(file, offset, nullptr, FILE_BEGIN) &&
         (take == 0 || ReadFile(file, bytes.data(), static_cast<DWORD>(take), &read, nullptr)) &&
         read == take;
  }
  CloseHandle(file);
  return ok;
}

// Device names open a device in every folder, also with an extension ("CON.zip") and
// with blanks before it ("NUL .txt").
bool IsReservedDeviceName(std::wstring_view name) {
  std::wstring_view base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  if (base.size() != 3 && base.size() != 4) return false;
  wchar_t upper[4] = {};
  for (size_t i = 0; i < base.size(); ++i)
    upper[i] = base[i] >= L'a' && base[i] <= L'z' ? static_cast<wchar_t>(base[i] - 32) : base[i];
  std::wstring_view word(upper, base.size());
  if (word == L"CON" || word == L"PRN" || word == L"AUX" || word == L"NUL") return true;
  if (word.size() != 4 || (word.substr(0, 3) != L"COM" && word.substr(0, 3) != L"LPT"))
    return false;
  // Digits 1 to 9, and the superscripts one to three that Windows also takes for them.
  wchar_t digit = word[3];
  return (digit >= L'1' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

}  // namespace

bool LooksLikeZipArchive(const std::wstring& path) {
  constexpr size_t kRecord = 22;
  constexpr size_t kWindow = kRecord + 0xFFFF;
  std::vector<unsigned char> tail;
  uint64_t size = 0;
  if (!ReadTail(path, kWindow, tail, size) || tail.size() < kRecord) return false;
  for (size_t at = tail.size() - kRecord + 1; at-- > 0;) {
    if (tail[at] != 'P' || tail[at + 1] != 'K' || tail[at + 2] != 5 || tail[at + 3] != 6) continue;
    size_t commentLength = tail[at + 20] | (tail[at + 21] << 8);
    if (at + kRecord + commentLength == tail.size()) return true;
  }
  return false;
}

bool LooksLikeIniFile(const std::wstring& path) {
  constexpr size_t kMaxSize = 64 * 1024;
  std::vector<unsigned char> bytes;
  uint64_t size = 0;
  if (!ReadTail(path, kMaxSize + 1, bytes, size) || size > kMaxSize) return false;
  size_t i = 0;
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;
  for (unsigned char c : bytes)
    if (c == 0) return false;
  // Skip blank lines and comments up to the first line that says something.
  while (i < bytes.size()) {
    while (i < bytes.size() &&
           (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
      ++i;
    if (i < bytes.size() && bytes[i] == ';') {
      while (i < bytes.size() && bytes[i] != '\n') ++i;
      continue;
    }
    break;
  }
  if (i >= bytes.size() || bytes[i] != '[') return false;
  size_t close = i + 1;
  while (close < bytes.size() && bytes[close] != ']' && bytes[close] != '\n') ++close;
  return close < bytes.size() && bytes[close] == ']' && close > i + 1;
}

bool IsCompleteVersionFile(const std::wstring& path, bool lengthProven) {
  if (!LooksLikeIniFile(path)) return false;
  if (lengthProven) return true;
  // Cut after a line break, the file may still lack the line with the number.
  std::vector<unsigned char> last;
  uint64_t size = 0;
  int version = 0;
  return ReadTail(path, 1, last, size) && last.size() == 1 && last[0] == '\n' &&
         config::TIniFile(path).TryReadInteger(L"updataver", L"ver", version);
}

bool IsPlainFolderName(std::wstring_view folder) {
  std::wstring_view name = config::TrimView(folder);
  // Windows drops trailing dots from a path component: "Addon." names "Addon", and a
  // name of dots alone names the directory above it, like "." does.
  // The archive cache holds "<name>.zip": one path component, at most 255 characters.
  constexpr size_t kMaxLength = 255 - 4;
  if (name.empty() || name.size() > kMaxLength || name.back() == L'.') return false;
  for (wchar_t c : name) {
    // Wildcards would make the shell's delete act on every matching folder; the rest
    // cannot be part of a file name at all.
    if (c < 0x20 || c == 0x7F ||
        std::wstring_view(L"\\/:*?<>|\"").find(c) != std::wstring_view::npos)
      return false;
  }
  return !IsReservedDeviceName(name);
}

}  // namespace install
