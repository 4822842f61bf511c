// The extraction run: the installer's use, output paths and their safety rules,
// overwrite modes, read-only targets, time stamps and the pattern selection.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "ZipTestSupport.h"
#include "unzip/ZipPlatform.h"

using namespace ziptest;

namespace {

TEST(Install, AddonTreeWithInstallerSettings) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("Addon/", {});
  writer.Add("Addon/a.lua", Bytes("print('a')"), true);
  writer.Add("Addon/img/b.tga", Bytes(std::string(2000, 'T')), true);
  fs::create_directories(scratch / "game");
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  WriteFile(scratch / "addon.zip", writer.Build());
  zip.SetZipName(EnginePath(scratch / "addon.zip"));
  zip.LoadDirectory();
  // The installer's destination: a parent step and a trailing backslash.
  zip.SetDestDir(EnginePath(scratch / "game") + "\\..\\data\\Mods\\");
  EXPECT_EQ(zip.DestDir(), EnginePath(scratch / "game") + "\\..\\data\\Mods");
  zip.RecreateDirs = true;
  zip.FilesList().push_back("*.*");
  zip.DoAll = true;
  zip.OverwriteMode = TUZOverwriteMode::Always;
  EXPECT_EQ(zip.ExtractFiles(), 3);
  EXPECT_EQ(recorder.Completed, 3);
  fs::path mods = scratch / "data" / "Mods";
  EXPECT_EQ(ReadFile(mods / "Addon" / "a.lua"), Bytes("print('a')"));
  EXPECT_EQ(ReadFile(mods / "Addon" / "img" / "b.tga").size(), 2000u);
  EXPECT_TRUE(zip.FilesList().empty());
  // Extracting again replaces without asking.
  zip.FilesList().push_back("*.*");
  EXPECT_EQ(zip.ExtractFiles(), 3);
  EXPECT_TRUE(recorder.Messages.empty());
}

TEST(Install, FlatWithoutRecreateDirs) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("d1/", {});
  writer.Add("d1/x.txt", Bytes("x"));
  writer.Add("d2/y.txt", Bytes("y"));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "flat.zip", writer.Build(), scratch / "out");
  zip.RecreateDirs = false;
  int selected = 0;  // directory entries are extracted (DoAll) but not selected
  zip.OnStartUnZipInfo = [&selected](TUnZip*, int files, int64_t, bool&) { selected = files; };
  EXPECT_EQ(zip.ExtractFiles(), 3);
  EXPECT_EQ(selected, 2);
  EXPECT_TRUE(fs::exists(scratch / "out" / "x.txt"));
  EXPECT_TRUE(fs::exists(scratch / "out" / "y.txt"));
  EXPECT_FALSE(fs::exists(scratch / "out" / "d1"));
}

// An empty DestDir is the current directory, never the root of the drive.
TEST(Install, EmptyDestDirIsTheCurrentDirectory) {
  TZipWriter writer;
  writer.Add("vornis-empty-dest/a.txt", Bytes("a"));
  writer.Add("Top/sub/b.txt", Bytes("b"));
  TScratch scratch;
  TUnZip zip;
  PrepareInstall(zip, scratch / "e.zip", writer.Build(), scratch / "out");
  zip.SetDestDir("");
  zip.SetRootDir("tOP");  // a prefix removed without regard to case
  const fs::path previous = fs::current_path();
  fs::current_path(scratch.Path());
  EXPECT_EQ(zip.ExtractFiles(), 2);
  fs::current_path(previous);
  EXPECT_EQ(ReadFile(scratch / "vornis-empty-dest" / "a.txt"), Bytes("a"));
  EXPECT_EQ(ReadFile(scratch / "sub" / "b.txt"), Bytes("b"));
}

