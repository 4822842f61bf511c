// The batch file that finishes the swap, run through the real cmd.exe in folders whose
// names the command interpreter would otherwise mangle, and the swap's own file steps.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/Exception.h"
#include "selfupdate/SelfReplace.h"

using namespace selfupdate;

namespace {

std::wstring WinPath(const std::string& unixPath) {
  std::wstring path = L"Z:";
  for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Waits for `done` while the batch runs; false when it never happens.
template <typename F>
bool Eventually(F done) {
  for (int i = 0; i < 1200; ++i) {
    if (done()) return true;
    Sleep(50);
  }
  return false;
}

// A fresh install folder named `name` holding VornisTools.exe (the marker program) and
// VornisTools2.exe (the marker with an overlay, so the two differ). Ends with "\".
std::wstring InstallFolder(const std::wstring& name) {
  std::wstring root = WinPath(VORNIS_BINARY_DIR) + L"\\selfupdate-work\\";
  std::wstring dir = root + name + L"\\";
  std::error_code ignored;  // a failed run may leave a read-only ".old"
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, ignored))
    SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
  std::filesystem::remove_all(std::filesystem::path(dir));
  std::filesystem::create_directories(std::filesystem::path(dir));
  std::string marker = ReadAll(WinPath(VORNIS_MARKER_PATH));
  WriteAll(dir + L"VornisTools.exe", marker);
  WriteAll(dir + L"VornisTools2.exe", marker + "new build");
  return dir;
}

// Runs delme.bat in `dir` the way the swap starts it; returns the interpreter process.
HANDLE RunBatch(const std::wstring& dir) {
  std::wstring commandLine = L"cmd.exe /d /v:off /c .\\delme.bat";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, dir.c_str(), &startup, &info))
    return nullptr;
  CloseHandle(info.hThread);
  return info.hProcess;
}

// Folder names with each character the interpreter treats specially, and Chinese.
// "%PATH%" and "!OS!" name variables that exist, so an unescaped path would change.
const wchar_t* const kAwkwardNames[] = {
    L"plain",
    L"with blanks & ampersand",
    L"percent 100% and %PATH%",
    L"caret ^ and (parens)",
    L"bang !OS! here",
    L"遊戲 工具 更新",
    L"all ^&%!() 中文 %OS%",
    // Characters code page 950 cannot hold: the batch never names its folder.
    L"caf\u00e9 简体 ひらがな \U0001F600",
};

}  // namespace

TEST(DelmeBatch, ExactLinesForTheUsualInstall) {
  const char* lines =
      "@echo off\r\n"
      "set tries=0\r\n"
      ":loop\r\n"
      "if %tries% gtr 0 ping -n 2 127.0.0.1 >nul\r\n"
      "set /a tries+=1\r\n"
      "if %tries% gtr 60 goto start\r\n"
      "del /f .\\VornisTools2.exe\r\n"
      "if exist .\\VornisTools2.exe goto loop\r\n"
      "del /f .\\VornisTools.old\r\n"
      "if exist .\\VornisTools.old goto loop\r\n"
      ":start\r\n"
      "start \"\" .\\VornisTools.exe\r\n"
      "del .\\delme.bat\r\n";
  EXPECT_EQ(lines, ToBatchCodePage(DelmeBatchText(L"C:\\Tools\\VornisTools.exe")));
  // No folder text: the same lines wherever the executable lies.
  EXPECT_EQ(lines, ToBatchCodePage(DelmeBatchText(L"C:\\caf\u00e9 \U0001F600\\VornisTools.exe")));
  EXPECT_EQ(L"C:\\Tools\\delme.bat", BatchPath(L"C:\\Tools\\VornisTools.exe"));
}

TEST(DelmeBatch, PathsAndNames) {
  EXPECT_EQ(L"C:\\A.B\\Tool.old", OldExePath(L"C:\\A.B\\Tool.exe"));
  EXPECT_EQ(L"C:\\A.B\\Tool.old", OldExePath(L"C:\\A.B\\Tool"));
  EXPECT_EQ(L"C:\\A.B\\VornisTools2.exe", NewExePath(L"C:\\A.B\\Tool.exe"));
  EXPECT_EQ(L"\"C:\\100%%\\x\"", QuoteForBatch(L"C:\\100%\\x"));
  // Another file name: the batch waits for that name's ".old", quoted when it needs to be.
  std::wstring text = DelmeBatchText(L"C:\\T\\My Tool.exe");
  EXPECT_NE(std::wstring::npos, text.find(L"if exist \".\\My Tool.old\" goto loop\r\n"));
  // Chinese is written in the OEM code page (950 here); what it cannot hold is refused.
  EXPECT_EQ("\xa7\xf3\xb7\x73", ToBatchCodePage(L"更新"));
  EXPECT_THROW(ToBatchCodePage(L"caf\u00e9.exe"), Exception);
  // Only a local folder and an encodable file name can swap; any folder name can.
  EXPECT_EQ(L"", SwapRefusal(L"C:\\caf\u00e9 \U0001F600\\VornisTools.exe"));
  EXPECT_NE(L"", SwapRefusal(L"C:\\Tools\\Vornis\U0001F600.exe"));
  EXPECT_NE(L"", SwapRefusal(L"\\\\server\\share\\VornisTools.exe"));
}

