// Reduce (methods 2 to 5): follower-set coding of bytes followed by a DLE (144) state
// machine that expands back-references. A reference before the start of the output
// yields zero bytes there.
#include "unzip/ZipBits.h"

namespace {

constexpr uint8_t kDle = 144;

unsigned BitsForSet(unsigned count) {
  unsigned bits = 1;
  while ((1u << bits) < count) ++bits;
  return bits;
}

}  // namespace

void Unreduce(TEntryInput& input, TEntryOutput& output, TWorkArea& work, int factor) {
  static const uint32_t kLengthMask[5] = {0, 127, 63, 31, 15};
  static const uint32_t kDistanceMask[5] = {0, 1, 3, 7, 15};
  TBitReader bits(input);
  TWindowOutput out(output, work.Window);
  const uint64_t declared = output.Declared();
  // Follower sets, from byte value 255 down to 0.
  for (int set = 255; set >= 0; --set) {
    uint32_t count;
    if (!bits.Read(6, count)) {
      out.Finish();
      return;
    }
    work.FollowerCount[set] = static_cast<uint8_t>(count);
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t value;
      if (!bits.Read(8, value)) {
        out.Finish();
        return;
      }
      work.Followers[set][i] = static_cast<uint8_t>(value);
    }
    for (uint32_t i = count; i < 64; ++i) work.Followers[set][i] = 0;
  }
  const uint32_t lengthMask = kLengthMask[factor];
  const uint32_t distanceMask = kDistanceMask[factor];
  uint8_t last = 0;
  int state = 0;
  uint32_t value = 0, length = 0;
  while (out.Produced() < declared) {
    uint32_t byte;
    unsigned count = work.FollowerCount[last];
    if (count == 0) {
      if (!bits.Read(8, byte)) break;
    } else {
      uint32_t literal;
      if (!bits.Read(1, literal)) break;
      if (literal) {
        if (!bits.Read(8, byte)) break;
      } else {
        uint32_t index;
        if (!bits.Read(BitsForSet(count), index)) break;
        byte = work.Followers[last][index];
      }
    }
    last = static_cast<uint8_t>(byte);
    switch (state) {
      case 0:
        if (byte == kDle) {
          state = 1;
        } else {
          out.Put(static_cast<uint8_t>(byte));
        }
        break;
      case 1:
        if (byte == 0) {
          out.Put(kDle);
          state = 0;
        } else {
          value = byte;
          length = byte & lengthMask;
          state = length == lengthMask ? 2 : 3;
        }
        break;
      case 2:
        length += byte;
        state = 3;
        break;
      default: {
        uint32_t distance = ((value >> (8 - factor)) & distanceMask) * 256 + byte + 1;
        uint64_t room = declared - out.Produced();
        uint32_t copy = length + 3;
        if (copy > room) copy = static_cast<uint32_t>(room);
        out.Copy(distance, copy);
        state = 0;
        break;
      }
    }
  }
  out.Finish();
}
