// The package layout: header, skipped block per format, names, sizes, contents.
#include <gtest/gtest.h>

#include "SkinTestSupport.h"
#include "skin/SkinRead.h"
#include "skin/SkinWriter.h"

using namespace skin;
using namespace skintest;

namespace {

std::vector<TSkinPackFile> SmallFiles() {
  TSkinBitmap top = Solid(27, 6, 0x102030);
  top.Pixels[2 * 27 + 3] = 0xA0B0C0;  // one third across and down the first of three frames
  return {{"Skin.INI", Bytes("[TitlebarSkin]\r\nSkinName=Small\r\n[Personality]\r\nTop=top.bmp\r\n"
                             "TopFrame=3\r\n")},
          {"top.bmp", WriteBmp24(top)},
          {"Empty.txt", {}}};
}

}  // namespace

TEST(Package, SplitsEveryFormatAndFindsFiles) {
  for (uint32_t format : {20000u, 30000u, 40000u, 50000u, 60000u, 70000u}) {
    const TSkinPackage package = SplitPackage(BuildPackage(format, SmallFiles()));
    ASSERT_EQ(package.Files.size(), 3u) << format;
    EXPECT_EQ(package.Files[0].Name, "skin.ini");
    EXPECT_EQ(package.Files[2].Name, "empty.txt");
    EXPECT_TRUE(package.Files[2].Data.empty());
    EXPECT_EQ(package.Description(), &package.Files[0]);
    EXPECT_EQ(package.Find("top.bmp"), &package.Files[1]);
    EXPECT_EQ(package.Find("Top.bmp"), nullptr);
  }
  const TSkin skin = ReadSkin(WritePackage(kSkinFormat, SmallFiles()));
  EXPECT_EQ(skin.SkinName, "Small");
  ASSERT_TRUE(skin.FaceColour.Set);
  EXPECT_EQ(skin.FaceColour.Rgb(), 0xA0B0C0u);
}

// Hand-written, one per format: the skipped block is filled so that a skip of another
// size reads other names. The description is the first name containing ".ini".
TEST(Package, EachFormatSkipsItsOwnBlock) {
  const std::pair<uint32_t, size_t> formats[] = {{20000, 0},  {30000, 256}, {40000, 80},
                                                 {50000, 48}, {60000, 117}, {70000, 69}};
  const std::string names = "a.bmp\r\nTheme.INI.bak\r\nb.ini";
  for (const auto& [format, skipped] : formats) {
    std::vector<uint8_t> bytes = {uint8_t(format),
                                  uint8_t(format >> 8),
                                  uint8_t(format >> 16),
                                  0,
                                  uint8_t(names.size()),
                                  0,
                                  0,
                                  0};
    bytes.resize(16 + skipped, 0xA5);
    bytes.insert(bytes.end(), names.begin(), names.end());
    bytes.insert(bytes.end(), {1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 'x', '[', ']'});
    const TSkinPackage package = SplitPackage(bytes);
    ASSERT_EQ(package.Files.size(), 3u) << format;
    EXPECT_EQ(package.Files[1].Name, "theme.ini.bak") << format;
    EXPECT_EQ(package.Files[1].Data, Bytes("[]")) << format;
    EXPECT_EQ(package.Description(), &package.Files[1]) << format;
  }
}

TEST(Package, UnknownFormatIsTheOldSkinMessage) {
  auto bytes = BuildPackage(kSkinFormat, SmallFiles());
  bytes[0] = 0x11;
  try {
    ReadSkin(LzhPack(bytes));
    FAIL();
  } catch (const ESkinOldFormat& e) {
    EXPECT_STREQ(e.what(), "This is Older Skin File\rPlease update to new version !");
  }
}

TEST(Package, EveryTruncationIsRefused) {
  const auto unpacked = BuildPackage(kSkinFormat, SmallFiles());
  for (size_t cut = 0; cut < unpacked.size(); ++cut) {
    const auto part = std::span(unpacked).first(cut);
    EXPECT_THROW(ReadSkin(LzhPack(part)), ESkinError) << cut;
    // The same bytes under the full declared length: the stream ends early.
    auto packed = LzhPack(part);
    packed[0] = static_cast<uint8_t>(unpacked.size());
    packed[1] = static_cast<uint8_t>(unpacked.size() >> 8);
    EXPECT_THROW(ReadSkin(packed), ESkinError) << cut;
  }
}

TEST(Package, HostileSizesAreRefusedWithoutAllocating) {
  auto bytes = BuildPackage(kSkinFormat, SmallFiles());
  auto withLe32 = [&](size_t at, uint32_t value) {
    auto copy = bytes;
    for (int i = 0; i < 4; ++i) copy[at + i] = static_cast<uint8_t>(value >> (8 * i));
    return copy;
  };
  const size_t sizesAt =
      16 + 69 + 30;  // header, skipped block, "skin.ini\r\ntop.bmp\r\nempty.txt\r\n"
  EXPECT_THROW(SplitPackage(withLe32(4, 0xFFFFFFF0u)), ESkinError);        // name list
  EXPECT_THROW(SplitPackage(withLe32(sizesAt, 0xFFFFFFFFu)), ESkinError);  // first size
  EXPECT_THROW(SplitPackage(withLe32(sizesAt + 8, 1)), ESkinError);        // last size past the end
  // A name list of line ends alone: more names than sizes could follow.
  std::vector<uint8_t> lines = withLe32(4, 200000);
  lines.resize(16 + 69);
  lines.resize(16 + 69 + 200000, '\n');
  EXPECT_THROW(SplitPackage(lines), ESkinError);
}

// Names differing in case meet in the lower-cased name, also at the ends of the
// alphabet: "Z" and "A" fold like every other letter, and nothing else does.
TEST(Package, NamesDifferingInCaseWithZ) {
  const TSkin skin = ReadSkin(WritePackage(
      kSkinFormat, {{"Z.INI", Bytes("[Progress]\nImage=zAz.BMP\n[Tabs]\nImage=[Z].bmp\n")},
                    {"ZaZ.bmp", WriteBmp24(Solid(2, 2, 0x0000FF))},
                    {"[z].bmp", WriteBmp24(Solid(2, 2, 0x00FF00))}}));
  ASSERT_NE(skin.Element("progress"), nullptr);
  EXPECT_EQ(skin.Element("progress")->Image.Pixel(1, 1), 0x0000FFu);
  ASSERT_NE(skin.Element("tabs"), nullptr);
  EXPECT_EQ(skin.Element("tabs")->Image.Pixel(0, 0), 0x00FF00u);
  const TSkinPackage package =
      SplitPackage(BuildPackage(kSkinFormat, {{"AZ@[`{.ini", {}}, {"ZZ.BMP", {}}}));
  EXPECT_EQ(package.Files[0].Name, "az@[`{.ini");
  EXPECT_NE(package.Find("zz.bmp"), nullptr);
}
