// A player's journey through the real executable: an update rolled back and forward
// again with one menu entry, a removal taking the kept version along, and automatic
// updates that install only the changed installed add-on, and only when turned on.
#include <gtest/gtest.h>

#include "Driver.h"
#include "TestHttpServer.h"
#include "ui/Application.h"

using namespace e2e;

namespace {

constexpr WPARAM kCheckUpdatesEntry = 150;  // "勾選有更新的 UI"
constexpr WPARAM kRollBackEntry = 151;      // "還原勾選 UI 的上一版"
constexpr WPARAM kAutoInstallEntry = 152;   // "自動更新已安裝的 UI"
constexpr WPARAM kExitEntry = 103;          // "退出"
#ifdef VORNIS_PUBLISHER_PRIVATE_PEM
const std::string kSigningKey = " --key '" VORNIS_PUBLISHER_PRIVATE_PEM "'";
#else
const std::string kSigningKey;
#endif
const std::wstring kAddons = L"game\\client\\data\\Mods\\Addons\\";

std::wstring States(HWND list) {
  std::wstring states;
  for (const TListRow& row : ReadList(list)) states += row.SubItems[0] + L" ";
  return states;
}

}  // namespace

TEST(RollbackE2E, UpdatesRollBackAndForthAndInstallThemselvesWhenAsked) {
  TSandbox box("RollbackJourney");
  box.WriteFile(L"source\\addons.tsv",
                "folder\tid\tname\tdescription\tauthor\nAddA\t1\tA\ta\tx\nAddB\t2\tB\tb\tx\n"
                "AddC\t3\tC\tc\tx\n");
  for (const char* folder : {"AddA", "AddB", "AddC"})
    box.WriteFile(ui::Widen("source\\" + std::string(folder) + "\\main.lua"), "-- 1\n");
  auto publish = [&](bool first) {
    return RunUnix("python3 '" VORNIS_PUBLISH_TOOL "' '" + box.UnixDir() + "source' '" +
                   box.UnixDir() + "site'" +
                   (first ? " --version 1 --exe '" + box.UnixDir() + "VornisTools.exe'" : "") +
                   kSigningKey);
  };
  ASSERT_EQ(0, publish(true));
  testserver::TTestHttpServer server(box.Path(L"site\\"));
  server.ServeSignatureFiles();
  // Wine's recycle bin: a trash of the sandbox's own.
  ASSERT_EQ(0, RunUnix("mkdir -p '" + box.UnixDir() + "xdg/Trash/files' '" + box.UnixDir() +
                       "xdg/Trash/info'"));
  SetEnvironmentVariableW(L"XDG_DATA_HOME", ui::Widen(box.UnixDir() + "xdg").c_str());
  std::wstring game = box.MakeGame();
  // The version check at each start loads the catalogue and refreshes; the version
  // published is this one.
  box.WriteFile(L"Config.ini", "[game]\r\ngamepath=" + ui::Narrow(game) +
                                   "\r\n[updata]\r\nautoupdata=1\r\n[updataver]\r\nver=1\r\n");
  TProcess manager;
  HWND main = nullptr, list = nullptr, installText = nullptr;
  auto start = [&] {
    manager = TProcess::Start(box.ExePath());
    main = WaitMainWindow(manager.Pid());
    list = MainControl(main, L"ListView1");
    installText = MainControl(main, L"Label7");
    return main && WaitUntil([&] { return ReadList(list).size() == 3; }, 30s);
  };
  auto command = [&](WPARAM entry, const std::wstring& done) {
    SetText(installText, L"");
    PostMessageW(main, WM_COMMAND, entry, 0);
    return WaitUntil([&] { return Text(installText) == done; }, 30s);
  };
  auto stop = [&] {
    PostMessageW(main, WM_COMMAND, kExitEntry, 0);
    return manager.WaitExit(20s);
  };

  ASSERT_TRUE(start());
  // The cache holds what the site publishes.
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const wchar_t* folder : {L"AddA", L"AddB", L"AddC"}) {
          std::wstring zip = L"zip\\" + std::wstring(folder) + L".zip";
          if (!box.Exists(zip + L".info") || box.ReadFile(zip) != box.ReadFile(L"site\\" + zip))
            return false;
        }
        return true;
      },
      30s));
  SetRowChecked(list, 0, true);
  SetRowChecked(list, 1, true);
  SetText(installText, L"");
  Click(FindButton(main, L"  安裝選中 UI"));
  ASSERT_TRUE(WaitUntil([&] { return Text(installText) == L"勾選的UI 已經安裝完畢"; }, 30s));
  box.WriteFile(kAddons + L"AddA\\mine.txt", "player's\n");

  // Version 2 of A, installed by hand, rolled back and forward again.
  box.WriteFile(L"source\\AddA\\main.lua", "-- 2\n");
  box.WriteFile(L"source\\AddA\\new.lua", "-- new\n");
  ASSERT_EQ(0, publish(false));
  Click(FindButton(main, L"更新 UI"));
  ASSERT_TRUE(WaitUntil([&] { return States(list) == L"有更新 已安裝 未安裝 "; }, 30s));
  PostMessageW(main, WM_COMMAND, kCheckUpdatesEntry, 0);
  ASSERT_TRUE(WaitUntil([&] { return ReadList(list)[0].Checked; }));
  SetText(installText, L"");
  Click(FindButton(main, L"  安裝選中 UI"));
  ASSERT_TRUE(WaitUntil([&] { return Text(installText) == L"勾選的UI 已經安裝完畢"; }, 30s));
  EXPECT_EQ("-- 2\n", box.ReadFile(kAddons + L"AddA\\main.lua"));

  SetRowChecked(list, 0, true);
  ASSERT_TRUE(command(kRollBackEntry, L"勾選的UI 已還原 1 個上一版"));
  EXPECT_EQ("-- 1\n", box.ReadFile(kAddons + L"AddA\\main.lua"));
  EXPECT_EQ("player's\n", box.ReadFile(kAddons + L"AddA\\mine.txt"));
  EXPECT_FALSE(box.Exists(kAddons + L"AddA\\new.lua"));
  EXPECT_EQ(L"有更新 已安裝 未安裝 ", States(list));
  SetRowChecked(list, 0, true);
  ASSERT_TRUE(command(kRollBackEntry, L"勾選的UI 已還原 1 個上一版"));
  EXPECT_EQ("-- 2\n", box.ReadFile(kAddons + L"AddA\\main.lua"));
  EXPECT_EQ("player's\n", box.ReadFile(kAddons + L"AddA\\mine.txt"));
  EXPECT_EQ(L"已安裝 已安裝 未安裝 ", States(list));

  // Off: a start after a publication changing B and C installs nothing.
  box.WriteFile(L"source\\AddB\\main.lua", "-- 3\n");
  box.WriteFile(L"source\\AddC\\main.lua", "-- 3\n");
  ASSERT_EQ(0, publish(false));
  ASSERT_TRUE(stop());
  ASSERT_TRUE(start());
  ASSERT_TRUE(WaitUntil([&] { return States(list) == L"已安裝 有更新 未安裝 "; }, 30s));
  EXPECT_EQ("-- 1\n", box.ReadFile(kAddons + L"AddB\\main.lua"));
  // On, and kept across a restart. A refresh of the run that turned it on may already
  // install B; the next run installs it otherwise, and installs exactly the add-on that
  // changes while it runs.
  PostMessageW(main, WM_COMMAND, kAutoInstallEntry, 0);
  ASSERT_TRUE(
      WaitUntil([&] { return box.ReadFile(L"Config.ini").find("autoui=1") != std::string::npos; }));
  ASSERT_TRUE(stop());
  ASSERT_TRUE(start());
  // The start's catalogue load and refresh take a while on a busy machine.
  ASSERT_TRUE(
      WaitUntil([&] { return box.ReadFile(kAddons + L"AddB\\main.lua") == "-- 3\n"; }, 90s));
  box.WriteFile(L"source\\AddB\\main.lua", "-- 4\n");
  ASSERT_EQ(0, publish(false));
  Click(FindButton(main, L"更新 UI"));
  ASSERT_TRUE(WaitUntil(
      [&] {
        return box.ReadFile(kAddons + L"AddB\\main.lua") == "-- 4\n" &&
               Text(installText) == L"勾選的UI 已經安裝完畢";
      },
      90s));
  EXPECT_FALSE(box.Exists(kAddons + L"AddC"));
  EXPECT_EQ(L"已安裝 已安裝 未安裝 ", States(list));

  // A removal takes the kept version along.
  ASSERT_TRUE(box.Exists(L"game\\client\\data\\Mods\\.VornisTools-previous\\AddB"));
  SetRowChecked(list, 1, true);
  Click(FindButton(main, L"  移除選中 UI"));
  std::optional<TMessageBox> question = WaitMessageBox(manager.Pid(), 15s, L"提示 ");
  ASSERT_TRUE(question);
  Answer(*question, IDYES);
  EXPECT_TRUE(WaitUntil([&] { return !box.Exists(kAddons + L"AddB"); }));
  EXPECT_TRUE(WaitUntil(
      [&] { return !box.Exists(L"game\\client\\data\\Mods\\.VornisTools-previous\\AddB"); }));
  ASSERT_TRUE(stop());
}
