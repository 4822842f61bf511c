// TUnZip: the archive extraction component. It holds the settings of an extraction,
// owns the archive directory (TSortedZip of TZipHeaderInfo) and runs ExtractFiles,
// reporting through optional events. One component serves one archive at a time on the
// calling thread.
//
// Deliberately not here: writing archives, extraction into memory, test-only runs, and
// spanned archives beyond reading the parts that a directory names.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "unzip/LFNFileStream.h"
#include "unzip/ZipCntn.h"
#include "unzip/ZipDecode.h"
#include "unzip/ZipExceptions.h"
#include "unzip/ZipNames.h"
#include "unzip/ZipObj.h"

enum class TUZOverwriteMode { Prompt = 0, Always = 1, Never = 2, ifNewer = 3, ifOlder = 4 };
enum class TIncompleteZipMode { izAssumeMulti = 0, izAssumeBad = 1, izAssumeNotAZip = 2 };
enum class TSkipReason {
  srBadPassword = 0,
  srNoOverwrite = 1,
  srFileOpenError = 2,
  srCreateError = 3,
  srExcludeList = 4,
  srArchiveBitNotSet = 5,
  srNoFileToFreshen = 6,
  srSkippedInStartZip = 7,
};
enum class TSplitPartType { spFirst, spMiddle, spLast };
enum class TBlockMode { bmStandard, bmClassic };

class TUnZip;

using TStartUnZipInfoEvent =
    std::function<void(TUnZip* sender, int numFiles, int64_t totalBytes, bool& stopNow)>;
using TPercentDoneEvent = std::function<void(TUnZip* sender, int percent)>;
using TStartUnZipEvent =
    std::function<void(TUnZip* sender, int fileIndex, std::string& fName, bool& skip)>;
using TEndUnZipEvent = std::function<void(TUnZip* sender, int fileIndex, const std::string& fName)>;
using TPromptForOverwriteEvent =
    std::function<void(TUnZip* sender, bool& overWriteIt, int fileIndex, std::string& fName)>;
using TSkippingFileEvent = std::function<void(
    TUnZip* sender, TSkipReason reason, const std::string& fName, int fileIndex, bool& retry)>;
using TBadPasswordEvent =
    std::function<void(TUnZip* sender, int fileIndex, std::string& newPassword)>;
using TBadCRCEvent =
    std::function<void(TUnZip* sender, uint32_t calcCRC, uint32_t storedCRC, int fileIndex)>;
using TInCompleteZipEvent = std::function<void(TUnZip* sender, TIncompleteZipMode& incompleteMode)>;
using TGetNextDiskEvent = std::function<void(TUnZip* sender, int nextDisk, std::string& fName)>;
using TUnZipCompleteEvent = std::function<void(TUnZip* sender, int fileCount)>;
using TGetNextBufferEvent =
    std::function<void(TUnZip* sender, char*& buffer, const std::string& fName, int amountUsed,
                       int bufferNum, bool& quit)>;
using TDecryptEvent =
    std::function<void(TUnZip* sender, uint8_t* buffer, int length, const std::string& password)>;
using TFileNameForSplitPartEvent =
    std::function<void(TUnZip* sender, std::string& fName, int partNum, TSplitPartType splitType)>;
using THandleMessageEvent =
    std::function<void(TUnZip* sender, int messageID, const std::string& msg1,
                       const std::string& msg2, uint32_t flags, int& returnValue)>;

class TUnZip {
 public:
  TUnZip();
  ~TUnZip();
  TUnZip(const TUnZip&) = delete;
  TUnZip& operator=(const TUnZip&) = delete;

