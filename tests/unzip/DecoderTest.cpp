// Decoders on hostile and borderline input, through the extraction run: they end the
// entry cleanly, never produce more than the declared size, and a short output fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "ZipTestSupport.h"
#include "unzip/LFNFileStream.h"
#include "unzip/ZipPlatform.h"

using namespace ziptest;

namespace {

TZipWriter::TEntry RawEntry(const std::string& name, uint16_t method,
                            const std::vector<uint8_t>& data, uint64_t size, uint32_t crc,
                            uint16_t flags = 0) {
  TZipWriter::TEntry entry;
  entry.Name = name;
  entry.Method = method;
  entry.Data = data;
  entry.UncompressedSize = size;
  entry.Crc = crc;
  entry.Flags = flags;
  return entry;
}

// Least-significant-bit-first writer for hand-made legacy streams.
struct TBitWriter {
  std::vector<uint8_t> Bytes;
  unsigned Used = 0;
  void Put(uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
      if (Used % 8 == 0) Bytes.push_back(0);
      if ((value >> i) & 1) Bytes.back() |= static_cast<uint8_t>(1u << (Used % 8));
      ++Used;
    }
  }
};

// 24 random bytes declaring 4 GiB: every legacy method and deflate stops at the end of
// its input at once, produces no more than it can, and the entry fails its check.
TEST(HostileInput, RandomBytesDeclaringFourGigabytes) {
  TScratch scratch;
  std::mt19937 random(7);
  for (uint16_t method : {1, 2, 3, 4, 5, 6, 8}) {
    for (uint16_t flags : {0, 2, 4, 6}) {
      if (method != 6 && flags != 0) continue;
      std::vector<uint8_t> noise(24);
      for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
      TZipWriter writer;
      auto& entry = writer.AddRaw(RawEntry("huge.bin", method, noise, 0, 0x12345678, flags));
      entry.Zip64 = true;
      entry.UncompressedSize = uint64_t{4} << 30;
      writer.Add("after.txt", Bytes("still here"));
      TUnZip zip;
      TRecorder recorder;
      recorder.Attach(zip);
      PrepareInstall(zip, scratch / "noise.zip", writer.Build(), scratch / "out");
      EXPECT_EQ(zip.ExtractFiles(), 1) << method;
      EXPECT_EQ(recorder.BadCrc, std::vector<int>{0}) << method;
      EXPECT_FALSE(fs::exists(scratch / "out" / "huge.bin"));
      EXPECT_TRUE(fs::exists(scratch / "out" / "after.txt"));
    }
  }
}

TEST(HostileInput, MalformedImplodeTreeAndShrinkCodes) {
  TScratch scratch;
  TZipWriter writer;
  // Implode: a tree whose lengths add up to 17, not 64.
  writer.AddRaw(RawEntry("tree.bin", 6, {0x00, 0xF0, 0x00, 0x00}, 100, 0));
  // Shrink: the first code is not a literal, then an undefined code.
  TBitWriter shrink;
  shrink.Put(65, 9);
  shrink.Put(600, 9);
  writer.AddRaw(RawEntry("lzw.bin", 1, shrink.Bytes, 100, 0));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "bad.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 0);
  EXPECT_EQ(recorder.BadCrc, (std::vector<int>{0, 1}));
  EXPECT_EQ(CountFiles(scratch / "out"), 0);
}

// A back-reference before the start of the output yields zero bytes there.
TEST(Reduce, ReferenceBeforeStartYieldsZeros) {
  TBitWriter bits;
  for (int set = 0; set < 256; ++set) bits.Put(0, 6);  // empty follower sets
  bits.Put(144, 8);                                    // DLE
  bits.Put(3, 8);                                      // length 3 (+3), distance high bits 0
  bits.Put(0, 8);                                      // distance low byte: 1 back
  bits.Put('A', 8);
  std::vector<uint8_t> expected = {0, 0, 0, 0, 0, 0, 'A'};
  TScratch scratch;
  TZipWriter writer;
  writer.AddRaw(RawEntry("zeros.bin", 2, bits.Bytes, expected.size(), Crc(expected)));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "reduce.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(ReadFile(scratch / "out" / "zeros.bin"), expected);
}

