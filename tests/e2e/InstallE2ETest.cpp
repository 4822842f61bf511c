// Installing and removing add-ons with the real executable: the demo publication served
// on the product's address, "更新 UI" to fill the list and the archive cache, then the
// two commands, checked against the publication's files, the game folder and the Wine
// user's trash (the recycle bin under Wine).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "Driver.h"
#include "ui/Application.h"
#include "TestHttpServer.h"

using namespace e2e;

namespace {

namespace fs = std::filesystem;

std::string TestName() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every file under `root`, by relative path, with its content.
std::map<std::wstring, std::string> Tree(const fs::path& root) {
  std::map<std::wstring, std::string> files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       it != fs::recursive_directory_iterator(); ++it) {
    if (it->is_regular_file())
      files[fs::relative(it->path(), root).wstring()] = ReadBytes(it->path());
  }
  return files;
}

std::string Ansi(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                      nullptr, nullptr);
  return result;
}

const std::string kDemo = std::string(VORNIS_BINARY_DIR) + "/demo";

class InstallE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    Server = std::make_unique<testserver::TTestHttpServer>(WinPath(kDemo + "/site"),
                                                           testserver::kDefaultPort);
    Box = std::make_unique<TSandbox>(TestName());
    // Wine's recycle bin: the trash in XDG_DATA_HOME, one per test; a file there, none.
    std::string TrashHome = Box->UnixDir() + "xdg";
    if (TrashOnOtherFileSystem) {
      ASSERT_FALSE(OtherFileSystem().empty()) << "no tmpfs could be mounted in the sandbox";
      TrashHome = OtherFileSystem() + "/xdg";
      ASSERT_EQ(0,
                RunUnix("mkdir -p '" + TrashHome + "/Trash/files' '" + TrashHome + "/Trash/info'"));
    }
    SetEnvironmentVariableW(L"XDG_DATA_HOME", ui::Widen(TrashHome).c_str());
    if (!WithTrash) Box->WriteFile(L"xdg", "no trash here");
    GameExe = Box->MakeGame();
    Box->WriteFile(L"Config.ini",
                   "[game]\r\ngamepath=" + Ansi(GameExe) + "\r\n[updata]\r\nautoupdata=0\r\n");
    Manager = TProcess::Start(Box->ExePath());
    Main = WaitMainWindow(Manager.Pid());
    ASSERT_TRUE(Main);
    List = MainControl(Main, L"ListView1");
    // "更新 UI": the catalogue, then every archive into the cache.
    Click(FindButton(Main, L"更新 UI"));
    ASSERT_TRUE(WaitUntil(
        [&] {
          std::vector<TListRow> rows = ReadList(List);
          if (rows.size() != 7) return false;
          for (const TListRow& row : rows) {
            fs::path cached = Box->Path(L"zip\\" + row.SubItems[1] + L".zip");
            fs::path published =
                fs::path(WinPath(kDemo + "/site/zip/")) / (row.SubItems[1] + L".zip");
            std::error_code error;
            if (fs::file_size(cached, error) != fs::file_size(published, error) || error)
              return false;
          }
          return true;
        },
        60s));
  }

  fs::path Addons() const { return Box->Path(L"game\\client\\data\\Mods\\Addons"); }
  fs::path Expected(const std::wstring& folder) const {
    return fs::path(WinPath(kDemo + "/expected/Addons")) / folder;
  }
  int Row(const std::wstring& folder) const {
    std::vector<TListRow> rows = ReadList(List);
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].SubItems[1] == folder) return static_cast<int>(i);
    return -1;
  }
  std::wstring State(const std::wstring& folder) const {
    return ReadList(List)[Row(folder)].SubItems[0];
  }
  bool RowChecked(const std::wstring& folder) const { return ReadList(List)[Row(folder)].Checked; }
  void Check(std::initializer_list<const wchar_t*> folders) {
    for (const wchar_t* folder : folders) SetRowChecked(List, Row(folder), true);
  }
  bool Install(const std::wstring& done = L"勾選的UI 已經安裝完畢") {
    Click(FindButton(Main, L"  安裝選中 UI"));
    return WaitUntil([&] { return Text(MainControl(Main, L"Label7")) == done; }, 60s);
  }
  std::wstring Counter(const wchar_t* label) const { return Text(MainControl(Main, label)); }
  // Runs a Python script (general tool, not part of the product) in the sandbox.
  void Python(const std::string& script) {
    Box->WriteFile(L"script.py", script);
    ASSERT_EQ(0, RunUnix("cd '" + Box->UnixDir() + "' && python3 script.py"));
  }

  void TearDown() override {
    if (!FOtherFileSystem.empty()) RunUnix("umount -l '" + FOtherFileSystem + "'");
  }

  // Another file system inside the sandbox, where a rename reports another device: a
  // small tmpfs mounted at the sandbox's "otherfs" (the tests run as root) for this test.
  std::string OtherFileSystem() {
    if (FOtherFileSystem.empty()) {
      std::string point = Box->UnixDir() + "otherfs";
      if (RunUnix("mkdir -p '" + point + "' && mount -t tmpfs -o size=64m vornis-test '" + point +
                  "'") == 0)
        FOtherFileSystem = point;
    }
    return FOtherFileSystem;
  }

  // Makes the game's Addons folder a link to a folder on the other file system; empty
  // when there is none.
  std::string LinkAddonsToOtherFileSystem() {
    if (OtherFileSystem().empty()) return "";
    std::string elsewhere = OtherFileSystem() + "/addons";
    std::string addons = "'" + Box->UnixDir() + "game/client/data/Mods/Addons'";
    if (RunUnix("rm -rf " + addons + " && mkdir '" + elsewhere + "' && ln -s '" + elsewhere + "' " +
                addons) != 0)
      return "";
    return elsewhere;
  }

  void RemoveThroughALink() {
    std::string elsewhere = LinkAddonsToOtherFileSystem();
    ASSERT_FALSE(elsewhere.empty()) << "no tmpfs could be mounted in the sandbox";
    Check({L"CombatText"});
    ASSERT_TRUE(Install());
    Check({L"CombatText"});
    Click(FindButton(Main, L"  移除選中 UI"));
    auto question = WaitMessageBox(Manager.Pid(), 15s, L"提示 ");
    ASSERT_TRUE(question);
    Answer(*question, IDYES);
    if (!WithTrash) {
      auto permanent = WaitMessageBox(Manager.Pid(), 15s, L"提示 ");
      ASSERT_TRUE(permanent);
      EXPECT_NE(permanent->Text.find(L"永久刪除"), std::wstring::npos) << permanent->Text;
      Answer(*permanent, IDNO);
    }
    ASSERT_TRUE(WaitUntil([&] { return !RowChecked(L"CombatText"); }));
    fs::path linked = fs::path(WinPath(elsewhere));
    EXPECT_EQ(Tree(linked / L"CombatText"),
              WithTrash ? decltype(Tree(linked)){} : Tree(Expected(L"CombatText")));
    EXPECT_EQ(State(L"CombatText"), WithTrash ? L"未安裝" : L"已安裝");
    EXPECT_EQ(Tree(linked).size(), WithTrash ? 0u : Tree(Expected(L"CombatText")).size());
    fs::path mods = Box->Path(L"game\\client\\data\\Mods");
    EXPECT_EQ(std::distance(fs::directory_iterator(mods), {}), 1);  // Addons alone
  }

  bool WithTrash = true;
  bool TrashOnOtherFileSystem = false;
  std::unique_ptr<testserver::TTestHttpServer> Server;
  std::unique_ptr<TSandbox> Box;
  std::string FOtherFileSystem;  // Linux path of the mounted tmpfs, once mounted
  std::wstring GameExe;
  TProcess Manager;
  HWND Main = nullptr;
  HWND List = nullptr;
};

