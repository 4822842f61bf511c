// Install and remove on the real main window, created in the test process: which rows
// the install takes, the bar and status texts it shows, a damaged archive ending it, the
// removal's question and which folders it sends away, and clicks that arrive while a
// command runs. Also UnzipArchive and DeleteFolder against real archives and folders.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ImportShim.h"
#include "ZipTestSupport.h"
#include "app/Form1.h"
#include "base/Exception.h"
#include "catalogue/Catalogue.h"
#include "config/Form2.h"
#include "config/Paths.h"
#include "install/ArchiveCache.h"
#include "install/ArchiveDigest.h"
#include "install/ContentChecks.h"
#include "install/FileTree.h"
#include "install/Install.h"
#include "install/InstallRecord.h"
#include "signing/Signature.h"
#include "ui/Application.h"

namespace {

namespace fs = std::filesystem;
using ziptest::Bytes;
using ziptest::TZipWriter;

std::vector<uint8_t> Payload(size_t size, uint8_t seed) {
  std::vector<uint8_t> data(size);
  uint32_t state = seed;
  for (uint8_t& byte : data) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 16);
  }
  return data;
}

// An add-on archive as published: the directories Addons/ and Addons/<folder>/, a text
// file and a compressed binary one a level deeper.
std::vector<uint8_t> AddonArchive(const std::string& folder) {
  TZipWriter writer;
  writer.Add("Addons/", {});
  writer.Add("Addons/" + folder + "/", {});
  writer.Add("Addons/" + folder + "/" + folder + ".lua", Bytes("-- " + folder + "\r\n"));
  writer.Add("Addons/" + folder + "/img/icon.tga", Payload(40000, 7), true);
  return writer.Build();
}

