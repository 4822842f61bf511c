// What the archive cache knows of each archive beside the archive itself: the record
// "<archive>.info" (UTF-8 text) holds the archive's size and SHA-256, computed once when
// it landed, and the validators the server sent with it. A record describes the archive
// only while the archive's size and last write time are those it noted; otherwise (the
// archive replaced, deleted or never there) it is ignored.
//
// The hooks of an archive's download keep it: the content check hashes the received
// file, the landing writes the record, and the next request sends its validators, so an
// unchanged archive is answered "304 Not Modified" instead of sent again.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "download/FileDownLoadThread.h"
#include "install/ArchiveDigest.h"

namespace install {

struct TCacheRecord {
  TArchiveDigest Digest;
  download::TValidators Validators;
};

// The record of the archive at `archivePath`, when there is one that describes it.
std::optional<TCacheRecord> ReadCacheRecord(const std::wstring& archivePath);
// Writes the record of the archive now at `archivePath` (its size and time are taken
// from the file). False when it cannot be written; an older record is then removed.
bool WriteCacheRecord(const std::wstring& archivePath, const TCacheRecord& record);

// The hooks of one archive download into the cache.
struct TArchiveTransfer {
  // Accepts a file with a ZIP end record that meets the expectation.
  download::TContentCheck Check;
  // Sends the validators of a cached archive that meets the expectation (one that does
  // not is fetched in full) and keeps the record up to date.
  download::TRevalidation Revalidation;
  // Set on the worker when a new archive replaced the cached one.
  std::shared_ptr<bool> Replaced;
};
TArchiveTransfer ArchiveTransfer(const TArchiveExpectation& expectation);

}  // namespace install
