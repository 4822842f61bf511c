// The INI conversion rules, the path compositions and the INI file itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/Exception.h"
#include "config/IniFile.h"
#include "config/Paths.h"

using namespace config;

TEST(IniInteger, DecimalHexadecimalAndFailures) {
  struct TCase {
    const wchar_t* Text;
    bool Ok;
    int Value;
  } cases[] = {
      {L"26", true, 26},
      {L"0x1A", true, 26},
      {L"0X1a", true, 26},
      {L"$1A", true, 26},
      {L"-5", true, -5},
      {L"  7", true, 7},
      {L"abc", false, 0},
      {L"", false, 0},
      {L"0x", false, 0},
      {L"$", false, 0},
      {L"12abc", false, 0},
      {L"7 ", false, 0},
      {L"2147483647", true, 2147483647},
      {L"2147483648", false, 0},
      {L"-2147483648", true, -2147483647 - 1},
      {L"$FFFFFFFF", true, -1},
      {L"$100000000", false, 0},
      {L"99999999999999999999", false, 0},
  };
  for (const TCase& c : cases) {
    int value = 12345;
    EXPECT_EQ(c.Ok, TryStrToInt(c.Text, value)) << static_cast<const void*>(c.Text);
    if (c.Ok) {
      EXPECT_EQ(c.Value, value);
    }
  }
}

TEST(Paths, GameRelativeCompositions) {
  EXPECT_EQ(L"C:\\Client\\bin\\..\\data\\Mods\\", InstallRoot(L"C:\\Client\\bin\\VNgame.exe"));
  EXPECT_EQ(L"C:\\Client\\bin\\..\\data\\Mods\\Addons\\MyAddon",
            AddonFolderPath(L"C:\\Client\\bin\\VNgame.exe", L"  MyAddon "));
  // No directory part: the add-ons are looked for under the current drive's root.
  EXPECT_EQ(L"\\..\\data\\Mods\\Addons\\A", AddonFolderPath(L"VNgame.exe", L"A"));
  // A drive root keeps its separator.
  EXPECT_EQ(L"C:\\", GameDir(L"C:\\VNgame.exe"));
  EXPECT_EQ(L"C:\\a b", GameDir(L"C:\\a b\\VNgame.exe"));
  EXPECT_EQ(L"", Trim(L" \t "));
  EXPECT_FALSE(IsGamePathSet(L"   "));
  EXPECT_TRUE(IsGamePathSet(L" x "));
  EXPECT_EQ(L"\\\\?\\" + ExeDir() + L"zip\\A.zip", ArchiveCachePath(L" A "));
  EXPECT_EQ(L'\\', ExeDir().back());
}

TEST(IniFile, RoundTripKeepsTheFileAnsi) {
  std::wstring path = ExeDir() + L"ini_roundtrip.ini";
  DeleteFileW(path.c_str());
  TIniFile ini(path);
  EXPECT_EQ(L"dflt", ini.ReadString(L"game", L"gamepath", L"dflt"));
  EXPECT_EQ(9, ini.ReadInteger(L"updata", L"num", 9));
  EXPECT_TRUE(ini.ReadBool(L"updata", L"autoupdata", true));

  ini.WriteString(L"game", L"gamepath", L"C:\\遊戲\\VNgame.exe");
  ini.WriteBool(L"updata", L"autoupdata", false);
  ini.WriteInteger(L"updataver", L"ver", 26);
  EXPECT_EQ(L"C:\\遊戲\\VNgame.exe", ini.ReadString(L"game", L"gamepath", L""));
  EXPECT_FALSE(ini.ReadBool(L"updata", L"autoupdata", true));
  EXPECT_EQ(26, ini.ReadInteger(L"updataver", L"ver", 0));

  // On disk the Chinese path is in the ANSI code page (Big5 here), not UTF-16 or UTF-8.
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_NE(std::string::npos, bytes.str().find("gamepath=C:\\\xB9\x43\xC0\xB8\\VNgame.exe"));
  EXPECT_NE(std::string::npos, bytes.str().find("autoupdata=0"));
  DeleteFileW(path.c_str());
}

TEST(IniFile, LongValuesAreCutAt2047Characters) {
  std::wstring path = ExeDir() + L"ini_long.ini";
  DeleteFileW(path.c_str());
  TIniFile ini(path);
  ini.WriteString(L"game", L"gamepath", std::wstring(3000, L'x'));
  EXPECT_EQ(2047u, ini.ReadString(L"game", L"gamepath", L"").size());
  DeleteFileW(path.c_str());
}

TEST(IniFile, RefusedWriteNamesTheFile) {
  std::wstring path = ExeDir() + L"no-such-folder\\Config.ini";
  TIniFile ini(path);
  try {
    ini.WriteString(L"game", L"gamepath", L"x");
    FAIL() << "write into a missing folder succeeded";
  } catch (const Exception& error) {
    EXPECT_EQ(0u, error.Message().find("Unable to write to "));
    EXPECT_NE(std::string::npos, error.Message().find("no-such-folder\\Config.ini"));
  }
}
