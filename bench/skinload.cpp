// skinload: the skin package reader from the command line.
//
//   skinload --unpack PACKED OUT   unpack a 4-byte length + LZHUF stream into OUT
//   skinload --pack UNPACKED OUT   pack bytes into a 4-byte length + LZHUF stream
//   skinload --read PACKAGE        read a package as the program does (ReadSkin) and
//                                  print its skin name and caption-button count
//   skinload PACKAGE               list the files of a package (name TAB size) and
//                                  its skin name (skin TAB name)
//   skinload --time [PACKAGE]      time reading our stored package or the given one:
//                                  unpack, split, parse with bitmaps, bitmaps alone
//
// Exit status 0, or 1 with the error on standard error. A PACKAGE file is the package
// itself (4-byte unpacked length and stream); our stored stream, the default of
// --time, has one more 4-byte length in front.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "skin/SkinRead.h"
#include "skin/SkinWriter.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw skin::ESkinError("cannot open " + path);
  return {std::istreambuf_iterator<char>(in), {}};
}

template <typename F>
double MedianMs(int runs, F&& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

int Unpack(const std::string& input, const std::string& output) {
  const std::vector<uint8_t> unpacked = skin::LzhUnpack(ReadAll(input));
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(unpacked.data()),
            static_cast<std::streamsize>(unpacked.size()));
  if (!out) throw skin::ESkinError("cannot write " + output);
  return 0;
}

int Pack(const std::string& input, const std::string& output) {
  const std::vector<uint8_t> packed = skin::LzhPack(ReadAll(input));
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(packed.data()),
            static_cast<std::streamsize>(packed.size()));
  if (!out) throw skin::ESkinError("cannot write " + output);
  return 0;
}

int List(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadAll(path);
  const skin::TSkinPackage package = skin::SplitPackage(skin::LzhUnpack(bytes));
  const skin::TSkin skin = skin::ParseSkin(package);
  for (const skin::TSkinFile& file : package.Files)
    std::printf("%s\t%zu\n", file.Name.c_str(), file.Data.size());
  std::printf("skin\t%s\n", skin.SkinName.c_str());
  return 0;
}

int Read(const std::string& path) {
  const skin::TSkin skin = skin::ReadSkin(ReadAll(path));
  std::printf("skin\t%s\ncaption buttons\t%zu\n", skin.SkinName.c_str(),
              skin.CaptionButtons.size());
  return 0;
}

int Time(const std::string& path, bool stored) {
  const std::vector<uint8_t> bytes = ReadAll(path);
  if (stored && bytes.size() < 4) throw skin::ESkinError("stored stream truncated");
  const std::span<const uint8_t> packed = std::span(bytes).subspan(stored ? 4 : 0);
  const std::vector<uint8_t> unpacked = skin::LzhUnpack(packed);
  const skin::TSkinPackage package = skin::SplitPackage(unpacked);
  constexpr int kRuns = 41;
  size_t sink = 0;
  const double unpack = MedianMs(kRuns, [&] { sink += skin::LzhUnpack(packed).size(); });
  const double split = MedianMs(kRuns, [&] { sink += skin::SplitPackage(unpacked).Files.size(); });
  const double parse =
      MedianMs(kRuns, [&] { sink += skin::ParseSkin(package).CaptionButtons.size(); });
  const double bitmaps = MedianMs(kRuns, [&] {
    for (const skin::TSkinFile& file : package.Files) {
      if (file.Name.size() > 4 && file.Name.ends_with(".bmp"))
        sink += skin::DecodeBmp(file.Data).Pixels.size();
    }
  });
  const double whole = MedianMs(kRuns, [&] { sink += skin::ReadSkin(packed).Elements.size(); });
  std::printf("package %s: %zu bytes, %zu unpacked, %zu files (median of %d runs)\n", path.c_str(),
              packed.size(), unpacked.size(), package.Files.size(), kRuns);
  std::printf("unpack\t%.3f ms\nsplit\t%.3f ms\nparse\t%.3f ms (with bitmaps)\nbitmaps\t%.3f ms\n",
              unpack, split, parse, bitmaps);
  std::printf("total\t%.3f ms (ReadSkin)\n", whole);
  return sink == 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 3 && args[0] == "--unpack") return Unpack(args[1], args[2]);
    if (args.size() == 2 && args[0] == "--read") return Read(args[1]);
    if (args.size() == 3 && args[0] == "--pack") return Pack(args[1], args[2]);
    if (!args.empty() && args[0] == "--time" && args.size() <= 2) {
#ifdef VORNIS_STORED_SKIN_FILE
      return args.size() == 2 ? Time(args[1], false) : Time(VORNIS_STORED_SKIN_FILE, true);
#else
      if (args.size() == 2) return Time(args[1], false);
      throw skin::ESkinError("no stored package in this build; name one");
#endif
    }
    if (args.size() == 1 && args[0].rfind("--", 0) != 0) return List(args[0]);
    std::fprintf(
        stderr,
        "usage: skinload --unpack PACKED OUT | skinload --pack UNPACKED OUT | skinload --read "
        "PACKAGE | skinload PACKAGE | skinload --time [PACKAGE]\n");
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skinload: %s\n", e.what());
    return 1;
  }
}
