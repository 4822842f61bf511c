// Nothing an add-on archive carries may act outside the add-on folders: archives that
// name the manager's work folders install nothing, and work folders planted in Mods
// before an install or a removal are never obeyed. And no step that fails (a crash, a
// full disk, a file the game put back) loses the files an install or removal replaces.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ImportShim.h"
#include "ZipTestSupport.h"
#include "install/FileTree.h"
#include "install/Install.h"
#include "ui/Application.h"

namespace {

namespace fs = std::filesystem;
using ziptest::Bytes;
using ziptest::TZipWriter;

// Every file and folder under `root` with its contents.
std::map<fs::path, std::vector<uint8_t>> Snapshot(const fs::path& root) {
  std::map<fs::path, std::vector<uint8_t>> items;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    items[entry.path()] = entry.is_regular_file() ? ziptest::ReadFile(entry) : Bytes("/");
  return items;
}

// An undo step list as the manager writes it: "from<TAB>to" a line, UTF-8.
std::vector<uint8_t> Steps(const std::vector<std::pair<fs::path, fs::path>>& steps) {
  std::string text;
  for (const auto& [from, to] : steps)
    text +=
        (from.empty() ? "" : ui::Narrow(from.wstring())) + "\t" + ui::Narrow(to.wstring()) + "\n";
  return Bytes(text);
}

TEST(Containment, ArchivesNamingAWorkFolderAnywhereInstallNothing) {
  ziptest::TScratch scratch;
  fs::path mods = scratch.Path() / L"Mods";
  fs::path outside = scratch.Path() / L"outside";
  fs::create_directories(mods / L"Addons" / L"Map");
  fs::create_directories(mods / L".VornisTools-removal");
  fs::create_directories(outside);
  ziptest::WriteFile(mods / L"Addons" / L"Map" / L"map.lua", Bytes("map"));
  ziptest::WriteFile(outside / L"victim.txt", Bytes("victim"));
  std::vector<std::string> planted = {
      ".VornisTools-replaced7/.VornisTools-undo",  // a step list naming a file outside
      ".VornisTools-replaced/x/.VornisTools-undo",
      "Addons/Map/.vornistools-REMOVAL/Map/f.lua",  // deeper, in another case
      ".VornisTools-removal./Map/f.lua",            // a trailing dot the system drops
      ".VornisTools-removal/Map/f.lua",             // a hold
  };
  // The short name of the existing hold folder reaches it as well.
  wchar_t shortName[MAX_PATH] = {};
  GetShortPathNameW((mods / L".VornisTools-removal").c_str(), shortName, MAX_PATH);
  std::string alias = ui::Narrow(fs::path(shortName).filename().wstring());
  if (!alias.empty() && alias != ".VornisTools-removal") planted.push_back(alias + "/Map/f.lua");
  auto before = Snapshot(scratch.Path());
  for (const std::string& name : planted) {
    TZipWriter writer;
    writer.Add("Addons/Map/map.lua", Bytes("new"));
    writer.Add(name, Steps({{outside / L"moved.txt", outside / L"victim.txt"}, {{}, outside}}));
    ziptest::WriteFile(scratch / "planted.zip", writer.Build());
    install::TInstallResult result =
        install::UnzipArchive((scratch / "planted.zip").wstring(), mods.wstring());
    EXPECT_EQ(result.Failure, install::TInstallFailure::BadName) << name;
    fs::remove(scratch / "planted.zip");
    EXPECT_EQ(Snapshot(scratch.Path()), before) << name;
  }
  std::vector<std::wstring> foreign;
  EXPECT_TRUE(install::CleanUpWork(mods.wstring(), &foreign).empty());
  EXPECT_TRUE(foreign.empty());
}

// Left in Mods by a version that let archives place them: a kept parking folder whose
// steps name paths outside Mods, and a hold the removal of "Name" would take for its own.
TEST(Containment, PlantedWorkFoldersAreNeverObeyed) {
  ziptest::TScratch scratch;
  fs::path mods = scratch.Path() / L"Mods";
  fs::path outside = scratch.Path() / L"outside";
  fs::path parking = mods / L".VornisTools-replaced7";
  fs::path hold = mods / L".VornisTools-removal" / L"Name";
  for (const fs::path& folder : {outside / L"keep", parking, hold, mods / L"Addons" / L"Name"})
    fs::create_directories(folder);
  ziptest::WriteFile(outside / L"victim.txt", Bytes("victim"));
  ziptest::WriteFile(outside / L"secret.txt", Bytes("secret"));
  ziptest::WriteFile(mods / L"Addons" / L"Name" / L"own.lua", Bytes("own"));
  ziptest::WriteFile(hold / L"planted.lua", Bytes("planted"));
  ziptest::WriteFile(
      parking / L".VornisTools-undo",
      Steps({{outside / L"moved.txt", outside / L"victim.txt"},
             {{}, outside / L"keep"},
             {mods / L"Addons" / L"stolen.txt", outside / L"secret.txt"},
             {mods / L"Addons" / L"up.txt", mods / L".." / L"outside" / L"victim.txt"},
             {parking / L"x", mods / L".VornisTools-removal" / L"Name" / L"planted.lua"}}));
  auto outsideBefore = Snapshot(outside);
  auto steps = ziptest::ReadFile(parking / L".VornisTools-undo");

  std::vector<std::wstring> foreign;
  EXPECT_TRUE(install::CleanUpWork(mods.wstring(), &foreign).empty());
  EXPECT_EQ(foreign.size(), 2u);
  EXPECT_EQ(ziptest::ReadFile(parking / L".VornisTools-undo"), steps);  // none was run
  EXPECT_FALSE(fs::exists(mods / L"Addons" / L"Name" / L"planted.lua"));
  EXPECT_FALSE(fs::exists(mods / L"Addons" / L"stolen.txt"));

  // The removal is not held up by the planted hold, which stays as it is.
  std::wstring held;
  install::TRecycleResult removed =
      install::RecycleFolder((mods / L"Addons" / L"Name").wstring(), mods.wstring(), &held);
  EXPECT_NE(removed, install::TRecycleResult::Held) << ui::Narrow(held);
  EXPECT_EQ(ziptest::ReadFile(hold / L"planted.lua"), Bytes("planted"));
  EXPECT_EQ(Snapshot(outside), outsideBefore);
}

// An add-on "Map" with three installed files and an archive that replaces them.
struct TMapUpdate {
  ziptest::TScratch Scratch;
  fs::path Mods = Scratch.Path() / L"Mods";
  fs::path Map = Mods / L"Addons" / L"Map";
  TMapUpdate() {
    fs::create_directories(Map);
    TZipWriter update;
    for (std::string name : {"a.lua", "b.lua", "c.lua"}) {
      ziptest::WriteFile(Map / name, Bytes("old"));
      update.Add("Addons/Map/" + name, Bytes("new"));
    }
    ziptest::WriteFile(Scratch / "map.zip", update.Build());
  }
  install::TInstallResult Install() {
    return install::UnzipArchive((Scratch / "map.zip").wstring(), Mods.wstring());
  }
  bool AllOld() {
    for (std::string name : {"a.lua", "b.lua", "c.lua"})
      if (!fs::exists(Map / name) || ziptest::ReadFile(Map / name) != Bytes("old")) return false;
    return std::distance(fs::recursive_directory_iterator(Mods), {}) == 5;
  }
};

int Calls = 0;
struct TCrash {};

TEST(LossPaths, AnInstallCutShortByACrashIsUndoneByTheNextCleanUp) {
  TMapUpdate map;
  {
    Calls = 0;
    TImportShim<decltype(MoveFileExW)> crash(
        "MoveFileExW", [](LPCWSTR from, LPCWSTR to, DWORD flags) -> BOOL {
          if (wcsstr(from, L"-staging\\") && ++Calls == 3) throw TCrash{};  // the third new file
          return TImportShim<decltype(MoveFileExW)>::Original(from, to, flags);
        });
    EXPECT_THROW(map.Install(), TCrash);
  }
  EXPECT_TRUE(install::CleanUpWork(map.Mods.wstring()).empty());
  EXPECT_TRUE(map.AllOld());
}

HANDLE StepFile = INVALID_HANDLE_VALUE;

TEST(LossPaths, AStepListThatCannotBeWrittenStopsTheInstall) {
  TMapUpdate map;
  Calls = 0;
  TImportShim<decltype(CreateFileW)> open(
      "CreateFileW",
      [](LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
         DWORD flags, HANDLE model) -> HANDLE {
        HANDLE file = TImportShim<decltype(CreateFileW)>::Original(path, access, share, security,
                                                                   disposition, flags, model);
        if (wcsstr(path, L"\\.VornisTools-steps")) StepFile = file;
        return file;
      });
  TImportShim<decltype(WriteFile)> fullDisk(
      "WriteFile", [](HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED at) {
        if (file == StepFile && ++Calls >= 3) return SetLastError(ERROR_DISK_FULL), FALSE;
        return TImportShim<decltype(WriteFile)>::Original(file, data, size, written, at);
      });
  install::TInstallResult result = map.Install();
  EXPECT_EQ(result.Failure, install::TInstallFailure::WriteError);
  EXPECT_TRUE(map.AllOld());
}

// The shell deletes the folder for good, the game writes another file at its place, and
// nothing can be moved back: the held file is the only copy left.
TEST(LossPaths, AHeldFileIsSafeOnlyWhenItsPlaceHoldsTheSameFile) {
  ziptest::TScratch scratch;
  fs::path folder = scratch.Path() / L"Mods" / L"Addons" / L"Name";
  fs::create_directories(folder);
  ziptest::WriteFile(folder / L"f.lua", Bytes("mine"));
  TImportShim<decltype(SHFileOperationW)> deleteForGood(
      "SHFileOperationW", [](SHFILEOPSTRUCTW* operation) -> int {
        install::DeleteTree(operation->pFrom);
        fs::create_directories(operation->pFrom);
        ziptest::WriteFile(fs::path(operation->pFrom) / L"f.lua", Bytes("game"));
        return 0;
      });
  std::wstring hold;
  EXPECT_EQ(install::RecycleFolder(folder.wstring(), (scratch.Path() / L"Mods").wstring(), &hold),
            install::TRecycleResult::Held);
  EXPECT_EQ(ziptest::ReadFile(fs::path(hold) / L"f.lua"), Bytes("mine"));
}

}  // namespace
