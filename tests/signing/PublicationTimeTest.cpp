#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "signing/PublicationTime.h"

namespace {

using signing::PublicationInstant;
using signing::TFreshness;

// Times order by the instant they name, fractions included; anything but the one form
// the tool writes (a day the month lacks, another zone, missing fields) is not a time.
TEST(PublicationTime, InstantsOrderAndBadTextsAreRefused) {
  const char* ascending[] = {
      "1999-12-31T23:59:59Z",    "2000-02-29T00:00:00Z",   "2026-12-08T17:18:06Z",
      "2026-12-08T17:18:06.05Z", "2026-12-08T17:18:06.5Z", "2026-12-08T17:18:07Z",
      "2026-12-08T17:19:00Z",    "2026-12-09T09:00:00Z",   "2027-01-01T00:00:00Z"};
  for (size_t i = 1; i < std::size(ascending); ++i) {
    SCOPED_TRACE(ascending[i]);
    ASSERT_TRUE(PublicationInstant(ascending[i]));
    EXPECT_LT(*PublicationInstant(ascending[i - 1]), *PublicationInstant(ascending[i]));
  }
  EXPECT_EQ(PublicationInstant("2026-12-08T17:18:06Z"),
            PublicationInstant("2026-12-08T17:18:06.000Z"));
  for (const char* bad :
       {"", "2026-12-08", "2026-12-08T17:18:06", "2026-12-08 17:18:06Z",
        "2026-12-08T17:18:06+00:00", "2026-12-08t17:18:06z", "2023-02-29T00:00:00Z",
        "2100-02-29T00:00:00Z", "2026-04-31T00:00:00Z", "2026-13-01T00:00:00Z",
        "2026-00-10T00:00:00Z", "2026-12-08T24:00:00Z", "2026-12-08T17:60:00Z",
        "2026-12-08T17:18:06.Z", "2026-12-08T17:18:06.1234567890Z", "+2026-12-08T17:18:06Z",
        "2026-12-08T17:18:06ZZ", "２０26-12-08T17:18:06Z"}) {
    EXPECT_FALSE(PublicationInstant(bad)) << bad;
  }
}

class PublicationRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::path dir = std::filesystem::path("Z:" VORNIS_BINARY_DIR) / "signing-work" /
                                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    Path = (dir / "Published.txt").wstring();
  }
  std::wstring Path;
};

// The newest accepted time per file: never lowered, a file without a time refused once
// a time is recorded, each file on its own, and kept across runs (a new record object).
TEST_F(PublicationRecord, RefusesOlderAndUndatedOnceATimeIsAccepted) {
  signing::TPublicationRecord record(Path);
  EXPECT_EQ(TFreshness::Fresh, record.Accept("UPdate.ini", ""));
  EXPECT_EQ(TFreshness::Fresh, record.Accept("UPdate.ini", "2026-12-08T10:00:00Z"));
  EXPECT_EQ(TFreshness::Fresh, record.Accept("UPdate.ini", "2026-12-08T12:00:00Z"));
  EXPECT_EQ(TFreshness::Older, record.Accept("UPdate.ini", "2026-12-08T10:00:00Z"));
  EXPECT_EQ(TFreshness::Undated, record.Accept("UPdate.ini", ""));
  EXPECT_EQ(TFreshness::Malformed, record.Accept("UPdate.ini", "yesterday"));
  EXPECT_EQ(TFreshness::Fresh, record.Accept("UPdate.ini", "2026-12-08T12:00:00.000Z"));
  EXPECT_EQ(TFreshness::Fresh, record.Accept("Data.xml", "2026-12-08T09:00:00Z"));

  signing::TPublicationRecord later(Path);
  EXPECT_EQ("2026-12-08T12:00:00Z", later.Newest("UPdate.ini"));
  EXPECT_EQ("2026-12-08T09:00:00Z", later.Newest("Data.xml"));
  EXPECT_EQ(TFreshness::Older, later.Judge("Data.xml", "2026-12-08T08:59:59.9Z"));
  EXPECT_EQ(TFreshness::Fresh, later.Judge("Data.xml", "2026-12-08T09:00:01Z"));
  // Judging records nothing.
  EXPECT_EQ("2026-12-08T09:00:00Z", later.Newest("Data.xml"));
}

// A damaged line is skipped, the others still count.
TEST_F(PublicationRecord, DamagedLinesAreSkipped) {
  std::ofstream(std::filesystem::path(Path), std::ios::binary)
      << "Data.xml\tnot a time\r\ngarbage\r\nUPdate.ini\t2026-12-08T12:00:00Z";
  signing::TPublicationRecord record(Path);
  EXPECT_EQ("", record.Newest("Data.xml"));
  EXPECT_EQ(TFreshness::Older, record.Accept("UPdate.ini", "2026-01-01T00:00:00Z"));
  EXPECT_EQ(TFreshness::Fresh, record.Accept("Data.xml", ""));
}

}  // namespace
