// A publisher's journey through the real executable: publications made and signed by
// tools/publish, a second version revalidated (304 for what did not change), "有更新" and
// its menu entry, and archives that do not match the catalogue's hashes refused.
#include <gtest/gtest.h>

#include "Driver.h"
#include "TestHttpServer.h"
#include "ui/Application.h"

using namespace e2e;

namespace {

constexpr WPARAM kCheckUpdatesEntry = 150;  // "勾選有更新的 UI"
#ifdef VORNIS_PUBLISHER_PRIVATE_PEM
const std::string kSigningKey = " --key '" VORNIS_PUBLISHER_PRIVATE_PEM "'";
#else
const std::string kSigningKey;
#endif

std::wstring States(HWND list) {
  std::wstring states;
  for (const TListRow& row : ReadList(list)) states += row.SubItems[0] + L" ";
  return states;
}

int StatusOf(const testserver::TTestHttpServer& server, const std::string& path) {
  int status = 0;
  for (const auto& request : server.Requests())
    if (request.Path == path) status = request.Status;
  return status;
}

}  // namespace

TEST(PublishE2E, SecondVersionShowsUpdatesAndMismatchedArchivesAreRefused) {
  TSandbox box("PublishJourney");
  // Rows sort by name: A, B, C.
  box.WriteFile(L"source\\addons.tsv",
                "folder\tid\tname\tdescription\tauthor\nAddA\t1\tA\ta\tx\nAddB\t2\tB\tb\tx\n"
                "AddC\t3\tC\tc\tx\n");
  for (const char* folder : {"AddA", "AddB", "AddC"})
    box.WriteFile(ui::Widen("source\\" + std::string(folder) + "\\main.lua"), "-- 1\n");
  // Into the folder the server serves, beside the publisher's own page, with the
  // manager's executable and signed with the key the manager was built with.
  box.WriteFile(L"site\\vornistools.php", "<p>UI</p>");
  auto publish = [&](int version) {
    return RunUnix("python3 '" VORNIS_PUBLISH_TOOL "' '" + box.UnixDir() + "source' '" +
                   box.UnixDir() + "site' --version " + std::to_string(version) + " --exe '" +
                   box.UnixDir() + "VornisTools.exe'" + kSigningKey);
  };
  ASSERT_EQ(0, publish(1));
  testserver::TTestHttpServer server(box.Path(L"site\\"));
  server.ServeSignatureFiles();
  std::wstring game = box.MakeGame();
  box.WriteFile(L"Config.ini", "[game]\r\ngamepath=" + ui::Narrow(game) +
                                   "\r\n[updata]\r\nautoupdata=0\r\n[updataver]\r\nver=1\r\n");
  TProcess manager = TProcess::Start(box.ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  HWND list = MainControl(main, L"ListView1");
  HWND refreshText = MainControl(main, L"Label6");
  HWND installText = MainControl(main, L"Label7");
  // Every archive answered and the cache holding what the site publishes.
  auto refreshed = [&] {
    return WaitUntil(
        [&] {
          for (const char* folder : {"AddA", "AddB", "AddC"}) {
            std::wstring zip = L"zip\\" + ui::Widen(folder) + L".zip";
            if (StatusOf(server, "/zip/" + std::string(folder) + ".zip") == 0 ||
                box.ReadFile(zip) != box.ReadFile(L"site\\" + zip))
              return false;
          }
          return true;
        },
        30s);
  };
  auto install = [&](const std::wstring& done) {
    SetText(installText, L"");
    Click(FindButton(main, L"  安裝選中 UI"));
    return WaitUntil([&] { return Text(installText) == done; }, 30s);
  };

  Click(FindButton(main, L"更新 UI"));
  ASSERT_TRUE(refreshed());
  SetRowChecked(list, 0, true);
  SetRowChecked(list, 1, true);
  ASSERT_TRUE(install(L"勾選的UI 已經安裝完畢"));
  EXPECT_EQ(L"已安裝 已安裝 未安裝 ", States(list));

  // Version 2 changes B only: A is revalidated, B fetched and shown as updated.
  box.WriteFile(L"source\\AddB\\main.lua", "-- 2\n");
  ASSERT_EQ(0, publish(2));
  server.ClearRequests();
  Click(FindButton(main, L"更新 UI"));
  ASSERT_TRUE(refreshed());
  EXPECT_TRUE(WaitUntil([&] { return States(list) == L"已安裝 有更新 未安裝 "; }, 10s));
  EXPECT_EQ(L"2", Text(MainControl(main, L"Label12")));
  EXPECT_EQ(304, StatusOf(server, "/zip/AddA.zip"));
  EXPECT_EQ(304, StatusOf(server, "/zip/AddC.zip"));
  EXPECT_EQ(200, StatusOf(server, "/zip/AddB.zip"));
  EXPECT_EQ("<p>UI</p>", box.ReadFile(L"site\\vornistools.php"));

  PostMessageW(main, WM_COMMAND, kCheckUpdatesEntry, 0);
  ASSERT_TRUE(WaitUntil([&] { return ReadList(list)[1].Checked; }));
  EXPECT_FALSE(ReadList(list)[0].Checked || ReadList(list)[2].Checked);
  ASSERT_TRUE(install(L"勾選的UI 已經安裝完畢"));
  EXPECT_EQ("-- 2\n", box.ReadFile(L"game\\client\\data\\Mods\\Addons\\AddB\\main.lua"));
  EXPECT_EQ(L"已安裝 已安裝 未安裝 ", States(list));

  // A swapped archive under the catalogue's hash is refused and the cached one kept; a
  // cached archive changed behind the manager's back is not installed.
  std::string goodA = box.ReadFile(L"zip\\AddA.zip");
  box.WriteFile(L"site\\zip\\AddA.zip", box.ReadFile(L"site\\zip\\AddB.zip"));
  SetText(refreshText, L"");
  Click(FindButton(main, L"更新 UI"));
  EXPECT_TRUE(WaitUntil([&] { return Text(refreshText) == L"更新結束, 1 個UI更新失敗"; }, 30s));
  EXPECT_EQ(goodA, box.ReadFile(L"zip\\AddA.zip"));
  box.WriteFile(L"zip\\AddC.zip", goodA);
  SetRowChecked(list, 2, true);
  EXPECT_TRUE(install(L"勾選的UI 安裝完畢,1 個安裝失敗"));
  EXPECT_FALSE(box.Exists(L"game\\client\\data\\Mods\\Addons\\AddC"));
}
