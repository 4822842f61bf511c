// Helpers of the skin tests: reading test data and making small images.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "skin/SkinModel.h"

namespace skintest {

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::string VectorDir() {
  return std::string(VORNIS_SOURCE_DIR) + "/tests/data/skin/lzhuf/";
}

// A width x height image filled with one colour.
inline skin::TSkinBitmap Solid(int width, int height, uint32_t rgb) {
  return {width, height, std::vector<uint32_t>(size_t(width) * size_t(height), rgb)};
}

inline std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

}  // namespace skintest
