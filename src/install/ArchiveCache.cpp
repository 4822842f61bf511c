#include "install/ArchiveCache.h"

#include <windows.h>

#include <cstdlib>
#include <string_view>

#include "install/ContentChecks.h"
#include "ui/Application.h"
#include "ui/LongPath.h"

namespace install {

namespace {

std::wstring RecordPath(const std::wstring& archivePath) {
  return ui::LongPath(archivePath) + L".info";
}

// The record is written to a temporary file beside it and renamed over it. Its name is
// short (the record's own name may be 255 characters long) and has the form of a
// download's temporary file, so the start-up sweep removes one a crash left behind.
std::wstring TemporaryRecordPath(const std::wstring& recordPath) {
  return recordPath.substr(0, recordPath.find_last_of(L'\\') + 1) + L"record." +
         std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetCurrentThreadId()) +
         L".part";
}

// Size and last write time of a file, as the record notes them.
std::optional<std::pair<long long, unsigned long long>> Stamp(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  return std::pair{(static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                   (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                       data.ftLastWriteTime.dwLowDateTime};
}

std::optional<std::string> ReadSmallFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes(4096, '\0');
  DWORD got = 0;
  bool ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  if (!ok || got == bytes.size()) return std::nullopt;  // a record is never this large
  bytes.resize(got);
  return bytes;
}

}  // namespace

std::optional<TCacheRecord> ReadCacheRecord(const std::wstring& archivePath) {
  auto stamp = Stamp(ui::LongPath(archivePath));
  auto bytes = stamp ? ReadSmallFile(RecordPath(archivePath)) : std::nullopt;
  if (!bytes) return std::nullopt;
  TCacheRecord record;
  long long size = -1;
  unsigned long long time = 0;
  std::string_view rest(*bytes);
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = line.substr(0, equals);
    std::string value(line.substr(equals + 1));
    if (key == "size") size = std::strtoll(value.c_str(), nullptr, 10);
    if (key == "time") time = std::strtoull(value.c_str(), nullptr, 10);
    if (key == "sha256") record.Digest.Sha256 = value;
    if (key == "etag") record.Validators.ETag = ui::Widen(value);
    if (key == "last-modified") record.Validators.LastModified = ui::Widen(value);
  }
  record.Digest.Size = size;
  if (size != stamp->first || time != stamp->second || record.Digest.Sha256.size() != 64)
    return std::nullopt;
  return record;
}

bool WriteCacheRecord(const std::wstring& archivePath, const TCacheRecord& record) {
  std::wstring path = RecordPath(archivePath);
  auto stamp = Stamp(ui::LongPath(archivePath));
  if (!stamp) {
    DeleteFileW(path.c_str());
    return false;
  }
  std::string text =
      "size=" + std::to_string(stamp->first) + "\r\ntime=" + std::to_string(stamp->second) +
      "\r\nsha256=" + record.Digest.Sha256 + "\r\netag=" + ui::Narrow(record.Validators.ETag) +
      "\r\nlast-modified=" + ui::Narrow(record.Validators.LastModified) + "\r\n";
  // Written beside it and renamed over it, so a reader never sees half a record.
  DeleteFileW((path + L".new").c_str());  // the temporary name of earlier versions
  std::wstring temporary = TemporaryRecordPath(path);
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = file != INVALID_HANDLE_VALUE;
  if (ok) {
    DWORD written = 0;
    ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
    CloseHandle(file);
  }
  ok = ok && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (!ok) {
    DeleteFileW(temporary.c_str());
    DeleteFileW(path.c_str());
  }
  return ok;
}

TArchiveTransfer ArchiveTransfer(const TArchiveExpectation& expectation) {
  // The digest of the received file, from the check to the landing of the same run.
  auto received = std::make_shared<std::optional<TArchiveDigest>>();
  TArchiveTransfer transfer;
  transfer.Replaced = std::make_shared<bool>(false);
  transfer.Check = [expectation, received](const std::wstring& path, bool) {
    if (!LooksLikeZipArchive(path)) return false;
    *received = DigestOfFile(path);
    return *received && expectation.Matches(**received);
  };
  transfer.Revalidation.Load = [expectation](const std::wstring& target) {
    std::optional<TCacheRecord> record = ReadCacheRecord(target);
    if (!record || !expectation.Matches(record->Digest)) return download::TValidators{};
    return record->Validators;
  };
  transfer.Revalidation.Landed = [received, replaced = transfer.Replaced](
                                     const std::wstring& target,
                                     const download::TValidators& response, bool isNew) {
    if (isNew) {
      *replaced = true;
      if (*received) WriteCacheRecord(target, {**received, response});
      return;
    }
    // Kept: a server may hand out new validators with its 304.
    std::optional<TCacheRecord> record = ReadCacheRecord(target);
    if (record && !response.Empty() &&
        (response.ETag != record->Validators.ETag ||
         response.LastModified != record->Validators.LastModified)) {
      record->Validators = response;
      WriteCacheRecord(target, *record);
    }
  };
  return transfer;
}

}  // namespace install
