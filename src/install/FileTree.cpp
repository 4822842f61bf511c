#include "install/FileTree.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <string_view>
#include <vector>

#include "ui/Application.h"

namespace install {

namespace {

struct TEntry {
  std::wstring Name;
  DWORD Attributes;
};

struct TFindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};
using TFindHandle = std::unique_ptr<void, TFindCloser>;

struct THandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using TFileHandle = std::unique_ptr<void, THandleCloser>;

// The list of undo steps a kept parking folder holds, and where new files go that an
// undo takes out of the way.
const wchar_t kJournalName[] = L".VornisTools-undo";
const wchar_t kDiscardName[] = L".VornisTools-discard";

// The children of a folder, without "." and ".."; empty when it cannot be listed.
std::vector<TEntry> Children(const std::wstring& dir) {
  std::vector<TEntry> entries;
  WIN32_FIND_DATAW data;
  TFindHandle find(FindFirstFileExW((dir + L"\\*").c_str(), FindExInfoBasic, &data,
                                    FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (find.get() == INVALID_HANDLE_VALUE) {
    find.release();
    return entries;
  }
  do {
    std::wstring_view name(data.cFileName);
    if (name != L"." && name != L"..") entries.push_back({data.cFileName, data.dwFileAttributes});
  } while (FindNextFileW(find.get(), &data));
  return entries;
}

// A folder we may enter: not a junction or symbolic link.
bool IsFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A folder of the tree a move goes into: a directory link counts as the folder it names.
bool IsTargetFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Parent(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L'\\'));
}

// Writes `text` as the whole file at `path`. False when it cannot be written whole.
bool WriteText(const std::wstring& path, const std::string& text) {
  TFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return false;
  }
  DWORD written = 0;
  return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  TFileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return lines;
  }
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The path without the prefix of the long form or of a network path, so that both forms
// compare alike.
std::wstring_view Unprefixed(std::wstring_view path) {
  for (std::wstring_view prefix : {L"\\\\?\\UNC\\", L"\\\\?\\", L"\\\\"})
    if (path.substr(0, prefix.size()) == prefix) return path.substr(prefix.size());
  return path;
}

// The relative path of `path` below `root` split into its names; empty when `path` does
// not lie below `root` or a name in it could step elsewhere or be read as another name
// (".", "..", a stream, a device's separator, trailing dots and blanks).
std::vector<std::wstring> NamesBelow(std::wstring_view path, std::wstring_view root) {
  path = Unprefixed(path);
  root = Unprefixed(root);
  std::vector<std::wstring> names;
  if (path.size() <= root.size() + 1 || path[root.size()] != L'\\' ||
      !SameText(path.substr(0, root.size()), root))
    return names;
  std::wstring_view rest = path.substr(root.size() + 1);
  for (size_t at = 0; at <= rest.size();) {
    size_t end = std::min(rest.find(L'\\', at), rest.size());
    std::wstring_view name = rest.substr(at, end - at);
    bool plain = !name.empty() && name.back() != L'.' && name.back() != L' ' &&
                 name.find_first_of(L"/:*?\"<>|") == std::wstring_view::npos;
    for (wchar_t c : name) plain = plain && c >= 0x20;
    if (!plain) return {};
    names.emplace_back(name);
    at = end + 1;
  }
  return names;
}

// Nothing under `to` stands in the way of moving `from` over it.
bool CanMoveOver(const std::wstring& from, const std::wstring& to, TMoveFailure& failure) {
  for (const TEntry& entry : Children(from)) {
    std::wstring source = from + L"\\" + entry.Name;
    std::wstring target = to + L"\\" + entry.Name;
    // Nothing we unpack is a link: one here was left or planted, and a rename of a link
    // to a folder may move the folder it names (Wine's does).
    if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      failure = {TMoveFailure::Link, source, 0};
      return false;
    }
    DWORD existing = GetFileAttributesW(target.c_str());
    if (IsFolder(entry.Attributes)) {
      if (existing != INVALID_FILE_ATTRIBUTES && !IsTargetFolder(existing)) {
        failure = {TMoveFailure::Clash, target, 0};
        return false;
      }
      if (!CanMoveOver(source, target, failure)) return false;
    } else if (existing != INVALID_FILE_ATTRIBUTES &&
               (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
      failure = {existing & FILE_ATTRIBUTE_DIRECTORY ? TMoveFailure::Clash : TMoveFailure::ReadOnly,
                 target, 0};
      return false;
    }
  }
  return true;
}

