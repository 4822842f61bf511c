// Entry input and output, traditional decryption, and the two decoders that move bulk
// data: stored and deflated.
#include <zlib.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "unzip/LFNFileStream.h"
#include "unzip/ZipDecode.h"
#include "unzip/ZipExceptions.h"

void TZipCrypt::UpdateKeys(uint8_t plain) {
  const auto* table = get_crc_table();
  FKeys[0] = (FKeys[0] >> 8) ^ static_cast<uint32_t>(table[(FKeys[0] ^ plain) & 0xFF]);
  FKeys[1] = (FKeys[1] + (FKeys[0] & 0xFF)) * 134775813u + 1;
  uint32_t high = FKeys[1] >> 24;
  FKeys[2] = (FKeys[2] >> 8) ^ static_cast<uint32_t>(table[(FKeys[2] ^ high) & 0xFF]);
}

void TZipCrypt::Init(const std::string& password) {
  FKeys[0] = 0x12345678;
  FKeys[1] = 0x23456789;
  FKeys[2] = 0x34567890;
  for (char c : password) UpdateKeys(static_cast<uint8_t>(c));
}

void TZipCrypt::Decrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    uint32_t temp = (FKeys[2] & 0xFFFF) | 2;
    uint8_t plain = static_cast<uint8_t>(data[i] ^ static_cast<uint8_t>((temp * (temp ^ 1)) >> 8));
    UpdateKeys(plain);
    data[i] = plain;
  }
}

TEntryInput::TEntryInput(TLFNFileStream& archive, uint64_t compressedSize, uint8_t* buffer,
                         size_t bufferSize, TDecryptHook decrypt, std::function<void()> pump)
    : FArchive(archive),
      FRemaining(compressedSize),
      FBuffer(buffer),
      FBufferSize(bufferSize),
      FDecrypt(std::move(decrypt)),
      FPump(std::move(pump)) {}

size_t TEntryInput::Refill(const uint8_t*& data) {
  if (FRemaining == 0) return 0;
  if (FPump) FPump();
  size_t want = FRemaining < FBufferSize ? static_cast<size_t>(FRemaining) : FBufferSize;
  int64_t got = FArchive.Read(FBuffer, static_cast<int64_t>(want));
  if (got != static_cast<int64_t>(want)) throw EFatalUnzipError(kMsgPrematureEnd);
  FRemaining -= want;
  if (FDecrypt) FDecrypt(FBuffer, want);
  data = FBuffer;
  return want;
}

TEntryOutput::TEntryOutput(TLFNFileStream* file, uint64_t declaredSize,
                           std::function<void(size_t)> progress)
    : FFile(file), FDeclared(declaredSize), FProgress(std::move(progress)) {}

void TEntryOutput::Accept(size_t size) {
  if (size > FDeclared - FWritten) throw EBiggerThanUncompressed(kMsgBigger);
  FWritten += size;
}

bool TEntryOutput::Store(const uint8_t* data, size_t size) {
  if (FFile && FFile->Write(data, static_cast<int64_t>(size)) != static_cast<int64_t>(size))
    return false;
  // zlib's crc32 is the application note's CRC-32 with the register conditioning built in.
  const uint8_t* p = data;
  size_t left = size;
  while (left > 0) {
    uInt chunk = left > 0x40000000u ? 0x40000000u : static_cast<uInt>(left);
    FCrc = static_cast<uint32_t>(crc32(FCrc, p, chunk));
    p += chunk;
    left -= chunk;
  }
  return true;
}

void TEntryOutput::Report(size_t size) {
  if (FProgress) FProgress(size);
}

void TEntryOutput::Write(const uint8_t* data, size_t size) {
  if (size == 0) return;
  Accept(size);
  if (!Store(data, size)) throw ECantWriteUCF(kMsgCantWrite);
  Report(size);
}

