// The add-on list: adding rows in caption order, the status check with its counters,
// column sort, the row tip, select all / none and the list-size toggle.
#include "app/Form1.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "catalogue/TextOrder.h"
#include "config/Paths.h"
#include "install/ArchiveCache.h"
#include "install/ContentChecks.h"
#include "install/InstallRecord.h"

namespace app {

namespace {

bool DirectoryExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// File names compare without regard to case, as the file system does. The folded name
// goes into `folded`, a buffer the caller reuses from name to name.
void FoldCase(std::wstring_view name, std::wstring& folded) {
  folded.assign(name);
  if (std::all_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x80; })) {
    for (wchar_t& c : folded)
      if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - (L'a' - L'A'));
  } else {
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(),
                  static_cast<int>(name.size()), folded.data(), static_cast<int>(folded.size()),
                  nullptr, nullptr, 0);
  }
}

// The folders of the add-on directory, read in one listing rather than one look-up per
// row: a catalogue has thousands of rows. Holds long and short names, case folded.
// Empty when the directory does not exist; nullopt when it cannot be listed.
std::optional<std::unordered_set<std::wstring>> ListFolders(const std::wstring& directory) {
  std::unordered_set<std::wstring> folders;
  std::wstring folded;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileExW((directory + L"*").c_str(), FindExInfoStandard, &found,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return folders;
    return std::nullopt;
  }
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    FoldCase(found.cFileName, folded);
    folders.insert(folded);
    if (found.cAlternateFileName[0]) {
      FoldCase(found.cAlternateFileName, folded);
      folders.insert(folded);
    }
  } while (FindNextFileW(search, &found));
  bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  if (!complete) return std::nullopt;
  return folders;
}

}  // namespace

bool TForm1::AddAddonRow(const std::wstring& name, const std::wstring& /*id*/,
                         const std::wstring& folder, const std::wstring& description,
                         const std::wstring& author) {
  // The list is kept sorted by caption: a new row goes after the last one that does not
  // sort after it. Loads start from an empty list, so this equals a full re-sort.
  int low = 0;
  int high = ListView1->Count();
  while (low < high) {
    int middle = low + (high - low) / 2;
    if (catalogue::CompareCaptions(ListView1->ItemCaption(middle), name) <= 0)
      low = middle + 1;
    else
      high = middle;
  }
  int row = ListView1->InsertItem(low, name);
  ListView1->SetSubItem(row, 0, std::to_wstring(ListView1->Count()));
  ListView1->SetSubItem(row, 1, folder);
  ListView1->SetSubItem(row, 2, description);
  ListView1->SetSubItem(row, 3, author);
  return true;
}

void TForm1::BitBtn4Click() {
  // A load that itself ends in this check must not start another one: an empty
  // catalogue would otherwise reload without end.
  if (ListView1->Count() == 0 && !FLoadingCatalogue) Button3->Click();

  int installed = 0;
  int notInstalled = 0;
  int updates = 0;
  std::wstring gamePath = Form2().GamePath();
  int count = ListView1->Count();
  // Thousands of rows change their state: the list repaints once at the end, and the
  // column caption (the same for every row) is set once.
  if (count > 0) ListView1->SetColumnCaption(1, L"狀態");
  ui::TListUpdate update(*ListView1);
  auto folders = count > 0 ? ListFolders(config::AddonFolderPath(gamePath, L""))
                           : std::unordered_set<std::wstring>();
  std::wstring key;
  auto installedFolder = [&](const std::wstring& name) {
    if (!folders) return DirectoryExists(config::AddonFolderPath(gamePath, name));
    FoldCase(config::TrimView(name), key);
    return folders->count(key) > 0;
  };
  // What each folder of this game was installed from; only folders with an entry can
  // show "有更新": when the catalogue gives the archive's SHA-256, by that, else by the
  // archive in the cache (only then is its record read).
  install::TInstallRecord record = count > 0
                                       ? install::TInstallRecord::Load(install::InstallRecordPath())
                                       : install::TInstallRecord();
  const std::wstring root = config::InstallRoot(gamePath);
  auto hasUpdate = [&](const std::wstring& name) {
    const install::TArchiveDigest* from = record.Find(root, name);
    if (!from) return false;
    install::TArchiveExpectation expected = ExpectedArchive(name);
    if (!expected.Sha256.empty()) return !expected.Matches(*from);
    std::optional<install::TCacheRecord> cached =
        install::ReadCacheRecord(config::ArchiveCachePath(name));
    return cached && !(cached->Digest == *from);
  };
  for (int i = 0; i < count; ++i) {
    // A folder text that is not one plain name never counts as installed: "" or "."
    // would name the add-on directory itself.
    const std::wstring& name = ListView1->SubItem(i, 1);
    bool isInstalled = install::IsPlainFolderName(name) && installedFolder(name);
    if (isInstalled)
      ++installed;
    else
      ++notInstalled;
    bool updated = isInstalled && hasUpdate(name);
    if (updated) ++updates;
    ListView1->SetSubItem(i, 0, !isInstalled ? L"未安裝" : updated ? L"有更新" : L"已安裝");
  }
  MainMenu1.Find(L"CheckUpdatesM")->SetEnabled(updates > 0);
  Label12->SetCaption(std::to_wstring(installed));
  Label14->SetCaption(std::to_wstring(notInstalled));
  Label10->SetCaption(std::to_wstring(count));
  Label15->SetCaption(L"最近更新個數" + std::to_wstring(count - LaunchAddonCount));
  UpdateRollBackEntry();
}

