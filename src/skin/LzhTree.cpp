// The adaptive Huffman tree of LZHUF and the position prefix code.
#include "skin/LzhTree.h"

#include <algorithm>

namespace skin::lzh {

TAdaptiveTree::TAdaptiveTree() {
  // Leaves first, each seen once, then inner nodes pairing neighbours from the bottom.
  for (int i = 0; i < kSymbols; ++i) {
    FFreq[i] = 1;
    FSon[i] = kNodes + i;
    FParent[kNodes + i] = i;
  }
  for (int child = 0, node = kSymbols; node < kNodes; child += 2, ++node) {
    FFreq[node] = FFreq[child] + FFreq[child + 1];
    FSon[node] = child;
    FParent[child] = FParent[child + 1] = node;
  }
  FFreq[kNodes] = 0xFFFFu;  // stops the search for a swap partner
  FParent[kRoot] = 0;
}

void TAdaptiveTree::Rebuild() {
  // Keep the leaves in node order with halved counts (rounded up)...
  int leaves = 0;
  for (int node = 0; node < kNodes; ++node) {
    if (FSon[node] >= kNodes) {
      FFreq[leaves] = (FFreq[node] + 1) / 2;
      FSon[leaves] = FSon[node];
      ++leaves;
    }
  }
  // ...then pair them again, each new node placed after the nodes of equal count.
  for (int child = 0, node = kSymbols; node < kNodes; child += 2, ++node) {
    const unsigned freq = FFreq[child] + FFreq[child + 1];
    int at = node;
    while (at > 0 && freq < FFreq[at - 1]) --at;
    std::copy_backward(FFreq.begin() + at, FFreq.begin() + node, FFreq.begin() + node + 1);
    std::copy_backward(FSon.begin() + at, FSon.begin() + node, FSon.begin() + node + 1);
    FFreq[at] = freq;
    FSon[at] = child;
  }
  for (int node = 0; node < kNodes; ++node) {
    const int son = FSon[node];
    if (son >= kNodes) {
      FParent[son] = node;
    } else {
      FParent[son] = FParent[son + 1] = node;
    }
  }
}

void TAdaptiveTree::Update(int symbol) {
  if (FFreq[kRoot] == kMaxFreq) Rebuild();
  int node = FParent[kNodes + symbol];
  do {
    const unsigned freq = ++FFreq[node];
    // A node whose count passes its right neighbours swaps with the last of them.
    if (freq > FFreq[node + 1]) {
      int other = node + 1;
      while (freq > FFreq[other + 1]) ++other;
      FFreq[node] = FFreq[other];
      FFreq[other] = freq;

      const int sonNode = FSon[node];
      const int sonOther = FSon[other];
      FParent[sonNode] = other;
      if (sonNode < kNodes) FParent[sonNode + 1] = other;
      FParent[sonOther] = node;
      if (sonOther < kNodes) FParent[sonOther + 1] = node;
      FSon[other] = sonNode;
      FSon[node] = sonOther;
      node = other;
    }
    node = FParent[node];
  } while (node != 0);
}

namespace {

TPositionCode MakePositionCode() {
  TPositionCode table;
  // Code lengths per upper value, then canonical codes in value order.
  int next = 0;  // next free 8-bit prefix
  for (int upper = 0; upper < 64; ++upper) {
    const int length = upper < 1    ? 3
                       : upper < 4  ? 4
                       : upper < 12 ? 5
                       : upper < 24 ? 6
                       : upper < 48 ? 7
                                    : 8;
    const int span = 1 << (8 - length);
    table.Code[upper] = static_cast<uint8_t>(next >> (8 - length));
    table.CodeLength[upper] = static_cast<uint8_t>(length);
    for (int i = 0; i < span; ++i) {
      table.Upper[next + i] = static_cast<uint8_t>(upper);
      table.Length[next + i] = static_cast<uint8_t>(length);
    }
    next += span;
  }
  return table;
}

}  // namespace

const TPositionCode& PositionCode() {
  static const TPositionCode table = MakePositionCode();
  return table;
}

}  // namespace skin::lzh
