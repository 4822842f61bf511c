// Skin data, manager and skinned frames on real windows under Wine, with small skins
// built here: activation rules, frame geometry, hit tests, caption buttons, the shaped
// region, painted pixels and GDI use.
#include <windows.h>
#include <windowsx.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "skin/SkinControls.h"
#include "skin/SkinData.h"
#include "skin/SkinForm.h"
#include "skin/SkinFormMenuBar.h"
#include "skin/SkinManage.h"
#include "skin/SkinModel.h"
#include "skin/SkinWriter.h"
#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/Menus.h"
#include "ui/Subclass.h"

using namespace skin;

namespace {

constexpr uint32_t kLeftOn = 0x102030, kLeftOff = 0x405060, kTopOn = 0x203040, kTopOff = 0x506070,
                   kBottom = 0x304050, kCloseNormal = 0x00AA00, kClosePressed = 0xAA0000,
                   kCloseHot = 0x0000AA, kMagenta = 0xFF00FF;
constexpr int kLeft = 4, kRight = 5, kCaption = 24, kBottomHeight = 6;

// Frames side by side, each `width` x `height` of one colour; `cut` paints the top-left
// 3 x 3 pixels of every frame magenta.
std::vector<uint8_t> Strip(std::vector<uint32_t> colours, int width, int height, bool cut = false) {
  TSkinBitmap bitmap{width * static_cast<int>(colours.size()), height, {}};
  for (int y = 0; y < height; ++y)
    for (uint32_t colour : colours)
      for (int x = 0; x < width; ++x)
        bitmap.Pixels.push_back(cut && x < 3 && y < 3 ? kMagenta : colour);
  return WriteBmp24(bitmap);
}

std::vector<uint8_t> TestPackage(bool transparent) {
  std::string trans = transparent ? "1" : "0";
  std::string ini =
      "[TitlebarSkin]\nSkinName=Test\n[Personality]\nLeft=left.bmp\nLeftFrame=2\nLeftTopHeight=8\n"
      "LeftBotHeight=8\nLeftTrans=" +
      trans + "\nRight=right.bmp\nRightFrame=2\nRightTrans=" + trans +
      "\nTop=top.bmp\nTopFrame=2\nTopTrans=" + trans +
      "\nBottom=bottom.bmp\nBottomTrans=0\n"
      "TextAlignment=0\nTextShift=30\n[Colours]\nTitleTextActive=255,255,0\n"
      "TitleTextNoActive=0 255 255\n"
      "[Button.Close]\nAction=0\nAlign=1\nXcoord=22\nYcoord=5\nVisibility=0\nframe=3\n"
      "ButtonImage=close.bmp\n"
      "[Button.Max]\nAction=50\nAlign=0\nXcoord=6\nYcoord=5\nVisibility=1\nframe=3\n"
      "ButtonImage=close.bmp\n"
      "[Button.Sys]\nAction=3\nAlign=0\nXcoord=6\nYcoord=5\nVisibility=2\nframe=3\n"
      "ButtonImage=close.bmp\n"
      "[Button.Active]\nAction=51\nAlign=0\nXcoord=40\nYcoord=5\nVisibility=3\nframe=3\n"
      "ButtonImage=close.bmp\n"
      "[Button.Min]\nAction=2\nAlign=1\nXcoord=40\nYcoord=5\nVisibility=6\nframe=3\n"
      "ButtonImage=close.bmp\n[Buttons]\nBitmap=buttons.bmp\n";
  std::vector<TSkinPackFile> files = {
      {"skin.ini", {ini.begin(), ini.end()}},
      {"left.bmp", Strip({kLeftOn, kLeftOff}, kLeft, 40, transparent)},
      {"right.bmp", Strip({kLeftOn, kLeftOff}, kRight, 40)},
      {"top.bmp", Strip({kTopOn, kTopOff}, 30, kCaption)},
      {"bottom.bmp", Strip({kBottom}, 20, kBottomHeight)},
      {"close.bmp", Strip({kCloseNormal, kClosePressed, kCloseHot}, 16, 14)},
      {"buttons.bmp", Strip({1, 2, 3, 4, 5}, 8, 8)}};
  return WritePackage(kSkinFormat, files);
}

class TTestForm : public ui::TForm {
 public:
  explicit TTestForm(DWORD style, DWORD exStyle = 0, std::vector<ui::TControlDesc> layout = {}) {
    ui::TFormDesc desc;
    desc.Caption = L"Test 視窗";
    desc.Left = 100;
    desc.Top = 100;
    desc.Width = 300;
    desc.Height = 200;
    desc.Style = style;
    desc.ExStyle = exStyle;
    CreateForm(desc, layout);
  }
  int CloseQueries = 0;
  int CustomActions = 0;

