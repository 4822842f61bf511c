// The list when the update server is down or sends a refused catalogue, and update marks
// that follow the catalogue and the game: the real executable, the demo publication.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Driver.h"
#include "TestHttpServer.h"
#include "ui/Application.h"

using namespace e2e;

#ifdef VORNIS_DEMO_SITE_DIR

namespace {

const std::wstring kSite = WinPath(VORNIS_DEMO_SITE_DIR) + L"\\";

struct TManager {
  explicit TManager(const TSandbox& box)
      : Box(box),
        Process(TProcess::Start(box.ExePath())),
        Main(WaitMainWindow(Process.Pid())),
        List(MainControl(Main, L"ListView1")) {}
  std::wstring Say(const wchar_t* label) const { return Text(MainControl(Main, label)); }
  std::wstring State(int row) const { return ReadList(List).at(row).SubItems[0]; }
  // "更新 UI" until every row shows its state with its archive cached, and the status
  // line starts with `status`.
  bool Load(const std::wstring& status) {
    Click(FindButton(Main, L"更新 UI"));
    return WaitUntil(
        [&] {
          std::vector<TListRow> list = ReadList(List);
          for (const TListRow& row : list)
            if (row.SubItems[0].size() < 2 || !Box.Exists(L"zip\\" + row.SubItems[1] + L".zip"))
              return false;
          return list.size() == 7 && Say(L"Label6").find(status) == 0;
        },
        60s);
  }
  // Installs or (with `done` empty) removes the ticked rows, answering "提示 " with Yes.
  bool Run(const std::wstring& done) {
    Click(FindButton(Main, done.empty() ? L"  移除選中 UI" : L"  安裝選中 UI"));
    return WaitUntil(
        [&] {
          if (auto box = WaitMessageBox(Process.Pid(), 0s, L"提示 ")) Answer(*box, IDYES);
          return Say(L"Label7") == done || (done.empty() && Say(L"Label12") == L"0");
        },
        60s);
  }
  const TSandbox& Box;
  TProcess Process;
  HWND Main, List;
};

TSandbox Prepared(const char* name) {
  TSandbox box(name);
  box.WriteFile(L"Config.ini", "[game]\r\ngamepath=" + ui::Narrow(box.MakeGame()) +
                                   "\r\n[updata]\r\nautoupdata=0\r\n");
  CreateDirectoryW(box.Path(L"xdg").c_str(), nullptr);  // the recycle bin's parent
  SetEnvironmentVariableW(L"XDG_DATA_HOME", ui::Widen(box.UnixDir() + "xdg").c_str());
  return box;
}

const std::wstring kDone = L"勾選的UI 已經安裝完畢";

}  // namespace

TEST(OfflineE2E, ARefusedCatalogueOrADownServerKeepsTheList) {
  TSandbox box = Prepared("OfflineList");
  std::vector<TListRow> rows;
  {
    testserver::TTestHttpServer server(kSite);
    TManager manager(box);
    ASSERT_TRUE(manager.Load(L"")) << ui::Narrow(manager.Say(L"Label6"));
    rows = ReadList(manager.List);
    // Refused: the rows, the counts and the archives' hashes (an install needs them) stay.
    server.SetBody("/Data.xml", "<plug><Item");
    Click(FindButton(manager.Main, L"更新 UI"));
    auto refused = WaitMessageBox(manager.Process.Pid());
    ASSERT_TRUE(refused);
    Answer(*refused);
    EXPECT_EQ(L"未安裝", manager.State(6));
    EXPECT_EQ(L"7", manager.Say(L"Label14"));
    SetRowChecked(manager.List, 3, true);
    ASSERT_TRUE(manager.Run(kDone));
  }
  // The server is gone: the saved list, installs from the cache and removals.
  TManager offline(box);
  ASSERT_TRUE(offline.Load(L"無法連線伺服器,顯示 ")) << ui::Narrow(offline.Say(L"Label6"));
  EXPECT_FALSE(WaitMessageBox(offline.Process.Pid(), 0s));
  EXPECT_EQ(L"已安裝", offline.State(3));
  SetRowChecked(offline.List, 4, true);
  ASSERT_TRUE(offline.Run(kDone));
  EXPECT_EQ(L"已安裝", offline.State(4));
  SetRowChecked(offline.List, 3, true);
  SetRowChecked(offline.List, 4, true);
  ASSERT_TRUE(offline.Run(L""));
  offline.Process.Kill();

  std::string saved = box.ReadFile(L"LastData.xml");
  saved[saved.find("plugdescribe=\"") + 14] ^= 1;
  box.WriteFile(L"LastData.xml", saved);
  TManager tampered(box);
  Click(FindButton(tampered.Main, L"更新 UI"));
  auto refused = WaitMessageBox(tampered.Process.Pid());
  ASSERT_TRUE(refused);
  EXPECT_NE(std::wstring::npos, refused->Text.find(L"儲存的 UI 清單")) << ui::Narrow(refused->Text);
  EXPECT_TRUE(ReadList(tampered.List).empty());
}

// "有更新" from the catalogue's hash while the new archive cannot be downloaded, only in
// the game it was installed into; "勾選有更新的 UI" does nothing until a row shows it.
TEST(OfflineE2E, UpdateMarksFollowTheCatalogueAndTheGame) {
  testserver::TTestHttpServer server(kSite);
  TSandbox box = Prepared("OfflineMarks");
  TManager manager(box);
  ASSERT_TRUE(manager.Load(L""));
  std::string folder = ui::Narrow(ReadList(manager.List)[0].SubItems[1]);
  SetRowChecked(manager.List, 0, true);
  PostMessageW(manager.Main, WM_COMMAND, 150, 0);  // greyed: the row stays ticked
  ASSERT_TRUE(manager.Run(kDone));
  EXPECT_EQ(L"已安裝", manager.State(0));

  std::ifstream site(std::filesystem::path(kSite + L"Data.xml"), std::ios::binary);
  std::string xml((std::istreambuf_iterator<char>(site)), {});
  xml.replace(xml.find("plugsha256=\"", xml.find("plugfolder=\"" + folder)) + 12, 64,
              std::string(64, '0'));
  server.SetBody("/Data.xml", xml);
  server.SetFault("/zip/" + folder + ".zip", {.Status = 404});
  ASSERT_TRUE(manager.Load(L"更新結束, 1 個UI更新失敗")) << ui::Narrow(manager.Say(L"Label6"));
  EXPECT_EQ(L"有更新", manager.State(0));
  PostMessageW(manager.Main, WM_COMMAND, 150, 0);
  EXPECT_TRUE(WaitUntil([&] { return ReadList(manager.List)[0].Checked; }));

  // Another game holding a folder of that name shows it installed, without a mark.
  box.WriteFile(L"gameB\\data\\Mods\\Addons\\" + ui::Widen(folder) + L"\\x.lua", "");
  for (const wchar_t* game : {L"gameB\\bin\\VNgame.exe", L"game\\client\\bin\\VNgame.exe"}) {
    Click(FindButton(manager.Main, L" 操作設置"));
    HWND settings = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
      settings = FindTopWindow(manager.Process.Pid(), L"設置", L"VornisForm");
      return settings && IsWindowVisible(settings);
    }));
    SetText(SettingsControl(settings, L"Edit1"), box.Path(game));
    Click(SettingsControl(settings, L"Button1"));
    std::wstring state = game[4] == L'B' ? L"已安裝" : L"有更新";
    EXPECT_TRUE(WaitUntil([&] { return manager.State(0) == state; }));
  }
}

#endif