// Under Wine the recycle bin is the trash of XDG_DATA_HOME (else ~/.local/share), which
// takes nothing until its folders exist; the Wine runner makes them. Empty when it is
// there, else what the failures that follow really mean.
std::string RecycleBinHint() {
  std::wstring data(MAX_PATH * 4, L'\0');
  DWORD size = GetEnvironmentVariableW(L"XDG_DATA_HOME", data.data(), MAX_PATH * 4);
  if (size == 0 || size >= MAX_PATH * 4) {
    size = GetEnvironmentVariableW(L"HOME", data.data(), MAX_PATH * 4);
    if (size == 0 || size >= MAX_PATH * 4) return "";  // not Wine: the system's own bin
    data.resize(size);
    data += L"/.local/share";
  } else {
    data.resize(size);
  }
  std::wstring files = L"Z:" + data + L"/Trash/files";
  std::replace(files.begin(), files.end(), L'/', L'\\');
  DWORD attributes = GetFileAttributesW(files.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return "";
  return "\nthe recycle bin takes nothing here: " + ui::Narrow(data) +
         "/Trash/files is missing (tools/wine/run makes it for its prefix)";
}

// The archive cut to its last `keep` bytes: the end record is there, but neither the
// central directory nor any local header can be read.
std::vector<uint8_t> Truncated(std::vector<uint8_t> archive, size_t keep) {
  return std::vector<uint8_t>(archive.end() - static_cast<std::ptrdiff_t>(keep), archive.end());
}

// What a window was told: ranges and positions of the bar, texts of the label.
struct TWindowLog {
  std::vector<std::wstring> Events;

  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR data) {
    auto* log = reinterpret_cast<TWindowLog*>(data);
    if (message == PBM_SETRANGE32) log->Events.push_back(L"max " + std::to_wstring(lParam));
    if (message == PBM_SETPOS) log->Events.push_back(L"pos " + std::to_wstring(wParam));
    if (message == WM_SETTEXT) log->Events.push_back(reinterpret_cast<const wchar_t*>(lParam));
    return DefSubclassProc(window, message, wParam, lParam);
  }
  void Attach(HWND window) {
    SetWindowSubclass(window, Proc, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  static void Detach(HWND window) { RemoveWindowSubclass(window, Proc, 1); }
};

// The main window with a game folder (its name is Chinese, as many game folders are)
// and archives placed in the cache beside the test executable.
class InstallCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool initialized = [] {
      ui::Application().Initialize(GetModuleHandleW(nullptr));
      ui::Application().SetTitle(L"VornisTools");
      return true;
    }();
    (void)initialized;
    ui::Application().SetMessageBoxResponder([this](const ui::TMessageBoxRecord& box) {
      Boxes.push_back(box);
      if (OnBox) OnBox(box);
      return box.Text == L"确定要移除該UI" ? Answer : IDOK;
    });
    ui::Application().SetModalResponder([this](ui::TForm&) {
      ++SettingsShown;
      return static_cast<int>(ui::mrCancel);
    });

    GameRoot = fs::temp_directory_path() /
               (L"vornis-install-遊戲-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++Serial));
    fs::create_directories(GameRoot / L"bin");
    fs::create_directories(AddonsDir());
    fs::create_directories(config::ZipCacheDir());

    Form = std::make_unique<app::TForm1>();
    Form->SetForm2(std::make_unique<config::TForm2>());
    Form->Form2().Edit1->SetText((GameRoot / L"bin" / L"VNgame.exe").wstring());
    Form->BitBtn4->OnClick = [this] {
      ++StatusChecks;
      Form->BitBtn4Click();
    };
    Bar.Attach(Form->ProgressBar2->Handle());
    Label.Attach(Form->Label7->Handle());
  }

  void TearDown() override {
    TWindowLog::Detach(Form->ProgressBar2->Handle());
    TWindowLog::Detach(Form->Label7->Handle());
    Form.reset();
    ui::Application().SetMessageBoxResponder(nullptr);
    ui::Application().SetModalResponder(nullptr);
    std::error_code ignored;
    for (const fs::path& archive : Archives) fs::remove(archive, ignored);
    fs::remove_all(GameRoot, ignored);
  }

  fs::path ModsDir() const { return GameRoot / L"data" / L"Mods"; }
  fs::path AddonsDir() const { return ModsDir() / L"Addons"; }

  // Appends row `Count()` with the caption "r" + two digits, so rows stay in order.
  void AddRow(const std::wstring& folder, const std::wstring& state, bool checked) {
    int index = Form->ListView1->Count();
    std::wstring caption = (index < 10 ? L"r0" : L"r") + std::to_wstring(index);
    Form->AddAddonRow(caption, L"id", folder, L"d", L"a");
    Form->ListView1->SetSubItem(index, 0, state);
    Form->ListView1->SetChecked(index, checked);
  }
  void PutArchive(const std::wstring& folder, const std::vector<uint8_t>& data) {
    fs::path path = config::ArchiveCachePath(folder);
    fs::create_directories(path.parent_path());
    ziptest::WriteFile(path, data);
    Archives.push_back(path);
    // The catalogue vouches for it, as a signed catalogue must for an install.
    std::optional<install::TArchiveDigest> digest = install::DigestOfFile(path.wstring());
    ASSERT_TRUE(digest);
    Form->ExpectArchive(folder, {digest->Size, digest->Sha256});
  }
  bool Checked(int row) const { return Form->ListView1->Checked(row); }
  std::wstring State(int row) const { return Form->ListView1->SubItem(row, 0); }
  std::vector<std::wstring> Questions() const {
    std::vector<std::wstring> texts;
    for (const ui::TMessageBoxRecord& box : Boxes)
      if (box.Text == L"确定要移除該UI") texts.push_back(box.Caption);
    return texts;
  }

  static inline int Serial = 0;
  fs::path GameRoot;
  std::vector<fs::path> Archives;
  std::unique_ptr<app::TForm1> Form;
  std::vector<ui::TMessageBoxRecord> Boxes;
  std::function<void(const ui::TMessageBoxRecord&)> OnBox;
  int Answer = IDYES;
  int SettingsShown = 0;
  int StatusChecks = 0;
  TWindowLog Bar;
  TWindowLog Label;
};

TEST(ArchiveExpectation, MalformedValuesAskForNothing) {
  std::wstring hash(64, L'A');
  install::TArchiveExpectation good = install::ParseExpectation(L"2048", hash);
  EXPECT_EQ(2048, good.Size);
  EXPECT_EQ(std::string(64, 'a'), good.Sha256);
  for (const wchar_t* size : {L"", L"-1", L"1e3", L" 12", L"1234567890123456789"})
    EXPECT_EQ(-1, install::ParseExpectation(size, L"").Size);
  for (const std::wstring& sha : {hash.substr(1), hash + L"0", L"g" + hash.substr(1)})
    EXPECT_TRUE(install::ParseExpectation(L"", sha).Sha256.empty());
  EXPECT_FALSE(install::ParseExpectation(L"x", L"y").Any());
}

// Folder names outside every ANSI code page survive; case does not matter, as on disk.
TEST(InstallRecord, KeepsAnyFolderNameAcrossSaveAndLoad) {
  std::wstring path = (std::filesystem::temp_directory_path() / L"vornis-installed.txt").wstring();
  const std::wstring root = L"C:\\Game\\bin\\..\\data\\Mods\\";
  install::TInstallRecord record;
  record.Set(root, L" Ăddon한😀 ", {42, std::string(64, 'b')});
  record.Set(root, L"Other", {7, std::string(64, 'c')});
  record.Remove(root, L"OTHER");
  ASSERT_TRUE(record.Save(path));
  install::TInstallRecord loaded = install::TInstallRecord::Load(path);
  DeleteFileW(path.c_str());
  ASSERT_TRUE(loaded.Find(root, L"ăddon한😀"));
  EXPECT_EQ(42, loaded.Find(L"c:\\GAME\\data\\mods", L"ăddon한😀")->Size);
  EXPECT_FALSE(loaded.Find(root, L"Other") || loaded.Find(root, L"?ddon??"));
}

// Each game keeps its own entries; a record of an older manager names no game and
// stands for any game's folder until that folder is installed or removed again.
TEST(InstallRecord, FollowsTheGameAndReadsOlderRecords) {
  std::wstring path = (std::filesystem::temp_directory_path() / L"vornis-installed2.txt").wstring();
  const std::string a(64, 'a'), b(64, 'b');
  {
    std::ofstream old(std::filesystem::path(path), std::ios::binary);
    old << "# VornisTools installed add-ons: sha256, size, folder\r\n"
        << a << "\t10\tMap\r\n"
        << a << "\t11\tBag\r\n";
  }
  install::TInstallRecord record = install::TInstallRecord::Load(path);
  EXPECT_EQ(10, record.Find(L"C:\\One\\Mods\\", L"map")->Size);
  EXPECT_EQ(10, record.Find(L"C:\\Two\\Mods\\", L"Map")->Size);
  record.Set(L"C:\\One\\Mods\\", L"Map", {20, b});
  record.Set(L"C:\\Two\\Mods\\", L"Sky", {30, b});
  ASSERT_TRUE(record.Save(path));
  record = install::TInstallRecord::Load(path);
  EXPECT_EQ(20, record.Find(L"C:\\One\\Mods\\", L"Map")->Size);
  EXPECT_FALSE(record.Find(L"C:\\Two\\Mods\\", L"Map"));
  EXPECT_FALSE(record.Find(L"C:\\One\\Mods\\", L"Sky"));
  EXPECT_EQ(11, record.Find(L"C:\\Two\\Mods\\", L"Bag")->Size);
  DeleteFileW(path.c_str());
}

TEST(FolderNames, OnlyPlainNamesLeadToPaths) {
  for (const wchar_t* name :
       {L"MapPlus", L"  Bag Sort ", L"地圖增強", L".hidden", L"v1.2", L"a..b"})
    EXPECT_TRUE(install::IsPlainFolderName(name)) << name;
  for (const wchar_t* name : {L"", L"   ", L".", L"..", L" ... ", L"a\\b", L"..\\x", L"a/b", L"C:x",
                              L"*", L"Map?", L"a<b", L"a>b", L"a|b", L"a\"b", L"a\tb"})
    EXPECT_FALSE(install::IsPlainFolderName(name)) << name;
  // Names Windows reads as a device or as another name.
  for (const wchar_t* name : {L"CON", L" con ", L"Nul.zip", L"aux.tar.gz", L"PRN ", L"COM1",
                              L"lpt9.txt", L"NUL .txt", L"Addon.", L" Addon. ", L"a\x7f"})
    EXPECT_FALSE(install::IsPlainFolderName(name)) << name;
  for (const wchar_t* name : {L"CONSOLE", L"COM0", L"COM10", L"LPT", L"xCON", L"Con-Addon"})
    EXPECT_TRUE(install::IsPlainFolderName(name)) << name;
  // The longest name whose archive name ("<name>.zip") is still one valid name.
  EXPECT_TRUE(install::IsPlainFolderName(std::wstring(251, L'a')));
  EXPECT_FALSE(install::IsPlainFolderName(std::wstring(252, L'a')));
}

TEST(UnzipArchive, InstallsWholeArchivesOnlyAndLeavesTheTargetAloneOtherwise) {
  ziptest::TScratch scratch;
  fs::path mods = scratch.Path() / L"遊戲" / L"bin" / L".." / L"Mods";
  fs::path map = scratch.Path() / L"遊戲" / L"Mods" / L"Addons" / L"Map";
  std::wstring target = mods.wstring() + L"\\";
  auto install = [&](const char* name, const std::vector<uint8_t>& archive) {
    ziptest::WriteFile(scratch / name, archive);
    return install::UnzipArchive((scratch / name).wstring(), target);
  };
  TZipWriter writer;
  writer.Add("Addons/", {});
  writer.Add("Addons/Map/", {});
  writer.Add("Addons/Map/map.lua", Bytes("print(1)\r\n"));
  writer.Add("Addons/Map/img/big.tga", Payload(100000, 3), true);
  EXPECT_TRUE(install("good.zip", writer.Build()));
  EXPECT_EQ(ziptest::ReadFile(map / "map.lua"), Bytes("print(1)\r\n"));
  EXPECT_EQ(ziptest::ReadFile(map / "img" / "big.tga"), Payload(100000, 3));

  // Over an installed add-on: its files are replaced, files the archive lacks stay.
  ziptest::WriteFile(map / "map.lua", Bytes("changed"));
  ziptest::WriteFile(map / "user.cfg", Bytes("mine"));
  writer.Entries[2].Data = Bytes("print(2)\r\n");
  writer.Entries[2].Crc = ziptest::Crc(writer.Entries[2].Data);
  EXPECT_TRUE(install("good2.zip", writer.Build()));
  EXPECT_EQ(ziptest::ReadFile(map / "map.lua"), Bytes("print(2)\r\n"));
  EXPECT_EQ(ziptest::ReadFile(map / "user.cfg"), Bytes("mine"));

  // Failures change nothing under the target, and no staging folder stays.
  TZipWriter badCrc = writer;
  badCrc.Add("Addons/Map/new.lua", Bytes("new")).Crc ^= 1;
  TZipWriter climbing = writer;
  climbing.Add("../escape.txt", Bytes("out"));
  std::vector<uint8_t> cut = Truncated(AddonArchive("Cut"), 120);
  fs::create_directories(mods / L"Addons" / L"Locked");
  ziptest::WriteFile(mods / L"Addons" / L"Locked" / L"a.lua", Bytes("old"));
  SetFileAttributesW((mods / L"Addons" / L"Locked" / L"a.lua").c_str(), FILE_ATTRIBUTE_READONLY);
  TZipWriter locked = writer;
  locked.Add("Addons/Locked/a.lua", Bytes("new"));
  auto snapshot = [&] {
    std::vector<std::pair<fs::path, std::vector<uint8_t>>> files;
    for (const auto& entry : fs::recursive_directory_iterator(mods))
      files.emplace_back(entry.path(),
                         entry.is_regular_file() ? ziptest::ReadFile(entry) : Bytes(""));
    return files;
  };
  auto before = snapshot();
  EXPECT_FALSE(install("crc.zip", badCrc.Build()));
  EXPECT_FALSE(install("climb.zip", climbing.Build()));
  EXPECT_FALSE(install("locked.zip", locked.Build()));
  EXPECT_FALSE(install("cut.zip", cut));
  EXPECT_FALSE(install("page.zip", Bytes(std::string(300, 'x'))));
  EXPECT_FALSE(install::UnzipArchive((scratch / "missing.zip").wstring(), target));
  EXPECT_EQ(snapshot(), before);
  ziptest::MakeWritable(scratch.Path());
}

TEST(MoveTreeOver, AFailedRenameUndoesTheEarlierOnes) {
  ziptest::TScratch scratch;
  for (std::string name : {"from/a/1", "from/a/2", "from/a/3", "to/a/1", "to/a/2", "to/a/3"}) {
    fs::create_directories((scratch / name).parent_path());
    ziptest::WriteFile(scratch / name, Bytes(name));
  }
  HANDLE busy = CreateFileW((scratch / "to/a/2").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(install::MoveTreeOver((scratch / "from").wstring(), (scratch / "to").wstring(),
                                  (scratch / "parked").wstring()),
            install::TMoveResult::NotMoved);
  CloseHandle(busy);
  for (std::string name : {"from/a/1", "from/a/3", "to/a/1", "to/a/2", "to/a/3"})
    EXPECT_EQ(ziptest::ReadFile(scratch / name), Bytes(name)) << name;
}

TEST(DeleteFolder, LongPathsWildcardsAndResults) {
  ziptest::TScratch scratch;
  // Far past 254 characters, with the ".." step the add-on paths carry.
  fs::path deep = scratch.Path() / L"game" / L"data";
  fs::create_directories(scratch.Path() / L"game" / L"bin");
  for (int i = 0; i < 6; ++i) deep /= std::wstring(40, static_cast<wchar_t>(L'a' + i));
  fs::create_directories(deep / L"inner");
  ziptest::WriteFile(deep / L"inner" / L"f.txt", Bytes("x"));
  std::wstring viaParent = (scratch.Path() / L"game" / L"bin").wstring() + L"\\..\\data";
  for (int i = 0; i < 6; ++i) viaParent += L"\\" + std::wstring(40, static_cast<wchar_t>(L'a' + i));
  ASSERT_GT(viaParent.size(), 300u);
  EXPECT_TRUE(install::DeleteFolder(viaParent)) << RecycleBinHint();
  EXPECT_FALSE(fs::exists(deep));
  EXPECT_TRUE(fs::exists(deep.parent_path()));

  // A wildcard would reach every sibling: refused, nothing moves.
  fs::create_directories(scratch.Path() / L"keep1");
  fs::create_directories(scratch.Path() / L"keep2");
  EXPECT_FALSE(install::DeleteFolder((scratch.Path() / L"*").wstring()));
  EXPECT_FALSE(install::DeleteFolder((scratch.Path() / L"keep?").wstring()));
  EXPECT_TRUE(fs::exists(scratch.Path() / L"keep1"));
  EXPECT_TRUE(fs::exists(scratch.Path() / L"keep2"));

  EXPECT_FALSE(install::DeleteFolder((scratch.Path() / L"absent").wstring()));
  EXPECT_FALSE(install::DeleteFolder(L""));
}

TEST_F(InstallCommands, QualifyingRowsAndBarPositions) {
  AddRow(L"Done", L"已安裝", true);        // 0: installed, left checked
  AddRow(L"Unchecked", L"未安裝", false);  // 1: not checked
  AddRow(L"   ", L"未安裝", true);         // 2: no folder name
  AddRow(L"sub\\Evil", L"未安裝", true);   // 3: a path, not a name
  AddRow(L"...", L"未安裝", true);         // 4: dots alone
  AddRow(L"Five", L"未安裝", true);        // 5
  AddRow(L"Six", L"未安裝", false);        // 6
  AddRow(L"Seven", L"?", true);            // 7: state neither text
  AddRow(L"Eight", L"未安裝", false);      // 8
  AddRow(L"Nine", L" 未安裝 ", true);      // 9: blanks around the state
  for (const char* folder : {"Done", "Unchecked", "Five", "Seven", "Nine"})
    PutArchive(ui::Widen(folder), AddonArchive(folder));
  PutArchive(L"sub\\Evil", AddonArchive("Evil"));
  Bar.Events.clear();
  Label.Events.clear();

  Form->Button1->Click();

  EXPECT_EQ(Bar.Events,
            (std::vector<std::wstring>{L"max 3", L"pos 0", L"pos 3", L"pos 3", L"pos 0"}));
  EXPECT_EQ(Label.Events,
            (std::vector<std::wstring>{L"正在安裝 UIFive中...", L"UI 正在安裝中,稍等...",
                                       L"正在安裝 UINine中...", L"UI 正在安裝中,稍等...",
                                       L"勾選的UI 已經安裝完畢"}));
  EXPECT_EQ(StatusChecks, 1);
  EXPECT_TRUE(Boxes.empty());
  for (const wchar_t* folder : {L"Five", L"Nine"}) {
    EXPECT_EQ(ziptest::ReadFile(AddonsDir() / folder / L"img" / L"icon.tga"), Payload(40000, 7));
  }
  for (const wchar_t* folder : {L"Done", L"Unchecked", L"Evil", L"Seven"})
    EXPECT_FALSE(fs::exists(AddonsDir() / folder)) << folder;
  std::vector<bool> checked;
  for (int row = 0; row < 10; ++row) checked.push_back(Checked(row));
  EXPECT_EQ(checked,
            (std::vector<bool>{true, false, true, true, true, false, false, true, false, false}));
  EXPECT_EQ(State(5), L"已安裝");
  EXPECT_EQ(State(9), L"已安裝");
  EXPECT_EQ(State(0), L"未安裝");  // the status check looks at folders only
  EXPECT_EQ(Form->ProgressBar2->Position(), 0);
}

TEST_F(InstallCommands, MissingArchiveAndArchiveWithoutAddonsLevel) {
  AddRow(L"  Flat ", L"未安裝", true);
  AddRow(L"Missing", L"未安裝", true);
  TZipWriter flat;
  flat.Add("Flat/", {});
  flat.Add("Flat/flat.lua", Bytes("flat"));
  PutArchive(L"Flat", flat.Build());
  Label.Events.clear();

  Form->Button1->Click();

  // The flat archive unpacks into Mods, but its row ends not installed; the row without
  // an archive is left checked.
  EXPECT_EQ(ziptest::ReadFile(ModsDir() / L"Flat" / L"flat.lua"), Bytes("flat"));
  EXPECT_FALSE(Checked(0));
  EXPECT_EQ(State(0), L"未安裝");
  EXPECT_TRUE(Checked(1));
  EXPECT_EQ(State(1), L"未安裝");
  EXPECT_EQ(Label.Events,
            (std::vector<std::wstring>{L"正在安裝 UI  Flat 中...", L"UI 正在安裝中,稍等...",
                                       L"正在安裝 UIMissing中...", L"勾選的UI 已經安裝完畢"}));
  EXPECT_EQ(Form->ProgressBar2->Max(), 3);
}

TEST_F(InstallCommands, FailedArchivesChangeNothingAndTheBatchGoesOn) {
  AddRow(L"Bad", L"未安裝", true);
  AddRow(L"Good", L"未安裝", true);
  AddRow(L"Half", L"未安裝", true);
  AddRow(L"Page", L"未安裝", true);
  PutArchive(L"Bad", Truncated(AddonArchive("Bad"), 120));
  PutArchive(L"Good", AddonArchive("Good"));
  TZipWriter half;
  half.Add("Addons/Half/a.lua", Bytes("a"));
  half.Add("Addons/Half/b.lua", Bytes("b")).Crc ^= 1;
  PutArchive(L"Half", half.Build());
  PutArchive(L"Page", Bytes("<html>not found</html>"));
  // Left by an install that never ended.
  fs::create_directories(ModsDir() / L".VornisTools-staging" / L"Addons" / L"Stale");

  ui::Application().Guard([this] { Form->Button1->Click(); });  // as a user's click

  ASSERT_EQ(Boxes.size(), 1u);  // once the batch is over, why each one failed
  EXPECT_EQ(Boxes[0].Text,
            L"以下 UI 沒有安裝:\nBad: 壓縮檔無法讀取或已損壞\nHalf: 壓縮檔內容損壞\n"
            L"Page: 壓縮檔無法讀取或已損壞");
  EXPECT_EQ(StatusChecks, 1);
  EXPECT_TRUE(fs::exists(AddonsDir() / L"Good" / L"Good.lua"));
  EXPECT_FALSE(Checked(1));
  EXPECT_EQ(State(1), L"已安裝");
  for (int row : {0, 2, 3}) EXPECT_TRUE(Checked(row) && State(row) == L"未安裝") << row;
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(ModsDir()), {}),
            std::vector<fs::path>{ModsDir() / L"Addons"});
  EXPECT_EQ(ziptest::CountFiles(ModsDir()), ziptest::CountFiles(AddonsDir() / L"Good"));
  EXPECT_EQ(Form->Label7->Caption(), L"勾選的UI 安裝完畢,3 個安裝失敗");
}