namespace {

// Stores blocks of one entry on a helper thread, one block at a time, so that writing
// and checksumming overlap with decoding. Only Store runs on the helper.
class TBackgroundWriter {
 public:
  explicit TBackgroundWriter(TEntryOutput& output) : FOutput(output), FThread([this] { Run(); }) {}
  ~TBackgroundWriter() {
    {
      std::unique_lock<std::mutex> lock(FLock);
      FStop = true;
    }
    FWake.notify_all();
    FThread.join();
  }
  // Waits for the block in flight, then hands over |data| (which must stay untouched
  // until the next Submit or Wait).
  void Submit(const uint8_t* data, size_t size) {
    Wait();
    std::unique_lock<std::mutex> lock(FLock);
    FData = data;
    FSize = size;
    FBusy = true;
    lock.unlock();
    FWake.notify_all();
  }
  // Waits for the block in flight; ECantWriteUCF when any block fell short.
  void Wait() {
    std::unique_lock<std::mutex> lock(FLock);
    FDone.wait(lock, [this] { return !FBusy; });
    if (FFailed) throw ECantWriteUCF(kMsgCantWrite);
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
      FWake.wait(lock, [this] { return FBusy || FStop; });
      if (!FBusy) return;
      const uint8_t* data = FData;
      size_t size = FSize;
      lock.unlock();
      bool stored = FOutput.Store(data, size);
      lock.lock();
      if (!stored) FFailed = true;
      FBusy = false;
      FDone.notify_all();
    }
  }

  TEntryOutput& FOutput;
  std::mutex FLock;
  std::condition_variable FWake;
  std::condition_variable FDone;
  const uint8_t* FData = nullptr;
  size_t FSize = 0;
  bool FBusy = false;
  bool FStop = false;
  bool FFailed = false;
  std::thread FThread;
};

// Entries from this size on are written on the helper thread.
constexpr uint64_t kBackgroundThreshold = 4 * 1024 * 1024;

}  // namespace

void DecodeStored(TEntryInput& input, TEntryOutput& output) {
  const uint8_t* data;
  while (size_t size = input.Refill(data)) output.Write(data, size);
}

void InflateEntry(TEntryInput& input, TEntryOutput& output, uint8_t* buffer, size_t bufferSize) {
  z_stream stream = {};
  if (inflateInit2(&stream, -15) != Z_OK) throw EZCompressionError(kMsgZError);
  struct TEnd {
    z_stream* Stream;
    ~TEnd() { inflateEnd(Stream); }
  } end{&stream};
  std::unique_ptr<TBackgroundWriter> writer;
  uint8_t* halves[2] = {buffer, buffer};
  uInt room = static_cast<uInt>(bufferSize);
  if (output.Declared() >= kBackgroundThreshold && bufferSize >= 2 * 65536) {
    room = static_cast<uInt>(bufferSize / 2);
    halves[1] = buffer + room;
    writer = std::make_unique<TBackgroundWriter>(output);
  }
  int current = 0;
  // Hands the filled part of the current half to the writer and switches halves.
  auto emit = [&](size_t size) {
    if (!writer) {
      output.Write(halves[0], size);
      return;
    }
    if (size == 0) return;
    output.Accept(size);
    writer->Submit(halves[current], size);
    output.Report(size);
    current ^= 1;
  };
  stream.next_out = halves[current];
  stream.avail_out = room;
  for (;;) {
    int flush = Z_NO_FLUSH;
    if (stream.avail_in == 0) {
      const uint8_t* data = nullptr;
      size_t size = input.Refill(data);
      if (size == 0) {
        flush = Z_FINISH;
      } else {
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = static_cast<uInt>(size);
      }
    }
    int result = inflate(&stream, flush);
    if (result < 0 || (flush == Z_FINISH && result != Z_STREAM_END && stream.avail_out != 0))
      throw EZCompressionError(kMsgZError);
    if (stream.avail_out == 0 || result == Z_STREAM_END) {
      emit(room - stream.avail_out);
      stream.next_out = halves[current];
      stream.avail_out = room;
    }
    if (result == Z_STREAM_END) break;
  }
  if (writer) writer->Wait();
}
