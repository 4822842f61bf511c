// TLFNFileStream: a file opened through the platform seam behind one buffer of
// BufferSize bytes. The engine reads one stream and writes another, never both on the
// same stream. Reads larger than the buffer bypass it, so bulk data moves in one call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "unzip/ZipPlatform.h"

enum class TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TLFNFileStream {
 public:
  // Opens |path|; raises nothing, check IsOpen() / OpenError().
  TLFNFileStream(const std::string& path, zipplatform::TOpenMode mode, size_t bufferSize,
                 bool flushOnClose = false);
  ~TLFNFileStream();
  TLFNFileStream(const TLFNFileStream&) = delete;
  TLFNFileStream& operator=(const TLFNFileStream&) = delete;

  bool IsOpen() const { return FFile != nullptr; }
  zipplatform::TOpenError OpenError() const { return FOpenError; }
  const std::string& Path() const { return FPath; }

  // Bytes delivered, fewer at the end of the file.
  int64_t Read(void* data, int64_t size);
  // Bytes accepted; stops at the first short write of a full buffer.
  int64_t Write(const void* data, int64_t size);
  int64_t Position() const;
  // Moves only when the target differs from the position; "Seek error" when pending
  // data cannot be written, "Invalid seek origin (%d)" for an unknown origin.
  int64_t Seek(int64_t offset, int origin);
  int64_t Seek(int64_t offset, TSeekOrigin origin) {
    return Seek(offset, static_cast<int>(origin));
  }
  int64_t Size();
  bool SetSize(int64_t size);
  // Pushes |byte| back in front of the read position ("Putback overflow" without room).
  void PutBack(uint8_t byte);
  bool SetDosTime(uint32_t dosDateTime);
  // Writes pending data; false when it fell short.
  bool Flush();
  // Flushes and closes; false when any data could not be written.
  bool Close();

 private:
  enum class TState { Empty, Reading, Writing };

  std::string FPath;
  std::unique_ptr<zipplatform::TOsFile> FFile;
  zipplatform::TOpenError FOpenError = zipplatform::TOpenError::None;
  std::vector<uint8_t> FBuffer;
  TState FState = TState::Empty;
  size_t FBufferPos = 0;   // next byte to read / bytes pending in write state
  size_t FBufferFill = 0;  // bytes valid in read state
  int64_t FFilePos = 0;    // position of the underlying file
  bool FFlushOnClose = false;
  bool FWritten = false;
  bool FWriteFailed = false;  // some write fell short; Close reports it
  bool FWritable = false;
};