// A rename, or a copy and delete where the two paths lie on different volumes (a
// directory link to another drive). Folders cannot be copied this way.
bool Rename(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED) != FALSE;
}

// One undo step: a rename back (To -> From), or a created folder to remove (From empty).
struct TStep {
  std::wstring From;
  std::wstring To;
};

// Runs one undo step. True when it is done, or can no longer be done and need not be:
// the file to move is gone, or the folder it returns to was removed meanwhile.
bool UndoStep(const TStep& step) {
  if (step.From.empty())
    return RemoveDirectoryW(step.To.c_str()) || GetLastError() == ERROR_DIR_NOT_EMPTY ||
           !Exists(step.To);
  if (Rename(step.To, step.From)) return true;
  return !Exists(step.To) || !Exists(Parent(step.From));
}

// A step the manager itself can have written for `parking`: its paths lie inside the
// install root (the folder holding `parking`), there in `parking` or outside every other
// work folder. Only a folder to remove may be the install root itself.
bool IsOwnStep(const TStep& step, const std::wstring& parking) {
  const std::wstring root = Parent(parking);
  const std::wstring_view leaf = std::wstring_view(parking).substr(root.size() + 1);
  auto inside = [&](const std::wstring& path, bool rootToo) {
    if (rootToo && SameText(Unprefixed(path), Unprefixed(root))) return true;
    std::vector<std::wstring> names = NamesBelow(path, root);
    if (names.empty()) return false;
    if (SameText(names[0], leaf)) return true;
    for (const std::wstring& name : names)
      if (IsWorkName(name)) return false;
    return true;
  };
  return step.From.empty() ? inside(step.To, true)
                           : inside(step.From, false) && inside(step.To, false);
}

std::string StepLine(const TStep& step) {
  return ui::Narrow(step.From) + '\t' + ui::Narrow(step.To) + '\n';
}

// The steps of a list file: one a line, From and To separated by a tab, UTF-8.
std::vector<TStep> ReadSteps(const std::wstring& path) {
  std::vector<TStep> steps;
  for (const std::string& line : ReadLines(path)) {
    size_t tab = line.find('\t');
    if (tab != std::string::npos)
      steps.push_back({ui::Widen(line.substr(0, tab)), ui::Widen(line.substr(tab + 1))});
  }
  return steps;
}

// A file that grows by whole lines: a line counts as written only when all of it was.
class TAppendFile {
 public:
  explicit TAppendFile(const std::wstring& path)
      : FFile(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (FFile.get() == INVALID_HANDLE_VALUE) FFile.release();
  }
  bool Append(const std::string& line) {
    DWORD written = 0;
    return FFile &&
           WriteFile(FFile.get(), line.data(), static_cast<DWORD>(line.size()), &written,
                     nullptr) &&
           written == line.size();
  }
  bool IsOpen() const { return FFile != nullptr; }
  void Close() { FFile.reset(); }

 private:
  TFileHandle FFile;
};

// The undo list of a parking folder: the steps still to do, in the order they are to be
// run. While a move runs, each step is first added to the steps file (in the order they
// are done) and each undone step to the done file; the undo list replaces both once it
// is written whole, so that at any moment one of the two ways says what is left.
const wchar_t kStepsName[] = L".VornisTools-steps";
const wchar_t kDoneName[] = L".VornisTools-done";

