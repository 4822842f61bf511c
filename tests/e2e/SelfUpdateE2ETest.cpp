// The self-update of the real executable: the test server publishes a version number
// and a byte-different build; the manager compares, downloads, swaps itself through
// delme.bat and the new copy starts and cleans up.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Driver.h"
#include "TestHttpServer.h"
#include "TestSigner.h"
#include "signing/Signature.h"

using namespace e2e;

namespace {

std::string TestName() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

std::string Narrow(const std::wstring& ascii) {
  std::string text;
  for (wchar_t c : ascii) text += c < 128 ? static_cast<char>(c) : '?';
  return text;
}

// A main window of any process but `except`, visible.
HWND OtherMainWindow(DWORD except, DWORD* pid) {
  struct TSearch {
    DWORD Except;
    HWND Found;
  } search{except, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->Except || !IsWindowVisible(window)) return TRUE;
        if (Text(window) != L"維諾斯獵手TW Ver1.36") return TRUE;
        s->Found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  if (search.Found) GetWindowThreadProcessId(search.Found, pid);
  return search.Found;
}

void KillProcess(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!process) return;
  TerminateProcess(process, 1);
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
}

class SelfUpdateE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    Server = std::make_unique<testserver::TTestHttpServer>(L"", testserver::kDefaultPort);
    Server->SetBody("/Data.xml",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<plug>\r\n"
                    "  <Item plugName=\"A\" plugid=\"1\" plugfolder=\"a\" plugdescribe=\"d\" "
                    "plugauthor=\"o\"/>\r\n</plug>\r\n",
                    "text/xml");
    Box = std::make_unique<TSandbox>(TestName());
    Installed = Box->ReadFile(L"VornisTools.exe");
    // The next build: the same image with an overlay, so its bytes differ.
    Next = Installed + "next build";
  }
  void TearDown() override {
    if (Relaunched) KillProcess(Relaunched);
  }

  void Publish(int version) {
    Server->SetBody("/UPdate.ini", "[updataver]\r\nver=" + std::to_string(version) + "\r\n");
    Server->SetBody("/VornisTools.exe", Next);
  }
  // A version file as the publisher tool writes it: the number, the publication time
  // and the size and SHA-256 of the executable it belongs to.
  static std::string VersionFile(int version, const std::string& published,
                                 const std::string& exe) {
    std::string hex;
    for (unsigned char byte :
         signing::Sha256({reinterpret_cast<const uint8_t*>(exe.data()), exe.size()}))
      hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
    return "[updataver]\r\nver=" + std::to_string(version) + "\r\npublished=" + published +
           "\r\nsize=" + std::to_string(exe.size()) + "\r\nsha256=" + hex + "\r\n";
  }
  static std::string Catalogue(const std::string& published, int items) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<plug published=\"" + published + "\">\r\n";
    for (int i = 0; i < items; ++i)
      xml += "  <Item plugName=\"A" + std::to_string(i) + "\" plugid=\"1\" plugfolder=\"a" +
             std::to_string(i) + "\" plugdescribe=\"d\" plugauthor=\"o\"/>\r\n";
    return xml + "</plug>\r\n";
  }
  // Serves path with a signature made by `sign` (else the server signs with key 0).
  void SetSigned(const std::string& path, const std::string& body,
                 const std::function<std::string(const std::string&)>& sign = nullptr) {
    Server->SetBody(path, body, path.ends_with(".xml") ? "text/xml" : "application/octet-stream");
    if (sign)
      Server->SetBody(path + ".sig", sign(body));
    else
      Server->RemoveBody(path + ".sig");
  }
  // A show of the running manager again: close to the tray, restore.
  static void ShowAgain(HWND main) {
    RequestClose(main);
    WaitUntil([&] { return !IsWindowVisible(main); });
    PostMessageW(main, WM_COMMAND, 200, 0);  // the tray menu's "恢復視窗(&R)"
  }
  void WriteConfig(int version, bool autoUpdate = true) {
    Box->WriteFile(L"Config.ini", "[game]\r\ngamepath=" + Narrow(Box->MakeGame()) +
                                      "\r\n[updata]\r\nautoupdata=" + (autoUpdate ? "1" : "0") +
                                      "\r\n[updataver]\r\nver=" + std::to_string(version) + "\r\n");
  }
  int RecordedVersion() const {
    return static_cast<int>(
        GetPrivateProfileIntW(L"updataver", L"ver", -1, Box->Path(L"Config.ini").c_str()));
  }
  // Waits for the copy started by delme.bat to show its window.
  HWND WaitRelaunched(DWORD oldPid) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = OtherMainWindow(oldPid, &Relaunched)) != nullptr; }, 30s);
    return found;
  }

  std::unique_ptr<testserver::TTestHttpServer> Server;
  std::unique_ptr<TSandbox> Box;
  std::string Installed;
  std::string Next;
  DWORD Relaunched = 0;
};

}  // namespace

