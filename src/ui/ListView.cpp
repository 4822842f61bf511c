#include "ui/ListView.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

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
  return static_cast<int>(FRows.size());
}

void TListView::Clear() {
  ListView_DeleteAllItems(FHandle);
  FRows.clear();
}

void TListView::BeginUpdate() {
  ++FUpdating;
}

void TListView::EndUpdate() {
  if (FUpdating == 0 || --FUpdating > 0) return;
  InvalidateRect(FHandle, nullptr, TRUE);
}

int TListView::InsertControlItem(int index, bool checked) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.pszText = LPSTR_TEXTCALLBACKW;
  int row =
      static_cast<int>(SendMessageW(FHandle, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (row >= 0 && checked) ListView_SetCheckState(FHandle, row, TRUE);
  return row;
}

int TListView::InsertItem(int index, const std::wstring& caption) {
  index = std::clamp(index, 0, Count());
  // The control may ask for the new row's texts while it inserts it.
  FRows.insert(FRows.begin() + index, TTexts{caption, {}});
  int row = InsertControlItem(index, false);
  if (row != index) {
    if (row >= 0) ListView_DeleteItem(FHandle, row);
    FRows.erase(FRows.begin() + index);
    return -1;
  }
  return row;
}

void TListView::AppendRows(std::vector<TRow> rows) {
  if (rows.empty()) return;
  // Each row added to a list that redraws would move its scroll bars and invalidate.
  SendMessageW(FHandle, WM_SETREDRAW, FALSE, 0);
  struct TRedrawAtEnd {
    HWND List;
    ~TRedrawAtEnd() {
      SendMessageW(List, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(List, nullptr, TRUE);
    }
  } redrawAtEnd{FHandle};
  int first = Count();
  ListView_SetItemCountEx(FHandle, first + static_cast<int>(rows.size()), LVSICF_NOINVALIDATEALL);
  FRows.reserve(FRows.size() + rows.size());
  for (TRow& row : rows) {
    int index = Count();
    FRows.push_back(TTexts{std::move(row.Caption), std::move(row.SubItems)});
    if (InsertControlItem(index, row.Checked) != index) {
      FRows.pop_back();
      throw std::runtime_error("The list cannot take more rows");
    }
  }
}

const std::wstring* TListView::Text(int row, int column) const {
  if (row < 0 || row >= Count() || column < 0) return nullptr;
  const TTexts& texts = FRows[static_cast<size_t>(row)];
  if (column == 0) return &texts.Caption;
  if (static_cast<size_t>(column) > texts.SubItems.size()) return nullptr;
  return &texts.SubItems[static_cast<size_t>(column - 1)];
}

void TListView::RepaintRow(int row) {
  if (FUpdating == 0) ListView_RedrawItems(FHandle, row, row);
}

std::wstring TListView::ItemCaption(int row) const {
  const std::wstring* text = Text(row, 0);
  return text ? *text : std::wstring();
}

void TListView::SetItemCaption(int row, const std::wstring& caption) {
  if (row < 0 || row >= Count()) return;
  FRows[static_cast<size_t>(row)].Caption = caption;
  RepaintRow(row);
}

int TListView::SubItemCount(int row) const {
  if (row < 0 || row >= Count()) return 0;
  return static_cast<int>(FRows[static_cast<size_t>(row)].SubItems.size());
}

std::wstring TListView::SubItem(int row, int index) const {
  const std::wstring* text = Text(row, index + 1);
  return text ? *text : std::wstring();
}

void TListView::SetSubItem(int row, int index, const std::wstring& text) {
  if (row < 0 || row >= Count() || index < 0) return;
  std::vector<std::wstring>& subItems = FRows[static_cast<size_t>(row)].SubItems;
  if (static_cast<size_t>(index) >= subItems.size())
    subItems.resize(static_cast<size_t>(index) + 1);
  subItems[static_cast<size_t>(index)] = text;
  RepaintRow(row);
}

bool TListView::Checked(int row) const {
  return ListView_GetCheckState(FHandle, row) != 0;
}

void TListView::SetChecked(int row, bool checked) {
  ListView_SetCheckState(FHandle, row, checked);
}

TListView::TRow TListView::Row(int row) const {
  TRow data;
  if (row < 0 || row >= Count()) return data;
  data.Caption = FRows[static_cast<size_t>(row)].Caption;
  data.SubItems = FRows[static_cast<size_t>(row)].SubItems;
  data.Checked = Checked(row);
  return data;
}

void TListView::Sort(const std::function<int(const TRow&, const TRow&)>& compare) {
  std::vector<TRow> rows;
  int count = Count();
  rows.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) rows.push_back(Row(i));
  std::vector<int> order(rows.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return compare(rows[static_cast<size_t>(a)], rows[static_cast<size_t>(b)]) < 0;
  });
  Reorder(order);
}

void TListView::Reorder(const std::vector<int>& order) {
  // Check boxes, selection and focus belong to a row, not to a place in the list: they
  // move with it.
  constexpr UINT kRowStates = LVIS_STATEIMAGEMASK | LVIS_SELECTED | LVIS_FOCUSED;
  int count = Count();
  std::vector<bool> seen(order.size());
  if (static_cast<int>(order.size()) != count) throw std::invalid_argument("Not a row order");
  for (int from : order) {
    if (from < 0 || from >= count || seen[static_cast<size_t>(from)])
      throw std::invalid_argument("Not a row order");
    seen[static_cast<size_t>(from)] = true;
  }
  std::vector<UINT> states(order.size());
  for (int i = 0; i < count; ++i)
    states[static_cast<size_t>(i)] = ListView_GetItemState(FHandle, i, kRowStates);
  std::vector<TTexts> rows;
  rows.reserve(FRows.size());
  for (int from : order) rows.push_back(std::move(FRows[static_cast<size_t>(from)]));
  FRows = std::move(rows);
  TListUpdate update(*this);
  for (int i = 0; i < count; ++i) {
    UINT state = states[static_cast<size_t>(order[static_cast<size_t>(i)])];
    if (state != states[static_cast<size_t>(i)])
      ListView_SetItemState(FHandle, i, state, kRowStates);
  }
}

bool TListView::OnNotify(NMHDR* header, LRESULT& result) {
  switch (header->code) {
    case LVN_GETDISPINFOW: {
      auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
      LVITEMW& item = info->item;
      if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return false;
      const std::wstring* text = Text(item.iItem, item.iSubItem);
      size_t n = text ? std::min(text->size(), static_cast<size_t>(item.cchTextMax - 1)) : 0;
      if (n) text->copy(item.pszText, n);
      item.pszText[n] = L'\0';
      result = 0;
      return true;
    }
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
