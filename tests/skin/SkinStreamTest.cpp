// The skin data's portable half: the stored skin stream and the face colour it applies.
#include <gtest/gtest.h>

#include "SkinTestSupport.h"
#include "skin/SkinRead.h"
#include "skin/SkinWriter.h"

using namespace skin;
using namespace skintest;

namespace {

std::vector<uint8_t> Stream(uint32_t length, std::vector<uint8_t> rest) {
  std::vector<uint8_t> stream;
  for (int shift = 0; shift < 32; shift += 8)
    stream.push_back(static_cast<uint8_t>(length >> shift));
  stream.insert(stream.end(), rest.begin(), rest.end());
  return stream;
}

std::vector<uint8_t> PackageIn(const std::vector<uint8_t>& stream) {
  const auto package = SkinStreamPackage(stream);
  return {package.begin(), package.end()};
}

}  // namespace

// The stored length is believed only when it is positive and the bytes are there; bytes
// after the package are not part of it.
TEST(SkinStream, LengthFraming) {
  EXPECT_TRUE(PackageIn({}).empty());
  EXPECT_TRUE(PackageIn({3, 0, 0}).empty());
  EXPECT_TRUE(PackageIn(Stream(0, {1, 2})).empty());
  EXPECT_TRUE(PackageIn(Stream(0x80000000u, {1, 2})).empty());
  EXPECT_TRUE(PackageIn(Stream(0xFFFFFFFFu, {1, 2})).empty());
  EXPECT_TRUE(PackageIn(Stream(3, {1, 2})).empty());
  EXPECT_EQ(PackageIn(Stream(2, {1, 2})), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(PackageIn(Stream(1, {1, 2})), std::vector<uint8_t>{1});
  EXPECT_EQ(PackageIn(Stream(0x01000000u, std::vector<uint8_t>(0x01000000u, 7))).size(),
            0x01000000u);

  const auto package =
      WritePackage(kSkinFormat, {{"s.ini", Bytes("[TitlebarSkin]\nSkinName=S\n")}});
  const auto stream = SkinStreamOf(package);
  EXPECT_EQ(stream.size(), package.size() + 4);
  EXPECT_EQ(PackageIn(stream), package);
  EXPECT_EQ(ReadSkin(SkinStreamPackage(stream)).SkinName, "S");
}

// The colour from the top border wins over "ButtonFace"; black is a colour, not "unset".
TEST(SkinStream, FaceColourChoice) {
  TSkin skin;
  EXPECT_FALSE(SkinFaceColour(skin).Set);
  skin.Colours.ButtonFace = {0, 0, 0, true};
  EXPECT_TRUE(SkinFaceColour(skin).Set);
  EXPECT_EQ(SkinFaceColour(skin).Rgb(), 0u);
  skin.FaceColour = {1, 2, 3, true};
  EXPECT_EQ(SkinFaceColour(skin).Rgb(), 0x010203u);
  skin.Colours.ButtonFace = {};
  EXPECT_EQ(SkinFaceColour(skin).Rgb(), 0x010203u);

  TSkinBitmap top = Solid(30, 6, 0x445566);
  const TSkin read = ReadSkin(WritePackage(
      kSkinFormat, {{"s.ini", Bytes("[Personality]\nTop=top.bmp\n[Colours]\nButtonFace=9,9,9\n")},
                    {"top.bmp", WriteBmp24(top)}}));
  EXPECT_EQ(SkinFaceColour(read).Rgb(), 0x445566u);
}