// The batch loops until both left-overs are deletable, then starts the exe and deletes
// itself; a held ".old" (the old process still running) keeps it waiting.
TEST(DelmeBatch, RunsThroughCmdInAwkwardFolders) {
  for (const wchar_t* name : kAwkwardNames) {
    SCOPED_TRACE(testing::Message() << "folder " << testing::PrintToString(std::wstring(name)));
    std::wstring dir = InstallFolder(name);
    std::wstring exe = dir + L"VornisTools.exe";
    WriteAll(dir + L"VornisTools.old", "old");
    SetFileAttributesW((dir + L"VornisTools.old").c_str(),
                       FILE_ATTRIBUTE_READONLY);  // as the exe was
    WriteAll(dir + L"delme.bat", ToBatchCodePage(DelmeBatchText(exe)));
    HANDLE held = CreateFileW((dir + L"VornisTools.old").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    HANDLE batch = RunBatch(dir);
    ASSERT_TRUE(batch);
    EXPECT_TRUE(Eventually([&] { return !Exists(dir + L"VornisTools2.exe"); }));
    // Waiting for the old process: nothing started yet.
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(batch, 0));
    EXPECT_FALSE(Exists(dir + L"started.txt"));
    CloseHandle(held);

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(batch, 60000));
    CloseHandle(batch);
    EXPECT_FALSE(Exists(dir + L"VornisTools.old"));
    EXPECT_FALSE(Exists(dir + L"delme.bat"));
    EXPECT_TRUE(Eventually([&] { return Exists(dir + L"started.txt"); }));
    std::string started = ReadAll(dir + L"started.txt");
    EXPECT_EQ(std::wstring(exe), std::wstring(reinterpret_cast<const wchar_t*>(started.data()),
                                              started.size() / sizeof(wchar_t)));
  }
}

// A left-over that stays (an old process that never ends) ends the wait: the executable
// in place starts all the same. The batch does not wait for it, so a copy that swaps
// itself again never has its new batch deleted by this one.
TEST(DelmeBatch, ALeftOverThatStaysEndsTheWait) {
  std::wstring dir = InstallFolder(L"stays");
  WriteAll(dir + L"VornisTools.old", "old");
  WriteAll(dir + L"hold.txt", "the started copy keeps running");
  WriteAll(dir + L"delme.bat", ToBatchCodePage(DelmeBatchText(dir + L"VornisTools.exe", 2)));
  HANDLE held = CreateFileW((dir + L"VornisTools.old").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE batch = RunBatch(dir);
  ASSERT_TRUE(batch);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(batch, 60000));
  CloseHandle(batch);
  CloseHandle(held);
  EXPECT_TRUE(Eventually([&] { return Exists(dir + L"started.txt"); }));
  EXPECT_FALSE(Exists(dir + L"delme.bat"));
  DeleteFileW((dir + L"hold.txt").c_str());
}

TEST(ReplaceExecutable, SwapsAndTheBatchStartsTheNewCopy) {
  std::wstring dir = InstallFolder(L"swap ^&%!() 中文 %OS%");
  std::wstring exe = dir + L"VornisTools.exe";
  std::string newBytes = ReadAll(dir + L"VornisTools2.exe");
  ReplaceExecutable(exe);
  EXPECT_EQ(newBytes, ReadAll(exe));
  // Nothing runs from ".old" here, so the batch goes straight through.
  EXPECT_TRUE(Eventually([&] {
    return Exists(dir + L"started.txt") && !Exists(dir + L"delme.bat") &&
           !Exists(dir + L"VornisTools.old") && !Exists(dir + L"VornisTools2.exe");
  }));
  EXPECT_EQ(newBytes, ReadAll(exe));
}

TEST(ReplaceExecutable, AFailedStepLeavesTheExecutableInPlace) {
  {
    SCOPED_TRACE("no downloaded copy");
    std::wstring dir = InstallFolder(L"no copy");
    std::string oldBytes = ReadAll(dir + L"VornisTools.exe");
    DeleteFileW((dir + L"VornisTools2.exe").c_str());
    EXPECT_THROW(ReplaceExecutable(dir + L"VornisTools.exe"), Exception);
    EXPECT_EQ(oldBytes, ReadAll(dir + L"VornisTools.exe"));
    EXPECT_FALSE(Exists(dir + L"VornisTools.old"));
    EXPECT_FALSE(Exists(dir + L"delme.bat"));
  }
  {
    SCOPED_TRACE("batch file cannot be created");
    std::wstring dir = InstallFolder(L"batch blocked");
    std::string oldBytes = ReadAll(dir + L"VornisTools.exe");
    CreateDirectoryW((dir + L"delme.bat").c_str(), nullptr);
    EXPECT_THROW(ReplaceExecutable(dir + L"VornisTools.exe"), Exception);
    EXPECT_EQ(oldBytes, ReadAll(dir + L"VornisTools.exe"));
    EXPECT_FALSE(Exists(dir + L"VornisTools.old"));
    EXPECT_TRUE(Exists(dir + L"VornisTools2.exe"));
  }
  {
    SCOPED_TRACE("a file name the batch cannot name");
    std::wstring dir = InstallFolder(L"unnamable");
    std::wstring exe = dir + L"Vornis\U0001F600.exe";
    MoveFileW((dir + L"VornisTools.exe").c_str(), exe.c_str());
    EXPECT_THROW(ReplaceExecutable(exe), Exception);
    EXPECT_TRUE(Exists(exe));
    EXPECT_FALSE(Exists(dir + L"Vornis\U0001F600.old"));
  }
}