// With a publisher key only what the signed catalogue vouches for installs: an item
// without a hash is refused, whatever its archive holds.
TEST_F(InstallCommands, WithAKeyAnArchiveTheCatalogueGivesNoHashIsNotInstalled) {
  if (!signing::Verifies()) GTEST_SKIP() << "this build verifies nothing";
  AddRow(L"Plain", L"未安裝", true);
  AddRow(L"Vouched", L"未安裝", true);
  PutArchive(L"Plain", AddonArchive("Plain"));
  PutArchive(L"Vouched", AddonArchive("Vouched"));
  // Its size is right, but nothing says which bytes.
  install::TArchiveExpectation sizeOnly;
  sizeOnly.Size = static_cast<long long>(fs::file_size(config::ArchiveCachePath(L"Plain")));
  Form->ExpectArchive(L"Plain", sizeOnly);
  ui::Application().Guard([this] { Form->Button1->Click(); });
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_NE(Boxes[0].Text.find(L"Plain: UI 清單沒有記載這個壓縮檔的 SHA-256"), std::wstring::npos);
  EXPECT_FALSE(fs::exists(AddonsDir() / L"Plain"));
  EXPECT_TRUE(fs::exists(AddonsDir() / L"Vouched" / L"Vouched.lua"));
}

TEST_F(InstallCommands, GamePathNotSetStopsBothCommands) {
  Form->Form2().Edit1->SetText(L"   ");
  AddRow(L"One", L"未安裝", true);
  PutArchive(L"One", AddonArchive("One"));
  Form->Button1->Click();
  Form->Button8->Click();
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].Text, L"請設定遊戲安裝位置");
  EXPECT_EQ(Boxes[1].Text, L"請設定遊戲安裝位置");
  EXPECT_EQ(SettingsShown, 2);
  EXPECT_TRUE(Checked(0));
  EXPECT_EQ(StatusChecks, 0);
}

