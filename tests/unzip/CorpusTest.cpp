// Every archive of the third-party corpus (tests/data/zip) extracted with the
// installer's settings; each entry's outcome must be the one MANIFEST.tsv records.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <sstream>

#include "ZipTestSupport.h"
#include "unzip/UnZip.h"
#include "unzip/ZipPlatform.h"

using namespace ziptest;

namespace {

struct TRow {
  std::string Entry, Expected, Password;
  int Method = 0;
  uint64_t Size = 0;
  uint32_t Crc = 0;
};

std::map<std::string, std::vector<TRow>> LoadManifest() {
  std::map<std::string, std::vector<TRow>> rows;
  std::ifstream in(DataDir() + "/MANIFEST.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream split(line);
    std::string cell;
    while (std::getline(split, cell, '\t')) cells.push_back(cell);
    cells.resize(14);
    TRow row;
    row.Entry = cells[1];
    row.Expected = cells[7];
    row.Password = cells[6];
    if (!cells[2].empty()) row.Method = std::stoi(cells[2]);
    if (!cells[3].empty()) row.Size = std::stoull(cells[3]);
    if (!cells[4].empty()) row.Crc = static_cast<uint32_t>(std::stoul(cells[4], nullptr, 16));
    rows[cells[0]].push_back(row);
  }
  return rows;
}

const std::map<std::string, std::vector<TRow>>& Manifest() {
  static const auto rows = LoadManifest();
  return rows;
}

std::vector<std::string> ArchiveNames() {
  std::vector<std::string> names;
  for (const auto& [name, rows] : Manifest()) names.push_back(name);
  return names;
}

struct TOutcome {
  std::map<int, std::string> Ended;
  std::map<int, TSkipReason> Skipped;
  std::map<int, uint32_t> BadCrc;
  std::vector<int> Messages;
  int Count = -1;
  std::string Error;
};

TOutcome Extract(const std::string& archive, const std::string& dest, const std::string& password,
                 bool rebuild, std::vector<int>& order) {
  TOutcome outcome;
  TUnZip zip;
  zip.DoProcessMessages = false;
  if (rebuild) zip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  zip.SetZipName(DataDir() + "/" + archive);
  zip.LoadDirectory();
  zip.SetDestDir(dest + "\\");
  zip.RecreateDirs = true;
  zip.FilesList().push_back("*.*");
  zip.DoAll = true;
  zip.OverwriteMode = TUZOverwriteMode::Always;
  zip.Password = password;
  zip.RetainAttributes = false;
  zip.OnEndUnZip = [&](TUnZip*, int index, const std::string& name) {
    outcome.Ended[index] = name;
  };
  zip.OnSkippingFile = [&](TUnZip*, TSkipReason reason, const std::string&, int index, bool&) {
    outcome.Skipped[index] = reason;
  };
  zip.OnBadCRC = [&](TUnZip*, uint32_t, uint32_t stored, int index) {
    outcome.BadCrc[index] = stored;
  };
  zip.OnHandleMessage = [&](TUnZip*, int id, const std::string&, const std::string&, uint32_t,
                            int& answer) {
    outcome.Messages.push_back(id);
    answer = 1;
  };
  try {
    outcome.Count = zip.ExtractFiles();
  } catch (const EZipException& error) {
    outcome.Error = error.Message();
  }
  // Manifest order is central directory order (local order for rebuilt archives).
  zip.LoadDirectory();
  order.resize(static_cast<size_t>(zip.Count()));
  std::iota(order.begin(), order.end(), 0);
  std::vector<std::pair<int64_t, uint64_t>> keys;
  for (int i = 0; i < zip.Count(); ++i)
    keys.emplace_back(zip.Header(i).CentralOffset, zip.Header(i).RelativeOffset());
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return keys[static_cast<size_t>(a)] < keys[static_cast<size_t>(b)];
  });
  return outcome;
}

class CorpusArchive : public testing::TestWithParam<std::string> {};

