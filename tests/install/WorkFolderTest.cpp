// The work folders an install leaves in the install root (staging, parking) and what the
// next install or clean-up does with them: links inside them are never followed, and a
// parking folder kept with undo steps survives until its files are back.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "ImportShim.h"
#include "ZipTestSupport.h"
#include "install/Install.h"

namespace {

namespace fs = std::filesystem;
using ziptest::Bytes;
using ziptest::TZipWriter;

// Wine's name of an existing file or folder on the Linux side; empty outside Wine.
std::string UnixName(const fs::path& path) {
  using TUnixFileName = char*(CDECL*)(LPCWSTR);
  auto unixName = reinterpret_cast<TUnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  char* name = unixName ? unixName(path.c_str()) : nullptr;
  if (!name) return "";
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// Starts a Linux program under Wine, which cannot wait for it, and waits until `done`
// holds (a minute at most).
bool RunLinux(const std::wstring& program, std::wstring commandLine,
              const std::function<bool()>& done) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    Sleep(20);
  }
  return true;
}

bool Exists(const fs::path& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Directory links to folders of the scratch folder: symbolic links made on the Linux side
// under Wine (whose own calls make none), which Wine shows as reparse points. Windows
// calls cannot remove them again under Wine, so the Linux side does, before the scratch
// folder goes: the links alone, wherever the code under test moved them in the scratch
// folder, never what they point to.
class TLinks {
 public:
  explicit TLinks(fs::path scratch) : FScratch(std::move(scratch)) {}
  ~TLinks() {
    std::string scratch = UnixName(FScratch);
    if (FMade && !scratch.empty())
      RunLinux(L"Z:\\usr\\bin\\find",
               L"/usr/bin/find \"" + fs::path(scratch).wstring() + L"\" -type l -delete",
               [this] { return !HoldsLinks(FScratch); });
  }
  // Makes `link` a directory link to `target`, both inside the scratch folder; true once
  // it is there.
  bool Make(const fs::path& link, const fs::path& target) {
    if (!Inside(link) || !Inside(target)) return false;
    std::string folder = UnixName(link.parent_path());
    std::string to = UnixName(target);
    if (folder.empty() || to.empty())
      return CreateSymbolicLinkW(link.c_str(), target.c_str(),
                                 SYMBOLIC_LINK_FLAG_DIRECTORY |
                                     SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != FALSE;
    FMade = true;
    return RunLinux(L"Z:\\bin\\ln",
                    L"/bin/ln -s \"" + fs::path(to).wstring() + L"\" \"" +
                        fs::path(folder).wstring() + L"/" + link.filename().wstring() + L"\"",
                    [&] { return Exists(link); });
  }

 private:
  bool Inside(const fs::path& path) const {
    fs::path relative = path.lexically_normal().lexically_relative(FScratch.lexically_normal());
    return !relative.empty() && *relative.begin() != L"..";
  }
  static bool HoldsLinks(const fs::path& folder) {
    std::error_code error;
    for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
      if (GetFileAttributesW(entry->path().c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    return false;
  }

  fs::path FScratch;
  bool FMade = false;
};

std::vector<uint8_t> MapArchive(const std::string& folder, const std::string& text) {
  TZipWriter writer;
  for (std::string name : {"a.lua", "b.lua", "c.lua"})
    writer.Add("Addons/" + folder + "/" + name, Bytes(text));
  return writer.Build();
}

// Leftover work folders that are, or hold, links to a folder outside the install root:
// neither the clean-up nor the next install empties that folder.
TEST(WorkFolders, LinksInLeftoverWorkFoldersAreNeverFollowed) {
  ziptest::TScratch scratch;
  TLinks links(scratch.Path());
  fs::path outside = scratch.Path() / L"outside";
  fs::create_directories(outside / L"sub");
  ziptest::WriteFile(outside / L"keep.txt", Bytes("keep"));
  ziptest::WriteFile(outside / L"sub" / L"keep.lua", Bytes("keep too"));
  auto outsideIntact = [&] {
    return ziptest::ReadFile(outside / L"keep.txt") == Bytes("keep") &&
           ziptest::ReadFile(outside / L"sub" / L"keep.lua") == Bytes("keep too");
  };
  // A parking folder that is a link, and one that holds a link.
  auto leaveParking = [&](const fs::path& mods) {
    fs::create_directories(mods / L"Addons");
    fs::create_directories(mods / L".VornisTools-replaced2" / L"Addons");
    return links.Make(mods / L".VornisTools-replaced", outside) &&
           links.Make(mods / L".VornisTools-replaced2" / L"Addons" / L"Map", outside);
  };

  fs::path cleaned = scratch.Path() / L"cleaned" / L"Mods";
  fs::create_directories(cleaned / L".VornisTools-staging");
  ASSERT_TRUE(leaveParking(cleaned));
  ASSERT_TRUE(links.Make(cleaned / L".VornisTools-staging" / L"elsewhere", outside));
  install::CleanUpWork(cleaned.wstring());
  EXPECT_TRUE(outsideIntact()) << "the clean-up";

  fs::path installed = scratch.Path() / L"installed" / L"Mods";
  ASSERT_TRUE(leaveParking(installed));
  ziptest::WriteFile(scratch / "map.zip", MapArchive("Map", "new"));
  EXPECT_TRUE(install::UnzipArchive((scratch / "map.zip").wstring(), installed.wstring()));
  EXPECT_TRUE(outsideIntact()) << "the install";
  EXPECT_EQ(ziptest::ReadFile(installed / L"Addons" / L"Map" / L"a.lua"), Bytes("new"));
}

// A link left in the staging folder (Wine cannot remove it) is never moved into Mods,
// where a rename of it moves the folder it names: the install is refused and names it.
TEST(WorkFolders, ALinkLeftInTheStagingFolderIsNeverMoved) {
  ziptest::TScratch scratch;
  TLinks links(scratch.Path());
  fs::path mods = scratch.Path() / L"Mods";
  fs::create_directories(scratch.Path() / L"outside");
  ziptest::WriteFile(scratch.Path() / L"outside" / L"keep.txt", Bytes("keep"));
  fs::create_directories(mods / L".VornisTools-staging" / L"Addons");
  ASSERT_TRUE(
      links.Make(mods / L".VornisTools-staging" / L"elsewhere", scratch.Path() / L"outside"));
  ASSERT_TRUE(
      links.Make(mods / L".VornisTools-staging" / L"Addons" / L"Map", scratch.Path() / L"outside"));
  ziptest::WriteFile(scratch / "map.zip", MapArchive("Other", "new"));
  install::TInstallResult result =
      install::UnzipArchive((scratch / "map.zip").wstring(), mods.wstring());
  EXPECT_EQ(result.Failure, install::TInstallFailure::Link);
  EXPECT_NE(result.Path.find(L".VornisTools-staging"), std::wstring::npos);
  EXPECT_FALSE(Exists(mods / L"elsewhere"));
  EXPECT_FALSE(Exists(mods / L"Addons" / L"Map"));
  EXPECT_FALSE(Exists(mods / L"Addons" / L"Other"));
  EXPECT_EQ(ziptest::ReadFile(scratch.Path() / L"outside" / L"keep.txt"), Bytes("keep"));
}

// Stand-in for the rename, refusing what `RefuseMove` names.
std::function<bool(const std::wstring& from, const std::wstring& to)> RefuseMove;
BOOL WINAPI ShimMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (RefuseMove && RefuseMove(from, to)) return SetLastError(ERROR_SHARING_VIOLATION), FALSE;
  return TImportShim<decltype(MoveFileExW)>::Original(from, to, flags);
}

bool Contains(const std::wstring& text, const wchar_t* part) {
  return text.find(part) != std::wstring::npos;
}

// An install whose undo was refused keeps the replaced files in its parking folder; a
// second install into the same root before any clean-up uses another one, and the
// clean-up then puts the first add-on's files back.
TEST(WorkFolders, AKeptParkingFolderSurvivesTheNextInstall) {
  ziptest::TScratch scratch;
  fs::path mods = scratch.Path() / L"Mods";
  fs::path map = mods / L"Addons" / L"Map";
  fs::create_directories(map);
  for (std::string name : {"a.lua", "b.lua", "c.lua"}) ziptest::WriteFile(map / name, Bytes("old"));
  ziptest::WriteFile(scratch / "map.zip", MapArchive("Map", "new"));
  ziptest::WriteFile(scratch / "other.zip", MapArchive("Other", "other"));

  install::TInstallResult kept;
  {
    TImportShim<decltype(MoveFileExW)> shim("MoveFileExW", ShimMove);
    int staged = 0;  // the second new file is refused, and so is every way back
    RefuseMove = [&](const std::wstring& from, const std::wstring& to) {
      return Contains(to, L"-staging\\") || (Contains(from, L"-staging\\") && ++staged == 2);
    };
    kept = install::UnzipArchive((scratch / "map.zip").wstring(), mods.wstring());
    RefuseMove = nullptr;
  }
  ASSERT_EQ(kept.Failure, install::TInstallFailure::Kept);

  install::TInstallResult other =
      install::UnzipArchive((scratch / "other.zip").wstring(), mods.wstring());
  EXPECT_TRUE(other);
  EXPECT_TRUE(fs::exists(kept.KeptFolder));

  EXPECT_TRUE(install::CleanUpWork(mods.wstring()).empty());
  for (std::string name : {"a.lua", "b.lua", "c.lua"}) {
    EXPECT_EQ(ziptest::ReadFile(map / name), Bytes("old")) << name;
    EXPECT_EQ(ziptest::ReadFile(mods / L"Addons" / L"Other" / name), Bytes("other")) << name;
  }
}

}  // namespace
