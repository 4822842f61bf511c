#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "TestKey.h"
#include "signing/Signature.h"

namespace {

namespace fs = std::filesystem;
using signing::TVerdict;

const fs::path kVectors = fs::path(VORNIS_SOURCE_DIR) / "tests" / "data" / "signing";

signing::TPublicKey TestKey() {
  signing::TPublicKey key;
  std::memcpy(key.X.data(), signing::testkey::kKeyX, 32);
  std::memcpy(key.Y.data(), signing::testkey::kKeyY, 32);
  return key;
}

std::vector<std::uint8_t> Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Sha256, KnownDigests) {
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  signing::TDigest digest = signing::Sha256(abc);
  EXPECT_EQ(digest[0], 0xba);
  EXPECT_EQ(digest[31], 0xad);
  EXPECT_EQ(signing::Sha256({})[0], 0xe3);  // e3b0c442...b855
}

// Every way a signed file can be wrong is refused; only the untouched pair passes.
TEST(Signature, FixedVectorsAndTampering) {
  const signing::TPublicKey key = TestKey();
  std::vector<std::uint8_t> ini = Read(kVectors / "UPdate.ini");
  std::vector<std::uint8_t> signature = Read(kVectors / "UPdate.ini.sig");
  ASSERT_FALSE(ini.empty());
  EXPECT_TRUE(signing::VerifySignature(key, ini, signature));
  EXPECT_TRUE(
      signing::VerifySignature(key, Read(kVectors / "Data.xml"), Read(kVectors / "Data.xml.sig")));

  std::vector<std::uint8_t> changed = ini;
  changed.back() ^= 1;
  EXPECT_FALSE(signing::VerifySignature(key, changed, signature));
  std::vector<std::uint8_t> flipped = signature;
  flipped[40] ^= 0x10;
  EXPECT_FALSE(signing::VerifySignature(key, ini, flipped));
  // Another key's signature, and the signature of another published file.
  EXPECT_FALSE(signing::VerifySignature(key, ini, Read(kVectors / "UPdate.ini.otherkey.sig")));
  EXPECT_FALSE(signing::VerifySignature(key, ini, Read(kVectors / "Data.xml.sig")));
  // A key that is not a point of the curve.
  signing::TPublicKey offCurve = key;
  offCurve.Y[31] ^= 1;
  EXPECT_FALSE(signing::VerifySignature(offCurve, ini, signature));
}

TEST(Signature, SignaturesOfTheWrongSizeAreMalformed) {
  const signing::TPublicKey key = TestKey();
  signing::TDigest digest = signing::Sha256(Read(kVectors / "UPdate.ini"));
  std::vector<std::uint8_t> signature = Read(kVectors / "UPdate.ini.sig");
  EXPECT_EQ(signing::CheckDigest(key, digest, signature), TVerdict::Valid);
  std::vector<std::uint8_t> longer = signature;
  longer.push_back(0);
  for (const auto& wrong : {std::vector<std::uint8_t>(signature.begin(), signature.end() - 1),
                            longer, std::vector<std::uint8_t>()})
    EXPECT_EQ(signing::CheckDigest(key, digest, wrong), TVerdict::MalformedSignature);
  digest[0] ^= 1;
  EXPECT_EQ(signing::CheckDigest(key, digest, signature), TVerdict::Invalid);
}

}  // namespace
