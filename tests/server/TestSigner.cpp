#include "TestSigner.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <stdexcept>

#ifdef VORNIS_TEST_SIGNS
#include "TestPrivateKey.h"
#endif

namespace testserver {

std::optional<std::string> SignForTests([[maybe_unused]] const std::string& bytes) {
#ifndef VORNIS_TEST_SIGNS
  return std::nullopt;
#else
  BCRYPT_ALG_HANDLE hashAlgorithm = nullptr, signAlgorithm = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  unsigned char digest[32];
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 96];
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, privatekey::kKeyX, 32);
  std::memcpy(blob + sizeof header + 32, privatekey::kKeyY, 32);
  std::memcpy(blob + sizeof header + 64, privatekey::kKeyD, 32);
  std::string signature(64, '\0');
  ULONG written = 0;
  bool ok =
      BCryptOpenAlgorithmProvider(&hashAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 &&
      BCryptCreateHash(hashAlgorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0 &&
      BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                     static_cast<ULONG>(bytes.size()), 0) >= 0 &&
      BCryptFinishHash(hash, digest, sizeof digest, 0) >= 0 &&
      BCryptOpenAlgorithmProvider(&signAlgorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) >= 0 &&
      BCryptImportKeyPair(signAlgorithm, nullptr, BCRYPT_ECCPRIVATE_BLOB, &key, blob, sizeof blob,
                          0) >= 0 &&
      BCryptSignHash(key, nullptr, digest, sizeof digest,
                     reinterpret_cast<PUCHAR>(signature.data()), 64, &written, 0) >= 0 &&
      written == 64;
  if (key) BCryptDestroyKey(key);
  if (hash) BCryptDestroyHash(hash);
  if (signAlgorithm) BCryptCloseAlgorithmProvider(signAlgorithm, 0);
  if (hashAlgorithm) BCryptCloseAlgorithmProvider(hashAlgorithm, 0);
  if (!ok) throw std::runtime_error("test server: could not sign with the build's key");
  return signature;
#endif
}

}  // namespace testserver