 protected:
  bool CloseQuery() override {
    ++CloseQueries;
    return false;
  }
  bool HandleMessage(UINT message, WPARAM, LPARAM, LRESULT&) override {
    if (message == kMsgCaptionAction) ++CustomActions;
    return false;
  }
};

constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Pumps messages until `done` holds or a generous number of rounds has passed.
bool PumpUntil(const std::function<bool()>& done) {
  for (int round = 0; round < 300 && !done(); ++round) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    ui::Application().ProcessMessages();
  }
  return done();
}

// The whole window as painted, 0x00RRGGBB top-down.
struct TCapture {
  int Width = 0;
  std::vector<uint32_t> Pixels;
  uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x] & 0xFFFFFF; }
};

TCapture Capture(HWND window) {
  RECT bounds{};
  GetWindowRect(window, &bounds);
  int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  HDC dc = GetWindowDC(window);
  BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY);
  ReleaseDC(window, dc);
  GdiFlush();
  auto* pixels = static_cast<uint32_t*>(bits);
  TCapture capture{width, std::vector<uint32_t>(pixels, pixels + width * height)};
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return capture;
}

int FirstTitleColumn(const TCapture& shot) {  // of the active title colour (yellow)
  for (int x = 0; x < shot.Width; ++x)
    for (int y = 4; y < kCaption - 4; ++y)
      if (uint32_t p = shot.At(x, y); p >> 16 > 0xC0 && (p >> 8 & 0xFF) > 0xC0 && (p & 0xFF) < 0x60)
        return x;
  return -1;
}

uint32_t WindowPixel(HWND window, int x, int y) {
  return Capture(window).At(x, y);
}

LPARAM ScreenPoint(HWND window, int x, int y) {
  RECT bounds{};
  GetWindowRect(window, &bounds);
  return MAKELPARAM(bounds.left + x, bounds.top + y);
}

// Real mouse input at the cursor position, as the system would deliver a user's.
void RealMouse(DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof(INPUT));
}

// A plain top-level window of its own that counts the mouse messages it receives.
class TMouseWitness {
 public:
  TMouseWitness(int left, int top) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VornisMouseWitness";
    RegisterClassW(&windowClass);
    FHandle = CreateWindowExW(0, windowClass.lpszClassName, L"witness", WS_POPUP | WS_VISIBLE, left,
                              top, 200, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    SetWindowLongPtrW(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TMouseWitness() { DestroyWindow(FHandle); }
  POINT Centre() const {
    RECT bounds{};
    GetWindowRect(FHandle, &bounds);
    return {bounds.left + 100, bounds.top + 100};
  }
  // True once a move arrived |dx|, |dy| from the centre.
  bool SawMoveAt(int dx, int dy) const {
    return std::any_of(FMoves.begin(), FMoves.end(),
                       [&](POINT p) { return p.x == 100 + dx && p.y == 100 + dy; });
  }
  int Ups = 0;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TMouseWitness*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_LBUTTONUP) ++self->Ups;
    if (self && message == WM_MOUSEMOVE)
      self->FMoves.push_back({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    return DefWindowProcW(window, message, wParam, lParam);
  }
  HWND FHandle = nullptr;
  std::vector<POINT> FMoves;
};

class SkinFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::Application().Initialize(GetModuleHandleW(nullptr));
    ui::Application().SetTitle(L"VornisTools");
    ui::Application().SetMessageBoxResponder([this](const ui::TMessageBoxRecord& box) {
      Boxes.push_back(box);
      return IDOK;
    });
  }
  void TearDown() override {
    Data.reset();
    Forms.clear();
    TSkinManage::Destroy();
    ui::Application().SetMessageBoxResponder(nullptr);
  }

