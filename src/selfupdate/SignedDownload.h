// The publisher's signature of a self-update download (the version file, the new
// executable), fetched from beside the file on the update server and judged on the
// transfer's worker, before the download may replace anything.
//
// In a build that verifies nothing every file is accepted. It does not stop an older
// signed publication from being served again.
#pragma once

#include <mutex>
#include <string>

namespace selfupdate {

class TSignatureCheck {
 public:
  // url: the signed file's address; its signature is url + ".sig".
  explicit TSignatureCheck(std::wstring url) : FUrl(std::move(url)) {}

  // A download's content check: fetches the signature and judges the complete file at
  // path. False, with a reason, when the signature is missing, unreachable, malformed
  // or not the publisher's signature of these bytes.
  bool Accept(const std::wstring& path);
  // Judges the file again against the signature accepted before (the file may have
  // changed since its download); false, with a reason, when it no longer matches.
  bool Recheck(const std::wstring& path);

  // The reason of the last refusal (UTF-8), "" while nothing was refused.
  std::string Refusal() const;

 private:
  bool Judge(const std::wstring& path, const std::string& signature);

  const std::wstring FUrl;
  mutable std::mutex FMutex;
  std::string FSignature;  // accepted signature bytes
  std::string FRefusal;
};

}  // namespace selfupdate
