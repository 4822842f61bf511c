#include "ui/Controls.h"

#include <commctrl.h>

#include <map>
#include <tuple>

#include "ui/Application.h"
#include "ui/Subclass.h"
#include "ui/ListView.h"

namespace ui {

namespace {

// The object of each control window.
TWindowTable& ControlTable() {
  static TWindowTable* table = new TWindowTable;
  return *table;
}
constexpr wchar_t kPanelClass[] = L"VornisPanel";

// What every window that holds controls does: hands their notifications back to them
// and lets static texts and buttons paint on the face colour. True when it took the
// message.
bool HandleContainerMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
      return TControl::Reflect(message, wParam, lParam, result);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
      result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (HandleContainerMessage(message, wParam, lParam, result)) return result;
  return DefWindowProcW(window, message, wParam, lParam);
}

// Group boxes and tab controls are common-control windows, which would swallow their
// children's notifications.
LRESULT CALLBACK ContainerSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR, DWORD_PTR) {
  LRESULT result = 0;
  if (HandleContainerMessage(message, wParam, lParam, result)) return result;
  if (message == WM_ERASEBKGND) {
    // A group box paints only its frame; its face must be filled here, because the
    // parent clips its children and would leave the inside unpainted.
    RECT client{};
    GetClientRect(window, &client);
    FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
    return 1;
  }
  return ui::DefSubclass(window, message, wParam, lParam);
}

}  // namespace

TControl::~TControl() {
  if (FHandle) ControlTable().Remove(FHandle);
  if (FHandle && IsWindow(FHandle)) {
    DestroyWindow(FHandle);
  }
}

void TControl::CreateHandle(const wchar_t* className, DWORD style, DWORD exStyle,
                            const TControlDesc& desc, HWND parent, int id) {
  FName = desc.Name;
  FAlign = desc.Align;
  if (desc.Visible) style |= WS_VISIBLE;
  FHandle = CreateWindowExW(exStyle, className, desc.Caption, WS_CHILD | style, desc.Left, desc.Top,
                            desc.Width, desc.Height, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            Application().Instance(), nullptr);
  if (FHandle) ControlTable().Set(FHandle, this);
  SetFont(GetFont(L"Arial", 9));
}

std::wstring TControl::Caption() const {
  int length = GetWindowTextLengthW(FHandle);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(FHandle, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied));
  return text;
}

void TControl::SetCaption(const std::wstring& caption) {
  SetWindowTextW(FHandle, caption.c_str());
}

namespace {

constexpr UINT_PTR kLabelPaintTimer = 0x4C42;
constexpr UINT kLabelPaintDelayMs = 40;

}  // namespace

// Installed first, so it is the last procedure before the static control's: every other
// procedure of the chain still sees the text change.
LRESULT CALLBACK TLabel::Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR data) {
  auto* label = reinterpret_cast<TLabel*>(data);
  if (message == WM_SETTEXT) {
    // Stored where the static control stores it, without the paint it does at once.
    LRESULT result = DefWindowProcW(window, message, wParam, lParam);
    if (!label->FPaintPending)
      label->FPaintPending = SetTimer(window, kLabelPaintTimer, kLabelPaintDelayMs, nullptr) != 0;
    if (!label->FPaintPending) InvalidateRect(window, nullptr, TRUE);
    return result;
  }
  if (message == WM_TIMER && wParam == kLabelPaintTimer) {
    KillTimer(window, kLabelPaintTimer);
    label->FPaintPending = false;
    InvalidateRect(window, nullptr, TRUE);
    return 0;
  }
  return ui::DefSubclass(window, message, wParam, lParam);
}

bool TControl::Visible() const {
  return (GetWindowLongW(FHandle, GWL_STYLE) & WS_VISIBLE) != 0;
}

void TControl::SetVisible(bool visible) {
  ShowWindow(FHandle, visible ? SW_SHOW : SW_HIDE);
}

bool TControl::Enabled() const {
  return IsWindowEnabled(FHandle) != FALSE;
}

void TControl::SetEnabled(bool enabled) {
  EnableWindow(FHandle, enabled);
}

void TControl::SetFont(HFONT font) {
  SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  MoveWindow(FHandle, left, top, width, height, TRUE);
}

RECT TControl::BoundsRect() const {
  RECT rect{};
  GetWindowRect(FHandle, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(FHandle), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

TControl* TControl::FromHandle(HWND window) {
  return window ? static_cast<TControl*>(ControlTable().Get(window)) : nullptr;
}

bool TControl::Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_COMMAND && lParam != 0) {
    TControl* control = FromHandle(reinterpret_cast<HWND>(lParam));
    if (control) {
      result = 0;
      return control->OnCommand(HIWORD(wParam));
    }
  } else if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    TControl* control = FromHandle(header->hwndFrom);
    if (control) return control->OnNotify(header, result);
  }
  return false;
}

void TPanel::RegisterWindowClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = PanelProc;
  wc.hInstance = Application().Instance();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kPanelClass;
  RegisterClassExW(&wc);
  registered = true;
}

void TButton::Click() {
  if (OnClick) OnClick();
}

bool TButton::OnCommand(WORD code) {
  if (code != BN_CLICKED) return false;
  // The platform calls in here: nothing above may see an exception.
  Application().Guard([this] { Click(); });
  return true;
}

