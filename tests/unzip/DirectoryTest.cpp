// The directory reader: end record search, Zip64, names, dates, lists and the refusal
// of overlapping entries.
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include "ZipTestSupport.h"
#include "unzip/ZipPlatform.h"

using namespace ziptest;

namespace {

std::vector<uint8_t> TwoFiles() {
  TZipWriter writer;
  writer.Add("a.txt", Bytes("alpha alpha alpha"));
  writer.Add("dir/b.txt", Bytes(std::string(3000, 'b')), true);
  return writer.Build();
}

TEST(EndRecord, EmptyAndTinyFiles) {
  TScratch scratch;
  // An empty file is an archive without entries.
  {
    TUnZip zip;
    TRecorder recorder;
    recorder.Attach(zip);
    PrepareInstall(zip, scratch / "empty.zip", {}, scratch / "out");
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.ExtractFiles(), 0);
  }
  // 1 to 21 bytes hold no end record: loading absorbs it, extracting raises it.
  for (size_t size = 1; size <= 21; ++size) {
    TUnZip zip;
    std::vector<uint8_t> data(size, 'P');
    PrepareInstall(zip, scratch / "tiny.zip", data, scratch / "out");
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_THROW(zip.ExtractFiles(), EIncompleteZip) << size;
  }
  TUnZip notZip;
  notZip.IncompleteZipMode = TIncompleteZipMode::izAssumeNotAZip;
  WriteFile(scratch / "text.zip", Bytes(std::string(100, 'x')));
  notZip.SetZipName(EnginePath(scratch / "text.zip"));
  try {
    notZip.LoadDirectory();
    FAIL();
  } catch (const ENotAZipFile& error) {
    EXPECT_EQ(error.Message(), "Not a valid zip file!");
  }
  EXPECT_EQ(notZip.ZipName(), "");
}

TEST(EndRecord, LongCommentAndNearestSignature) {
  TScratch scratch;
  std::string comment(65535, 'c');
  TUnZip zip;
  PrepareInstall(zip, scratch / "long.zip", TZipWriter().Build(comment), scratch / "out");
  TZipWriter writer;
  writer.Add("x.txt", Bytes("x"));
  PrepareInstall(zip, scratch / "long2.zip", writer.Build(comment), scratch / "out");
  EXPECT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.ZipComment(), comment);
  // A second end signature inside the comment, nearer the end of the file, wins: it
  // declares no entries.
  std::string fake = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  PrepareInstall(zip, scratch / "fake.zip", writer.Build("lead " + fake), scratch / "out");
  EXPECT_EQ(zip.Count(), 0);
}

TEST(EndRecord, DiskNumberSanity) {
  TScratch scratch;
  for (int variant = 0; variant < 2; ++variant) {
    std::vector<uint8_t> data = TwoFiles();
    size_t end = data.size() - 22;
    if (variant == 0) {
      data[end + 4] = 0xE8;  // this disk 1000
      data[end + 5] = 0x03;
    } else {
      data[end + 6] = 1;  // central start disk 1 > this disk 0
    }
    TUnZip zip;
    PrepareInstall(zip, scratch / "disk.zip", data, scratch / "out");
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_THROW(zip.ExtractFiles(), EIncompleteZip);
  }
}

TEST(Directory, Zip64SizesAndEndRecord) {
  TScratch scratch;
  TZipWriter writer;
  std::vector<uint8_t> content = Bytes(std::string(5000, 'z'));
  writer.Add("big.bin", content, true).Zip64 = true;
  writer.Add("small.txt", Bytes("small"));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "z64.zip", writer.Build("", true), scratch / "out");
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_TRUE(zip.Header(0).HasZip64Extra());
  EXPECT_EQ(zip.Header(0).CompressedSize32, 0xFFFFFFFFu);
  EXPECT_EQ(zip.Header(0).UncompressedSize(), 5000u);
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(ReadFile(scratch / "out" / "big.bin"), content);
}