// Regression: nothing is ever written outside DestDir.
TEST(PathSafety, ParentStepsAreRefusedAbsolutePathsLandInside) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("../evil1.txt", Bytes("1"));
  writer.Add("a/../../evil2.txt", Bytes("2"));
  writer.Add("..\\..\\evil3.txt", Bytes("3"));
  writer.Add("../", {});
  writer.Add("/abs/root.txt", Bytes("r"));
  writer.Add("C:/drive/d.txt", Bytes("d"));
  writer.Add("c:rel/e.txt", Bytes("e"));
  writer.Add("c:x.txt", Bytes("x"));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "evil.zip", writer.Build(), scratch / "out" / "deep");
  EXPECT_EQ(zip.ExtractFiles(), 4);
  ASSERT_EQ(recorder.Skipped.size(), 4u);
  for (auto& [reason, name] : recorder.Skipped) EXPECT_EQ(reason, TSkipReason::srCreateError);
  fs::path dest = scratch / "out" / "deep";
  EXPECT_TRUE(fs::exists(dest / "abs" / "root.txt"));
  EXPECT_TRUE(fs::exists(dest / "drive" / "d.txt"));
  EXPECT_TRUE(fs::exists(dest / "rel" / "e.txt"));
  EXPECT_EQ(ReadFile(dest / "x.txt"), Bytes("x"));
  EXPECT_EQ(CountFiles(scratch.Path()), 1 + CountFiles(dest));
}

// Regression: names Windows would reinterpret are never created, on either build.
TEST(PathSafety, ReinterpretedNamesAreRefused) {
  TScratch scratch;
  const char* names[] = {"CON",         "aux.txt",       "nul/inside.txt", "Com1.log",
                         "lpt9",        "dots./x.txt",   "trailing ",      "stream.txt:ads",
                         "ctl\x01.txt", "pipe|name.txt", "ask?.txt",       "star*.txt"};
  TZipWriter writer;
  for (const char* name : names) writer.Add(name, Bytes("bad"));
  writer.Add("console.txt", Bytes("fine"));
  writer.Add("com10.txt", Bytes("fine"));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "names.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(recorder.Skipped.size(), std::size(names));
  for (auto& [reason, name] : recorder.Skipped) EXPECT_EQ(reason, TSkipReason::srCreateError);
  EXPECT_EQ(CountFiles(scratch / "out"), 2);
}

// The edges of the refused names: the devices numbered 0, the last ASCII control
// character, and the neighbours that stay allowed.
TEST(PathSafety, DeviceZeroAndDeleteCharacterAreRefused) {
  TScratch scratch;
  const char* refused[] = {"COM0", "lpt0.txt", "dir/Com0/x.txt", "del\x7F.txt", "\x7F"};
  TZipWriter writer;
  for (const char* name : refused) writer.Add(name, Bytes("bad"));
  for (const char* name : {"COM", "lpt", "comA.txt", "tilde~.txt"}) writer.Add(name, Bytes("ok"));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "edge.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 4);
  ASSERT_EQ(recorder.Skipped.size(), std::size(refused));
  for (auto& [reason, name] : recorder.Skipped) EXPECT_EQ(reason, TSkipReason::srCreateError);
  EXPECT_EQ(CountFiles(scratch / "out"), 4);
}

#ifndef _WIN32
// A Unix-made name holding an encoded surrogate (not a character in any UTF-8 text) is
// no valid file name: its bytes are written out as escapes, the rest of the name stays.
TEST(PathSafety, EncodedSurrogateInAUnixNameIsEscaped) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("half\xED\xA0\x80.txt", Bytes("s"));
  writer.Add("\xE4\xB8\xAD.txt", Bytes("c"));  // a real character passes unchanged
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "sur.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.FileName(0), "half%ED%A0%80.txt");
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(ReadFile(scratch / "out" / "half%ED%A0%80.txt"), Bytes("s"));
  EXPECT_EQ(ReadFile(scratch / "out" / "\xE4\xB8\xAD.txt"), Bytes("c"));
}
#endif