TEST_F(InstallCommands, ClicksWhileAnInstallRunsAreIgnored) {
  AddRow(L"Busy", L"未安裝", true);
  AddRow(L"Other", L"未安裝", true);
  PutArchive(L"Busy", AddonArchive("Busy"));
  fs::create_directories(AddonsDir() / L"Other");  // would go if a removal slipped in
  Bar.Events.clear();
  // Both buttons clicked again before the extraction starts pumping messages.
  for (ui::TBitBtn* button : {Form->Button1, Form->Button8}) {
    HWND handle = button->Handle();
    PostMessageW(GetParent(handle), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(handle), BN_CLICKED),
                 reinterpret_cast<LPARAM>(handle));
  }

  Form->Button1->Click();

  MSG pending;
  EXPECT_FALSE(PeekMessageW(&pending, nullptr, WM_COMMAND, WM_COMMAND, PM_NOREMOVE))
      << "the extraction did not let the clicks through";
  EXPECT_TRUE(Questions().empty());
  EXPECT_EQ(Bar.Events.front(), L"max 3");
  EXPECT_EQ(std::count(Bar.Events.begin(), Bar.Events.end(), L"max 3"), 1);
  EXPECT_EQ(StatusChecks, 1);
  EXPECT_TRUE(fs::exists(AddonsDir() / L"Other"));
  EXPECT_TRUE(fs::exists(AddonsDir() / L"Busy"));

  // After it, the next click runs.
  Form->Button8->Click();
  EXPECT_EQ(Questions().size(), 1u);
}