TEST(Directory, NamesSplitAndConvert) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("docs/", {});
  writer.Add("a/b/c.txt", Bytes("c"));
  writer
      .Add(
          "\x9A"
          "BER.TXT",
          Bytes("u"))
      .VersionMadeBy = 0x0014;  // MS-DOS host
  writer
      .Add(
          "\x9A"
          "NTFS.TXT",
          Bytes("n"))
      .VersionMadeBy = 0x0B14;  // NTFS host: kept
  auto& utf8 = writer.Add(
      "\xC3\xBC"
      "tf.txt",
      Bytes("t"));
  utf8.VersionMadeBy = 0x0014;
  utf8.Flags = 0x0800;
  // Overlong encodings of "/" are no separators.
  writer
      .Add(
          "a\xC0\xAF"
          "b\xE0\x80\xAF"
          "c.txt",
          Bytes("o"))
      .Flags = 0x0800;
  TUnZip zip;
  PrepareInstall(zip, scratch / "names.zip", writer.Build(), scratch / "out");
  ASSERT_EQ(zip.Count(), 6);
  EXPECT_EQ(zip.Header(0).Directory, "docs\\");
  EXPECT_EQ(zip.Header(0).FileName, "");
  EXPECT_EQ(zip.Header(1).Directory, "a\\b\\");
  EXPECT_EQ(zip.Header(1).FileName, "c.txt");
  // A DOS host's name comes from the system's OEM code page; 437 where there is none.
  std::u32string oem;
  EXPECT_EQ(zip.FileName(2), zipplatform::EngineFromUnicode(zipplatform::DecodeOem("\x9A"
                                                                                   "BER.TXT",
                                                                                   oem)
                                                                ? oem
                                                                : U"\u00DCBER.TXT"));
  EXPECT_EQ(zip.FileName(3), zipplatform::EngineFromRaw("\x9ANTFS.TXT"));
  EXPECT_EQ(zip.FileName(4), zipplatform::EngineFromUnicode(U"\u00FCtf.txt"));
  EXPECT_EQ(zip.Header(5).Directory, "");
  try {
    zip.Header(6);
    FAIL();
  } catch (const EListError& error) {
    EXPECT_EQ(error.Message(), "Index 6 is out of range");
  }
  TUnZip never;  // oemNever keeps a DOS host's name bytes
  never.OEMConvert = TOEMConvert::oemNever;
  PrepareInstall(never, scratch / "names.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(never.FileName(2), zipplatform::EngineFromRaw("\x9A"
                                                          "BER.TXT"));
}

// Where the system has no OEM code page, a DOS host's name is code page 437: every high
// byte against the data file written once from Python's cp437 codec.
TEST(Directory, Cp437HighBytes) {
  std::u32string oem;
  if (zipplatform::DecodeOem("\x80", oem)) GTEST_SKIP() << "the system decodes OEM names";
  std::string high;
  for (int byte = 0x80; byte <= 0xFF; ++byte) high += static_cast<char>(byte);
  TZipWriter writer;
  writer.Add(high, Bytes("h")).VersionMadeBy = 0x0014;
  TScratch scratch;
  TUnZip zip;
  PrepareInstall(zip, scratch / "cp437.zip", writer.Build(), scratch / "out");
  const std::vector<uint8_t> expected = ReadFile(DataDir() + "/cp437-high.txt");
  EXPECT_EQ(zip.FileName(0), std::string(expected.begin(), expected.end()));
}

TEST(Directory, DateSanitising) {
  auto dos = [](uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
                uint32_t second) {
    return ((year - 1980) << 25) | (month << 21) | (day << 16) | (hour << 11) | (minute << 5) |
           (second / 2);
  };
  uint32_t valid = dos(2020, 5, 17, 13, 45, 30);
  EXPECT_EQ(SanitizeDosDateTime(valid), valid);
  EXPECT_EQ(SanitizeDosDateTime(dos(2020, 5, 17, 13, 0, 30) | (63u << 5)),
            dos(2020, 5, 17, 13, 59, 30));
  EXPECT_EQ(SanitizeDosDateTime(dos(1980, 5, 17, 13, 45, 30) | (127u << 25)),
            dos(2099, 5, 17, 13, 45, 30));
  EXPECT_EQ(SanitizeDosDateTime(0), dos(1980, 1, 1, 0, 0, 0));
  EXPECT_EQ(SanitizeDosDateTime(dos(2020, 5, 1, 13, 45, 30) & ~(31u << 16)),
            dos(2020, 5, 1, 13, 45, 30));
}