// RootDir removes a whole leading folder only: "sub" leaves "subdir\" alone.
TEST(Install, RootDirRemovesOnlyAWholeFolder) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("sub/inside.txt", Bytes("i"));
  writer.Add("subdir/kept.txt", Bytes("k"));
  writer.Add("sub/deeper/d.txt", Bytes("d"));
  TUnZip zip;
  PrepareInstall(zip, scratch / "root.zip", writer.Build(), scratch / "out");
  zip.SetRootDir("sub");
  EXPECT_EQ(zip.RootDir(), "sub\\");
  EXPECT_EQ(zip.ExtractFiles(), 3);
  EXPECT_EQ(ReadFile(scratch / "out" / "inside.txt"), Bytes("i"));
  EXPECT_EQ(ReadFile(scratch / "out" / "subdir" / "kept.txt"), Bytes("k"));
  EXPECT_EQ(ReadFile(scratch / "out" / "deeper" / "d.txt"), Bytes("d"));
}

// Regression: distinct names meeting in one file (an escaped byte and the literal
// escape, two cases of one name) never overwrite each other; the first keeps the file.
TEST(PathSafety, DistinctNamesNeverShareAFile) {
  TZipWriter writer;
  for (const char* name : {"\xC3.txt", "%C3.txt", "A.TXT", "a.txt"}) writer.Add(name, Bytes(name));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  TScratch scratch;
  PrepareInstall(zip, scratch / "same.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(recorder.Skipped.size(), 2u);
  EXPECT_EQ(ReadFile(NativePath(recorder.Ended.at(0).second)), Bytes("\xC3.txt"));
}

class Overwrite : public testing::Test {
 protected:
  void SetUp() override {
    TZipWriter writer;
    // 2010-06-15 12:00:00
    writer.Add("file.txt", Bytes("from archive")).DosDateTime =
        (30u << 25) | (6u << 21) | (15u << 16) | (12u << 11);
    WriteFile(FScratch / "over.zip", writer.Build());
    fs::create_directories(FScratch / "out");
    WriteFile(FScratch / "out" / "file.txt", Bytes("old"));
  }
  std::vector<uint8_t> Run(TUZOverwriteMode mode, TRecorder& recorder,
                           const std::function<void(TUnZip&)>& setup = nullptr) {
    TUnZip zip;
    recorder.Attach(zip);
    zip.SetZipName(EnginePath(FScratch / "over.zip"));
    zip.SetDestDir(EnginePath(FScratch / "out"));
    zip.DoAll = true;
    zip.OverwriteMode = mode;
    if (setup) setup(zip);
    zip.ExtractFiles();
    return ReadFile(FScratch / "out" / "file.txt");
  }
  TScratch FScratch;
};

TEST_F(Overwrite, EachMode) {
  TRecorder never;
  EXPECT_EQ(Run(TUZOverwriteMode::Never, never), Bytes("old"));
  ASSERT_EQ(never.Skipped.size(), 1u);
  EXPECT_EQ(never.Skipped[0].first, TSkipReason::srNoOverwrite);

  TRecorder promptNo;
  promptNo.Answer = 7;
  EXPECT_EQ(Run(TUZOverwriteMode::Prompt, promptNo), Bytes("old"));
  EXPECT_EQ(promptNo.Messages, std::vector<int>{196});

  TRecorder promptHandler;
  EXPECT_EQ(Run(TUZOverwriteMode::Prompt, promptHandler,
                [](TUnZip& zip) {
                  zip.OnPromptForOverwrite = [](TUnZip*, bool& overwrite, int, std::string&) {
                    overwrite = true;
                  };
                }),
            Bytes("from archive"));
  EXPECT_TRUE(promptHandler.Messages.empty());
  WriteFile(FScratch / "out" / "file.txt", Bytes("old"));
  TRecorder newer;
  EXPECT_EQ(Run(TUZOverwriteMode::ifNewer, newer), Bytes("old"));  // file written now
  TRecorder older;
  EXPECT_EQ(Run(TUZOverwriteMode::ifOlder, older), Bytes("from archive"));
  EXPECT_EQ(zipplatform::FileDosTime(EnginePath(FScratch / "out" / "file.txt")),
            (30u << 25) | (6u << 21) | (15u << 16) | (12u << 11));
  // The file now carries the entry's time: neither newer nor older replaces it.
  TRecorder sameNewer, sameOlder;
  Run(TUZOverwriteMode::ifNewer, sameNewer);
  Run(TUZOverwriteMode::ifOlder, sameOlder);
  EXPECT_EQ(sameNewer.Skipped.size() + sameOlder.Skipped.size(), 2u);
}

uint32_t DosTime(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
                 uint32_t second) {
  return ((year - 1980) << 25) | (month << 21) | (day << 16) | (hour << 11) | (minute << 5) |
         (second / 2);
}

// Extracts "dated.txt" holding |text| with the time |dosTime| into |dest| in |mode|;
// true when the file was written.
bool ExtractDated(const TScratch& scratch, uint32_t dosTime, const std::string& text,
                  TUZOverwriteMode mode) {
  TZipWriter writer;
  writer.Add("dated.txt", Bytes(text)).DosDateTime = dosTime;
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "dated.zip", writer.Build(), scratch / "out");
  zip.OverwriteMode = mode;
  return zip.ExtractFiles() == 1;
}

