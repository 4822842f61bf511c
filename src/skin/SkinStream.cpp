// The skin stream a form stores (a length, then the package) and the face colour a
// skin gives its windows. Portable: the skin data component applies them.
#include "skin/SkinRead.h"
#include "skin/SkinWriter.h"

namespace skin {

std::span<const uint8_t> SkinStreamPackage(std::span<const uint8_t> stream) {
  if (stream.size() < 4) return {};
  const int32_t length =
      static_cast<int32_t>(uint32_t(stream[0]) | uint32_t(stream[1]) << 8 |
                           uint32_t(stream[2]) << 16 | uint32_t(stream[3]) << 24);
  if (length <= 0 || static_cast<size_t>(length) > stream.size() - 4) return {};
  return stream.subspan(4, static_cast<size_t>(length));
}

std::vector<uint8_t> SkinStreamOf(std::span<const uint8_t> package) {
  std::vector<uint8_t> out;
  out.reserve(package.size() + 4);
  const uint32_t length = static_cast<uint32_t>(package.size());
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(length >> shift));
  out.insert(out.end(), package.begin(), package.end());
  return out;
}

TSkinColour SkinFaceColour(const TSkin& skin) {
  if (skin.FaceColour.Set) return skin.FaceColour;
  return skin.Colours.ButtonFace;
}

}  // namespace skin
