// The seam between the portable engine and the operating system: file handles, file
// system queries, time stamps, attributes, the engine's name encoding and the message
// pump. ZipPlatform_win.cpp and ZipPlatform_posix.cpp implement it; exactly one of them
// is compiled. Paths are engine byte strings: the ANSI code page on Windows, UTF-8 on
// POSIX. Backslashes separate components on both (the POSIX half maps them to "/").
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zipplatform {

enum class TOpenMode {
  Read,    // existing file, read access, others may read but not write
  Create,  // create or truncate, write access
  Write,   // existing file, write access
};

enum class TOpenError { None, NotFound, AccessDenied, Other };

// One open file. Every call reports failure through its result, never by throwing.
class TOsFile {
 public:
  virtual ~TOsFile() = default;
  // Bytes read (0 at the end of the file, -1 on error).
  virtual int64_t Read(void* data, int64_t size) = 0;
  // Bytes written (fewer than asked on error).
  virtual int64_t Write(const void* data, int64_t size) = 0;
  virtual bool Seek(int64_t position) = 0;
  virtual int64_t Size() = 0;
  virtual bool SetSize(int64_t size) = 0;
  virtual bool FlushToDisk() = 0;
  // Sets the modification time from a DOS date (high word) and time (low word), local time.
  virtual bool SetDosTime(uint32_t dosDateTime) = 0;
};

// Opens |path|; on failure returns null and sets |error|.
std::unique_ptr<TOsFile> OpenFile(const std::string& path, TOpenMode mode, TOpenError* error);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates one directory level; true when it exists afterwards.
bool CreateOneDirectory(const std::string& path);
bool DeleteOneFile(const std::string& path);
// Modification time as a DOS date-time (local time); 0 when the file cannot be read.
uint32_t FileDosTime(const std::string& path);
// Modification time as an opaque stamp for change detection; -1 when unavailable.
int64_t FileModStamp(const std::string& path);
// Windows file attribute bits (0x01 read-only, 0x02 hidden, 0x04 system, 0x20 archive).
bool IsReadOnly(const std::string& path);
// Clears the given attribute bits of a file (on POSIX only read-only has a meaning);
// false when it is not a file or keeps them.
bool ClearAttributes(const std::string& path, uint32_t attributes);
bool SetAttributes(const std::string& path, uint32_t attributes);
// True when |drive| (a letter) is a removable or CD-ROM drive.
bool IsRemovableDrive(char drive);

// Name encoding: Unicode text to the engine's encoding. A character the encoding cannot
// hold becomes "%" and its code point in hex ("%00DC"), so distinct names stay distinct.
std::string EngineFromUnicode(const std::u32string& text);
// Name bytes of an MS-DOS host decoded from the system's OEM code page; false where the
// platform has none (the caller then takes code page 437, the DOS default).
bool DecodeOem(const std::string& raw, std::u32string& text);
// Raw name bytes taken as the engine's encoding: every byte that does not form a valid
// character there becomes "%XX", so the name can always be handed to the file system.
std::string EngineFromRaw(const std::string& raw);
// True when |byte| starts a two-byte character in the engine's encoding.
bool IsLeadByte(unsigned char byte);

// Removes and dispatches every message waiting for the calling thread; on a quit
// message posts it again and stops.
void ProcessMessages();
// A system message box without owner; returns the button pressed (1 OK, 2 Cancel,
// 6 Yes, 7 No). Without a user interface it answers the cautious choice.
int ShowMessageBox(const std::string& text, const std::string& caption, uint32_t flags);
// File-open and folder dialogs; false when cancelled or unavailable.
bool BrowseForArchive(const std::string& startDir, std::string& chosen);
bool BrowseForFolder(const std::string& startDir, std::string& chosen);
std::string CurrentDirectory();

}  // namespace zipplatform