TEST_F(SelfUpdateE2E, EqualVersionsDownloadNothing) {
  Publish(5);
  WriteConfig(5);
  TProcess manager = TProcess::Start(Box->ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  // The second archive request comes from the automatic update's own refresh, just
  // before the comparison; a message round trip waits for the handler's end.
  ASSERT_TRUE(Server->WaitForRequests("/zip/a.zip", 2, 30s));
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
  EXPECT_FALSE(Server->WaitForRequests("/VornisTools.exe", 1, 3s));
  EXPECT_TRUE(manager.Running());
  EXPECT_EQ(Installed, Box->ReadFile(L"VornisTools.exe"));
  EXPECT_EQ(5, RecordedVersion());
}

TEST_F(SelfUpdateE2E, LowerPublishedVersionSwapsAndTheNewCopyCleansUp) {
  Publish(4);
  WriteConfig(5);
  TProcess manager = TProcess::Start(Box->ExePath());
  ASSERT_TRUE(WaitMainWindow(manager.Pid()));
  ASSERT_TRUE(manager.WaitExit(60s));

  ASSERT_TRUE(WaitRelaunched(manager.Pid()));
  EXPECT_EQ(Next, Box->ReadFile(L"VornisTools.exe"));
  EXPECT_EQ(4, RecordedVersion());
  EXPECT_TRUE(WaitUntil([&] { return !Box->Exists(L"VornisTools.old"); }, 15s));
  EXPECT_FALSE(Box->Exists(L"VornisTools2.exe"));
  // The batch does not wait for the copy it started: its own last line deletes it while
  // that copy runs.
  KillProcess(Relaunched);
  Relaunched = 0;
  EXPECT_TRUE(WaitUntil([&] { return !Box->Exists(L"delme.bat"); }, 15s));
}

TEST_F(SelfUpdateE2E, FirstRunWithoutConfigUpdatesItself) {
  Publish(3);
  TProcess manager = TProcess::Start(Box->ExePath());
  ASSERT_TRUE(WaitMainWindow(manager.Pid()));
  // No game path: the catalogue reload asks for it and shows the settings dialog
  // (twice, the status check reloads an empty list); closing it lets the update go on.
  int asked = 0;
  EXPECT_TRUE(WaitUntil(
      [&] {
        if (auto box = WaitMessageBox(manager.Pid(), 0s)) {
          if (box->Text == L"請設定遊戲安裝位置") ++asked;
          Answer(*box);
        }
        HWND settings = FindTopWindow(manager.Pid(), L"設置", L"VornisForm");
        if (settings && IsWindowVisible(settings)) Click(SettingsControl(settings, L"Button2"));
        return !manager.Running();
      },
      90s));
  EXPECT_GE(asked, 1);

  ASSERT_TRUE(WaitRelaunched(manager.Pid()));
  EXPECT_EQ(Next, Box->ReadFile(L"VornisTools.exe"));
  EXPECT_EQ(3, RecordedVersion());
  // The Config.ini the swap created keeps the automatic update on.
  EXPECT_EQ(1u,
            GetPrivateProfileIntW(L"updata", L"autoupdata", 7, Box->Path(L"Config.ini").c_str()));
}

TEST_F(SelfUpdateE2E, VersionFileWithoutAValidNumberUpdatesNothing) {
  int round = 0;
  for (const char* body : {"[Other]\r\nver=4\r\n", "[updataver]\r\nver=1.2.3.4.5.6-beta+..\\..\r\n",
                           "[updataver]\r\nver=99999999999999999999\r\n"}) {
    SCOPED_TRACE(body);
    Box = std::make_unique<TSandbox>(TestName() + std::to_string(++round));
    Publish(4);
    Server->SetBody("/UPdate.ini", body);
    Server->ClearRequests();
    WriteConfig(5);
    TProcess manager = TProcess::Start(Box->ExePath());
    HWND main = WaitMainWindow(manager.Pid());
    ASSERT_TRUE(main);
    ASSERT_TRUE(Server->WaitForRequests("/zip/a.zip", 2, 30s));
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    EXPECT_FALSE(Server->WaitForRequests("/VornisTools.exe", 1, 3s));
  }
}

TEST_F(SelfUpdateE2E, SwapWaitsUntilTheSettingsDialogIsClosed) {
  Publish(4);
  WriteConfig(5);
  TProcess manager = TProcess::Start(Box->ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  ASSERT_TRUE(WaitUntil([&] { return Box->Exists(L"VornisTools2.exe"); }, 30s));
  Click(FindButton(main, L" 操作設置"));
  HWND settings = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    settings = FindTopWindow(manager.Pid(), L"設置", L"VornisForm");
    return settings && IsWindowVisible(settings);
  }));
  // The swap would have come 6 s after the download.
  EXPECT_FALSE(manager.WaitExit(10s));
  Click(SettingsControl(settings, L"Button2"));
  ASSERT_TRUE(manager.WaitExit(30s));
  ASSERT_TRUE(WaitRelaunched(manager.Pid()));
  EXPECT_EQ(4, RecordedVersion());
}

