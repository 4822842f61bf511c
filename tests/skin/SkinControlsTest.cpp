// Skinned controls on real windows under Wine, with a small skin built here: what they
// paint (captured with PrintWindow) and that unskinning gives the system look back.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "skin/SkinControls.h"
#include "skin/SkinModel.h"
#include "skin/SkinWriter.h"
#include "ui/Application.h"
#include "ui/ListView.h"

using namespace skin;

namespace {

constexpr uint32_t kNormal = 0x204060, kHot = 0x30A030, kPressed = 0xA03030, kDisabled = 0x808080,
                   kFocused = 0x3030A0, kTrough = 0x101010, kChunk = 0xF0C000, kMenuBack = 0x2060C0,
                   kTrack = 0x406020, kUnchecked = 0x102080, kChecked = 0x20A040;

// Frames side by side, each `width` x `height` of one colour.
std::vector<uint8_t> Strip(std::vector<uint32_t> colours, int width, int height) {
  TSkinBitmap bitmap{width * static_cast<int>(colours.size()), height, {}};
  for (int y = 0; y < height; ++y)
    for (uint32_t colour : colours) bitmap.Pixels.insert(bitmap.Pixels.end(), width, colour);
  return WriteBmp24(bitmap);
}

std::shared_ptr<const TSkin> TestSkin(bool withMenu = true) {
  std::string ini =
      "[Buttons]\nBitmap=buttons.bmp\nLeftWidth=2\nRightWidth=2\nTopHeight=2\nBottomHeight=2\n"
      "CheckButton=check.bmp\nCheckButtonFrame=8\n"
      "[Progress]\nBitmap=trough.bmp\nLeftWidth=1\nRightWidth=1\nTopHeight=1\nBottomHeight=1\n"
      "[Progress.Chunk]\nBitmap=chunk.bmp\n[VertScroll]\nBitmap=track.bmp\n";
  if (withMenu) ini += "[MenuBackground]\nBitmap=menu.bmp\n";
  std::vector<TSkinPackFile> files = {
      {"skin.ini", {ini.begin(), ini.end()}},
      {"buttons.bmp", Strip({kNormal, kHot, kPressed, kDisabled, kFocused}, 8, 8)},
      {"check.bmp", Strip({kUnchecked, 0, 0, 0, kChecked, 0, 0, 0}, 10, 10)},
      {"trough.bmp", Strip({kTrough}, 4, 4)},
      {"chunk.bmp", Strip({kChunk}, 4, 4)},
      {"menu.bmp", Strip({kMenuBack}, 4, 4)},
      {"track.bmp", Strip({kTrack}, 4, 4)}};
  return std::make_shared<const TSkin>(ReadSkin(WritePackage(kSkinFormat, files)));
}

// The client area of a window as PrintWindow draws it, 0x00RRGGBB top-down.
struct TCapture {
  int Width = 0;
  std::vector<uint32_t> Pixels;
  uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
};

TCapture Capture(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  PrintWindow(window, dc, PW_CLIENTONLY);
  GdiFlush();
  TCapture capture{client.right, {}};
  auto* pixels = static_cast<uint32_t*>(bits);
  for (int i = 0; i < client.right * client.bottom; ++i)
    capture.Pixels.push_back(pixels[i] & 0xFFFFFF);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return capture;
}

class SkinControls : public ::testing::Test {
 protected:
  void SetUp() override {
    Parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                             nullptr, nullptr, nullptr);
    Context.Skin = TestSkin();
    Context.FaceColour = RGB(1, 2, 3);
  }
  void TearDown() override { DestroyWindow(Parent); }

  HWND Child(const wchar_t* windowClass, DWORD style, int width, int height) {
    return CreateWindowExW(0, windowClass, L"", WS_CHILD | WS_VISIBLE | style, 10, 10, width,
                           height, Parent, nullptr, nullptr, nullptr);
  }

  HWND Parent = nullptr;
  TSkinControlContext Context;
};

}  // namespace

