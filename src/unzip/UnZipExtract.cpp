// The extraction run of TUnZip: selection, output paths under DestDir, overwrite rules,
// decoding, the CRC check and the per-entry events.
//
// Every output path is checked before anything is created: an entry whose own path
// would climb out of DestDir or name something Windows reinterprets (a device, a stream,
// a component ending in a dot or blank, a control or reserved character) is skipped with
// srCreateError.
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "unzip/UnZip.h"
#include "unzip/ZipPlatform.h"

namespace {

constexpr size_t kInputBlock = 256 * 1024;
constexpr size_t kOutputBlock = 512 * 1024;  // two halves for large deflated entries
constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbYesNo = 0x04;
constexpr int kIdYes = 6;
// Attribute bits that may be applied to a file: read-only, hidden, system, archive.
constexpr uint32_t kApplicableAttributes = 0x27;
constexpr uint32_t kNormalAttribute = 0x80;
constexpr uint32_t kReadOnly = 0x01;
constexpr uint32_t kHiddenSystem = 0x06;

int Percent(uint64_t part, uint64_t whole) {
  if (whole == 0) return 0;
  double value = std::nearbyint(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
  return value > 100.0 ? 100 : static_cast<int>(value);
}

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Index of the last path separator (either slash) outside two-byte characters.
size_t LastSeparator(const std::string& path) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < path.size(); i += CharLength(path, i)) {
    if (IsSeparator(path[i])) found = i;
  }
  return found;
}

// The file an output path names, for telling whether two paths meet in one file:
// ASCII case folded, empty and "." components dropped.
std::string TargetKey(const std::string& path) {
  std::string key, component;
  auto close = [&key, &component]() {
    if (!component.empty() && component != ".") key += (key.empty() ? "" : "\\") + component;
    component.clear();
  };
  for (size_t i = 0; i < path.size();) {
    size_t length = CharLength(path, i);
    if (length == 1 && IsSeparator(path[i])) {
      close();
    } else {
      component.append(path, i, length);
    }
    i += length;
  }
  close();
  return LowerCase(key);
}

}  // namespace

struct TUnZip::TRun {
  std::vector<uint8_t> Input;
  std::vector<uint8_t> Output;
  std::unique_ptr<TWorkArea> Work;
  const TSortedZip* View = nullptr;
  int Count = 0;
  int ToDo = 0;
  uint64_t TotalBytes = 0;
  uint64_t DoneBytes = 0;
  // Files written by this run: target key -> raw name of the entry that wrote it.
  std::unordered_map<std::string, std::string> Targets;
};

bool TUnZip::ForceDirectories(const std::string& dir) {
  std::string path = dir;
  while (!path.empty() && LastSeparator(path) == path.size() - 1) path.pop_back();
  if (path.size() <= 2) return false;
  if (zipplatform::DirectoryExists(path)) return true;
  // Walk up to the first existing ancestor, then create downwards.
  std::vector<std::string> missing;
  std::string walk = path;
  while (walk.size() > 2 && !zipplatform::DirectoryExists(walk)) {
    missing.push_back(walk);
    size_t cut = LastSeparator(walk);
    if (cut == std::string::npos) break;
    walk.resize(cut);
  }
  bool done = true;
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    done = zipplatform::CreateOneDirectory(*it);
  }
  return done;
}

bool TUnZip::ComposeEntryDir(const TZipHeaderInfo& header, std::string& outputDir,
                             std::string& relative) const {
  // An empty DestDir means the current directory, never the root of the drive.
  std::string base = FDestDir.empty() ? std::string(".") : FDestDir;
  relative.clear();
  if (RecreateDirs && !header.Directory.empty()) {
    std::string dir = header.Directory;
    for (const std::string& prefix : FRelativePathList) {
      if (!prefix.empty() && dir.size() >= prefix.size() &&
          LowerCase(dir.substr(0, prefix.size())) == LowerCase(prefix)) {
        dir.erase(0, prefix.size());
        break;
      }
    }
    // A drive letter and colon, and leading backslashes, are dropped: the entry lands
    // under DestDir.
    if (dir.size() >= 2 && dir[1] == ':' && CharLength(dir, 0) == 1) dir.erase(0, 2);
    size_t lead = 0;
    while (lead < dir.size() && dir[lead] == '\\') ++lead;
    relative = dir.substr(lead);
  }
  outputDir = base + "\\" + relative;
  return IsSafeEntryPath(relative) && IsSafeEntryPath(header.FileName);
}