// What is left to undo in `parking`, in the order to undo it, without the steps done.
std::vector<TStep> StepsLeft(const std::wstring& parking) {
  std::vector<TStep> steps = ReadSteps(parking + L"\\" + kJournalName);
  if (!Exists(parking + L"\\" + kJournalName)) {
    steps = ReadSteps(parking + L"\\" + kStepsName);
    std::reverse(steps.begin(), steps.end());
  }
  std::vector<std::string> doneLines = ReadLines(parking + L"\\" + kDoneName);
  std::set<std::string> done(doneLines.begin(), doneLines.end());
  std::erase_if(steps, [&](const TStep& step) {
    std::string line = StepLine(step);
    return done.count(line.substr(0, line.size() - 1)) > 0;
  });
  return steps;
}

// Keeps `left` as the undo list of `parking`. False when it cannot be written whole: the
// steps and done files then still tell the same.
bool KeepSteps(const std::wstring& parking, const std::vector<TStep>& left) {
  std::string text;
  for (const TStep& step : left) text += StepLine(step);
  const std::wstring list = parking + L"\\" + kJournalName;
  if (!WriteText(list + L".new", text) ||
      !MoveFileExW((list + L".new").c_str(), list.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW((list + L".new").c_str());
    return false;
  }
  DeleteFileW((parking + L"\\" + kStepsName).c_str());
  DeleteFileW((parking + L"\\" + kDoneName).c_str());
  return true;
}

// Runs the steps in order, marking each one done; stops at the first mark that cannot be
// written (running that one step again later finds it done). Answers the steps left.
std::vector<TStep> RunSteps(const std::wstring& parking, const std::vector<TStep>& steps,
                            const auto& run) {
  std::vector<TStep> left;
  TAppendFile done(parking + L"\\" + kDoneName);
  for (size_t at = 0; at < steps.size(); ++at) {
    if (!run(at)) {
      left.push_back(steps[at]);
      continue;
    }
    std::string line = StepLine(steps[at]);
    if (!done.Append(line)) {
      left.insert(left.end(), steps.begin() + static_cast<std::ptrdiff_t>(at) + 1, steps.end());
      break;
    }
  }
  return left;
}

// The renames done so far, each undone by renaming back. Every step is written to the
// parking folder before it is done, so that what a crash interrupts can be undone by the
// next clean-up; a step that cannot be written is not done.
class TMoveJournal {
 public:
  TMoveJournal(std::wstring staging, std::wstring target, std::wstring parking)
      : FStaging(std::move(staging)),
        FTarget(std::move(target)),
        FParking(std::move(parking)),
        FSteps(CreateDirectoryW(FParking.c_str(), nullptr) ? FParking + L"\\" + kStepsName : L"") {
    if (!FSteps.IsOpen()) Fail(FParking, TMoveFailure::NoJournal);
  }

  bool Move(const std::wstring& from, const std::wstring& to) {
    if (!Add({from, to})) return false;
    if (!Rename(from, to)) return Fail(to);
    return true;
  }
  bool CreateFolder(const std::wstring& path) {
    if (!Add({L"", path})) return false;
    if (!CreateDirectoryW(path.c_str(), nullptr)) return Fail(path);
    return true;
  }
  // Moves an existing file out of the way, to its relative place in the parking folder.
  bool Park(const std::wstring& path) {
    std::wstring parked = FParking + path.substr(FTarget.size());
    for (size_t at = FParking.size() + 1; (at = parked.find(L'\\', at)) != std::wstring::npos; ++at)
      CreateDirectoryW(parked.substr(0, at).c_str(), nullptr);
    return Move(path, parked);
  }
  // Everything moved: the steps are forgotten, and with them the way back.
  void Commit() {
    FSteps.Close();
    DeleteFileW((FParking + L"\\" + kStepsName).c_str());
  }
  // Undoes every step, last first. When one is refused, the steps still to do are kept
  // in the parking folder; false then.
  bool Undo() {
    std::vector<TStep> written(FWritten.rbegin(), FWritten.rend());
    std::vector<TStep> left = RunSteps(
        FParking, written, [&](size_t at) { return UndoStep(FDone[FDone.size() - 1 - at]); });
    FSteps.Close();
    if (left.empty()) return true;
    KeepSteps(FParking, left);
    return false;
  }
  TMoveFailure Failure;

 private:
  bool Fail(const std::wstring& path, TMoveFailure::TKind kind = TMoveFailure::Refused) {
    Failure = {kind, path, GetLastError()};
    return false;
  }
  // Writes the step before it is done. A new file from the staging folder is written
  // as going back to the parking folder: the staging folder is gone when a later
  // clean-up runs the step.
  bool Add(const TStep& step) {
    TStep written = step;
    if (step.From.compare(0, FStaging.size() + 1, FStaging + L"\\") == 0)
      written.From = FParking + L"\\" + kDiscardName + L"\\" + std::to_wstring(FDone.size());
    if (!FSteps.Append(StepLine(written)))
      return Fail(FParking + L"\\" + kStepsName, TMoveFailure::NoJournal);
    FDone.push_back(step);
    FWritten.push_back(written);
    return true;
  }
  std::wstring FStaging;
  std::wstring FTarget;
  std::wstring FParking;
  TAppendFile FSteps;
  std::vector<TStep> FDone;     // as done
  std::vector<TStep> FWritten;  // as written
};

bool MoveChildren(TMoveJournal& journal, const std::wstring& from, const std::wstring& to) {
  for (const TEntry& entry : Children(from)) {
    std::wstring source = from + L"\\" + entry.Name;
    std::wstring target = to + L"\\" + entry.Name;
    DWORD existing = GetFileAttributesW(target.c_str());
    bool ok;
    if (existing == INVALID_FILE_ATTRIBUTES) {
      // A whole folder moves in one rename; where it cannot (another volume), it is
      // built anew there.
      ok = journal.Move(source, target) ||
           (IsFolder(entry.Attributes) && !Exists(target) && journal.CreateFolder(target) &&
            MoveChildren(journal, source, target));
    } else if (IsFolder(entry.Attributes)) {
      ok = MoveChildren(journal, source, target);
    } else {
      ok = journal.Park(target) && journal.Move(source, target);
    }
    if (!ok) return false;
  }
  return true;
}

bool LinkChildren(const std::wstring& from, const std::wstring& to, bool copy) {
  for (const TEntry& entry : Children(from)) {
    std::wstring source = from + L"\\" + entry.Name;
    std::wstring target = to + L"\\" + entry.Name;
    bool ok;
    if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      ok = false;  // its contents are not ours to hold
    else if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY)
      ok = CreateDirectoryW(target.c_str(), nullptr) && LinkChildren(source, target, copy);
    else if (copy)
      ok = CopyFileW(source.c_str(), target.c_str(), TRUE) != FALSE;
    else
      ok = CreateHardLinkW(target.c_str(), source.c_str(), nullptr) != FALSE;
    if (!ok) return false;
  }
  return true;
}

