// The web panels and the external pages on the real executable: the real browser
// control in both panels, then stand-ins for the control and the automation server,
// registered in the test prefix, that log every call the program makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "Driver.h"
#include "TestHttpServer.h"

#if defined(VORNIS_WEB_STANDIN) && defined(VORNIS_DEMO_SITE_DIR)
using namespace e2e;

namespace {

const wchar_t kBrowserServer[] =
    L"Software\\Classes\\CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32";
const wchar_t kAppProgId[] = L"Software\\Classes\\InternetExplorer.Application\\CLSID";
const wchar_t kAppServer[] =
    L"Software\\Classes\\CLSID\\{5E1F0001-7E57-4AB0-9D1C-0000000000AA}\\InprocServer32";
const wchar_t kHttpOpen[] = L"Software\\Classes\\http\\shell\\open\\command";
constexpr WPARAM kPortalEntry = 104, kUpdateHomeEntry = 105, kForumEntry = 113;

// Wine 8 reads classes only from the machine branch, so a stand-in replaces the default
// value of a machine key for one test, and the old value comes back afterwards.
class TClassOverride {
 public:
  TClassOverride(const wchar_t* key, const std::wstring& value) : FKey(key) {
    wchar_t old[1024];
    DWORD size = sizeof old;
    FHad = !RegGetValueW(HKEY_LOCAL_MACHINE, key, nullptr, RRF_RT_REG_SZ, nullptr, old, &size);
    FOld = FHad ? old : L"";
    Set(value);
  }
  ~TClassOverride() { FHad ? Set(FOld) : (void)RegDeleteKeyW(HKEY_LOCAL_MACHINE, FKey); }

 private:
  void Set(const std::wstring& v) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, FKey, nullptr, REG_SZ, v.c_str(), (v.size() + 1) * 2);
  }
  const wchar_t* FKey;
  bool FHad;
  std::wstring FOld;
};

// The manager alone on a virtual desktop of 1024 x 768, with this thread joined to it so
// that the driver sees its windows.
class TDesktopManager {
 public:
  explicit TDesktopManager(const std::wstring& exe) {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", L"WebE2E", REG_SZ,
                    L"1024x768", 18);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<wchar_t*>(L"WebE2E");
    std::wstring command = L"\"" + exe + L"\"";
    CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                   &FProcess);
    WaitUntil([&] { return (FDesktop = OpenDesktopW(L"WebE2E", 0, FALSE, GENERIC_ALL)) != 0; });
    EXPECT_TRUE(SetThreadDesktop(FDesktop));
  }
  ~TDesktopManager() {
    TerminateProcess(FProcess.hProcess, 0);
    WaitForSingleObject(FProcess.hProcess, 10000);
    CloseHandle(FProcess.hProcess);
    CloseHandle(FProcess.hThread);
    SetThreadDesktop(FPrevious);
    CloseDesktop(FDesktop);
  }
  DWORD Pid() const { return FProcess.dwProcessId; }

 private:
  HDESK FPrevious = GetThreadDesktop(GetCurrentThreadId());
  HDESK FDesktop = nullptr;
  PROCESS_INFORMATION FProcess{};
};

class WebE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileW(kLog.c_str());
    Box = std::make_unique<TSandbox>(testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void Start(bool withGame = true) {
    std::string game;
    for (wchar_t c : withGame ? Box->MakeGame() : L"") game += static_cast<char>(c);
    Box->WriteFile(L"Config.ini",
                   "[game]\r\ngamepath=" + game + "\r\n[updata]\r\nautoupdata=0\r\n");
    Manager = TProcess::Start(Box->ExePath());
    ASSERT_TRUE(Main = WaitMainWindow(Manager.Pid()));
  }
  static std::vector<std::string> Lines() {
    std::ifstream log{std::filesystem::path(kLog)};
    std::vector<std::string> lines;
    for (std::string text; std::getline(log, text);)
      lines.push_back(text.substr(0, text.find_last_not_of('\r') + 1));
    return lines;
  }
  static int Count(const std::string& line) { return std::ranges::count(Lines(), line); }
  void ClickUpdate() { Click(FindButton(Main, L"更新 UI")); }

  inline static const std::wstring kDll = WinPath(VORNIS_WEB_STANDIN);
  inline static const std::wstring kLog = kDll.substr(0, kDll.size() - 3) + L"log";
  testserver::TTestHttpServer Server{WinPath(VORNIS_DEMO_SITE_DIR) + L"\\"};
  std::unique_ptr<TSandbox> Box;
  TProcess Manager;
  HWND Main = nullptr;
};

}  // namespace

TEST_F(WebE2E, RealControlFillsEachPanelAndNavigatesWithoutError) {
  Start();
  ClickUpdate();
  for (const wchar_t* name : {L"Panel3", L"Panel4"}) {
    HWND panel = MainControl(Main, name), control = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (control = GetWindow(panel, GW_CHILD)) != nullptr; }));
    RECT area{}, bounds{};
    GetClientRect(panel, &area);
    GetWindowRect(control, &bounds);
    EXPECT_EQ(area.right, bounds.right - bounds.left) << name;
    EXPECT_EQ(area.bottom, bounds.bottom - bounds.top) << name;
  }
  ASSERT_TRUE(WaitUntil([&] { return !ReadList(MainControl(Main, L"ListView1")).empty(); }));
  EXPECT_FALSE(WaitMessageBox(Manager.Pid(), 2s));
}