// The newer/older modes on the last days of the months: the 31st and 30 April are real
// dates, 31 April is none (it counts as the oldest time).
TEST(OverwriteDates, LastDaysOfTheMonth) {
  TScratch scratch;
  const uint32_t jan1 = DosTime(2020, 1, 1, 12, 0, 0), jan31 = DosTime(2020, 1, 31, 12, 0, 0);
  const uint32_t apr29 = DosTime(2020, 4, 29, 12, 0, 0), apr30 = DosTime(2020, 4, 30, 12, 0, 0);
  const uint32_t dec31 = DosTime(2020, 12, 31, 23, 0, 0), apr31 = DosTime(2020, 4, 31, 12, 0, 0);
  struct TCase {
    uint32_t Existing, Entry;
    TUZOverwriteMode Mode;
    bool Replaced;
  } cases[] = {
      {jan1, jan31, TUZOverwriteMode::ifNewer, true},
      {jan1, jan31, TUZOverwriteMode::ifOlder, false},
      {apr29, apr30, TUZOverwriteMode::ifNewer, true},
      {apr29, apr30, TUZOverwriteMode::ifOlder, false},
      {dec31, apr30, TUZOverwriteMode::ifOlder, true},
      {dec31, jan31, TUZOverwriteMode::ifNewer, false},
      {jan1, dec31, TUZOverwriteMode::ifNewer, true},
      {jan1, apr31, TUZOverwriteMode::ifNewer, false},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << test.Existing << " " << test.Entry << " "
                                    << static_cast<int>(test.Mode));
    ASSERT_TRUE(ExtractDated(scratch, test.Existing, "existing", TUZOverwriteMode::Always));
    ASSERT_EQ(zipplatform::FileDosTime(EnginePath(scratch / "out" / "dated.txt")), test.Existing);
    EXPECT_EQ(ExtractDated(scratch, test.Entry, "entry", test.Mode), test.Replaced);
    EXPECT_EQ(ReadFile(scratch / "out" / "dated.txt"), Bytes(test.Replaced ? "entry" : "existing"));
  }
}

// An extracted file carries its entry's time to the second, also an odd seconds field
// (the DOS time counts seconds in twos).
TEST(OverwriteDates, SecondsRestoredOnExtraction) {
  TScratch scratch;
  for (uint32_t second : {58u, 2u, 30u}) {
    ASSERT_TRUE(
        ExtractDated(scratch, DosTime(2021, 3, 14, 15, 9, second), "s", TUZOverwriteMode::Always));
    auto written = fs::last_write_time(scratch / "out" / "dated.txt");
    std::time_t when = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(
            std::chrono::file_clock::to_sys(written)));
    std::tm parts = *std::localtime(&when);
    EXPECT_EQ(parts.tm_sec, static_cast<int>(second));
    EXPECT_EQ(parts.tm_min, 9);
    EXPECT_EQ(parts.tm_hour, 15);
    EXPECT_EQ(parts.tm_mday, 14);
  }
}

