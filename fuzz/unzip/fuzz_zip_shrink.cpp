// The shrink decoder through the extraction run (see RunDecoder for the input layout).
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zipfuzz::RunDecoder(1, data, size);
  return 0;
}