TEST_F(SkinControls, ButtonShowsTheFrameOfItsStateAndUnskinsToTheSystemLook) {
  HWND button = Child(L"BUTTON", BS_PUSHBUTTON, 80, 24);
  TCapture system = Capture(button);
  auto skinned = CreateSkinControl(L"button", button, Context);
  ASSERT_TRUE(skinned);
  EXPECT_EQ(kNormal, Capture(button).At(1, 1));
  SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(kHot, Capture(button).At(1, 1));
  SendMessageW(button, BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(kPressed, Capture(button).At(40, 2));
  SendMessageW(button, BM_SETSTATE, FALSE, 0);
  SendMessageW(button, WM_MOUSELEAVE, 0, 0);
  EnableWindow(button, FALSE);
  EXPECT_EQ(kDisabled, Capture(button).At(78, 22));
  EnableWindow(button, TRUE);

  skinned.reset();
  EXPECT_EQ(system.Pixels, Capture(button).Pixels);
  EXPECT_FALSE(CreateSkinControl(L"checkbox", button, Context));  // not a check box
}

TEST_F(SkinControls, CheckBoxShowsTheHalfOfItsCheckState) {
  HWND box = Child(L"BUTTON", BS_AUTOCHECKBOX, 100, 20);
  auto skinned = CreateSkinControl(L"checkbox", box, Context);
  ASSERT_TRUE(skinned);
  EXPECT_EQ(kUnchecked, Capture(box).At(5, 10));
  SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(kChecked, Capture(box).At(5, 10));
}

TEST_F(SkinControls, WindowDestroyedWhileSkinnedIsLeftAlone) {
  HWND button = Child(L"BUTTON", BS_PUSHBUTTON, 80, 24);
  auto skinned = CreateSkinControl(L"bitbtn", button, Context);
  ASSERT_TRUE(skinned);
  DestroyWindow(button);
  EXPECT_EQ(nullptr, skinned->Handle());
  skinned.reset();
}

TEST_F(SkinControls, ProgressBarFillsItsChunkUpToThePosition) {
  HWND bar = Child(PROGRESS_CLASSW, 0, 102, 12);
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  SendMessageW(bar, PBM_SETPOS, 50, 0);
  TCapture system = Capture(bar);
  auto skinned = CreateSkinControl(L"progress", bar, Context);
  ASSERT_TRUE(skinned);
  TCapture half = Capture(bar);
  EXPECT_EQ(kTrough, half.At(0, 0));
  EXPECT_EQ(kChunk, half.At(1, 6));
  EXPECT_EQ(kChunk, half.At(50, 6));
  EXPECT_EQ(kTrough, half.At(52, 6));
  SendMessageW(bar, PBM_SETPOS, 100, 0);
  EXPECT_EQ(kChunk, Capture(bar).At(100, 6));
  SendMessageW(bar, PBM_SETPOS, 50, 0);
  skinned.reset();
  EXPECT_EQ(system.Pixels, Capture(bar).Pixels);
}

// The list view sets its scroll bars again at its first paint, and the system redraws
// them then; what stays on screen must be the skin's track.
TEST_F(SkinControls, ListViewScrollBarKeepsTheSkinAfterTheListPaints) {
  ui::Application().Initialize(GetModuleHandleW(nullptr));
  ShowWindow(Parent, SW_HIDE);
  ui::TControlDesc desc;
  desc.Kind = ui::TControlKind::ListView;
  desc.Width = 200;
  desc.Height = 120;
  std::unique_ptr<ui::TListView> rows(
      static_cast<ui::TListView*>(ui::CreateControl(desc, Parent, 1000)));
  HWND list = rows->Handle();
  rows->AddColumn(L"UI", 150);
  for (int i = 0; i < 40; ++i) rows->InsertItem(i, L"row");
  auto skinned = CreateSkinControl(L"scrollbar", list, Context);
  ASSERT_TRUE(skinned);
  ShowWindow(Parent, SW_SHOW);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  SCROLLBARINFO bar{};
  bar.cbSize = sizeof(bar);
  ASSERT_TRUE(GetScrollBarInfo(list, OBJID_VSCROLL, &bar));
  RECT window{};
  GetWindowRect(list, &window);
  HDC dc = GetWindowDC(list);
  COLORREF shown = GetPixel(dc, bar.rcScrollBar.left - window.left + 2,
                            bar.rcScrollBar.bottom - window.top - bar.dxyLineButton - 2);
  ReleaseDC(list, dc);
  EXPECT_EQ(RGB(kTrack >> 16, (kTrack >> 8) & 0xFF, kTrack & 0xFF), shown);
}

namespace {

// Plays the skin manager's part for popup menus: skins each menu window as it is
// created, and once the menu shows, captures it and closes it.
struct TMenuProbe {
  static inline TMenuProbe* Current = nullptr;
  TSkinControlContext Context;
  std::unique_ptr<TSkinPopMenu> Skinned;
  TCapture Shown;
  HHOOK Hook = nullptr;

  static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
    auto window = reinterpret_cast<HWND>(wParam);
    wchar_t name[16] = L"";
    if (code == HCBT_CREATEWND && GetClassNameW(window, name, 16) &&
        std::wstring(name) == L"#32768")
      Current->Skinned = CreateSkinPopMenu(window, Current->Context);
    if (code == HCBT_DESTROYWND && Current->Skinned && Current->Skinned->Handle() == window)
      Current->Skinned.reset();
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static void CALLBACK OnTimer(HWND owner, UINT, UINT_PTR id, DWORD) {
    KillTimer(owner, id);
    if (Current->Skinned) Current->Shown = Capture(Current->Skinned->Handle());
    EndMenu();
  }
};

}  // namespace

TEST_F(SkinControls, PopupMenuPaintsItsBackgroundFromTheSkin) {
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 1, L"還原");
  AppendMenuW(menu, MF_STRING, 2, L"結束");
  TMenuProbe probe;
  probe.Context = Context;
  TMenuProbe::Current = &probe;
  probe.Hook = SetWindowsHookExW(WH_CBT, TMenuProbe::CbtProc, nullptr, GetCurrentThreadId());
  SetForegroundWindow(Parent);
  SetTimer(Parent, 1, 10, TMenuProbe::OnTimer);
  TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, 20, 20, 0, Parent, nullptr);
  UnhookWindowsHookEx(probe.Hook);
  DestroyMenu(menu);
  ASSERT_FALSE(probe.Shown.Pixels.empty());
  EXPECT_EQ(kMenuBack, probe.Shown.At(2, probe.Shown.Pixels.size() / probe.Shown.Width - 2));
  EXPECT_FALSE(probe.Skinned);

  Context.Skin = TestSkin(false);
  EXPECT_FALSE(CreateSkinPopMenu(Parent, Context));  // no menu elements, no menu window
}
