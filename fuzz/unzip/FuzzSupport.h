// Shared harness of the engine's fuzz targets: writes the input as an archive file on a
// scratch folder (tmpfs when there is one) and runs the component on it.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "unzip/UnZip.h"

namespace zipfuzz {

// The process's scratch folder, removed again when the fuzzer exits.
class TScratchDir {
 public:
  TScratchDir() {
    std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    FPath = base / ("vornis-zip-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(FPath);
  }
  ~TScratchDir() {
    std::error_code error;
    std::filesystem::remove_all(FPath, error);
  }
  const std::filesystem::path& Path() const { return FPath; }

 private:
  std::filesystem::path FPath;
};

inline const std::filesystem::path& ScratchDir() {
  static const TScratchDir dir;
  return dir.Path();
}

inline std::string WriteArchive(const uint8_t* data, size_t size) {
  std::filesystem::path path = ScratchDir() / "input.zip";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path.string();
}

// Quiet component: no message pump, message boxes answered "OK".
inline void Quiet(TUnZip& zip) {
  zip.DoProcessMessages = false;
  zip.OnHandleMessage = [](TUnZip*, int, const std::string&, const std::string&, uint32_t,
                           int& answer) { answer = 1; };
}

// Extracts |archive| with the installer's settings into a fresh scratch folder,
// ScratchDir() / "out"; |prepare| may set the component's events first.
inline void ExtractAll(const std::string& archive,
                       const std::function<void(TUnZip&)>& prepare = nullptr) {
  std::filesystem::path out = ScratchDir() / "out";
  std::error_code error;
  std::filesystem::remove_all(out, error);
  TUnZip zip;
  Quiet(zip);
  zip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  if (prepare) prepare(zip);
  try {
    zip.SetZipName(archive);
    zip.LoadDirectory();
    zip.SetDestDir(out.string() + "\\");
    zip.RecreateDirs = true;
    zip.DoAll = true;
    zip.OverwriteMode = TUZOverwriteMode::Always;
    zip.Password = "password";
    zip.ExtractFiles();
  } catch (const EZipException&) {
  }
}

inline void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// One-entry archive around raw compressed |payload|.
inline std::vector<uint8_t> SingleEntry(uint16_t method, uint16_t flags, uint32_t declared,
                                        uint32_t crc, const uint8_t* payload, size_t size) {
  std::vector<uint8_t> out;
  const std::string name = "entry.bin";
  Put32(out, 0x04034B50);
  Put16(out, 20);
  Put16(out, flags);
  Put16(out, method);
  Put32(out, 0);
  Put32(out, crc);
  Put32(out, static_cast<uint32_t>(size));
  Put32(out, declared);
  Put16(out, static_cast<uint32_t>(name.size()));
  Put16(out, 0);
  out.insert(out.end(), name.begin(), name.end());
  out.insert(out.end(), payload, payload + size);
  uint32_t central = static_cast<uint32_t>(out.size());
  Put32(out, 0x02014B50);
  Put16(out, 0x0014);
  Put16(out, 20);
  Put16(out, flags);
  Put16(out, method);
  Put32(out, 0);
  Put32(out, crc);
  Put32(out, static_cast<uint32_t>(size));
  Put32(out, declared);
  Put16(out, static_cast<uint32_t>(name.size()));
  for (int i = 0; i < 4; ++i) Put16(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  out.insert(out.end(), name.begin(), name.end());
  uint32_t centralSize = static_cast<uint32_t>(out.size()) - central;
  Put32(out, 0x06054B50);
  Put32(out, 0);
  Put16(out, 1);
  Put16(out, 1);
  Put32(out, centralSize);
  Put32(out, central);
  Put16(out, 0);
  return out;
}

// Decoder input: 4 bytes declared size (capped at 1 MiB), 1 parameter byte, then the
// compressed stream. The parameter selects flags or the reduce factor.
inline void RunDecoder(uint16_t method, const uint8_t* data, size_t size) {
  if (size < 5) return;
  uint32_t declared =
      (data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24)) &
      0xFFFFF;
  uint8_t parameter = data[4];
  uint16_t flags = 0;
  if (method == 6) flags = parameter & 0x06;
  if (method == 2) method = static_cast<uint16_t>(2 + (parameter & 3));
  if (parameter & 0x80) flags |= 0x0001;  // encrypted with the harness password
  std::vector<uint8_t> archive = SingleEntry(method, flags, declared, 0, data + 5, size - 5);
  ExtractAll(WriteArchive(archive.data(), archive.size()));
}

}  // namespace zipfuzz
