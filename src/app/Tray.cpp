// Close to tray, the tray icon's clicks and menu, edge docking, the session-end answer
// and the right-button filter of the web panel areas.
#include "app/Form1.h"
#include "tray/Docking.h"
#include "tray/TrayIcon.h"
#include "ui/Application.h"

namespace app {

namespace {

// The tray icon: a 64 x 64 picture of our own, drawn once.
HICON DrawTrayIcon() {
  constexpr int kSize = 64;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP color = CreateCompatibleBitmap(screen, kSize, kSize);
  HBITMAP mask = CreateBitmap(kSize, kSize, 1, 1, nullptr);
  ReleaseDC(nullptr, screen);

  HGDIOBJ old = SelectObject(dc, color);
  RECT all{0, 0, kSize, kSize};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  HBRUSH disc = CreateSolidBrush(RGB(20, 110, 190));
  HBRUSH arrow = CreateSolidBrush(RGB(255, 200, 40));
  HGDIOBJ oldBrush = SelectObject(dc, disc);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  Ellipse(dc, 2, 2, kSize - 2, kSize - 2);
  SelectObject(dc, arrow);
  POINT shape[] = {{32, 10}, {52, 32}, {40, 32}, {40, 54}, {24, 54}, {24, 32}, {12, 32}};
  Polygon(dc, shape, 7);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(disc);
  DeleteObject(arrow);

  // Opaque inside the disc, transparent around it.
  SelectObject(dc, mask);
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  oldBrush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
  Ellipse(dc, 2, 2, kSize - 2, kSize - 2);
  SelectObject(dc, oldBrush);
  SelectObject(dc, old);
  DeleteDC(dc);

  ICONINFO info{TRUE, 0, 0, mask, color};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(color);
  DeleteObject(mask);
  return icon;
}

}  // namespace

void TForm1::CreateTrayIcon() {
  TrayIcon1 = std::make_unique<tray::TTrayIcon>(Handle());
  TrayIcon1->SetMainWindow(Handle());
  HICON icon = DrawTrayIcon();
  TrayIcon1->SetIcon(icon);
  DestroyIcon(icon);
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
  if (msg.message != WM_RBUTTONDOWN && msg.message != WM_RBUTTONUP &&
      msg.message != WM_RBUTTONDBLCLK)
    return false;
  // The web panels fill these two areas; their own context menus never show.
  bool handled = false;
  if (IsChild(Panel1->Handle(), msg.hwnd)) handled = true;
  if (IsChild(Panel4->Handle(), msg.hwnd)) handled = true;
  return handled;
}

}  // namespace app
