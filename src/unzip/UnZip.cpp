// TUnZip: settings, the directory side (open, read, rebuild, comments) and messages.
// The extraction run is in UnZipExtract.cpp.
#include "unzip/UnZip.h"

#include <algorithm>
#include <cstring>

#include "unzip/ZipPlatform.h"

namespace {

bool SameText(const std::string& a, const std::string& b) {
  return LowerCase(a) == LowerCase(b);
}

std::string ChangeExtension(const std::string& path, const std::string& extension) {
  size_t slash = LastDelimiter(path, true);
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return path + extension;
  return path.substr(0, dot) + extension;
}

}  // namespace

TUnZip::TUnZip()
    : FEndCentral(std::make_unique<TEndCentral>()),
      FCurrent(std::make_unique<TZipHeaderInfo>(TOEMConvert::oemAlways)) {}

TUnZip::~TUnZip() {
  ClearArchive();
}

void TUnZip::SetZipName(const std::string& name) {
  if (SameText(name, FZipName)) return;
  std::string chosen = name;
  if (!name.empty() && name.back() == '?') {
    std::string dir = name.substr(0, name.size() - 1);
    size_t cut = LastDelimiter(dir, false);
    dir = cut == std::string::npos ? std::string() : dir.substr(0, cut);
    if (dir.empty() || !zipplatform::DirectoryExists(dir)) dir = "C:\\";
    if (!zipplatform::BrowseForArchive(dir, chosen))
      throw EUserCanceled("User canceled setting zip file name.");
  }
  FArchive.reset();
  DropLists();
  FEndCentral->Clear();
  FZipName = chosen;
}

void TUnZip::SetDestDir(const std::string& dir) {
  std::string value = dir;
  if (dir == "?") {
    std::string start = !FDestDir.empty() && zipplatform::DirectoryExists(FDestDir)
                            ? FDestDir
                            : zipplatform::CurrentDirectory();
    if (!zipplatform::BrowseForFolder(start, value))
      throw EUserCanceled("User canceled Set Desination Directory");
  }
  if (EndsWithBackslash(value)) value.pop_back();
  FDestDir = value;
}

void TUnZip::SetRootDir(const std::string& dir) {
  FRootDir = dir.empty() || EndsWithBackslash(dir) ? dir : dir + "\\";
  FRelativePathList.assign(1, FRootDir);
}

void TUnZip::SetSortMode(TZipSortMode mode) {
  FSortMode = mode;
  if (FDirectory) BuildView();
}

void TUnZip::Assign(const TUnZip& source) {
  SetZipName(source.FZipName);
  FDestDir = source.FDestDir;
  FRootDir = source.FRootDir;
  SetSortMode(source.FSortMode);
  RecreateDirs = source.RecreateDirs;
  OverwriteMode = source.OverwriteMode;
  FFilesList = source.FFilesList;
  FRelativePathList = source.FRelativePathList;
  DoAll = source.DoAll;
  IncompleteZipMode = source.IncompleteZipMode;
  KeepZipOpen = source.KeepZipOpen;
  DoProcessMessages = source.DoProcessMessages;
  RetainAttributes = source.RetainAttributes;
  ReplaceReadOnly = source.ReplaceReadOnly;
  OnStartUnZipInfo = source.OnStartUnZipInfo;
  OnFilePercentDone = source.OnFilePercentDone;
  OnTotalPercentDone = source.OnTotalPercentDone;
  OnStartUnZip = source.OnStartUnZip;
  OnEndUnZip = source.OnEndUnZip;
  OnPromptForOverwrite = source.OnPromptForOverwrite;
  OnSkippingFile = source.OnSkippingFile;
  OnBadPassword = source.OnBadPassword;
  OnBadCRC = source.OnBadCRC;
  OnInCompleteZip = source.OnInCompleteZip;
  OnGetNextDisk = source.OnGetNextDisk;
  OnUnZipComplete = source.OnUnZipComplete;
  OnGetNextBuffer = source.OnGetNextBuffer;
  OnDecrypt = source.OnDecrypt;
  OnFileNameForSplitPart = source.OnFileNameForSplitPart;
  OnHandleMessage = source.OnHandleMessage;
}

int TUnZip::DoMessage(int messageID, const std::string& msg1, const std::string& msg2,
                      uint32_t flags) {
  if (OnHandleMessage) {
    int answer = 0;
    OnHandleMessage(this, messageID, msg1, msg2, flags, answer);
    return answer;
  }
  return zipplatform::ShowMessageBox(msg1, msg2, flags);
}

void TUnZip::Pump() {
  if (DoProcessMessages) zipplatform::ProcessMessages();
}

void TUnZip::DropLists() {
  FSortedView.reset();
  FDirectory.reset();
}

