// Report-style list view with check boxes: rows of a caption and sub-item texts.
// Rows are addressed by index (0-based, display order). Sorting rewrites the rows in
// the order the caller gives, so the order is ours, not the control's.
//
// The rows live here, in display order, texts and check boxes; the control only knows
// how many there are and asks for what it shows, also when another program asks it, so
// a catalogue of thousands of rows fills at once. Selection and focus are the
// control's. A check box changes by a click on it, the space bar on the focused row,
// SetChecked, or a state change sent to the control (LVM_SETITEMSTATE).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include <commctrl.h>

#include "ui/Controls.h"

namespace ui {

class TListView : public TControl {
 public:
  // One row as a whole, for sorting and for tests.
  struct TRow {
    std::wstring Caption;
    std::vector<std::wstring> SubItems;
    bool Checked = false;
  };

  std::function<void(int row, std::wstring& tip)> OnInfoTip;
  std::function<void(int column)> OnColumnClick;
  std::function<void(int row)> OnSelectItem;

  ~TListView() override;
  // Creation: the control's window must have the LVS_OWNERDATA style.
  void Setup();

  void AddColumn(const std::wstring& caption, int width);
  int ColumnCount() const;
  std::wstring ColumnCaption(int column) const;
  void SetColumnCaption(int column, const std::wstring& caption);
  int ColumnWidth(int column) const;

  int Count() const;
  void Clear();
  // Between these, changes to row texts repaint nothing; the end repaints the list
  // once. They nest.
  void BeginUpdate();
  void EndUpdate();
  // Inserts a row with no sub-items at `index` (Count() appends); returns its index.
  int InsertItem(int index, const std::wstring& caption);
  std::wstring ItemCaption(int row) const;
  void SetItemCaption(int row, const std::wstring& caption);
  // Sub-item k is shown in column k + 1. Setting sub-item SubItemCount(row) appends one.
  int SubItemCount(int row) const;
  // The text itself, valid until the row changes; an empty text where there is none.
  const std::wstring& SubItem(int row, int index) const;
  void SetSubItem(int row, int index, const std::wstring& text);
  bool Checked(int row) const;
  void SetChecked(int row, bool checked);

  TRow Row(int row) const;
  // Appends rows as one change: one repaint, the control grown once.
  void AppendRows(std::vector<TRow> rows);
  // Puts the row now at order[i] at place i; `order` is a permutation of the rows. Check
  // boxes, selection and focus move with their rows.
  void Reorder(const std::vector<int>& order);

 protected:
  bool OnNotify(NMHDR* header, LRESULT& result) override;
  const wchar_t* const* Ancestry() const override;

 private:
  struct TEntry {
    std::wstring Caption;
    std::vector<std::wstring> SubItems;
    bool Checked = false;
  };
  static LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR data);
  const std::wstring* Text(int row, int column) const;
  void RepaintRow(int row);
  void SetControlCount();
  void SetCheckState(int row, UINT stateImage);
  void ToggleCheck(int row);
  int FindRow(const LVFINDINFOW& find, int start) const;
  // Selected and focused rows with their states, and setting them again at new places.
  std::vector<std::pair<int, UINT>> MarkedRows() const;
  void RemarkRows(const std::vector<std::pair<int, UINT>>& rows,
                  const std::function<int(int)>& place);

  std::vector<TEntry> FRows;
  int FUpdating = 0;
};

// Holds a list's repaint for one scope (TListView::BeginUpdate / EndUpdate).
class TListUpdate {
 public:
  explicit TListUpdate(TListView& list) : FList(list) { FList.BeginUpdate(); }
  TListUpdate(const TListUpdate&) = delete;
  TListUpdate& operator=(const TListUpdate&) = delete;
  ~TListUpdate() { FList.EndUpdate(); }

 private:
  TListView& FList;
};

}  // namespace ui