// A header click while the first archive unpacks reverses the rows: the batch still
// installs and marks exactly the rows checked at its start.
TEST_F(InstallCommands, SortingDuringTheBatchChangesNotWhichRowsItTakes) {
  AddRow(L"A", L"未安裝", true);
  AddRow(L"B", L"未安裝", false);
  AddRow(L"C", L"未安裝", true);
  for (const char* folder : {"A", "B", "C"}) PutArchive(ui::Widen(folder), AddonArchive(folder));
  static NMLISTVIEW click{};
  click.hdr = {Form->ListView1->Handle(), 0, LVN_COLUMNCLICK};
  click.iSubItem = 0;
  PostMessageW(GetParent(Form->ListView1->Handle()), WM_NOTIFY, 0,
               reinterpret_cast<LPARAM>(&click));
  Form->Button1->Click();
  ASSERT_EQ(Form->ListView1->SubItem(0, 1), L"C") << "the click did not sort during the batch";
  for (const wchar_t* folder : {L"A", L"C"}) EXPECT_TRUE(fs::exists(AddonsDir() / folder));
  EXPECT_FALSE(fs::exists(AddonsDir() / L"B"));
  for (int row = 0; row < 3; ++row) {
    bool checkedAtStart = Form->ListView1->SubItem(row, 1) != L"B";
    EXPECT_EQ(State(row), checkedAtStart ? L"已安裝" : L"未安裝") << row;
    EXPECT_FALSE(Checked(row)) << row;
  }
}

TEST_F(InstallCommands, RemoveAsksThenSendsOnlyCheckedAddonFolders) {
  AddRow(L"A", L"已安裝", true);
  AddRow(L"B", L"未安裝", true);  // the state text does not matter, the folder does
  AddRow(L"C", L"已安裝", true);  // no folder
  AddRow(L"D", L"已安裝", false);
  AddRow(L"...", L"已安裝", true);
  AddRow(L"*", L"已安裝", true);
  AddRow(L" ", L"已安裝", true);
  for (const wchar_t* folder : {L"A", L"B", L"D"}) {
    fs::create_directories(AddonsDir() / folder / L"sub");
    ziptest::WriteFile(AddonsDir() / folder / L"sub" / L"f.txt", Bytes("f"));
  }

  Answer = IDNO;
  Form->Button8->Click();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, L"确定要移除該UI");
  EXPECT_EQ(Boxes[0].Caption, L"提示 ");
  EXPECT_EQ(Boxes[0].Flags & (MB_TYPEMASK | MB_DEFMASK), UINT(MB_YESNO | MB_DEFBUTTON2));
  for (int row : {0, 1, 2, 4, 5, 6}) EXPECT_TRUE(Checked(row)) << row;
  for (const wchar_t* folder : {L"A", L"B", L"D"}) EXPECT_TRUE(fs::exists(AddonsDir() / folder));
  EXPECT_EQ(StatusChecks, 0);

  // Yes; clicks arriving while the question is up are ignored.
  Answer = IDYES;
  OnBox = [this](const ui::TMessageBoxRecord&) {
    Form->Button8Click();
    Form->Button1Click();
  };
  Form->Button8->Click();
  EXPECT_EQ(Questions().size(), 2u) << RecycleBinHint();
  EXPECT_FALSE(fs::exists(AddonsDir() / L"A"));
  EXPECT_FALSE(fs::exists(AddonsDir() / L"B"));
  EXPECT_TRUE(fs::exists(AddonsDir() / L"D" / L"sub" / L"f.txt"));
  EXPECT_TRUE(fs::exists(AddonsDir()));
  EXPECT_EQ(StatusChecks, 2);
  for (int row = 0; row < Form->ListView1->Count(); ++row) EXPECT_FALSE(Checked(row)) << row;
  EXPECT_EQ(State(0), L"未安裝");
  EXPECT_EQ(State(3), L"已安裝");
}

// Stand-ins for system calls that stage refusals (ImportShim.h).
std::function<bool(const std::wstring& from, const std::wstring& to)> RefuseMove;
BOOL WINAPI ShimMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (RefuseMove && RefuseMove(from, to)) return SetLastError(ERROR_SHARING_VIOLATION), FALSE;
  return TImportShim<decltype(MoveFileExW)>::Original(from, to, flags);
}
// A shell delete where there is no recycle bin: the folder goes for good.
int WINAPI DeleteForGood(SHFILEOPSTRUCTW* operation) {
  install::DeleteTree(operation->pFrom);
  return 0;
}
bool Contains(const std::wstring& text, const wchar_t* part) {
  return text.find(part) != std::wstring::npos;
}

