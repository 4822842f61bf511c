#include "TestSigner.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <stdexcept>

#ifdef VORNIS_TEST_SIGNS
#include "TestPrivateKey.h"
#endif
#ifdef VORNIS_TEST_SIGNS_NEXT
#include "TestNextPrivateKey.h"
#endif

namespace testserver {

namespace {

bool Sha256(const std::string& bytes, unsigned char (&digest)[32]) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 &&
            BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0 &&
            BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                           static_cast<ULONG>(bytes.size()), 0) >= 0 &&
            BCryptFinishHash(hash, digest, sizeof digest, 0) >= 0;
  if (hash) BCryptDestroyHash(hash);
  if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  return ok;
}

std::string SignDigest(BCRYPT_KEY_HANDLE key, const std::string& bytes) {
  unsigned char digest[32];
  std::string signature(64, '\0');
  ULONG written = 0;
  if (!Sha256(bytes, digest) ||
      BCryptSignHash(key, nullptr, digest, sizeof digest,
                     reinterpret_cast<PUCHAR>(signature.data()), 64, &written, 0) < 0 ||
      written != 64)
    throw std::runtime_error("test signer: could not sign");
  return signature;
}

[[maybe_unused]] std::string SignWith(const unsigned char* x, const unsigned char* y,
                                      const unsigned char* d, const std::string& bytes) {
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 96];
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, x, 32);
  std::memcpy(blob + sizeof header + 32, y, 32);
  std::memcpy(blob + sizeof header + 64, d, 32);
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0 ||
      BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPRIVATE_BLOB, &key, blob, sizeof blob, 0) <
          0) {
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
    throw std::runtime_error("test server: could not sign with the build's key");
  }
  std::string signature = SignDigest(key, bytes);
  BCryptDestroyKey(key);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return signature;
}

}  // namespace

std::optional<std::string> SignForTests([[maybe_unused]] const std::string& bytes,
                                        [[maybe_unused]] int key) {
#ifdef VORNIS_TEST_SIGNS
  if (key == 0) return SignWith(privatekey::kKeyX, privatekey::kKeyY, privatekey::kKeyD, bytes);
#endif
#ifdef VORNIS_TEST_SIGNS_NEXT
  if (key == 1) return SignWith(nextkey::kKeyX, nextkey::kKeyY, nextkey::kKeyD, bytes);
#endif
  return std::nullopt;
}

TThrowawayKey::TThrowawayKey() {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0)
    throw std::runtime_error("test signer: no ECDSA P-256");
  FAlgorithm = algorithm;
  if (BCryptGenerateKeyPair(algorithm, &key, 256, 0) < 0 || BCryptFinalizeKeyPair(key, 0) < 0)
    throw std::runtime_error("test signer: could not make a key");
  FKey = key;
}

TThrowawayKey::~TThrowawayKey() {
  if (FKey) BCryptDestroyKey(FKey);
  if (FAlgorithm) BCryptCloseAlgorithmProvider(FAlgorithm, 0);
}

std::array<unsigned char, 64> TThrowawayKey::PublicPoint() const {
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
  ULONG size = 0;
  if (BCryptExportKey(FKey, nullptr, BCRYPT_ECCPUBLIC_BLOB, blob, sizeof blob, &size, 0) < 0 ||
      size != sizeof blob)
    throw std::runtime_error("test signer: could not export a key");
  std::array<unsigned char, 64> point;
  std::memcpy(point.data(), blob + sizeof(BCRYPT_ECCKEY_BLOB), 64);
  return point;
}

std::string TThrowawayKey::Sign(const std::string& bytes) const {
  return SignDigest(FKey, bytes);
}

}  // namespace testserver
