// Report-style list view with check boxes: rows of a caption and sub-item texts.
// Rows are addressed by index (0-based, display order). Sorting rewrites the rows in
// the order a comparison gives, so the order is ours, not the control's.
//
// The texts live here, in display order; the control holds one item per row whose
// texts it asks for when it paints or is asked (also from other processes), so adding
// or changing a row costs no text copies in the control. Check boxes, selection and
// focus stay the control's own item states.
#pragma once

#include <functional>
#include <string>
#include <vector>

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
  std::wstring SubItem(int row, int index) const;
  void SetSubItem(int row, int index, const std::wstring& text);
  bool Checked(int row) const;
  void SetChecked(int row, bool checked);

  TRow Row(int row) const;
  // Appends rows as one change: one repaint, the control grown once.
  void AppendRows(std::vector<TRow> rows);
  // Reorders all rows by `compare` (negative: first before second), keeping check
  // boxes with their rows.
  void Sort(const std::function<int(const TRow&, const TRow&)>& compare);
  // Puts the row now at order[i] at place i; `order` is a permutation of the rows.
  void Reorder(const std::vector<int>& order);

 protected:
  bool OnNotify(NMHDR* header, LRESULT& result) override;
  const wchar_t* const* Ancestry() const override;

 private:
  struct TTexts {
    std::wstring Caption;
    std::vector<std::wstring> SubItems;
  };
  const std::wstring* Text(int row, int column) const;
  void RepaintRow(int row);
  int InsertControlItem(int index, bool checked);

  std::vector<TTexts> FRows;
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