TEST_F(InstallCommands, ARefusedUndoKeepsTheOriginalsUntilTheyCanGoBack) {
  fs::create_directories(AddonsDir() / L"Map");
  TZipWriter update;
  for (std::string name : {"a.lua", "b.lua", "c.lua"}) {
    ziptest::WriteFile(AddonsDir() / L"Map" / name, Bytes("old"));
    update.Add("Addons/Map/" + name, Bytes("new"));
  }
  PutArchive(L"Map", update.Build());
  {
    TImportShim<decltype(MoveFileExW)> shim("MoveFileExW", ShimMove);
    int staged = 0;  // the second new file is refused, and so is every way back
    RefuseMove = [&](const std::wstring& from, const std::wstring& to) {
      return Contains(to, L"-staging\\") || (Contains(from, L"-staging\\") && ++staged == 2);
    };
    install::TInstallResult result =
        install::UnzipArchive(config::ArchiveCachePath(L"Map"), ModsDir().wstring());
    RefuseMove = nullptr;
    ASSERT_EQ(result.Failure, install::TInstallFailure::Kept);
    EXPECT_EQ(ziptest::CountFiles(result.KeptFolder), 2);  // the original and the steps left
  }
  EXPECT_TRUE(install::CleanUpWork(ModsDir().wstring()).empty());
  for (std::string name : {"a.lua", "b.lua", "c.lua"})
    EXPECT_EQ(ziptest::ReadFile(AddonsDir() / L"Map" / name), Bytes("old"));
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(ModsDir()), {}),
            std::vector<fs::path>{AddonsDir()});
}

TEST_F(InstallCommands, RemovalNeverLosesFilesOrChangesThem) {
  AddRow(L"Kept", L"已安裝", true);
  fs::path file = AddonsDir() / L"Kept" / L"sub" / L"f.lua";
  fs::create_directories(file.parent_path());
  ziptest::WriteFile(file, Bytes("f"));
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
  {
    // The shell refuses (the folder is in use): the file keeps its read-only attribute.
    TImportShim<decltype(SHFileOperationW)> refuse(
        "SHFileOperationW", [](SHFILEOPSTRUCTW*) -> int { return ERROR_SHARING_VIOLATION; });
    Form->Button8->Click();
    EXPECT_EQ(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY,
              DWORD(FILE_ATTRIBUTE_READONLY));
  }
  {
    // No recycle bin, and putting the folder back is refused: the files wait in the hold.
    TImportShim<decltype(SHFileOperationW)> noBin("SHFileOperationW", DeleteForGood);
    TImportShim<decltype(MoveFileExW)> shim("MoveFileExW", ShimMove);
    RefuseMove = [](const std::wstring&, const std::wstring& to) {
      return Contains(to, L"\\Addons\\");
    };
    Form->ListView1->SetChecked(0, true);
    Form->Button8->Click();
    RefuseMove = nullptr;
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(Contains(Boxes.back().Text, L"無法放回原處")) << Boxes.back().Text;
  }
  EXPECT_TRUE(install::CleanUpWork(ModsDir().wstring()).empty());
  EXPECT_EQ(ziptest::ReadFile(file), Bytes("f"));
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(ModsDir()), {}),
            std::vector<fs::path>{AddonsDir()});
}

TEST_F(InstallCommands, WithoutHardLinksOnlyAFolderGoneForGoodAsksBeforeItGoes) {
  AddRow(L"NoLinks", L"已安裝", true);
  AddRow(L"Gone", L"已安裝", true);
  for (const wchar_t* folder : {L"NoLinks", L"Gone"}) {
    fs::create_directories(AddonsDir() / folder);
    ziptest::WriteFile(AddonsDir() / folder / L"f.lua", Bytes("f"));
  }
  TImportShim<decltype(CreateHardLinkW)> noLinks(
      "CreateHardLinkW", [](LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES) -> BOOL {
        return SetLastError(ERROR_INVALID_FUNCTION), FALSE;
      });
  Form->ListView1->SetChecked(1, false);
  Form->Button8->Click();  // the recycle bin takes it: no second question
  EXPECT_EQ(Boxes.size(), 1u) << RecycleBinHint();
  EXPECT_FALSE(fs::exists(AddonsDir() / L"NoLinks"));
  TImportShim<decltype(SHFileOperationW)> noBin("SHFileOperationW", DeleteForGood);
  TImportShim<decltype(SHQueryRecycleBinW)> sameBin(  // it does not grow, whatever else is deleted
      "SHQueryRecycleBinW", [](LPCWSTR, SHQUERYRBINFO* bin) { return bin->i64NumItems = 5, S_OK; });
  Form->ListView1->SetChecked(1, true);
  Form->Button8->Click();  // gone for good: asked, answered No, and it is back whole
  ASSERT_EQ(Boxes.size(), 3u);
  EXPECT_TRUE(Contains(Boxes[2].Text, L"永久刪除")) << Boxes[2].Text;
  EXPECT_EQ(ziptest::ReadFile(AddonsDir() / L"Gone" / L"f.lua"), Bytes("f"));
}

TEST_F(InstallCommands, AReloadAskedForDuringTheBatchWaitsForItsEnd) {
  AddRow(L"One", L"未安裝", true);
  AddRow(L"Two", L"未安裝", true);
  for (const char* folder : {"One", "Two"}) PutArchive(ui::Widen(folder), AddonArchive(folder));
  HWND reload = Form->Button3->Handle();
  PostMessageW(GetParent(reload), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(reload), BN_CLICKED),
               reinterpret_cast<LPARAM>(reload));
  bool batchDone = false;
  OnBox = [&](const ui::TMessageBoxRecord&) {
    batchDone = fs::exists(AddonsDir() / L"Two" / L"Two.lua");
  };
  Form->Button1->Click();
  // Then it ran, found no server here, and said so; the list stays as it was.
  EXPECT_TRUE(batchDone);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_TRUE(Contains(Boxes[0].Text, L"Data.xml")) << ui::Narrow(Boxes[0].Text);
}

TEST(UnzipArchive, PathsNearTheLimitInstall) {
  TWindowsPathLimits limits;
  ziptest::TScratch scratch;
  fs::path mods = scratch.Path() / L"Mods";
  std::string deep = "Addons/Deep/";
  while (mods.wstring().size() + deep.size() < MAX_PATH - 12) deep += "d/";
  TZipWriter writer;
  writer.Add(deep + "f.lua", Bytes("deep"));
  ziptest::WriteFile(scratch / "deep.zip", writer.Build());
  EXPECT_TRUE(install::UnzipArchive((scratch / "deep.zip").wstring(), mods.wstring()));
  EXPECT_EQ(ziptest::ReadFile(mods / fs::path(deep) / "f.lua"), Bytes("deep"));
}

}  // namespace

namespace {

// Version `version` of an add-on: its main file says which; version 2 adds a file.
std::vector<uint8_t> VersionArchive(const std::string& folder, int version) {
  TZipWriter writer;
  writer.Add("Addons/" + folder + "/main.lua", Bytes("v" + std::to_string(version)));
  if (version > 1) writer.Add("Addons/" + folder + "/new.lua", Bytes("new"));
  return writer.Build();
}

}  // namespace

