#include "ui/ListView.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "ui/Application.h"
#include "ui/Subclass.h"

namespace ui {

void TListView::Setup() {
  ListView_SetExtendedListViewStyle(
      FHandle, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_LABELTIP);
  // The check boxes are ours too: the control asks for them as it asks for texts.
  ListView_SetCallbackMask(FHandle, LVIS_STATEIMAGEMASK);
  SetSubclass(FHandle, &TListView::ListProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

int TListView::FindRow(const LVFINDINFOW& find, int start) const {
  if (!(find.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.psz || Count() == 0) return -1;
  std::wstring_view wanted(find.psz);
  int count = Count();
  int first = start < 0 || start >= count ? 0 : start;
  int steps = (find.flags & LVFI_WRAP) ? count : count - first;
  for (int k = 0; k < steps; ++k) {
    int row = (first + k) % count;
    const std::wstring& caption = FRows[static_cast<size_t>(row)].Caption;
    size_t length = (find.flags & LVFI_PARTIAL) ? wanted.size() : caption.size();
    if (caption.size() < wanted.size() || length != wanted.size()) continue;
    if (CompareStringOrdinal(caption.data(), static_cast<int>(length), wanted.data(),
                             static_cast<int>(wanted.size()), TRUE) == CSTR_EQUAL)
      return row;
  }
  return -1;
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

TListView::~TListView() {
  if (FHandle) RemoveSubclass(FHandle, &TListView::ListProc, 1);
}

int TListView::Count() const {
  return static_cast<int>(FRows.size());
}

void TListView::Clear() {
  FRows.clear();
  ListView_DeleteAllItems(FHandle);
}

void TListView::BeginUpdate() {
  ++FUpdating;
}

void TListView::EndUpdate() {
  if (FUpdating == 0 || --FUpdating > 0) return;
  InvalidateRect(FHandle, nullptr, TRUE);
}

void TListView::SetControlCount() {
  // A new count can show or hide the scroll bars. On a visible control each bar shown
  // repaints the frame at once (twice for a list growing past both edges): the count
  // is set while the window is marked hidden, and the frame is painted once, with the
  // rest, at the next paint.
  bool visible = IsWindowVisible(FHandle) != FALSE;
  if (visible) DefWindowProcW(FHandle, WM_SETREDRAW, FALSE, 0);
  ListView_SetItemCountEx(FHandle, Count(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  if (!visible) return;
  DefWindowProcW(FHandle, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(FHandle, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

std::vector<std::pair<int, UINT>> TListView::MarkedRows() const {
  // Selection and focus are the control's own states; few rows have them.
  std::vector<std::pair<int, UINT>> rows;
  for (int row = ListView_GetNextItem(FHandle, -1, LVNI_SELECTED); row >= 0;
       row = ListView_GetNextItem(FHandle, row, LVNI_SELECTED))
    rows.emplace_back(row, LVIS_SELECTED);
  int focused = ListView_GetNextItem(FHandle, -1, LVNI_FOCUSED);
  if (focused >= 0) {
    auto found =
        std::find_if(rows.begin(), rows.end(), [&](auto& r) { return r.first == focused; });
    if (found != rows.end())
      found->second |= LVIS_FOCUSED;
    else
      rows.emplace_back(focused, LVIS_FOCUSED);
  }
  return rows;
}

void TListView::RemarkRows(const std::vector<std::pair<int, UINT>>& rows,
                           const std::function<int(int)>& place) {
  ListView_SetItemState(FHandle, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  for (const auto& [row, states] : rows) {
    int to = place(row);
    if (to >= 0 && to < Count()) ListView_SetItemState(FHandle, to, states, states);
  }
}

int TListView::InsertItem(int index, const std::wstring& caption) {
  index = std::clamp(index, 0, Count());
  auto marked = MarkedRows();
  FRows.insert(FRows.begin() + index, TEntry{caption, {}, false});
  SetControlCount();
  // Rows below the new one move down, and their selection with them.
  if (!marked.empty()) RemarkRows(marked, [index](int row) { return row < index ? row : row + 1; });
  return index;
}

void TListView::AppendRows(std::vector<TRow> rows) {
  if (rows.empty()) return;
  FRows.reserve(FRows.size() + rows.size());
  for (TRow& row : rows)
    FRows.push_back(TEntry{std::move(row.Caption), std::move(row.SubItems), row.Checked});
  SetControlCount();
}

const std::wstring* TListView::Text(int row, int column) const {
  if (row < 0 || row >= Count() || column < 0) return nullptr;
  const TEntry& entry = FRows[static_cast<size_t>(row)];
  if (column == 0) return &entry.Caption;
  if (static_cast<size_t>(column) > entry.SubItems.size()) return nullptr;
  return &entry.SubItems[static_cast<size_t>(column - 1)];
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

const std::wstring& TListView::SubItem(int row, int index) const {
  static const std::wstring kNone;
  const std::wstring* text = Text(row, index + 1);
  return text ? *text : kNone;
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
  return row >= 0 && row < Count() && FRows[static_cast<size_t>(row)].Checked;
}

void TListView::SetChecked(int row, bool checked) {
  if (row < 0 || row >= Count() || FRows[static_cast<size_t>(row)].Checked == checked) return;
  FRows[static_cast<size_t>(row)].Checked = checked;
  RepaintRow(row);
}

TListView::TRow TListView::Row(int row) const {
  TRow data;
  if (row < 0 || row >= Count()) return data;
  const TEntry& entry = FRows[static_cast<size_t>(row)];
  data.Caption = entry.Caption;
  data.SubItems = entry.SubItems;
  data.Checked = entry.Checked;
  return data;
}

void TListView::Reorder(const std::vector<int>& order) {
  int count = Count();
  std::vector<int> place(order.size(), -1);
  if (static_cast<int>(order.size()) != count) throw std::invalid_argument("Not a row order");
  for (size_t i = 0; i < order.size(); ++i) {
    int from = order[i];
    if (from < 0 || from >= count || place[static_cast<size_t>(from)] >= 0)
      throw std::invalid_argument("Not a row order");
    place[static_cast<size_t>(from)] = static_cast<int>(i);
  }
  // Check boxes, selection and focus belong to a row, not to a place in the list: they
  // move with it.
  auto marked = MarkedRows();
  std::vector<TEntry> rows;
  rows.reserve(FRows.size());
  for (int from : order) rows.push_back(std::move(FRows[static_cast<size_t>(from)]));
  FRows = std::move(rows);
  RemarkRows(marked, [&](int row) { return place[static_cast<size_t>(row)]; });
  if (FUpdating == 0) InvalidateRect(FHandle, nullptr, TRUE);
}

void TListView::SetCheckState(int row, UINT stateImage) {
  // State image 2 is the ticked box, 1 the empty one.
  bool checked = ((stateImage & LVIS_STATEIMAGEMASK) >> 12) == 2;
  if (row == -1) {
    for (TEntry& entry : FRows) entry.Checked = checked;
    if (FUpdating == 0) InvalidateRect(FHandle, nullptr, TRUE);
  } else {
    SetChecked(row, checked);
  }
}

void TListView::ToggleCheck(int row) {
  if (row >= 0 && row < Count()) SetChecked(row, !Checked(row));
}

LRESULT CALLBACK TListView::ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<TListView*>(data);
  switch (message) {
    case LVM_SETITEMSTATE:
    case LVM_SETITEMW:
    case LVM_SETITEMA: {
      // The control keeps no check boxes of its rows: a change asked of it, also from
      // another program, lands here. Only the state fields are read, which the ANSI and
      // Unicode forms share.
      auto* item = reinterpret_cast<LVITEMW*>(lParam);
      bool setsState = message == LVM_SETITEMSTATE || (item && (item->mask & LVIF_STATE));
      if (!item || !setsState || !(item->stateMask & LVIS_STATEIMAGEMASK)) break;
      int row = message == LVM_SETITEMSTATE ? static_cast<int>(wParam) : item->iItem;
      self->SetCheckState(row, item->state);
      LVITEMW rest = *item;
      rest.stateMask &= ~LVIS_STATEIMAGEMASK;
      if (message == LVM_SETITEMSTATE && rest.stateMask == 0) return TRUE;
      return DefSubclass(window, message, wParam, reinterpret_cast<LPARAM>(&rest));
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      // A click on a row's box ticks or clears it, every click of a double click too.
      LVHITTESTINFO hit{};
      hit.pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      int row = static_cast<int>(
          DefSubclass(window, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
      if (row >= 0 && hit.iSubItem == 0 && (hit.flags & LVHT_ONITEMSTATEICON))
        self->ToggleCheck(row);
      break;
    }
    case WM_KEYDOWN:
      if (wParam == VK_SPACE)
        self->ToggleCheck(static_cast<int>(
            DefSubclass(window, LVM_GETNEXTITEM, WPARAM(-1), MAKELPARAM(LVNI_FOCUSED, 0))));
      break;
    default:
      break;
  }
  return DefSubclass(window, message, wParam, lParam);
}

bool TListView::OnNotify(NMHDR* header, LRESULT& result) {
  switch (header->code) {
    case LVN_GETDISPINFOW: {
      auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
      LVITEMW& item = info->item;
      if ((item.mask & LVIF_STATE) && (item.stateMask & LVIS_STATEIMAGEMASK))
        item.state = (item.state & ~LVIS_STATEIMAGEMASK) |
                     INDEXTOSTATEIMAGEMASK(Checked(item.iItem) ? 2 : 1);
      if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        const std::wstring* text = Text(item.iItem, item.iSubItem);
        size_t n = text ? std::min(text->size(), static_cast<size_t>(item.cchTextMax - 1)) : 0;
        if (n) text->copy(item.pszText, n);
        item.pszText[n] = L'\0';
      }
      result = 0;
      return true;
    }
    case LVN_ODFINDITEMW: {
      // Typing a row's first letters finds it, as in a list that holds its texts.
      auto* find = reinterpret_cast<NMLVFINDITEMW*>(header);
      result = FindRow(find->lvfi, find->iStart);
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