  // Settings (published properties).
  int ThisVersion() const { return 100; }
  void SetThisVersion(int) {}
  int ThisBuild() const { return 1; }
  void SetThisBuild(int) {}
  const std::string& ZipName() const { return FZipName; }
  // A name ending in "?" asks for the archive (EUserCanceled when cancelled). Drops the
  // directory; does not read the new one.
  void SetZipName(const std::string& name);
  const std::string& DestDir() const { return FDestDir; }
  // "?" asks for a folder (EUserCanceled when cancelled). One trailing backslash is removed.
  void SetDestDir(const std::string& dir);
  const std::string& RootDir() const { return FRootDir; }
  void SetRootDir(const std::string& dir);
  std::vector<std::string>& RelativePathList() { return FRelativePathList; }
  TZipSortMode SortMode() const { return FSortMode; }
  void SetSortMode(TZipSortMode mode);
  bool RecreateDirs = false;
  TUZOverwriteMode OverwriteMode = TUZOverwriteMode::Prompt;
  std::vector<std::string>& FilesList() { return FFilesList; }
  void SetFilesList(const std::vector<std::string>& list) { FFilesList = list; }
  bool DoAll = false;
  TIncompleteZipMode IncompleteZipMode = TIncompleteZipMode::izAssumeMulti;
  bool KeepZipOpen = false;
  bool DoProcessMessages = true;
  bool RetainAttributes = true;
  bool ReplaceReadOnly = false;
  bool FlushFilesOnClose = false;
  TBlockMode BlockMode = TBlockMode::bmStandard;
  TOEMConvert OEMConvert = TOEMConvert::oemAlways;
  std::string Password;
  size_t BufferSize = 8192;

  // Events.
  TStartUnZipInfoEvent OnStartUnZipInfo;
  TPercentDoneEvent OnFilePercentDone;
  TPercentDoneEvent OnTotalPercentDone;
  TStartUnZipEvent OnStartUnZip;
  TEndUnZipEvent OnEndUnZip;
  TPromptForOverwriteEvent OnPromptForOverwrite;
  TSkippingFileEvent OnSkippingFile;
  TBadPasswordEvent OnBadPassword;
  TBadCRCEvent OnBadCRC;
  TInCompleteZipEvent OnInCompleteZip;
  TGetNextDiskEvent OnGetNextDisk;
  TUnZipCompleteEvent OnUnZipComplete;
  TGetNextBufferEvent OnGetNextBuffer;
  TDecryptEvent OnDecrypt;
  TFileNameForSplitPartEvent OnFileNameForSplitPart;
  THandleMessageEvent OnHandleMessage;

  // Directory.
  void LoadDirectory();
  void OpenArchive();
  void CloseArchive();
  void ClearArchive();
  int Count() const;
  // Index access to the view; EListError "Index %d is out of range" outside it.
  const TZipHeaderInfo& Header(int index) const;
  std::string FileName(int index) const;
  std::string FullName(int index) const;
  std::string EntryComment(int index);
  std::string ZipComment();
  const TEndCentral& EndCentral() const { return *FEndCentral; }

  // Extraction; returns the number of items extracted.
  int ExtractFiles();
  void Assign(const TUnZip& source);
  // Shows a message through OnHandleMessage or a system message box.
  int DoMessage(int messageID, const std::string& msg1, const std::string& msg2, uint32_t flags);

 private:
  struct TRun;

  void ReadDirectory();
  bool RebuildFromLocalHeaders();
  // Refuses (EBadZipFile, archive cleared) a directory whose entries overlap.
  void CheckOverlaps(bool centralInArchive);
  // Name plus extra field length of the local header at |offset|; 0 when there is none.
  uint64_t LocalNameAndExtraLength(uint64_t offset);
  void BuildView();
  void DropLists();
  void Pump();
  TLFNFileStream& Archive() { return *FArchive; }
  bool ExtractEntry(TRun& run, int index);
  void SkipEntry(TRun& run, TSkipReason reason, const std::string& name, int index);
  bool CheckPassword(TRun& run, int index);
  void DecodeEntry(TRun& run, TLFNFileStream* file, uint64_t& written, uint32_t& crc);
  bool ComposeEntryDir(const TZipHeaderInfo& header, std::string& outputDir,
                       std::string& relative) const;
  bool ForceDirectories(const std::string& dir);

  std::string FZipName;
  std::string FDestDir;
  std::string FRootDir;
  std::vector<std::string> FRelativePathList;
  std::vector<std::string> FFilesList;
  TZipSortMode FSortMode = TZipSortMode::ByNone;
  std::unique_ptr<TLFNFileStream> FArchive;
  std::unique_ptr<TSortedZip> FDirectory;
  std::unique_ptr<TSortedZip> FSortedView;
  std::unique_ptr<TEndCentral> FEndCentral;
  std::unique_ptr<TZipHeaderInfo> FCurrent;
  int64_t FArchiveStamp = -1;
  bool FRebuilt = false;
  std::string FLastEnsuredDir;
};
