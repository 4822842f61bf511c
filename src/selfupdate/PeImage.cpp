#include "selfupdate/PeImage.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace selfupdate {

namespace {

constexpr uint16_t kFileExecutableImage = 0x0002;
constexpr uint16_t kFileDll = 0x2000;
constexpr uint16_t kMagicPe32 = 0x10b;
constexpr uint16_t kMagicPe32Plus = 0x20b;
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint64_t kCoffSymbolSize = 18;
constexpr uint32_t kCertificateDirectory = 4;

// Little-endian reads at offsets the caller has checked against the size.
uint16_t Read16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

TPeKind RunningPeKind() {
  auto base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return {nt->FileHeader.Machine, nt->OptionalHeader.Magic};
}

bool IsCompletePeImage(const unsigned char* data, size_t size, TPeKind kind) {
  // Offsets are computed in 64 bits so no field of a hostile header can wrap them.
  const uint64_t total = size;
  if (total < 64 || data[0] != 'M' || data[1] != 'Z') return false;
  const uint64_t nt = Read32(data + 0x3c);
  const uint64_t fileHeader = nt + 4;
  const uint64_t optional = fileHeader + 20;
  if (optional > total) return false;
  if (data[nt] != 'P' || data[nt + 1] != 'E' || data[nt + 2] != 0 || data[nt + 3] != 0)
    return false;

  if (Read16(data + fileHeader) != kind.Machine) return false;
  const uint64_t sectionCount = Read16(data + fileHeader + 2);
  const uint64_t symbolTable = Read32(data + fileHeader + 8);
  const uint64_t symbolCount = Read32(data + fileHeader + 12);
  const uint64_t optionalSize = Read16(data + fileHeader + 16);
  const uint16_t characteristics = Read16(data + fileHeader + 18);
  if (!(characteristics & kFileExecutableImage) || (characteristics & kFileDll)) return false;

  // The optional header: magic, size of headers, and the data directories.
  if (optionalSize < 2 || optional + optionalSize > total) return false;
  const uint16_t magic = Read16(data + optional);
  if (magic != kind.Magic || (magic != kMagicPe32 && magic != kMagicPe32Plus)) return false;
  const uint64_t directoryCountAt = optional + (magic == kMagicPe32Plus ? 108 : 92);
  if (directoryCountAt + 4 > optional + optionalSize) return false;
  const uint64_t sizeOfHeaders = Read32(data + optional + 60);
  if (sizeOfHeaders > total) return false;
  const uint64_t directoryCount = Read32(data + directoryCountAt);
  if (directoryCount > kCertificateDirectory) {
    const uint64_t entry = directoryCountAt + 4 + kCertificateDirectory * 8;
    if (entry + 8 > optional + optionalSize) return false;
    // The certificate table is the one directory addressed by file offset.
    const uint64_t offset = Read32(data + entry);
    const uint64_t length = Read32(data + entry + 4);
    if (length != 0 && offset + length > total) return false;
  }

  const uint64_t sections = optional + optionalSize;
  if (sectionCount == 0 || sections + sectionCount * kSectionHeaderSize > total) return false;
  for (uint64_t i = 0; i < sectionCount; ++i) {
    const unsigned char* section = data + sections + i * kSectionHeaderSize;
    const uint64_t rawSize = Read32(section + 16);
    const uint64_t rawOffset = Read32(section + 20);
    if (rawSize != 0 && rawOffset + rawSize > total) return false;
  }

  if (symbolTable != 0) {
    // The string table follows the symbols and starts with its own size in bytes.
    const uint64_t strings = symbolTable + symbolCount * kCoffSymbolSize;
    if (strings + 4 > total) return false;
    if (strings + Read32(data + strings) > total) return false;
  }
  return true;
}

bool IsExecutableForThisMachine(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) return false;
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  return IsCompletePeImage(bytes.data(), bytes.size(), RunningPeKind());
}

}  // namespace selfupdate
