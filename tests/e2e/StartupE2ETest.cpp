// Start-up, single instance, shortcut, first show and the settings dialog, seen from
// outside the real executable.
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include "Driver.h"
#include "TestHttpServer.h"

using namespace e2e;

namespace {

std::string TestName() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// A server whose version file arrives only after a while: the progress and completion
// of that download rewrite the status line, so its first text is read before.
std::unique_ptr<testserver::TTestHttpServer> SlowVersionServer() {
  auto server = std::make_unique<testserver::TTestHttpServer>(L"");
  server->SetBody("/UPdate.ini", "[updataver]\r\nver=1\r\n", "text/plain");
  testserver::TFault slow;
  slow.Delay = 20s;
  server->SetFault("/UPdate.ini", slow);
  return server;
}

std::wstring DesktopLink() {
  wchar_t desktop[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOP, FALSE);
  return std::wstring(desktop) + L"\\維諾斯獵手.lnk";
}

// Opens the settings dialog through " 操作設置" and returns it.
HWND OpenSettings(HWND main, DWORD pid) {
  Click(FindButton(main, L" 操作設置"));
  HWND settings = nullptr;
  WaitUntil([&] {
    settings = FindTopWindow(pid, L"設置", L"VornisForm");
    return settings && IsWindowVisible(settings);
  });
  return settings;
}

}  // namespace

TEST(StartupE2E, SecondCopyIsRefusedAndFirstKeepsRunning) {
  TSandbox box(TestName());
  TProcess first = TProcess::Start(box.ExePath());
  ASSERT_TRUE(WaitMainWindow(first.Pid()));

  TProcess second = TProcess::Start(box.ExePath());
  auto notice = WaitMessageBox(second.Pid());
  ASSERT_TRUE(notice);
  EXPECT_EQ(L"程式已經開啟", notice->Text);
  EXPECT_FALSE(WaitMainWindow(second.Pid(), 1s));
  Answer(*notice);
  EXPECT_TRUE(second.WaitExit(10s));
  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(WaitMainWindow(first.Pid(), 1s));
}

TEST(StartupE2E, MutexThatCannotBeOpenedMeansAFirstCopyRuns) {
  SECURITY_ATTRIBUTES locked{sizeof(locked), nullptr, FALSE};  // as by a copy run elevated
  ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:", 1, &locked.lpSecurityDescriptor, 0);
  HANDLE mutex = CreateMutexW(&locked, FALSE, L"VornisTools");
  auto notice = WaitMessageBox(TProcess::Start(TSandbox(TestName()).ExePath()).Pid());
  CloseHandle(mutex);
  EXPECT_EQ(L"程式已經開啟", notice ? notice->Text : L"");
}

TEST(StartupE2E, FirstShowWithoutConfigAndTheDesktopShortcut) {
  auto server = SlowVersionServer();
  TSandbox box(TestName());
  DeleteFileW(DesktopLink().c_str());
  box.WriteFile(L"VornisTools.old", "old");
  box.WriteFile(L"delme.bat", "rem");
  TProcess manager = TProcess::Start(box.ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);

  EXPECT_EQ(L"正在檢查是否有新版本中,請稍候...", Text(MainControl(main, L"Label6")));
  HWND settings = WaitSettingsDialog(manager.Pid());
  ASSERT_TRUE(settings);
  EXPECT_EQ(L"", Text(SettingsControl(settings, L"Edit1")));
  EXPECT_TRUE(IsChecked(SettingsControl(settings, L"CheckBox1")));
  EXPECT_TRUE(
      WaitUntil([&] { return !box.Exists(L"VornisTools.old") && !box.Exists(L"delme.bat"); }, 5s));

  // The shortcut points at this copy, with its folder as working directory. It is
  // written once the window has been painted; the desktop folder may be shared with
  // other copies, so the wait is for this copy's shortcut, not for any.
  CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkW, reinterpret_cast<void**>(&link))));
  IPersistFile* file = nullptr;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  wchar_t text[MAX_PATH * 2] = {};
  EXPECT_TRUE(WaitUntil([&] {
    text[0] = 0;
    if (SUCCEEDED(file->Load(DesktopLink().c_str(), STGM_READ)))
      link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
    return lstrcmpiW(box.ExePath().c_str(), text) == 0;
  }));
  link->GetDescription(text, MAX_PATH * 2);
  EXPECT_STREQ(L"維諾斯獵手", text);
  link->GetWorkingDirectory(text, MAX_PATH * 2);
  EXPECT_EQ(0, lstrcmpiW(box.Dir().c_str(), text));
  file->Release();
  link->Release();
  CoUninitialize();
}

