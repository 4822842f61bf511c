// Shrink (method 1): LZW with 9- to 13-bit codes, code 256 as an escape to either widen
// the codes or partially clear the table. Every code is checked before use: a code that
// is neither defined nor the next one to be defined ends the entry.
#include "unzip/ZipBits.h"

namespace {

constexpr uint32_t kControl = 256;
constexpr uint32_t kFirstFree = 257;
constexpr uint32_t kCodes = 8192;

// Frees every code from 257 that is not the prefix of another code in use.
void PartialClear(TWorkArea& work) {
  for (uint32_t c = kFirstFree; c < kCodes; ++c) work.HasChild[c] = 0;
  for (uint32_t c = kFirstFree; c < kCodes; ++c) {
    if (work.Used[c] && work.Prefix[c] >= kFirstFree) work.HasChild[work.Prefix[c]] = 1;
  }
  for (uint32_t c = kFirstFree; c < kCodes; ++c) {
    if (work.Used[c] && !work.HasChild[c]) work.Used[c] = 0;
  }
}

uint32_t NextFree(const TWorkArea& work, uint32_t from) {
  while (from < kCodes && work.Used[from]) ++from;
  return from;
}

}  // namespace

void Unshrink(TEntryInput& input, TEntryOutput& output, TWorkArea& work) {
  TBitReader bits(input);
  TWindowOutput out(output, work.Window);
  for (uint32_t c = 0; c < kCodes; ++c) work.Used[c] = c < kFirstFree;
  unsigned width = 9;
  uint32_t previous;
  // The first code is a literal.
  if (!bits.Read(width, previous) || previous >= kControl) {
    out.Finish();
    return;
  }
  uint8_t previousFirst = static_cast<uint8_t>(previous);
  out.Put(previousFirst);
  uint32_t nextFree = kFirstFree;
  const uint64_t declared = output.Declared();
  uint32_t code;
  while (out.Produced() < declared && bits.Read(width, code)) {
    if (code == kControl) {
      uint32_t sub;
      if (!bits.Read(width, sub)) break;
      if (sub == 1 && width < 13) {
        ++width;
      } else if (sub == 2) {
        PartialClear(work);
        nextFree = NextFree(work, kFirstFree);
      } else if (sub != 1) {
        break;  // unknown escape
      }
      continue;
    }
    size_t depth = 0;
    uint32_t walk = code;
    if (!work.Used[code]) {
      if (code != nextFree) break;  // undefined code
      // The code being defined: previous string plus its own first byte.
      work.Stack[depth++] = previousFirst;
      walk = previous;
    }
    while (walk >= kFirstFree && depth < kCodes - 1) {
      work.Stack[depth++] = work.Suffix[walk];
      walk = work.Prefix[walk];
    }
    if (walk >= kControl) break;  // loop in the table or a stray control code
    work.Stack[depth++] = static_cast<uint8_t>(walk);
    uint8_t first = static_cast<uint8_t>(walk);
    while (depth > 0) out.Put(work.Stack[--depth]);
    if (nextFree < kCodes) {
      work.Prefix[nextFree] = static_cast<uint16_t>(previous);
      work.Suffix[nextFree] = first;
      work.Used[nextFree] = 1;
      nextFree = NextFree(work, nextFree + 1);
    }
    previous = code;
    previousFirst = first;
  }
  out.Finish();
}