// Calls `visit` with the path of every file of the tree until it answers false.
bool EachFile(const std::wstring& tree, const auto& visit) {
  for (const TEntry& entry : Children(tree)) {
    std::wstring path = tree + L"\\" + entry.Name;
    if (!(IsFolder(entry.Attributes) ? EachFile(path, visit) : visit(path))) return false;
  }
  return true;
}

// True when the file has another name besides `path` (or cannot be read: then it is not
// ours to judge, and nothing is lost by keeping it).
bool HasOtherName(const std::wstring& path) {
  TFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  return !GetFileInformationByHandle(file.get(), &info) || info.nNumberOfLinks != 1;
}

// True when `other` is the file at `path` under another name, or a file of equal bytes.
bool SameContents(const std::wstring& path, const std::wstring& other) {
  auto open = [](const std::wstring& name) {
    TFileHandle file(CreateFileW(name.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) file.release();
    return file;
  };
  TFileHandle a = open(path), b = open(other);
  BY_HANDLE_FILE_INFORMATION infoA{}, infoB{};
  if (!a || !b || !GetFileInformationByHandle(a.get(), &infoA) ||
      !GetFileInformationByHandle(b.get(), &infoB))
    return false;
  if (infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
      infoA.nFileIndexHigh == infoB.nFileIndexHigh && infoA.nFileIndexLow == infoB.nFileIndexLow)
    return true;
  if (infoA.nFileSizeHigh != infoB.nFileSizeHigh || infoA.nFileSizeLow != infoB.nFileSizeLow)
    return false;
  std::vector<char> bufferA(1 << 16), bufferB(1 << 16);
  for (;;) {
    DWORD gotA = 0, gotB = 0;
    if (!ReadFile(a.get(), bufferA.data(), static_cast<DWORD>(bufferA.size()), &gotA, nullptr) ||
        !ReadFile(b.get(), bufferB.data(), static_cast<DWORD>(bufferB.size()), &gotB, nullptr) ||
        gotA != gotB || !std::equal(bufferA.begin(), bufferA.begin() + gotA, bufferB.begin()))
      return false;
    if (gotA == 0) return true;
  }
}

// Removes one name of a file. A read-only file loses its attribute only for as long as
// the name is being removed: the attribute belongs to the file and its other names.
bool DeleteLink(const std::wstring& path, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return DeleteFileW(path.c_str()) != FALSE;
  TFileHandle file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return false;
  }
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) return false;
  FILE_BASIC_INFO writable = basic;
  writable.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
  if (writable.FileAttributes == 0) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  FILE_DISPOSITION_INFO dispose{TRUE};
  bool done = SetFileInformationByHandle(file.get(), FileBasicInfo, &writable, sizeof writable) &&
              SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose);
  SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
  return done;
}