class TNumber : public TObject {
 public:
  explicit TNumber(int value) : Value(value) {}
  int Value;
};

class TNumberList : public TSortedObjectList {
 public:
  using TSortedObjectList::TSortedObjectList;

 protected:
  int Compare(const TObject* item, const TObject* key) const override {
    return static_cast<const TNumber*>(item)->Value - static_cast<const TNumber*>(key)->Value;
  }
};

TEST(ObjectLists, GrowthIndexAndDuplicates) {
  TObjectList list;
  std::vector<int> capacities;
  for (int i = 0; i < 30; ++i) {
    list.Add(new TNumber(i));
    capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities[0], 4);
  EXPECT_EQ(capacities[4], 8);
  EXPECT_EQ(capacities[8], 16);
  EXPECT_EQ(capacities[16], 32);
  EXPECT_EQ(capacities[29], 32);
  EXPECT_THROW(list.Items(30), EListError);
  EXPECT_THROW(list.Items(-1), EListError);

  TNumberList ignore(TDuplicates::dupIgnore, true);
  ignore.Add(new TNumber(2));
  EXPECT_EQ(ignore.Add(new TNumber(2)), -1);
  EXPECT_EQ(ignore.Count(), 1);
  TNumberList error(TDuplicates::dupError, true);
  error.Add(new TNumber(2));
  TNumber duplicate(2);
  EXPECT_THROW(error.Add(&duplicate), EListError);
  EXPECT_THROW(error.Put(0, nullptr), EListError);
  TNumberList accept(TDuplicates::dupAccept, true);
  for (int value : {5, 1, 3, 3, 9, 0}) accept.Add(new TNumber(value));
  std::vector<int> order;
  for (int i = 0; i < accept.Count(); ++i)
    order.push_back(static_cast<TNumber*>(accept.Items(i))->Value);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 3, 3, 5, 9}));
}

TEST(ObjectLists, SortModes) {
  TScratch scratch;
  TZipWriter writer;
  // Compressed sizes 10, 20, 30; uncompressed 100, 25, 60; rates 10, 80, 50.
  writer.Add("b.txt", Bytes(std::string(10, 'b'))).UncompressedSize = 100;
  writer.Add("A.txt", Bytes(std::string(20, 'a'))).UncompressedSize = 25;
  writer.Add("c.txt", Bytes(std::string(30, 'c'))).UncompressedSize = 60;
  writer.Entries[0].DosDateTime = 0x50000000;
  writer.Entries[1].DosDateTime = 0x52000000;
  writer.Entries[2].DosDateTime = 0x48000000;
  TUnZip zip;
  PrepareInstall(zip, scratch / "sort.zip", writer.Build(), scratch / "out");
  auto names = [&zip] {
    std::string all;
    for (int i = 0; i < zip.Count(); ++i) all += zip.FileName(i) + " ";
    return all;
  };
  EXPECT_EQ(names(), "b.txt A.txt c.txt ");
  zip.SetSortMode(TZipSortMode::ByName);
  EXPECT_EQ(names(), "A.txt b.txt c.txt ");
  zip.SetSortMode(TZipSortMode::ByDate);
  EXPECT_EQ(names(), "A.txt b.txt c.txt ");
  zip.SetSortMode(TZipSortMode::ByUnCompressedSize);
  EXPECT_EQ(names(), "b.txt c.txt A.txt ");
  zip.SetSortMode(TZipSortMode::ByCompressedSize);
  EXPECT_EQ(names(), "c.txt A.txt b.txt ");
  zip.SetSortMode(TZipSortMode::ByRate);
  EXPECT_EQ(names(), "A.txt c.txt b.txt ");
  zip.SetSortMode(TZipSortMode::ByNone);
  EXPECT_EQ(names(), "b.txt A.txt c.txt ");
}

TEST(Directory, CommentsOnDemand) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("a.txt", Bytes("a")).Comment = "first entry comment";
  writer.Add("b.txt", Bytes("b"));
  TUnZip zip;
  PrepareInstall(zip, scratch / "comments.zip", writer.Build("archive comment"), scratch / "out");
  EXPECT_EQ(zip.EntryComment(0), "first entry comment");
  EXPECT_EQ(zip.EntryComment(1), "");
  EXPECT_EQ(zip.ZipComment(), "archive comment");
}

