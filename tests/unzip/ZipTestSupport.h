// Helpers of the engine's tests: a scratch folder, file helpers, and a small archive
// writer for hand-made (and deliberately broken) archives.
#pragma once

#include <zlib.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace ziptest {

namespace fs = std::filesystem;

inline std::string DataDir() {
  return std::string(VORNIS_SOURCE_DIR) + "/tests/data/zip";
}

inline std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const fs::path& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline void Poke32(std::vector<uint8_t>& data, size_t at, uint64_t value) {
  for (size_t k = 0; k < 4; ++k) data[at + k] = static_cast<uint8_t>(value >> (8 * k));
}

inline uint32_t Crc(const std::vector<uint8_t>& data) {
  return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

// Engine path of a std::filesystem path (UTF-8 natively; the tests use ASCII names).
inline std::string EnginePath(const fs::path& path) {
  return path.string();
}
// File system path of an engine path ("\" separators become "/" on POSIX).
inline fs::path NativePath(std::string path) {
#ifdef _WIN32
  std::wstring wide(path.size() + 1, L'\0');
  int size = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                                 static_cast<int>(wide.size()));
  wide.resize(static_cast<size_t>(size > 0 ? size : 0));
  return fs::path(wide);
#else
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return fs::path(path);
#endif
}

// A fresh folder under the system temporary folder, removed with everything in it.
class TScratch {
 public:
  TScratch();
  ~TScratch();
  const fs::path& Path() const { return FPath; }
  fs::path operator/(const std::string& name) const { return FPath / name; }

 private:
  fs::path FPath;
};

// Makes every file under |root| writable again (read-only test files).
void MakeWritable(const fs::path& root);
// Number of regular files below |root|.
int CountFiles(const fs::path& root);

inline std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data);

// Writes archives entry by entry; every field can be overridden to break it.
class TZipWriter {
 public:
  struct TEntry {
    std::string Name;
    std::vector<uint8_t> Data;  // stored as given (already compressed if Method != 0)
    uint16_t Method = 0;
    uint16_t Flags = 0;
    uint16_t VersionMadeBy = 0x031E;  // Unix host
    uint32_t DosDateTime = 0x5A8B6000;
    uint32_t Crc = 0;
    uint64_t UncompressedSize = 0;
    uint32_t ExternalAttributes = 0;
    bool Zip64 = false;  // sizes and offset through the Zip64 extra
    std::string Comment;
    int64_t OffsetOverride = -1;        // central record points here instead
    bool Descriptor = false;            // a data descriptor with its signature follows the data
    bool Zip64OffsetOnly = false;       // only the offset goes through the Zip64 extra
    std::vector<uint8_t> CentralExtra;  // further extra fields of the central record
    int CentralExtraDeclared = -1;      // extra field length declared instead of the real one
  };

  // Adds a stored or deflated entry of |content|.
  TEntry& Add(const std::string& name, const std::vector<uint8_t>& content, bool deflate = false);
  // Adds an entry with raw data and explicit fields.
  TEntry& AddRaw(const TEntry& entry);
  // |start| is the archive's offset in its file (the bytes before it are not produced).
  std::vector<uint8_t> Build(const std::string& comment = std::string(), bool zip64End = false,
                             uint64_t start = 0);

  std::vector<TEntry> Entries;
};

}  // namespace ziptest

#include "unzip/UnZip.h"

namespace ziptest {

// Records every event of one component; message boxes are answered with |Answer|.
struct TRecorder {
  std::vector<std::pair<int, std::string>> Ended;
  std::vector<std::pair<TSkipReason, std::string>> Skipped;
  std::vector<int> BadCrc;
  std::vector<int> Messages;
  int Completed = -1;
  int Answer = 1;

  void Attach(TUnZip& zip) {
    zip.DoProcessMessages = false;
    zip.OnEndUnZip = [this](TUnZip*, int index, const std::string& name) {
      Ended.emplace_back(index, name);
    };
    zip.OnSkippingFile = [this](TUnZip*, TSkipReason reason, const std::string& name, int, bool&) {
      Skipped.emplace_back(reason, name);
    };
    zip.OnBadCRC = [this](TUnZip*, uint32_t, uint32_t, int index) { BadCrc.push_back(index); };
    zip.OnHandleMessage = [this](TUnZip*, int id, const std::string&, const std::string&, uint32_t,
                                 int& answer) {
      Messages.push_back(id);
      answer = Answer;
    };
    zip.OnUnZipComplete = [this](TUnZip*, int count) { Completed = count; };
  }
};

// Writes |archive| to |path| and prepares |zip| with the installer's settings.
inline void PrepareInstall(TUnZip& zip, const fs::path& path, const std::vector<uint8_t>& archive,
                           const fs::path& dest) {
  WriteFile(path, archive);
  zip.SetZipName(EnginePath(path));
  zip.LoadDirectory();
  zip.SetDestDir(EnginePath(dest) + "\\");
  zip.RecreateDirs = true;
  zip.FilesList().push_back("*.*");
  zip.DoAll = true;
  zip.OverwriteMode = TUZOverwriteMode::Always;
}

}  // namespace ziptest