TEST_F(InstallCommands, AnUpdateKeepsTheReplacedVersionAndRollbacksSwapThem) {
  auto rollBackGreyed = [this] {
    return (GetMenuState(Form->MainMenu1.Handle(), app::TForm1::kRollBackCommand, MF_BYCOMMAND) &
            MF_GRAYED) != 0;
  };
  auto recorded = [this] {
    install::TInstallRecord record = install::TInstallRecord::Load(install::InstallRecordPath());
    const install::TArchiveDigest* digest =
        record.Find(config::InstallRoot(Form->Form2().GamePath()), L"Map");
    return digest ? digest->Sha256 : "";
  };
  auto install = [&](int version, const wchar_t* state) {
    PutArchive(L"Map", VersionArchive("Map", version));
    // The refresh's record of the cached archive, which the status check compares.
    install::WriteCacheRecord(config::ArchiveCachePath(L"Map"),
                              {*install::DigestOfFile(config::ArchiveCachePath(L"Map")), {}});
    Form->ListView1->SetSubItem(0, 0, state);
    Form->ListView1->SetChecked(0, true);
    Form->Button1->Click();
    return install::DigestOfFile(config::ArchiveCachePath(L"Map"))->Sha256;
  };
  auto rollBack = [&] {
    Form->ListView1->SetChecked(0, true);
    Form->MainMenu1.Find(L"RollBackM")->Click();
  };
  const fs::path map = AddonsDir() / L"Map";
  AddRow(L"Map", L"未安裝", true);
  std::string v1 = install(1, L"未安裝");
  EXPECT_TRUE(rollBackGreyed());  // nothing is kept for a first install
  ziptest::WriteFile(map / L"mine.txt", Bytes("player's"));
  std::string v2 = install(2, L"有更新");
  EXPECT_FALSE(rollBackGreyed());
  EXPECT_EQ(ziptest::ReadFile(map / L"main.lua"), Bytes("v2"));

  rollBack();
  EXPECT_EQ(ziptest::ReadFile(map / L"main.lua"), Bytes("v1"));
  EXPECT_EQ(ziptest::ReadFile(map / L"mine.txt"), Bytes("player's"));
  EXPECT_FALSE(fs::exists(map / L"new.lua"));
  EXPECT_EQ(recorded(), v1);
  EXPECT_EQ(State(0), L"有更新");
  EXPECT_EQ(Form->Label7->Caption(), L"勾選的UI 已還原 1 個上一版");
  EXPECT_FALSE(Checked(0));

  rollBack();
  EXPECT_EQ(ziptest::ReadFile(map / L"main.lua"), Bytes("v2"));
  EXPECT_EQ(ziptest::ReadFile(map / L"new.lua"), Bytes("new"));
  EXPECT_EQ(ziptest::ReadFile(map / L"mine.txt"), Bytes("player's"));
  EXPECT_EQ(recorded(), v2);
  EXPECT_EQ(State(0), L"已安裝");
  EXPECT_TRUE(Boxes.empty());

  // A removal takes the kept version with it.
  Form->ListView1->SetChecked(0, true);
  Form->Button8->Click();
  EXPECT_FALSE(fs::exists(map)) << RecycleBinHint();
  EXPECT_FALSE(fs::exists(ModsDir() / L".VornisTools-previous" / L"Map"));
  EXPECT_TRUE(rollBackGreyed());
}

// "勾選有更新的 UI" ticks exactly the rows the status check found "有更新" (by the
// catalogue's hash when it gives one, else by the cached archive), unticks every other
// and is greyed while there is none. A row without a record, or whose cached archive
// changed after its record was written, is "已安裝". A record that cannot be read shows
// no update and is never written over; one that cannot be written is told.
TEST_F(InstallCommands, CheckUpdatesEntryFollowsTheRecordAndTheCatalogue) {
  const std::wstring record = install::InstallRecordPath();
  const install::TArchiveDigest old{5, std::string(64, '0')};
  install::TInstallRecord entries;
  for (const wchar_t* folder : {L"ByHash", L"ByCache", L"Changed", L"Same"})
    entries.Set(config::InstallRoot(Form->Form2().GamePath()), folder, old);
  ASSERT_TRUE(entries.Save(record));
  for (const wchar_t* folder : {L"ByHash", L"ByCache", L"NoRecord", L"Changed", L"Same"}) {
    AddRow(folder, L"", true);  // ticked by the player
    fs::create_directories(AddonsDir() / folder);
    PutArchive(folder, AddonArchive(ui::Narrow(folder)));
    install::WriteCacheRecord(Archives.back(), {*install::DigestOfFile(Archives.back()), {}});
  }
  Form->ExpectArchive(L"ByHash", {-1, std::string(64, '1')});
  Form->ExpectArchive(L"Same", {old.Size, old.Sha256});
  for (const wchar_t* folder : {L"ByCache", L"Changed"}) Form->ExpectArchive(folder, {});
  ziptest::WriteFile(Archives[3], AddonArchive("Changed2"));
  ui::TMenuItem& entry = *Form->MainMenu1.Find(L"CheckUpdatesM");
  auto marks = [&] {
    std::wstring text;
    for (int row = 0; row < Form->ListView1->Count(); ++row)
      text += State(row) + (Checked(row) ? L"+ " : L" ");
    return text;
  };
  EXPECT_FALSE(entry.Enabled());
  Form->BitBtn4->Click();
  ASSERT_TRUE(entry.Enabled());
  entry.Click();
  EXPECT_EQ(marks(), L"有更新+ 有更新+ 已安裝 已安裝 已安裝 ");

  std::vector<uint8_t> before = ziptest::ReadFile(record);
  before.resize(16 << 20, '#');  // more than a record can be: not read, never written over
  ziptest::WriteFile(record, before);
  Form->BitBtn4->Click();
  EXPECT_FALSE(entry.Enabled());
  PutArchive(L"Fresh", AddonArchive("Fresh"));
  AddRow(L"Fresh", L"未安裝", true);
  Form->Button1->Click();
  EXPECT_TRUE(fs::exists(AddonsDir() / L"Fresh"));
  EXPECT_EQ(before, ziptest::ReadFile(record));
  EXPECT_TRUE(Contains(Boxes.back().Text, L"無法寫入安裝紀錄")) << Boxes.back().Text;
  fs::create_directories(record + L".new");
  Form->Button8->Click();
  fs::remove(record + L".new");
  EXPECT_FALSE(fs::exists(AddonsDir() / L"ByHash"));
  EXPECT_TRUE(Contains(Boxes.back().Text, L"無法寫入安裝紀錄")) << Boxes.back().Text;
  DeleteFileW(record.c_str());
}