// Regression: many central records for one local header (a zip bomb construction).
TEST(Overlap, SharedLocalHeaderIsRefused) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("one.txt", Bytes(std::string(1000, '1')));
  writer.Add("two.txt", Bytes(std::string(1000, '1'))).OffsetOverride = 0;
  writer.Entries[1].Name = "one.txt";
  std::vector<uint8_t> data = writer.Build();
  for (int disk : {0, 1}) {  // a single archive's disk numbers keep nothing apart
    data[2 * 1037 + 53 + 34] = static_cast<uint8_t>(disk);
    TUnZip zip;
    WriteFile(scratch / "bomb.zip", data);
    zip.SetZipName(EnginePath(scratch / "bomb.zip"));
    EXPECT_THROW(zip.LoadDirectory(), EBadZipFile);
    EXPECT_EQ(zip.ZipName(), "");
  }
  EXPECT_EQ(CountFiles(scratch.Path()), 1);
}

// Regression: a and b quote the next local header (a header hidden inside the previous
// entry's data) and run on to c's data. One declared record too many, unreadable, sends
// the reader to the local headers and the merge.
TEST(Overlap, QuotedHeadersRefusedAlsoInAMergedDirectory) {
  TZipWriter writer;
  for (const char* name : {"a", "b", "c"}) writer.Add(name, {});
  writer.Entries[2].Data = Bytes(std::string(5000, 'k'));
  std::vector<uint8_t> data = writer.Build();
  for (size_t i = 0; i < 2; ++i) {  // central CRC and sizes of a and b: up to the end of c
    std::vector<uint8_t> span(data.begin() + 31 * long(i + 1), data.begin() + 5093);
    for (size_t field : {16, 20, 24})
      Poke32(data, 5093 + 47 * i + field, field == 16 ? Crc(span) : span.size());
  }
  TScratch scratch;
  for (bool bogus : {false, true}) {
    std::vector<uint8_t> archive = data;
    if (bogus) archive.insert(archive.end() - 22, 46, 0xEE);
    if (bogus) archive[archive.size() - 14] = archive[archive.size() - 12] = 4;
    TUnZip zip;
    zip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
    EXPECT_THROW(PrepareInstall(zip, scratch / "q.zip", archive, scratch / "out"), EBadZipFile);
  }
}

// The last entry may end where the central directory starts (its local name counted),
// not one byte later.
TEST(Overlap, LastEntryRunningIntoTheCentralDirectoryIsRefused) {
  TZipWriter writer;
  writer.Add("a", Bytes("12345"));
  std::vector<uint8_t> data = writer.Build();
  Poke32(data, 36 + 20, 6);
  TScratch scratch;
  TUnZip zip;
  EXPECT_THROW(PrepareInstall(zip, scratch / "over.zip", data, scratch / "out"), EBadZipFile);
}

// Rebuilding from local headers steps over each streamed entry's data descriptor.
TEST(Rebuild, StepsOverDataDescriptors) {
  TZipWriter writer;
  for (const char* name : {"one.txt", "two.txt"}) {
    writer.Add(name, Bytes(name)).Flags = 0x0008;
    writer.Entries.back().Descriptor = true;
  }
  std::vector<uint8_t> data = writer.Build();
  data.resize(data.size() - 22);  // no end record
  TScratch scratch;
  TUnZip zip;
  zip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  PrepareInstall(zip, scratch / "dd.zip", data, scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 2);
}

// An entry past 4 GiB whose central record carries only the offset in its Zip64 extra
// (the sizes fit in their fields), in a sparse file.
TEST(Zip64, CentralExtraHoldingOnlyTheOffset) {
  TScratch scratch;
  const uint64_t start = (uint64_t{4} << 30) + 4096;
  TZipWriter writer;
  writer.Add("far.txt", Bytes("beyond four gigabytes")).Zip64OffsetOnly = true;
  writer.Entries.back().CentralExtra = {0x55, 0x54, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0x60};
  std::vector<uint8_t> data = writer.Build("", true, start);
  {
    std::ofstream out(scratch / "far.zip", std::ios::binary);
    out.seekp(static_cast<std::streamoff>(start));
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(out.good());
  }
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  zip.SetZipName(EnginePath(scratch / "far.zip"));
  zip.LoadDirectory();
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.Header(0).RelativeOffset(), start);
  EXPECT_EQ(zip.Header(0).UncompressedSize(), 21u);
  zip.SetDestDir(EnginePath(scratch / "out"));
  zip.DoAll = true;
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(ReadFile(scratch / "out" / "far.txt"), Bytes("beyond four gigabytes"));
}