TEST_F(Overwrite, ReadOnlyTarget) {
  std::string target = EnginePath(FScratch / "out" / "file.txt");
  zipplatform::SetAttributes(target, 0x01);
  ASSERT_TRUE(zipplatform::IsReadOnly(target));
  TRecorder refused;
  EXPECT_EQ(Run(TUZOverwriteMode::Always, refused), Bytes("old"));
  ASSERT_EQ(refused.Skipped.size(), 1u);
  EXPECT_EQ(refused.Skipped[0].first, TSkipReason::srCreateError);
  TRecorder replaced;
  EXPECT_EQ(
      Run(TUZOverwriteMode::Always, replaced, [](TUnZip& zip) { zip.ReplaceReadOnly = true; }),
      Bytes("from archive"));
}

TEST(Attributes, ReadOnlyEntryStaysReadOnly) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("locked.txt", Bytes("locked")).ExternalAttributes = 0x21;
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "attr.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_TRUE(zipplatform::IsReadOnly(EnginePath(scratch / "out" / "locked.txt")));
}

// Regression: a hidden system file from an earlier run is replaced, not skipped.
TEST(Attributes, HiddenSystemFileIsReplaced) {
  TZipWriter writer;
  writer.Add("shy.txt", Bytes("shy")).ExternalAttributes = 0x26;
  TScratch scratch;
  TUnZip zip;
  PrepareInstall(zip, scratch / "hidden.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(zip.ExtractFiles(), 1);
}

TEST(Selection, MatchPattern) {
  EXPECT_TRUE(MatchPattern("*", "anything"));
  EXPECT_TRUE(MatchPattern("*.*", "dir.x\\file"));
  EXPECT_FALSE(MatchPattern("*.*", "readme"));
  EXPECT_TRUE(MatchPattern("a?c.txt", "abc.txt"));
  EXPECT_FALSE(MatchPattern("a?c.txt", "ac.txt"));
  EXPECT_TRUE(MatchPattern("file<0-9>.txt", "file7.txt"));
  EXPECT_FALSE(MatchPattern("file<!0-9>.txt", "file7.txt"));
  EXPECT_TRUE(MatchPattern("file<^0-9x>.txt", "filey.txt"));
  EXPECT_TRUE(MatchPattern("<abc>*", "banana"));
  EXPECT_FALSE(MatchPattern("file<0-9.txt", "file7.txt"));
  EXPECT_TRUE(MatchPattern("*a*b*c", "xxaxxbxxc"));
  EXPECT_FALSE(MatchPattern("*a*b*c", "xxaxxcxxb"));
  // Repeated stars, also at the end, match like one.
  EXPECT_TRUE(MatchPattern("a**", "a"));
  EXPECT_TRUE(MatchPattern("a**", "abc"));
  EXPECT_TRUE(MatchPattern("a***", "a.txt"));
  EXPECT_FALSE(MatchPattern("a**", "ba"));
  EXPECT_TRUE(MatchPattern("**x", "x"));
}

TEST(Selection, PatternsPickEntriesAndListIsEmptied) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("Keep.LUA", Bytes("k"));
  writer.Add("skip.txt", Bytes("s"));
  writer.Add("noext", Bytes("n"));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  WriteFile(scratch / "sel.zip", writer.Build());
  zip.SetZipName(EnginePath(scratch / "sel.zip"));
  zip.SetDestDir(EnginePath(scratch / "out"));
  zip.FilesList() = {"*.lua"};
  int total = -1;
  zip.OnStartUnZipInfo = [&total](TUnZip*, int files, int64_t, bool&) { total = files; };
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(total, 1);
  EXPECT_TRUE(zip.FilesList().empty());
  EXPECT_EQ(zip.ExtractFiles(), 0);  // nothing selected any more
}

