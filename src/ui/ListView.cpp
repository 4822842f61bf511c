#include "ui/ListView.h"

#include <commctrl.h>

#include <algorithm>

#include "ui/Application.h"

namespace ui {

void TListView::Setup() {
  ListView_SetExtendedListViewStyle(
      FHandle, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_LABELTIP);
}

void TListView::AddColumn(const std::wstring& caption, int width) {
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  std::wstring text = caption;
  column.pszText = text.data();
  column.cx = width;
  int index = ColumnCount();
  SendMessageW(FHandle, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

int TListView::ColumnCount() const {
  HWND header = ListView_GetHeader(FHandle);
  return header ? Header_GetItemCount(header) : 0;
}

std::wstring TListView::ColumnCaption(int column) const {
  wchar_t buffer[260] = {};
  LVCOLUMNW info{};
  info.mask = LVCF_TEXT;
  info.pszText = buffer;
  info.cchTextMax = 260;
  SendMessageW(FHandle, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
  return buffer;
}

void TListView::SetColumnCaption(int column, const std::wstring& caption) {
  LVCOLUMNW info{};
  info.mask = LVCF_TEXT;
  std::wstring text = caption;
  info.pszText = text.data();
  SendMessageW(FHandle, LVM_SETCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
}

int TListView::ColumnWidth(int column) const {
  return ListView_GetColumnWidth(FHandle, column);
}

int TListView::Count() const {
  return ListView_GetItemCount(FHandle);
}

void TListView::Clear() {
  ListView_DeleteAllItems(FHandle);
}

int TListView::InsertItem(int index, const std::wstring& caption) {
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = index;
  std::wstring text = caption;
  item.pszText = text.data();
  item.lParam = 0;  // number of sub-items the row has
  return static_cast<int>(
      SendMessageW(FHandle, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

std::wstring TListView::ItemText(int row, int column) const {
  std::wstring buffer(1024, L'\0');
  for (;;) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    auto length = static_cast<size_t>(
        SendMessageW(FHandle, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
    if (length + 1 < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(buffer.size() * 4, L'\0');
  }
}

void TListView::SetItemText(int row, int column, const std::wstring& text) {
  LVITEMW item{};
  item.iSubItem = column;
  std::wstring copy = text;
  item.pszText = copy.data();
  SendMessageW(FHandle, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

std::wstring TListView::ItemCaption(int row) const {
  return ItemText(row, 0);
}

void TListView::SetItemCaption(int row, const std::wstring& caption) {
  SetItemText(row, 0, caption);
}

int TListView::SubItemCount(int row) const {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  SendMessageW(FHandle, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return static_cast<int>(item.lParam);
}

std::wstring TListView::SubItem(int row, int index) const {
  if (index < 0 || index >= SubItemCount(row)) return {};
  return ItemText(row, index + 1);
}

void TListView::SetSubItem(int row, int index, const std::wstring& text) {
  int count = SubItemCount(row);
  if (index >= count) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = index + 1;
    SendMessageW(FHandle, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  SetItemText(row, index + 1, text);
}

bool TListView::Checked(int row) const {
  return ListView_GetCheckState(FHandle, row) != 0;
}

void TListView::SetChecked(int row, bool checked) {
  ListView_SetCheckState(FHandle, row, checked);
}

TListView::TRow TListView::Row(int row) const {
  TRow data;
  data.Caption = ItemCaption(row);
  int count = SubItemCount(row);
  for (int k = 0; k < count; ++k) data.SubItems.push_back(ItemText(row, k + 1));
  data.Checked = Checked(row);
  return data;
}

void TListView::SetRow(int row, const TRow& data) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  item.lParam = static_cast<LPARAM>(data.SubItems.size());
  SendMessageW(FHandle, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  SetItemText(row, 0, data.Caption);
  for (int k = 1; k < ColumnCount(); ++k)
    SetItemText(row, k,
                k - 1 < static_cast<int>(data.SubItems.size()) ? data.SubItems[k - 1] : L"");
  SetChecked(row, data.Checked);
}

void TListView::Sort(const std::function<int(const TRow&, const TRow&)>& compare) {
  // Selection and focus belong to a row, not to a place in the list: they move too.
  constexpr UINT kRowStates = LVIS_SELECTED | LVIS_FOCUSED;
  std::vector<TRow> rows;
  std::vector<UINT> states;
  int count = Count();
  rows.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    rows.push_back(Row(i));
    states.push_back(ListView_GetItemState(FHandle, i, kRowStates));
  }
  std::vector<size_t> order(rows.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return compare(rows[a], rows[b]) < 0; });
  SendMessageW(FHandle, WM_SETREDRAW, FALSE, 0);
  for (int i = 0; i < count; ++i) {
    size_t from = order[static_cast<size_t>(i)];
    SetRow(i, rows[from]);
    ListView_SetItemState(FHandle, i, states[from], kRowStates);
  }
  SendMessageW(FHandle, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(FHandle, nullptr, TRUE);
}

bool TListView::OnNotify(NMHDR* header, LRESULT& result) {
  switch (header->code) {
    case LVN_GETINFOTIPW: {
      auto* info = reinterpret_cast<NMLVGETINFOTIPW*>(header);
      if (!OnInfoTip || info->iItem < 0 || info->cchTextMax <= 0) return false;
      std::wstring tip = ItemCaption(info->iItem);
      Application().Guard([&] { OnInfoTip(info->iItem, tip); });
      size_t n = std::min(tip.size(), static_cast<size_t>(info->cchTextMax - 1));
      tip.copy(info->pszText, n);
      info->pszText[n] = L'\0';
      result = 0;
      return true;
    }
    case LVN_COLUMNCLICK: {
      auto* view = reinterpret_cast<NMLISTVIEW*>(header);
      if (!OnColumnClick) return false;
      int column = view->iSubItem;
      Application().Guard([&] { OnColumnClick(column); });
      result = 0;
      return true;
    }
    case LVN_ITEMCHANGED: {
      auto* view = reinterpret_cast<NMLISTVIEW*>(header);
      if (OnSelectItem && (view->uChanged & LVIF_STATE) &&
          ((view->uNewState ^ view->uOldState) & LVIS_SELECTED)) {
        int row = view->iItem;
        Application().Guard([&] { OnSelectItem(row); });
      }
      return false;
    }
    default:
      return false;
  }
}

}  // namespace ui