TEST_F(SelfUpdateE2E, AutoUpdateOffFetchesTheVersionFileOnly) {
  Publish(4);
  WriteConfig(5, false);
  TProcess manager = TProcess::Start(Box->ExePath());
  ASSERT_TRUE(WaitMainWindow(manager.Pid()));
  EXPECT_TRUE(WaitUntil([&] { return Box->Exists(L"UPdate.ini"); }));
  // Timer1 would have fired after 3 s.
  EXPECT_FALSE(Server->WaitForRequests("/Data.xml", 1, 6s));
  EXPECT_EQ(0, Server->RequestCount("/VornisTools.exe"));
  EXPECT_TRUE(manager.Running());
  EXPECT_EQ(Installed, Box->ReadFile(L"VornisTools.exe"));
}

TEST_F(SelfUpdateE2E, ABrokenNewExecutableIsNeverSwappedIn) {
  const std::pair<const char*, std::string> bodies[] = {
      {"truncated", Next.substr(0, Next.size() / 2)},
      {"html", "<html><body>502 Bad Gateway</body></html>"},
  };
  for (const auto& [what, body] : bodies) {
    SCOPED_TRACE(what);
    Box = std::make_unique<TSandbox>(TestName() + "_" + what);
    Publish(4);
    Server->SetBody("/VornisTools.exe", body);
    Server->ClearRequests();
    WriteConfig(5);
    TProcess manager = TProcess::Start(Box->ExePath());
    HWND main = WaitMainWindow(manager.Pid());
    ASSERT_TRUE(main);
    ASSERT_TRUE(Server->WaitForRequests("/VornisTools.exe", 1, 30s));
    // The exe's failure and that of the catalogue's archive (not published) race.
    EXPECT_TRUE(WaitUntil([&] {
      std::wstring status = Text(MainControl(main, L"Label6"));
      return status == L"更新失敗: VornisTools2.exe" || status.rfind(L"更新結束, ", 0) == 0;
    }));
    // A swap would follow 6 s after an accepted download.
    EXPECT_FALSE(manager.WaitExit(9s));
    EXPECT_EQ(Installed, Box->ReadFile(L"VornisTools.exe"));
    EXPECT_FALSE(Box->Exists(L"VornisTools2.exe"));
    EXPECT_FALSE(Box->Exists(L"delme.bat"));
    EXPECT_EQ(5, RecordedVersion());
  }
}

