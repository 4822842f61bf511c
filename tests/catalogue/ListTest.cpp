// The add-on list on the real main window: rows in Big5 caption order with their
// ordinals, the shared direction of the column sort, the status check and its counters,
// the row tip through the list's own notification, select all / none and the list-size
// toggle.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "CatalogueTestSupport.h"

namespace {

using cattest::Captions;
using cattest::TMainWindowTest;

using AddonList = TMainWindowTest;

std::vector<std::wstring> Column(const ui::TListView& list, int subItem) {
  std::vector<std::wstring> texts;
  for (int i = 0; i < list.Count(); ++i) texts.push_back(list.SubItem(i, subItem));
  return texts;
}

// What the list control sends its parent when the mouse rests on a row.
std::wstring TipOf(const ui::TListView& list, int row) {
  wchar_t buffer[1024] = {};
  NMLVGETINFOTIPW info{};
  info.hdr.hwndFrom = list.Handle();
  info.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list.Handle()));
  info.hdr.code = LVN_GETINFOTIPW;
  info.pszText = buffer;
  info.cchTextMax = 1024;
  info.iItem = row;
  SendMessageW(GetParent(list.Handle()), WM_NOTIFY, info.hdr.idFrom,
               reinterpret_cast<LPARAM>(&info));
  return buffer;
}

// A click on a column header as the header control reports it.
void ClickColumn(const ui::TListView& list, int column) {
  NMLISTVIEW view{};
  view.hdr.hwndFrom = list.Handle();
  view.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list.Handle()));
  view.hdr.code = LVN_COLUMNCLICK;
  view.iItem = -1;
  view.iSubItem = column;
  SendMessageW(GetParent(list.Handle()), WM_NOTIFY, view.hdr.idFrom,
               reinterpret_cast<LPARAM>(&view));
}

TEST_F(AddonList, RowsKeepBig5CaptionOrderAndDocumentOrdinals) {
  // UTF-16 order would put 丁 before 乙 and 任務 before 天氣.
  for (const wchar_t* name : {L"龍", L"丁", L"天氣", L"beta", L"乙", L"任務", L"Alpha", L"一"})
    AddRow(name);
  EXPECT_EQ(
      Captions(*Form->ListView1),
      (std::vector<std::wstring>{L"Alpha", L"beta", L"一", L"乙", L"丁", L"天氣", L"任務", L"龍"}));
  EXPECT_EQ(Column(*Form->ListView1, 0),
            (std::vector<std::wstring>{L"7", L"4", L"8", L"5", L"2", L"3", L"6", L"1"}));
  // Equal captions keep the order they came in; a selected row moves down with its row.
  ListView_SetItemState(Form->ListView1->Handle(), 3, LVIS_SELECTED, LVIS_SELECTED);
  AddRow(L"一", L"second");
  EXPECT_EQ(ListView_GetNextItem(Form->ListView1->Handle(), -1, LVNI_SELECTED), 4);
  EXPECT_EQ(Form->ListView1->SubItem(2, 1), L"f");
  EXPECT_EQ(Form->ListView1->SubItem(3, 1), L"second");
}

TEST_F(AddonList, ColumnSortDirectionIsSharedAndStartsDescending) {
  AddRow(L"甲", L"f1", L"d", L"bob");
  AddRow(L"乙", L"f2", L"d", L"Carl");
  AddRow(L"丙", L"f3", L"d", L"alice");
  ASSERT_FALSE(Form->SortAscending);

  ClickColumn(*Form->ListView1, 4);  // "作者": descending, letters folded
  EXPECT_EQ(Column(*Form->ListView1, 3), (std::vector<std::wstring>{L"Carl", L"bob", L"alice"}));
  EXPECT_TRUE(Form->SortAscending);
  ClickColumn(*Form->ListView1, 4);
  EXPECT_EQ(Column(*Form->ListView1, 3), (std::vector<std::wstring>{L"alice", L"bob", L"Carl"}));
  ClickColumn(*Form->ListView1, 0);  // "UI名稱" after two clicks: descending again
  EXPECT_EQ(Captions(*Form->ListView1), (std::vector<std::wstring>{L"甲", L"丙", L"乙"}));
  // Rows move whole: the folder and the check box go with the caption.
  EXPECT_EQ(Column(*Form->ListView1, 1), (std::vector<std::wstring>{L"f1", L"f3", L"f2"}));
}

TEST_F(AddonList, CheckBoxSelectionAndFocusMoveWithTheirRows) {
  AddRow(L"A", L"a");
  AddRow(L"B", L"b");
  ListView_SetItemState(Form->ListView1->Handle(), 0, LVIS_SELECTED | LVIS_FOCUSED, 0xFF);
  Form->ListView1->SetChecked(0, true);  // A
  Form->ListView1ColumnClick(0);         // descending: B, A
  EXPECT_EQ(Captions(*Form->ListView1), (std::vector<std::wstring>{L"B", L"A"}));
  EXPECT_FALSE(Form->ListView1->Checked(0));
  EXPECT_TRUE(Form->ListView1->Checked(1));
  EXPECT_EQ(LVIS_SELECTED | LVIS_FOCUSED,
            ListView_GetItemState(Form->ListView1->Handle(), 1, 0xFF));
}

