// The add-on list: adding rows in caption order, the status check with its counters,
// column sort, the row tip, select all / none and the list-size toggle.
#include "app/Form1.h"

#include <windows.h>

#include <string>

#include "catalogue/TextOrder.h"
#include "config/Paths.h"
#include "install/ContentChecks.h"

namespace app {

namespace {

bool DirectoryExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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
  std::wstring gamePath = Form2().GamePath();
  int count = ListView1->Count();
  // Thousands of rows change their state: the list repaints once at the end, and the
  // column caption (the same for every row) is set once.
  if (count > 0) ListView1->SetColumnCaption(1, L"狀態");
  SendMessageW(ListView1->Handle(), WM_SETREDRAW, FALSE, 0);
  struct TRedrawAtEnd {
    HWND List;
    ~TRedrawAtEnd() {
      SendMessageW(List, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(List, nullptr, TRUE);
    }
  } redrawAtEnd{ListView1->Handle()};
  for (int i = 0; i < count; ++i) {
    // A folder text that is not one plain name never counts as installed: "" or "."
    // would name the add-on directory itself.
    std::wstring name = ListView1->SubItem(i, 1);
    if (install::IsPlainFolderName(name) &&
        DirectoryExists(config::AddonFolderPath(gamePath, name))) {
      ++installed;
      ListView1->SetSubItem(i, 0, L"已安裝");
    } else {
      ++notInstalled;
      ListView1->SetSubItem(i, 0, L"未安裝");
    }
  }
  Label12->SetCaption(std::to_wstring(installed));
  Label14->SetCaption(std::to_wstring(notInstalled));
  Label10->SetCaption(std::to_wstring(count));
  Label15->SetCaption(L"最近更新個數" + std::to_wstring(count - LaunchAddonCount));
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

void TForm1::ListView1ColumnClick(int column) {
  ListView1->Sort([this, column](const ui::TListView::TRow& row1, const ui::TListView::TRow& row2) {
    return CompareRows(row1, row2, column);
  });
  SortAscending = !SortAscending;
}

int TForm1::CompareRows(const ui::TListView::TRow& row1, const ui::TListView::TRow& row2,
                        int column) const {
  const std::wstring* text1 = &row1.Caption;
  const std::wstring* text2 = &row2.Caption;
  if (column >= 1) {
    size_t index = static_cast<size_t>(column - 1);
    if (index >= row1.SubItems.size() || index >= row2.SubItems.size()) return 0;
    text1 = &row1.SubItems[index];
    text2 = &row2.SubItems[index];
  }
  int result = catalogue::CompareTextNoCase(*text1, *text2);
  return SortAscending ? result : -result;
}

void TForm1::ListView1InfoTip(int row, std::wstring& tip) {
  tip += L"\r\n" + ListView1->SubItem(row, 3) + L"\r\n" + ListView1->SubItem(row, 2);
}

void TForm1::ListView1SelectItem(int /*row*/) {}

}  // namespace app