// Regression: the last literal's code needs more bits than the input holds. The missing
// bits are not taken as zeros, even where the lookup table would (the code of 255 is
// all zeros), so the entry stays one byte short.
TEST(Implode, CodeLongerThanTheRemainingInputIsNotDecoded) {
  TBitWriter bits;
  bits.Put(15, 8);  // literal tree: 16 x 16 symbols of length 8
  for (int i = 0; i < 16; ++i) bits.Put(0xF7, 8);
  for (int tree = 0; tree < 2; ++tree) {  // length and distance trees: 4 x 16 of length 6
    bits.Put(3, 8);
    for (int i = 0; i < 4; ++i) bits.Put(0xF5, 8);
  }
  bits.Put(1, 1);  // literal 'A': code 255 - 'A', its first bit first
  for (int b = 7; b >= 0; --b) bits.Put((190 >> b) & 1, 1);
  bits.Put(1, 1);  // a literal whose code the input cuts off
  TZipWriter writer;
  writer.AddRaw(RawEntry("cut.bin", 6, bits.Bytes, 2, Crc({'A', 0xFF}), 4));
  TScratch scratch;
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "cut.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 0);
}

// Writes implode streams with flat trees (literal codes of 8 bits, length and distance
// codes of 6). The application note gives equal-length codes counting up from the last
// symbol, so symbol s of an n-symbol flat tree has code n - 1 - s, sent from its top bit.
// |Expected| is what the stream stands for.
struct TImplodeWriter {
  TImplodeWriter(bool bigWindow, bool threeTrees) : BigWindow(bigWindow), ThreeTrees(threeTrees) {
    if (threeTrees) FlatTree(16, 8);
    FlatTree(4, 6);
    FlatTree(4, 6);
  }
  uint16_t Flags() const {
    return static_cast<uint16_t>((BigWindow ? 2 : 0) | (ThreeTrees ? 4 : 0));
  }
  void Literal(uint8_t byte) {
    Bits.Put(1, 1);
    if (ThreeTrees) {
      Code(255 - byte, 8);
    } else {
      Bits.Put(byte, 8);
    }
    Expected.push_back(byte);
  }
  void Match(uint32_t distance, uint32_t length) {
    const unsigned lowBits = BigWindow ? 7 : 6;
    Bits.Put(0, 1);
    Bits.Put((distance - 1) & ((1u << lowBits) - 1), lowBits);
    Code(63 - ((distance - 1) >> lowBits), 6);
    uint32_t code = length - (ThreeTrees ? 3 : 2);
    Code(63 - (code < 63 ? code : 63), 6);
    if (code >= 63) Bits.Put(code - 63, 8);
    for (uint32_t k = 0; k < length; ++k) Expected.push_back(Expected[Expected.size() - distance]);
  }

  bool BigWindow, ThreeTrees;
  TBitWriter Bits;
  std::vector<uint8_t> Expected;

 private:
  void FlatTree(unsigned groups, unsigned length) {  // |groups| x 16 symbols of |length|
    Bits.Put(groups - 1, 8);
    for (unsigned i = 0; i < groups; ++i) Bits.Put(0xF0 | (length - 1), 8);
  }
  void Code(uint32_t code, unsigned length) {
    for (int b = static_cast<int>(length) - 1; b >= 0; --b) Bits.Put((code >> b) & 1, 1);
  }
};

// Every window size with every tree count: the farthest distance each window reaches,
// the shortest match, and the longest (its length code followed by an extra byte).
TEST(Implode, EveryWindowWithEveryTreeCount) {
  TScratch scratch;
  std::mt19937 random(36);
  for (bool bigWindow : {false, true}) {
    for (bool threeTrees : {false, true}) {
      SCOPED_TRACE(testing::Message() << "8K " << bigWindow << " three trees " << threeTrees);
      TImplodeWriter implode(bigWindow, threeTrees);
      const uint32_t window = bigWindow ? 8192 : 4096;
      for (uint32_t i = 0; i < window + 100; ++i) implode.Literal(static_cast<uint8_t>(random()));
      const uint32_t shortest = threeTrees ? 3 : 2;
      implode.Match(window, shortest);
      implode.Match(window - 1, shortest + 62);
      implode.Match(65, shortest + 63);
      implode.Match(1, shortest + 63 + 255);
      implode.Match(window / 2 + 3, shortest + 1);
      implode.Literal('!');
      TZipWriter writer;
      writer.AddRaw(RawEntry("imploded.bin", 6, implode.Bits.Bytes, implode.Expected.size(),
                             Crc(implode.Expected), implode.Flags()));
      TUnZip zip;
      TRecorder recorder;
      recorder.Attach(zip);
      fs::remove_all(scratch / "out");
      PrepareInstall(zip, scratch / "implode.zip", writer.Build(), scratch / "out");
      EXPECT_EQ(zip.ExtractFiles(), 1);
      EXPECT_EQ(ReadFile(scratch / "out" / "imploded.bin"), implode.Expected);
    }
  }
}