TEST_F(InstallE2E, InstallTwoThenRemoveToTheTrash) {
  // Under Wine the recycle bin is the user's XDG trash; it must exist to be used.
  ASSERT_EQ(0, RunUnix("t=\"$XDG_DATA_HOME/Trash\"; mkdir -p \"$t/files\" \"$t/info\" && printf %s "
                       "\"$t\" > '" +
                       Box->UnixDir() + "trash.txt'"));
  fs::path trash = WinPath(Box->ReadFile(L"trash.txt"));
  std::string origin = Box->UnixDir() + "game/client/data/Mods/Addons/";
  auto ours = [&](auto&& visit) {
    for (const auto& info : fs::directory_iterator(trash / "info")) {
      std::string record = ReadBytes(info.path());
      if (record.find("Path=" + origin) == std::string::npos) continue;
      visit(record, trash / "files" / info.path().stem());
      std::error_code ignored;
      fs::remove_all(trash / "files" / info.path().stem(), ignored);
      fs::remove(info.path(), ignored);
    }
  };
  ours([](const std::string&, const fs::path&) {});  // left by an earlier run

  Check({L"CombatText", L"CastBar"});
  ASSERT_TRUE(Install());
  for (const wchar_t* folder : {L"CombatText", L"CastBar"}) {
    std::map<std::wstring, std::string> expected = Tree(Expected(folder));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Tree(Addons() / folder), expected) << folder;
    EXPECT_EQ(State(folder), L"已安裝");
    EXPECT_FALSE(RowChecked(folder));
  }
  EXPECT_EQ(State(L"BagSort"), L"未安裝");
  EXPECT_EQ(Counter(L"Label12"), L"2");
  EXPECT_EQ(Counter(L"Label14"), L"5");
  EXPECT_EQ(Counter(L"Label10"), L"7");

  // "否": nothing changes.
  Check({L"CombatText", L"CastBar", L"BagSort"});
  Click(FindButton(Main, L"  移除選中 UI"));
  auto question = WaitMessageBox(Manager.Pid(), 15s, L"提示 ");
  ASSERT_TRUE(question);
  EXPECT_EQ(question->Text, L"确定要移除該UI");
  Answer(*question, IDNO);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(question->Window); }));
  EXPECT_TRUE(RowChecked(L"BagSort"));
  EXPECT_EQ(Tree(Addons() / L"CombatText"), Tree(Expected(L"CombatText")));

  // "是" with three checked rows, two of them installed.
  Click(FindButton(Main, L"  移除選中 UI"));
  question = WaitMessageBox(Manager.Pid(), 15s, L"提示 ");
  ASSERT_TRUE(question);
  Answer(*question, IDYES);
  ASSERT_TRUE(WaitUntil([&] {
    for (const TListRow& row : ReadList(List))
      if (row.Checked) return false;
    return Counter(L"Label12") == L"0";
  }));
  EXPECT_FALSE(fs::exists(Addons() / L"CombatText"));
  EXPECT_FALSE(fs::exists(Addons() / L"CastBar"));
  EXPECT_TRUE(fs::exists(Addons()));
  EXPECT_EQ(Counter(L"Label14"), L"7");

  // Both folders arrived in the trash, whole; the trash records where they came from.
  int found = 0;
  ours([&](const std::string& record, const fs::path& item) {
    std::wstring folder =
        record.find(origin + "CombatText") != std::string::npos ? L"CombatText" : L"CastBar";
    EXPECT_EQ(Tree(item), Tree(Expected(folder))) << item;
    ++found;
  });
  EXPECT_EQ(found, 2);
}

