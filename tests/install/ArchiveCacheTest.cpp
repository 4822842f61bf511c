// The archive cache's record beside each archive and the checks of a received archive,
// on real files: when a record may be trusted, which validators a refresh sends, and
// which files pass for an archive.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "ImportShim.h"
#include "ZipTestSupport.h"
#include "install/ArchiveCache.h"
#include "install/ArchiveDigest.h"
#include "install/ContentChecks.h"
#include "ui/LongPath.h"

namespace {

namespace fs = std::filesystem;
using ziptest::Bytes;
using ziptest::TZipWriter;

std::vector<uint8_t> SmallArchive(const std::string& text) {
  TZipWriter writer;
  writer.Add("Addons/Map/map.lua", Bytes(text));
  return writer.Build();
}

// Moves the file's last write time by `seconds`.
void ShiftWriteTime(const fs::path& path, long long seconds) {
  HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME written{};
  GetFileTime(file, nullptr, nullptr, &written);
  ULARGE_INTEGER time{};
  time.LowPart = written.dwLowDateTime;
  time.HighPart = written.dwHighDateTime;
  time.QuadPart += static_cast<unsigned long long>(seconds * 10000000);
  written.dwLowDateTime = time.LowPart;
  written.dwHighDateTime = time.HighPart;
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
  CloseHandle(file);
}

const download::TValidators kHeld{L"\"v1\"", L"Tue, 01 Dec 2026 10:00:00 GMT"};

// A record describes the archive it was written for; an archive replaced by other
// bytes of the same size (a copy, a restore, a tool) is not the one it describes.
TEST(CacheRecord, OnlyTheArchiveItWasWrittenForIsTrusted) {
  ziptest::TScratch scratch;
  std::wstring archive = (scratch / "Map.zip").wstring();
  ziptest::WriteFile(archive, SmallArchive("one"));
  std::optional<install::TArchiveDigest> digest = install::DigestOfFile(archive);
  ASSERT_TRUE(digest);
  ASSERT_TRUE(install::WriteCacheRecord(archive, {*digest, kHeld}));
  std::optional<install::TCacheRecord> record = install::ReadCacheRecord(archive);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->Digest, *digest);
  EXPECT_EQ(record->Validators.ETag, kHeld.ETag);
  EXPECT_EQ(record->Validators.LastModified, kHeld.LastModified);

  ziptest::WriteFile(archive, SmallArchive("two"));  // same size, other bytes
  ShiftWriteTime(archive, 5);
  ASSERT_EQ(install::DigestOfFile(archive)->Size, digest->Size);
  EXPECT_FALSE(install::ReadCacheRecord(archive));

  ziptest::WriteFile(archive, SmallArchive("three!"));  // another size, the same time
  ASSERT_TRUE(install::WriteCacheRecord(archive, {*install::DigestOfFile(archive), kHeld}));
  FILETIME time{};
  HANDLE file = CreateFileW(archive.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  GetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  ziptest::WriteFile(archive, SmallArchive("four"));
  file = CreateFileW(archive.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                     OPEN_EXISTING, 0, nullptr);
  SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  EXPECT_FALSE(install::ReadCacheRecord(archive));

  DeleteFileW(archive.c_str());
  EXPECT_FALSE(install::ReadCacheRecord(archive));
}

// Archive names reach 255 characters and the cache folder may be deep: records are kept
// where Windows refuses plain paths of 260 characters and components past 255.
TEST(CacheRecord, LongNamesInDeepFoldersKeepTheirRecords) {
  TWindowsPathLimits limits;
  ziptest::TScratch scratch;
  fs::path folder = scratch.Path();
  while (folder.wstring().size() < 100) folder /= "dddddddddd";
  fs::create_directories(folder);
  for (size_t length : {243, 246}) {
    std::wstring archive = ui::LongPath((folder / std::wstring(length, L'n')).wstring() + L".zip");
    ziptest::WriteFile(archive, SmallArchive("long"));
    std::optional<install::TArchiveDigest> digest = install::DigestOfFile(archive);
    ASSERT_TRUE(digest);
    EXPECT_TRUE(install::WriteCacheRecord(archive, {*digest, kHeld}));
    std::optional<install::TCacheRecord> record = install::ReadCacheRecord(archive);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->Digest, *digest);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 4);
}

// A refresh asks the server whether the cached archive changed only while that archive
// is what the catalogue expects: for a new hash or size it fetches in full, or a 304
// from a server or proxy would keep the outdated archive.
TEST(CacheRecord, ValidatorsAreSentOnlyForTheExpectedArchive) {
  ziptest::TScratch scratch;
  std::wstring archive = (scratch / "Map.zip").wstring();
  ziptest::WriteFile(archive, SmallArchive("cached"));
  install::TArchiveDigest cached = *install::DigestOfFile(archive);
  ASSERT_TRUE(install::WriteCacheRecord(archive, {cached, kHeld}));
  auto sent = [&](const install::TArchiveExpectation& expectation) {
    return install::ArchiveTransfer(expectation).Revalidation.Load(archive);
  };
  std::string otherHash(64, '0');

  EXPECT_EQ(sent({cached.Size, cached.Sha256}).ETag, kHeld.ETag);
  EXPECT_EQ(sent({}).LastModified, kHeld.LastModified);  // a catalogue that says nothing
  EXPECT_EQ(sent({cached.Size, ""}).ETag, kHeld.ETag);
  EXPECT_TRUE(sent({cached.Size, otherHash}).Empty());
  EXPECT_TRUE(sent({-1, otherHash}).Empty());
  EXPECT_TRUE(sent({cached.Size + 1, cached.Sha256}).Empty());
  EXPECT_TRUE(sent({cached.Size + 1, ""}).Empty());
}

// The content check of a received archive: the end record must end the file, or end
// where its comment does.
TEST(LooksLikeZipArchive, TheEndRecordMustReachTheEndOfTheFile) {
  ziptest::TScratch scratch;
  auto check = [&](const std::vector<uint8_t>& bytes) {
    ziptest::WriteFile(scratch / "a.zip", bytes);
    return install::LooksLikeZipArchive((scratch / "a.zip").wstring());
  };
  std::vector<uint8_t> plain = SmallArchive("plain");
  // Without a comment the record sits at the last place it can: 22 bytes before the end.
  EXPECT_TRUE(check(plain));
  EXPECT_TRUE(check(TZipWriter().Build()));  // nothing but the record
  EXPECT_TRUE(check(TZipWriter().Build(std::string(0xFFFF, 'c'))));
  TZipWriter commented;
  commented.Add("a.txt", Bytes("a"));
  EXPECT_TRUE(check(commented.Build("published by us")));

  std::vector<uint8_t> cut(plain.begin(), plain.end() - 1);
  EXPECT_FALSE(check(cut));
  std::vector<uint8_t> longer = plain;
  longer.push_back(0);
  EXPECT_FALSE(check(longer));
  EXPECT_FALSE(check(std::vector<uint8_t>(plain.end() - 21, plain.end())));
  EXPECT_FALSE(check({}));
  EXPECT_FALSE(check(Bytes("<html><body>404 Not Found</body></html>")));
}

}  // namespace
