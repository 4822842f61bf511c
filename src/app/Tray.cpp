// Close to tray, the tray icon's clicks and menu, edge docking, the session-end answer
// and the message filter: the right-button filter of the web panel areas and the
// window's system keys.
#include "app/Form1.h"
#include "tray/Docking.h"
#include "tray/TrayIcon.h"
#include "ui/Application.h"

namespace app {

void TForm1::CreateTrayIcon() {
  TrayIcon1 = std::make_unique<tray::TTrayIcon>(Handle());
  TrayIcon1->SetMainWindow(Handle());
  // The component keeps its own copy of the image.
  if (HICON icon = static_cast<HICON>(LoadImageW(ui::Application().Instance(), L"TRAYICON",
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0))) {
    TrayIcon1->SetIcon(icon);
    DestroyIcon(icon);
  }
  TrayIcon1->SetHint(L"VornisTools");
  TrayIcon1->SetPopupMenu(&PopupMenu1);
  TrayIcon1->OnClick = [this](tray::TTrayIcon&) { TrayIcon1Click(); };
  TrayIcon1->OnDblClick = [this](tray::TTrayIcon&) { TrayIcon1DblClick(); };
  TrayIcon1->Loaded();
  ui::Application().OnMessage = [this](const MSG& msg) { return ApplicationEvents1Message(msg); };
}

bool TForm1::FormCloseQuery() {
  if (FCanQuit) return true;
  TrayIcon1->ConcealMainWindow();
  TrayIcon1->SetIconVisible(true);
  TrayIcon1->ShowBalloonTip(L"VornisTools ", L"青橙遊戲網! Hello", tray::TBalloonIcon::Info, 10);
  return false;
}

void TForm1::TrayIcon1Click() {
  TrayIcon1->ConcealMainWindow();
  TrayIcon1->SetIconVisible(true);
}

void TForm1::TrayIcon1DblClick() {
  if (TrayIcon1->IconVisible()) {
    TrayIcon1->RestoreMainWindow();
    TrayIcon1->SetIconVisible(false);
  } else {
    TrayIcon1->ConcealMainWindow();
  }
}

void TForm1::RestoreMClick() {
  TrayIcon1->RestoreMainWindow();
  TrayIcon1->SetIconVisible(false);
  Button3->Click();
}

void TForm1::N12Click() {
  TrayIcon1->RestoreMainWindow();
  TrayIcon1->SetIconVisible(false);
  Button3->Click();
}

void TForm1::WMMoving(RECT& dragged) {
  RECT screen = dock::PrimaryScreenRect();
  dragged = dock::ClampToScreen(dragged, screen);
  FDockedEdges = dock::ComputeDockedEdges(dragged, screen);
  Timer4.SetEnabled(FDockedEdges != dock::kNoEdge);
}

void TForm1::Timer4Timer() {
  // The cursor over any part of the window, its controls included, keeps it slid in.
  RECT window{};
  GetWindowRect(Handle(), &window);
  POINT place = dock::SlidePosition(window, FDockedEdges, dock::PrimaryScreenRect(),
                                    dock::CursorOverWindow(Handle()));
  SetWindowPos(Handle(), nullptr, place.x, place.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TForm1::ApplicationEvents1Message(const MSG& msg) {
  if (RouteSystemKey(msg)) return true;
  if (msg.message != WM_RBUTTONDOWN && msg.message != WM_RBUTTONUP &&
      msg.message != WM_RBUTTONDBLCLK)
    return false;
  // The web panels fill these two areas; their own context menus never show.
  return InWebPanel(msg.hwnd);
}

bool TForm1::InWebPanel(HWND window) const {
  return IsChild(Panel1->Handle(), window) || IsChild(Panel4->Handle(), window);
}

// Keys that name a menu of the window: Alt itself (alone it opens the menu bar), F10,
// Alt+Space for the window menu, and Alt with the access key of a menu bar entry. The
// number pad never does, whatever character its keys map to: Alt and the number pad
// type a character.
bool TForm1::NamesMenu(const MSG& msg) const {
  if (msg.message == WM_SYSCHAR || msg.message == WM_SYSDEADCHAR) {
    wchar_t typed = static_cast<wchar_t>(msg.wParam);
    return typed == L' ' || MainMenu1.FindAccessKey(typed);
  }
  UINT key = static_cast<UINT>(msg.wParam);
  if (key == VK_MENU || key == VK_F10 || key == VK_SPACE) return true;
  if (key >= VK_NUMPAD0 && key <= VK_DIVIDE) return false;
  wchar_t typed = static_cast<wchar_t>(MapVirtualKeyW(key, MAPVK_VK_TO_CHAR) & 0xFFFF);
  return typed > L' ' && MainMenu1.FindAccessKey(typed);
}

// The skin draws the menu bar itself and takes the menu off the window, so the system's
// search for a menu from a focused control finds none (Alt+letter does nothing). Alt
// combinations and F10 typed in a control of the window go to the window itself, as if
// it had the focus. A web page keeps the ones that name no menu of the window: its own
// access keys, Alt+Down on its drop-down lists, Alt and the number pad.
bool TForm1::RouteSystemKey(const MSG& msg) {
  if (msg.message != WM_SYSKEYDOWN && msg.message != WM_SYSKEYUP && msg.message != WM_SYSCHAR &&
      msg.message != WM_SYSDEADCHAR)
    return false;
  if (!IsChild(Handle(), msg.hwnd)) return false;
  if (InWebPanel(msg.hwnd) && !NamesMenu(msg)) return false;
  MSG own = msg;
  own.hwnd = Handle();
  TranslateMessage(&own);
  DispatchMessageW(&own);
  return true;
}

}  // namespace app
