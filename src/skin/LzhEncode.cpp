// LZHUF encoder for our own tooling: greedy longest matches found through hash chains
// over the input (distances up to the ring size less one), coded with the same
// adaptive tree as the decoder. It does not aim to reproduce another encoder's bits,
// only to be read back exactly by the decoder.
#include <algorithm>

#include "skin/LzhTree.h"
#include "skin/SkinWriter.h"

namespace skin {
namespace {

using namespace lzh;

class TBitWriter {
 public:
  explicit TBitWriter(std::vector<uint8_t>& output) : FOutput(output) {}
  void Bits(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      FByte = static_cast<uint8_t>((FByte << 1) | ((value >> i) & 1u));
      if (++FCount == 8) Flush();
    }
  }
  // Pads the last byte with zero bits.
  void Finish() {
    if (FCount > 0) {
      FByte = static_cast<uint8_t>(FByte << (8 - FCount));
      Flush();
    }
  }

 private:
  void Flush() {
    FOutput.push_back(FByte);
    FByte = 0;
    FCount = 0;
  }
  std::vector<uint8_t>& FOutput;
  uint8_t FByte = 0;
  int FCount = 0;
};

void PutSymbol(TAdaptiveTree& tree, TBitWriter& writer, int symbol) {
  // Collect the path leaf to root, then write it root first.
  uint8_t path[kNodes];
  int depth = 0;
  for (int node = tree.Leaf(symbol); node != kRoot; node = tree.Parent(node)) {
    path[depth++] = static_cast<uint8_t>(node & 1);
  }
  while (depth > 0) writer.Bits(path[--depth], 1);
  tree.Update(symbol);
}

constexpr int kHashBits = 14;
constexpr int kMaxChain = 96;
constexpr size_t kMaxDistance = kRingSize - 1;

unsigned Hash(const uint8_t* at) {
  const uint32_t v = uint32_t(at[0]) << 16 | uint32_t(at[1]) << 8 | at[2];
  return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

std::vector<uint8_t> LzhPack(std::span<const uint8_t> data) {
  if (data.size() > 0xFFFFFFFFu) throw ESkinError("skin package: input too large");
  std::vector<uint8_t> output;
  output.reserve(data.size() / 2 + 16);
  const uint32_t size = static_cast<uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) output.push_back(static_cast<uint8_t>(size >> (8 * i)));

  TAdaptiveTree tree;
  TBitWriter writer(output);
  const TPositionCode& positions = PositionCode();
  std::vector<int64_t> head(size_t(1) << kHashBits, -1);
  std::vector<int64_t> previous(data.size(), -1);
  auto insert = [&](size_t at) {
    if (at + kMinMatch > data.size()) return;
    const unsigned h = Hash(&data[at]);
    previous[at] = head[h];
    head[h] = static_cast<int64_t>(at);
  };

  size_t at = 0;
  while (at < data.size()) {
    const size_t limit = std::min<size_t>(kMaxMatch, data.size() - at);
    size_t bestLength = 0;
    size_t bestDistance = 0;
    if (limit >= kMinMatch) {
      int64_t candidate = head[Hash(&data[at])];
      for (int chain = 0; candidate >= 0 && chain < kMaxChain; ++chain) {
        const size_t distance = at - static_cast<size_t>(candidate);
        if (distance > kMaxDistance) break;
        size_t length = 0;
        while (length < limit && data[candidate + length] == data[at + length]) ++length;
        if (length > bestLength) {
          bestLength = length;
          bestDistance = distance;
          if (length == limit) break;
        }
        candidate = previous[candidate];
      }
    }
    if (bestLength >= kMinMatch) {
      PutSymbol(tree, writer, static_cast<int>(bestLength) + 253);
      const unsigned position = static_cast<unsigned>(bestDistance - 1);
      const unsigned upper = position >> 6;
      writer.Bits(positions.Code[upper], positions.CodeLength[upper]);
      writer.Bits(position & 0x3Fu, 6);
      for (size_t i = 0; i < bestLength; ++i) insert(at + i);
      at += bestLength;
    } else {
      PutSymbol(tree, writer, data[at]);
      insert(at);
      ++at;
    }
  }
  writer.Finish();
  return output;
}

}  // namespace skin