void TForm1::CheckUpdatesMClick() {
  for (int i = 0; i < ListView1->Count(); ++i)
    ListView1->SetChecked(i, config::Trim(ListView1->SubItem(i, 0)) == L"有更新");
}

void TForm1::BitBtn1Click() {
  for (int i = 0; i < ListView1->Count(); ++i) ListView1->SetChecked(i, true);
}

void TForm1::BitBtn2Click() {
  for (int i = 0; i < ListView1->Count(); ++i) ListView1->SetChecked(i, false);
}

void TForm1::Button2Click() {
  bool enlarge = Button2->Caption() == L"放大列錶";
  Panel1->SetVisible(!enlarge);
  Button2->SetCaption(enlarge ? L"恢復列錶" : L"放大列錶");
  Realign();
}

namespace {

// A row's text in `column` as its code page 950 bytes; none where the row has no such
// sub-item.
std::optional<std::string> ColumnKey(const ui::TListView::TRow& row, int column) {
  if (column < 1) return catalogue::Cp950Bytes(row.Caption);
  size_t index = static_cast<size_t>(column - 1);
  if (index >= row.SubItems.size()) return std::nullopt;
  return catalogue::Cp950Bytes(row.SubItems[index]);
}

// A missing text is equal to every other.
int CompareColumnKeys(const std::optional<std::string>& key1,
                      const std::optional<std::string>& key2, bool ascending) {
  if (!key1 || !key2) return 0;
  int result = catalogue::CompareBytesNoCase(*key1, *key2);
  return ascending ? result : -result;
}

}  // namespace

void TForm1::ListView1ColumnClick(int column) {
  // Each text is converted once, not at every comparison: a catalogue has thousands of
  // rows.
  int count = ListView1->Count();
  std::vector<std::optional<std::string>> keys;
  keys.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) keys.push_back(ColumnKey(ListView1->Row(i), column));
  std::vector<int> order(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return CompareColumnKeys(keys[static_cast<size_t>(a)], keys[static_cast<size_t>(b)],
                             SortAscending) < 0;
  });
  ListView1->Reorder(order);
  SortAscending = !SortAscending;
}

int TForm1::CompareRows(const ui::TListView::TRow& row1, const ui::TListView::TRow& row2,
                        int column) const {
  return CompareColumnKeys(ColumnKey(row1, column), ColumnKey(row2, column), SortAscending);
}

void TForm1::ListView1InfoTip(int row, std::wstring& tip) {
  tip += L"\r\n" + ListView1->SubItem(row, 3) + L"\r\n" + ListView1->SubItem(row, 2);
}

void TForm1::ListView1SelectItem(int /*row*/) {}

}  // namespace app
