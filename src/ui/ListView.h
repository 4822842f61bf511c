// Report-style list view with check boxes: rows of a caption and sub-item texts.
// Rows are addressed by index (0-based, display order). Sorting rewrites the rows in
// the order a comparison gives, so the order is ours, not the control's.
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
  // Reorders all rows by `compare` (negative: first before second), keeping check
  // boxes with their rows.
  void Sort(const std::function<int(const TRow&, const TRow&)>& compare);

 protected:
  bool OnNotify(NMHDR* header, LRESULT& result) override;
  const wchar_t* const* Ancestry() const override;

 private:
  std::wstring ItemText(int row, int column) const;
  void SetItemText(int row, int column, const std::wstring& text);
  void SetRow(int row, const TRow& data);
};

}  // namespace ui