TEST_F(WebE2E, ControlThatCannotBeCreatedLeavesThePanelsEmptyAndQuiet) {
  TClassOverride browser(kBrowserServer, L"C:\\missing\\browser.dll");
  Start();
  ClickUpdate();
  ASSERT_TRUE(WaitUntil([&] { return !ReadList(MainControl(Main, L"ListView1")).empty(); }));
  EXPECT_FALSE(WaitMessageBox(Manager.Pid(), 2s));
  EXPECT_FALSE(GetWindow(MainControl(Main, L"Panel3"), GW_CHILD));
  EXPECT_FALSE(GetWindow(MainControl(Main, L"Panel4"), GW_CHILD));
}

TEST_F(WebE2E, PanelsNavigateAtCreationAndAfterEachReloadAndLoseBorderAndScrollBars) {
  TClassOverride browser(kBrowserServer, kDll);
  Start();
  const std::string tail = " empty empty empty empty";
  const std::string ad =
      "browser 81x24 call Navigate " + Server.UrlA("/ad/vornisshow/id/25") + tail;
  const std::string page =
      "browser 578x209 call Navigate " + Server.UrlA("/vornistools.php") + tail;
  ASSERT_TRUE(WaitUntil([&] { return Count(ad) == 1; }));
  EXPECT_EQ(0, Count(page));
  HWND list = MainControl(Main, L"ListView1");
  for (int reload = 1; reload <= 2; ++reload) {
    ClickUpdate();
    ASSERT_TRUE(WaitUntil([&] { return Count(page) == reload; }));
    EXPECT_FALSE(ReadList(list).empty());  // filled before the page is asked for
  }
  // Hiding and showing the band keeps the page.
  HWND toggle = FindButton(Main, L"放大列錶");
  Click(toggle);
  ASSERT_TRUE(WaitUntil([&] { return Text(toggle) == L"恢復列錶"; }));
  Click(toggle);
  ASSERT_TRUE(WaitUntil([&] { return Text(toggle) == L"放大列錶"; }));
  EXPECT_EQ(2, Count(page));
  EXPECT_EQ(1, Count(ad));
  // Per navigation: two events without a document or a body, then the top document's and
  // a frame's, each setting the top document's body.
  EXPECT_TRUE(WaitUntil([&] { return Count("style put borderStyle none") == 6; }));
  EXPECT_TRUE(WaitUntil([&] { return Count("body put Scroll no") == 6; }));
  EXPECT_FALSE(WaitMessageBox(Manager.Pid(), 1s));
}

TEST_F(WebE2E, RefusedReloadLeavesTheUpperPanelAlone) {
  TClassOverride browser(kBrowserServer, kDll);
  Start(false);
  ClickUpdate();
  auto box = WaitMessageBox(Manager.Pid());
  ASSERT_TRUE(box);
  Answer(*box);
  HWND settings = WaitWindow(Manager.Pid(), L"設置");
  ASSERT_TRUE(settings);
  RequestClose(settings);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(settings); }));
  EXPECT_EQ(1, Count("browser 81x24 DoVerb -5"));
  EXPECT_EQ(0, Count("browser 578x209 call Navigate " + Server.UrlA("/vornistools.php") +
                     " empty empty empty empty"));
}

TEST_F(WebE2E, ExternalPagesOpenABareWindowBesideTheMainWindowOrTheDefaultBrowser) {
  TClassOverride progId(kAppProgId, L"{5E1F0001-7E57-4AB0-9D1C-0000000000AA}");
  TClassOverride server(kAppServer, kDll);
  Box->WriteFile(L"Config.ini", "[updata]\r\nautoupdata=0\r\n");
  TDesktopManager manager(Box->ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  RECT before{}, after{};
  GetWindowRect(main, &before);
  PostMessageW(main, WM_COMMAND, kForumEntry, 0);
  ASSERT_TRUE(WaitUntil([&] { return Count("app released") == 1; }));
  std::vector<std::string> expected = {"app put Visible true",
                                       "app put left 0",
                                       "app put top 0",
                                       "app put height 738",
                                       "app put width 440",
                                       "app put menubar 0",
                                       "app put addressbar 0",
                                       "app put toolbar 0",
                                       "app put statusbar 0",
                                       "app put resizable 0",
                                       "app call Navigate " + Server.UrlA("/"),
                                       "app released"};
  EXPECT_EQ(expected, Lines());
  GetWindowRect(main, &after);
  EXPECT_EQ(1024 - 584, after.left);
  EXPECT_EQ(before.top, after.top);

  // Without the automation server: the same move, then the shell opens the address.
  TClassOverride missing(kAppProgId, L"{5E1F0002-7E57-4AB0-9D1C-0000000000AA}");
  TClassOverride open(kHttpOpen, L"cmd.exe /c echo open %1>>\"" + kLog + L"\"");
  SetWindowPos(main, nullptr, 0, before.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  int opened = 0;
  for (WPARAM entry : {kUpdateHomeEntry, kPortalEntry}) {
    PostMessageW(main, WM_COMMAND, entry, 0);
    EXPECT_TRUE(WaitUntil([&] { return Count("open " + Server.UrlA("/")) == opened + 1; }));
    ++opened;
  }
  GetWindowRect(main, &after);
  EXPECT_EQ(1024 - 584, after.left);
  EXPECT_FALSE(WaitMessageBox(manager.Pid(), 1s));
}
#endif
