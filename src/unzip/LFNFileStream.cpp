#include "unzip/LFNFileStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "unzip/ZipExceptions.h"

TLFNFileStream::TLFNFileStream(const std::string& path, zipplatform::TOpenMode mode,
                               size_t bufferSize, bool flushOnClose)
    : FPath(path), FBuffer(std::max<size_t>(bufferSize, 16)), FFlushOnClose(flushOnClose) {
  FFile = zipplatform::OpenFile(path, mode, &FOpenError);
  FWritable = mode != zipplatform::TOpenMode::Read;
}

TLFNFileStream::~TLFNFileStream() {
  Close();
}

bool TLFNFileStream::Flush() {
  if (FState != TState::Writing) return true;
  int64_t pending = static_cast<int64_t>(FBufferPos);
  int64_t put = FFile->Write(FBuffer.data(), pending);
  FFilePos += std::max<int64_t>(put, 0);
  FState = TState::Empty;
  FBufferPos = 0;
  if (put != pending) FWriteFailed = true;
  return put == pending;
}

bool TLFNFileStream::Close() {
  if (!FFile) return true;
  bool done = Flush();
  if (FFlushOnClose && FWritable && FWritten) FFile->FlushToDisk();
  FFile.reset();
  return done && !FWriteFailed;
}

int64_t TLFNFileStream::Read(void* data, int64_t size) {
  if (!FFile || size <= 0) return 0;
  if (FState == TState::Writing && !Flush()) return 0;
  auto* out = static_cast<uint8_t*>(data);
  int64_t done = 0;
  if (FState == TState::Reading) {
    size_t take = std::min<size_t>(FBufferFill - FBufferPos, static_cast<size_t>(size));
    std::memcpy(out, FBuffer.data() + FBufferPos, take);
    FBufferPos += take;
    done += static_cast<int64_t>(take);
    if (FBufferPos == FBufferFill) FState = TState::Empty;
  }
  while (done < size) {
    int64_t want = size - done;
    if (want >= static_cast<int64_t>(FBuffer.size())) {
      int64_t got = FFile->Read(out + done, want);
      if (got <= 0) break;
      FFilePos += got;
      done += got;
      if (got < want) break;
      continue;
    }
    int64_t got = FFile->Read(FBuffer.data(), static_cast<int64_t>(FBuffer.size()));
    if (got <= 0) break;
    FFilePos += got;
    size_t take = std::min<size_t>(static_cast<size_t>(got), static_cast<size_t>(want));
    std::memcpy(out + done, FBuffer.data(), take);
    done += static_cast<int64_t>(take);
    if (take < static_cast<size_t>(got)) {
      FState = TState::Reading;
      FBufferFill = static_cast<size_t>(got);
      FBufferPos = take;
    }
    if (got < static_cast<int64_t>(FBuffer.size())) break;
  }
  return done;
}

int64_t TLFNFileStream::Write(const void* data, int64_t size) {
  if (!FFile || size <= 0) return 0;
  if (FState == TState::Reading) {
    // Drop read-ahead so the file position matches the logical one.
    int64_t position = Position();
    FState = TState::Empty;
    if (!FFile->Seek(position)) return 0;
    FFilePos = position;
  }
  FWritten = true;
  const auto* in = static_cast<const uint8_t*>(data);
  int64_t done = 0;
  if (FState == TState::Empty && size >= static_cast<int64_t>(FBuffer.size())) {
    int64_t put = FFile->Write(in, size);
    FFilePos += std::max<int64_t>(put, 0);
    if (put != size) FWriteFailed = true;
    return std::max<int64_t>(put, 0);
  }
  while (done < size) {
    FState = TState::Writing;
    size_t room = FBuffer.size() - FBufferPos;
    size_t take = std::min<size_t>(room, static_cast<size_t>(size - done));
    std::memcpy(FBuffer.data() + FBufferPos, in + done, take);
    FBufferPos += take;
    done += static_cast<int64_t>(take);
    if (FBufferPos == FBuffer.size() && !Flush()) return done;
  }
  return done;
}

int64_t TLFNFileStream::Position() const {
  switch (FState) {
    case TState::Writing:
      return FFilePos + static_cast<int64_t>(FBufferPos);
    case TState::Reading:
      return FFilePos - static_cast<int64_t>(FBufferFill - FBufferPos);
    default:
      return FFilePos;
  }
}

int64_t TLFNFileStream::Size() {
  if (!FFile) return 0;
  return std::max(FFile->Size(), Position());
}

int64_t TLFNFileStream::Seek(int64_t offset, int origin) {
  int64_t target;
  switch (origin) {
    case 0:
      target = offset;
      break;
    case 1:
      target = Position() + offset;
      break;
    case 2:
      target = Size() - (offset < 0 ? -offset : offset);
      break;
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "Invalid seek origin (%d)", origin);
      throw EStreamError(text);
    }
  }
  if (!FFile || target == Position()) return Position();
  if (target < 0) target = 0;
  if (FState == TState::Reading) {
    // Stay inside the read buffer when the target lies there.
    int64_t bufferStart = FFilePos - static_cast<int64_t>(FBufferFill);
    if (target >= bufferStart && target < FFilePos) {
      FBufferPos = static_cast<size_t>(target - bufferStart);
      return target;
    }
  }
  if (!Flush()) throw EStreamError("Seek error");
  FState = TState::Empty;
  FBufferPos = FBufferFill = 0;
  if (!FFile->Seek(target)) throw EStreamError("Seek error");
  FFilePos = target;
  return target;
}

bool TLFNFileStream::SetSize(int64_t size) {
  if (!FFile || !Flush()) return false;
  return FFile->SetSize(size);
}

bool TLFNFileStream::SetDosTime(uint32_t dosDateTime) {
  if (!FFile || !Flush()) return false;
  return FFile->SetDosTime(dosDateTime);
}

void TLFNFileStream::PutBack(uint8_t byte) {
  if (FState != TState::Reading || FBufferPos == 0) throw EStreamError("Putback overflow");
  FBuffer[--FBufferPos] = byte;
}