// A Zip64 archive without its central directory is rebuilt from the local headers: the
// sizes come from each local Zip64 extra, so every entry is found.
TEST(Rebuild, Zip64LocalHeaders) {
  TZipWriter writer;
  const std::vector<uint8_t> first = Bytes(std::string(3000, '1') + "end");
  writer.Add("one.bin", first, true).Zip64 = true;
  writer.Add("two.txt", Bytes("second")).Zip64 = true;
  writer.Add("three.txt", Bytes("third"));
  std::vector<uint8_t> data = writer.Build();
  size_t central = 0;
  for (const auto& entry : writer.Entries)
    central += 30 + entry.Name.size() + (entry.Zip64 ? 20 : 0) + entry.Data.size();
  data.resize(central);
  TScratch scratch;
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  zip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  PrepareInstall(zip, scratch / "z64cut.zip", data, scratch / "out");
  ASSERT_EQ(zip.Count(), 3);
  EXPECT_EQ(zip.Header(0).CompressedSize(), writer.Entries[0].Data.size());
  EXPECT_EQ(zip.ExtractFiles(), 3);
  EXPECT_EQ(ReadFile(scratch / "out" / "one.bin"), first);
  EXPECT_EQ(ReadFile(scratch / "out" / "two.txt"), Bytes("second"));
  EXPECT_EQ(ReadFile(scratch / "out" / "three.txt"), Bytes("third"));
}

// Extra fields and comments: a comment after an extra field is read past it, and a
// central record that declares extra bytes which are not there does not cost the next
// record (its comment and host come from the central directory, not a rebuild).
TEST(Directory, ExtraFieldsAndEntryComments) {
  TScratch scratch;
  TZipWriter writer;
  auto& stamped = writer.Add("stamped.txt", Bytes("s"));
  stamped.CentralExtra = {0x55, 0x54, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0x60};
  stamped.Comment = "after the extra field";
  writer.Add("short.txt", Bytes("x")).CentralExtraDeclared = 8;
  auto& next = writer.Add("next.txt", Bytes("n"));
  next.Comment = "next comment";
  next.ExternalAttributes = 0x01;
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "extra.zip", writer.Build(), scratch / "out");
  ASSERT_EQ(zip.Count(), 3);
  EXPECT_EQ(zip.EntryComment(0), "after the extra field");
  EXPECT_EQ(zip.EntryComment(2), "next comment");
  EXPECT_EQ(zip.Header(2).VersionMadeBy, 0x031E);
  EXPECT_EQ(zip.Header(2).ExternalAttributes, 0x01u);
  EXPECT_EQ(zip.ExtractFiles(), 3);
}

// A damaged archive with no end record and something in front of its first entry: the
// scan for the first local header finds it wherever it falls against the 64 KiB blocks
// the scan reads, also across their boundary.
TEST(Rebuild, FirstSignatureAcrossTheScanBlockBoundary) {
  TZipWriter writer;
  writer.Add("found.txt", Bytes("found"));
  writer.Add("also.txt", Bytes("also"));
  std::vector<uint8_t> archive = writer.Build();
  archive.resize(archive.size() - 22);
  TScratch scratch;
  for (size_t lead = 65536 + 5 - 8; lead <= 65536 + 5 + 1; ++lead) {
    SCOPED_TRACE(lead);
    std::vector<uint8_t> data(lead, 0);
    data.insert(data.end(), archive.begin(), archive.end());
    TUnZip zip;
    TRecorder recorder;
    recorder.Attach(zip);
    zip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
    fs::remove_all(scratch / "out");
    PrepareInstall(zip, scratch / "lead.zip", data, scratch / "out");
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(zip.Header(0).RelativeOffset(), lead);
    EXPECT_EQ(zip.ExtractFiles(), 2);
    EXPECT_EQ(ReadFile(scratch / "out" / "found.txt"), Bytes("found"));
  }
}

