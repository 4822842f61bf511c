// The web panels and the external pages on the real executable, on a virtual desktop
// of 1024 x 768: the real browser control in both panels, then stand-ins for the
// control and the automation server, registered in the test prefix, that log every
// call the program makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

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
constexpr WPARAM kExit = 103, kPortalEntry = 104, kUpdateHomeEntry = 105, kForumEntry = 113;
const wchar_t kEmulation[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
const wchar_t kOpenCommand[] = L"Software\\Classes\\http\\shell\\open\\command";

// Wine 8 reads classes only from the machine branch: an override replaces the default
// value of a machine key for one test and puts the old one back afterwards.
class TClassOverride {
 public:
  TClassOverride(const wchar_t* key, const std::wstring& value) : FKey(key) {
    wchar_t old[1024] = {};
    DWORD size = sizeof old;
    RegGetValueW(HKEY_LOCAL_MACHINE, key, nullptr, RRF_RT_REG_SZ, nullptr, old, &size);
    FOld = old;
    Set(value);
  }
  ~TClassOverride() { FOld.empty() ? (void)RegDeleteKeyW(HKEY_LOCAL_MACHINE, FKey) : Set(FOld); }

 private:
  void Set(const std::wstring& v) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, FKey, nullptr, REG_SZ, v.c_str(), (v.size() + 1) * 2);
  }
  const wchar_t* FKey;
  std::wstring FOld;
};

class WebE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileW(kLog.c_str());
    DeleteFileW(kRefuse.c_str());
    Box = std::make_unique<TSandbox>(testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  // Starts the manager on its own desktop and joins this thread to it, so that the
  // driver sees its windows.
  void Start(bool withGame = true) {
    std::string game;
    for (wchar_t c : withGame ? Box->MakeGame() : L"") game += static_cast<char>(c);
    Box->WriteFile(L"Config.ini",
                   "[game]\r\ngamepath=" + game + "\r\n[updata]\r\nautoupdata=0\r\n");
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", L"WebE2E", REG_SZ,
                    L"1024x768", 18);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<wchar_t*>(L"WebE2E");
    std::wstring command = L"\"" + Box->ExePath() + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &Manager));
    WaitUntil([&] { return (Desktop = OpenDesktopW(L"WebE2E", 0, FALSE, GENERIC_ALL)) != 0; });
    ASSERT_TRUE(SetThreadDesktop(Desktop));
    ASSERT_TRUE(Main = WaitMainWindow(Manager.dwProcessId));
  }
  void TearDown() override {
    DeleteFileW(kRefuse.c_str());
    DeleteFileW(kNewWindows.c_str());
    TerminateProcess(Manager.hProcess, 0);
    WaitForSingleObject(Manager.hProcess, 10000);
    CloseHandle(Manager.hProcess);
    CloseHandle(Manager.hThread);
    SetThreadDesktop(Previous);
    CloseDesktop(Desktop);
  }
  static int Count(const std::string& line) {
    std::ifstream log{std::filesystem::path(kLog)};
    int count = 0;
    for (std::string text; std::getline(log, text);) count += text == line || text == line + "\r";
    return count;
  }
  bool NoErrorBox() const { return !WaitMessageBox(Manager.dwProcessId, 2s); }
  void ClickUpdate() const { Click(FindButton(Main, L"更新 UI")); }
  // Real key strokes: the keys go down in order and come up in reverse.
  static void Press(std::initializer_list<WORD> keys) {
    std::vector<INPUT> strokes;
    for (WORD key : keys) strokes.push_back({INPUT_KEYBOARD, {.ki = {key, 0, 0, 0, 0}}});
    for (auto key = keys.end(); key-- != keys.begin();)
      strokes.push_back({INPUT_KEYBOARD, {.ki = {*key, 0, KEYEVENTF_KEYUP, 0, 0}}});
    SendInput(strokes.size(), strokes.data(), sizeof(INPUT));
  }
  // Gives `control` the keyboard focus, as a click on it would.
  void Focus(HWND control) const {
    AttachThreadInput(GetCurrentThreadId(), Manager.dwThreadId, TRUE);
    SetFocus(control);
    AttachThreadInput(GetCurrentThreadId(), Manager.dwThreadId, FALSE);
  }
  // Presses `keys`, waits for a menu of the window to show, and closes it again.
  bool OpensMenu(std::initializer_list<WORD> keys) const {
    Press(keys);
    bool shown = WaitUntil([&] {
      HWND menu = FindTopWindow(Manager.dwProcessId, L"", L"#32768");
      return menu && IsWindowVisible(menu);
    });
    Press({VK_ESCAPE});
    Press({VK_ESCAPE});
    return WaitUntil([&] { return !(Gui().flags & GUI_INMENUMODE); }) && shown;
  }
  GUITHREADINFO Gui() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(Manager.dwThreadId, &info);
    return info;
  }
  bool ListFilled() const { return !ReadList(MainControl(Main, L"ListView1")).empty(); }

  inline static const std::wstring kDll = WinPath(VORNIS_WEB_STANDIN);
  inline static const std::wstring kLog = kDll.substr(0, kDll.size() - 3) + L"log";
  // What the stand-in refuses, one member name a line.
  inline static const std::wstring kRefuse = kDll.substr(0, kDll.size() - 3) + L"refuse";
  inline static const std::wstring kNewWindows = kDll.substr(0, kDll.size() - 3) + L"newwindow";
  testserver::TTestHttpServer Server{WinPath(VORNIS_DEMO_SITE_DIR) + L"\\"};
  std::unique_ptr<TSandbox> Box;
  HDESK Previous = GetThreadDesktop(GetCurrentThreadId()), Desktop = nullptr;
  PROCESS_INFORMATION Manager{};
  HWND Main = nullptr;
};

}  // namespace

