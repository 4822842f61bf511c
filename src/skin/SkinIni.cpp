// The skin description's INI-style syntax (see SkinIni.h).
#include "skin/SkinIni.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "skin/SkinRead.h"

namespace skin {
namespace {

std::string_view Trim(std::string_view text) {
  size_t first = 0;
  while (first < text.size() && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  size_t last = text.size();
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<int> ParseSkinInteger(std::string_view text) {
  text = Trim(text);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    if (text.size() > 10) return std::nullopt;  // more than 32 bits
    uint32_t value = 0;
    for (char c : text.substr(2)) {
      const int digit = HexDigit(c);
      if (digit < 0) return std::nullopt;
      value = (value << 4) | uint32_t(digit);
    }
    return static_cast<int>(static_cast<int32_t>(value));
  }
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > int64_t(INT32_MAX) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<int>(value);
}

TSkinColour ParseSkinColour(std::string_view text) {
  int parts[3];
  int found = 0;
  size_t i = 0;
  while (found < 3 && i < text.size()) {
    if (!IsDigit(text[i])) {
      ++i;
      continue;
    }
    int value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
      value = std::min(value * 10 + (text[i] - '0'), 1000);
    parts[found++] = std::min(value, 255);
  }
  TSkinColour colour;
  if (found == 3) {
    colour.R = parts[0];
    colour.G = parts[1];
    colour.B = parts[2];
    colour.Set = true;
  }
  return colour;
}

void TSkinIni::Count(size_t bytes) {
  FStoredBytes += bytes;
  if (FStoredBytes > kMaxDescriptionBytes) throw ESkinError("skin description: too large");
}

TSkinIni::TSkinIni(std::string_view text) {
  // What one kept string costs beyond its characters: the string, its share of a node.
  constexpr size_t kUpkeep = sizeof(std::string) + 32;
  // A description saved by an editor may start with a UTF-8 byte order mark.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  TKeys* current = nullptr;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n' && text[end] != '\0') ++end;
    const std::string_view line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      const std::string name(line.substr(1, line.size() - 2));
      auto [it, added] = FSections.try_emplace(LowerAscii(name));
      if (added) {
        Count(2 * (kUpkeep + name.size()));
        FOrder.push_back(name);
      }
      current = &it->second;
      continue;
    }
    const size_t equals = line.find('=');
    if (current == nullptr || equals == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    if (key.empty()) continue;
    std::string lowerKey = LowerAscii(key);
    if (current->count(lowerKey) != 0) continue;
    const std::string_view value = Trim(line.substr(equals + 1));
    Count(2 * kUpkeep + key.size() + value.size());
    current->emplace(std::move(lowerKey), std::string(value));
  }
}

bool TSkinIni::HasSection(std::string_view section) const {
  return FSections.count(LowerAscii(section)) != 0;
}

std::optional<std::string> TSkinIni::Value(std::string_view section, std::string_view key) const {
  const auto it = FSections.find(LowerAscii(section));
  if (it == FSections.end()) return std::nullopt;
  const auto line = it->second.find(LowerAscii(key));
  if (line == it->second.end() || line->second.empty()) return std::nullopt;
  return line->second;
}

int TSkinIni::Integer(std::string_view section, std::string_view key, int fallback) const {
  const auto value = Value(section, key);
  if (!value) return fallback;
  return ParseSkinInteger(*value).value_or(fallback);
}

TSkinColour TSkinIni::Colour(std::string_view section, std::string_view key) const {
  const auto value = Value(section, key);
  return value ? ParseSkinColour(*value) : TSkinColour{};
}

}  // namespace skin
