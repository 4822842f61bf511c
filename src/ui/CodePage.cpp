#include "ui/CodePage.h"

#include <windows.h>

namespace ui {

std::optional<std::string> ToCodePage(unsigned codePage, std::wstring_view text) {
  if (codePage == CP_ACP) codePage = GetACP();
  if (codePage == CP_OEMCP) codePage = GetOEMCP();
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0,
                                 nullptr, &usedDefault);
  if (size > 0) {
    if (usedDefault) return std::nullopt;
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), length, bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
  }
  if (GetLastError() != ERROR_INVALID_FLAGS && GetLastError() != ERROR_INVALID_PARAMETER)
    return std::nullopt;
  // A code page that takes neither flag: converted as it is, and kept only when it reads
  // back as the same text.
  const DWORD strict = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : 0;
  size = WideCharToMultiByte(codePage, strict, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, strict, text.data(), length, bytes.data(), size, nullptr, nullptr);
  int back = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  std::wstring again(static_cast<size_t>(back > 0 ? back : 0), L'\0');
  if (back > 0) MultiByteToWideChar(codePage, 0, bytes.data(), size, again.data(), back);
  if (again != text) return std::nullopt;
  return bytes;
}

}  // namespace ui
