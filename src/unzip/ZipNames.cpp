#include "unzip/ZipNames.h"

#include "unzip/ZipPlatform.h"

namespace {

// Unicode of code page 437 bytes 0x80-0xFF.
const char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

std::u32string FromCp437(const std::string& raw) {
  std::u32string text;
  text.reserve(raw.size());
  for (unsigned char c : raw) text += c < 0x80 ? char32_t(c) : char32_t(kCp437High[c - 0x80]);
  return text;
}

// Decodes UTF-8; every malformed sequence becomes "_".
std::u32string FromUtf8(const std::string& raw) {
  std::u32string text;
  size_t i = 0;
  while (i < raw.size()) {
    unsigned char c = static_cast<unsigned char>(raw[i]);
    int extra = c < 0x80             ? 0
                : (c & 0xE0) == 0xC0 ? 1
                : (c & 0xF0) == 0xE0 ? 2
                : (c & 0xF8) == 0xF0 ? 3
                                     : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= raw.size() + (extra == 0 ? 1 : 0)) {
      text += U'_';
      ++i;
      continue;
    }
    char32_t value = extra == 0 ? c : c & (0x3F >> extra);
    bool good = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char next = static_cast<unsigned char>(raw[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) good = false;
      value = (value << 6) | (next & 0x3F);
    }
    static const char32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    if (!good || value < kMinimum[extra] || value > 0x10FFFF ||
        (value >= 0xD800 && value <= 0xDFFF)) {
      text += U'_';
      ++i;
      continue;
    }
    text += value;
    i += static_cast<size_t>(extra) + 1;
  }
  return text;
}

bool IsReservedDeviceName(const std::string& component) {
  std::string base;
  for (char c : component) {
    if (c == '.') break;
    base += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  }
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$")
    return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

bool IsSafeComponent(const std::string& component) {
  if (component == ".") return true;
  if (component == ".." || IsReservedDeviceName(component)) return false;
  char last = component.back();
  if (last == '.' || last == ' ') return false;
  for (size_t i = 0; i < component.size(); i += CharLength(component, i)) {
    unsigned char c = static_cast<unsigned char>(component[i]);
    if (CharLength(component, i) == 2) continue;
    if (c < 0x20 || c == 0x7F) return false;
    switch (c) {
      case '<':
      case '>':
      case ':':
      case '"':
      case '|':
      case '?':
      case '*':
      case '/':
        return false;
      default:
        break;
    }
  }
  return true;
}

// Matches one character |c| against the set starting after "<" at |p|; |end| receives
// the index after ">". False with |end| = npos for a malformed set.
bool MatchSet(const std::string& pattern, size_t p, unsigned char c, size_t& end) {
  bool negate = p < pattern.size() && (pattern[p] == '!' || pattern[p] == '^');
  if (negate) ++p;
  bool hit = false;
  while (p < pattern.size() && pattern[p] != '>') {
    unsigned char low = static_cast<unsigned char>(pattern[p]);
    unsigned char high = low;
    if (p + 2 < pattern.size() && pattern[p + 1] == '-' && pattern[p + 2] != '>') {
      high = static_cast<unsigned char>(pattern[p + 2]);
      p += 3;
    } else {
      ++p;
    }
    if (c >= low && c <= high) hit = true;
  }
  if (p >= pattern.size()) {
    end = std::string::npos;
    return false;
  }
  end = p + 1;
  return hit != negate;
}

}  // namespace

std::string ConvertEntryName(const std::string& raw, bool fromDosHost, uint16_t flags,
                             TOEMConvert convert) {
  std::string name;
  if (flags & 0x0800) {
    name = zipplatform::EngineFromUnicode(FromUtf8(raw));
  } else if (fromDosHost && convert != TOEMConvert::oemNever) {
    std::u32string text;
    name =
        zipplatform::EngineFromUnicode(zipplatform::DecodeOem(raw, text) ? text : FromCp437(raw));
  } else {
    name = zipplatform::EngineFromRaw(raw);
  }
  for (size_t i = 0; i < name.size(); i += CharLength(name, i)) {
    if (name[i] == '/') name[i] = '\\';
  }
  return name;
}

size_t CharLength(const std::string& text, size_t index) {
  return zipplatform::IsLeadByte(static_cast<unsigned char>(text[index])) && index + 1 < text.size()
             ? 2
             : 1;
}

size_t LastDelimiter(const std::string& text, bool alsoColon) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
    if (text[i] == '\\' || (alsoColon && text[i] == ':')) found = i;
  }
  return found;
}

bool EndsWithBackslash(const std::string& text) {
  return !text.empty() && LastDelimiter(text, false) == text.size() - 1;
}

std::string LowerCase(const std::string& text) {
  std::string result = text;
  for (size_t i = 0; i < result.size(); i += CharLength(result, i)) {
    if (result[i] >= 'A' && result[i] <= 'Z') result[i] = static_cast<char>(result[i] + 32);
  }
  return result;
}

void SplitEntryName(const std::string& name, std::string& directory, std::string& fileName) {
  size_t cut = LastDelimiter(name, true);
  if (cut == std::string::npos) {
    directory.clear();
    fileName = name;
    return;
  }
  directory = name.substr(0, cut + 1);
  fileName = name.substr(cut + 1);
  if (directory.back() != '\\') directory += '\\';
}

bool IsSafeEntryPath(const std::string& relative) {
  size_t start = 0;
  for (size_t i = 0; i <= relative.size();) {
    if (i == relative.size() || relative[i] == '\\') {
      if (i > start && !IsSafeComponent(relative.substr(start, i - start))) return false;
      start = ++i;
    } else {
      i += CharLength(relative, i);
    }
  }
  return true;
}

bool MatchPattern(const std::string& pattern, const std::string& name) {
  if (pattern == "*") return true;
  size_t p = 0, n = 0;
  size_t starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = ++p;
      starN = n;
      continue;
    }
    if (p < pattern.size()) {
      unsigned char c = static_cast<unsigned char>(name[n]);
      size_t next = p + 1;
      bool hit;
      if (pattern[p] == '<') {
        hit = MatchSet(pattern, p + 1, c, next);
        if (next == std::string::npos) return false;
      } else {
        hit = pattern[p] == '?' || static_cast<unsigned char>(pattern[p]) == c;
      }
      if (hit) {
        p = next;
        ++n;
        continue;
      }
    }
    if (starP == std::string::npos) return false;
    p = starP;
    n = ++starN;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}