TEST_F(SelfUpdateE2E, ReadOnlyFolderSaysContactOrinOnce) {
  Publish(4);
  WriteConfig(5);
  TProcess manager = TProcess::Start(Box->ExePath());
  ASSERT_TRUE(WaitMainWindow(manager.Pid()));
  ASSERT_TRUE(WaitUntil([&] { return Box->Exists(L"VornisTools2.exe"); }, 30s));
  // As root, only an immutable folder refuses the rename; lifted whatever happens.
  std::string folder = "'" + Box->UnixDir() + "'";
  RunUnix("chattr +i " + folder);
  struct TLift {
    std::string Folder;
    ~TLift() { RunUnix("chattr -i " + Folder); }
  } lift{folder};

  auto error = WaitMessageBox(manager.Pid(), 20s);
  ASSERT_TRUE(error);
  EXPECT_EQ(L"contact Orin.", error->Text);
  Answer(*error);
  auto again = WaitMessageBox(manager.Pid(), 9s);
  EXPECT_FALSE(again) << (again ? Narrow(again->Text) : "");
  EXPECT_TRUE(manager.Running());
  EXPECT_EQ(Installed, Box->ReadFile(L"VornisTools.exe"));
  EXPECT_FALSE(Box->Exists(L"VornisTools.old"));
  EXPECT_EQ(5, RecordedVersion());
}

// Nothing the publisher did not sign is acted on: a changed executable, a missing, short
// or foreign signature. Each time the download is deleted, the user is told once, the
// recorded version stays and nothing is swapped.
TEST_F(SelfUpdateE2E, UnsignedExecutableIsRefusedAndNothingSwaps) {
  if (!testserver::SignForTests("")) GTEST_SKIP() << "this build signs nothing";
  std::string signature = *testserver::SignForTests(Next);
  std::string changed = Next;
  changed[changed.size() / 2] ^= 1;
  testserver::TThrowawayKey stranger;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {changed, signature},
      {Next, signature.substr(0, 63)},
      {Next, *testserver::SignForTests(Installed)},
      {Next, stranger.Sign(Next)},
  };
  for (size_t i = 0; i <= cases.size(); ++i) {
    SCOPED_TRACE(i);
    Publish(4);
    WriteConfig(5);
    if (i < cases.size()) {
      Server->SetBody("/VornisTools.exe", cases[i].first);
      Server->SetBody("/VornisTools.exe.sig", cases[i].second);
    } else {
      Server->RemoveBody("/VornisTools.exe.sig");
      Server->SetFault("/VornisTools.exe.sig", {.Status = 404});
    }
    TProcess manager = TProcess::Start(Box->ExePath());
    ASSERT_TRUE(WaitMainWindow(manager.Pid()));
    std::optional<TMessageBox> box = WaitMessageBox(manager.Pid(), 60s);
    ASSERT_TRUE(box);
    EXPECT_NE(box->Text.find(L"簽章"), std::wstring::npos) << Narrow(box->Text);
    EXPECT_FALSE(Box->Exists(L"VornisTools2.exe"));
    Answer(*box);
    EXPECT_TRUE(manager.Running());
    EXPECT_EQ(Installed, Box->ReadFile(L"VornisTools.exe"));
    EXPECT_EQ(5, RecordedVersion());
    manager.Kill();
    Server->ClearFaults();
  }
}

