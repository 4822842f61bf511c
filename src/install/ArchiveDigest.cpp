#include "install/ArchiveDigest.h"

#include <bcrypt.h>

#include <vector>

namespace install {

namespace {

// The algorithm provider is opened once per process and kept: opening it costs more
// than hashing a small archive.
BCRYPT_ALG_HANDLE Sha256Provider() {
  static BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
      handle = nullptr;
    return handle;
  }();
  return provider;
}

struct THashHandle {
  BCRYPT_HASH_HANDLE Handle = nullptr;
  ~THashHandle() {
    if (Handle) BCryptDestroyHash(Handle);
  }
};

}  // namespace

TArchiveExpectation ParseExpectation(std::wstring_view sizeText, std::wstring_view sha256Text) {
  TArchiveExpectation expectation;
  if (!sizeText.empty() && sizeText.size() <= 18 &&
      sizeText.find_first_not_of(L"0123456789") == std::wstring_view::npos) {
    expectation.Size = 0;
    for (wchar_t c : sizeText) expectation.Size = expectation.Size * 10 + (c - L'0');
  }
  if (sha256Text.size() == 64 &&
      sha256Text.find_first_not_of(L"0123456789abcdefABCDEF") == std::wstring_view::npos) {
    for (wchar_t c : sha256Text)
      expectation.Sha256 += static_cast<char>(c >= L'A' && c <= L'F' ? c + (L'a' - L'A') : c);
  }
  return expectation;
}

std::optional<TArchiveDigest> DigestOf(HANDLE file) {
  BCRYPT_ALG_HANDLE provider = Sha256Provider();
  THashHandle hash;
  if (!provider || BCryptCreateHash(provider, &hash.Handle, nullptr, 0, nullptr, 0, 0) != 0)
    return std::nullopt;
  std::vector<unsigned char> buffer(256 * 1024);
  TArchiveDigest digest;
  digest.Size = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      return std::nullopt;
    if (got == 0) break;
    if (BCryptHashData(hash.Handle, buffer.data(), got, 0) != 0) return std::nullopt;
    digest.Size += got;
  }
  unsigned char value[32];
  if (BCryptFinishHash(hash.Handle, value, sizeof value, 0) != 0) return std::nullopt;
  static const char kHex[] = "0123456789abcdef";
  for (unsigned char byte : value) {
    digest.Sha256 += kHex[byte >> 4];
    digest.Sha256 += kHex[byte & 15];
  }
  return digest;
}

TOpenArchive::TOpenArchive(const std::wstring& path)
    : FFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {}

std::optional<TArchiveDigest> TOpenArchive::Digest() {
  LARGE_INTEGER start{};
  if (FFile == INVALID_HANDLE_VALUE || !SetFilePointerEx(FFile, start, nullptr, FILE_BEGIN))
    return std::nullopt;
  return DigestOf(FFile);
}

void TOpenArchive::Close() {
  if (FFile != INVALID_HANDLE_VALUE) CloseHandle(FFile);
  FFile = INVALID_HANDLE_VALUE;
}

std::optional<TArchiveDigest> DigestOfFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<TArchiveDigest> digest = DigestOf(file);
  CloseHandle(file);
  return digest;
}

}  // namespace install
