// The catalogue and the list seen from outside: a Chinese catalogue, some add-ons
// already installed, the game launch, and the missing game path.
#include <gtest/gtest.h>

#include "Driver.h"
#include "TestHttpServer.h"

using namespace e2e;

namespace {

std::string Utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// Catalogue order differs from the list's Big5 order on purpose.
const char kCatalogue[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plug>\n"
    "<Item plugName=\"龍族助手\" plugid=\"1\" plugfolder=\"Dragon\" plugdescribe=\"龍\" "
    "plugauthor=\"甲\"/>\n"
    "<Item plugName=\"一鍵換裝\" plugid=\"2\" plugfolder=\" Outfit \" plugdescribe=\"換裝\" "
    "plugauthor=\"乙\"/>\n"
    "<Item plugName=\"Alpha HUD\" plugid=\"3\" plugfolder=\"AlphaHud\" plugdescribe=\"\" "
    "plugauthor=\"丙\"/>\n"
    "<Item plugName=\"地圖增強\" plugid=\"4\" plugfolder=\"MapPlus\" plugdescribe=\"地圖\" "
    "plugauthor=\"丁\"/>\n"
    "</plug>\n";

class CatalogueE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    Server.SetBody("/UPdate.ini", "[updataver]\r\nver=7\r\n", "text/plain");
    Server.SetBody("/Data.xml", kCatalogue, "text/xml");
    Box =
        std::make_unique<TSandbox>(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  // Config.ini with the game path (blank for none) and the number recorded at the last
  // game start; automatic update off so that only the commands under test run.
  void WriteConfig(const std::wstring& gamePath, int num) {
    Box->WriteFile(L"Config.ini", "[game]\r\ngamepath=" + Utf8(gamePath) +
                                      "\r\n[updata]\r\nautoupdata=0\r\nnum=" + std::to_string(num) +
                                      "\r\n[updataver]\r\nver=7\r\n");
  }

  testserver::TTestHttpServer Server{L""};
  std::unique_ptr<TSandbox> Box;
};

}  // namespace

TEST_F(CatalogueE2E, UpdateShowsTheCatalogueSortedWithItsInstallState) {
  std::wstring game = Box->MakeGame();
  CreateDirectoryW(Box->Path(L"game\\client\\data\\Mods\\Addons\\Outfit").c_str(), nullptr);
  CreateDirectoryW(Box->Path(L"game\\client\\data\\Mods\\Addons\\MapPlus").c_str(), nullptr);
  WriteConfig(game, 6);
  TProcess manager = TProcess::Start(Box->ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);

  Click(FindButton(main, L"更新 UI"));
  HWND list = MainControl(main, L"ListView1");
  ASSERT_TRUE(WaitUntil([&] {
    auto rows = ReadList(list);
    return rows.size() == 4 && rows[0].SubItems[0].size() > 1;
  }));
  auto rows = ReadList(list);
  // Code page 950 byte order: ASCII first, then 一 (A4 40), 地 (A6 61), 龍 (C0 73).
  ASSERT_EQ(4u, rows.size());
  EXPECT_EQ(L"Alpha HUD", rows[0].Caption);
  EXPECT_EQ(L"一鍵換裝", rows[1].Caption);
  EXPECT_EQ(L"地圖增強", rows[2].Caption);
  EXPECT_EQ(L"龍族助手", rows[3].Caption);
  EXPECT_EQ(L"未安裝", rows[0].SubItems[0]);
  EXPECT_EQ(L"已安裝", rows[1].SubItems[0]);
  EXPECT_EQ(L"已安裝", rows[2].SubItems[0]);
  EXPECT_EQ(L"未安裝", rows[3].SubItems[0]);
  EXPECT_EQ(L" Outfit ", rows[1].SubItems[1]);  // kept as published
  EXPECT_EQ(L"狀態", ColumnCaption(list, 1));
  EXPECT_EQ(L"4", Text(MainControl(main, L"Label10")));
  EXPECT_EQ(L"2", Text(MainControl(main, L"Label12")));
  EXPECT_EQ(L"2", Text(MainControl(main, L"Label14")));
  EXPECT_EQ(L"最近更新個數-2", Text(MainControl(main, L"Label15")));
  // A click on a row's box ticks it, and a second one clears it.
  ASSERT_TRUE(ClickRowCheckBox(list, 3));
  EXPECT_TRUE(WaitUntil([&] { return ReadList(list)[3].Checked; }));
  EXPECT_FALSE(ReadList(list)[2].Checked);
  ASSERT_TRUE(ClickRowCheckBox(list, 3));
  EXPECT_TRUE(WaitUntil([&] { return !ReadList(list)[3].Checked; }));
}

TEST_F(CatalogueE2E, GameLaunchStartsTheGameRecordsTheCountAndHides) {
  std::wstring game = Box->MakeGame();
  WriteConfig(game, 0);
  TProcess manager = TProcess::Start(Box->ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  Click(FindButton(main, L"更新 UI"));
  ASSERT_TRUE(WaitUntil([&] { return ReadList(MainControl(main, L"ListView1")).size() == 4; }));

  Click(FindButton(main, L"開啟遊戲"));
  EXPECT_TRUE(WaitUntil([&] { return Box->Exists(L"game\\client\\bin\\VNgame.started"); }));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
  EXPECT_TRUE(manager.Running());
  EXPECT_EQ(4, static_cast<int>(
                   GetPrivateProfileIntW(L"updata", L"num", -1, Box->Path(L"Config.ini").c_str())));
}

TEST_F(CatalogueE2E, BlankGamePathAsksForItAndWritesNothing) {
  WriteConfig(L"   ", 3);
  std::string before = Box->ReadFile(L"Config.ini");
  TProcess manager = TProcess::Start(Box->ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);

  for (const wchar_t* command : {L"更新 UI", L"開啟遊戲"}) {
    Click(FindButton(main, command));
    auto notice = WaitMessageBox(manager.Pid());
    ASSERT_TRUE(notice);
    EXPECT_EQ(L"請設定遊戲安裝位置", notice->Text);
    Answer(*notice);
    HWND settings = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
      settings = FindTopWindow(manager.Pid(), L"設置", L"VornisForm");
      return settings && IsWindowVisible(settings);
    }));
    Click(SettingsControl(settings, L"Button2"));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(settings); }));
  }
  EXPECT_EQ(0, Server.RequestCount("/Data.xml"));
  EXPECT_TRUE(ReadList(MainControl(main, L"ListView1")).empty());
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(before, Box->ReadFile(L"Config.ini"));
}
