#include "install/ArchiveDigest.h"

#include <vector>

#include "base/Exception.h"
#include "signing/Signature.h"

namespace install {

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
  try {
    signing::TSha256 hash;
    std::vector<unsigned char> buffer(256 * 1024);
    TArchiveDigest digest;
    digest.Size = 0;
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
        return std::nullopt;
      if (got == 0) break;
      hash.Add(buffer.data(), got);
      digest.Size += got;
    }
    static const char kHex[] = "0123456789abcdef";
    for (unsigned char byte : hash.Finish()) {
      digest.Sha256 += kHex[byte >> 4];
      digest.Sha256 += kHex[byte & 15];
    }
    return digest;
  } catch (const Exception&) {
    return std::nullopt;
  }
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
