// The decoders of one entry and the plumbing they share. A decoder pulls compressed
// bytes from a TEntryInput (which refills, decrypts and stops at the entry's compressed
// size) and pushes uncompressed bytes into a TEntryOutput (which refuses to go past the
// declared size, writes, and keeps the CRC and the counts).
//
// The legacy methods (shrink, reduce, implode) have no end marker: they stop when the
// declared size is reached or when the compressed bytes run out, whichever comes first.
// They never read past their input and never invent bits; on a malformed stream they
// stop early ("abandon"), and the short output then fails the entry's check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class TLFNFileStream;

// PKWARE traditional encryption (the three-key stream cipher of the application note).
class TZipCrypt {
 public:
  void Init(const std::string& password);
  void Decrypt(uint8_t* data, size_t size);

 private:
  void UpdateKeys(uint8_t plain);
  uint32_t FKeys[3] = {0, 0, 0};
};

class TEntryInput {
 public:
  using TDecryptHook = std::function<void(uint8_t* data, size_t size)>;

  // |buffer| of |bufferSize| bytes belongs to the caller. |decrypt| (may be empty) is
  // applied to every block; |pump| (may be empty) runs before every refill.
  TEntryInput(TLFNFileStream& archive, uint64_t compressedSize, uint8_t* buffer, size_t bufferSize,
              TDecryptHook decrypt, std::function<void()> pump);
  // Next block of compressed bytes; 0 when the entry's compressed bytes are used up.
  // Raises EFatalUnzipError ("Premature end of file reached") on a short read.
  size_t Refill(const uint8_t*& data);
  uint64_t Remaining() const { return FRemaining; }

 private:
  TLFNFileStream& FArchive;
  uint64_t FRemaining;
  uint8_t* FBuffer;
  size_t FBufferSize;
  TDecryptHook FDecrypt;
  std::function<void()> FPump;
};

class TEntryOutput {
 public:
  // |file| may be null (nothing is written, the CRC is still kept). |progress| receives
  // the size of every block written.
  TEntryOutput(TLFNFileStream* file, uint64_t declaredSize, std::function<void(size_t)> progress);
  // Writes one block: EBiggerThanUncompressed when it would pass the declared size,
  // ECantWriteUCF when the file takes fewer bytes.
  void Write(const uint8_t* data, size_t size);
  // Write in two halves, for writing on another thread: Accept checks the size and
  // counts the block (caller's thread), Store writes it and updates the CRC (any one
  // thread at a time; false on a short write), Report raises the progress event.
  void Accept(size_t size);
  bool Store(const uint8_t* data, size_t size);
  void Report(size_t size);
  uint64_t Written() const { return FWritten; }
  uint64_t Declared() const { return FDeclared; }
  uint32_t Crc() const { return FCrc; }

 private:
  TLFNFileStream* FFile;
  uint64_t FDeclared;
  uint64_t FWritten = 0;
  uint32_t FCrc = 0;
  std::function<void(size_t)> FProgress;
};

// Scratch memory of the legacy decoders, allocated once per extraction run.
struct TWorkArea {
  static constexpr size_t kWindowSize = 65536;  // power of two, above every method's reach
  uint8_t Window[kWindowSize];
  // unshrink
  uint16_t Prefix[8192];
  uint8_t Suffix[8192];
  uint8_t Stack[8192];
  uint8_t Used[8192];
  uint8_t HasChild[8192];
  // unreduce
  uint8_t Followers[256][64];
  uint8_t FollowerCount[256];
};

void DecodeStored(TEntryInput& input, TEntryOutput& output);
void Unshrink(TEntryInput& input, TEntryOutput& output, TWorkArea& work);
// |factor| 1 to 4 (methods 2 to 5).
void Unreduce(TEntryInput& input, TEntryOutput& output, TWorkArea& work, int factor);
void Explode(TEntryInput& input, TEntryOutput& output, TWorkArea& work, bool bigWindow,
             bool threeTrees);
// Raw inflate into |buffer|; EZCompressionError ("error") on a broken stream. Large
// entries use the two halves of |buffer| in turn and write one half on a helper thread
// while the other is being filled; events still run on the caller's thread.
void InflateEntry(TEntryInput& input, TEntryOutput& output, uint8_t* buffer, size_t bufferSize);