TEST_F(WebE2E, ControlThatCannotBeCreatedLeavesThePanelsEmptyAndQuiet) {
  TClassOverride browser(kBrowserServer, L"C:\\missing\\browser.dll");
  Start();
  ClickUpdate();
  EXPECT_TRUE(WaitUntil([&] { return ListFilled(); }));
  EXPECT_TRUE(NoErrorBox());
  EXPECT_FALSE(GetWindow(MainControl(Main, L"Panel3"), GW_CHILD));
  EXPECT_FALSE(GetWindow(MainControl(Main, L"Panel4"), GW_CHILD));
}

TEST_F(WebE2E, PanelsNavigateAtCreationAndAfterEachReloadAndLoseBorderAndScrollBars) {
  TClassOverride browser(kBrowserServer, kDll);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kEmulation, L"VornisTools.exe");
  Start(false);
  const std::string tail = " empty empty empty empty";
  const std::string ad =
      "browser 81x24 call Navigate " + Server.UrlA("/ad/vornisshow/id/25") + tail;
  ASSERT_TRUE(WaitUntil([&] { return Count(ad) == 1; }));
  // The upper panel spans the client width, which the skinned frame's borders decide.
  RECT upper{};
  GetClientRect(MainControl(Main, L"Panel3"), &upper);
  const std::string size = std::to_string(upper.right) + "x" + std::to_string(upper.bottom);
  const std::string page =
      "browser " + size + " call Navigate " + Server.UrlA("/vornistools.php") + tail;
  EXPECT_EQ(1, Count("browser 81x24 context menu kept"));
  EXPECT_EQ(1, Count("browser 81x24 drawn flat, themed, unscrolled"));
  EXPECT_EQ(2, Count("browser made in mode 11001"));  // written before, in HKCU only
  EXPECT_NE(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kEmulation, L"VornisTools.exe",
                                        RRF_RT_ANY, nullptr, nullptr, nullptr));
  // A reload refused for the missing game path leaves the upper panel alone.
  ClickUpdate();
  auto box = WaitMessageBox(Manager.dwProcessId);
  ASSERT_TRUE(box);
  Answer(*box);
  HWND settings = WaitWindow(Manager.dwProcessId, L"設置");
  ASSERT_TRUE(settings);
  SetText(SettingsControl(settings, L"Edit1"), Box->MakeGame());
  Click(FindButton(settings, L"确定"));  // its status check loads the catalogue
  ASSERT_TRUE(WaitUntil([&] { return Count(page) == 1; }));
  EXPECT_EQ(1, Count("browser " + size + " context menu kept"));
  EXPECT_TRUE(ListFilled());  // filled before the page is asked for
  ClickUpdate();
  ASSERT_TRUE(WaitUntil([&] { return Count(page) == 2; }));
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
  EXPECT_TRUE(NoErrorBox());
  // The controls took the focus at each navigation and gave it back.
  HWND focus = Gui().hwndFocus;
  EXPECT_FALSE(IsChild(MainControl(Main, L"Panel3"), focus) ||
               IsChild(MainControl(Main, L"Panel4"), focus));
  // At exit each control is released while its window is still there.
  PostMessageW(Main, WM_COMMAND, kExit, 0);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(Manager.hProcess, 15000));
  EXPECT_EQ(1, Count("browser 81x24 released"));
  EXPECT_EQ(1, Count("browser " + size + " released"));
}