void TBitBtn::SetGlyph(HBITMAP bitmap) {
  HBITMAP old = FGlyph;
  FGlyph = bitmap;
  SendMessageW(FHandle, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
  if (old) DeleteObject(old);
}

TBitBtn::~TBitBtn() {
  if (FGlyph) DeleteObject(FGlyph);
}

bool TCheckBox::Checked() const {
  return SendMessageW(FHandle, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool checked) {
  SendMessageW(FHandle, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TProgressBar::SetMax(int max) {
  FMax = max < 0 ? 0 : max;
  SendMessageW(FHandle, PBM_SETRANGE32, 0, FMax);
  SetPosition(FPosition);
}

void TProgressBar::SetPosition(int position) {
  FPosition = position < 0 ? 0 : (position > FMax ? FMax : position);
  SendMessageW(FHandle, PBM_SETPOS, FPosition, 0);
}

void TPageControl::AddPage(TControl* page, const std::wstring& caption) {
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  std::wstring text = caption;
  item.pszText = text.data();
  SendMessageW(FHandle, TCM_INSERTITEMW, FPages.size(), reinterpret_cast<LPARAM>(&item));
  FPages.push_back(page);
  LayoutPages();
  SetActivePageIndex(ActivePageIndex() < 0 ? 0 : ActivePageIndex());
}

int TPageControl::ActivePageIndex() const {
  return static_cast<int>(SendMessageW(FHandle, TCM_GETCURSEL, 0, 0));
}

void TPageControl::SetActivePageIndex(int index) {
  SendMessageW(FHandle, TCM_SETCURSEL, index, 0);
  for (size_t i = 0; i < FPages.size(); ++i) FPages[i]->SetVisible(static_cast<int>(i) == index);
}

bool TPageControl::OnNotify(NMHDR* header, LRESULT& result) {
  if (header->code != TCN_SELCHANGE) return false;
  SetActivePageIndex(ActivePageIndex());
  result = 0;
  return true;
}

void TPageControl::LayoutPages() {
  RECT rect{};
  GetClientRect(FHandle, &rect);
  SendMessageW(FHandle, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rect));
  for (TControl* page : FPages)
    page->SetBounds(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

HFONT GetFontByPixels(const wchar_t* face, int pixelHeight, bool bold) {
  static std::map<std::tuple<std::wstring, int, bool>, HFONT> fonts;
  auto key = std::make_tuple(std::wstring(face), pixelHeight, bold);
  auto it = fonts.find(key);
  if (it != fonts.end()) return it->second;
  LOGFONTW lf{};
  lf.lfHeight = -pixelHeight;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  HFONT font = CreateFontIndirectW(&lf);
  fonts[key] = font;
  return font;
}

HFONT GetFont(const wchar_t* face, int pointSize, bool bold) {
  // Points to pixels at the screen's logical resolution, as form designers do.
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return GetFontByPixels(face, MulDiv(pointSize, dpi, 72), bold);
}

TControl* CreateControl(const TControlDesc& desc, HWND parent, int id) {
  TControl* control = nullptr;
  switch (desc.Kind) {
    case TControlKind::Panel:
    case TControlKind::TabSheet:
      TPanel::RegisterWindowClass();
      if (desc.Kind == TControlKind::TabSheet)
        control = new TTabSheet;
      else
        control = new TPanel;
      control->CreateHandle(kPanelClass, WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
                            desc, parent, id);
      break;
    case TControlKind::GroupBox:
      control = new TGroupBox;
      control->CreateHandle(WC_BUTTONW, BS_GROUPBOX | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, desc,
                            parent, id);
      ui::SetSubclass(control->FHandle, ContainerSubclass, 1, 0);
      break;
    case TControlKind::Label:
      control = new TLabel;
      control->CreateHandle(WC_STATICW, SS_LEFT | SS_NOPREFIX, 0, desc, parent, id);
      ui::SetSubclass(control->FHandle, TLabel::Subclass, 1, reinterpret_cast<DWORD_PTR>(control));
      break;
    case TControlKind::Button:
      control = new TButton;
      control->CreateHandle(WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0, desc, parent, id);
      break;
    case TControlKind::BitBtn:
      control = new TBitBtn;
      control->CreateHandle(WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0, desc, parent, id);
      break;
    case TControlKind::Edit:
      control = new TEdit;
      control->CreateHandle(WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, desc, parent,
                            id);
      break;
    case TControlKind::CheckBox:
      control = new TCheckBox;
      control->CreateHandle(WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP, 0, desc, parent, id);
      break;
    case TControlKind::RadioButton:
      control = new TRadioButton;
      control->CreateHandle(WC_BUTTONW, BS_AUTORADIOBUTTON | WS_TABSTOP, 0, desc, parent, id);
      break;
    case TControlKind::ProgressBar:
      control = new TProgressBar;
      control->CreateHandle(PROGRESS_CLASSW, 0, 0, desc, parent, id);
      SendMessageW(control->FHandle, PBM_SETRANGE32, 0, 100);
      break;
    case TControlKind::ListView:
      control = new TListView;
      control->CreateHandle(
          WC_LISTVIEWW,
          LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL,
          WS_EX_CLIENTEDGE, desc, parent, id);
      static_cast<TListView*>(control)->Setup();
      break;
    case TControlKind::PageControl:
      control = new TPageControl;
      control->CreateHandle(WC_TABCONTROLW, WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP,
                            WS_EX_CONTROLPARENT, desc, parent, id);
      ui::SetSubclass(control->FHandle, ContainerSubclass, 1, 0);
      break;
  }
  return control;
}

}  // namespace ui