void TUnZip::BuildView() {
  FSortedView.reset();
  if (!FDirectory || FSortMode == TZipSortMode::ByNone) return;
  FSortedView = std::make_unique<TSortedZip>(FSortMode, TDuplicates::dupAccept, false);
  for (int i = 0; i < FDirectory->Count(); ++i) FSortedView->Add(FDirectory->Items(i));
}

int TUnZip::Count() const {
  const TSortedZip* view = FSortedView ? FSortedView.get() : FDirectory.get();
  return view ? view->Count() : 0;
}

const TZipHeaderInfo& TUnZip::Header(int index) const {
  const TSortedZip* view = FSortedView ? FSortedView.get() : FDirectory.get();
  if (!view || index < 0 || index >= view->Count()) {
    char text[64];
    std::snprintf(text, sizeof text, "Index %d is out of range", index);
    throw EListError(text);
  }
  return *view->Header(index);
}

std::string TUnZip::FileName(int index) const {
  return Header(index).FileName;
}

std::string TUnZip::FullName(int index) const {
  const TZipHeaderInfo& header = Header(index);
  return header.Directory + header.FileName;
}

std::string TUnZip::EntryComment(int index) {
  auto& header = const_cast<TZipHeaderInfo&>(Header(index));
  if (header.CommentLength == 0) return std::string();
  if (!header.EntryComment.empty()) return header.EntryComment;
  OpenArchive();
  // Reading may have replaced the directory; look the entry up again.
  auto& fresh = const_cast<TZipHeaderInfo&>(Header(index));
  int64_t position = Archive().Position();
  uint8_t record[46];
  Archive().Seek(fresh.CentralOffset, TSeekOrigin::soBeginning);
  if (Archive().Read(record, 46) == 46) {
    int64_t skip = (record[28] | (record[29] << 8)) + (record[30] | (record[31] << 8));
    Archive().Seek(skip, TSeekOrigin::soCurrent);
    std::string comment(fresh.CommentLength, '\0');
    comment.resize(static_cast<size_t>(
        std::max<int64_t>(Archive().Read(comment.data(), fresh.CommentLength), 0)));
    fresh.EntryComment = comment;
  }
  Archive().Seek(position, TSeekOrigin::soBeginning);
  std::string result = fresh.EntryComment;
  CloseArchive();
  return result;
}

std::string TUnZip::ZipComment() {
  if (FEndCentral->CommentLength == 0) return std::string();
  if (FEndCentral->ZipCommentLoaded) return FEndCentral->ZipComment;
  OpenArchive();
  int64_t position = Archive().Position();
  Archive().Seek(FEndCentral->ZipCommentPos, TSeekOrigin::soBeginning);
  std::string comment(FEndCentral->CommentLength, '\0');
  comment.resize(static_cast<size_t>(
      std::max<int64_t>(Archive().Read(comment.data(), FEndCentral->CommentLength), 0)));
  FEndCentral->ZipComment = comment;
  FEndCentral->ZipCommentLoaded = true;
  Archive().Seek(position, TSeekOrigin::soBeginning);
  CloseArchive();
  return comment;
}

void TUnZip::LoadDirectory() {
  // A handler may supply what was missing (another disk); a handler that never does
  // must not keep the caller here for ever.
  for (int attempt = 0;; ++attempt) {
    try {
      OpenArchive();
      break;
    } catch (const EIncompleteZip&) {
      FArchive.reset();
      if (!OnInCompleteZip || attempt >= 15) return;
    } catch (...) {
      ClearArchive();
      throw;
    }
  }
  CloseArchive();
}

void TUnZip::OpenArchive() {
  if (!FArchive) {
    auto archive = std::make_unique<TLFNFileStream>(FZipName, zipplatform::TOpenMode::Read,
                                                    BufferSize < 16 ? 16 : BufferSize);
    if (!archive->IsOpen()) throw EZipException("Cannot open file \"" + FZipName + "\"");
    FArchive = std::move(archive);
  }
  if (!FDirectory || zipplatform::FileModStamp(FZipName) != FArchiveStamp) ReadDirectory();
}

void TUnZip::CloseArchive() {
  if (!KeepZipOpen) FArchive.reset();
}

void TUnZip::ClearArchive() {
  FArchive.reset();
  DropLists();
  FEndCentral->Clear();
  FZipName.clear();
  FArchiveStamp = -1;
}

