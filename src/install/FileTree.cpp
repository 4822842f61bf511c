#include "install/FileTree.h"

#include <windows.h>

#include <memory>
#include <string_view>
#include <vector>

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

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Nothing under `to` stands in the way of moving `from` over it.
bool CanMoveOver(const std::wstring& from, const std::wstring& to) {
  for (const TEntry& entry : Children(from)) {
    std::wstring target = to + L"\\" + entry.Name;
    DWORD existing = GetFileAttributesW(target.c_str());
    if (existing == INVALID_FILE_ATTRIBUTES) continue;
    if (IsFolder(entry.Attributes)) {
      if (!IsFolder(existing) || !CanMoveOver(from + L"\\" + entry.Name, target)) return false;
    } else if (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
      return false;
    }
  }
  return true;
}

// The renames done so far, each undone by renaming back.
class TMoveJournal {
 public:
  explicit TMoveJournal(std::wstring parking) : FParking(std::move(parking)) {}

  bool Move(const std::wstring& from, const std::wstring& to) {
    if (!MoveFileExW(from.c_str(), to.c_str(), 0)) return false;
    FSteps.push_back({from, to, false});
    return true;
  }
  bool CreateFolder(const std::wstring& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr)) return false;
    FSteps.push_back({L"", path, true});
    return true;
  }
  // Moves an existing file out of the way, into the parking folder.
  bool Park(const std::wstring& path) {
    if (!Exists(FParking) && !CreateFolder(FParking)) return false;
    return Move(path, FParking + L"\\" + std::to_wstring(FSteps.size()));
  }
  void Undo() {
    for (auto step = FSteps.rbegin(); step != FSteps.rend(); ++step) {
      if (step->Created)
        RemoveDirectoryW(step->To.c_str());
      else
        MoveFileExW(step->To.c_str(), step->From.c_str(), 0);
    }
    FSteps.clear();
  }

 private:
  struct TStep {
    std::wstring From;
    std::wstring To;
    bool Created;
  };
  std::wstring FParking;
  std::vector<TStep> FSteps;
};

bool MoveChildren(TMoveJournal& journal, const std::wstring& from, const std::wstring& to) {
  for (const TEntry& entry : Children(from)) {
    std::wstring source = from + L"\\" + entry.Name;
    std::wstring target = to + L"\\" + entry.Name;
    DWORD existing = GetFileAttributesW(target.c_str());
    bool ok;
    if (existing == INVALID_FILE_ATTRIBUTES)
      ok = journal.Move(source, target);  // a whole folder moves in one rename
    else if (IsFolder(entry.Attributes))
      ok = MoveChildren(journal, source, target);
    else
      ok = journal.Park(target) && journal.Move(source, target);
    if (!ok) return false;
  }
  return true;
}

bool LinkChildren(const std::wstring& from, const std::wstring& to) {
  for (const TEntry& entry : Children(from)) {
    std::wstring source = from + L"\\" + entry.Name;
    std::wstring target = to + L"\\" + entry.Name;
    bool ok;
    if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      ok = false;  // its contents are not ours to hold
    else if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY)
      ok = CreateDirectoryW(target.c_str(), nullptr) && LinkChildren(source, target);
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

}  // namespace

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

bool MoveTreeOver(const std::wstring& from, const std::wstring& to, const std::wstring& parking) {
  DWORD existing = GetFileAttributesW(to.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && !IsFolder(existing)) return false;
  if (!CanMoveOver(from, to)) return false;
  TMoveJournal journal(parking);
  bool ok = (existing != INVALID_FILE_ATTRIBUTES || journal.CreateFolder(to)) &&
            MoveChildren(journal, from, to);
  if (!ok) journal.Undo();
  DeleteTree(parking);
  return ok;
}

bool LinkTree(const std::wstring& from, const std::wstring& to) {
  if (!IsFolder(GetFileAttributesW(from.c_str()))) return false;
  if (CreateDirectoryW(to.c_str(), nullptr) && LinkChildren(from, to)) return true;
  DeleteTree(to);
  return false;
}

bool HoldsLastLink(const std::wstring& tree) {
  return !EachFile(tree, [](const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return true;
    BY_HANDLE_FILE_INFORMATION info{};
    bool last = GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1;
    CloseHandle(file);
    return !last;
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
