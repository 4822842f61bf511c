#include "selfupdate/SignedDownload.h"

#include <cstdint>
#include <vector>

#include "base/Exception.h"
#include "download/HttpFetch.h"
#include "ui/Application.h"

namespace selfupdate {

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::wstring ReadKey(const std::wstring& versionFile, const wchar_t* key) {
  wchar_t value[256] = {};
  GetPrivateProfileStringW(L"updataver", key, L"", value, 256, versionFile.c_str());
  std::wstring text = value;
  size_t first = text.find_first_not_of(L" \t");
  size_t last = text.find_last_not_of(L" \t");
  return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Size and SHA-256 of what `file` holds from its position on; false when unreadable.
bool DigestOf(HANDLE file, signing::TDigest& digest, long long& size) {
  signing::TSha256 hash;
  std::vector<std::uint8_t> block(1 << 16);
  size = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &read, nullptr))
      return false;
    if (read == 0) break;
    hash.Add(block.data(), read);
    size += read;
  }
  digest = hash.Finish();
  return true;
}

bool DigestOfFile(const std::wstring& path, signing::TDigest& digest, long long& size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool read = DigestOf(file, digest, size);
  CloseHandle(file);
  return read;
}

}  // namespace

TExeBinding ReadExeBinding(const std::wstring& versionFile) {
  TExeBinding binding;
  std::wstring size = ReadKey(versionFile, L"size");
  if (!size.empty() && size.size() <= 15 &&
      size.find_first_not_of(L"0123456789") == std::wstring::npos)
    binding.Size = std::stoll(size);
  std::wstring sha256 = ReadKey(versionFile, L"sha256");
  if (sha256.size() == 64) {
    signing::TDigest digest;
    bool hex = true;
    for (size_t i = 0; i < 32 && hex; ++i) {
      int high = HexDigit(sha256[2 * i]), low = HexDigit(sha256[2 * i + 1]);
      hex = high >= 0 && low >= 0;
      digest[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    if (hex) binding.Sha256 = digest;
  }
  return binding;
}

std::string ReadPublished(const std::wstring& versionFile) {
  return ui::Narrow(ReadKey(versionFile, L"published"));
}

std::string TSignatureCheck::FileName() const {
  return ui::Narrow(FUrl.substr(FUrl.find_last_of(L'/') + 1));
}

void TSignatureCheck::Refuse(TRefusalKind kind, std::string reason) {
  std::lock_guard lock(FMutex);
  FKind = kind;
  FRefusal = std::move(reason);
}

bool TSignatureCheck::Accept(const std::wstring& path) {
  signing::TDigest digest;
  long long size = -1;
  try {
    if (!DigestOfFile(path, digest, size)) {
      Refuse(TRefusalKind::Signature, "無法讀取下載的 " + FileName());
      return false;
    }
    if (FBinding.Binds()) {
      if (*FBinding.Sha256 != digest || (FBinding.Size >= 0 && FBinding.Size != size)) {
        Refuse(TRefusalKind::Signature, "下載的 " + FileName() +
                                            " 與已簽署的版本資訊 UPdate.ini 所記載的大小或 "
                                            "SHA-256 不符 (可能是舊版或遭到竄改)");
        return false;
      }
    } else if (signing::Verifies()) {
      std::string signature;
      try {
        // A little more than a signature, so an oversized file is told from a short one.
        signature = download::FetchBytes(FUrl + L".sig", 1024, FileName() + " 的簽章");
      } catch (const download::EFetchError& error) {
        Refuse(TRefusalKind::Unreachable, error.Message());
        return false;
      }
      switch (signing::CheckDigest(signing::PublisherKeys(), digest, Bytes(signature))) {
        case signing::TVerdict::Valid:
          break;
        case signing::TVerdict::MalformedSignature:
          Refuse(TRefusalKind::Signature, "簽章檔 " + ui::Narrow(FUrl) + ".sig 格式錯誤 (" +
                                              std::to_string(signature.size()) +
                                              " 位元組,應為 64)");
          return false;
        case signing::TVerdict::Invalid:
          Refuse(TRefusalKind::Signature, "簽章不符 (不是發行者簽署的內容,可能遭到竄改)");
          return false;
      }
    }
  } catch (const Exception& error) {
    // The platform could not hash or verify: nothing unchecked is used.
    Refuse(TRefusalKind::Signature, error.Message());
    return false;
  }
  std::lock_guard lock(FMutex);
  FAccepted = digest;
  FAcceptedSize = size;
  FRefusal.clear();
  FKind = TRefusalKind::None;
  return true;
}

bool TSignatureCheck::AcceptPublished(const std::string& published,
                                      signing::TPublicationRecord& record,
                                      const std::string& name) {
  if (!signing::Verifies()) return true;
  signing::TFreshness verdict = record.Accept(name, published);
  if (verdict == signing::TFreshness::Fresh) return true;
  Refuse(TRefusalKind::Older,
         signing::FreshnessRefusal(verdict, name, published, record.Newest(name)));
  return false;
}

bool TSignatureCheck::Matches(HANDLE file) {
  std::optional<signing::TDigest> accepted;
  long long acceptedSize = -1;
  {
    std::lock_guard lock(FMutex);
    accepted = FAccepted;
    acceptedSize = FAcceptedSize;
  }
  signing::TDigest digest;
  long long size = -1;
  bool same = false;
  try {
    same = accepted && DigestOf(file, digest, size) && digest == *accepted && size == acceptedSize;
  } catch (const Exception&) {
  }
  if (!same)
    Refuse(TRefusalKind::Signature,
           FileName() + " 在下載後被更動,與通過檢查的內容不同 (可能遭到竄改)");
  return same;
}

std::string TSignatureCheck::Refusal() const {
  std::lock_guard lock(FMutex);
  return FRefusal;
}

TSignatureCheck::TRefusalKind TSignatureCheck::RefusalKind() const {
  std::lock_guard lock(FMutex);
  return FKind;
}

}  // namespace selfupdate