void DeleteLinksIn(const std::wstring& tree) {
  for (const TEntry& entry : Children(tree)) {
    std::wstring path = tree + L"\\" + entry.Name;
    if (IsFolder(entry.Attributes))
      DeleteLinksIn(path);
    else if (!(entry.Attributes & FILE_ATTRIBUTE_DIRECTORY))
      DeleteLink(path, entry.Attributes);
  }
  RemoveDirectoryW(tree.c_str());
}

// Calls `visit` with the relative path of every file of the tree until it answers false;
// false also for a link met on the way.
bool EachRelativeFile(const std::wstring& tree, const std::wstring& prefix, const auto& visit) {
  for (const TEntry& entry : Children(tree)) {
    if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    std::wstring relative = prefix + entry.Name;
    if (!(entry.Attributes & FILE_ATTRIBUTE_DIRECTORY
              ? EachRelativeFile(tree + L"\\" + entry.Name, relative + L"\\", visit)
              : visit(relative)))
      return false;
  }
  return true;
}

}  // namespace

bool IsWorkName(std::wstring_view name) {
  while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.remove_suffix(1);
  constexpr std::wstring_view prefix = L".VornisTools-";
  return name.size() >= prefix.size() && SameText(name.substr(0, prefix.size()), prefix);
}

bool WriteTreeList(const std::wstring& tree, const std::wstring& listPath,
                   const std::wstring& title) {
  std::string text = ui::Narrow(title) + '\n';
  return EachRelativeFile(tree, L"",
                          [&](const std::wstring& relative) {
                            text += ui::Narrow(relative) + '\n';
                            return true;
                          }) &&
         WriteText(listPath, text);
}

std::wstring TreeListTitle(const std::wstring& tree, const std::wstring& listPath) {
  std::vector<std::string> lines = ReadLines(listPath);
  if (lines.empty()) return L"";
  std::set<std::string> listed(lines.begin() + 1, lines.end());
  bool matches = EachRelativeFile(tree, L"", [&](const std::wstring& relative) {
    return listed.count(ui::Narrow(relative)) > 0;
  });
  return matches ? ui::Widen(lines[0]) : L"";
}

bool DeleteTree(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (IsFolder(attributes))
      for (const TEntry& entry : Children(path)) DeleteTree(path + L"\\" + entry.Name);
    RemoveDirectoryW(path.c_str());
  } else {
    DeleteFileW(path.c_str());
  }
  return !Exists(path);
}