void TUnZip::SkipEntry(TRun& run, TSkipReason reason, const std::string& name, int index) {
  const TZipHeaderInfo& header = *run.View->Header(index);
  run.TotalBytes -= std::min<uint64_t>(run.TotalBytes, header.UncompressedSize());
  --run.ToDo;
  bool retry = false;
  if (OnSkippingFile) OnSkippingFile(this, reason, name, index, retry);
}

int TUnZip::ExtractFiles() {
  LoadDirectory();
  try {
    OpenArchive();
  } catch (...) {
    CloseArchive();
    throw;
  }
  const bool keepOpen = KeepZipOpen;
  KeepZipOpen = true;
  TRun run;
  auto finish = [&]() {
    run.Input = std::vector<uint8_t>();
    run.Output = std::vector<uint8_t>();
    run.Work.reset();
    FFilesList.clear();
    FLastEnsuredDir.clear();
    if (OnUnZipComplete) OnUnZipComplete(this, run.Count);
    KeepZipOpen = keepOpen;
    CloseArchive();
  };
  try {
    run.Input.resize(kInputBlock);
    run.Output.resize(kOutputBlock);
    run.Work = std::make_unique<TWorkArea>();
    FLastEnsuredDir.clear();
    if (!FDestDir.empty() && !zipplatform::DirectoryExists(FDestDir)) ForceDirectories(FDestDir);
    run.View = FSortedView ? FSortedView.get() : FDirectory.get();
    std::vector<std::string> patterns;
    for (const std::string& pattern : FFilesList) patterns.push_back(LowerCase(pattern));
    const int count = run.View ? run.View->Count() : 0;
    std::vector<bool> selected(static_cast<size_t>(count), false);
    int numSelected = 0;
    for (int i = 0; i < count; ++i) {
      TZipHeaderInfo& header = *run.View->Header(i);
      bool take = DoAll;
      if (!take) {
        std::string name = LowerCase(header.Directory + header.FileName);
        for (const std::string& pattern : patterns) {
          if (MatchPattern(pattern, name)) {
            take = true;
            break;
          }
        }
      }
      if (header.FileName.empty() && !RecreateDirs) take = false;
      header.Selected = take;
      selected[static_cast<size_t>(i)] = take;
      if (take) {
        ++numSelected;
        run.TotalBytes += header.UncompressedSize();
      }
    }
    run.ToDo = numSelected;
    bool stopNow = false;
    if (OnStartUnZipInfo)
      OnStartUnZipInfo(this, numSelected, static_cast<int64_t>(run.TotalBytes), stopNow);
    if (numSelected > 0 && !stopNow) {
      for (int i = 0; i < count; ++i) {
        if (!DoAll && !selected[static_cast<size_t>(i)]) continue;
        while (ExtractEntry(run, i)) {
        }
      }
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  return run.Count;
}

bool TUnZip::CheckPassword(TRun& run, int index) {
  const TZipHeaderInfo& header = *FCurrent;
  const int64_t dataStart = Archive().Position();
  uint8_t check = (header.Flags & 0x0008) ? static_cast<uint8_t>(header.DateTime >> 8)
                                          : static_cast<uint8_t>(header.Crc32 >> 24);
  (void)run;
  for (;;) {
    uint8_t block[12];
    Archive().Seek(dataStart, TSeekOrigin::soBeginning);
    if (header.CompressedSize() < 12 || Archive().Read(block, 12) != 12) return false;
    TZipCrypt crypt;
    crypt.Init(Password);
    crypt.Decrypt(block, 12);
    if (block[11] == check) return true;
    if (!OnBadPassword) return false;
    std::string answer = Password;
    OnBadPassword(this, index, answer);
    if (answer == Password) return false;
    Password = answer;
  }
}

void TUnZip::DecodeEntry(TRun& run, TLFNFileStream* file, uint64_t& written, uint32_t& crc) {
  const TZipHeaderInfo& header = *FCurrent;
  uint64_t compressed = header.CompressedSize();
  TZipCrypt crypt;
  TEntryInput::TDecryptHook decrypt;
  if (header.Encrypted()) {
    uint8_t block[12];
    if (compressed < 12 || Archive().Read(block, 12) != 12)
      throw EFatalUnzipError(kMsgPrematureEnd);
    compressed -= 12;
    crypt.Init(Password);
    crypt.Decrypt(block, 12);
    if (header.CompressionMethod != 0 && OnDecrypt) {
      decrypt = [this](uint8_t* data, size_t size) {
        OnDecrypt(this, data, static_cast<int>(size), Password);
      };
    } else {
      decrypt = [&crypt](uint8_t* data, size_t size) { crypt.Decrypt(data, size); };
    }
  }
  std::function<void()> pump;
  if (DoProcessMessages) pump = [] { zipplatform::ProcessMessages(); };
  TEntryInput input(Archive(), compressed, run.Input.data(), run.Input.size(), decrypt, pump);
  const uint64_t declared = header.UncompressedSize();
  TEntryOutput* outputRef = nullptr;
  std::function<void(size_t)> progress;
  if (OnFilePercentDone || OnTotalPercentDone) {
    progress = [this, &run, &outputRef, declared](size_t size) {
      if (OnFilePercentDone) OnFilePercentDone(this, Percent(outputRef->Written(), declared));
      if (OnTotalPercentDone) {
        run.DoneBytes += size;
        OnTotalPercentDone(this, Percent(run.DoneBytes, run.TotalBytes));
      }
    };
  }
  TEntryOutput output(file, declared, progress);
  outputRef = &output;
  struct TReport {
    TEntryOutput& Output;
    uint64_t& Written;
    uint32_t& Crc;
    ~TReport() {
      Written = Output.Written();
      Crc = Output.Crc();
    }
  } report{output, written, crc};
  switch (header.CompressionMethod) {
    case 0:
      DecodeStored(input, output);
      break;
    case 1:
      Unshrink(input, output, *run.Work);
      break;
    case 2:
    case 3:
    case 4:
    case 5:
      Unreduce(input, output, *run.Work, header.CompressionMethod - 1);
      break;
    case 6:
      Explode(input, output, *run.Work, (header.Flags & 0x0002) != 0, (header.Flags & 0x0004) != 0);
      break;
    case 8:
      InflateEntry(input, output, run.Output.data(), run.Output.size());
      break;
    default:
      DoMessage(197, "Unknown Compression Method", "Zip Error", kMbOk);
      break;
  }
}

bool TUnZip::ExtractEntry(TRun& run, int index) {
  Pump();
  const TZipHeaderInfo& header = *run.View->Header(index);
  FCurrent->Assign(header);
  std::string outputDir, relative;
  const bool safe = ComposeEntryDir(header, outputDir, relative);
  if (header.FileName.empty()) {
    if (!safe) {
      SkipEntry(run, TSkipReason::srCreateError, outputDir, index);
      return false;
    }
    if (RecreateDirs && !zipplatform::DirectoryExists(outputDir)) ForceDirectories(outputDir);
    ++run.Count;
    return false;
  }
  std::string fName = outputDir + header.FileName;
  if (!safe) {
    SkipEntry(run, TSkipReason::srCreateError, fName, index);
    return false;
  }
  // The local header: its lengths place the data; the central record governs the rest.
  uint8_t local[30];
  Archive().Seek(static_cast<int64_t>(header.RelativeOffset()), TSeekOrigin::soBeginning);
  if (Archive().Read(local, 30) != 30 || std::memcmp(local, "PK\3\4", 4) != 0) {
    SkipEntry(run, TSkipReason::srFileOpenError, header.Directory + header.FileName, index);
    return false;
  }
  const int64_t dataStart =
      static_cast<int64_t>(header.RelativeOffset()) + 30 + Get16(local + 26) + Get16(local + 28);
  bool skip = false;
  if (OnStartUnZip) OnStartUnZip(this, index, fName, skip);
  if (skip) return false;
  // Distinct entry names never share a file: an escaped byte can spell another entry's
  // literal name, and names differing only in case meet in one file on Windows. The
  // first entry written keeps the file; a later one with another name is refused.
  const std::string target = TargetKey(fName);
  auto claimed = run.Targets.find(target);
  if (claimed != run.Targets.end() && claimed->second != header.RawName) {
    SkipEntry(run, TSkipReason::srCreateError, fName, index);
    return false;
  }
  size_t cut = LastSeparator(fName);
  if (cut != std::string::npos) {
    std::string dir = fName.substr(0, cut);
    if (dir != FLastEnsuredDir) {
      if (!zipplatform::DirectoryExists(dir)) ForceDirectories(dir);
      FLastEnsuredDir = dir;
    }
  }
  if (header.Encrypted()) {
    // Strong encryption (flag bit 6) cannot be decrypted here.
    Archive().Seek(dataStart, TSeekOrigin::soBeginning);
    if ((header.Flags & 0x0040) != 0 || !CheckPassword(run, index)) {
      SkipEntry(run, TSkipReason::srBadPassword, header.Directory + header.FileName, index);
      return false;
    }
  }
  if (OverwriteMode != TUZOverwriteMode::Always && zipplatform::FileExists(fName)) {
    bool replace = false;
    switch (OverwriteMode) {
      case TUZOverwriteMode::Prompt:
        if (OnPromptForOverwrite) {
          OnPromptForOverwrite(this, replace, index, fName);
        } else {
          std::string text = "Replace existing file " + header.FileName + "?";
          if (text.size() > 300) text.resize(300);
          replace = DoMessage(196, text, "File Exists Alert", kMbYesNo) == kIdYes;
        }
        break;
      case TUZOverwriteMode::ifNewer:
        replace = DosDateTimeOrder(header.DateTime) > zipplatform::FileDosTime(fName);
        break;
      case TUZOverwriteMode::ifOlder:
        replace = DosDateTimeOrder(header.DateTime) < zipplatform::FileDosTime(fName);
        break;
      default:
        break;
    }
    if (!replace) {
      SkipEntry(run, TSkipReason::srNoOverwrite, fName, index);
      return false;
    }
  }
  auto create = [&]() {
    return std::make_unique<TLFNFileStream>(fName, zipplatform::TOpenMode::Create,
                                            BufferSize < 16 ? 16 : BufferSize, FlushFilesOnClose);
  };
  auto output = create();
  // Windows refuses to create a file over a read-only one, and over a hidden or system
  // one with normal attributes. Those bits of the file being replaced are cleared (the
  // read-only bit only with ReplaceReadOnly) and the creation is tried once more.
  if (!output->IsOpen() && output->OpenError() == zipplatform::TOpenError::AccessDenied) {
    const bool readOnly = zipplatform::IsReadOnly(fName);
    if ((!readOnly || ReplaceReadOnly) &&
        zipplatform::ClearAttributes(fName, kHiddenSystem | (readOnly ? kReadOnly : 0)))
      output = create();
  }
  if (!output->IsOpen()) {
    SkipEntry(run, TSkipReason::srCreateError, fName, index);
    return false;
  }
  Archive().Seek(dataStart, TSeekOrigin::soBeginning);
  uint64_t written = 0;
  uint32_t crc = 0;
  bool failed = false;
  try {
    DecodeEntry(run, output.get(), written, crc);
  } catch (const EBiggerThanUncompressed&) {
    failed = true;
  } catch (const EZCompressionError&) {
    // A broken deflate stream spoils this entry only; the others are still good.
    failed = true;
  }
  if (!failed) output->SetDosTime(header.DateTime);
  // Data that cannot be written ends the run like any other write failure.
  if (!output->Close()) throw ECantWriteUCF(kMsgCantWrite);
  output.reset();
  if (!failed && written == header.UncompressedSize() && crc == header.Crc32) {
    if (RetainAttributes) {
      uint32_t attributes = header.ExternalAttributes & kApplicableAttributes;
      zipplatform::SetAttributes(fName, attributes != 0 ? attributes : kNormalAttribute);
    }
    run.Targets.emplace(target, header.RawName);
    if (OnEndUnZip) OnEndUnZip(this, index, fName);
    ++run.Count;
    return false;
  }
  zipplatform::DeleteOneFile(fName);
  if (header.Encrypted()) {
    std::string answer = Password;
    if (OnBadPassword) {
      OnBadPassword(this, index, answer);
      if (answer != Password) {
        Password = answer;
        return true;
      }
    }
    SkipEntry(run, TSkipReason::srBadPassword, header.Directory + header.FileName, index);
    return false;
  }
  if (OnBadCRC) OnBadCRC(this, crc, header.Crc32, index);
  return false;
}
