#include "unzip/ZipObj.h"

#include <cstring>
#include <vector>

#include "unzip/LFNFileStream.h"

namespace {

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Get64(const uint8_t* p) {
  return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

bool ReadExact(TLFNFileStream& stream, void* data, int64_t size) {
  return stream.Read(data, size) == size;
}

}  // namespace

uint32_t SanitizeDosDateTime(uint32_t dosDateTime) {
  uint32_t seconds = (dosDateTime & 0x1F) * 2;
  uint32_t minutes = (dosDateTime >> 5) & 0x3F;
  uint32_t hours = (dosDateTime >> 11) & 0x1F;
  uint32_t day = (dosDateTime >> 16) & 0x1F;
  uint32_t month = (dosDateTime >> 21) & 0x0F;
  uint32_t year = 1980 + ((dosDateTime >> 25) & 0x7F);
  bool clamped = false;
  auto clamp = [&clamped](uint32_t& value, uint32_t low, uint32_t high) {
    if (value < low) value = low, clamped = true;
    if (value > high) value = high, clamped = true;
  };
  clamp(hours, 0, 23);
  clamp(minutes, 0, 59);
  clamp(seconds, 0, 59);
  clamp(year, 1980, 2099);
  clamp(month, 1, 12);
  clamp(day, 1, 31);
  if (!clamped) return dosDateTime;
  return ((year - 1980) << 25) | (month << 21) | (day << 16) | (hours << 11) | (minutes << 5) |
         (seconds / 2);
}

uint32_t DosDateTimeOrder(uint32_t dosDateTime) {
  static const uint8_t kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  uint32_t day = (dosDateTime >> 16) & 0x1F;
  uint32_t month = (dosDateTime >> 21) & 0x0F;
  uint32_t year = 1980 + ((dosDateTime >> 25) & 0x7F);
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return 0;
  return dosDateTime;
}

TZip64Extra& TZipHeaderInfo::Zip64Block() {
  if (!Zip64Extra) Zip64Extra.emplace();
  return *Zip64Extra;
}

uint64_t TZipHeaderInfo::CompressedSize() const {
  return CompressedSize32 == 0xFFFFFFFF && Zip64Extra ? Zip64Extra->CompressedSize
                                                      : CompressedSize32;
}
uint64_t TZipHeaderInfo::UncompressedSize() const {
  return UncompressedSize32 == 0xFFFFFFFF && Zip64Extra ? Zip64Extra->UncompressedSize
                                                        : UncompressedSize32;
}
uint64_t TZipHeaderInfo::RelativeOffset() const {
  return RelativeOffset32 == 0xFFFFFFFF && Zip64Extra ? Zip64Extra->RelativeOffset
                                                      : RelativeOffset32;
}
uint32_t TZipHeaderInfo::DiskNumberStart() const {
  return DiskNumberStart16 == 0xFFFF && Zip64Extra ? Zip64Extra->DiskStart : DiskNumberStart16;
}

void TZipHeaderInfo::SetCompressedSize(uint64_t value) {
  if (value < 0xFFFFFFFF) {
    CompressedSize32 = static_cast<uint32_t>(value);
  } else {
    CompressedSize32 = 0xFFFFFFFF;
    Zip64Block().CompressedSize = value;
  }
}
void TZipHeaderInfo::SetUncompressedSize(uint64_t value) {
  if (value < 0xFFFFFFFF) {
    UncompressedSize32 = static_cast<uint32_t>(value);
  } else {
    UncompressedSize32 = 0xFFFFFFFF;
    Zip64Block().UncompressedSize = value;
  }
}
void TZipHeaderInfo::SetRelativeOffset(uint64_t value) {
  if (value < 0xFFFFFFFF) {
    RelativeOffset32 = static_cast<uint32_t>(value);
  } else {
    RelativeOffset32 = 0xFFFFFFFF;
    Zip64Block().RelativeOffset = value;
  }
}
void TZipHeaderInfo::SetDiskNumberStart(uint32_t value) {
  if (value < 0xFFFF) {
    DiskNumberStart16 = static_cast<uint16_t>(value);
  } else {
    DiskNumberStart16 = 0xFFFF;
    Zip64Block().DiskStart = value;
  }
}

void TZipHeaderInfo::SetFullName(const std::string& name) {
  SplitEntryName(name, Directory, FileName);
  FileNameLength = static_cast<uint16_t>(Directory.size() + FileName.size());
}

bool TZipHeaderInfo::ReadCentralRecord(TLFNFileStream& stream, const TNextPartCallback& nextPart) {
  int64_t start = stream.Position();
  uint8_t record[46];
  int64_t got = stream.Read(record, 46);
  if (got < 46 && got >= 0 && nextPart && nextPart()) got += stream.Read(record + got, 46 - got);
  if (got < 46 || Get32(record) != kCentralSignature) {
    stream.Seek(start, TSeekOrigin::soBeginning);
    return false;
  }
  VersionMadeBy = Get16(record + 4);
  VersionNeeded = Get16(record + 6);
  Flags = Get16(record + 8);
  CompressionMethod = Get16(record + 10);
  DateTime = Get32(record + 12);
  Crc32 = Get32(record + 16);
  CompressedSize32 = Get32(record + 20);
  UncompressedSize32 = Get32(record + 24);
  uint16_t nameLength = Get16(record + 28);
  ExtraFieldLength = Get16(record + 30);
  CommentLength = Get16(record + 32);
  DiskNumberStart16 = Get16(record + 34);
  InternalAttributes = Get16(record + 36);
  ExternalAttributes = Get32(record + 38);
  RelativeOffset32 = Get32(record + 42);
  std::string raw(nameLength, '\0');
  if (!ReadExact(stream, raw.data(), nameLength)) {
    stream.Seek(start, TSeekOrigin::soBeginning);
    return false;
  }
  SetFullName(ConvertEntryName(raw, (VersionMadeBy >> 8) == 0, Flags, OEMConvert));
  RawName = raw;
  DateTime = SanitizeDosDateTime(DateTime);
  CentralOffset = start;
  Zip64Extra.reset();
  if (ExtraFieldLength != 0) {
    std::vector<uint8_t> extra(ExtraFieldLength);
    int64_t have = stream.Read(extra.data(), ExtraFieldLength);
    size_t pos = 0;
    while (pos + 4 <= static_cast<size_t>(have)) {
      uint16_t tag = Get16(&extra[pos]);
      size_t size = Get16(&extra[pos + 2]);
      size_t data = pos + 4;
      size_t end =
          data + size < static_cast<size_t>(have) ? data + size : static_cast<size_t>(have);
      if (tag == 1) {
        TZip64Extra& block = Zip64Block();
        block.Size = static_cast<uint16_t>(size);
        if (UncompressedSize32 == 0xFFFFFFFF && data + 8 <= end) {
          block.UncompressedSize = Get64(&extra[data]);
          data += 8;
        }
        if (CompressedSize32 == 0xFFFFFFFF && data + 8 <= end) {
          block.CompressedSize = Get64(&extra[data]);
          data += 8;
        }
        if (RelativeOffset32 == 0xFFFFFFFF && data + 8 <= end) {
          block.RelativeOffset = Get64(&extra[data]);
          data += 8;
        }
        if (DiskNumberStart16 == 0xFFFF && data + 4 <= end) block.DiskStart = Get32(&extra[data]);
      }
      pos = pos + 4 + size;
    }
    stream.Seek(-have, TSeekOrigin::soCurrent);
  }
  return true;
}

bool TZipHeaderInfo::ReadLocalRecord(TLFNFileStream& stream) {
  int64_t start = stream.Position();
  uint8_t header[30];
  if (!ReadExact(stream, header, 30) || Get32(header) != kLocalSignature) return false;
  VersionMadeBy = 0;
  VersionNeeded = Get16(header + 4);
  Flags = Get16(header + 6);
  CompressionMethod = Get16(header + 8);
  DateTime = SanitizeDosDateTime(Get32(header + 10));
  Crc32 = Get32(header + 14);
  CompressedSize32 = Get32(header + 18);
  UncompressedSize32 = Get32(header + 22);
  uint16_t nameLength = Get16(header + 26);
  LocalExtraLength = Get16(header + 28);
  ExtraFieldLength = 0;
  CommentLength = 0;
  DiskNumberStart16 = 0;
  InternalAttributes = 0;
  ExternalAttributes = 0;
  std::string raw(nameLength, '\0');
  if (!ReadExact(stream, raw.data(), nameLength)) return false;
  SetFullName(ConvertEntryName(raw, true, Flags, OEMConvert));
  RawName = raw;
  RelativeOffset32 = 0;
  Zip64Extra.reset();
  SetRelativeOffset(static_cast<uint64_t>(start));
  CentralOffset = 0;
  if (LocalExtraLength != 0) {
    uint8_t extra[32];
    int64_t have = stream.Read(extra, LocalExtraLength < 32 ? LocalExtraLength : 32);
    if (have >= 4 && Get16(extra) == 1) {
      TZip64Extra& block = Zip64Block();
      block.Size = Get16(extra + 2);
      if (have >= 12) block.UncompressedSize = Get64(extra + 4);
      if (have >= 20) block.CompressedSize = Get64(extra + 12);
      if (have >= 28) block.RelativeOffset = Get64(extra + 20);
      if (have >= 32) block.DiskStart = Get32(extra + 28);
    }
    stream.Seek(-have, TSeekOrigin::soCurrent);
  }
  return true;
}

uint32_t TEndCentral::ThisDiskNumber() const {
  return ThisDisk == 0xFFFF && Zip64End ? Get32(Zip64End->data() + 16) : ThisDisk;
}
uint32_t TEndCentral::CentralStartDiskNumber() const {
  return CentralStartDisk == 0xFFFF && Zip64End ? Get32(Zip64End->data() + 20) : CentralStartDisk;
}
uint64_t TEndCentral::TotalEntryCount() const {
  return TotalEntries == 0xFFFF && Zip64End ? Get64(Zip64End->data() + 32) : TotalEntries;
}
uint64_t TEndCentral::CentralDirectoryOffset() const {
  return CentralDirOffset == 0xFFFFFFFF && Zip64End ? Get64(Zip64End->data() + 48)
                                                    : CentralDirOffset;
}
uint64_t TEndCentral::CentralDirectorySize() const {
  return CentralSize == 0xFFFFFFFF && Zip64End ? Get64(Zip64End->data() + 40) : CentralSize;
}

bool TEndCentral::LocateEndRecord(TLFNFileStream& stream) {
  Clear();
  int64_t size = stream.Size();
  if (size < 22) return size == 0;
  int64_t length = size < 65557 ? size : 65557;
  std::vector<uint8_t> buffer(static_cast<size_t>(length));
  stream.Seek(size - length, TSeekOrigin::soBeginning);
  if (stream.Read(buffer.data(), length) != length) return false;
  int64_t match = -1;
  for (int64_t i = length - 22; i >= 0; --i) {
    if (buffer[static_cast<size_t>(i)] == 0x50 &&
        Get32(&buffer[static_cast<size_t>(i)]) == kEndSignature) {
      match = i;
      break;
    }
  }
  if (match < 0) return false;
  const uint8_t* record = &buffer[static_cast<size_t>(match)];
  Signature = Get32(record);
  ThisDisk = Get16(record + 4);
  CentralStartDisk = Get16(record + 6);
  EntriesThisDisk = Get16(record + 8);
  TotalEntries = Get16(record + 10);
  CentralSize = Get32(record + 12);
  CentralDirOffset = Get32(record + 16);
  CommentLength = Get16(record + 20);
  ZipCommentPos = size - length + match + 22;
  if (match >= 20 && Get32(record - 20) == kZip64LocatorSignature) {
    std::array<uint8_t, 20> locator;
    std::memcpy(locator.data(), record - 20, 20);
    Zip64Locator = locator;
    uint64_t endOffset = Get64(locator.data() + 8);
    std::array<uint8_t, 56> end;
    // A locator that points nowhere is ignored rather than trusted.
    if (endOffset + 56 <= static_cast<uint64_t>(size) &&
        stream.Seek(static_cast<int64_t>(endOffset), TSeekOrigin::soBeginning) ==
            static_cast<int64_t>(endOffset) &&
        stream.Read(end.data(), 56) == 56 && Get32(end.data()) == kZip64EndSignature)
      Zip64End = end;
  }
  return true;
}