TEST_F(WebE2E, NewWindowsOfAPageAreCancelledAndOnlyWebAddressesOpenInTheDefaultBrowser) {
  TClassOverride browser(kBrowserServer, kDll);
  TClassOverride open(kOpenCommand, L"cmd.exe /c echo open %1>>\"" + kLog + L"\"");
  const std::string web = Server.UrlA("/new"),
                    refused = "file:///C:/a.htm\njavascript:open()\nres:\nhttp:\n\n";
  std::ofstream{std::filesystem::path(kNewWindows)} << refused + web;
  const DWORD players = 10001;  // the player's own document mode stands
  RegSetKeyValueW(HKEY_CURRENT_USER, kEmulation, L"VornisTools.exe", REG_DWORD, &players, 4);
  Start();  // the advertisement page loads
  EXPECT_TRUE(WaitUntil([&] { return Count("open " + web) == 1; }));
  EXPECT_EQ(2, Count("browser made in mode 10001"));
  std::istringstream addresses(refused + web);
  for (std::string address; std::getline(addresses, address);)  // "": no address given
    EXPECT_EQ(1, Count("new window " + address + " cancelled")) << address;
  EXPECT_TRUE(NoErrorBox());
}

TEST_F(WebE2E, RealControlsFillThePanelsAndExternalPagesOpenBesideTheMainWindow) {
  TClassOverride progId(kAppProgId, L"{5E1F0001-7E57-4AB0-9D1C-0000000000AA}");
  TClassOverride server(kAppServer, kDll);
  Start();
  ClickUpdate();
  // The control's window appears before it is placed: wait until it fills its panel.
  for (const wchar_t* name : {L"Panel3", L"Panel4"}) {
    HWND panel = MainControl(Main, name);
    EXPECT_TRUE(WaitUntil([&] {
      HWND control = GetWindow(panel, GW_CHILD);
      RECT area{}, bounds{};
      return control && GetClientRect(panel, &area) && GetWindowRect(control, &bounds) &&
             area.right > 0 && area.right == bounds.right - bounds.left &&
             area.bottom == bounds.bottom - bounds.top;
    })) << name;
  }
  EXPECT_TRUE(WaitUntil([&] { return ListFilled(); }));  // both real panels navigated
  RECT before{}, after{};
  GetWindowRect(Main, &before);
  PostMessageW(Main, WM_COMMAND, kForumEntry, 0);
  ASSERT_TRUE(WaitUntil([&] { return Count("app released") == 1; }));
  std::ifstream log{std::filesystem::path(kLog)};
  std::string lines((std::istreambuf_iterator<char>(log)), {});
  EXPECT_EQ(
      "app put Visible true\napp put left 0\napp put top 0\napp put height 738\n"
      "app put width 440\napp put menubar 0\napp put addressbar 0\napp put toolbar 0\n"
      "app put statusbar 0\napp put resizable 0\napp call Navigate " +
          Server.UrlA("/") + "\napp released\n",
      lines);
  GetWindowRect(Main, &after);
  EXPECT_EQ(1024 - 584, after.left);
  EXPECT_EQ(before.top, after.top);

  // A server that refuses the window's place and look, as Wine's does, still shows the
  // page; one that cannot navigate is closed, and the shell opens the address instead.
  std::ofstream{std::filesystem::path(kRefuse)} << "left\ntop\nwidth\nheight\nmenubar\n"
                                                   "addressbar\ntoolbar\nstatusbar\nresizable\n";
  PostMessageW(Main, WM_COMMAND, kPortalEntry, 0);
  ASSERT_TRUE(WaitUntil([&] { return Count("app released") == 2; }));
  EXPECT_TRUE(NoErrorBox());
  EXPECT_EQ(2, Count("app call Navigate " + Server.UrlA("/")));
  std::ofstream{std::filesystem::path(kRefuse), std::ios::app} << "Navigate\nQuit\n";
  TClassOverride open(kOpenCommand, L"cmd.exe /c echo open %1>>\"" + kLog + L"\"");
  PostMessageW(Main, WM_COMMAND, kUpdateHomeEntry, 0);
  EXPECT_TRUE(WaitUntil([&] { return Count("open " + Server.UrlA("/")) == 1; }));
  EXPECT_EQ(1, Count("app put Visible false"));

  // Without the automation server: the same move, then the shell opens the address.
  TClassOverride missing(kAppProgId, L"{5E1F0002-7E57-4AB0-9D1C-0000000000AA}");
  for (int opened : {2, 3}) {
    SetWindowPos(Main, nullptr, 0, before.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PostMessageW(Main, WM_COMMAND, opened == 2 ? kUpdateHomeEntry : kPortalEntry, 0);
    EXPECT_TRUE(WaitUntil([&] { return Count("open " + Server.UrlA("/")) == opened; }));
    GetWindowRect(Main, &after);
    EXPECT_EQ(1024 - 584, after.left);
  }
  EXPECT_TRUE(NoErrorBox());
  // Where no browser starts, our error box is the one message.
  TClassOverride broken(kOpenCommand, L"C:\\missing\\browser.exe %1");
  PostMessageW(Main, WM_COMMAND, kForumEntry, 0);
  auto box = WaitMessageBox(Manager.dwProcessId);
  ASSERT_TRUE(box);
  Answer(*box);
  EXPECT_TRUE(NoErrorBox());
}

TEST_F(WebE2E, MenuKeysGoToTheWindowAndAPageKeepsItsOwnAltKeys) {
  TClassOverride browser(kBrowserServer, kDll);
  Start();
  // "更新 UI" pressed from the keyboard keeps the focus once both pages have loaded.
  ASSERT_TRUE(WaitUntil([&] { return SendMessageW(Main, 0x3523, 0, 0) == 1; }));  // skinned
  HWND update = FindButton(Main, L"更新 UI");
  Focus(update);
  Press({VK_SPACE});
  ASSERT_TRUE(WaitUntil([&] { return Count("body put Scroll no") == 4; }));
  EXPECT_EQ(update, Gui().hwndFocus);
  EXPECT_TRUE(OpensMenu({VK_MENU, 'H'}));
  // A page with the focus hands the keys that name a menu to the window...
  HWND page = GetWindow(MainControl(Main, L"Panel3"), GW_CHILD);
  Focus(page);
  ASSERT_EQ(page, Gui().hwndFocus);
  EXPECT_TRUE(OpensMenu({VK_MENU, 'H'}));
  EXPECT_TRUE(OpensMenu({VK_F10}));
  EXPECT_TRUE(OpensMenu({VK_MENU}));
  EXPECT_EQ(0, Count("page Alt+" + std::to_string('H')));
  // ...and keeps the others: Alt+Down for a drop-down list, Alt and the number pad.
  Press({VK_MENU, VK_DOWN});
  Press({VK_MENU, VK_NUMPAD6, VK_NUMPAD5});
  EXPECT_TRUE(WaitUntil([&] { return Count("page Alt+" + std::to_string(VK_NUMPAD5)) == 1; }));
  EXPECT_EQ(1, Count("page Alt+" + std::to_string(VK_DOWN)));
  EXPECT_FALSE(Gui().flags & GUI_INMENUMODE);  // and no menu opened on the way
}
#endif
