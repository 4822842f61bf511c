#include "signing/Signature.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/Exception.h"
#include "signing/generated/PublisherKey.h"

namespace signing {
namespace {

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

struct TAlgorithmCloser {
  void operator()(BCRYPT_ALG_HANDLE handle) const { BCryptCloseAlgorithmProvider(handle, 0); }
};
struct TKeyDestroyer {
  void operator()(BCRYPT_KEY_HANDLE handle) const { BCryptDestroyKey(handle); }
};
using TAlgorithm = std::unique_ptr<void, TAlgorithmCloser>;
using TKey = std::unique_ptr<void, TKeyDestroyer>;

struct THandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using TFile = std::unique_ptr<void, THandleCloser>;

TAlgorithm OpenAlgorithm(const wchar_t* name) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0)))
    throw Exception("cryptography: the platform has no provider for the signature check");
  return TAlgorithm(handle);
}

// The SHA-256 provider, opened once per process: opening it costs more than hashing a
// small file. Hash objects made from it may be used on any thread.
BCRYPT_ALG_HANDLE Sha256Provider() {
  static const TAlgorithm provider = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
  return provider.get();
}

TFile OpenForReading(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  return TFile(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

bool VerifyDigest(const TPublicKey& key, const TDigest& digest,
                  std::span<const std::uint8_t> signature) {
  if (signature.size() != kSignatureSize) return false;
  // A BCRYPT_ECCKEY_BLOB header followed by X and Y.
  std::uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, key.X.data(), 32);
  std::memcpy(blob + sizeof header + 32, key.Y.data(), 32);
  TAlgorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  BCRYPT_KEY_HANDLE handle = nullptr;
  if (!Succeeded(BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle, blob,
                                     sizeof blob, 0)))
    return false;
  TKey imported(handle);
  return Succeeded(BCryptVerifySignature(imported.get(), nullptr, const_cast<PUCHAR>(digest.data()),
                                         digest.size(), const_cast<PUCHAR>(signature.data()),
                                         static_cast<ULONG>(signature.size()), 0));
}

TPublicKey BuiltInKey() {
  TPublicKey key;
  std::memcpy(key.X.data(), publisher::kKeyX, 32);
  std::memcpy(key.Y.data(), publisher::kKeyY, 32);
  return key;
}

}  // namespace

TSha256::TSha256() {
  BCRYPT_HASH_HANDLE handle = nullptr;
  if (!Succeeded(BCryptCreateHash(Sha256Provider(), &handle, nullptr, 0, nullptr, 0, 0)))
    throw Exception("cryptography: SHA-256 is not available");
  FHash = handle;
}

TSha256::~TSha256() {
  BCryptDestroyHash(FHash);
}

void TSha256::Add(const void* bytes, std::size_t size) {
  auto* next = static_cast<PUCHAR>(const_cast<void*>(bytes));
  while (size > 0) {
    ULONG block = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
    if (!Succeeded(BCryptHashData(FHash, next, block, 0)))
      throw Exception("cryptography: SHA-256 failed");
    next += block;
    size -= block;
  }
}

TDigest TSha256::Finish() {
  TDigest digest{};
  if (!Succeeded(BCryptFinishHash(FHash, digest.data(), digest.size(), 0)))
    throw Exception("cryptography: SHA-256 failed");
  return digest;
}

bool Verifies() {
  return publisher::kConfigured;
}

const TPublicKey& PublisherKey() {
  static const TPublicKey key = BuiltInKey();
  return key;
}

TDigest Sha256(std::span<const std::uint8_t> bytes) {
  TSha256 hash;
  hash.Add(bytes.data(), bytes.size());
  return hash.Finish();
}

bool Sha256File(const std::wstring& path, TDigest& digest) {
  TFile file = OpenForReading(path);
  if (!file) return false;
  TSha256 hash;
  std::vector<std::uint8_t> block(1 << 16);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &read, nullptr))
      return false;
    if (read == 0) break;
    hash.Add(block.data(), read);
  }
  digest = hash.Finish();
  return true;
}

bool VerifySignature(const TPublicKey& key, std::span<const std::uint8_t> bytes,
                     std::span<const std::uint8_t> signature) {
  return VerifyDigest(key, Sha256(bytes), signature);
}

TVerdict CheckDigest(const TPublicKey& key, const TDigest& digest,
                     std::span<const std::uint8_t> signature) {
  if (signature.size() != kSignatureSize) return TVerdict::MalformedSignature;
  return VerifyDigest(key, digest, signature) ? TVerdict::Valid : TVerdict::Invalid;
}

}  // namespace signing
