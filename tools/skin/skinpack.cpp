// Packs a folder of skin files into the stored skin stream of the executable: a 4-byte
// length, then the package (4-byte unpacked length and LZHUF stream). The description
// (the .ini file) goes first, the other files follow in name order. The result is read
// back with the product's reader before it is written, so a skin the program would
// refuse fails the build.
//
//   skinpack OUTPUT FOLDER
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "skin/SkinRead.h"
#include "skin/SkinWriter.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: skinpack OUTPUT FOLDER\n");
    return 2;
  }
  try {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(argv[2])) {
      if (entry.is_regular_file()) paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end(), [](const fs::path& a, const fs::path& b) {
      const bool aIni = a.extension() == ".ini", bIni = b.extension() == ".ini";
      return aIni != bIni ? aIni : a.filename() < b.filename();
    });
    std::vector<skin::TSkinPackFile> files;
    for (const fs::path& path : paths) {
      std::ifstream in(path, std::ios::binary);
      files.push_back({path.filename().string(), {std::istreambuf_iterator<char>(in), {}}});
    }
    const std::vector<uint8_t> package = skin::WritePackage(skin::kSkinFormat, files);
    const skin::TSkin skin = skin::ReadSkin(package);
    std::vector<uint8_t> stream;
    const uint32_t length = static_cast<uint32_t>(package.size());
    for (int i = 0; i < 4; ++i) stream.push_back(static_cast<uint8_t>(length >> (8 * i)));
    stream.insert(stream.end(), package.begin(), package.end());
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(stream.data()),
              static_cast<std::streamsize>(stream.size()));
    if (!out) throw skin::ESkinError(std::string("cannot write ") + argv[1]);
    std::printf("skinpack: %s, %zu files, %zu bytes packed\n", skin.SkinName.c_str(), files.size(),
                package.size());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skinpack: %s\n", e.what());
    return 1;
  }
}
