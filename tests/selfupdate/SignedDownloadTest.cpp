// The signature check of the self-update's downloads against the test HTTP server, which
// serves each signature beside its file: only the publisher's signature of the very
// bytes passes, and a signature file of the wrong length is refused by the check itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "TestHttpServer.h"
#include "TestSigner.h"
#include "selfupdate/SignedDownload.h"
#include "signing/Signature.h"

namespace {

namespace fs = std::filesystem;

TEST(SignatureCheck, OnlyASignatureOfSixtyFourBytesCanPass) {
  if (!signing::Verifies()) GTEST_SKIP() << "this build verifies nothing";
  testserver::TTestHttpServer server(std::wstring(), 0);
  const std::string content = "[updataver]\r\nver=12\r\n";
  server.SetBody("/UPdate.ini", content);
  std::optional<std::string> good = testserver::SignForTests(content);
  ASSERT_TRUE(good);
  ASSERT_EQ(signing::kSignatureSize, good->size());
  fs::path file = fs::temp_directory_path() /
                  ("vornis-signature-" + std::to_string(GetCurrentProcessId()) + ".ini");
  std::ofstream(file, std::ios::binary) << content;

  struct TCase {
    const char* Name;
    std::string Signature;
  } cases[] = {
      {"empty", ""},
      {"an error page", "<html><body><h1>Not Found</h1></body></html>\n"},
      {"65 bytes: the signature and one more", *good + "\n"},
      {"63 bytes", good->substr(0, 63)},
  };
  // The judgement of the copy put in place just before the swap, by handle.
  auto matches = [&](selfupdate::TSignatureCheck& check) {
    HANDLE copy = CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    bool same = check.Matches(copy);
    CloseHandle(copy);
    return same;
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    server.SetBody("/UPdate.ini.sig", c.Signature);
    selfupdate::TSignatureCheck check(server.Url("/UPdate.ini"));
    EXPECT_FALSE(check.Accept(file.wstring()));
    EXPECT_FALSE(check.Refusal().empty());
    EXPECT_FALSE(matches(check));  // nothing was accepted to check against
  }

  // The server's own signature of these bytes passes, before and after.
  server.RemoveBody("/UPdate.ini.sig");
  selfupdate::TSignatureCheck check(server.Url("/UPdate.ini"));
  EXPECT_TRUE(check.Accept(file.wstring())) << check.Refusal();
  EXPECT_TRUE(matches(check));
  fs::remove(file);
}

}  // namespace
