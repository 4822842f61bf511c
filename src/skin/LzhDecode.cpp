// LZHUF decoder. Reads the bit stream MSB first and never past its end: a stream that
// runs out before the declared number of bytes is produced is an error, not zero bits.
// The declared size is checked against the most the stream could possibly hold before
// anything is allocated.
#include <algorithm>
#include <array>

#include "skin/LzhTree.h"
#include "skin/SkinRead.h"

namespace skin {
namespace {

using namespace lzh;

// MSB-first bit reader over the packed bytes.
class TBitReader {
 public:
  explicit TBitReader(std::span<const uint8_t> input) : FInput(input) {}

  unsigned Bit() {
    if (FCount == 0) Refill();
    --FCount;
    return static_cast<unsigned>(FBuffer >> FCount) & 1u;
  }
  unsigned Bits(int count) {
    while (FCount < count) Refill();
    FCount -= count;
    return static_cast<unsigned>(FBuffer >> FCount) & ((1u << count) - 1u);
  }

 private:
  void Refill() {
    if (FConsumed >= FInput.size()) throw ESkinError("skin package: packed data truncated");
    FBuffer = (FBuffer << 8) | FInput[FConsumed++];
    FCount += 8;
  }

  std::span<const uint8_t> FInput;
  size_t FConsumed = 0;
  uint64_t FBuffer = 0;  // unread bits are the low FCount bits
  int FCount = 0;
};

}  // namespace

std::vector<uint8_t> LzhUnpack(std::span<const uint8_t> packed) {
  if (packed.size() < 4) throw ESkinError("skin package: no length");
  const uint32_t size = uint32_t(packed[0]) | (uint32_t(packed[1]) << 8) |
                        (uint32_t(packed[2]) << 16) | (uint32_t(packed[3]) << 24);
  if (size > kMaxUnpackedSize) throw ESkinError("skin package: unpacked size too large");
  const std::span<const uint8_t> stream = packed.subspan(4);
  // Every code takes at least one bit and a match at least ten for 60 bytes, so no
  // stream yields more than 48 bytes per byte of input.
  if (size > uint64_t(stream.size()) * 48u) throw ESkinError("skin package: packed data truncated");

  std::vector<uint8_t> output(size);
  std::array<uint8_t, kRingSize> ring;
  ring.fill(' ');
  unsigned write = kRingStart;
  TAdaptiveTree tree;
  TBitReader bits(stream);
  const TPositionCode& positions = PositionCode();

  size_t produced = 0;
  while (produced < size) {
    // Walk from the root to a leaf, one bit per level.
    int node = tree.Son(kRoot);
    while (node < kNodes) node = tree.Son(node + static_cast<int>(bits.Bit()));
    const int symbol = node - kNodes;
    tree.Update(symbol);

    if (symbol < 256) {
      output[produced++] = ring[write] = static_cast<uint8_t>(symbol);
      write = (write + 1) & (kRingSize - 1);
      continue;
    }
    // A match: its length from the symbol, its position from the prefix code.
    const unsigned first = bits.Bits(8);
    const int extra = positions.Length[first] - 2;
    const unsigned low = ((first << extra) | bits.Bits(extra)) & 0x3Fu;
    const unsigned position = (unsigned(positions.Upper[first]) << 6) | low;
    unsigned from = (write - position - 1) & (kRingSize - 1);
    const size_t length = std::min<size_t>(size_t(symbol - 253), size - produced);
    for (size_t i = 0; i < length; ++i) {
      const uint8_t byte = ring[from];
      output[produced++] = ring[write] = byte;
      from = (from + 1) & (kRingSize - 1);
      write = (write + 1) & (kRingSize - 1);
    }
  }
  return output;
}

}  // namespace skin
