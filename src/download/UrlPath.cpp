#include "download/UrlPath.h"

#include <windows.h>

namespace download {

std::wstring EncodeUrlPathSegment(const std::wstring& text) {
  std::string utf8;
  if (!text.empty()) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::wstring encoded;
  encoded.reserve(utf8.size() * 3);
  for (unsigned char byte : utf8) {
    bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                 (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                 byte == '~';
    if (plain) {
      encoded += static_cast<wchar_t>(byte);
    } else {
      encoded += L'%';
      encoded += static_cast<wchar_t>(kHex[byte >> 4]);
      encoded += static_cast<wchar_t>(kHex[byte & 15]);
    }
  }
  return encoded;
}

}  // namespace download