void TUnZip::ReadDirectory() {
  FArchiveStamp = zipplatform::FileModStamp(FZipName);
  DropLists();
  FRebuilt = false;
  TEndCentral& end = *FEndCentral;
  bool found = end.LocateEndRecord(Archive());
  if (found && (end.ThisDiskNumber() > 999 || end.CentralStartDiskNumber() > 999 ||
                end.CentralStartDiskNumber() > end.ThisDiskNumber()))
    found = false;
  std::unique_ptr<TLFNFileStream> configFile;
  if (!found) {
    std::string configName = ChangeExtension(FZipName, ".zfc");
    if (zipplatform::FileExists(configName)) {
      configFile = std::make_unique<TLFNFileStream>(configName, zipplatform::TOpenMode::Read,
                                                    BufferSize < 16 ? 16 : BufferSize);
      if (configFile->IsOpen() && end.LocateEndRecord(*configFile)) {
        found = true;
      } else {
        configFile.reset();
      }
    }
  }
  if (!found) {
    TIncompleteZipMode mode = IncompleteZipMode;
    if (OnInCompleteZip) OnInCompleteZip(this, mode);
    if (mode == TIncompleteZipMode::izAssumeNotAZip) throw ENotAZipFile(kMsgNotAZip);
    if (mode == TIncompleteZipMode::izAssumeMulti) throw EIncompleteZip(kMsgIncompleteZip);
    if (!RebuildFromLocalHeaders()) {
      ClearArchive();
      throw EBadZipFile(kMsgNotAZip);
    }
  } else if (!configFile && end.ThisDiskNumber() != 0) {
    // The parts of a spanned set are not read: this file alone is incomplete.
    throw EIncompleteZip(kMsgIncompleteZip);
  }
  if (!FRebuilt)
    FDirectory = std::make_unique<TSortedZip>(TZipSortMode::ByNone, TDuplicates::dupError, true);
  TLFNFileStream& source = configFile ? *configFile : Archive();
  bool merge = FRebuilt;
  uint64_t total = end.TotalEntryCount();
  auto seekStart = [&]() {
    source.Seek(configFile ? 0 : static_cast<int64_t>(end.CentralDirectoryOffset()),
                TSeekOrigin::soBeginning);
  };
  if (total > 0) seekStart();
  TZipHeaderInfo* previous = nullptr;
  for (uint64_t i = 0; i < total; ++i) {
    Pump();
    auto record = std::make_unique<TZipHeaderInfo>(OEMConvert);
    bool read = record->ReadCentralRecord(source);
    if (!read && previous && previous->ExtraFieldLength != 0) {
      int64_t back = previous->ExtraFieldLength;
      previous->ExtraFieldLength = 0;
      source.Seek(-back, TSeekOrigin::soCurrent);
      read = record->ReadCentralRecord(source);
    }
    if (read) {
      int64_t skip = int64_t{record->ExtraFieldLength} + record->CommentLength;
      if (!merge) {
        TZipHeaderInfo* added = record.get();
        try {
          FDirectory->Add(record.get());
          record.release();
        } catch (const EListError&) {
          // Two central records for one local header: an overlapping construction.
          ClearArchive();
          throw EBadZipFile(kMsgNotAZip);
        }
        previous = added;
      } else {
        int index;
        if (FDirectory->Find(record.get(), index)) {
          TZipHeaderInfo* rebuilt = FDirectory->Header(index);
          uint64_t offset = rebuilt->RelativeOffset();
          rebuilt->Assign(*record);
          rebuilt->SetRelativeOffset(offset);
        }
        previous = nullptr;
      }
      source.Seek(skip, TSeekOrigin::soCurrent);
      continue;
    }
    if (merge) break;
    if (!RebuildFromLocalHeaders()) {
      ClearArchive();
      throw EBadZipFile(kMsgNotAZip);
    }
    merge = true;
    previous = nullptr;
    total = end.TotalEntryCount();
    i = static_cast<uint64_t>(-1);
    seekStart();
  }
  // However the directory was obtained (central, rebuilt or merged), the extraction
  // trusts its sizes and offsets: the same overlap rule holds for all of them.
  CheckOverlaps(!configFile);
  BuildView();
}