TMoveResult MoveTreeOver(const std::wstring& from, const std::wstring& to,
                         const std::wstring& parking, TMoveFailure* failure) {
  TMoveFailure found;
  DWORD existing = GetFileAttributesW(to.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && !IsTargetFolder(existing))
    found = {TMoveFailure::Clash, to, 0};
  if (found.Kind != TMoveFailure::None || !CanMoveOver(from, to, found)) {
    if (failure) *failure = found;
    return TMoveResult::NotMoved;
  }
  // The parking folder, and with it the list of steps, lives in `to`.
  const bool created = existing == INVALID_FILE_ATTRIBUTES && CreateDirectoryW(to.c_str(), nullptr);
  bool ok = false;
  bool undone = true;
  {
    TMoveJournal journal(from, to, parking);
    ok = journal.Failure.Kind == TMoveFailure::None && MoveChildren(journal, from, to);
    if (failure) *failure = journal.Failure;
    if (ok)
      journal.Commit();
    else
      undone = journal.Undo();
  }
  if (!undone) return TMoveResult::Kept;
  DeleteTree(parking);
  if (!ok && created) RemoveDirectoryW(to.c_str());
  return ok ? TMoveResult::Moved : TMoveResult::NotMoved;
}

bool RetryUndo(const std::wstring& parking, bool* foreignSteps) {
  CreateDirectoryW((parking + L"\\" + kDiscardName).c_str(), nullptr);
  std::vector<TStep> steps = StepsLeft(parking);
  std::vector<TStep> left = RunSteps(parking, steps, [&](size_t at) {
    bool own = IsOwnStep(steps[at], parking);
    if (!own && foreignSteps) *foreignSteps = true;
    return own && UndoStep(steps[at]);
  });
  if (left.empty()) return DeleteTree(parking);
  KeepSteps(parking, left);
  return false;
}

bool IsKeptParking(const std::wstring& parking) {
  return Exists(parking + L"\\" + kJournalName) || Exists(parking + L"\\" + kStepsName);
}

void DeleteLinks(const std::wstring& tree) {
  DeleteLinksIn(tree);
}

bool LinkTree(const std::wstring& from, const std::wstring& to, bool copy) {
  if (!IsFolder(GetFileAttributesW(from.c_str()))) return false;
  if (CreateDirectoryW(to.c_str(), nullptr) && LinkChildren(from, to, copy)) return true;
  if (copy)
    DeleteTree(to);
  else
    DeleteLinks(to);
  return false;
}

bool HoldsLastLink(const std::wstring& tree) {
  return !EachFile(tree, [](const std::wstring& path) { return HasOtherName(path); });
}

bool HoldsLost(const std::wstring& tree, const std::wstring& original) {
  return !EachFile(tree, [&](const std::wstring& path) {
    return HasOtherName(path) || SameContents(path, original + path.substr(tree.size()));
  });
}

int CountFiles(const std::wstring& tree) {
  int count = 0;
  EachFile(tree, [&count](const std::wstring&) { return ++count > 0; });
  return count;
}

void RestoreMissing(const std::wstring& from, const std::wstring& to) {
  // A folder cannot be copied by a move: on another volume it is built anew there.
  auto moveBack = [](const std::wstring& source, const std::wstring& target) {
    return Rename(source, target) || (IsFolder(GetFileAttributesW(source.c_str())) &&
                                      CreateDirectoryW(target.c_str(), nullptr));
  };
  if (!Exists(to) && (!moveBack(from, to) || !Exists(from))) return;
  for (const TEntry& entry : Children(from)) {
    if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;  // never ours to put back
    std::wstring source = from + L"\\" + entry.Name;
    std::wstring target = to + L"\\" + entry.Name;
    if (!Exists(target) && !moveBack(source, target)) continue;
    if (IsFolder(entry.Attributes) && IsFolder(GetFileAttributesW(target.c_str())))
      RestoreMissing(source, target);
  }
}

}  // namespace install
