// The test server's own checks, through a raw Winsock client, so that its faults are the
// faults the other tests think they inject.
#include "TestHttpServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "signing/Signature.h"

namespace {

using namespace std::chrono_literals;
using testserver::TFault;
using testserver::TTestHttpServer;

struct TReply {
  std::string Raw;  // everything received
  int Error = 0;    // WSA error that ended the read, 0 for an orderly close

  int Status() const { return Raw.size() > 12 ? std::atoi(Raw.c_str() + 9) : 0; }
  std::string Head() const { return Raw.substr(0, Raw.find("\r\n\r\n") + 2); }
  std::string Body() const {
    size_t end = Raw.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : Raw.substr(end + 4);
  }
  bool HasHeader(const std::string& line) const {
    return Head().find(line + "\r\n") != std::string::npos;
  }
};

class TClient {
 public:
  explicit TClient(unsigned short port) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    FSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    DWORD timeout = 60000;
    setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    FConnected = connect(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~TClient() {
    closesocket(FSocket);
    WSACleanup();
  }
  bool Connected() const { return FConnected; }

  void Send(const std::string& text) {
    send(FSocket, text.data(), static_cast<int>(text.size()), 0);
  }
  // Reads until the peer closes or resets, or until `bytes` have arrived.
  TReply Read(size_t bytes = SIZE_MAX) {
    TReply reply;
    while (reply.Raw.size() < bytes) {
      char chunk[8192];
      int received =
          recv(FSocket, chunk,
               static_cast<int>(std::min<size_t>(sizeof chunk, bytes - reply.Raw.size())), 0);
      if (received < 0) reply.Error = WSAGetLastError();
      if (received <= 0) break;
      reply.Raw.append(chunk, static_cast<size_t>(received));
    }
    return reply;
  }

 private:
  SOCKET FSocket = INVALID_SOCKET;
  bool FConnected = false;
};

std::string Get(const std::string& target, const std::string& extra = "Connection: close\r\n") {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

TReply Fetch(const TTestHttpServer& server, const std::string& request) {
  TClient client(server.Port());
  client.Send(request);
  return client.Read();
}

std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i * 7 % 26);
  return text;
}

class TestServer : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = std::filesystem::temp_directory_path() /
            ("vornis-testserver-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(FRoot / "zip");
    std::ofstream(FRoot / "zip" / "a.zip", std::ios::binary) << "from the folder";
    std::ofstream(FRoot / "UPdate.ini", std::ios::binary) << "[updataver]\r\nver=3\r\n";
    FServer = std::make_unique<TTestHttpServer>(FRoot.wstring(), 0);
  }
  void TearDown() override {
    FServer.reset();
    std::filesystem::remove_all(FRoot);
  }

  std::filesystem::path FRoot;
  std::unique_ptr<TTestHttpServer> FServer;
};

