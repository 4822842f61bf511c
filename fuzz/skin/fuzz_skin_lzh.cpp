// The LZHUF decoder on any input (4-byte length, then the stream): it produces exactly
// the declared length or refuses the input.
#include <cstdlib>

#include "skin/SkinRead.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const std::vector<uint8_t> output = skin::LzhUnpack(std::span(data, size));
    const uint32_t declared = uint32_t(data[0]) | (uint32_t(data[1]) << 8) |
                              (uint32_t(data[2]) << 16) | (uint32_t(data[3]) << 24);
    if (output.size() != declared) std::abort();
  } catch (const skin::ESkinError&) {
  }
  return 0;
}
