// inflatefloor ARCHIVE
// The floor for extraction speed: raw inflate plus CRC-32 of every deflated entry of
// ARCHIVE, reading in large blocks and writing nothing. Prints the bytes produced.
#include <zlib.h>

#include <cstdio>
#include <vector>

#include "unzip/UnZip.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: inflatefloor ARCHIVE\n");
    return 2;
  }
  TUnZip zip;
  zip.SetZipName(argv[1]);
  zip.LoadDirectory();
  std::FILE* file = std::fopen(argv[1], "rb");
  if (!file) return 1;
  std::vector<unsigned char> input(256 * 1024), output(256 * 1024);
  unsigned long long produced = 0;
  for (int i = 0; i < zip.Count(); ++i) {
    const TZipHeaderInfo& header = zip.Header(i);
    if (header.CompressionMethod != 8) continue;
    unsigned char local[30];
    std::fseek(file, static_cast<long>(header.RelativeOffset()), SEEK_SET);
    if (std::fread(local, 1, 30, file) != 30) return 1;
    std::fseek(file, (local[26] | (local[27] << 8)) + (local[28] | (local[29] << 8)), SEEK_CUR);
    z_stream stream = {};
    inflateInit2(&stream, -15);
    uint64_t left = header.CompressedSize();
    uLong crc = 0;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
      if (stream.avail_in == 0 && left > 0) {
        size_t want = left < input.size() ? static_cast<size_t>(left) : input.size();
        size_t got = std::fread(input.data(), 1, want, file);
        left -= got;
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(got);
      }
      stream.next_out = output.data();
      stream.avail_out = static_cast<uInt>(output.size());
      result = inflate(&stream, Z_NO_FLUSH);
      if (result < 0) break;
      size_t size = output.size() - stream.avail_out;
      crc = crc32(crc, output.data(), static_cast<uInt>(size));
      produced += size;
    }
    inflateEnd(&stream);
    if (crc != header.Crc32) std::fprintf(stderr, "crc mismatch in entry %d\n", i);
  }
  std::fclose(file);
  std::printf("%llu\n", produced);
  return 0;
}
