// The package reader, description parser and bitmap decoder. The first byte picks the
// path: odd reads the rest as a packed package, even as unpacked package bytes (so the
// fuzzer reaches the parser without having to build LZHUF streams).
#include "skin/SkinRead.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::span<const uint8_t> rest(data + 1, size - 1);
  try {
    if (data[0] & 1) {
      skin::ReadSkin(rest);
    } else {
      skin::ParseSkin(skin::SplitPackage(rest));
    }
  } catch (const skin::ESkinError&) {
  }
  return 0;
}