// The last match runs past the declared size: the entry ends at that size, complete.
TEST(Implode, LastMatchRunningPastTheDeclaredSize) {
  TScratch scratch;
  for (uint16_t flags : {0, 2, 4, 6}) {
    SCOPED_TRACE(flags);
    TImplodeWriter implode((flags & 2) != 0, (flags & 4) != 0);
    for (char c : std::string("abcdefgh")) implode.Literal(static_cast<uint8_t>(c));
    implode.Match(8, 40);
    std::vector<uint8_t> expected(implode.Expected.begin(), implode.Expected.end() - 25);
    TZipWriter writer;
    writer.AddRaw(
        RawEntry("past.bin", 6, implode.Bits.Bytes, expected.size(), Crc(expected), flags));
    writer.Add("after.txt", Bytes("after"));
    TUnZip zip;
    TRecorder recorder;
    recorder.Attach(zip);
    fs::remove_all(scratch / "out");
    PrepareInstall(zip, scratch / "past.zip", writer.Build(), scratch / "out");
    EXPECT_EQ(zip.ExtractFiles(), 2);
    EXPECT_TRUE(recorder.BadCrc.empty());
    EXPECT_EQ(ReadFile(scratch / "out" / "past.bin"), expected);
  }
}

TEST(Sizes, LargerThanDeclaredFailsOnlyThatEntry) {
  TScratch scratch;
  std::vector<uint8_t> content = Bytes(std::string(300000, 'q'));
  TZipWriter writer;
  auto& entry = writer.Add("big.txt", content, true);
  entry.UncompressedSize = 1000;
  writer.Add("next.txt", Bytes("next"));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "bigger.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(recorder.BadCrc, std::vector<int>{0});
  EXPECT_FALSE(fs::exists(scratch / "out" / "big.txt"));
  EXPECT_TRUE(fs::exists(scratch / "out" / "next.txt"));
}

// Regression: an excess in blocks each smaller than the declared size; the file never
// grows past that size while it is written.
TEST(Sizes, ExcessInSeveralBlocksNeverGrowsTheFile) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("big.bin", std::vector<uint8_t>(2000000, 'b')).UncompressedSize = 600000;
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  uintmax_t largest = 0;
  zip.OnFilePercentDone = [&](TUnZip*, int) {
    largest = std::max(largest, fs::file_size(scratch / "out" / "big.bin"));
  };
  PrepareInstall(zip, scratch / "excess.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 0);
  EXPECT_EQ(recorder.BadCrc, std::vector<int>{0});
  EXPECT_GT(largest, 0u);
  EXPECT_LE(largest, 600000u);
}

// Regression: a short output whose own CRC matches the stored one still fails.
TEST(Sizes, ShortOutputFailsEvenWithMatchingCrc) {
  TScratch scratch;
  std::vector<uint8_t> content = Bytes("short content");
  TZipWriter writer;
  writer.AddRaw(RawEntry("short.txt", 0, content, content.size() + 10, Crc(content)));
  writer.AddRaw(RawEntry("deflated.txt", 8, Deflate(content), content.size() + 10, Crc(content)));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "short.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 0);
  EXPECT_EQ(recorder.BadCrc, (std::vector<int>{0, 1}));
}

