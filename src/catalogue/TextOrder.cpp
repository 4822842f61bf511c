#include "catalogue/TextOrder.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace catalogue {

namespace {

constexpr UINT kBig5CodePage = 950;

// Converts with no best-fit mapping; false when a character has no Big5 form.
bool ToBig5(std::wstring_view text, std::string& bytes) {
  bytes.clear();
  if (text.empty()) return true;
  int length = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  int size = WideCharToMultiByte(kBig5CodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr,
                                 0, nullptr, &usedDefault);
  if (size <= 0) return false;
  bytes.resize(static_cast<size_t>(size));
  WideCharToMultiByte(kBig5CodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, bytes.data(), size,
                      nullptr, &usedDefault);
  return !usedDefault;
}

unsigned char FoldAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// The Big5 form of each UTF-16 code unit, looked up once per process: a catalogue has
// thousands of names, and converting them a character at a time (to find the ones
// Big5 lacks) called the system for every character. Big5 maps characters without
// context, so the bytes of a text are those of its code units in turn. An entry holds
// bit 31 "known", bit 30 "no Big5 form", bits 16-17 the byte count and the bytes.
uint32_t Big5Form(wchar_t unit) {
  static std::atomic<uint32_t> forms[0x10000];
  std::atomic<uint32_t>& slot = forms[static_cast<uint16_t>(unit)];
  uint32_t form = slot.load(std::memory_order_relaxed);
  if (form & 0x80000000u) return form;
  std::string bytes;
  if (ToBig5(std::wstring_view(&unit, 1), bytes) && !bytes.empty() && bytes.size() <= 2) {
    uint32_t value = static_cast<unsigned char>(bytes[0]);
    if (bytes.size() == 2) value = value << 8 | static_cast<unsigned char>(bytes[1]);
    form = 0x80000000u | static_cast<uint32_t>(bytes.size()) << 16 | value;
  } else {
    form = 0xC0000000u;
  }
  slot.store(form, std::memory_order_relaxed);
  return form;
}

}  // namespace

std::string Cp950Bytes(std::wstring_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (wchar_t unit : text) {
    if (unit < 0x80) {
      bytes += static_cast<char>(unit);
      continue;
    }
    uint32_t form = Big5Form(unit);
    if (form & 0x40000000u) {
      // No Big5 form: an escape that sorts after every Big5 character.
      bytes += '\xFF';
      bytes += static_cast<char>((unit >> 8) & 0xFF);
      bytes += static_cast<char>(unit & 0xFF);
    } else if (((form >> 16) & 3) == 2) {
      bytes += static_cast<char>((form >> 8) & 0xFF);
      bytes += static_cast<char>(form & 0xFF);
    } else {
      bytes += static_cast<char>(form & 0xFF);
    }
  }
  return bytes;
}

int CompareBytesNoCase(std::string_view a, std::string_view b) {
  // Only bytes that are characters of their own are folded: the byte after a Big5 lead
  // byte (0x81-0xFE) is a trail byte and may look like a letter, and the escape 0xFF
  // carries two raw bytes. Up to the first difference both texts share these positions.
  size_t common = std::min(a.size(), b.size());
  size_t raw = 0;  // bytes still to compare unfolded
  for (size_t i = 0; i < common; ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (raw > 0) {
      --raw;
    } else {
      if (x == 0xFF)
        raw = 2;
      else if (x >= 0x81)
        raw = 1;
      x = FoldAscii(x);
      y = FoldAscii(y);
    }
    if (x != y) return x - y;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int CompareTextNoCase(std::wstring_view a, std::wstring_view b) {
  return CompareBytesNoCase(Cp950Bytes(a), Cp950Bytes(b));
}

int CompareCaptionKeys(std::string_view a, std::string_view b) {
  if (int result = CompareBytesNoCase(a, b)) return result;
  return a.compare(b);
}

int CompareCaptions(std::wstring_view a, std::wstring_view b) {
  return CompareCaptionKeys(Cp950Bytes(a), Cp950Bytes(b));
}

}  // namespace catalogue
