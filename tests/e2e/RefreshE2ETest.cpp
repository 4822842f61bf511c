// The archive refresh seen from outside: "更新 UI" against the demo publication fills the
// cache beside the executable with exactly the server's archives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Driver.h"
#include "TestHttpServer.h"
#include "ui/Application.h"

using namespace e2e;

#ifdef VORNIS_DEMO_SITE_DIR

namespace {

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string ConfigFor(const std::wstring& gamePath) {
  std::string path;
  for (wchar_t c : gamePath) path += static_cast<char>(c);  // the sandbox paths are ASCII
  return "[game]\r\ngamepath=" + path + "\r\n[updata]\r\nautoupdata=0\r\n[updataver]\r\nver=" +
         std::to_string(VORNIS_DEMO_VERSION) + "\r\n";
}

}  // namespace

TEST(RefreshE2E, UpdateFillsTheCacheWithTheServersArchives) {
  std::wstring site = WinPath(VORNIS_DEMO_SITE_DIR) + L"\\";
  testserver::TTestHttpServer server(site);
  TSandbox box("RefreshFillsCache");
  box.WriteFile(L"Config.ini", ConfigFor(box.MakeGame()));
  TProcess manager = TProcess::Start(box.ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  ASSERT_TRUE(server.WaitForRequests("/UPdate.ini", 1, 10s));
  EXPECT_TRUE(
      WaitUntil([&] { return box.ReadFile(L"UPdate.ini") == ReadAll(site + L"UPdate.ini"); }, 10s));

  Click(FindButton(main, L"更新 UI"));
  HWND list = MainControl(main, L"ListView1");
  ASSERT_TRUE(WaitUntil([&] { return ReadList(list).size() == 7; }, 20s));

  std::vector<std::wstring> archives;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(site + L"zip")))
    archives.push_back(entry.path().filename().wstring());
  ASSERT_EQ(7u, archives.size());
  for (const std::wstring& name : archives) {
    std::string expected = ReadAll(site + L"zip\\" + name);
    EXPECT_TRUE(WaitUntil([&] { return box.ReadFile(L"zip\\" + name) == expected; }, 30s))
        << "archive differs: " << std::string(name.begin(), name.end());
  }
  // Nothing is installed in the fresh game folder.
  for (const TListRow& row : ReadList(list)) EXPECT_EQ(L"未安裝", row.SubItems[0]);
  EXPECT_EQ(L"狀態", ColumnCaption(list, 1));
  EXPECT_EQ(L"7", Text(MainControl(main, L"Label10")));
  EXPECT_EQ(L"0", Text(MainControl(main, L"Label12")));
  EXPECT_EQ(L"7", Text(MainControl(main, L"Label14")));
}

TEST(RefreshE2E, AFailedTransferKeepsTheCachedArchive) {
  std::wstring site = WinPath(VORNIS_DEMO_SITE_DIR) + L"\\";
  testserver::TTestHttpServer server(site);
  TSandbox box("RefreshKeepsCache");
  box.WriteFile(L"Config.ini", ConfigFor(box.MakeGame()));
  std::string good = ReadAll(site + L"zip\\MapPlus.zip");
  box.WriteFile(L"zip\\MapPlus.zip", good);
  box.WriteFile(L"zip\\BagSort.zip", "old but kept");
  testserver::TFault reset;
  reset.ResetAfterBytes = 100;
  server.SetFault("/zip/MapPlus.zip", reset);
  testserver::TFault missing;
  missing.Status = 404;
  server.SetFault("/zip/BagSort.zip", missing);

  TProcess manager = TProcess::Start(box.ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  Click(FindButton(main, L"更新 UI"));
  ASSERT_TRUE(server.WaitForRequests("/zip/BagSort.zip", 1, 20s));
  ASSERT_TRUE(server.WaitForRequests("/zip/MapPlus.zip", 1, 20s));
  std::string chat = ReadAll(site + L"zip\\ChatTabs.zip");
  EXPECT_TRUE(WaitUntil([&] { return box.ReadFile(L"zip\\ChatTabs.zip") == chat; }, 30s));
  Sleep(1000);
  EXPECT_EQ(good, box.ReadFile(L"zip\\MapPlus.zip"));
  EXPECT_EQ("old but kept", box.ReadFile(L"zip\\BagSort.zip"));
}

// Compressed answers land decoded and still checked, a folder with characters that
// mean something in a URL is fetched from its own address, and a refresh with a failed
// archive ends saying so.
TEST(RefreshE2E, CompressedEscapedAndFailedArchives) {
  std::wstring site = WinPath(VORNIS_DEMO_SITE_DIR) + L"\\";
  testserver::TTestHttpServer server(site);
  TSandbox box("RefreshCompressed");
  box.WriteFile(L"Config.ini", ConfigFor(box.MakeGame()));
  std::string zip = ReadAll(site + L"zip\\MapPlus.zip");
  const std::string folders[] = {"gz",   "gzNoLength", "deflate", "a#b %41\xE4\xB8\xAD",
                                 "gone", "notZip"};
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plug>";
  for (const std::string& folder : folders) {
    xml += "<Item plugName=\"" + folder + "\" plugid=\"1\" plugfolder=\"" + folder +
           "\" plugdescribe=\"\" plugauthor=\"\"/>";
    server.SetBody("/zip/" + folder + ".zip", folder == "notZip" ? std::string(5000, 'x') : zip);
  }
  server.SetBody("/Data.xml", xml + "</plug>", "text/xml");
  server.SetFault("/UPdate.ini", {.Encoding = "gzip"});
  server.SetFault("/zip/gz.zip", {.Encoding = "gzip"});
  server.SetFault("/zip/gzNoLength.zip", {.NoContentLength = true, .Encoding = "gzip"});
  server.SetFault("/zip/deflate.zip", {.Encoding = "deflate"});
  server.SetFault("/zip/gone.zip", {.Status = 404});
  server.SetFault("/zip/notZip.zip", {.Encoding = "gzip"});

  TProcess manager = TProcess::Start(box.ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  ASSERT_TRUE(main);
  EXPECT_TRUE(
      WaitUntil([&] { return box.ReadFile(L"UPdate.ini") == ReadAll(site + L"UPdate.ini"); }, 10s));
  Click(FindButton(main, L"更新 UI"));
  EXPECT_TRUE(WaitUntil(
      [&] { return Text(MainControl(main, L"Label6")) == L"更新結束, 2 個UI更新失敗"; }, 30s))
      << ui::Narrow(Text(MainControl(main, L"Label6")));
  for (const wchar_t* name : {L"gz", L"gzNoLength", L"deflate", L"a#b %41中"})
    EXPECT_TRUE(zip == box.ReadFile(L"zip\\" + std::wstring(name) + L".zip")) << ui::Narrow(name);
  EXPECT_FALSE(box.Exists(L"zip\\gone.zip"));
  EXPECT_FALSE(box.Exists(L"zip\\notZip.zip"));
}

#endif