TEST_F(SelfUpdateE2E, VersionFileSignedForOtherBytesIsNeverRead) {
  if (!testserver::SignForTests("")) GTEST_SKIP() << "this build signs nothing";
  Publish(4);
  WriteConfig(5);
  Server->SetBody("/UPdate.ini.sig", *testserver::SignForTests("[updataver]\r\nver=5\r\n"));
  TProcess manager = TProcess::Start(Box->ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  std::optional<TMessageBox> box = WaitMessageBox(manager.Pid(), 60s);
  ASSERT_TRUE(box);
  EXPECT_NE(box->Text.find(L"UPdate.ini"), std::wstring::npos) << Narrow(box->Text);
  Answer(*box);
  // The automatic update's own refresh comes just before the comparison.
  ASSERT_TRUE(Server->WaitForRequests("/zip/a.zip", 2, 30s));
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
  EXPECT_EQ(0, Server->RequestCount("/VornisTools.exe"));
  EXPECT_FALSE(Box->Exists(L"UPdate.ini"));
}

// The batch names no folder, so a folder name that the ANSI and OEM code pages of a
// Western system (1252, 437) write differently swaps too: cmd would read another name
// and wait for ever. (Folders outside code page 950: selfupdate_tests.)
TEST_F(SelfUpdateE2E, FolderNameTheOemCodePageReadsOtherwiseSwaps) {
  Box = std::make_unique<TSandbox>(TestName() + " caf\xC3\xA9");
  Publish(4);
  WriteConfig(5);
  // Wine takes a process's code pages from the Linux locale it is started in.
  RunUnix("cd '" + Box->UnixDir() + "' && LC_ALL=C.UTF-8 wine VornisTools.exe >/dev/null 2>&1 &");
  DWORD pid = 0;
  ASSERT_TRUE(WaitUntil([&] { return OtherMainWindow(GetCurrentProcessId(), &pid); }, 30s));
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  ASSERT_TRUE(process);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 60000));
  CloseHandle(process);
  ASSERT_TRUE(WaitRelaunched(pid));
  EXPECT_EQ(Next, Box->ReadFile(L"VornisTools.exe"));
  EXPECT_EQ(4, RecordedVersion());
}

// An executable whose own name the batch cannot hold downloads nothing and says why,
// once: the next show (a restore from the tray) is silent.
TEST_F(SelfUpdateE2E, UnnamableExecutableSaysWhyOnceAndDownloadsNothing) {
  Publish(4);
  WriteConfig(5);
  std::wstring exe = Box->Path(L"Vornis\U0001F600.exe");
  ASSERT_TRUE(MoveFileW(Box->ExePath().c_str(), exe.c_str()));
  TProcess manager = TProcess::Start(exe);
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  auto notice = WaitMessageBox(manager.Pid(), 30s);
  ASSERT_TRUE(notice);
  EXPECT_EQ(L"程式檔名含有無法處理的字元,無法自動更新。請將檔名改為 VornisTools.exe 後再開啟。",
            notice->Text);
  Answer(*notice);
  RequestClose(main);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
  PostMessageW(main, WM_COMMAND, 200, 0);  // the tray menu's "恢復視窗(&R)"
  // Two archive requests per automatic update, one more for the restore's reload.
  ASSERT_TRUE(Server->WaitForRequests("/zip/a.zip", 5, 30s));
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
  EXPECT_FALSE(WaitMessageBox(manager.Pid(), 2s));
  EXPECT_EQ(0, Server->RequestCount("/VornisTools.exe"));
  EXPECT_EQ(5, RecordedVersion());
}

// Freeze: today's signed version file with an older signed executable. The version file
// binds the executable by size and SHA-256, so the older one is refused whatever its own
// signature says; the bound one swaps in even with a broken signature beside it.
TEST_F(SelfUpdateE2E, ExecutableIsBoundToTheSignedVersionFile) {
  if (!testserver::SignForTests("")) GTEST_SKIP() << "this build signs nothing";
  std::string older = Installed + "older build";
  SetSigned("/UPdate.ini", VersionFile(4, "2026-12-08T10:00:00Z", Next));
  SetSigned("/VornisTools.exe", older,
            [](const std::string& b) { return *testserver::SignForTests(b); });
  WriteConfig(5);
  TProcess manager = TProcess::Start(Box->ExePath());
  ASSERT_TRUE(WaitMainWindow(manager.Pid()));
  std::optional<TMessageBox> box = WaitMessageBox(manager.Pid(), 60s);
  ASSERT_TRUE(box);
  EXPECT_NE(box->Text.find(L"SHA-256"), std::wstring::npos) << Narrow(box->Text);
  Answer(*box);
  EXPECT_FALSE(Box->Exists(L"VornisTools2.exe"));
  EXPECT_EQ(Installed, Box->ReadFile(L"VornisTools.exe"));
  EXPECT_EQ(5, RecordedVersion());
  manager.Kill();

  SetSigned("/VornisTools.exe", Next, [](const std::string&) { return std::string(64, 'x'); });
  TProcess again = TProcess::Start(Box->ExePath());
  ASSERT_TRUE(WaitMainWindow(again.Pid()));
  ASSERT_TRUE(again.WaitExit(60s));
  ASSERT_TRUE(WaitRelaunched(again.Pid()));
  EXPECT_EQ(Next, Box->ReadFile(L"VornisTools.exe"));
  EXPECT_EQ(4, RecordedVersion());
}