TEST(Progress, PercentagesReachOneHundred) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("big.bin", Bytes(std::string(1 << 20, 'p')), true);
  writer.Add("small.bin", Bytes(std::string(1 << 20, 'q')));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  std::vector<int> file, total;
  zip.OnFilePercentDone = [&file](TUnZip*, int percent) { file.push_back(percent); };
  zip.OnTotalPercentDone = [&total](TUnZip*, int percent) { total.push_back(percent); };
  PrepareInstall(zip, scratch / "progress.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 2);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file.back(), 100);
  EXPECT_EQ(total.back(), 100);
  EXPECT_TRUE(std::is_sorted(total.begin(), total.end()));
}

// The run total drops by a skipped entry's size; percentages round half to even.
TEST(Progress, SkippedEntryLeavesTheTotalAndHalvesRoundToEven) {
  TZipWriter writer;
  writer.Add("CON", Bytes("skipped!"));
  for (char name = 'a'; name < 'i'; ++name) writer.Add(std::string(1, name), Bytes("x"));
  std::vector<int> total;
  TUnZip zip;
  zip.OnTotalPercentDone = [&total](TUnZip*, int percent) { total.push_back(percent); };
  TScratch scratch;
  PrepareInstall(zip, scratch / "p.zip", writer.Build(), scratch / "out");
  zip.ExtractFiles();
  EXPECT_EQ(total, (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));
}

// One run's events: the totals before any entry (StopNow ends the run there), a CRC
// failure reports calculated then stored CRC, and of an entry one byte longer than
// declared nothing past the size is taken, so its calculated CRC is that of no data.
TEST(Events, OrderAndArguments) {
  const std::vector<uint8_t> content = Bytes("content");
  TZipWriter writer;
  writer.Add("ok.txt", content);
  writer.Add("bad.txt", content).Crc = 1234;
  writer.Add("over.txt", content).UncompressedSize = content.size() - 1;
  TScratch scratch;
  for (bool stop : {false, true}) {
    std::string log;
    auto note = [&log](auto... values) { ((log += std::to_string(values) + " "), ...); };
    TUnZip zip;
    zip.OnStartUnZipInfo = [&](TUnZip*, int files, int64_t bytes, bool& stopNow) {
      note(files, bytes);
      stopNow = stop;
    };
    zip.OnStartUnZip = [&](TUnZip*, int index, std::string&, bool&) { note(index); };
    zip.OnEndUnZip = [&](TUnZip*, int index, const std::string&) { note(10 + index); };
    zip.OnBadCRC = [&](TUnZip*, uint32_t calc, uint32_t stored, int) { note(calc, stored); };
    zip.OnUnZipComplete = [&](TUnZip*, int count) { note(count); };
    PrepareInstall(zip, scratch / "events.zip", writer.Build(), scratch / "out");
    zip.ExtractFiles();
    EXPECT_EQ(log, stop ? "3 20 0 "
                        : "3 20 0 10 1 " + std::to_string(Crc(content)) + " 1234 2 0 " +
                              std::to_string(Crc(content)) + " 1 ");
  }
}

// A destination holding Chinese characters (code page 950 on the Windows build; one of
// them has 0x5C as its second byte there).
TEST(Install, DestinationWithChineseCharacters) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("Addons/UI/main.lua", Bytes("main"));
  std::string dest = EnginePath(scratch.Path()) + "\\" +
                     zipplatform::EngineFromUnicode(U"\u904A\u6232\u8A31\u529F") + "\\";
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  WriteFile(scratch / "cjk.zip", writer.Build());
  zip.SetZipName(EnginePath(scratch / "cjk.zip"));
  zip.SetDestDir(dest);
  zip.RecreateDirs = true;
  zip.DoAll = true;
  zip.OverwriteMode = TUZOverwriteMode::Always;
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_TRUE(zipplatform::FileExists(dest + "Addons\\UI\\main.lua"));
  EXPECT_EQ(CountFiles(scratch.Path()), 2);
}

}  // namespace
