// The adaptive Huffman tree shared by the LZHUF decoder and encoder, and the fixed
// prefix code of the upper six bits of a match position. Internal to the module.
//
// Alphabet: 256 literals and 58 match lengths (symbol - 253 = length 3..60). The tree
// keeps its nodes sorted by frequency; the two children of a node sit side by side
// (Son[n] and Son[n] + 1), so a code bit picks one of them. When the root's count
// reaches kMaxFreq the counts are halved and the tree is rebuilt.
#pragma once

#include <array>
#include <cstdint>

namespace skin::lzh {

constexpr int kRingSize = 4096;
constexpr int kRingStart = kRingSize - 60;  // first write position; the rest is preset
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 60;
constexpr int kSymbols = 256 + kMaxMatch - kMinMatch + 1;  // 314
constexpr int kNodes = 2 * kSymbols - 1;                   // 627
constexpr int kRoot = kNodes - 1;
constexpr unsigned kMaxFreq = 0x8000;

class TAdaptiveTree {
 public:
  TAdaptiveTree();
  // Counts one use of the symbol (rebuilding first when the root is full).
  void Update(int symbol);
  // Node index of the symbol's leaf.
  int Leaf(int symbol) const { return FParent[kNodes + symbol]; }
  int Parent(int node) const { return FParent[node]; }
  // First child of an inner node, or kNodes + symbol for a leaf.
  int Son(int node) const { return FSon[node]; }

 private:
  void Rebuild();

  std::array<unsigned, kNodes + 1> FFreq;      // counts; FFreq[kNodes] is a sentinel
  std::array<int, kNodes> FSon;                // first child, or kNodes + symbol at a leaf
  std::array<int, kNodes + kSymbols> FParent;  // parent of a node; leaf of a symbol
};

// Prefix code of the upper six position bits: value 0 takes 3 bits, 1-3 take 4, 4-11
// take 5, 12-23 take 6, 24-47 take 7 and 48-63 take 8; codes are canonical, so the
// first 8 bits read give the value and its code length.
struct TPositionCode {
  std::array<uint8_t, 256> Upper{};   // upper bits for the first 8 bits read
  std::array<uint8_t, 256> Length{};  // code length for the first 8 bits read
  std::array<uint8_t, 64> Code{};     // code of an upper value (Length bits)
  std::array<uint8_t, 64> CodeLength{};
};
const TPositionCode& PositionCode();

}  // namespace skin::lzh