TEST_F(TestServer, ServesFolderAndMemoryBodiesAndRecordsRequests) {
  ASSERT_NE(0, FServer->Port());
  EXPECT_EQ(L"http://127.0.0.1:" + std::to_wstring(FServer->Port()) + L"/x", FServer->Url("/x"));

  TReply file = Fetch(*FServer, Get("/zip/a.zip"));
  EXPECT_EQ(200, file.Status());
  EXPECT_EQ("from the folder", file.Body());
  EXPECT_TRUE(file.HasHeader("Content-Length: 15"));
  EXPECT_TRUE(file.HasHeader("Content-Type: application/zip"));

  FServer->SetBody("/zip/a.zip", "from memory");
  EXPECT_EQ("from memory", Fetch(*FServer, Get("/zip/a.zip")).Body());
  FServer->RemoveBody("/zip/a.zip");
  EXPECT_EQ("from the folder", Fetch(*FServer, Get("/zip/a.zip")).Body());

  TReply missing = Fetch(*FServer, Get("/zip/none.zip"));
  EXPECT_EQ(404, missing.Status());
  EXPECT_NE(std::string::npos, missing.Body().find("Not Found"));
  EXPECT_EQ(404, Fetch(*FServer, Get("/../UPdate.ini")).Status());

  TReply head = Fetch(*FServer, "HEAD /UPdate.ini HTTP/1.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(200, head.Status());
  EXPECT_TRUE(head.HasHeader("Content-Length: 20"));
  EXPECT_EQ("", head.Body());

  // Paths are recorded percent-decoded and without the query.
  Fetch(*FServer, Get("/zip/%E4%B8%AD.zip?x=1", "Connection: close\r\nX-Probe: yes\r\n"));
  std::vector<testserver::TRequest> requests = FServer->Requests();
  ASSERT_EQ(7u, requests.size());
  EXPECT_EQ("/zip/\xE4\xB8\xAD.zip", requests.back().Path);
  EXPECT_EQ("/zip/%E4%B8%AD.zip?x=1", requests.back().Target);
  EXPECT_EQ("yes", requests.back().Header("x-probe"));
  EXPECT_EQ("HEAD", requests[5].Method);
  EXPECT_EQ(3, FServer->RequestCount("/zip/a.zip"));
  FServer->ClearRequests();
  EXPECT_EQ(0, FServer->RequestCount("/zip/a.zip"));
}

// Signatures nobody stored are made for the content served at that moment, so a body
// changed after signing no longer matches the signature fetched before.
TEST_F(TestServer, SignsWhatItServes) {
  if (!signing::Verifies()) GTEST_SKIP() << "this build carries no publisher key";
  auto verifies = [&](const std::string& path, const std::string& body) {
    std::string signature = Fetch(*FServer, Get(path + ".sig")).Body();
    return signing::VerifySignature(
        signing::PublisherKeys(), {reinterpret_cast<const std::uint8_t*>(body.data()), body.size()},
        {reinterpret_cast<const std::uint8_t*>(signature.data()), signature.size()});
  };
  EXPECT_TRUE(verifies("/UPdate.ini", "[updataver]\r\nver=3\r\n"));
  std::string before = Fetch(*FServer, Get("/UPdate.ini.sig")).Body();
  FServer->SetBody("/UPdate.ini", "[updataver]\r\nver=4\r\n");
  EXPECT_TRUE(verifies("/UPdate.ini", "[updataver]\r\nver=4\r\n"));
  EXPECT_NE(before, Fetch(*FServer, Get("/UPdate.ini.sig")).Body());
  EXPECT_EQ(404, Fetch(*FServer, Get("/none.ini.sig")).Status());
}

TEST_F(TestServer, KeepsConnectionsAliveAndAnswersConditionalRequests) {
  FServer->SetBody("/Data.xml", "<plug/>", "text/xml");
  TClient client(FServer->Port());
  client.Send(Get("/Data.xml", ""));
  TReply first;  // the connection stays open: read exactly the head and the 7 body bytes
  while (first.Raw.find("\r\n\r\n") == std::string::npos || first.Body().size() < 7) {
    TReply more = client.Read(1);
    if (more.Raw.empty()) break;
    first.Raw += more.Raw;
  }
  EXPECT_EQ(200, first.Status());
  EXPECT_TRUE(first.HasHeader("Connection: keep-alive"));
  std::string tag = first.Head().substr(first.Head().find("ETag: ") + 6);
  tag = tag.substr(0, tag.find("\r\n"));

  client.Send(Get("/Data.xml", "If-None-Match: " + tag + "\r\nConnection: close\r\n"));
  TReply second = client.Read();
  EXPECT_EQ(304, second.Status());
  EXPECT_EQ("", second.Body());
  EXPECT_EQ(2, FServer->RequestCount("/Data.xml"));

  std::string date = first.Head().substr(first.Head().find("Last-Modified: ") + 15);
  date = date.substr(0, date.find("\r\n"));
  auto conditional = [&](const std::string& headers) {
    return Fetch(*FServer, Get("/Data.xml", headers + "Connection: close\r\n")).Status();
  };
  EXPECT_EQ(304, conditional("If-Modified-Since: " + date + "\r\n"));
  // If-None-Match decides over the date; the log notes each answer's status.
  EXPECT_EQ(200, conditional("If-None-Match: \"other\"\r\nIf-Modified-Since: " + date + "\r\n"));
  EXPECT_EQ(304, FServer->Requests()[2].Status);
  EXPECT_EQ(200, FServer->Requests()[3].Status);

  // A new body is a new version: the old tag and date no longer match.
  FServer->SetBody("/Data.xml", "<plug><Item/></plug>", "text/xml");
  EXPECT_EQ(200, conditional("If-None-Match: " + tag + "\r\n"));
  EXPECT_EQ(200, conditional("If-Modified-Since: " + date + "\r\n"));
  // A server without validators answers in full.
  FServer->SetFault("/Data.xml", TFault{.NoValidators = true});
  TReply plain = Fetch(*FServer, Get("/Data.xml", "Connection: close\r\n"));
  EXPECT_EQ(std::string::npos, plain.Head().find("ETag"));
  EXPECT_EQ(std::string::npos, plain.Head().find("Last-Modified"));
}

TEST_F(TestServer, FaultsBreakTheAnswerAsDescribed) {
  std::string body = Pattern(100000);
  FServer->SetBody("/big", body);

  FServer->SetFault("/big", TFault{.Status = 500});
  TReply error = Fetch(*FServer, Get("/big"));
  EXPECT_EQ(500, error.Status());
  EXPECT_NE(std::string::npos, error.Body().find("Internal Server Error"));

  FServer->SetFault("/big", TFault{.NoContentLength = true});
  TReply unsized = Fetch(*FServer, Get("/big", ""));  // ends by close even when keep-alive is asked
  EXPECT_EQ(std::string::npos, unsized.Head().find("Content-Length"));
  EXPECT_TRUE(unsized.HasHeader("Connection: close"));
  EXPECT_EQ(body, unsized.Body());

  FServer->SetFault("/big", TFault{.AnnouncedLength = 200000});
  TReply shortBody = Fetch(*FServer, Get("/big"));
  EXPECT_TRUE(shortBody.HasHeader("Content-Length: 200000"));
  EXPECT_EQ(body, shortBody.Body());

  FServer->SetFault("/big", TFault{.AnnouncedLength = 10});
  TReply longBody = Fetch(*FServer, Get("/big"));
  EXPECT_TRUE(longBody.HasHeader("Content-Length: 10"));
  EXPECT_EQ(body, longBody.Body());

  FServer->SetFault("/big", TFault{.ResetAfterBytes = 50000});
  TReply reset = Fetch(*FServer, Get("/big"));
  EXPECT_TRUE(reset.HasHeader("Content-Length: 100000"));
  EXPECT_EQ(body.substr(0, 50000), reset.Body());
  // Windows reports the reset; a Wine 8 client sees it as an orderly close after the
  // data (measured, also against a host server that sends a real RST).
  EXPECT_TRUE(reset.Error == WSAECONNRESET || reset.Error == 0) << reset.Error;

  // A fault with a count goes away after that many requests.
  FServer->SetFault("/big", TFault{.Status = 404, .Times = 2});
  EXPECT_EQ(404, Fetch(*FServer, Get("/big")).Status());
  EXPECT_EQ(404, Fetch(*FServer, Get("/big")).Status());
  EXPECT_EQ(200, Fetch(*FServer, Get("/big")).Status());

  FServer->SetFault("/big", TFault{.Status = 503});
  FServer->ClearFaults();
  EXPECT_EQ(200, Fetch(*FServer, Get("/big")).Status());
}

TEST_F(TestServer, StallHoldsTheBodyUntilReleased) {
  std::string body = Pattern(30000);
  FServer->SetBody("/slow", body);
  FServer->SetFault("/slow", TFault{.StallAfterBytes = 1004});
  TClient client(FServer->Port());
  client.Send(Get("/slow"));
  ASSERT_TRUE(FServer->WaitForStalls(1, 30s));
  TReply reply;
  while (reply.Raw.find("\r\n\r\n") == std::string::npos || reply.Body().size() < 1004) {
    TReply more = client.Read(1);
    if (more.Raw.empty()) break;
    reply.Raw += more.Raw;
  }
  EXPECT_EQ(body.substr(0, 1004), reply.Body());
  EXPECT_EQ(1, FServer->StalledCount());

  FServer->ReleaseStalls();
  reply.Raw += client.Read().Raw;
  EXPECT_EQ(body, reply.Body());
  EXPECT_EQ(0, FServer->StalledCount());
}

TEST_F(TestServer, StopsWhileConnectionsStallOrWait) {
  FServer->SetBody("/stall", Pattern(5000));
  FServer->SetFault("/stall", TFault{.StallAfterBytes = 0});
  FServer->SetBody("/late", "x");
  FServer->SetFault("/late", TFault{.Delay = 10min});
  TClient stalled(FServer->Port());
  stalled.Send(Get("/stall"));
  TClient waiting(FServer->Port());
  waiting.Send(Get("/late"));
  ASSERT_TRUE(FServer->WaitForStalls(1, 30s));
  ASSERT_TRUE(FServer->WaitForRequests("/late", 1, 30s));
  FServer.reset();  // returns instead of waiting ten minutes
  EXPECT_EQ("", waiting.Read().Raw);
}

TEST(TestServerPort, RebindsAPortJustReleasedAndRefusesOneInUse) {
  unsigned short port;
  {
    TTestHttpServer first({}, 0);
    port = first.Port();
    first.SetBody("/x", "1");
    EXPECT_EQ("1", Fetch(first, Get("/x")).Body());
    EXPECT_THROW(TTestHttpServer({}, port), std::runtime_error);
  }
  TTestHttpServer second({}, port);
  second.SetBody("/x", "2");
  EXPECT_EQ("2", Fetch(second, Get("/x")).Body());
}

TEST(TestServerLoad, AnswersTwoHundredParallelClients) {
  TTestHttpServer server({}, 0);
  std::string body = Pattern(200000);
  for (int i = 0; i < 200; ++i) server.SetBody("/zip/" + std::to_string(i) + ".zip", body);
  std::atomic<int> complete{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < 200; ++i) {
    clients.emplace_back([&, i] {
      if (Fetch(server, Get("/zip/" + std::to_string(i) + ".zip")).Body() == body) ++complete;
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(200, complete.load());
  EXPECT_EQ(200u, server.Requests().size());
}

}  // namespace