void TUnZip::CheckOverlaps(bool centralInArchive) {
  // Each entry's local header with its own name and extra field, then its compressed
  // data, must end before the next entry starts, and the last one before the central
  // directory when that lies in this file (a rebuild that ran into the end of the file
  // leaves nothing after the last entry to overlap: its data is cut short instead). A
  // local header that cannot be read counts 30 bytes: extracting such an entry fails
  // before any of its data is read. The disk numbers of a single archive mean nothing
  // (every entry is read from this one file), so only a split set keeps parts apart;
  // its local headers lie in other files and are not read.
  struct TRange {
    uint32_t Part;
    uint64_t Start, End;
  };
  std::vector<TRange> ranges;
  ranges.reserve(static_cast<size_t>(FDirectory->Count()));
  for (int i = 0; i < FDirectory->Count(); ++i) {
    const TZipHeaderInfo& header = *FDirectory->Header(i);
    const uint64_t start = header.RelativeOffset();
    uint64_t end = start + 30 + (centralInArchive ? LocalNameAndExtraLength(start) : 0);
    if (end < start) end = UINT64_MAX;
    end = end + header.CompressedSize() < end ? UINT64_MAX : end + header.CompressedSize();
    ranges.push_back({centralInArchive ? 0 : header.DiskNumberStart(), start, end});
  }
  std::sort(ranges.begin(), ranges.end(), [](const TRange& a, const TRange& b) {
    return a.Part != b.Part ? a.Part < b.Part : a.Start < b.Start;
  });
  const uint64_t centralStart = FEndCentral->CentralDirectoryOffset();
  const uint64_t lastLimit =
      !centralInArchive || centralStart >= static_cast<uint64_t>(Archive().Size()) ? UINT64_MAX
                                                                                   : centralStart;
  for (size_t i = 0; i < ranges.size(); ++i) {
    const bool last = i + 1 == ranges.size();
    if (!last && ranges[i + 1].Part != ranges[i].Part) continue;
    if (ranges[i].End > (last ? lastLimit : ranges[i + 1].Start)) {
      ClearArchive();
      throw EBadZipFile(kMsgNotAZip);
    }
  }
}

uint64_t TUnZip::LocalNameAndExtraLength(uint64_t offset) {
  uint8_t local[30];
  if (offset > static_cast<uint64_t>(INT64_MAX) ||
      Archive().Seek(static_cast<int64_t>(offset), TSeekOrigin::soBeginning) !=
          static_cast<int64_t>(offset) ||
      Archive().Read(local, 30) != 30 || std::memcmp(local, "PK\3\4", 4) != 0)
    return 0;
  return uint64_t{static_cast<uint16_t>(local[26] | (local[27] << 8))} +
         static_cast<uint16_t>(local[28] | (local[29] << 8));
}

bool TUnZip::RebuildFromLocalHeaders() {
  if (FRebuilt) return false;
  FRebuilt = true;
  FDirectory = std::make_unique<TSortedZip>(TZipSortMode::ByNone, TDuplicates::dupError, true);
  FSortedView.reset();
  TLFNFileStream& archive = Archive();
  std::string extension =
      FZipName.size() >= 4 ? LowerCase(FZipName.substr(FZipName.size() - 4)) : "";
  int64_t start = extension == ".exe" ? 14000 : 0;
  // Scan for a local signature followed by a plausible "version needed".
  static const uint8_t kSignature[4] = {0x50, 0x4B, 0x03, 0x04};
  std::vector<uint8_t> block(65536 + 5);
  int64_t blockStart = start;
  int64_t found = -1;
  int64_t examined = 0;
  while (found < 0) {
    archive.Seek(blockStart, TSeekOrigin::soBeginning);
    int64_t got = archive.Read(block.data(), static_cast<int64_t>(block.size()));
    if (got < 6) return false;
    for (int64_t i = 0; i + 6 <= got; ++i) {
      if (++examined % 10240 == 0) Pump();
      if (std::memcmp(&block[static_cast<size_t>(i)], kSignature, 4) == 0 &&
          block[static_cast<size_t>(i) + 5] < 10) {
        found = blockStart + i;
        break;
      }
    }
    if (got < static_cast<int64_t>(block.size())) break;
    blockStart += got - 5;
  }
  if (found < 0) return false;
  archive.Seek(found, TSeekOrigin::soBeginning);
  int64_t stop = found;
  for (;;) {
    int64_t position = archive.Position();
    stop = position;
    auto record = std::make_unique<TZipHeaderInfo>(OEMConvert);
    if (!record->ReadLocalRecord(archive)) break;
    uint64_t skip = uint64_t{record->LocalExtraLength} + record->CompressedSize() +
                    ((record->Flags & 0x0008) ? 16 : 0);
    try {
      FDirectory->Add(record.get());
      record.release();
    } catch (const EListError&) {
      break;
    }
    Pump();
    uint64_t next = static_cast<uint64_t>(archive.Position()) + skip;
    if (next > static_cast<uint64_t>(archive.Size())) {
      stop = archive.Size();
      break;
    }
    archive.Seek(static_cast<int64_t>(next), TSeekOrigin::soBeginning);
  }
  TEndCentral& end = *FEndCentral;
  end.Clear();
  end.ThisDisk = 0;
  end.CentralDirOffset = stop < 0xFFFFFFFF ? static_cast<uint32_t>(stop) : 0xFFFFFFFF;
  end.TotalEntries = static_cast<uint16_t>(std::min(FDirectory->Count(), 0xFFFE));
  return FDirectory->Count() > 0;
}