  // A form skinned with the test skin: the data loads, is activated and the form shown.
  TTestForm& Skinned(DWORD style = kFrameStyle, bool transparent = false, DWORD exStyle = 0,
                     std::vector<ui::TControlDesc> layout = {}) {
    Forms.push_back(std::make_unique<TTestForm>(style, exStyle, std::move(layout)));
    TTestForm& form = *Forms.back();
    if (!Data) {
      Data = std::make_unique<TSkinData>(&form);
      if (Configure) Configure(*Data);
      std::vector<uint8_t> package = TestPackage(transparent);
      std::vector<uint8_t> stream(4);
      uint32_t length = static_cast<uint32_t>(package.size());
      memcpy(stream.data(), &length, 4);
      stream.insert(stream.end(), package.begin(), package.end());
      Data->ReadSkinStream(stream);
      Data->Loaded();
      Data->SetActive(true);
    }
    form.Show();
    PumpUntil([&] { return Frame(form) && Frame(form)->Attached(); });
    return form;
  }
  static TSkinForm* Frame(const ui::TForm& form) {
    TSkinManage* manager = TSkinManage::Instance();
    return manager ? manager->FindFrame(form.Handle()) : nullptr;
  }

  std::function<void(TSkinData&)> Configure;
  std::unique_ptr<TSkinData> Data;
  std::vector<std::unique_ptr<TTestForm>> Forms;
  std::vector<ui::TMessageBoxRecord> Boxes;
};

}  // namespace

TEST_F(SkinFrame, ActiveWithoutPackageAndTheMenuRulesAtLoad) {
  TTestForm form(kFrameStyle);
  TSkinData data(&form);
  data.SetActive(true);
  EXPECT_TRUE(data.Active());  // remembered, nothing happens without a skin
  data.SkinControls.Include(xcMenuItem);
  data.Loaded();
  EXPECT_FALSE(data.Active());
  EXPECT_FALSE(data.SkinControls.Contains(xcMenuItem));
  EXPECT_TRUE(data.SkinControls.Contains(xcSystemMenu));

  TSkinData second(nullptr);
  second.SkinControls.Exclude(xcMainMenu);
  second.Loaded();
  EXPECT_FALSE(second.SkinControls.Contains(xcSystemMenu));

  // An unknown format number: the box through the application, no skin.
  std::vector<uint8_t> unpacked = BuildPackage(kSkinFormat, {{"skin.ini", {'x'}}});
  unpacked[0] = 0x11;
  EXPECT_FALSE(second.LoadPackage(LzhPack(unpacked)));
  ASSERT_EQ(1u, Boxes.size());
  EXPECT_EQ(L"This is Older Skin File\rPlease update to new version !", Boxes[0].Text);
  EXPECT_EQ(nullptr, second.Skin());
}

