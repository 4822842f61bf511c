// Implode (method 6): Shannon-Fano coded literals, lengths and distances over a 4 KiB or
// 8 KiB window. Each tree is sent as run-length coded bit lengths; codes are assigned
// as the application note describes (longest codes first, counting up) and sent with
// their bits reversed. A tree whose lengths do not add up, or a bit pattern that no code
// matches, ends the entry.
#include <algorithm>
#include <cstring>
#include <memory>

#include "unzip/ZipBits.h"

namespace {

constexpr unsigned kMaxLength = 16;
constexpr unsigned kTableBits = 9;

struct TTree {
  unsigned Symbols = 0;
  // Direct lookup of the next kTableBits stream bits: symbol << 5 | length, 0 = none.
  uint16_t Table[1u << kTableBits];
  // Per length: the first code value and the symbols in code order.
  uint32_t FirstCode[kMaxLength + 1];
  uint16_t Count[kMaxLength + 1];
  uint16_t Offset[kMaxLength + 1];
  uint16_t Sorted[256];
};

// Reads one tree of |symbols| entries; false when it is malformed or the input ends.
bool ReadTree(TBitReader& bits, TTree& tree, unsigned symbols) {
  uint8_t lengths[256];
  uint32_t bytes;
  if (!bits.Read(8, bytes)) return false;
  unsigned filled = 0;
  for (uint32_t i = 0; i <= bytes; ++i) {
    uint32_t value;
    if (!bits.Read(8, value)) return false;
    unsigned repeat = (value >> 4) + 1;
    unsigned length = (value & 0x0F) + 1;
    if (filled + repeat > symbols) return false;
    for (unsigned k = 0; k < repeat; ++k) lengths[filled++] = static_cast<uint8_t>(length);
  }
  if (filled != symbols) return false;
  tree.Symbols = symbols;
  // Symbols by ascending length, stable: the order of code assignment reversed.
  uint16_t order[256];
  for (unsigned s = 0; s < symbols; ++s) order[s] = static_cast<uint16_t>(s);
  std::stable_sort(order, order + symbols,
                   [&lengths](uint16_t a, uint16_t b) { return lengths[a] < lengths[b]; });
  uint32_t codes[256];
  uint32_t code = 0, increment = 0;
  unsigned lastLength = 0;
  for (int i = static_cast<int>(symbols) - 1; i >= 0; --i) {
    code += increment;
    unsigned length = lengths[order[i]];
    if (length != lastLength) {
      lastLength = length;
      increment = 1u << (16 - length);
    }
    codes[order[i]] = code;
  }
  std::memset(tree.Count, 0, sizeof tree.Count);
  std::memset(tree.Table, 0, sizeof tree.Table);
  for (unsigned s = 0; s < symbols; ++s) ++tree.Count[lengths[s]];
  uint16_t offset = 0;
  for (unsigned length = 1; length <= kMaxLength; ++length) {
    tree.Offset[length] = offset;
    offset = static_cast<uint16_t>(offset + tree.Count[length]);
  }
  // Within one length the codes count up from the last symbol of that length, so
  // code order is descending symbol order.
  uint16_t fill[kMaxLength + 1];
  std::memcpy(fill, tree.Offset, sizeof fill);
  for (int s = static_cast<int>(symbols) - 1; s >= 0; --s)
    tree.Sorted[fill[lengths[s]]++] = static_cast<uint16_t>(s);
  for (unsigned length = 1; length <= kMaxLength; ++length) tree.FirstCode[length] = 0xFFFFFFFF;
  for (unsigned s = 0; s < symbols; ++s) {
    unsigned length = lengths[s];
    uint32_t value = codes[s] >> (16 - length);
    tree.FirstCode[length] = std::min(tree.FirstCode[length], value);
    if (length <= kTableBits) {
      uint32_t reversed = 0;
      for (unsigned b = 0; b < length; ++b) reversed |= ((value >> b) & 1) << (length - 1 - b);
      for (uint32_t index = reversed; index < (1u << kTableBits); index += 1u << length)
        tree.Table[index] = static_cast<uint16_t>((s << 5) | length);
    }
  }
  return true;
}

// Decodes one symbol; false when the input ends or no code matches.
bool DecodeSymbol(TBitReader& bits, const TTree& tree, uint32_t& symbol) {
  unsigned available = bits.Fill(kMaxLength);
  uint64_t peek = bits.Peek();
  uint16_t entry = tree.Table[peek & ((1u << kTableBits) - 1)];
  if (entry != 0 && (entry & 31u) <= available) {
    symbol = entry >> 5;
    bits.Drop(entry & 31u);
    return true;
  }
  uint32_t value = 0;
  for (unsigned length = 1; length <= kMaxLength && length <= available; ++length) {
    value = (value << 1) | static_cast<uint32_t>((peek >> (length - 1)) & 1);
    uint32_t index = value - tree.FirstCode[length];
    if (tree.Count[length] != 0 && value >= tree.FirstCode[length] && index < tree.Count[length]) {
      symbol = tree.Sorted[tree.Offset[length] + index];
      bits.Drop(length);
      return true;
    }
  }
  return false;
}

}  // namespace

void Explode(TEntryInput& input, TEntryOutput& output, TWorkArea& work, bool bigWindow,
             bool threeTrees) {
  TBitReader bits(input);
  TWindowOutput out(output, work.Window);
  auto trees = std::make_unique<TTree[]>(3);
  TTree& literals = trees[0];
  TTree& lengths = trees[1];
  TTree& distances = trees[2];
  if ((threeTrees && !ReadTree(bits, literals, 256)) || !ReadTree(bits, lengths, 64) ||
      !ReadTree(bits, distances, 64)) {
    out.Finish();
    return;
  }
  const unsigned lowDistanceBits = bigWindow ? 7 : 6;
  const uint32_t minimumMatch = threeTrees ? 3 : 2;
  const uint64_t declared = output.Declared();
  while (out.Produced() < declared) {
    uint32_t flag;
    if (!bits.Read(1, flag)) break;
    if (flag) {
      uint32_t literal;
      if (threeTrees ? !DecodeSymbol(bits, literals, literal) : !bits.Read(8, literal)) break;
      out.Put(static_cast<uint8_t>(literal));
      continue;
    }
    uint32_t low, high, length;
    if (!bits.Read(lowDistanceBits, low) || !DecodeSymbol(bits, distances, high) ||
        !DecodeSymbol(bits, lengths, length))
      break;
    if (length == 63) {
      uint32_t extra;
      if (!bits.Read(8, extra)) break;
      length += extra;
    }
    uint32_t distance = ((high << lowDistanceBits) | low) + 1;
    uint64_t copy = length + minimumMatch;
    uint64_t room = declared - out.Produced();
    out.Copy(distance, static_cast<uint32_t>(copy < room ? copy : room));
  }
  out.Finish();
}