// The directory's sort modes where neighbouring keys are close: letters past "Y" fold
// like the others, ratios round to the nearest percent, and equal times keep the
// directory order (newest first otherwise).
TEST(ObjectLists, SortModesOnCloseKeys) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("Zeta.txt", Bytes(std::string(99, 'z'))).UncompressedSize = 200;     // 49.5%: 50
  writer.Add("yak.txt", Bytes(std::string(494, 'y'))).UncompressedSize = 1000;    // 49.4%: 49
  writer.Add("alpha.txt", Bytes(std::string(504, 'a'))).UncompressedSize = 1000;  // 50.4%: 50
  writer.Add("Zulu.txt", Bytes(std::string(5, 'u'))).UncompressedSize = 1000;     // 0.5%: 1
  writer.Add("zero.txt", Bytes(std::string(4, 'o'))).UncompressedSize = 1000;     // 0.4%: 0
  for (auto& entry : writer.Entries) entry.DosDateTime = 0x5A8B6000;
  writer.Entries[4].DosDateTime = 0x5A8B6001;
  TUnZip zip;
  PrepareInstall(zip, scratch / "sort.zip", writer.Build(), scratch / "out");
  auto names = [&zip] {
    std::string all;
    for (int i = 0; i < zip.Count(); ++i) all += zip.FileName(i) + " ";
    return all;
  };
  zip.SetSortMode(TZipSortMode::ByName);
  EXPECT_EQ(names(), "alpha.txt yak.txt zero.txt Zeta.txt Zulu.txt ");
  zip.SetSortMode(TZipSortMode::ByRate);
  EXPECT_EQ(names(), "alpha.txt Zeta.txt yak.txt Zulu.txt zero.txt ");
  zip.SetSortMode(TZipSortMode::ByDate);
  EXPECT_EQ(names(), "zero.txt Zeta.txt yak.txt alpha.txt Zulu.txt ");
}

// Every prefix of a small archive loads and extracts without harm: whatever a run
// produces is byte-identical to the original, and nothing else is left.
TEST(Truncation, EveryPrefixOfASmallArchive) {
  TScratch scratch;
  std::vector<uint8_t> full = TwoFiles();
  const std::vector<uint8_t> a = Bytes("alpha alpha alpha");
  const std::vector<uint8_t> b = Bytes(std::string(3000, 'b'));
  for (size_t length = 0; length <= full.size(); ++length) {
    for (TIncompleteZipMode mode :
         {TIncompleteZipMode::izAssumeMulti, TIncompleteZipMode::izAssumeBad}) {
      std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(length));
      fs::path out = scratch / "out";
      TUnZip zip;
      TRecorder recorder;
      recorder.Attach(zip);
      zip.IncompleteZipMode = mode;
      try {
        PrepareInstall(zip, scratch / "cut.zip", cut, out);
        zip.ExtractFiles();
      } catch (const EZipException&) {
      }
      for (auto& [index, name] : recorder.Ended) {
        std::vector<uint8_t> data = ReadFile(NativePath(name));
        EXPECT_TRUE(data == a || data == b) << length;
      }
      fs::remove_all(out);
    }
  }
}

}  // namespace

#ifdef _WIN32
// Archives made on a Traditional Chinese system store Big5 names under an MS-DOS host;
// with the OEM and ANSI code pages both 950 they must come out byte for byte.
TEST(Directory, BigFiveNamesFromADosHostKeepTheirBytes) {
  if (GetOEMCP() != 950 || GetACP() != 950) GTEST_SKIP() << "needs code page 950";
  TScratch scratch;
  TZipWriter writer;
  const std::string name = "Addons/\xA6\x61\xB9\xCF/\xBB\xA1\xA9\xFA.txt";  // 地圖/說明.txt
  writer.Add(name, Bytes("x")).VersionMadeBy = 0x0014;
  TUnZip zip;
  PrepareInstall(zip, scratch / "big5.zip", writer.Build(), scratch / "out");
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.Header(0).Directory, "Addons\\\xA6\x61\xB9\xCF\\");
  EXPECT_EQ(zip.Header(0).FileName, "\xBB\xA1\xA9\xFA.txt");
}
#endif
