// Directory records: TZipHeaderInfo (one central or local header), TEndCentral (the end
// record with its Zip64 locator and end record) and the DOS date-time helpers. Readers
// only: nothing here writes an archive.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "unzip/ZipCntn.h"
#include "unzip/ZipNames.h"

class TLFNFileStream;

inline constexpr uint32_t kLocalSignature = 0x04034B50;
inline constexpr uint32_t kCentralSignature = 0x02014B50;
inline constexpr uint32_t kEndSignature = 0x06054B50;
inline constexpr uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;

// Clamps the fields of a DOS date-time; re-encodes only when a field was clamped.
uint32_t SanitizeDosDateTime(uint32_t dosDateTime);
// |dosDateTime| when it names a real calendar day, else 0 (for ordering by date).
uint32_t DosDateTimeOrder(uint32_t dosDateTime);

// Called when a record continues past the end of a part: opens the next part and
// returns false when there is none.
using TNextPartCallback = std::function<bool()>;

struct TZip64Extra {
  uint16_t Tag = 1;
  uint16_t Size = 28;
  uint64_t UncompressedSize = 0;
  uint64_t CompressedSize = 0;
  uint64_t RelativeOffset = 0;
  uint32_t DiskStart = 0;
};

class TZipHeaderInfo : public TObject {
 public:
  explicit TZipHeaderInfo(TOEMConvert convert = TOEMConvert::oemNever) : OEMConvert(convert) {}

  uint16_t VersionMadeBy = 45;
  uint16_t VersionNeeded = 20;
  uint16_t Flags = 0;
  uint16_t CompressionMethod = 8;
  uint32_t DateTime = 0;
  uint32_t Crc32 = 0xFFFFFFFF;
  uint32_t CompressedSize32 = 0;
  uint32_t UncompressedSize32 = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;
  uint16_t LocalExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskNumberStart16 = 0;
  uint16_t InternalAttributes = 1;
  uint32_t ExternalAttributes = 0x20;
  uint32_t RelativeOffset32 = 0;
  int64_t CentralOffset = 0;
  std::string FileName;
  std::string Directory;
  std::optional<TZip64Extra> Zip64Extra;
  std::string EntryComment;
  // The name bytes as stored, before conversion: two entries are the same name only
  // when these are equal.
  std::string RawName;
  bool Selected = false;
  TOEMConvert OEMConvert;

  uint64_t CompressedSize() const;
  uint64_t UncompressedSize() const;
  uint64_t RelativeOffset() const;
  uint32_t DiskNumberStart() const;
  void SetCompressedSize(uint64_t value);
  void SetUncompressedSize(uint64_t value);
  void SetRelativeOffset(uint64_t value);
  void SetDiskNumberStart(uint32_t value);
  bool HasZip64Extra() const { return Zip64Extra.has_value(); }
  bool Encrypted() const { return (Flags & 0x0001) != 0; }
  // Stores a full name ("a\b\c.txt") as Directory and FileName.
  void SetFullName(const std::string& name);
  void Assign(const TZipHeaderInfo& source) { *this = source; }

  // Reads the central record at the stream position. On failure the stream is back at
  // that position. On success the stream stands after the name, at the extra field.
  bool ReadCentralRecord(TLFNFileStream& stream, const TNextPartCallback& nextPart = nullptr);
  // Reads the local header at the stream position; the stream is left at its extra field.
  bool ReadLocalRecord(TLFNFileStream& stream);

 private:
  TZip64Extra& Zip64Block();
};

class TEndCentral : public TObject {
 public:
  uint32_t Signature = 0;
  uint16_t ThisDisk = 0;
  uint16_t CentralStartDisk = 0;
  uint16_t EntriesThisDisk = 0;
  uint16_t TotalEntries = 0;
  uint32_t CentralSize = 0;
  uint32_t CentralDirOffset = 0;
  uint16_t CommentLength = 0;
  std::string ZipComment;
  bool ZipCommentLoaded = false;
  int64_t ZipCommentPos = 0;
  std::optional<std::array<uint8_t, 56>> Zip64End;
  std::optional<std::array<uint8_t, 20>> Zip64Locator;
  bool Modified = false;

  // Values with the Zip64 end record applied where the classic field holds its marker.
  uint32_t ThisDiskNumber() const;
  uint32_t CentralStartDiskNumber() const;
  uint64_t TotalEntryCount() const;
  uint64_t CentralDirectoryOffset() const;
  uint64_t CentralDirectorySize() const;

  void Clear() { *this = TEndCentral(); }
  // Finds the end record nearest the end of the archive; true when found.
  bool LocateEndRecord(TLFNFileStream& stream);
};
