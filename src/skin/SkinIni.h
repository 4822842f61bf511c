// The skin description's INI-style syntax. Internal to the module.
//
// Lines end at CR, LF or NUL and are trimmed; empty lines and ";" comments are dropped;
// "[name]" opens a section. A key line is key "=" value; keys and section names match
// without regard to case and the first matching line of a section wins (a section
// written twice continues the first). Values are trimmed; an empty value reads as
// missing, so every reader returns its default.
//
// Only what a lookup can find is kept: the first line of each key, no line with an
// empty key. What is kept is counted, and a description that would take more than
// kMaxDescriptionBytes is refused (ESkinError).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "skin/SkinModel.h"

namespace skin {

class TSkinIni {
 public:
  explicit TSkinIni(std::string_view text);

  // Section names as first written, in file order.
  const std::vector<std::string>& Sections() const { return FOrder; }
  bool HasSection(std::string_view section) const;

  // The value of the first line with this key, when not empty.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;
  // Decimal, or hexadecimal after "0x"/"0X"; anything else gives the default.
  int Integer(std::string_view section, std::string_view key, int fallback) const;
  // Three decimal numbers separated by anything that is not a digit; unset otherwise.
  TSkinColour Colour(std::string_view section, std::string_view key) const;

  // The bytes counted for what is kept (strings and their upkeep).
  size_t StoredBytes() const { return FStoredBytes; }

 private:
  void Count(size_t bytes);

  using TKeys = std::map<std::string, std::string>;  // lower-cased key -> value of its first line
  std::map<std::string, TKeys> FSections;            // by lower-cased name
  std::vector<std::string> FOrder;
  size_t FStoredBytes = 0;
};

// Number parsing of values, exposed for the colour lists.
std::optional<int> ParseSkinInteger(std::string_view text);
TSkinColour ParseSkinColour(std::string_view text);

}  // namespace skin