TEST_F(SkinFrame, ClientAreaHitTestsAndCloseButton) {
  TTestForm& form = Skinned();
  ui::TMainMenu menu(100);
  menu.Build({{0, L"N1", L"檔案", nullptr},
              {1, L"N2", L"更新", nullptr},
              {0, L"N3", L"選項(&C)", nullptr},
              {1, L"N4", L"設置", nullptr}});
  form.SetMenu(&menu);
  SendMessageW(form.Handle(), 0xB015, 0, 0);
  TSkinForm* frame = Frame(form);
  ASSERT_NE(nullptr, frame);
  EXPECT_EQ(1, SendMessageW(form.Handle(), kMsgIsSkinned, 0, 0));
  ASSERT_NE(nullptr, frame->MenuBar());
  EXPECT_EQ(2, frame->MenuBar()->ItemCount());
  int menuHeight = GetSystemMetrics(SM_CYMENU);

  RECT window{}, client{};
  GetWindowRect(form.Handle(), &window);
  GetClientRect(form.Handle(), &client);
  POINT origin{0, 0};
  ClientToScreen(form.Handle(), &origin);
  EXPECT_EQ(window.left + kLeft, origin.x);
  EXPECT_EQ(window.top + kCaption + menuHeight, origin.y);
  EXPECT_EQ(300 - kLeft - kRight, client.right);
  EXPECT_EQ(200 - kCaption - menuHeight - kBottomHeight, client.bottom);

  auto hit = [&](int x, int y) {
    return SendMessageW(form.Handle(), WM_NCHITTEST, 0, ScreenPoint(form.Handle(), x, y));
  };
  EXPECT_EQ(HTCAPTION, hit(150, 12));
  EXPECT_EQ(HTCLOSE, hit(300 - 22 + 4, 10));
  EXPECT_EQ(HTSYSMENU, hit(10, 10));
  EXPECT_EQ(HTMENU, hit(150, kCaption + 2));
  EXPECT_EQ(HTCLIENT, hit(150, 120));

  // Hot on move, pressed on down; the click posts the ordinary close command.
  LPARAM close = ScreenPoint(form.Handle(), 300 - 22 + 4, 10);
  SendMessageW(form.Handle(), WM_NCMOUSEMOVE, HTCLOSE, close);
  const TCaptionButton& button = frame->Buttons()[0];
  EXPECT_EQ(bsHot, button.State);
  EXPECT_EQ(kCloseHot, WindowPixel(form.Handle(), 300 - 22 + 8, 12));
  // Pressed with the real mouse, it holds the mouse: released over another window, the
  // up still comes to the form and nothing runs, not even at a later up over the button.
  TMouseWitness other(520, 100);
  POINT closeAt{GET_X_LPARAM(close), GET_Y_LPARAM(close)};
  SetCursorPos(closeAt.x, closeAt.y);
  RealMouse(MOUSEEVENTF_LEFTDOWN);
  ASSERT_TRUE(PumpUntil([&] { return button.State == bsPressed; }));
  SetCursorPos(other.Centre().x, other.Centre().y);
  RealMouse(MOUSEEVENTF_LEFTUP);
  // A move after the up: once the other window sees it, the up has been delivered.
  SetCursorPos(other.Centre().x + 10, other.Centre().y + 10);
  RealMouse(MOUSEEVENTF_MOVE);
  ASSERT_TRUE(PumpUntil([&] { return other.SawMoveAt(10, 10); }));
  EXPECT_EQ(0, other.Ups);
  EXPECT_EQ(nullptr, GetCapture());
  EXPECT_EQ(bsNormal, button.State);
  SendMessageW(form.Handle(), WM_NCLBUTTONUP, HTCLOSE, close);
  ui::Application().ProcessMessages();
  EXPECT_EQ(0, form.CloseQueries);
  SendMessageW(form.Handle(), WM_NCLBUTTONDOWN, HTCLOSE, close);
  EXPECT_EQ(bsPressed, button.State);
  SendMessageW(form.Handle(), WM_NCLBUTTONUP, HTCLOSE, close);
  EXPECT_TRUE(PumpUntil([&] { return form.CloseQueries == 1; }));
  EXPECT_TRUE(IsWindow(form.Handle()));

  // A window without a caption keeps the system frame and its client size.
  TTestForm& bare = Skinned(WS_POPUP);
  GetClientRect(bare.Handle(), &client);
  EXPECT_EQ(300, client.right);
  EXPECT_EQ(200, client.bottom);
  form.SetMenu(nullptr);
}