TEST(Deflate, StreamEndingEarlyIsCompleteAndBrokenStreamFails) {
  TScratch scratch;
  std::vector<uint8_t> content = Bytes(std::string(5000, 'd') + "end");
  std::vector<uint8_t> padded = Deflate(content);
  padded.insert(padded.end(), 20, 0xEE);
  TZipWriter writer;
  writer.AddRaw(RawEntry("padded.txt", 8, padded, content.size(), Crc(content)));
  writer.AddRaw(RawEntry("broken.txt", 8, {0xFF, 0xFF, 0xFF}, content.size(), Crc(content)));
  std::vector<uint8_t> cut = Deflate(content);
  cut.resize(cut.size() / 2);
  writer.AddRaw(RawEntry("cut.txt", 8, cut, content.size(), Crc(content)));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "deflate.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(ReadFile(scratch / "out" / "padded.txt"), content);
  EXPECT_EQ(recorder.BadCrc, (std::vector<int>{1, 2}));
}

// Large deflated entries are written on a helper thread; the result must not change.
TEST(Deflate, LargeEntriesAndDeclaredSizeLimit) {
  TScratch scratch;
  std::vector<uint8_t> content(6 * 1024 * 1024);
  std::mt19937 random(11);
  for (size_t i = 0; i < content.size(); ++i)
    content[i] = static_cast<uint8_t>(i % 1000 < 500 ? 'a' + random() % 4 : random());
  TZipWriter writer;
  writer.Add("large.bin", content, true);
  writer.Add("limited.bin", content, true).UncompressedSize = 5 * 1024 * 1024;
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "large.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(ReadFile(scratch / "out" / "large.bin"), content);
  EXPECT_EQ(recorder.BadCrc, std::vector<int>{1});
  EXPECT_FALSE(fs::exists(scratch / "out" / "limited.bin"));
}

// Regression: a write larger than the stream's buffer lands after the bytes already
// buffered.
TEST(Output, LargeWriteKeepsBufferedBytesInOrder) {
  TScratch scratch;
  {
    TLFNFileStream stream(EnginePath(scratch / "order.bin"), zipplatform::TOpenMode::Create, 16);
    stream.Write("head", 4);
    stream.Write(std::string(40, 'L').data(), 40);
    stream.Write("tail", 4);
  }
  EXPECT_EQ(ReadFile(scratch / "order.bin"), Bytes("head" + std::string(40, 'L') + "tail"));
}

#ifndef _WIN32
// Caps every file this process writes at |bytes| (RLIMIT_FSIZE), so a write past the cap
// falls short as on a full disk; SIGXFSZ is ignored meanwhile. The only file written under
// the cap is the test's own output in its scratch folder.
class TFileSizeCap {
 public:
  explicit TFileSizeCap(rlim_t bytes) {
    FHandler = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &FSaved);
    rlimit cap = FSaved;
    cap.rlim_cur = bytes;
    FActive = setrlimit(RLIMIT_FSIZE, &cap) == 0;
  }
  ~TFileSizeCap() {
    setrlimit(RLIMIT_FSIZE, &FSaved);
    signal(SIGXFSZ, FHandler);
  }
  bool Active() const { return FActive; }

 private:
  rlimit FSaved = {};
  void (*FHandler)(int) = nullptr;
  bool FActive = false;
};

// A short write ends the run with "Cant write uncompressed file", whether the entry is
// written directly or on the helper thread: the files extracted before it stay, the
// broken one is closed and left in place, and the completion event still runs.
TEST(Output, WriteFailureEndsTheRun) {
  TScratch scratch;
  for (size_t size : {size_t{100}, size_t{6} * 1024 * 1024}) {
    SCOPED_TRACE(size);
    TZipWriter writer;
    writer.Add("first.txt", Bytes("first"), true);
    writer.Add("full.bin", std::vector<uint8_t>(size, 'f'), true);
    writer.Add("last.txt", Bytes("last"));
    TUnZip zip;
    TRecorder recorder;
    recorder.Attach(zip);
    fs::remove_all(scratch / "out");
    PrepareInstall(zip, scratch / "full.zip", writer.Build(), scratch / "out");
    try {
      TFileSizeCap cap(64);
      ASSERT_TRUE(cap.Active());
      zip.ExtractFiles();
      ADD_FAILURE() << "the run went on past the short write";
    } catch (const ECantWriteUCF& error) {
      EXPECT_EQ(error.Message(), "Cant write uncompressed file");
    }
    EXPECT_EQ(recorder.Completed, 1);
    EXPECT_EQ(recorder.BadCrc, std::vector<int>{});
    EXPECT_EQ(ReadFile(scratch / "out" / "first.txt"), Bytes("first"));
    ASSERT_TRUE(fs::exists(scratch / "out" / "full.bin"));
    EXPECT_LE(fs::file_size(scratch / "out" / "full.bin"), 64u);
    EXPECT_FALSE(fs::exists(scratch / "out" / "last.txt"));
  }
}
#endif