// The list holds its rows' check boxes itself; the control and other programs reach
// them through the control's own messages, and the mouse and space bar tick them.
TEST_F(AddonList, CheckBoxesAnswerTheControlsMessagesTheMouseAndTheSpaceBar) {
  for (const wchar_t* name : {L"a", L"b", L"c"}) AddRow(name);
  HWND list = Form->ListView1->Handle();
  auto stateOf = [&](int row) {
    return (ListView_GetItemState(list, row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >> 12;
  };
  ListView_SetItemState(list, 1, INDEXTOSTATEIMAGEMASK(2), LVIS_STATEIMAGEMASK);
  EXPECT_TRUE(Form->ListView1->Checked(1));
  EXPECT_EQ(stateOf(1), 2u);
  EXPECT_EQ(stateOf(0), 1u);
  ListView_SetItemState(list, -1, INDEXTOSTATEIMAGEMASK(2), LVIS_STATEIMAGEMASK);
  EXPECT_TRUE(Form->ListView1->Checked(0) && Form->ListView1->Checked(2));

  // A click on row 2's box clears it; a click elsewhere on the row does not.
  RECT bounds{};
  bounds.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&bounds));
  int y = (bounds.top + bounds.bottom) / 2;
  int boxX = -1;
  for (int x = bounds.left; x < bounds.left + 40 && boxX < 0; ++x) {
    LVHITTESTINFO hit{{x, y}, 0, -1, 0, 0};
    if (ListView_SubItemHitTest(list, &hit) == 2 && (hit.flags & LVHT_ONITEMSTATEICON)) boxX = x;
  }
  ASSERT_GE(boxX, 0);
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(boxX, y));
  SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(boxX, y));
  EXPECT_FALSE(Form->ListView1->Checked(2));
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(bounds.left + 80, y));
  SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(bounds.left + 80, y));
  EXPECT_FALSE(Form->ListView1->Checked(2));

  ListView_SetItemState(list, 0, LVIS_FOCUSED, LVIS_FOCUSED);
  SendMessageW(list, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_FALSE(Form->ListView1->Checked(0));
  EXPECT_TRUE(Form->ListView1->Checked(1));

  // Typing a caption's first letter still finds its row.
  SendMessageW(list, WM_CHAR, L'C', 1);
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), 2);
}

// Rows added to a list on screen leave it on screen, with a vertical bar over all rows.
TEST_F(AddonList, RowsAddedToAShownListBringItsScrollBar) {
  Form->Show();
  HWND list = Form->ListView1->Handle();
  Form->ListView1->AppendRows(std::vector<ui::TListView::TRow>(500, {L"x", {L"1", L"f"}, false}));
  AddRow(L"y");
  EXPECT_TRUE(IsWindowVisible(list));
  SCROLLBARINFO bar{};
  bar.cbSize = sizeof(bar);
  ASSERT_TRUE(GetScrollBarInfo(list, OBJID_VSCROLL, &bar));
  EXPECT_FALSE(bar.rgstate[0] & STATE_SYSTEM_INVISIBLE);
  SCROLLINFO range{};
  range.cbSize = sizeof(range);
  range.fMask = SIF_RANGE;
  ASSERT_TRUE(GetScrollInfo(list, SB_VERT, &range));
  EXPECT_EQ(range.nMax, 500);
}

TEST_F(AddonList, StatusColumnSortsInstalledFirstWhenAscending) {
  for (const wchar_t* folder : {L"a", L"b", L"c", L"d"})
    AddRow(std::wstring(L"n") + folder, folder);
  Install(L"b");
  Install(L"d");
  Form->BitBtn4->Click();
  EXPECT_EQ(Form->ListView1->ColumnCaption(1), L"狀態");

  Form->ListView1ColumnClick(1);  // first click: descending
  EXPECT_EQ(Column(*Form->ListView1, 0),
            (std::vector<std::wstring>{L"未安裝", L"未安裝", L"已安裝", L"已安裝"}));
  Form->ListView1ColumnClick(1);
  EXPECT_EQ(Column(*Form->ListView1, 0),
            (std::vector<std::wstring>{L"已安裝", L"已安裝", L"未安裝", L"未安裝"}));
}

