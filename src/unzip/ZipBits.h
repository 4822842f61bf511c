// Least-significant-bit-first bit reader over a TEntryInput, for the legacy decoders.
#pragma once

#include "unzip/ZipDecode.h"

class TBitReader {
 public:
  explicit TBitReader(TEntryInput& input) : FInput(input) {}

  // Tops the buffer up towards |count| (at most 56) bits; returns the bits available,
  // fewer than |count| only when the compressed bytes are used up.
  unsigned Fill(unsigned count) {
    while (FCount < count) {
      if (FNext == FEnd && !Reload()) break;
      FBits |= static_cast<uint64_t>(*FNext++) << FCount;
      FCount += 8;
    }
    return FCount;
  }
  // Reads |count| (1 to 32) bits; false when the input cannot supply them.
  bool Read(unsigned count, uint32_t& value) {
    if (Fill(count) < count) return false;
    value = static_cast<uint32_t>(FBits & ((uint64_t{1} << count) - 1));
    Drop(count);
    return true;
  }
  uint64_t Peek() const { return FBits; }
  unsigned Available() const { return FCount; }
  void Drop(unsigned count) {
    FBits >>= count;
    FCount -= count;
  }

 private:
  bool Reload() {
    size_t size = FInput.Refill(FNext);
    FEnd = FNext + size;
    return size > 0;
  }

  TEntryInput& FInput;
  const uint8_t* FNext = nullptr;
  const uint8_t* FEnd = nullptr;
  uint64_t FBits = 0;
  unsigned FCount = 0;
};

// Sliding-window output of the legacy decoders: a ring of TWorkArea::kWindowSize bytes,
// written out whenever it fills. Positions before the start of the output read as zero.
class TWindowOutput {
 public:
  TWindowOutput(TEntryOutput& output, uint8_t* window) : FOutput(output), FWindow(window) {}

  uint64_t Produced() const { return FProduced; }
  void Put(uint8_t byte) {
    FWindow[FPos++] = byte;
    ++FProduced;
    if (FPos == TWorkArea::kWindowSize) {
      FOutput.Write(FWindow, FPos);
      FPos = 0;
    }
  }
  // Copies |length| bytes from |distance| back (distance at most the window size).
  void Copy(uint32_t distance, uint32_t length) {
    constexpr size_t kMask = TWorkArea::kWindowSize - 1;
    for (uint32_t i = 0; i < length; ++i) {
      uint8_t byte = distance > FProduced ? 0 : FWindow[(FPos - distance) & kMask];
      Put(byte);
    }
  }
  void Finish() {
    if (FPos > 0) FOutput.Write(FWindow, FPos);
    FPos = 0;
  }

 private:
  TEntryOutput& FOutput;
  uint8_t* FWindow;
  size_t FPos = 0;
  uint64_t FProduced = 0;
};