TEST_F(InstallE2E, ArchivesNotLaidOutAsPublished) {
  // Replace five cached archives once the refresh has brought them.
  Python(R"(import zipfile
def make(name, entries):
    with zipfile.ZipFile('zip/' + name, 'w', zipfile.ZIP_DEFLATED) as z:
        for entry, data in entries:
            z.writestr(zipfile.ZipInfo(entry) if entry.endswith('/') else entry, data)
make('BagSort.zip', [('BagSort/', b''), ('BagSort/bag.lua', b'flat\r\n')])
make('RaidFrames.zip', [('Addons/', b''), ('Addons/RaidFrames/', b''),
     ('Addons/RaidFrames/raid.lua', b'raid\r\n'), ('../up1.txt', b'x'), ('../../up2.txt', b'x'),
     ('Addons/../../up3.txt', b'x'), ('Addons/RaidFrames/../../../../up4.txt', b'x')])
open('zip/ChatTabs.zip', 'wb').write(b'<html><body>Not Found</body></html>')
data = open('zip/QuestHelper.zip', 'rb').read()
open('zip/QuestHelper.zip', 'wb').write(data[-120:])
data = bytearray(open('zip/CastBar.zip', 'rb').read())
at = data.find(b'PK\x01\x02')
while int.from_bytes(data[at + 24:at + 28], 'little') == 0:  # the first entry with bytes
    at = data.find(b'PK\x01\x02', at + 4)
data[at + 16] ^= 1  # its CRC in the central directory
open('zip/CastBar.zip', 'wb').write(bytes(data))
)");

  // The catalogue vouches for these archives: it is published again with their sizes and
  // hashes and loaded again. The refresh's downloads of the old archives no longer match
  // it, so the cache keeps the archives above.
  Python(R"(import hashlib, re
xml = open(')" +
         kDemo + R"(/site/Data.xml', encoding='utf-8').read()
for folder in ['BagSort', 'RaidFrames', 'ChatTabs', 'QuestHelper', 'CastBar']:
    data = open('zip/' + folder + '.zip', 'rb').read()
    xml = re.sub('(plugfolder="' + folder + '"[^>]*plugsize=")[0-9]+(" plugsha256=")[0-9a-f]+',
                 lambda m: m.group(1) + str(len(data)) + m.group(2) + hashlib.sha256(data).hexdigest(), xml)
open('served.xml', 'w', encoding='utf-8').write(xml)
)");
  Server->SetBody("/Data.xml", Box->ReadFile(L"served.xml"), "text/xml");
  Click(FindButton(Main, L"更新 UI"));
  ASSERT_TRUE(WaitUntil(
      [&] { return Text(MainControl(Main, L"Label6")) == L"更新結束, 5 個UI更新失敗"; }, 60s))
      << ui::Narrow(Text(MainControl(Main, L"Label6")));

  // Each failure leaves nothing behind and the batch goes on; no box interrupts it.
  Check({L"CombatText", L"BagSort", L"RaidFrames", L"ChatTabs", L"QuestHelper", L"CastBar"});
  ASSERT_TRUE(Install(L"勾選的UI 安裝完畢,4 個安裝失敗"));
  auto why = WaitMessageBox(Manager.Pid(), 15s, L"VornisTools");  // at the end, why
  ASSERT_TRUE(why);
  EXPECT_NE(why->Text.find(L"\nCastBar: 壓縮檔內容損壞"), std::wstring::npos) << why->Text;
  Answer(*why);
  EXPECT_EQ(Tree(Addons() / L"CombatText"), Tree(Expected(L"CombatText")));
  // Unpacked without the Addons level: present in Mods, but not installed.
  EXPECT_EQ(ReadBytes(Box->Path(L"game\\client\\data\\Mods\\BagSort\\bag.lua")), "flat\r\n");
  EXPECT_EQ(State(L"BagSort"), L"未安裝");
  EXPECT_FALSE(RowChecked(L"BagSort"));
  // Climbing entries, a page, a damaged directory, a bad CRC: nothing written.
  std::map<std::wstring, std::string> game = Tree(Box->Path(L"game"));
  for (const auto& [path, content] : game)
    EXPECT_TRUE(path == L"client\\bin\\VNgame.exe" ||
                path.rfind(L"client\\data\\Mods\\BagSort\\", 0) == 0 ||
                path.rfind(L"client\\data\\Mods\\Addons\\CombatText\\", 0) == 0)
        << path;
  EXPECT_EQ(Tree(Box->Dir()).count(L"up1.txt"), 0u);
  for (const wchar_t* folder : {L"RaidFrames", L"ChatTabs", L"QuestHelper", L"CastBar"}) {
    EXPECT_EQ(State(folder), L"未安裝") << folder;
    EXPECT_TRUE(RowChecked(folder)) << folder;
  }
  EXPECT_EQ(Counter(L"Label12"), L"1");
}

TEST_F(InstallE2E, AddonsFolderLinkedToAnotherFileSystem) {
  // A shared Addons folder kept on another file system through a directory link.
  std::string elsewhere = LinkAddonsToOtherFileSystem();
  ASSERT_FALSE(elsewhere.empty()) << "no tmpfs could be mounted in the sandbox";
  Check({L"CombatText", L"CastBar"});
  ASSERT_TRUE(Install());
  for (const wchar_t* folder : {L"CombatText", L"CastBar"})
    EXPECT_EQ(Tree(fs::path(WinPath(elsewhere)) / folder), Tree(Expected(folder))) << folder;
  EXPECT_EQ(Counter(L"Label12"), L"2");
}

class InstallE2ENoTrash : public InstallE2E {
 protected:
  InstallE2ENoTrash() { WithTrash = false; }
};

// Wine's bin takes only what is on the file system of its trash folder.
class InstallE2ETrashElsewhere : public InstallE2E {
 protected:
  InstallE2ETrashElsewhere() { TrashOnOtherFileSystem = true; }
};

TEST_F(InstallE2ETrashElsewhere, RemovalThroughALinkToAnotherFileSystem) {
  RemoveThroughALink();
}
TEST_F(InstallE2ENoTrash, RemovalThroughALinkToAnotherFileSystem) {
  RemoveThroughALink();
}

TEST_F(InstallE2ENoTrash, FolderTheRecycleBinCannotTakeIsDeletedOnlyAfterYes) {
  Check({L"CombatText", L"CastBar"});
  ASSERT_TRUE(Install());
  for (int answer : {IDNO, IDYES}) {
    Check({L"CombatText"});
    Click(FindButton(Main, L"  移除選中 UI"));
    auto question = WaitMessageBox(Manager.Pid(), 15s, L"提示 ");
    ASSERT_TRUE(question);
    Answer(*question, IDYES);
    auto permanent = WaitMessageBox(Manager.Pid(), 15s, L"提示 ");
    ASSERT_TRUE(permanent);
    EXPECT_NE(permanent->Text.find(L"永久刪除"), std::wstring::npos);
    EXPECT_EQ(Tree(Addons() / L"CombatText"), Tree(Expected(L"CombatText")));
    Answer(*permanent, answer);
    ASSERT_TRUE(WaitUntil([&] { return !RowChecked(L"CombatText"); }));
  }
  EXPECT_TRUE(WaitUntil([&] { return State(L"CombatText") == L"未安裝"; }));
  EXPECT_FALSE(fs::exists(Addons() / L"CombatText"));
  EXPECT_EQ(Tree(Box->Path(L"game\\client\\data\\Mods")).size(), Tree(Addons()).size());
}

// The publication's archives store Big5 file names without the UTF-8 flag, as archives
// made on a Traditional Chinese Windows do; they must install under the same names.
// Disabled while the engine reads such names as code page 437 rather than the system's
// OEM code page (950 here): they arrive as "%XX" escapes and box-drawing characters.
TEST_F(InstallE2E, BigFiveFileNamesInstallUnchanged) {
  Check({L"MapPlus"});
  ASSERT_TRUE(Install());
  EXPECT_EQ(Tree(Addons() / L"MapPlus"), Tree(Expected(L"MapPlus")));
  EXPECT_EQ(State(L"MapPlus"), L"已安裝");
}

}  // namespace
