#include "config/IniFile.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <vector>

#include "base/Exception.h"
#include "ui/Application.h"

namespace config {

bool TryStrToInt(const std::wstring& text, int& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == L' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';

  int base = 10;
  if (i < text.size() && text[i] == L'$') {
    base = 16;
    ++i;
  } else if (i + 2 < text.size() && text[i] == L'0' &&
             (text[i + 1] == L'x' || text[i + 1] == L'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;

  // Decimal must fit a signed 32-bit integer; hexadecimal may use all 32 bits.
  const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  uint64_t result = 0;
  for (; i < text.size(); ++i) {
    wchar_t c = text[i];
    int digit;
    if (c >= L'0' && c <= L'9')
      digit = c - L'0';
    else if (base == 16 && c >= L'a' && c <= L'f')
      digit = c - L'a' + 10;
    else if (base == 16 && c >= L'A' && c <= L'F')
      digit = c - L'A' + 10;
    else
      return false;
    result = result * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (result > limit) return false;
  }
  auto bits = static_cast<uint32_t>(result);
  if (negative) bits = 0u - bits;
  value = static_cast<int>(static_cast<int32_t>(bits));
  return true;
}

std::wstring TIniFile::ReadString(const wchar_t* section, const wchar_t* key,
                                  const std::wstring& defaultValue) const {
  wchar_t buffer[2048];
  DWORD length =
      GetPrivateProfileStringW(section, key, defaultValue.c_str(), buffer, 2048, FPath.c_str());
  return std::wstring(buffer, length);
}

int TIniFile::ReadInteger(const wchar_t* section, const wchar_t* key, int defaultValue) const {
  std::wstring text = ReadString(section, key, L"");
  int value = 0;
  return TryStrToInt(text, value) ? value : defaultValue;
}

bool TIniFile::TryReadInteger(const wchar_t* section, const wchar_t* key, int& value) const {
  // A missing key reads as "", which does not convert.
  return TryStrToInt(ReadString(section, key, L""), value);
}

bool TIniFile::ValueExists(const wchar_t* section, const wchar_t* key) const {
  // The section's key names, each ended by a zero, the list by one more.
  std::vector<wchar_t> names(4096);
  for (;;) {
    DWORD length = GetPrivateProfileStringW(section, nullptr, L"", names.data(),
                                            static_cast<DWORD>(names.size()), FPath.c_str());
    if (length + 2 < names.size()) break;
    names.resize(names.size() * 2);
  }
  for (const wchar_t* name = names.data(); *name; name += wcslen(name) + 1)
    if (CompareStringOrdinal(name, -1, key, -1, TRUE) == CSTR_EQUAL) return true;
  return false;
}

bool TIniFile::ReadBool(const wchar_t* section, const wchar_t* key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const wchar_t* section, const wchar_t* key,
                           const std::wstring& value) const {
  if (!WritePrivateProfileStringW(section, key, value.c_str(), FPath.c_str())) {
    // Wine keeps a change it could not save and saves it with the next change to the
    // file or when another profile file is opened, so a refused write could still land
    // later. Dropping the cached file discards it; on Windows this only flushes.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, FPath.c_str());
    throw Exception("Unable to write to " + ui::Narrow(FPath));
  }
}

void TIniFile::WriteInteger(const wchar_t* section, const wchar_t* key, int value) const {
  WriteString(section, key, std::to_wstring(value));
}

void TIniFile::WriteBool(const wchar_t* section, const wchar_t* key, bool value) const {
  WriteString(section, key, value ? L"1" : L"0");
}

}  // namespace config
