// The publisher's word on a self-update download (the version file, the new
// executable), judged on the transfer's worker before the download may replace
// anything: the file's detached signature, fetched from beside it on the update server,
// or, for an executable that a verified version file binds by size and SHA-256, those.
//
// In a build that verifies nothing every file is accepted (a bound executable must still
// match). The version file's publication time is judged against the record of the
// newest accepted (signing/PublicationTime.h), so an older publication is refused.
#pragma once

#include <windows.h>

#include <mutex>
#include <optional>
#include <string>

#include "signing/PublicationTime.h"
#include "signing/Signature.h"

namespace selfupdate {

// What a verified version file binds the new executable to: [updataver] size= (decimal
// bytes) and sha256= (64 hex digits, either case). A missing or malformed value binds
// nothing.
struct TExeBinding {
  long long Size = -1;
  std::optional<signing::TDigest> Sha256;
  bool Binds() const { return Sha256.has_value(); }
};
TExeBinding ReadExeBinding(const std::wstring& versionFile);

// [updataver] published= of a version file, "" when absent.
std::string ReadPublished(const std::wstring& versionFile);

class TSignatureCheck {
 public:
  // url: the signed file's address; its signature is url + ".sig". binding: what a
  // verified version file says the file must be; when it binds, the signature is not
  // consulted.
  explicit TSignatureCheck(std::wstring url, TExeBinding binding = {})
      : FUrl(std::move(url)), FBinding(binding) {}

  // A download's content check: judges the complete file at path. False, with a
  // reason, when the signature is missing, unreachable, malformed or not the
  // publisher's signature of these bytes, or when the file is not what the binding says.
  bool Accept(const std::wstring& path);
  // The publication time of an accepted version file against `record` (entry `name`),
  // recording a newer one; false, with a reason, when older or undated while a time is
  // recorded. Accepts everything in a build that verifies nothing.
  bool AcceptPublished(const std::string& published, signing::TPublicationRecord& record,
                       const std::string& name);
  // True when the open file holds exactly the bytes accepted before (read from its
  // current position to its end); false, with a reason, otherwise.
  bool Matches(HANDLE file);

  // The reason of the last refusal (UTF-8), "" while nothing was refused.
  std::string Refusal() const;
  // Why the last refusal happened.
  enum class TRefusalKind { None, Signature, Unreachable, Older };
  TRefusalKind RefusalKind() const;

 private:
  void Refuse(TRefusalKind kind, std::string reason);
  std::string FileName() const;

  const std::wstring FUrl;
  const TExeBinding FBinding;
  mutable std::mutex FMutex;
  std::optional<signing::TDigest> FAccepted;  // SHA-256 of the accepted bytes
  long long FAcceptedSize = -1;
  std::string FRefusal;
  TRefusalKind FKind = TRefusalKind::None;
};

}  // namespace selfupdate