TEST_F(SkinFrame, VisibilityCodesMaximisedDialogsAndActivation) {
  TTestForm& form = Skinned(kFrameStyle | WS_MAXIMIZEBOX | WS_THICKFRAME);
  TSkinForm* frame = Frame(form);
  ASSERT_NE(nullptr, frame);
  auto visible = [&](int action) {
    for (const TCaptionButton& button : frame->Buttons())
      if (button.Action == action) return button.Visible;
    return false;
  };
  EXPECT_FALSE(visible(50));
  EXPECT_TRUE(visible(3));
  EXPECT_TRUE(visible(51));

  ShowWindow(form.Handle(), SW_MAXIMIZE);
  PumpUntil([&] { return frame->ShowState() == TShowState::Maximized; });
  frame->RepaintFrame();
  EXPECT_TRUE(visible(50));
  EXPECT_FALSE(visible(3));
  // A maximised window is not dragged by its caption; a double click restores it.
  EXPECT_EQ(0, SendMessageW(form.Handle(), WM_NCLBUTTONDOWN, HTCAPTION,
                            ScreenPoint(form.Handle(), 150, 12)));
  SendMessageW(form.Handle(), WM_NCLBUTTONDBLCLK, HTCAPTION, ScreenPoint(form.Handle(), 150, 12));
  EXPECT_TRUE(PumpUntil([&] { return !IsZoomed(form.Handle()); }));

  // Inactive: the inactive border frame and the active-only button hidden.
  TTestForm& other = Skinned();
  PumpUntil([&] { return !frame->IsActive(); });
  frame->RepaintFrame();
  EXPECT_FALSE(visible(51));
  EXPECT_EQ(kLeftOff, WindowPixel(form.Handle(), 1, 100));
  EXPECT_EQ(kTopOff, WindowPixel(form.Handle(), 150, 1));
  TSkinForm* otherFrame = Frame(other);
  ASSERT_NE(nullptr, otherFrame);
  EXPECT_EQ(kLeftOn, WindowPixel(other.Handle(), 1, 100));
  EXPECT_EQ(kBottom, WindowPixel(other.Handle(), 150, 200 - 2));
  // Caption text in the active title colour, right of the text shift.
  TCapture shot = Capture(other.Handle());
  bool titleColour = false;
  for (int x = 56 + 30; x < 200; ++x)
    for (int y = 4; y < kCaption - 4; ++y) {
      uint32_t pixel = shot.At(x, y);
      titleColour |= (pixel >> 16) > 0xC0 && ((pixel >> 8) & 0xFF) > 0xC0 && (pixel & 0xFF) < 0x60;
    }
  EXPECT_TRUE(titleColour);
  EXPECT_EQ(kTopOn, shot.At(56 + 29, 2));  // left of the text shift: the caption bar

  // A dialog shows no system-menu button.
  TTestForm& dialog =
      Skinned(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, WS_EX_DLGMODALFRAME);
  ASSERT_NE(nullptr, Frame(dialog));
  EXPECT_EQ(TBorderKind::Dialog, Frame(dialog)->BorderKind());
  for (const TCaptionButton& button : Frame(dialog)->Buttons()) {
    if (button.Action == 3) {
      EXPECT_FALSE(button.Visible);
    }
  }
}

