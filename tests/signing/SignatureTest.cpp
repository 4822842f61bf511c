#include <gtest/gtest.h>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "TestKey.h"
#include "TestSigner.h"
#include "signing/Signature.h"

namespace {

namespace fs = std::filesystem;
using signing::TVerdict;

const fs::path kVectors = fs::path(VORNIS_SOURCE_DIR) / "tests" / "data" / "signing";

std::span<const signing::TPublicKey> TestKey() {
  static signing::TPublicKey key;
  std::memcpy(key.X.data(), signing::testkey::kKeys[0], 32);
  std::memcpy(key.Y.data(), signing::testkey::kKeys[0] + 32, 32);
  return {&key, 1};
}

signing::TPublicKey PublicOf(const testserver::TThrowawayKey& pair) {
  signing::TPublicKey key;
  std::array<unsigned char, 64> point = pair.PublicPoint();
  std::memcpy(key.X.data(), point.data(), 32);
  std::memcpy(key.Y.data(), point.data() + 32, 32);
  return key;
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
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
  const auto key = TestKey();
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
  signing::TPublicKey offCurve = key[0];
  offCurve.Y[31] ^= 1;
  EXPECT_FALSE(signing::VerifySignature({&offCurve, 1}, ini, signature));
}

TEST(Signature, SignaturesOfTheWrongSizeAreMalformed) {
  const auto key = TestKey();
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

// While a publisher changes keys the manager trusts several: a signature by any of them
// verifies, one by a key not in the list does not, also when a listed key is broken.
TEST(Signature, AnyKeyOfTheListVerifies) {
  testserver::TThrowawayKey first, second, stranger;
  signing::TPublicKey offCurve = PublicOf(first);
  offCurve.X[0] ^= 1;
  const std::vector<signing::TPublicKey> keys = {offCurve, PublicOf(first), PublicOf(second)};
  const std::string text = "[updataver]\r\nver=7\r\n";
  signing::TDigest digest = signing::Sha256(Bytes(text));
  EXPECT_EQ(signing::CheckDigest(keys, digest, Bytes(first.Sign(text))), TVerdict::Valid);
  EXPECT_EQ(signing::CheckDigest(keys, digest, Bytes(second.Sign(text))), TVerdict::Valid);
  EXPECT_EQ(signing::CheckDigest(keys, digest, Bytes(stranger.Sign(text))), TVerdict::Invalid);
  EXPECT_EQ(signing::CheckDigest({}, digest, Bytes(second.Sign(text))), TVerdict::Invalid);
  EXPECT_TRUE(signing::VerifySignature(keys, Bytes(text), Bytes(second.Sign(text))));
  EXPECT_FALSE(signing::VerifySignature(keys, Bytes(text + " "), Bytes(second.Sign(text))));
}

}  // namespace
