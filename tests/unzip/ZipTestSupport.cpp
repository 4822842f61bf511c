#include "ZipTestSupport.h"

#include <atomic>
#include <chrono>
#include <random>

namespace ziptest {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}
void Put64(std::vector<uint8_t>& out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value));
  Put32(out, static_cast<uint32_t>(value >> 32));
}

}  // namespace

TScratch::TScratch() {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  FPath = fs::temp_directory_path() /
          ("vornis-zip-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(FPath);
}

TScratch::~TScratch() {
  std::error_code error;
  MakeWritable(FPath);
  fs::remove_all(FPath, error);
}

void MakeWritable(const fs::path& root) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, error);
  }
}

int CountFiles(const fs::path& root) {
  int count = 0;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file()) ++count;
  }
  return count;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data) {
  z_stream stream = {};
  deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())) + 16);
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

TZipWriter::TEntry& TZipWriter::Add(const std::string& name, const std::vector<uint8_t>& content,
                                    bool deflate) {
  TEntry entry;
  entry.Name = name;
  entry.Method = deflate ? 8 : 0;
  entry.Data = deflate ? Deflate(content) : content;
  entry.Crc = Crc(content);
  entry.UncompressedSize = content.size();
  Entries.push_back(entry);
  return Entries.back();
}

TZipWriter::TEntry& TZipWriter::AddRaw(const TEntry& entry) {
  Entries.push_back(entry);
  return Entries.back();
}

std::vector<uint8_t> TZipWriter::Build(const std::string& comment, bool zip64End, uint64_t start) {
  std::vector<uint8_t> out;
  std::vector<uint64_t> offsets;
  for (const TEntry& e : Entries) {
    offsets.push_back(start + out.size());
    Put32(out, 0x04034B50);
    Put16(out, e.Zip64 ? 45 : 20);
    Put16(out, e.Flags);
    Put16(out, e.Method);
    Put32(out, e.DosDateTime);
    Put32(out, e.Crc);
    Put32(out, e.Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(e.Data.size()));
    Put32(out, e.Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(e.UncompressedSize));
    Put16(out, static_cast<uint32_t>(e.Name.size()));
    Put16(out, e.Zip64 ? 20 : 0);
    out.insert(out.end(), e.Name.begin(), e.Name.end());
    if (e.Zip64) {
      Put16(out, 1);
      Put16(out, 16);
      Put64(out, e.UncompressedSize);
      Put64(out, e.Data.size());
    }
    out.insert(out.end(), e.Data.begin(), e.Data.end());
    if (e.Descriptor) {
      for (uint32_t value :
           {0x08074B50u, e.Crc, uint32_t(e.Data.size()), uint32_t(e.UncompressedSize)})
        Put32(out, value);
    }
  }
  const size_t centralAt = out.size();
  uint64_t centralStart = start + centralAt;
  for (size_t i = 0; i < Entries.size(); ++i) {
    const TEntry& e = Entries[i];
    uint64_t offset = e.OffsetOverride >= 0 ? static_cast<uint64_t>(e.OffsetOverride) : offsets[i];
    Put32(out, 0x02014B50);
    Put16(out, e.VersionMadeBy);
    Put16(out, e.Zip64 ? 45 : 20);
    Put16(out, e.Flags);
    Put16(out, e.Method);
    Put32(out, e.DosDateTime);
    Put32(out, e.Crc);
    Put32(out, e.Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(e.Data.size()));
    Put32(out, e.Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(e.UncompressedSize));
    Put16(out, static_cast<uint32_t>(e.Name.size()));
    const size_t extraSize = (e.Zip64 ? 28 : e.Zip64OffsetOnly ? 12 : 0) + e.CentralExtra.size();
    Put16(out, static_cast<uint32_t>(e.CentralExtraDeclared >= 0 ? e.CentralExtraDeclared
                                                                 : static_cast<int>(extraSize)));
    Put16(out, static_cast<uint32_t>(e.Comment.size()));
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, e.ExternalAttributes);
    Put32(out, e.Zip64 || e.Zip64OffsetOnly ? 0xFFFFFFFF : static_cast<uint32_t>(offset));
    out.insert(out.end(), e.Name.begin(), e.Name.end());
    out.insert(out.end(), e.CentralExtra.begin(), e.CentralExtra.end());
    if (e.Zip64OffsetOnly) {
      Put16(out, 1);
      Put16(out, 8);
      Put64(out, offset);
    }
    if (e.Zip64) {
      Put16(out, 1);
      Put16(out, 24);
      Put64(out, e.UncompressedSize);
      Put64(out, e.Data.size());
      Put64(out, offset);
    }
    out.insert(out.end(), e.Comment.begin(), e.Comment.end());
  }
  uint64_t centralSize = out.size() - centralAt;
  if (zip64End) {
    uint64_t endOffset = start + out.size();
    Put32(out, 0x06064B50);
    Put64(out, 44);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, Entries.size());
    Put64(out, Entries.size());
    Put64(out, centralSize);
    Put64(out, centralStart);
    Put32(out, 0x07064B50);
    Put32(out, 0);
    Put64(out, endOffset);
    Put32(out, 1);
  }
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, zip64End ? 0xFFFF : static_cast<uint32_t>(Entries.size()));
  Put16(out, zip64End ? 0xFFFF : static_cast<uint32_t>(Entries.size()));
  Put32(out, zip64End ? 0xFFFFFFFF : static_cast<uint32_t>(centralSize));
  Put32(out, zip64End ? 0xFFFFFFFF : static_cast<uint32_t>(centralStart));
  Put16(out, static_cast<uint32_t>(comment.size()));
  out.insert(out.end(), comment.begin(), comment.end());
  return out;
}

}  // namespace ziptest
