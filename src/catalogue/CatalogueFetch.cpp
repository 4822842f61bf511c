// The catalogue's bytes and its signature from the update server.
#include <cstdint>
#include <string>

#include "ServerConfig.h"
#include "catalogue/Catalogue.h"
#include "download/HttpFetch.h"
#include "signing/PublicationTime.h"
#include "signing/Signature.h"
#include "ui/Application.h"

namespace catalogue {

std::wstring CatalogueUrl() {
  std::string url =
      std::string(vornis::server::kScheme) + "://" + vornis::server::kUpdateHost + "/Data.xml";
  return std::wstring(url.begin(), url.end());  // ASCII by construction
}

std::string FetchCatalogueBytes(const std::wstring& url, size_t maxBytes) {
  try {
    return download::FetchBytes(url, maxBytes, "UI 清單");
  } catch (const download::EFetchError& error) {
    throw ECatalogueError(error.Message(), error.Unreachable());
  }
}

std::string VerifyCatalogueSignature(const std::wstring& url, const std::string& bytes) {
  if (!signing::Verifies()) return {};
  std::wstring signatureUrl = url + L".sig";
  // A little more than a signature, so an oversized file is told from a short one.
  std::string signature;
  try {
    signature = download::FetchBytes(signatureUrl, 1024, "UI 清單的簽章");
  } catch (const download::EFetchError& error) {
    throw ECatalogueError(error.Message(), error.Unreachable());
  }
  if (signature.size() != signing::kSignatureSize)
    throw ECatalogueError("UI 清單的簽章 " + ui::Narrow(signatureUrl) + " 格式錯誤 (" +
                          std::to_string(signature.size()) + " 位元組,應為 64),已拒絕載入");
  if (!signing::VerifySignature(
          signing::PublisherKeys(),
          {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
          {reinterpret_cast<const std::uint8_t*>(signature.data()), signature.size()}))
    throw ECatalogueError("UI 清單 " + ui::Narrow(url) +
                          " 的簽章不符 (不是發行者簽署的內容,可能遭到竄改),已拒絕載入");
  return signature;
}

void CheckCataloguePublished(const std::string& bytes, const std::wstring& recordPath,
                             bool accept) {
  if (!signing::Verifies()) return;
  signing::TPublicationRecord record(recordPath);
  std::string published = PublishedTime(bytes);
  signing::TFreshness verdict =
      accept ? record.Accept("Data.xml", published) : record.Judge("Data.xml", published);
  if (verdict != signing::TFreshness::Fresh)
    throw ECatalogueError(signing::FreshnessRefusal(verdict, "UI 清單 Data.xml", published,
                                                    record.Newest("Data.xml")) +
                          "載入,清單保持原樣");
}

}  // namespace catalogue
