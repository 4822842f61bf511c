#include "selfupdate/SignedDownload.h"

#include <cstdint>

#include "download/HttpFetch.h"
#include "signing/Signature.h"
#include "ui/Application.h"

namespace selfupdate {

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

bool TSignatureCheck::Judge(const std::wstring& path, const std::string& signature) {
  signing::TDigest digest;
  std::string refusal;
  if (!signing::Sha256File(path, digest)) {
    refusal = "無法讀取下載的檔案 " + ui::Narrow(path);
  } else {
    switch (signing::CheckDigest(signing::PublisherKeys(), digest, Bytes(signature))) {
      case signing::TVerdict::Valid:
        break;
      case signing::TVerdict::MalformedSignature:
        refusal = "簽章檔 " + ui::Narrow(FUrl) + ".sig 格式錯誤 (" +
                  std::to_string(signature.size()) + " 位元組,應為 64)";
        break;
      case signing::TVerdict::Invalid:
        refusal = "簽章不符 (不是發行者簽署的內容,可能遭到竄改)";
        break;
    }
  }
  std::lock_guard lock(FMutex);
  FRefusal = refusal;
  if (refusal.empty()) FSignature = signature;
  return refusal.empty();
}

bool TSignatureCheck::Accept(const std::wstring& path) {
  if (!signing::Verifies()) return true;
  std::string fileName = ui::Narrow(FUrl.substr(FUrl.find_last_of(L'/') + 1));
  std::string signature;
  try {
    // A little more than a signature, so an oversized file is told from a short one.
    signature = download::FetchBytes(FUrl + L".sig", 1024, fileName + " 的簽章");
  } catch (const download::EFetchError& error) {
    std::lock_guard lock(FMutex);
    FRefusal = error.Message();
    return false;
  }
  return Judge(path, signature);
}

bool TSignatureCheck::Recheck(const std::wstring& path) {
  if (!signing::Verifies()) return true;
  std::string signature;
  {
    std::lock_guard lock(FMutex);
    signature = FSignature;
  }
  return Judge(path, signature);
}

std::string TSignatureCheck::Refusal() const {
  std::lock_guard lock(FMutex);
  return FRefusal;
}

}  // namespace selfupdate
