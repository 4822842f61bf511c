// A floor of bench/startup.sh beside the bare window: what the manager cannot show its
// window without, and nothing of its own. The bare window's class and place, plus the
// common controls 6 (the manager's manifest), OLE joined on the window thread, a menu
// bar of five entries, and child windows of the kinds and number the main window has
// (panels, labels, a report list view with check boxes and five columns, buttons, a
// group box, progress bars). What the manager takes beyond this is its own work: the
// skin, the glyphs, the tray icon, the application window, the showing sequence.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <initializer_list>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND Child(const wchar_t* className, DWORD style, DWORD exStyle, HWND parent, RECT bounds,
           const wchar_t* text, HFONT font) {
  HWND child = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, bounds.left,
                               bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                               parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  OleInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_TAB_CLASSES |
                                                      ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                      ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"BareWindow";
  RegisterClassExW(&wc);
  wc.lpszClassName = L"FloorPanel";
  RegisterClassExW(&wc);
  HWND window =
      CreateWindowExW(WS_EX_TOPMOST, L"BareWindow", L"Floor window",
                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                      480, 153, 584, 677, nullptr, nullptr, instance, nullptr);

  HMENU bar = CreateMenu();
  for (const wchar_t* caption : {L"檔案", L"青橙遊戲網", L"維諾斯專區", L"選項(&C)", L"幫助(&H)"}) {
    HMENU popup = CreatePopupMenu();
    AppendMenuW(popup, MF_STRING, 100, caption);
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), caption);
  }
  SetMenu(window, bar);
  HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                           0, L"Arial");
  HWND top = Child(L"FloorPanel", 0, 0, window, {0, 0, 578, 209}, L"", font);
  Child(L"FloorPanel", 0, 0, top, {0, 0, 578, 209}, L"", font);
  HWND middle = Child(L"FloorPanel", 0, 0, window, {0, 209, 578, 419}, L"", font);
  HWND header = Child(L"FloorPanel", 0, 0, middle, {0, 0, 578, 17}, L"", font);
  for (int i = 0; i < 8; ++i)
    Child(WC_STATICW, SS_LEFT, 0, header, {6 + 60 * i, 2, 56 + 60 * i, 16}, L"個數", font);
  HWND list = Child(WC_LISTVIEWW, LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_VSCROLL,
                    WS_EX_CLIENTEDGE, middle, {0, 17, 578, 200}, L"", font);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  const wchar_t* columns[] = {L"UI名稱", L"UI_ID", L"文件夾", L"描述", L"作者"};
  const int widths[] = {110, 70, 1, 280, 100};
  for (int i = 0; i < 5; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = widths[i];
    column.pszText = const_cast<wchar_t*>(columns[i]);
    SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
  HWND bottom = Child(L"FloorPanel", 0, 0, window, {0, 419, 578, 602}, L"", font);
  for (int i = 0; i < 10; ++i)
    Child(WC_BUTTONW, BS_PUSHBUTTON, 0, bottom, {12 + 55 * i, 4, 62 + 55 * i, 29}, L"按鈕", font);
  Child(L"FloorPanel", 0, 0, bottom, {208, 5, 289, 29}, L"", font);
  HWND group = Child(WC_BUTTONW, BS_GROUPBOX, 0, bottom, {8, 74, 296, 178}, L"更新列錶內UI", font);
  Child(WC_STATICW, SS_LEFT, 0, group, {10, 18, 278, 34}, L"正常", font);
  Child(PROGRESS_CLASSW, 0, 0, group, {10, 36, 278, 50}, L"", font);
  Child(WC_STATICW, SS_LEFT, 0, group, {10, 60, 278, 76}, L"安裝到遊戲目錄", font);
  Child(PROGRESS_CLASSW, 0, 0, group, {10, 78, 278, 92}, L"", font);

  ShowWindow(window, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  OleUninitialize();
  return 0;
}