TEST(Methods, UnknownMethodShowsMessageAndIsNotExtracted) {
  TScratch scratch;
  TZipWriter writer;
  writer.AddRaw(RawEntry("deflate64.bin", 9, Bytes("whatever"), 8, 0x11111111));
  writer.AddRaw(RawEntry("empty.bin", 99, {}, 0, 0));
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  PrepareInstall(zip, scratch / "method.zip", writer.Build(), scratch / "out");
  EXPECT_EQ(zip.ExtractFiles(), 1);  // the empty entry with CRC 0 passes its check
  EXPECT_EQ(recorder.Messages, (std::vector<int>{197, 197}));
  EXPECT_FALSE(fs::exists(scratch / "out" / "deflate64.bin"));
}

// An archive cut inside an entry's data, recovered from its local headers.
TEST(Stored, TruncatedDataEndsTheRun) {
  TScratch scratch;
  TZipWriter writer;
  writer.Add("first.txt", Bytes("first"));
  writer.Add("second.txt", Bytes(std::string(10000, 's')));
  std::vector<uint8_t> data = writer.Build();
  data.resize(30 + 9 + 5 + 30 + 10 + 2000);
  TUnZip zip;
  TRecorder recorder;
  recorder.Attach(zip);
  zip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  PrepareInstall(zip, scratch / "cut.zip", data, scratch / "out");
  ASSERT_EQ(zip.Count(), 2);
  try {
    zip.ExtractFiles();
    FAIL();
  } catch (const EFatalUnzipError& error) {
    EXPECT_EQ(error.Message(), "Premature end of file reached");
  }
  EXPECT_EQ(recorder.Completed, 1);
  EXPECT_EQ(ReadFile(scratch / "out" / "first.txt"), Bytes("first"));
  EXPECT_TRUE(zip.FilesList().empty());
}

TEST(Encryption, PasswordCheckRetryAndRefusal) {
  TScratch scratch;
  const std::string archive = DataDir() + "/gen_zipcrypto_dd.zip";
  // No password and no handler: skipped, nothing left behind.
  {
    TUnZip zip;
    TRecorder recorder;
    recorder.Attach(zip);
    zip.SetZipName(archive);
    zip.SetDestDir(EnginePath(scratch / "none"));
    zip.DoAll = true;
    EXPECT_EQ(zip.ExtractFiles(), 0);
    ASSERT_EQ(recorder.Skipped.size(), 2u);
    EXPECT_EQ(recorder.Skipped[0].first, TSkipReason::srBadPassword);
    EXPECT_EQ(CountFiles(scratch / "none"), 0);
  }
  // A wrong password that passes the header check fails the entry; the handler's next
  // answer fails the check; the third is right and the entry is extracted on the retry.
  {
    TUnZip zip;
    TRecorder recorder;
    recorder.Attach(zip);
    int asked = 0;
    zip.OnBadPassword = [&asked](TUnZip*, int, std::string& password) {
      password = ++asked == 1 ? "wrong" : "tr@ditional";
    };
    zip.SetZipName(archive);
    zip.SetDestDir(EnginePath(scratch / "retry"));
    zip.DoAll = true;
    zip.Password = "wrong173";
    EXPECT_EQ(zip.ExtractFiles(), 2);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(zip.Password, "tr@ditional");
  }
  // Strong encryption (flag bit 6) is refused even with the right password.
  {
    TUnZip zip;
    TRecorder recorder;
    recorder.Attach(zip);
    zip.SetZipName(archive);
    zip.LoadDirectory();
    std::vector<uint8_t> data = ReadFile(archive);
    data[static_cast<size_t>(zip.Header(1).CentralOffset) + 8] |= 0x40;
    PrepareInstall(zip, scratch / "strong.zip", data, scratch / "strong");
    zip.Password = "tr@ditional";
    EXPECT_EQ(zip.ExtractFiles(), 1);
    EXPECT_EQ(recorder.Skipped.at(0).first, TSkipReason::srBadPassword);
  }
}

}  // namespace
