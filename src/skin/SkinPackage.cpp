// The layout of an unpacked skin package: a 16-byte header (format number, length of
// the name list, 8 unused bytes), a block skipped by format, the names one per line,
// one 4-byte size per name, then the contents in name order. Every length is checked
// against the bytes left before it is used.
#include "skin/SkinRead.h"
#include "skin/SkinWriter.h"

namespace skin {
namespace {

uint32_t Le32(std::span<const uint8_t> bytes, size_t at) {
  return uint32_t(bytes[at]) | (uint32_t(bytes[at + 1]) << 8) | (uint32_t(bytes[at + 2]) << 16) |
         (uint32_t(bytes[at + 3]) << 24);
}

void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

constexpr size_t kHeaderSize = 16;

// Calls visit(name) for each name of the list, split at CR, LF or CR LF; a line end
// after the last name adds none.
template <typename TVisit>
void ForEachName(std::span<const uint8_t> list, TVisit&& visit) {
  const std::string_view text(reinterpret_cast<const char*>(list.data()), list.size());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    visit(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
}

}  // namespace

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

int SkippedBlockSize(uint32_t format) {
  switch (format) {
    case 20000:
      return 0;
    case 30000:
      return 256;
    case 40000:
      return 80;
    case 50000:
      return 48;
    case 60000:
      return 117;
    case 70000:
      return 69;
    default:
      return -1;
  }
}

TSkinPackage SplitPackage(std::span<const uint8_t> unpacked) {
  if (unpacked.size() < kHeaderSize) throw ESkinError("skin package: header truncated");
  TSkinPackage package;
  package.Format = Le32(unpacked, 0);
  const uint32_t listSize = Le32(unpacked, 4);
  const int skipped = SkippedBlockSize(package.Format);
  if (skipped < 0) throw ESkinOldFormat();

  size_t at = kHeaderSize + static_cast<size_t>(skipped);
  if (at > unpacked.size() || listSize > unpacked.size() - at) {
    throw ESkinError("skin package: name list truncated");
  }
  const std::span<const uint8_t> list = unpacked.subspan(at, listSize);
  at += listSize;
  // Every name has a size, so the count is known before anything is kept.
  size_t count = 0;
  ForEachName(list, [&](std::string_view) { ++count; });
  if (count > (unpacked.size() - at) / 4) throw ESkinError("skin package: sizes truncated");
  size_t contentAt = at + 4 * count;
  size_t index = 0;
  ForEachName(list, [&](std::string_view name) {
    const uint32_t size = Le32(unpacked, at + 4 * index++);
    if (size > unpacked.size() - contentAt)
      throw ESkinError("skin package: file \"" + LowerAscii(name) + "\" truncated");
    const auto content = unpacked.subspan(contentAt, size);
    contentAt += size;
    if (name.empty()) return;
    if (package.Files.size() == kMaxSkinFiles) throw ESkinError("skin package: too many files");
    package.Files.push_back(
        {LowerAscii(name), std::vector<uint8_t>(content.begin(), content.end())});
  });
  return package;
}

const TSkinFile* TSkinPackage::Find(std::string_view name) const {
  for (const TSkinFile& file : Files) {
    if (file.Name == name) return &file;
  }
  return nullptr;
}

const TSkinFile* TSkinPackage::Description() const {
  for (const TSkinFile& file : Files) {
    if (file.Name.find(".ini") != std::string::npos) return &file;
  }
  return nullptr;
}

std::vector<uint8_t> BuildPackage(uint32_t format, const std::vector<TSkinPackFile>& files) {
  const int skipped = SkippedBlockSize(format);
  if (skipped < 0) throw ESkinOldFormat();
  std::string list;
  for (const TSkinPackFile& file : files) list += file.Name + "\r\n";

  std::vector<uint8_t> out;
  PutLe32(out, format);
  PutLe32(out, static_cast<uint32_t>(list.size()));
  out.resize(kHeaderSize + static_cast<size_t>(skipped), 0);
  out.insert(out.end(), list.begin(), list.end());
  for (const TSkinPackFile& file : files) PutLe32(out, static_cast<uint32_t>(file.Data.size()));
  for (const TSkinPackFile& file : files) out.insert(out.end(), file.Data.begin(), file.Data.end());
  return out;
}

std::vector<uint8_t> WritePackage(uint32_t format, const std::vector<TSkinPackFile>& files) {
  return LzhPack(BuildPackage(format, files));
}

TSkin ReadSkin(std::span<const uint8_t> package) {
  // The unpacked bytes go before the images are decoded: the files hold a copy.
  const TSkinPackage split = SplitPackage(LzhUnpack(package));
  return ParseSkin(split);
}

}  // namespace skin
