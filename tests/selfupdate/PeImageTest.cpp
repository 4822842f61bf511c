// The check a downloaded executable passes before it replaces the running one.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "selfupdate/PeImage.h"

using selfupdate::IsCompletePeImage;
using selfupdate::RunningPeKind;

namespace {

using TBytes = std::vector<unsigned char>;

std::wstring WinPath(const std::string& unixPath) {
  std::wstring path = L"Z:";
  for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

TBytes ReadAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return TBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const TBytes& BuiltExe() {
  static const TBytes bytes = ReadAll(WinPath(VORNIS_EXE_PATH));
  return bytes;
}

bool Accepted(const TBytes& bytes) {
  return IsCompletePeImage(bytes.data(), bytes.size(), RunningPeKind());
}

uint32_t Get32(const TBytes& bytes, size_t at) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}
void Put16(TBytes& bytes, size_t at, uint16_t value) {
  std::memcpy(bytes.data() + at, &value, 2);
}
void Put32(TBytes& bytes, size_t at, uint32_t value) {
  std::memcpy(bytes.data() + at, &value, 4);
}

// A minimal 32-bit executable: headers and one section of 0x200 bytes.
TBytes Pe32Image() {
  TBytes image(0x400, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3c, 0x80);
  std::memcpy(image.data() + 0x80, "PE\0\0", 4);
  Put16(image, 0x84, 0x14c);       // i386
  Put16(image, 0x86, 1);           // one section
  Put16(image, 0x94, 224);         // optional header size
  Put16(image, 0x96, 0x0102);      // executable, 32-bit machine
  Put16(image, 0x98, 0x10b);       // PE32
  Put32(image, 0x98 + 60, 0x200);  // size of headers
  Put32(image, 0x98 + 92, 16);     // data directories
  size_t section = 0x98 + 224;
  std::memcpy(image.data() + section, ".text", 5);
  Put32(image, section + 16, 0x200);
  Put32(image, section + 20, 0x200);
  return image;
}

}  // namespace

TEST(PeImage, TheBuiltProgramAndACopyWithAnOverlayAreAccepted) {
  const TBytes& exe = BuiltExe();
  ASSERT_GT(exe.size(), 4096u);
  EXPECT_TRUE(Accepted(exe));
  TBytes overlay = exe;
  overlay.insert(overlay.end(), {'n', 'e', 'x', 't'});
  EXPECT_TRUE(Accepted(overlay));
  EXPECT_TRUE(selfupdate::IsExecutableForThisMachine(WinPath(VORNIS_EXE_PATH)));
  EXPECT_FALSE(selfupdate::IsExecutableForThisMachine(L"Z:\\no\\such\\file.exe"));
}

TEST(PeImage, EveryTruncationIsRefused) {
  const TBytes& exe = BuiltExe();
  // Cut points from the DOS header through the headers, the sections and the very end.
  std::vector<size_t> cuts = {
      0,     2,     0x3c,   0x40,           Get32(exe, 0x3c) + 2, Get32(exe, 0x3c) + 24,
      0x200, 0x400, 0x1000, exe.size() / 2, exe.size() - 1};
  for (size_t cut : cuts) {
    TBytes truncated(exe.begin(), exe.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_FALSE(Accepted(truncated)) << "cut at " << cut;
  }
}

TEST(PeImage, OtherContentIsRefused) {
  std::string html = "<html><body><h1>404 Not Found</h1></body></html>\r\n";
  TBytes page(html.begin(), html.end());
  page.resize(8192, ' ');
  EXPECT_FALSE(Accepted(page));
  TBytes mz(8192, 0);
  mz[0] = 'M';
  mz[1] = 'Z';
  EXPECT_FALSE(Accepted(mz));  // a DOS stub with no PE header
}

TEST(PeImage, A32BitImageIsRefusedHere) {
  TBytes image = Pe32Image();
  EXPECT_TRUE(IsCompletePeImage(image.data(), image.size(), {0x14c, 0x10b}));
  EXPECT_FALSE(Accepted(image));
  // Claiming the right machine does not help a 32-bit optional header.
  Put16(image, 0x84, RunningPeKind().Machine);
  EXPECT_FALSE(Accepted(image));
}

TEST(PeImage, HostileHeaderFieldsAreRefused) {
  const TBytes& exe = BuiltExe();
  const size_t nt = Get32(exe, 0x3c);
  const size_t optionalSize = exe[nt + 20] | exe[nt + 21] << 8;
  const size_t firstSection = nt + 24 + optionalSize;
  auto refused = [&](const char* what, auto change) {
    TBytes copy = exe;
    change(copy);
    EXPECT_FALSE(Accepted(copy)) << what;
  };
  refused("e_lfanew past the end", [](TBytes& b) { Put32(b, 0x3c, 0xfffffff0u); });
  refused("no PE signature", [&](TBytes& b) { b[nt + 1] = 'X'; });
  refused("a DLL", [&](TBytes& b) { b[nt + 23] |= 0x20; });
  refused("not executable", [&](TBytes& b) { b[nt + 22] &= ~0x02; });
  refused("optional header past the end", [&](TBytes& b) { Put16(b, nt + 20, 0xffff); });
  refused("no sections", [&](TBytes& b) { Put16(b, nt + 6, 0); });
  refused("section table past the end", [&](TBytes& b) { Put16(b, nt + 6, 0xffff); });
  refused("raw data offset wraps", [&](TBytes& b) { Put32(b, firstSection + 20, 0xffffff00u); });
  refused("raw data past the end",
          [&](TBytes& b) { Put32(b, firstSection + 16, static_cast<uint32_t>(b.size())); });
  refused("symbol table past the end", [&](TBytes& b) { Put32(b, nt + 12, 0x7fffffff); });
}