TEST_P(CorpusArchive, ExtractsAsTheManifestSays) {
  const std::string archive = GetParam();
  const auto& all = Manifest().at(archive);
  std::vector<TRow> rows, wrongPassword;
  std::string password;
  bool rebuild = false;
  for (const TRow& row : all) {
    if (row.Password == "wrong-password") {
      wrongPassword.push_back(row);
      continue;
    }
    rows.push_back(row);
    if (!row.Password.empty() && row.Expected == "ok") password = row.Password;
    if (row.Expected.find("rebuild") != std::string::npos) rebuild = true;
  }
  TScratch scratch;
  const std::string dest = EnginePath(scratch / "out");
  std::vector<int> order;
  TOutcome outcome = Extract(archive, dest, password, rebuild, order);

  if (rows.size() == 1 && rows[0].Entry.empty()) {
    const std::string& kind = rows[0].Expected;
    EXPECT_EQ(CountFiles(scratch.Path()), 0);
    if (kind == "empty-archive") {
      EXPECT_EQ(outcome.Count, 0) << outcome.Error;
    } else {
      // Not an archive: the run raises the missing end record, or (an empty file)
      // finds an archive without entries.
      EXPECT_TRUE(outcome.Error == "Incomplete Zip File" || outcome.Count == 0) << outcome.Error;
    }
    return;
  }
  ASSERT_EQ(order.size(), rows.size()) << outcome.Error;
  TUnZip names;  // the directory again, for entry names
  names.DoProcessMessages = false;
  if (rebuild) names.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  names.SetZipName(DataDir() + "/" + archive);
  names.LoadDirectory();
  int expectedCount = 0;
  for (size_t k = 0; k < rows.size(); ++k) {
    const TRow& row = rows[k];
    const int index = order[k];
    const TZipHeaderInfo& header = names.Header(index);
    SCOPED_TRACE(archive + " : " + row.Entry + " (" + row.Expected + ")");
    EXPECT_EQ(header.CompressionMethod, row.Method);
    EXPECT_EQ(header.UncompressedSize(), row.Size);
    EXPECT_EQ(header.Crc32, row.Crc);
    const std::string path = dest + "\\" + header.Directory + header.FileName;
    const std::string& expected = row.Expected;
    if (expected == "ok" || expected == "ok-rebuild") {
      ++expectedCount;
      ASSERT_EQ(outcome.Ended.count(index), 1u);
      std::vector<uint8_t> data = ReadFile(NativePath(outcome.Ended[index]));
      EXPECT_EQ(data.size(), row.Size);
      EXPECT_EQ(Crc(data), row.Crc);
      EXPECT_TRUE(zipplatform::FileExists(outcome.Ended[index]));
    } else if (expected == "dir" || expected == "dir-rebuild") {
      ++expectedCount;
      EXPECT_TRUE(zipplatform::DirectoryExists(path));
    } else if (expected == "bad-crc" || expected == "bad-data") {
      EXPECT_EQ(outcome.BadCrc.count(index), 1u);
      EXPECT_FALSE(zipplatform::FileExists(path));
    } else if (expected == "unsupported-method") {
      EXPECT_EQ(std::count(outcome.Messages.begin(), outcome.Messages.end(), 197), 1);
      EXPECT_FALSE(zipplatform::FileExists(path));
    } else if (expected == "unsupported-encryption") {
      EXPECT_EQ(outcome.Skipped[index], TSkipReason::srBadPassword);
      EXPECT_FALSE(zipplatform::FileExists(path));
    } else if (expected == "unsafe-path" || expected == "refused-name" || expected == "same-file") {
      EXPECT_EQ(outcome.Skipped[index], TSkipReason::srCreateError);
    } else if (expected == "bad-local-header") {
      EXPECT_EQ(outcome.Skipped[index], TSkipReason::srFileOpenError);
      EXPECT_FALSE(zipplatform::FileExists(path));
    } else if (expected == "truncated") {
      EXPECT_EQ(outcome.Error, "Premature end of file reached");
    } else {
      ADD_FAILURE() << "unknown outcome " << expected;
    }
  }
  if (outcome.Error.empty()) {
    EXPECT_EQ(outcome.Count, expectedCount);
  }
  // Nothing lands outside the destination.
  EXPECT_EQ(CountFiles(scratch.Path()), CountFiles(scratch.Path() / "out"));

  if (!wrongPassword.empty()) {
    TScratch second;
    std::vector<int> order2;
    TOutcome wrong =
        Extract(archive, EnginePath(second / "out"), "not-the-password", rebuild, order2);
    for (size_t k = 0; k < rows.size(); ++k) {
      const TRow& row = rows[k];
      bool probed = std::any_of(wrongPassword.begin(), wrongPassword.end(),
                                [&](const TRow& w) { return w.Entry == row.Entry; });
      if (!probed) continue;
      SCOPED_TRACE(archive + " wrong password: " + row.Entry);
      ASSERT_EQ(wrong.Skipped.count(order2[k]), 1u);
      EXPECT_EQ(wrong.Skipped[order2[k]], TSkipReason::srBadPassword);
      EXPECT_EQ(wrong.Ended.count(order2[k]), 0u);
    }
  }
}

std::string ParamName(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusArchive, testing::ValuesIn(ArchiveNames()), ParamName);

}  // namespace
