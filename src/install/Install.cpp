// UnzipArchive, RecycleFolder and DeleteFolder: one archive through the extraction
// engine into a staging folder and from there into place, one folder through the
// shell's file operation.
#include "install/Install.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "install/ContentChecks.h"
#include "install/FileTree.h"
#include "ui/Application.h"
#include "ui/CodePage.h"
#include "unzip/UnZip.h"
#include "unzip/ZipExceptions.h"

namespace install {

namespace {

// The engine takes paths in the ANSI code page. A path with characters that the code
// page cannot hold is given by its short (8.3) form when the file system has one; else
// the converted text goes on, and the engine reports the file it cannot find.
std::string EnginePath(const std::wstring& path) {
  if (std::optional<std::string> converted = ui::ToCodePage(CP_ACP, path)) return *converted;
  DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (size != 0) {
    std::wstring shortPath(size, L'\0');
    shortPath.resize(GetShortPathNameW(path.c_str(), shortPath.data(), size));
    if (std::optional<std::string> converted = ui::ToCodePage(CP_ACP, shortPath)) return *converted;
  }
  return ui::ToAnsi(path);
}

// Our work folders in the install root.
const wchar_t kStagingName[] = L".VornisTools-staging";
const wchar_t kParkingName[] = L".VornisTools-replaced";
const wchar_t kHoldName[] = L".VornisTools-removal";
// Beside each hold: the folder it belongs to and the files the removal put in it.
const wchar_t kHoldListSuffix[] = L".list";

// The path with its ".." steps resolved and without a trailing separator.
std::wstring FullPath(const std::wstring& path) {
  std::wstring full = path;
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size != 0) {
    std::wstring buffer(size, L'\0');
    size = GetFullPathNameW(path.c_str(), size, buffer.data(), nullptr);
    if (size != 0 && size < buffer.size()) full.assign(buffer.data(), size);
  }
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  return full;
}

// The full path in the form the file functions take beyond 260 characters.
std::wstring LongPath(const std::wstring& path) {
  std::wstring full = FullPath(path);
  if (full.compare(0, 4, L"\\\\?\\") == 0) return full;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// A path as the user knows it.
std::wstring PlainPath(const std::wstring& path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
  return path;
}

std::wstring LeafName(const std::wstring& path) {
  return path.substr(path.find_last_of(L"\\/") + 1);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The name the item at `path` has on disk (its long name, its case); empty when there is
// none.
std::wstring RealName(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return L"";
  FindClose(find);
  return data.cFileName;
}

// True when an item of the staged tree, at any level, is named like one of our work
// folders or would go into one: an item already at its place under `target` whose own
// name is one (reached by a short name, another case, trailing dots or blanks).
bool ReachesWorkFolder(const std::wstring& staged, const std::wstring& target) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((staged + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring there = target + L"\\" + name;
    found = IsWorkName(name) || IsWorkName(RealName(there)) ||
            ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
             ReachesWorkFolder(staged + L"\\" + name, there));
  } while (!found && FindNextFileW(find, &data));
  FindClose(find);
  return found;
}

// The add-on folder name a hold belongs to, when a removal of ours made it: its list
// names a plain folder and every file in it. Empty for anything else.
std::wstring HoldOwner(const std::wstring& hold) {
  DWORD attributes = GetFileAttributesW(hold.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return L"";
  std::wstring owner = TreeListTitle(hold, hold + kHoldListSuffix);
  return IsPlainFolderName(owner) ? owner : L"";
}

void DropHold(const std::wstring& hold) {
  DeleteLinks(hold);
  if (!Exists(hold)) DeleteFileW((hold + kHoldListSuffix).c_str());
}

std::vector<std::wstring> ChildNames(const std::wstring& dir) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

// Runs the engine over the whole archive into `dest`: None only when every entry was
// written with a good CRC; else the first thing that went wrong. Nothing it meets
// reaches the user as a box or an exception.
TInstallFailure ExtractComplete(const std::wstring& archivePath, const std::wstring& dest) {
  TInstallFailure failure = TInstallFailure::None;
  auto fail = [&failure](TInstallFailure found) {
    if (failure == TInstallFailure::None) failure = found;
  };
  try {
    TUnZip unzip;
    unzip.OnBadCRC = [&](TUnZip*, uint32_t, uint32_t, int) { fail(TInstallFailure::Damaged); };
    unzip.OnSkippingFile = [&](TUnZip*, TSkipReason reason, const std::string&, int, bool&) {
      fail(reason == TSkipReason::srBadPassword     ? TInstallFailure::Unsupported
           : reason == TSkipReason::srFileOpenError ? TInstallFailure::Damaged
                                                    : TInstallFailure::BadName);
    };
    // An unknown method or a table that cannot be allocated fails the archive.
    unzip.OnHandleMessage = [&](TUnZip*, int, const std::string&, const std::string&, uint32_t,
                                int& answer) {
      fail(TInstallFailure::Unsupported);
      answer = IDCANCEL;
    };
    unzip.SetZipName(EnginePath(archivePath));
    unzip.LoadDirectory();
    unzip.SetDestDir(EnginePath(dest));
    unzip.RecreateDirs = true;
    unzip.FilesList().push_back("*.*");
    unzip.DoAll = true;
    unzip.OverwriteMode = TUZOverwriteMode::Always;
    unzip.ExtractFiles();
  } catch (const ECantWriteUCF&) {
    fail(TInstallFailure::WriteError);
  } catch (const std::exception&) {
    // Whatever else ended the run (a damaged directory, a file that is no archive,
    // memory), the archive did not extract whole.
    fail(TInstallFailure::Unreadable);
  }
  return failure;
}

// A parking folder for one install: the first of ours that is free or left by an
// install that ended without a way back to keep; kept ones wait for CleanUpWork.
std::wstring FreeParking(const std::wstring& root) {
  for (int n = 1;; ++n) {
    std::wstring parking = root + L"\\" + kParkingName + (n > 1 ? std::to_wstring(n) : L"");
    if (!IsKeptParking(parking) && DeleteTree(parking)) return parking;
  }
}

}  // namespace

namespace {

// Moves the staged tree over `target` with a way back, and says how it went.
TInstallResult MoveStaged(const std::wstring& staging, const std::wstring& target) {
  TInstallResult result;
  const std::wstring parking = FreeParking(target);
  TMoveFailure failure;
  TMoveResult moved = MoveTreeOver(staging, target, parking, &failure);
  result.Path = PlainPath(failure.Path);
  result.Code = failure.Code;
  if (moved == TMoveResult::Kept) {
    result.Failure = TInstallFailure::Kept;
    result.KeptFolder = PlainPath(parking);
  } else if (moved == TMoveResult::NotMoved) {
    result.Failure = failure.Kind == TMoveFailure::ReadOnly    ? TInstallFailure::ReadOnly
                     : failure.Kind == TMoveFailure::Clash     ? TInstallFailure::Clash
                     : failure.Kind == TMoveFailure::NoJournal ? TInstallFailure::WriteError
                     : failure.Kind == TMoveFailure::Link      ? TInstallFailure::Link
                                                               : TInstallFailure::Refused;
  }
  return result;
}

}  // namespace

TInstallResult UnzipArchive(const std::wstring& archivePath, const std::wstring& targetDir) {
  const std::wstring target = LongPath(targetDir);
  const std::wstring staging = target + L"\\" + kStagingName;
  DeleteTree(staging);
  SHCreateDirectoryExW(nullptr, PlainPath(staging).c_str(), nullptr);
  TInstallResult result;
  result.Failure = ExtractComplete(archivePath, staging);
  // An entry named like one of our work folders would be taken for one by a later
  // install or removal: nothing of such an archive is installed.
  if (result && ReachesWorkFolder(staging, target)) result.Failure = TInstallFailure::BadName;
  if (result) result = MoveStaged(staging, target);
  DeleteTree(staging);
  return result;
}

namespace {

// The kept versions, and the copies an install prepares before it replaces a folder.
const wchar_t kPreviousName[] = L".VornisTools-previous";
const wchar_t kKeepingName[] = L".VornisTools-keeping";
// Beside each kept version: its first line names the folder and what it was installed
// from ("<name>[\t<sha256>\t<size>]"), the others every file of the copy.
const wchar_t kKeptListSuffix[] = L".list";

bool IsPlainFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A work folder we may write in: made when missing; anything else in its place (a file,
// a link to a folder elsewhere) is not ours and is left alone.
bool UsableWorkFolder(const std::wstring& path) {
  return IsPlainFolder(path) || (CreateDirectoryW(path.c_str(), nullptr) && IsPlainFolder(path));
}

void DropCopy(const std::wstring& copy) {
  DeleteTree(copy);
  DeleteFileW((copy + kKeptListSuffix).c_str());
}

std::vector<std::string> ReadListLines(const std::wstring& path) {
  std::vector<std::string> lines;
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// The title of the kept copy at `copy` when it is whole: a plain folder holding exactly
// the files its list names, no link among them, for the folder `name`. Empty otherwise.
std::wstring WholeCopyTitle(const std::wstring& copy, const std::wstring& name) {
  const std::wstring list = copy + kKeptListSuffix;
  if (!IsPlainFolder(copy)) return L"";
  std::wstring title = TreeListTitle(copy, list);
  std::wstring owner = title.substr(0, title.find(L'\t'));
  if (owner.empty() ||
      CompareStringOrdinal(owner.c_str(), -1, name.c_str(), -1, TRUE) != CSTR_EQUAL)
    return L"";
  std::vector<std::string> lines = ReadListLines(list);
  for (size_t at = 1; at < lines.size(); ++at)
    if (lines[at].empty() || GetFileAttributesW((copy + L"\\" + ui::Widen(lines[at])).c_str()) ==
                                 INVALID_FILE_ATTRIBUTES)
      return L"";
  return title;
}

std::optional<TArchiveDigest> TitleOrigin(const std::wstring& title) {
  size_t tab1 = title.find(L'\t');
  size_t tab2 = tab1 == std::wstring::npos ? tab1 : title.find(L'\t', tab1 + 1);
  if (tab2 == std::wstring::npos) return std::nullopt;
  TArchiveExpectation parsed =
      ParseExpectation(std::wstring_view(title).substr(tab2 + 1),
                       std::wstring_view(title).substr(tab1 + 1, tab2 - tab1 - 1));
  if (parsed.Size < 0 || parsed.Sha256.empty()) return std::nullopt;
  return TArchiveDigest{parsed.Size, parsed.Sha256};
}

// Removes from `folder` what `model` lacks, so that it holds the model's items only.
// Links are removed as links, never entered.
void RemoveExtras(const std::wstring& folder, const std::wstring& model) {
  for (const std::wstring& name : ChildNames(folder)) {
    std::wstring item = folder + L"\\" + name;
    std::wstring counterpart = model + L"\\" + name;
    if (!Exists(counterpart))
      DeleteTree(item);
    else if (IsPlainFolder(item) && IsPlainFolder(counterpart))
      RemoveExtras(item, counterpart);
  }
}

}  // namespace

bool PrepareKeep(const std::wstring& installRoot, const std::wstring& name,
                 const TArchiveDigest* origin) {
  const std::wstring root = LongPath(installRoot);
  const std::wstring folder = root + L"\\Addons\\" + name;
  if (!Exists(folder)) return true;
  const std::wstring keeping = root + L"\\" + kKeepingName;
  if (!UsableWorkFolder(keeping)) return false;
  const std::wstring copy = keeping + L"\\" + name;
  DropCopy(copy);
  std::wstring title = name;
  if (origin)
    title += L"\t" + std::wstring(origin->Sha256.begin(), origin->Sha256.end()) + L"\t" +
             std::to_wstring(origin->Size);
  if (LinkTree(folder, copy, true) && WriteTreeList(copy, copy + kKeptListSuffix, title))
    return true;
  DropCopy(copy);
  RemoveDirectoryW(keeping.c_str());
  return false;
}

void FinishKeep(const std::wstring& installRoot, const std::wstring& name, bool installed) {
  const std::wstring root = LongPath(installRoot);
  const std::wstring keeping = root + L"\\" + kKeepingName;
  const std::wstring copy = keeping + L"\\" + name;
  if (!IsPlainFolder(keeping)) return;
  const std::wstring previous = root + L"\\" + kPreviousName;
  if (installed && IsPlainFolder(copy) && UsableWorkFolder(previous)) {
    const std::wstring kept = previous + L"\\" + name;
    DropCopy(kept);
    // The list goes last: a copy without it is never taken for a whole one.
    if (MoveFileExW(copy.c_str(), kept.c_str(), 0))
      MoveFileExW((copy + kKeptListSuffix).c_str(), (kept + kKeptListSuffix).c_str(), 0);
  }
  DropCopy(copy);
  RemoveDirectoryW(keeping.c_str());
}

std::vector<std::wstring> KeptVersions(const std::wstring& installRoot) {
  const std::wstring previous = LongPath(installRoot) + L"\\" + kPreviousName;
  std::vector<std::wstring> names;
  if (!IsPlainFolder(previous)) return names;
  for (const std::wstring& name : ChildNames(previous))
    if (IsPlainFolder(previous + L"\\" + name)) names.push_back(name);
  return names;
}

std::optional<TArchiveDigest> KeptOrigin(const std::wstring& installRoot,
                                         const std::wstring& name) {
  const std::wstring kept = LongPath(installRoot) + L"\\" + kPreviousName + L"\\" + name;
  std::vector<std::string> lines = ReadListLines(kept + kKeptListSuffix);
  if (lines.empty() || !IsPlainFolder(kept)) return std::nullopt;
  return TitleOrigin(ui::Widen(lines[0]));
}

void DropKeptVersion(const std::wstring& installRoot, const std::wstring& name) {
  const std::wstring previous = LongPath(installRoot) + L"\\" + kPreviousName;
  const std::wstring kept = previous + L"\\" + name;
  if (!IsPlainFolder(previous)) return;
  if (IsPlainFolder(kept)) DeleteFolder(PlainPath(kept));
  if (!Exists(kept)) DeleteFileW((kept + kKeptListSuffix).c_str());
  RemoveDirectoryW(previous.c_str());
}

TInstallResult RollBack(const std::wstring& installRoot, const std::wstring& name,
                        const TArchiveDigest* origin, std::optional<TArchiveDigest>* restored) {
  const std::wstring root = LongPath(installRoot);
  const std::wstring previous = root + L"\\" + kPreviousName;
  const std::wstring kept = previous + L"\\" + name;
  TInstallResult result;
  if (!IsPlainFolder(previous) || (!Exists(kept) && !Exists(kept + kKeptListSuffix))) {
    result.Failure = TInstallFailure::NothingKept;
    return result;
  }
  const std::wstring title = WholeCopyTitle(kept, name);
  if (title.empty()) {
    result.Failure = TInstallFailure::KeptDamaged;
    return result;
  }
  // The version in place is kept first: without it, nothing changes.
  if (!PrepareKeep(installRoot, name, origin)) {
    result.Failure = TInstallFailure::WriteError;
    return result;
  }
  const std::wstring staging = root + L"\\" + kStagingName;
  DeleteTree(staging);
  const std::wstring stagedFolder = staging + L"\\Addons\\" + name;
  if (!CreateDirectoryW(staging.c_str(), nullptr) ||
      !CreateDirectoryW((staging + L"\\Addons").c_str(), nullptr) ||
      !LinkTree(kept, stagedFolder, true)) {
    result.Failure = TInstallFailure::WriteError;
  } else if (ReachesWorkFolder(staging, root)) {
    result.Failure = TInstallFailure::BadName;
  } else {
    result = MoveStaged(staging, root);
  }
  DeleteTree(staging);
  if (result) {
    RemoveExtras(root + L"\\Addons\\" + name, kept);
    if (restored) *restored = TitleOrigin(title);
    DropCopy(kept);
  }
  FinishKeep(installRoot, name, static_cast<bool>(result));
  RemoveDirectoryW(previous.c_str());
  return result;
}

std::vector<std::wstring> CleanUpWork(const std::wstring& installRoot,
                                      std::vector<std::wstring>* foreign) {
  const std::wstring root = LongPath(installRoot);
  std::vector<std::wstring> kept;
  auto notOurs = [foreign](const std::wstring& path) {
    if (foreign) foreign->push_back(PlainPath(path));
  };
  DeleteTree(root + L"\\" + kStagingName);
  for (const std::wstring& name : ChildNames(root)) {
    if (name.compare(0, wcslen(kParkingName), kParkingName) != 0) continue;
    std::wstring parking = root + L"\\" + name;
    bool foreignSteps = false;
    if (IsKeptParking(parking) ? RetryUndo(parking, &foreignSteps) : DeleteTree(parking)) continue;
    if (foreignSteps)
      notOurs(parking);
    else
      kept.push_back(PlainPath(parking));
  }
  // Removals that could not put back a folder the shell deleted for good, also those
  // that ended before they could. What no removal of ours made is left as it is.
  for (const std::wstring& holdRoot :
       {root + L"\\" + kHoldName, root + L"\\Addons\\" + kHoldName}) {
    for (const std::wstring& name : ChildNames(holdRoot)) {
      std::wstring hold = holdRoot + L"\\" + name;
      if (!(GetFileAttributesW(hold.c_str()) & FILE_ATTRIBUTE_DIRECTORY)) {
        std::wstring listed = hold.substr(0, hold.size() - wcslen(kHoldListSuffix));
        bool list = name.size() > wcslen(kHoldListSuffix) &&
                    hold.compare(listed.size(), std::wstring::npos, kHoldListSuffix) == 0;
        if (!list)
          notOurs(hold);
        else if (!Exists(listed))
          DeleteFileW(hold.c_str());
        continue;
      }
      std::wstring owner = HoldOwner(hold);
      if (owner.empty()) {
        notOurs(hold);
        continue;
      }
      std::wstring folder = root + L"\\Addons\\" + owner;
      if (HoldsLastLink(hold)) RestoreMissing(hold, folder);
      if (HoldsLost(hold, folder))
        kept.push_back(PlainPath(hold));
      else
        DropHold(hold);
    }
    RemoveDirectoryW(holdRoot.c_str());
  }
  return kept;
}

namespace {

// The path of the item with every directory link on the way resolved; `path` itself
// when it cannot be opened.
std::wstring FinalPath(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return path;
  std::wstring final(MAX_PATH, L'\0');
  DWORD size = GetFinalPathNameByHandleW(file, final.data(), MAX_PATH, FILE_NAME_NORMALIZED);
  if (size >= MAX_PATH) {
    final.resize(size);
    size = GetFinalPathNameByHandleW(file, final.data(), size, FILE_NAME_NORMALIZED);
  }
  CloseHandle(file);
  if (size == 0 || size >= final.size()) return path;
  final.resize(size);
  return final;
}

// Items in the recycle bin of the folder's drive; -1 when the bin cannot be asked.
long long BinItems(const std::wstring& folder) {
  wchar_t root[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(folder.c_str(), root, MAX_PATH)) return -1;
  SHQUERYRBINFO info{};
  info.cbSize = sizeof info;
  return SUCCEEDED(SHQueryRecycleBinW(root, &info)) ? info.i64NumItems : -1;
}

}  // namespace

TRecycleResult RecycleFolder(const std::wstring& folderPath, const std::wstring& installRoot,
                             std::wstring* holdPath) {
  const std::wstring plain = FullPath(folderPath);
  const std::wstring folder = LongPath(plain);
  const std::wstring name = LeafName(plain);
  // Holds go in the install root, or, where no hard link can be made there (a directory
  // link on the way leads to another volume, a file system without links), beside the
  // folder, on the volume its files are on: putting them back is then a rename.
  const std::wstring holdRoots[] = {LongPath(installRoot) + L"\\" + kHoldName,
                                    folder.substr(0, folder.rfind(L'\\') + 1) + kHoldName};
  std::wstring hold;
  auto held = [&] {
    if (holdPath) *holdPath = PlainPath(hold);
    return TRecycleResult::Held;
  };
  // What an earlier removal of this folder could not put back comes first. A hold that
  // no removal of ours made is left alone (CleanUpWork tells of it): this removal takes
  // the next free name.
  std::wstring freeHolds[2];
  for (int at = 0; at < 2; ++at)
    for (int n = 1; freeHolds[at].empty(); ++n) {
      hold = holdRoots[at] + L"\\" + name + (n > 1 ? L"~" + std::to_wstring(n) : L"");
      if (!Exists(hold) && !Exists(hold + kHoldListSuffix)) freeHolds[at] = hold;
      std::wstring owner = HoldOwner(hold);
      if (CompareStringOrdinal(owner.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL)
        return held();
    }
  // A second name for every file, or a copy where there are no hard links (FAT32,
  // exFAT, some network drives): whatever the shell does, no file can be lost. The list
  // beside it tells later runs that the hold is ours.
  bool linked = false;
  bool copied = false;
  int at = 0;
  for (; at < 2 && !linked; ++at) {
    CreateDirectoryW(holdRoots[at].c_str(), nullptr);
    linked = LinkTree(folder, freeHolds[at]);
    if (!linked) RemoveDirectoryW(holdRoots[at].c_str());
  }
  if (!linked) {
    CreateDirectoryW(holdRoots[1].c_str(), nullptr);
    copied = LinkTree(folder, freeHolds[1], true);
  }
  const std::wstring holdRoot = holdRoots[linked ? at - 1 : 1];
  hold = freeHolds[linked ? at - 1 : 1];
  if ((!linked && !copied) || !WriteTreeList(hold, hold + kHoldListSuffix, name)) {
    DropHold(hold);
    RemoveDirectoryW(holdRoot.c_str());
    return TRecycleResult::Unverified;
  }
  // The bin that counts is the one of the volume the files are on.
  const std::wstring real = FinalPath(folder);
  const long long binBefore = linked ? 0 : BinItems(PlainPath(real));
  DeleteFolder(plain);
  const bool gone = GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
  // A file left with one name shows that the shell deleted it for good; without links,
  // a bin that did not grow shows it.
  bool taken = linked ? !HoldsLastLink(hold)
                      : !gone || (binBefore >= 0 && BinItems(PlainPath(real)) > binBefore);
  TRecycleResult result = gone ? TRecycleResult::Recycled : TRecycleResult::Refused;
  if (!taken || !gone) {
    RestoreMissing(hold, folder);
    if (!taken) result = TRecycleResult::NotTaken;
    if (HoldsLost(hold, folder)) return held();
  }
  DropHold(hold);
  RemoveDirectoryW(holdRoot.c_str());
  return result;
}

bool DeleteFolder(const std::wstring& folderPath) {
  if (folderPath.empty() || folderPath.find_first_of(L"*?") != std::wstring::npos) return false;
  // The ".." steps of the path compositions are resolved first: the recycle bin keeps
  // the original location of what it receives.
  std::wstring from = folderPath;
  DWORD size = GetFullPathNameW(folderPath.c_str(), 0, nullptr, nullptr);
  if (size != 0) {
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(folderPath.c_str(), size, full.data(), nullptr);
    if (size != 0 && size < full.size()) from.assign(full.data(), size);
  }
  // The shell takes a list of paths ended by an empty one: the path, its terminating
  // zero and one more, however long the path is.
  from.push_back(L'\0');
  from.push_back(L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.hwnd = nullptr;
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.pTo = nullptr;
  operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
  return SHFileOperationW(&operation) == 0;
}

}  // namespace install