// Replay: after a newer signed publication, the older one served again is refused: the
// list stays as the newer catalogue made it, no executable is fetched, the recorded
// version stays; each refusal says so once.
TEST_F(SelfUpdateE2E, OlderSignedPublicationServedAgainIsRefused) {
  if (!testserver::SignForTests("")) GTEST_SKIP() << "this build signs nothing";
  SetSigned("/Data.xml", Catalogue("2026-12-08T12:00:00Z", 2));
  SetSigned("/UPdate.ini", VersionFile(5, "2026-12-08T12:00:00Z", Installed));
  WriteConfig(5);
  TProcess manager = TProcess::Start(Box->ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  HWND list = MainControl(main, L"ListView1");
  ASSERT_TRUE(WaitUntil([&] { return ReadList(list).size() == 2; }, 30s));
  ASSERT_TRUE(Server->WaitForRequests("/zip/a1.zip", 2, 30s));

  SetSigned("/Data.xml", Catalogue("2026-12-08T11:59:59Z", 1));
  SetSigned("/UPdate.ini", VersionFile(4, "2026-12-08T10:00:00Z", Next));
  Server->ClearRequests();
  ShowAgain(main);
  // The restore and the automatic update each reload the catalogue.
  std::wstring texts;
  const std::wstring older[] = {L"UPdate.ini 比之前已接受的還舊", L"Data.xml 是較舊的發行"};
  while (texts.find(older[0]) == std::wstring::npos || texts.find(older[1]) == std::wstring::npos) {
    std::optional<TMessageBox> box = WaitMessageBox(manager.Pid(), 30s);
    ASSERT_TRUE(box) << Narrow(texts);
    texts += box->Text + L"\n";
    Answer(*box);
  }
  ASSERT_TRUE(Server->WaitForRequests("/Data.xml", 2, 30s));
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
  EXPECT_EQ(2u, ReadList(list).size());
  EXPECT_EQ(0, Server->RequestCount("/VornisTools.exe"));
  EXPECT_EQ(5, RecordedVersion());
  EXPECT_TRUE(manager.Running());
}

// Keys change: a build trusting two keys accepts a publication signed with the second
// and swaps; one signed with a key it does not trust is never read.
TEST_F(SelfUpdateE2E, SecondConfiguredKeyIsTrustedAndAThirdIsNot) {
  if (!testserver::SignForTests("", 1)) GTEST_SKIP() << "this build has no second key";
  auto second = [](const std::string& b) { return *testserver::SignForTests(b, 1); };
  testserver::TThrowawayKey third;
  SetSigned("/UPdate.ini", VersionFile(4, "2026-12-08T10:00:00Z", Next),
            [&](const std::string& b) { return third.Sign(b); });
  WriteConfig(5);
  TProcess refused = TProcess::Start(Box->ExePath());
  ASSERT_TRUE(WaitMainWindow(refused.Pid()));
  std::optional<TMessageBox> box = WaitMessageBox(refused.Pid(), 60s);
  ASSERT_TRUE(box);
  EXPECT_NE(box->Text.find(L"UPdate.ini 沒有發行者的有效簽章"), std::wstring::npos);
  Answer(*box);
  refused.Kill();
  EXPECT_EQ(0, Server->RequestCount("/VornisTools.exe"));

  SetSigned("/Data.xml", Catalogue("2026-12-08T10:00:00Z", 1), second);
  SetSigned("/UPdate.ini", "[updataver]\r\nver=4\r\npublished=2026-12-08T10:00:00Z\r\n", second);
  SetSigned("/VornisTools.exe", Next, second);
  TProcess manager = TProcess::Start(Box->ExePath());
  ASSERT_TRUE(WaitMainWindow(manager.Pid()));
  ASSERT_TRUE(manager.WaitExit(60s));
  ASSERT_TRUE(WaitRelaunched(manager.Pid()));
  EXPECT_EQ(Next, Box->ReadFile(L"VornisTools.exe"));
  EXPECT_EQ(4, RecordedVersion());
}

// The download is judged once it has arrived, and the copy put in place is judged again
// just before the batch may start it: a file changed during the wait is never started.
TEST_F(SelfUpdateE2E, ExecutableChangedBeforeTheSwapIsNeverStarted) {
  Publish(4);
  WriteConfig(5);
  TProcess manager = TProcess::Start(Box->ExePath());
  ASSERT_TRUE(WaitMainWindow(manager.Pid()));
  ASSERT_TRUE(WaitUntil([&] { return Box->Exists(L"VornisTools2.exe"); }, 30s));
  Box->WriteFile(L"VornisTools2.exe", Installed + "planted build");
  std::optional<TMessageBox> box = WaitMessageBox(manager.Pid(), 30s);
  ASSERT_TRUE(box);
  EXPECT_NE(box->Text.find(L"更動"), std::wstring::npos) << Narrow(box->Text);
  Answer(*box);
  EXPECT_TRUE(manager.Running());
  EXPECT_EQ(Installed, Box->ReadFile(L"VornisTools.exe"));
  EXPECT_FALSE(Box->Exists(L"VornisTools.old"));
  EXPECT_EQ(5, RecordedVersion());
}

// A show during the wait before the swap (a restore from the tray) neither starts a
// second download nor spoils the checks of the one waiting: the swap goes through.
TEST_F(SelfUpdateE2E, ShowDuringTheWaitBeforeTheSwapKeepsTheUpdate) {
  Publish(4);
  WriteConfig(5);
  TProcess manager = TProcess::Start(Box->ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  ASSERT_TRUE(WaitUntil([&] { return Box->Exists(L"VornisTools2.exe"); }, 30s));
  ShowAgain(main);
  ASSERT_TRUE(manager.WaitExit(60s));
  ASSERT_TRUE(WaitRelaunched(manager.Pid()));
  EXPECT_EQ(Next, Box->ReadFile(L"VornisTools.exe"));
  EXPECT_EQ(1, Server->RequestCount("/VornisTools.exe"));
  EXPECT_EQ(4, RecordedVersion());
}

// The publisher tool's own publication, served as it wrote it (its signatures, its
// version file binding the executable, its times): the manager updates itself from it.
TEST_F(SelfUpdateE2E, PublisherToolOutputUpdatesTheManager) {
#ifndef VORNIS_PUBLISHER_PRIVATE_PEM
  GTEST_SKIP() << "this build has no private key to publish with";
#else
  Box->WriteFile(L"source\\addons.tsv", "folder\tid\tname\tdescription\tauthor\na\t1\tA\td\to\n");
  Box->WriteFile(L"source\\a\\main.lua", "-- 1\n");
  Box->WriteFile(L"next.exe", Next);
  ASSERT_EQ(0, RunUnix("python3 '" VORNIS_PUBLISH_TOOL "' '" + Box->UnixDir() + "source' '" +
                       Box->UnixDir() + "site' --version 4 --exe '" + Box->UnixDir() +
                       "next.exe' --key '" VORNIS_PUBLISHER_PRIVATE_PEM "'"));
  Server.reset();
  Server = std::make_unique<testserver::TTestHttpServer>(Box->Path(L"site\\"));
  Server->ServeSignatureFiles();
  WriteConfig(5);
  TProcess manager = TProcess::Start(Box->ExePath());
  ASSERT_TRUE(WaitMainWindow(manager.Pid()));
  ASSERT_TRUE(manager.WaitExit(60s));
  ASSERT_TRUE(WaitRelaunched(manager.Pid()));
  EXPECT_EQ(Next, Box->ReadFile(L"VornisTools.exe"));
  EXPECT_EQ(4, RecordedVersion());
  EXPECT_LE(1, Server->RequestCount("/UPdate.ini.sig"));
  EXPECT_LE(1, Server->RequestCount("/Data.xml.sig"));
#endif
}