TEST_F(AddonList, CompareRowsTreatsMissingSubItemsAsEqual) {
  ui::TListView::TRow full{L"A", {L"1", L"f", L"d", L"x"}, false};
  ui::TListView::TRow shortRow{L"B", {L"2"}, false};
  EXPECT_EQ(Form->CompareRows(full, shortRow, 4), 0);
  EXPECT_EQ(Form->CompareRows(shortRow, full, 2), 0);
  EXPECT_GT(Form->CompareRows(full, shortRow, 1), 0);  // descending: "1" after "2"
  Form->SortAscending = true;
  EXPECT_LT(Form->CompareRows(full, shortRow, 1), 0);
}

TEST_F(AddonList, StatusCheckCountsAndShowsNegativeDifference) {
  for (int i = 0; i < 12; ++i)
    AddRow(L"row" + std::to_wstring(i), L" addon" + std::to_wstring(i) + L" ");
  for (int i : {0, 3, 7}) Install(L"addon" + std::to_wstring(i));
  // A file of that name is no installed add-on: only folders count.
  CloseHandle(CreateFileW((AddonsDir() / L"addon5").c_str(), GENERIC_WRITE, 0, nullptr,
                          CREATE_ALWAYS, 0, nullptr));
  Form->ListView1->SetChecked(2, true);
  Form->LaunchAddonCount = 15;
  Form->BitBtn4->Click();

  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(Form->Label12->Caption(), L"3");
  EXPECT_EQ(Form->Label14->Caption(), L"9");
  EXPECT_EQ(Form->Label10->Caption(), L"12");
  EXPECT_EQ(Form->Label15->Caption(), L"最近更新個數-3");
  for (int i = 0; i < 12; ++i) {
    std::wstring folder = Form->ListView1->SubItem(i, 1);
    bool installed = folder == L" addon0 " || folder == L" addon3 " || folder == L" addon7 ";
    EXPECT_EQ(Form->ListView1->SubItem(i, 0), installed ? L"已安裝" : L"未安裝") << i;
    EXPECT_EQ(Form->ListView1->Checked(i), i == 2) << "the check does not touch check boxes";
  }
}

TEST_F(AddonList, StatusCheckFindsFoldersWithoutRegardToCase) {
  AddRow(L"a", L"MyAddon");
  AddRow(L"b", L"Other");
  Install(L"myaddon");
  Form->BitBtn4->Click();
  EXPECT_EQ(Column(*Form->ListView1, 0), (std::vector<std::wstring>{L"已安裝", L"未安裝"}));
}

TEST_F(AddonList, FolderThatIsNoPlainNameIsNeverInstalled) {
  // "" and "." would name the add-on directory itself, "Real." the folder "Real".
  for (const wchar_t* folder : {L"  ", L".", L" .. ", L"CON", L"Real."}) AddRow(L"a", folder);
  AddRow(L"b", L" Real ");
  Install(L"Real");
  Form->BitBtn4->Click();
  for (int row = 0; row < 5; ++row) EXPECT_EQ(Form->ListView1->SubItem(row, 0), L"未安裝") << row;
  EXPECT_EQ(Form->ListView1->SubItem(5, 0), L"已安裝");
}

TEST_F(AddonList, TipShowsCaptionAuthorAndDescription) {
  AddRow(L"天氣", L"w", L"顯示天氣", L"阿華");
  AddRow(L"地圖", L"m", L"", L"Ann");
  EXPECT_EQ(TipOf(*Form->ListView1, 0), L"天氣\r\n阿華\r\n顯示天氣");
  EXPECT_EQ(TipOf(*Form->ListView1, 1), L"地圖\r\nAnn\r\n");  // empty description
}

TEST_F(AddonList, SelectAllAndNone) {
  for (const wchar_t* name : {L"a", L"b", L"c"}) AddRow(name);
  Form->ListView1->SetChecked(1, true);
  Form->BitBtn1->Click();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Form->ListView1->Checked(i));
  Form->BitBtn2->Click();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(Form->ListView1->Checked(i));
}

TEST_F(AddonList, EnlargeTwiceRestoresTheLayout) {
  Form->Show();
  Form->Timer1.SetEnabled(false);  // no automatic update in this test
  RECT before{};
  GetWindowRect(Form->ListView1->Handle(), &before);
  ASSERT_TRUE(Form->Panel1->Visible());

  Form->Button2->Click();
  EXPECT_EQ(Form->Button2->Caption(), L"恢復列錶");
  EXPECT_FALSE(Form->Panel1->Visible());
  RECT enlarged{};
  GetWindowRect(Form->ListView1->Handle(), &enlarged);
  EXPECT_EQ(enlarged.bottom - enlarged.top, before.bottom - before.top + 209);

  Form->N4Click();  // "恢復視窗" runs the same toggle
  EXPECT_EQ(Form->Button2->Caption(), L"放大列錶");
  EXPECT_TRUE(Form->Panel1->Visible());
  RECT after{};
  GetWindowRect(Form->ListView1->Handle(), &after);
  EXPECT_TRUE(EqualRect(&before, &after));
  Form->Hide();
}

}  // namespace