TEST(StartupE2E, AutoUpdateOffLeavesStatusLine) {
  auto server = SlowVersionServer();
  TSandbox box(TestName());
  box.WriteFile(L"Config.ini",
                "[game]\r\ngamepath=C:\\Game\\bin\\VNgame.exe\r\n[updata]\r\nautoupdata=0\r\n");
  TProcess manager = TProcess::Start(box.ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  HWND settings = WaitSettingsDialog(manager.Pid());
  EXPECT_EQ(L"C:\\Game\\bin\\VNgame.exe", Text(SettingsControl(settings, L"Edit1")));
  EXPECT_FALSE(IsChecked(SettingsControl(settings, L"CheckBox1")));
  EXPECT_EQ(L"正常", Text(MainControl(main, L"Label6")));
  // The version file is still fetched.
  EXPECT_TRUE(server->WaitForRequests("/UPdate.ini", 1, 10s));
}

TEST(StartupE2E, SettingsRefuseBlankAndStoreTrimmed) {
  TSandbox box(TestName());
  TProcess manager = TProcess::Start(box.ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);

  HWND settings = OpenSettings(main, manager.Pid());
  ASSERT_TRUE(settings);
  SetText(SettingsControl(settings, L"Edit1"), L"   ");
  Click(SettingsControl(settings, L"Button1"));
  auto notice = WaitMessageBox(manager.Pid());
  ASSERT_TRUE(notice);
  EXPECT_EQ(L"不可以設為空", notice->Text);
  Answer(*notice);
  EXPECT_TRUE(IsWindowVisible(settings));
  EXPECT_FALSE(box.Exists(L"Config.ini"));

  SetText(SettingsControl(settings, L"Edit1"), L"  C:\\遊戲\\bin\\VNgame.exe  ");
  SetChecked(SettingsControl(settings, L"CheckBox1"), false);
  Click(SettingsControl(settings, L"Button1"));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(settings); }));
  // The status check after confirming may reach the (absent) server; dismiss its error.
  if (auto error = WaitMessageBox(manager.Pid(), 3s)) Answer(*error);

  wchar_t value[512] = {};
  GetPrivateProfileStringW(L"game", L"gamepath", L"", value, 512, box.Path(L"Config.ini").c_str());
  EXPECT_STREQ(L"C:\\遊戲\\bin\\VNgame.exe", value);
  EXPECT_EQ(0, GetPrivateProfileIntW(L"updata", L"autoupdata", 7, box.Path(L"Config.ini").c_str()));
  // The field keeps what was typed until the next show.
  EXPECT_EQ(L"  C:\\遊戲\\bin\\VNgame.exe  ", Text(SettingsControl(settings, L"Edit1")));
}

TEST(StartupE2E, SettingsInReadOnlyFolderSayContactOrin) {
  TSandbox box(TestName());
  TProcess manager = TProcess::Start(box.ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  // Wine keeps a refused profile write and may write it at a later profile call of
  // the process; the steps that follow the first paint (the shortcut, then the browser
  // controls) are let through before the folder refuses files, so none of them can.
  WaitUntil([&] { return GetWindow(MainControl(main, L"Panel4"), GW_CHILD) != nullptr; });
  // As root, only an immutable folder refuses new files.
  RunUnix("chattr +i '" + box.UnixDir() + "'");
  HWND settings = OpenSettings(main, manager.Pid());
  ASSERT_TRUE(settings);
  SetText(SettingsControl(settings, L"Edit1"), L"C:\\Game\\bin\\VNgame.exe");
  Click(SettingsControl(settings, L"Button1"));
  auto error = WaitMessageBox(manager.Pid());
  RunUnix("chattr -i '" + box.UnixDir() + "'");
  ASSERT_TRUE(error);
  EXPECT_EQ(L"contact Orin.", error->Text);
  Answer(*error);
  EXPECT_TRUE(IsWindowVisible(settings));
  EXPECT_FALSE(box.Exists(L"Config.ini"));
}

// A count that cannot be recorded and a game that does not start are shown; the window stays.
TEST(StartupE2E, SettingsAndGameLaunchFailuresKeepTheMainWindow) {
  testserver::TTestHttpServer server(L"");
  server.SetBody("/Data.xml", "<plug/>", "text/xml");
  TSandbox box(TestName());
  std::wstring game = box.MakeGame(), bin = box.Path(L"game\\client\\bin");
  box.WriteFile(L"Config.ini", "[game]\r\ngamepath=" + std::string(game.begin(), game.end()));
  TProcess manager = TProcess::Start(box.ExePath());
  HWND main = WaitMainWindow(manager.Pid()), owner = GetWindow(main, GW_OWNER);
  EXPECT_TRUE(IsWindowVisible(owner) && Text(owner) == L"VornisTools");
  Click(SettingsControl(OpenSettings(main, manager.Pid()), L"Button1"));
  ASSERT_TRUE(server.WaitForRequests("/Data.xml", 1, 10s));
  EXPECT_EQ(main, GetForegroundWindow());
  DeleteFileW(box.Path(L"Config.ini").c_str());  // a folder: no profile write opens it
  CreateDirectoryW(box.Path(L"Config.ini").c_str(), nullptr);
  wchar_t notFound[256] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, notFound, 256, nullptr);
  for (std::wstring expected : {L"Unable to write to " + box.Path(L"Config.ini"),
                                std::wstring(notFound, wcscspn(notFound, L"\r\n"))}) {
    Click(FindButton(main, L"開啟遊戲"));
    auto error = WaitMessageBox(manager.Pid());
    EXPECT_EQ(expected + L".", error ? error->Text : L"");
    if (error) Answer(*error);
    SendMessageW(main, WM_NULL, 0, 0);  // the command has ended
    EXPECT_TRUE(IsWindowVisible(main));
    MoveFileW(game.c_str(), (game + L".gone").c_str());  // the next start fails
  }
  EXPECT_TRUE(WaitUntil([&] {
    return box.ReadFile(L"game\\client\\bin\\VNgame.started") ==
           std::string(bin.begin(), bin.end());
  }));
}

namespace {

// Paths past 260 characters (the archive cache of a long add-on name, its records) work
// on Windows only for an executable that declares it can take them.
TEST(Manifest, DeclaresLongPathAwareness) {
  HMODULE exe = LoadLibraryExW(e2e::BuiltExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(exe);
  HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_TRUE(found);
  std::string text(static_cast<const char*>(LockResource(LoadResource(exe, found))),
                   SizeofResource(exe, found));
  FreeLibrary(exe);
  EXPECT_NE(text.find("longPathAware>true</"), std::string::npos) << text;
}

}  // namespace
