// One INI file accessed a key at a time through the system's private-profile service,
// which creates the file and the section on the first write and keeps the file in the
// ANSI code page. Values are read into a 2048-character buffer (at most 2047 kept).
#pragma once

#include <string>

namespace config {

class TIniFile {
 public:
  explicit TIniFile(std::wstring path) : FPath(std::move(path)) {}
  const std::wstring& Path() const { return FPath; }

  std::wstring ReadString(const wchar_t* section, const wchar_t* key,
                          const std::wstring& defaultValue) const;
  // Decimal, or hexadecimal after "$" or after "0x"/"0X" (when more follows); the
  // default when the key is missing or the text does not convert.
  int ReadInteger(const wchar_t* section, const wchar_t* key, int defaultValue) const;
  // False when the key is missing or its value does not convert: unlike ReadInteger,
  // tells "no number" apart from a stored default.
  bool TryReadInteger(const wchar_t* section, const wchar_t* key, int& value) const;
  // True when the section holds the key, whatever its value.
  bool ValueExists(const wchar_t* section, const wchar_t* key) const;
  bool ReadBool(const wchar_t* section, const wchar_t* key, bool defaultValue) const;

  // Each write stores one key at once; a refused write throws
  // Exception("Unable to write to " + path).
  void WriteString(const wchar_t* section, const wchar_t* key, const std::wstring& value) const;
  void WriteInteger(const wchar_t* section, const wchar_t* key, int value) const;
  void WriteBool(const wchar_t* section, const wchar_t* key, bool value) const;

 private:
  std::wstring FPath;
};

// The integer conversion of ReadInteger: false when `text` is not a number.
bool TryStrToInt(const std::wstring& text, int& value);

}  // namespace config
