// The LZHUF decoder against a third-party encoder's vectors, and our encoder against
// the decoder.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "SkinTestSupport.h"
#include "skin/SkinRead.h"
#include "skin/SkinWriter.h"

using namespace skin;
using namespace skintest;

TEST(Lzh, EveryVectorUnpacksToItsInput) {
  std::ifstream manifest(VectorDir() + "MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line);  // header
  int vectors = 0;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string name;
    size_t size = 0;
    fields >> name >> size;
    const auto input = ReadFile(VectorDir() + name + ".input");
    ASSERT_EQ(input.size(), size) << name;
    EXPECT_EQ(LzhUnpack(ReadFile(VectorDir() + name + ".packed")), input) << name;
    ++vectors;
  }
  EXPECT_EQ(vectors, 9);
}

TEST(Lzh, RoundTripsVariedData) {
  std::mt19937 random(7);
  std::vector<std::vector<uint8_t>> samples = {{}, {0x41}, std::vector<uint8_t>(70000, ' ')};
  std::vector<uint8_t> noise(100000);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  samples.push_back(noise);
  // Text-like data with repeats at every distance up to the ring size and beyond.
  std::vector<uint8_t> words;
  while (words.size() < 400000) {
    const size_t back = random() % 5000;
    if (words.size() > back && back > 0) {
      const size_t length = 3 + random() % 70;
      for (size_t i = 0; i < length; ++i) words.push_back(words[words.size() - back]);
    } else {
      words.push_back(static_cast<uint8_t>('a' + random() % 26));
    }
  }
  samples.push_back(words);
  samples.push_back(ReadFile(VectorDir() + "08_bmp_200x50x24.input"));
  for (const auto& sample : samples) {
    const auto packed = LzhPack(sample);
    EXPECT_EQ(LzhUnpack(packed), sample) << sample.size();
  }
  // Text compresses: the encoder finds matches.
  EXPECT_LT(LzhPack(words).size(), words.size() / 2);
}

TEST(Lzh, RefusesTruncatedAndImpossibleStreams) {
  const auto packed = ReadFile(VectorDir() + "09_ini_2k.packed");
  for (size_t cut = 0; cut < packed.size(); ++cut) {
    EXPECT_THROW(LzhUnpack(std::span(packed).first(cut)), ESkinError) << cut;
  }
  // A declared size beyond the limit, and one the stream could never hold.
  EXPECT_THROW(LzhUnpack(std::vector<uint8_t>{0x01, 0x00, 0x00, 0x04}), ESkinError);
  EXPECT_THROW(LzhUnpack(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x03, 0x00}), ESkinError);
}

// Regression: the third-party encoder's streams go on past a declared length that ends
// inside a match; the last match is cut there.
TEST(Lzh, DeclaredLengthEndingInsideAMatchStopsThere) {
  for (const char* name : {"04_blanks_100k", "05_abracadabra_5000"}) {
    auto packed = ReadFile(VectorDir() + name + ".packed");
    const auto input = ReadFile(VectorDir() + name + ".input");
    for (uint32_t size : {1u, 59u, 61u, 1001u}) {
      for (int i = 0; i < 4; ++i) packed[size_t(i)] = static_cast<uint8_t>(size >> (8 * i));
      EXPECT_EQ(LzhUnpack(packed), std::vector<uint8_t>(input.begin(), input.begin() + size))
          << name << " " << size;
    }
  }
}

// A package unpacking to exactly the size limit is read; one byte more is refused by the
// limit itself, with a real stream that the ratio guard lets through.
TEST(Lzh, UnpackedSizeLimitIsExact) {
  std::vector<uint8_t> data(size_t{kMaxUnpackedSize} + 1, ' ');
  for (size_t i = 0; i < data.size(); i += 4099) data[i] = static_cast<uint8_t>('a' + i % 26);
  auto packed = LzhPack(data);
  ASSERT_LE(data.size(), (packed.size() - 4) * 48);  // within the ratio guard
  try {
    LzhUnpack(packed);
    FAIL() << "a package past the limit was unpacked";
  } catch (const ESkinError& error) {
    EXPECT_EQ(error.Message(), "skin package: unpacked size too large");
  }
  // The same stream declaring one byte less: the last match is cut at the limit.
  for (int i = 0; i < 4; ++i) packed[size_t(i)] = static_cast<uint8_t>(kMaxUnpackedSize >> (8 * i));
  data.pop_back();
  EXPECT_EQ(LzhUnpack(packed), data);
}