TEST_F(SkinFrame, MagentaBordersShapeTheWindowUntilDetach) {
  TTestForm& form = Skinned(kFrameStyle | WS_THICKFRAME, true);
  TSkinForm* frame = Frame(form);
  ASSERT_NE(nullptr, frame);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(ERROR, GetWindowRgn(form.Handle(), region));
  EXPECT_FALSE(PtInRegion(region, 1, 1));  // the magenta corner is cut away
  EXPECT_TRUE(PtInRegion(region, 3, 3));
  EXPECT_TRUE(PtInRegion(region, 150, 100));
  int builds = frame->RegionBuilds();
  SetWindowPos(form.Handle(), nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(builds, frame->RegionBuilds());
  SetWindowPos(form.Handle(), nullptr, 0, 0, 320, 210, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(builds + 1, frame->RegionBuilds());

  // Off: unskinned 250 ms later, region and system frame back; with a later subclass.
  SUBCLASSPROC later = [](HWND window, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR) {
    return ui::DefSubclass(window, message, w, l);
  };
  ui::SetSubclass(form.Handle(), later, 1, 0);
  Data->SetActive(false);
  EXPECT_TRUE(PumpUntil([&] { return Frame(form) == nullptr; }));
  EXPECT_EQ(ERROR, GetWindowRgn(form.Handle(), region));
  EXPECT_EQ(0, SendMessageW(form.Handle(), kMsgIsSkinned, 0, 0));
  SendMessageW(form.Handle(), kMsgCaptionAction, 0, 0);
  EXPECT_EQ(1, form.CustomActions);  // the form still has its messages
  Data->SetActive(true);
  EXPECT_TRUE(PumpUntil([&] { return Frame(form) != nullptr; }));
  DeleteObject(region);

  // A window destroyed while attached is detached and dropped once.
  DestroyWindow(form.Handle());
  EXPECT_EQ(0u, TSkinManage::Instance()->Frames().size());
  Data.reset();  // the last skin data takes the manager along
  EXPECT_EQ(nullptr, TSkinManage::Instance());
}

TEST_F(SkinFrame, MinimisedThroughTheApplicationTheFrameComesBackWhole) {
  TTestForm& form = Skinned();
  // Alt alone, then Esc: the system paints nothing of its own into the caption.
  TCapture before = Capture(form.Handle());
  PostMessageW(form.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_KEYMENU, 0);
  EXPECT_TRUE(before.Pixels == Capture(form.Handle()).Pixels);
  HWND application = ui::Application().Handle();
  ui::Application().SetMainForm(&form);
  for (int round = 0; round < 2; ++round) {  // the second click minimises again
    for (UINT message : {WM_NCLBUTTONDOWN, WM_NCLBUTTONUP})
      SendMessageW(form.Handle(), message, HTMINBUTTON, ScreenPoint(form.Handle(), 264, 10));
    EXPECT_TRUE(PumpUntil([&] { return IsIconic(application); }));
    PostMessageW(application, WM_SYSCOMMAND, SC_RESTORE, 0);  // its taskbar button
    EXPECT_TRUE(PumpUntil([&] { return !IsIconic(application); }));
    // Whatever the screen kept, the frame paints itself whole again.
    HDC dc = GetWindowDC(form.Handle());
    PatBlt(dc, 0, 0, 300, 200, BLACKNESS);
    ReleaseDC(form.Handle(), dc);
    RedrawWindow(form.Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(kBottom, WindowPixel(form.Handle(), 150, 200 - 2));
  }
  ui::Application().SetMainForm(nullptr);
  ShowWindow(application, SW_HIDE);
}

TEST_F(SkinFrame, MessageBoxGetsRoomForItsSkinnedCaption) {
  TTestForm& form = Skinned();
  static int first = -1, shortfall = -1;
  // Looked at from its modal loop once its frame is attached, then closed.
  SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowW(L"#32770", L"Vornis 維諾斯獵手TW Ver1.36 caption");
    TSkinForm* frame = box ? TSkinManage::Instance()->FindFrame(box) : nullptr;
    if (!frame || !frame->Attached()) return;
    KillTimer(nullptr, id);
    first = FirstTitleColumn(Capture(box));
    shortfall = frame->CaptionTextShortfall();
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  MessageBoxW(form.Handle(), L"x", L"Vornis 維諾斯獵手TW Ver1.36 caption", MB_OK);
  EXPECT_TRUE(first >= 56 && first < 56 + 30) << first;  // no icon button: no shift
  EXPECT_EQ(0, shortfall);  // widened: all of the text before the close button
}

TEST_F(SkinFrame, ControlsByTagClassMapAndAncestry) {
  // The offered controls are taken by a probe, whatever the control skins support.
  struct TProbe : TSkinControl {
    TProbe(HWND control, const TSkinControlContext& context) : TSkinControl(control, context) {}
  };
  Configure = [](TSkinData& data) {
    std::vector<std::wstring> lines = data.Skin3rd();
    lines.insert(lines.begin(), L"TBitBtn=nil");
    data.SetSkin3rd(lines);
    data.OnSkinControl = [](TSkinData& sender, HWND, HWND control, const std::wstring&,
                            std::unique_ptr<TSkinControl>& skinned) {
      skinned = std::make_unique<TProbe>(control, sender.ControlContext());
    };
  };
  using ui::TControlKind;
  TTestForm& form = Skinned(kFrameStyle, false, 0,
                            {{TControlKind::Button, L"Plain", L"a", L"", 10, 10, 80, 24},
                             {TControlKind::Button, L"Tagged", L"b", L"", 10, 40, 80, 24},
                             {TControlKind::BitBtn, L"Mapped", L"c", L"", 10, 70, 80, 24}});
  TSkinForm* frame = Frame(form);
  ASSERT_NE(nullptr, frame);
  EXPECT_TRUE(frame->HasControl(form.Find<ui::TButton>(L"Plain")->Handle()));
  EXPECT_FALSE(frame->HasControl(form.Find<ui::TButton>(L"Mapped")->Handle()));

  form.Find<ui::TButton>(L"Tagged")->SetTag(99);
  TSkinManage::Instance()->RunCommand(scReskinWindow, Data.get(), form.Handle());
  PumpUntil([&] { return Frame(form) && Frame(form)->Attached(); });
  ASSERT_NE(nullptr, Frame(form));
  EXPECT_TRUE(Frame(form)->HasControl(form.Find<ui::TButton>(L"Plain")->Handle()));
  EXPECT_FALSE(Frame(form)->HasControl(form.Find<ui::TButton>(L"Tagged")->Handle()));

  // A form with Tag 99 keeps the system look.
  TTestForm plain(kFrameStyle);
  plain.SetTag(99);
  plain.Show();
  for (int round = 0; round < 40; ++round) {
    Sleep(10);
    ui::Application().ProcessMessages();
  }
  EXPECT_EQ(nullptr, Frame(plain));
}

TEST_F(SkinFrame, RepaintsReleaseTheirGdiObjects) {
  TTestForm& form = Skinned(kFrameStyle, true);
  TSkinForm* frame = Frame(form);
  ASSERT_NE(nullptr, frame);
  // Wine counts no GDI objects (GetGuiResources answers 0): count the handles still
  // free by taking them all once. Unlike the slot a new object gets, this count does
  // not depend on the order in which earlier tests and paints freed theirs.
  auto freeHandles = [] {
    std::vector<HBRUSH> taken;
    while (HBRUSH brush = taken.size() < 100000 ? CreateSolidBrush(0) : nullptr)
      taken.push_back(brush);
    for (HBRUSH brush : taken) DeleteObject(brush);
    return taken.size();
  };
  frame->RepaintFrame();
  DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const size_t freeBefore = freeHandles();
  for (int i = 0; i < 1000; ++i) {
    frame->RepaintFrame();
    if (i % 100 == 0)
      SetWindowPos(form.Handle(), nullptr, 0, 0, 300 + i / 100, 200, SWP_NOMOVE | SWP_NOZORDER);
  }
  EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before + 2);
  EXPECT_GE(freeHandles() + 2, freeBefore);
}
