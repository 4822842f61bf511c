#include "install/FileTree.h"

#include <windows.h>

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
    std::wstring target = to + L"\\" + entry.Name;
    DWORD existing = GetFileAttributesW(target.c_str());
    if (existing == INVALID_FILE_ATTRIBUTES) continue;
    if (IsFolder(entry.Attributes)) {
      if (!IsTargetFolder(existing)) {
        failure = {TMoveFailure::Clash, target, 0};
        return false;
      }
      if (!CanMoveOver(from + L"\\" + entry.Name, target, failure)) return false;
    } else if (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
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

// The journal: one step a line, From and To separated by a tab, UTF-8.
bool WriteJournal(const std::wstring& parking, const std::vector<TStep>& steps) {
  std::string text;
  for (const TStep& step : steps) text += ui::Narrow(step.From) + '\t' + ui::Narrow(step.To) + '\n';
  TFileHandle file(CreateFileW((parking + L"\\" + kJournalName).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return false;
  }
  DWORD written = 0;
  return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

std::vector<TStep> ReadJournal(const std::wstring& parking) {
  std::vector<TStep> steps;
  TFileHandle file(CreateFileW((parking + L"\\" + kJournalName).c_str(), GENERIC_READ,
                               FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return steps;
  }
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    size_t tab = line.find('\t');
    if (tab != std::string::npos)
      steps.push_back({ui::Widen(line.substr(0, tab)), ui::Widen(line.substr(tab + 1))});
  }
  return steps;
}

// The renames done so far, each undone by renaming back.
class TMoveJournal {
 public:
  TMoveJournal(std::wstring staging, std::wstring target, std::wstring parking)
      : FStaging(std::move(staging)), FTarget(std::move(target)), FParking(std::move(parking)) {}

  bool Move(const std::wstring& from, const std::wstring& to) {
    if (!Rename(from, to)) return Fail(to);
    FSteps.push_back({from, to});
    return true;
  }
  bool CreateFolder(const std::wstring& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr)) return Fail(path);
    FSteps.push_back({L"", path});
    return true;
  }
  // Moves an existing file out of the way, to its relative place in the parking folder.
  bool Park(const std::wstring& path) {
    std::wstring parked = FParking + path.substr(FTarget.size());
    CreateDirectoryW(FParking.c_str(), nullptr);
    for (size_t at = FParking.size() + 1; (at = parked.find(L'\\', at)) != std::wstring::npos; ++at)
      CreateDirectoryW(parked.substr(0, at).c_str(), nullptr);
    return Move(path, parked);
  }
  // Undoes every step, last first. When one is refused, the steps still to do are kept
  // in the parking folder; false then.
  bool Undo() {
    std::vector<TStep> left;
    for (auto step = FSteps.rbegin(); step != FSteps.rend(); ++step) {
      if (UndoStep(*step)) continue;
      TStep kept = *step;
      // The staging folder goes at the end: a new file that could not be taken back yet
      // goes to the parking folder when the step is run again.
      if (kept.From.compare(0, FStaging.size() + 1, FStaging + L"\\") == 0)
        kept.From = FParking + L"\\" + kDiscardName + L"\\" + std::to_wstring(left.size());
      left.push_back(kept);
    }
    FSteps.clear();
    if (left.empty()) return true;
    CreateDirectoryW(FParking.c_str(), nullptr);
    WriteJournal(FParking, left);
    return false;
  }
  TMoveFailure Failure;

 private:
  bool Fail(const std::wstring& path) {
    Failure = {TMoveFailure::Refused, path, GetLastError()};
    return false;
  }
  std::wstring FStaging;
  std::wstring FTarget;
  std::wstring FParking;
  std::vector<TStep> FSteps;
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
  TMoveJournal journal(from, to, parking);
  bool ok = (existing != INVALID_FILE_ATTRIBUTES || journal.CreateFolder(to)) &&
            MoveChildren(journal, from, to);
  if (failure) *failure = journal.Failure;
  if (ok) {
    DeleteTree(parking);
    return TMoveResult::Moved;
  }
  if (!journal.Undo()) return TMoveResult::Kept;
  DeleteTree(parking);
  return TMoveResult::NotMoved;
}

bool RetryUndo(const std::wstring& parking, bool* foreignSteps) {
  std::vector<TStep> left;
  CreateDirectoryW((parking + L"\\" + kDiscardName).c_str(), nullptr);
  for (const TStep& step : ReadJournal(parking)) {
    bool own = IsOwnStep(step, parking);
    if (!own && foreignSteps) *foreignSteps = true;
    if (!own || !UndoStep(step)) left.push_back(step);
  }
  if (left.empty()) return DeleteTree(parking);
  WriteJournal(parking, left);
  return false;
}

bool IsKeptParking(const std::wstring& parking) {
  return Exists(parking + L"\\" + kJournalName);
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
    return Exists(original + path.substr(tree.size())) || HasOtherName(path);
  });
}

int CountFiles(const std::wstring& tree) {
  int count = 0;
  EachFile(tree, [&count](const std::wstring&) { return ++count > 0; });
  return count;
}

void RestoreMissing(const std::wstring& from, const std::wstring& to) {
  if (!Exists(to)) {
    MoveFileExW(from.c_str(), to.c_str(), 0);
    return;
  }
  for (const TEntry& entry : Children(from)) {
    std::wstring source = from + L"\\" + entry.Name;
    std::wstring target = to + L"\\" + entry.Name;
    if (!Exists(target))
      MoveFileExW(source.c_str(), target.c_str(), 0);
    else if (IsFolder(entry.Attributes) && IsFolder(GetFileAttributesW(target.c_str())))
      RestoreMissing(source, target);
  }
}

}  // namespace install