TEST_F(InstallCommands, RollbacksWithoutAWholeKeptVersionChangeNothingAndSayWhy) {
  AddRow(L"Bare", L"已安裝", false);
  AddRow(L"Cut", L"已安裝", false);
  fs::create_directories(AddonsDir() / L"Bare");
  for (int version : {1, 2}) {
    PutArchive(L"Cut", VersionArchive("Cut", version));
    Form->ListView1->SetSubItem(1, 0, version == 1 ? L"未安裝" : L"有更新");
    Form->ListView1->SetChecked(1, true);
    Form->Button1->Click();
  }
  fs::remove(ModsDir() / L".VornisTools-previous" / L"Cut" / L"main.lua");
  auto before = ziptest::ReadFile(AddonsDir() / L"Cut" / L"main.lua");
  Form->BitBtn1->Click();
  Form->MainMenu1.Find(L"RollBackM")->Click();
  EXPECT_EQ(ziptest::ReadFile(AddonsDir() / L"Cut" / L"main.lua"), before);
  EXPECT_TRUE(fs::exists(AddonsDir() / L"Cut" / L"new.lua"));
  EXPECT_EQ(Form->Label7->Caption(), L"勾選的UI 已還原 0 個上一版,1 個沒有上一版,1 個還原失敗");
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text,
            L"以下 UI 沒有還原:\nCut: 保存的上一版已損壞或缺少檔案,沒有變更"
            L"\n\n以下 UI 沒有保存的上一版:\nBare");
}

TEST_F(InstallCommands, AVersionThatCannotBeKeptNeverBlocksTheUpdate) {
  AddRow(L"Map", L"未安裝", true);
  PutArchive(L"Map", VersionArchive("Map", 1));
  Form->Button1->Click();
  // Something not ours where the copy would go: nothing can be kept.
  ziptest::WriteFile(ModsDir() / L".VornisTools-keeping", Bytes("not a folder"));
  PutArchive(L"Map", VersionArchive("Map", 2));
  Form->ListView1->SetSubItem(0, 0, L"有更新");
  Form->ListView1->SetChecked(0, true);
  Form->Button1->Click();
  EXPECT_EQ(ziptest::ReadFile(AddonsDir() / L"Map" / L"main.lua"), Bytes("v2"));
  EXPECT_EQ(Form->Label7->Caption(), L"勾選的UI 已經安裝完畢");
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_NE(Boxes[0].Text.find(L"無法保存以下 UI 被取代的上一版"), std::wstring::npos);
  EXPECT_EQ(ziptest::ReadFile(ModsDir() / L".VornisTools-keeping"), Bytes("not a folder"));
}

// Folders of a hand-made catalogue that differ only in case share one archive and one
// add-on folder: the first item keeps them, the other row fails with the reason, and a
// refresh fetches the archive once.
TEST_F(InstallCommands, FoldersDifferingOnlyInCaseBelongToTheFirstItem) {
  Form->ListCatalogue(
      {{L"b", L"1", L"Foo", L"", L"", L"", L""}, {L"a", L"2", L"FOO ", L"", L"", L"", L""}});
  PutArchive(L"Foo", AddonArchive("Foo"));
  for (int row : {0, 1}) {
    Form->ListView1->SetSubItem(row, 0, L"未安裝");
    Form->ListView1->SetChecked(row, true);
  }
  Form->Button1->Click();
  EXPECT_TRUE(fs::exists(AddonsDir() / L"Foo"));
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_NE(Boxes[0].Text.find(L"FOO: 資料夾名稱與 UI 清單中的 Foo 只差大小寫"),
            std::wstring::npos);
  Form->ListView1->SetChecked(0, true);
  Form->Button8->Click();
  EXPECT_TRUE(fs::exists(AddonsDir() / L"Foo"));
  Form->Button4->Click();
  EXPECT_EQ(Form->DownloadsStarted, 1);
}

TEST_F(InstallCommands, AutomaticUpdatesInstallOnlyUpdatesAndWaitForTheGame) {
  auto place = [this](int version) {
    PutArchive(L"Map", VersionArchive("Map", version));
    install::WriteCacheRecord(config::ArchiveCachePath(L"Map"),
                              {*install::DigestOfFile(config::ArchiveCachePath(L"Map")), {}});
  };
  fs::path config = config::ConfigIniPath();
  bool hadConfig = fs::exists(config);
  AddRow(L"Map", L"未安裝", true);
  AddRow(L"New", L"未安裝", true);  // the user's check: never installed automatically
  PutArchive(L"New", VersionArchive("New", 1));
  place(1);
  Form->ListView1->SetChecked(1, false);
  Form->Button1->Click();
  Form->ListView1->SetChecked(1, true);
  place(2);
  Form->BitBtn4->Click();
  ASSERT_EQ(State(0), L"有更新");

  Form->InstallUpdatesAutomatically();  // off by default
  EXPECT_EQ(ziptest::ReadFile(AddonsDir() / L"Map" / L"main.lua"), Bytes("v1"));
  Form->MainMenu1.Find(L"AutoInstallM")->Click();
  EXPECT_TRUE(Form->MainMenu1.Find(L"AutoInstallM")->Checked());
  EXPECT_EQ(GetPrivateProfileIntW(L"updata", L"autoui", -1, config.c_str()), 1);

  // While the game this window started runs, nothing; once it has ended, the update.
  HANDLE game = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Form->WatchGame(game);
  Form->InstallUpdatesAutomatically();
  EXPECT_EQ(ziptest::ReadFile(AddonsDir() / L"Map" / L"main.lua"), Bytes("v1"));
  SetEvent(game);
  // The window looks at the game now and then: its timer runs the update.
  for (int i = 0; i < 3000 && State(0) != L"已安裝"; ++i) {
    ui::Application().ProcessMessages();
    Sleep(10);
  }
  EXPECT_EQ(ziptest::ReadFile(AddonsDir() / L"Map" / L"main.lua"), Bytes("v2"));
  EXPECT_FALSE(fs::exists(AddonsDir() / L"New"));
  EXPECT_TRUE(Checked(1));
  EXPECT_FALSE(Checked(0));

  // A rollback is not undone by the next automatic update of the same archive.
  Form->ListView1->SetChecked(0, true);
  Form->MainMenu1.Find(L"RollBackM")->Click();
  ASSERT_EQ(State(0), L"有更新");
  Form->InstallUpdatesAutomatically();
  EXPECT_EQ(ziptest::ReadFile(AddonsDir() / L"Map" / L"main.lua"), Bytes("v1"));

  Form->MainMenu1.Find(L"AutoInstallM")->Click();
  EXPECT_EQ(GetPrivateProfileIntW(L"updata", L"autoui", -1, config.c_str()), 0);
  if (!hadConfig) fs::remove(config);
}
