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

// Shown when the platform's cryptography cannot do what a check needs.
constexpr const char* kNoCryptography =
    "系統的密碼服務 (CNG) 無法使用,無法檢查發行者的簽章,為安全起見不使用下載的內容";

TAlgorithm OpenAlgorithm(const wchar_t* name) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0)))
    throw Exception(kNoCryptography);
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

bool VerifyDigest(BCRYPT_ALG_HANDLE algorithm, const TPublicKey& key, const TDigest& digest,
                  std::span<const std::uint8_t> signature) {
  // A BCRYPT_ECCKEY_BLOB header followed by X and Y.
  std::uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, key.X.data(), 32);
  std::memcpy(blob + sizeof header + 32, key.Y.data(), 32);
  BCRYPT_KEY_HANDLE handle = nullptr;
  if (!Succeeded(BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle, blob,
                                     sizeof blob, 0)))
    return false;
  TKey imported(handle);
  return Succeeded(BCryptVerifySignature(imported.get(), nullptr, const_cast<PUCHAR>(digest.data()),
                                         digest.size(), const_cast<PUCHAR>(signature.data()),
                                         static_cast<ULONG>(signature.size()), 0));
}

bool VerifyAny(std::span<const TPublicKey> keys, const TDigest& digest,
               std::span<const std::uint8_t> signature) {
  if (signature.size() != kSignatureSize || keys.empty()) return false;
  TAlgorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  for (const TPublicKey& key : keys)
    if (VerifyDigest(algorithm.get(), key, digest, signature)) return true;
  return false;
}

std::vector<TPublicKey> BuiltInKeys() {
  std::vector<TPublicKey> keys(static_cast<std::size_t>(publisher::kKeyCount));
  for (std::size_t i = 0; i < keys.size(); ++i) {
    std::memcpy(keys[i].X.data(), publisher::kKeys[i], 32);
    std::memcpy(keys[i].Y.data(), publisher::kKeys[i] + 32, 32);
  }
  return keys;
}

}  // namespace

TSha256::TSha256() {
  BCRYPT_HASH_HANDLE handle = nullptr;
  if (!Succeeded(BCryptCreateHash(Sha256Provider(), &handle, nullptr, 0, nullptr, 0, 0)))
    throw Exception(kNoCryptography);
  FHash = handle;
}

TSha256::~TSha256() {
  BCryptDestroyHash(FHash);
}

void TSha256::Add(const void* bytes, std::size_t size) {
  auto* next = static_cast<PUCHAR>(const_cast<void*>(bytes));
  while (size > 0) {
    ULONG block = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
    if (!Succeeded(BCryptHashData(FHash, next, block, 0))) throw Exception(kNoCryptography);
    next += block;
    size -= block;
  }
}

TDigest TSha256::Finish() {
  TDigest digest{};
  if (!Succeeded(BCryptFinishHash(FHash, digest.data(), digest.size(), 0)))
    throw Exception(kNoCryptography);
  return digest;
}

bool Verifies() {
  return publisher::kConfigured;
}

std::span<const TPublicKey> PublisherKeys() {
  static const std::vector<TPublicKey> keys = BuiltInKeys();
  return keys;
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

bool VerifySignature(std::span<const TPublicKey> keys, std::span<const std::uint8_t> bytes,
                     std::span<const std::uint8_t> signature) {
  return VerifyAny(keys, Sha256(bytes), signature);
}

TVerdict CheckDigest(std::span<const TPublicKey> keys, const TDigest& digest,
                     std::span<const std::uint8_t> signature) {
  if (signature.size() != kSignatureSize) return TVerdict::MalformedSignature;
  return VerifyAny(keys, digest, signature) ? TVerdict::Valid : TVerdict::Invalid;
}

}  // namespace signing
