// Whole archives from the fuzzer's bytes, extracted with the installer's settings into a
// scratch folder: multi-entry layouts, the overlap refusal and the successful path.
//
// Output is bounded: an entry whose declared size would take the run past kOutputLimit
// is skipped, and the engine never writes more than an entry declares. Two properties
// are checked on every input: nothing lands outside the destination, and the entries
// extracted with a method the engine decodes never claim more compressed bytes than the
// archive holds (overlapping entries would).
#include <cstdlib>

#include "FuzzSupport.h"

namespace {

constexpr uint64_t kOutputLimit = 8u << 20;

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz_zip_extract: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string archive = zipfuzz::WriteArchive(data, size);
  const std::string dest = (zipfuzz::ScratchDir() / "out").string();
  uint64_t budget = kOutputLimit;
  uint64_t claimed = 0;
  zipfuzz::ExtractAll(archive, [&](TUnZip& zip) {
    zip.OnStartUnZip = [&budget](TUnZip* sender, int index, std::string&, bool& skip) {
      const uint64_t declared = sender->Header(index).UncompressedSize();
      skip = declared > budget;
      if (!skip) budget -= declared;
    };
    zip.OnEndUnZip = [&](TUnZip* sender, int index, const std::string& name) {
      Check(name.compare(0, dest.size() + 1, dest + "\\") == 0, "a file outside the destination");
      // An entry of a method the engine does not decode reads none of its bytes: it shows
      // "Unknown Compression Method" and passes only as an empty file with CRC 0, whatever
      // compressed size it declares.
      const uint16_t method = sender->Header(index).CompressionMethod;
      if (method == 7 || method > 8) return;
      claimed += sender->Header(index).CompressedSize();
      Check(claimed <= size, "entries sharing compressed bytes");
    };
  });
  return 0;
}
