// The skinned main window of the real executable: its frame sits where the stored
// skin's borders say, the skin's close button hides it to the tray, and the skinned
// menu bar opens with its access key.
#include <gtest/gtest.h>

#include "Driver.h"
#include "TestHttpServer.h"
#include "skin/SkinModel.h"

using namespace e2e;

namespace {

constexpr UINT kIsSkinned = 0x3523;

// The skin stored in the built executable, read from its resources.
skin::TSkin StoredSkin() {
  HMODULE module = LoadLibraryExW(BuiltExe().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  HRSRC resource = module ? FindResourceW(module, L"SKINSTREAM", MAKEINTRESOURCEW(10)) : nullptr;
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  auto* bytes = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
  DWORD size = resource ? SizeofResource(module, resource) : 0;
  skin::TSkin skin;
  if (bytes && size > 4) skin = skin::ReadSkin(std::span<const uint8_t>(bytes + 4, size - 4));
  if (module) FreeLibrary(module);
  return skin;
}

class SkinE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    Server.SetBody("/UPdate.ini", "[updataver]\r\nver=1\r\n", "text/plain");
    Box =
        std::make_unique<TSandbox>(::testing::UnitTest::GetInstance()->current_test_info()->name());
    Box->WriteFile(L"Config.ini", "[updata]\r\nautoupdata=0\r\n");
    Manager = TProcess::Start(Box->ExePath());
    Main = WaitMainWindow(Manager.Pid());
    ASSERT_TRUE(Main);
    ASSERT_TRUE(WaitUntil([&] { return SendMessageW(Main, kIsSkinned, 0, 0) == 1; }));
  }

  // A point of the caption row (window coordinates) that the frame answers with `code`.
  std::optional<POINT> FindHit(LRESULT code) const {
    RECT window{};
    GetWindowRect(Main, &window);
    for (int y = 4; y < 40; y += 2)
      for (int x = window.right - window.left - 1; x > 0; --x)
        if (SendMessageW(Main, WM_NCHITTEST, 0, MAKELPARAM(window.left + x, window.top + y)) ==
            code)
          return POINT{window.left + x, window.top + y};
    return std::nullopt;
  }

  testserver::TTestHttpServer Server{L""};
  std::unique_ptr<TSandbox> Box;
  TProcess Manager;
  HWND Main = nullptr;
};

}  // namespace

TEST_F(SkinE2E, ClientAreaAtTheSkinsBorders) {
  skin::TSkin skin = StoredSkin();
  ASSERT_TRUE(skin.Top.Present() && skin.Left.Present());
  RECT window{};
  GetWindowRect(Main, &window);
  POINT origin{0, 0};
  ClientToScreen(Main, &origin);
  EXPECT_EQ(window.left + skin.Left.Image.Width / skin.Left.Frames(), origin.x);
  EXPECT_EQ(window.top + skin.Top.Image.Height + GetSystemMetrics(SM_CYMENU), origin.y);
  RECT client{};
  GetClientRect(Main, &client);
  EXPECT_EQ(window.bottom - skin.Bottom.Image.Height, origin.y + client.bottom);
}

TEST_F(SkinE2E, AltCOpensTheOptionsMenuOfTheSkinnedBar) {
  // Alt+C as the window receives it once translated.
  PostMessageW(Main, WM_SYSCHAR, L'c', 1 << 29);
  HWND popup = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    popup = FindWindowW(L"#32768", nullptr);
    return popup && IsWindowVisible(popup);
  }));
  // Its first entry is "設置": choosing it opens the settings dialog.
  PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
  HWND settings = WaitWindow(Manager.Pid(), L"設置");
  ASSERT_TRUE(settings);
  RequestClose(settings);
}

TEST_F(SkinE2E, SkinCloseButtonHidesToTheTray) {
  ASSERT_TRUE(Server.WaitForRequests("/UPdate.ini", 1, 10s));
  std::optional<POINT> close = FindHit(HTCLOSE);
  ASSERT_TRUE(close);
  LPARAM point = MAKELPARAM(close->x, close->y);
  PostMessageW(Main, WM_NCLBUTTONDOWN, HTCLOSE, point);
  PostMessageW(Main, WM_NCLBUTTONUP, HTCLOSE, point);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(Main); }));
  Sleep(500);
  EXPECT_TRUE(Manager.Running());
  // The notification area may appear only after the window has gone: look it up anew.
  EXPECT_TRUE(WaitUntil([] {
    HWND area = FindWindowW(L"__winex11_standalone_tray", nullptr);
    return area && IsWindowVisible(area);
  }));
}
