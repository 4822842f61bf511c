// TFileDownLoadThread against the test HTTP server on 127.0.0.1, in process under Wine:
// the notifications arrive on this (window) thread while it pumps messages.
#include "download/DownLoadMonitor.h"
#include "download/FileDownLoadThread.h"
#include "download/Transfers.h"
#include "download/UrlPath.h"
#include "download/WorkerPool.h"
#include "ui/Application.h"
#include "ui/LongPath.h"

#include "ImportShim.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;
using download::TFileDownLoadThread;
using testserver::TFault;
using testserver::TTestHttpServer;
namespace fs = std::filesystem;

std::string Pattern(size_t size, int seed = 0) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i)
    text[i] = static_cast<char>((i * 31 + seed * 7 + i / 251) & 0xff);
  return text;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Pumps this thread's messages until `done` holds; false after a minute (a hang, not a
// measurement).
template <typename TPredicate>
bool PumpUntil(TPredicate done) {
  auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    ui::Application().ProcessMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// What the window saw of the downloads, recorded on the window thread only.
struct TRecorder {
  struct TProgress {
    TFileDownLoadThread* Sender;
    uint32_t Progress;
    uint32_t ProgressMax;
  };
  std::vector<TProgress> ProgressReports;
  std::vector<TFileDownLoadThread*> Completed;
  std::vector<std::pair<TFileDownLoadThread*, HRESULT>> Failed;  // senders: compare only
  std::vector<DWORD> FailedStatus;
  int OffWindowThread = 0;
  std::function<void(TFileDownLoadThread*)> DuringProgress;

  download::TDownloadProgressEvent OnProgress() {
    return [this](TFileDownLoadThread* sender, uint32_t progress, uint32_t progressMax) {
      if (!ui::Application().IsWindowThread()) ++OffWindowThread;
      ProgressReports.push_back({sender, progress, progressMax});
      if (DuringProgress) DuringProgress(sender);
    };
  }
  download::TDownloadNotifyEvent OnComplete() {
    return [this](TFileDownLoadThread* sender) {
      if (!ui::Application().IsWindowThread()) ++OffWindowThread;
      Completed.push_back(sender);
    };
  }
  download::TDownloadErrorEvent OnError() {
    return [this](TFileDownLoadThread* sender, HRESULT error) {
      if (!ui::Application().IsWindowThread()) ++OffWindowThread;
      Failed.emplace_back(sender, error);
      FailedStatus.push_back(sender->HttpStatus());
    };
  }
  size_t Finals() const { return Completed.size() + Failed.size(); }
};

class FileDownLoadThread : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool initialized = false;
    if (!initialized) ui::Application().Initialize(GetModuleHandleW(nullptr));
    initialized = true;
  }

  void SetUp() override {
    FFolder = fs::temp_directory_path() /
              ("vornis-download-" + std::to_string(GetCurrentProcessId()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FFolder);
    fs::create_directories(FFolder);
    FServer = std::make_unique<TTestHttpServer>(std::wstring(), 0);
  }

  void TearDown() override {
    FServer.reset();
    fs::remove_all(FFolder);
  }

  // Starts a download with all three notifications of FRecorder.
  std::weak_ptr<TFileDownLoadThread> Start(const std::string& path, const fs::path& target,
                                           download::TContentCheck check = nullptr) {
    return TFileDownLoadThread::Create(FServer->Url(path), target.wstring(), FRecorder.OnProgress(),
                                       FRecorder.OnComplete(), FRecorder.OnError(), false,
                                       std::move(check));
  }

  // Files left in the folder other than the targets: temporary files must not survive.
  std::vector<std::string> Leftovers(const std::vector<std::string>& targets) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(FFolder)) {
      std::string name = entry.path().filename().string();
      if (std::find(targets.begin(), targets.end(), name) == targets.end()) names.push_back(name);
    }
    return names;
  }

  fs::path FFolder;
  std::unique_ptr<TTestHttpServer> FServer;
  TRecorder FRecorder;
};

TEST_F(FileDownLoadThread, TransfersWithProgressReplacesTheFileAndReleasesItself) {
  std::string body = Pattern(300000);
  FServer->SetBody("/zip/a.zip", body);
  WriteFile(FFolder / "a.zip", "old archive");

  std::weak_ptr<TFileDownLoadThread> thread = Start("/zip/a.zip", FFolder / "a.zip");
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1 && thread.expired(); }));

  ASSERT_EQ(1u, FRecorder.Completed.size());
  EXPECT_TRUE(FRecorder.Failed.empty());
  EXPECT_EQ(0, FRecorder.OffWindowThread);
  EXPECT_EQ(body, ReadFile(FFolder / "a.zip"));
  EXPECT_TRUE(Leftovers({"a.zip"}).empty());
  ASSERT_FALSE(FRecorder.ProgressReports.empty());
  for (const auto& report : FRecorder.ProgressReports)
    EXPECT_EQ(FRecorder.Completed[0], report.Sender);
  EXPECT_EQ(body.size(), FRecorder.ProgressReports.back().Progress);
  EXPECT_EQ(body.size(), FRecorder.ProgressReports.back().ProgressMax);

  // The request asks every cache on the way to revalidate.
  ASSERT_EQ(1, FServer->RequestCount("/zip/a.zip"));
  EXPECT_EQ("no-cache", FServer->Requests()[0].Header("Cache-Control"));
}

TEST_F(FileDownLoadThread, RevalidationKeepsTheFileWhenNotModified) {
  FServer->SetBody("/zip/a.zip", Pattern(50000));
  download::TValidators held;  // worker writes it before the final notification
  std::vector<bool> landed;
  download::TRevalidation revalidation{
      [&](const std::wstring&) { return held; },
      [&](const std::wstring&, const download::TValidators& response, bool replaced) {
        held = response;
        landed.push_back(replaced);
      }};
  std::vector<bool> notModified;
  auto fetch = [&] {
    size_t finals = notModified.size() + FRecorder.Failed.size() + 1;
    TFileDownLoadThread::Create(
        FServer->Url("/zip/a.zip"), (FFolder / "a.zip").wstring(), FRecorder.OnProgress(),
        [&](TFileDownLoadThread* sender) { notModified.push_back(sender->NotModified()); },
        FRecorder.OnError(), false, nullptr, revalidation);
    return PumpUntil([&] { return notModified.size() + FRecorder.Failed.size() == finals; });
  };
  ASSERT_TRUE(fetch());
  EXPECT_FALSE(held.ETag.empty() || held.LastModified.empty());
  WriteFile(FFolder / "a.zip", "the copy we hold");  // a 304 must keep exactly this
  ASSERT_TRUE(fetch());
  FServer->SetBody("/zip/a.zip", Pattern(60000, 1));
  ASSERT_TRUE(fetch());

  EXPECT_EQ((std::vector<bool>{true, false, true}), landed);
  EXPECT_EQ((std::vector<bool>{false, true, false}), notModified);
  EXPECT_TRUE(FRecorder.Failed.empty());
  auto requests = FServer->Requests();
  ASSERT_EQ(3u, requests.size());
  EXPECT_EQ(304, requests[1].Status);
  EXPECT_FALSE(requests[1].Header("If-None-Match").empty());
  EXPECT_EQ(200, requests[2].Status);
  EXPECT_EQ(Pattern(60000, 1), ReadFile(FFolder / "a.zip"));
}

// A revalidation that the server answers otherwise than 304: a cut body or a stop keeps
// the copy held, a compressed body arrives decoded, and an answer asking for credentials
// is asked again through the service.
TEST_F(FileDownLoadThread, RevalidationFailuresKeepTheHeldCopy) {
  auto held = [](const std::wstring&) { return download::TValidators{L"\"old\"", L""}; };
  auto start = [&](const std::string& name) {
    WriteFile(FFolder / name, "the copy we hold");
    FRecorder = TRecorder();
    TFileDownLoadThread::Create(FServer->Url("/zip/" + name), (FFolder / name).wstring(),
                                FRecorder.OnProgress(), FRecorder.OnComplete(), FRecorder.OnError(),
                                false, nullptr, {held, nullptr});
  };
  FServer->SetBody("/zip/cut.zip", Pattern(300000));
  FServer->SetFault("/zip/cut.zip", TFault{.ResetAfterBytes = 100000});
  start("cut.zip");
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  EXPECT_EQ(1u, FRecorder.Failed.size());
  EXPECT_EQ("the copy we hold", ReadFile(FFolder / "cut.zip"));

  FServer->SetBody("/zip/stop.zip", Pattern(2000000));
  FServer->SetFault("/zip/stop.zip", TFault{.StallAfterBytes = 100000});
  start("stop.zip");
  FRecorder.DuringProgress = [](TFileDownLoadThread* sender) {
    if (sender->Progress() > 0) sender->Terminate();
  };
  ASSERT_TRUE(FServer->WaitForStalls(1, 60s));
  ASSERT_TRUE(PumpUntil([&] { return !FRecorder.ProgressReports.empty(); }));
  FServer->ReleaseStalls();
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  ASSERT_EQ(1u, FRecorder.Failed.size());
  EXPECT_EQ(E_ABORT, FRecorder.Failed[0].second);
  EXPECT_EQ("the copy we hold", ReadFile(FFolder / "stop.zip"));

  FServer->SetBody("/zip/packed.zip", Pattern(300000));
  FServer->SetFault("/zip/packed.zip", TFault{.Encoding = "gzip"});
  start("packed.zip");
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  EXPECT_EQ(1u, FRecorder.Completed.size());
  EXPECT_EQ(Pattern(300000), ReadFile(FFolder / "packed.zip"));

  FServer->SetBody("/zip/login.zip", Pattern(1000));
  FServer->SetFault("/zip/login.zip", TFault{.Status = 403, .Times = 1});
  start("login.zip");
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  EXPECT_EQ(1u, FRecorder.Completed.size());
  EXPECT_EQ(Pattern(1000), ReadFile(FFolder / "login.zip"));
  EXPECT_EQ(2, FServer->RequestCount("/zip/login.zip"));
  ASSERT_FALSE(FRecorder.ProgressReports.empty());
  EXPECT_EQ(1000u, FRecorder.ProgressReports.back().Progress);
  EXPECT_TRUE(Leftovers({"cut.zip", "stop.zip", "packed.zip", "login.zip"}).empty());
}

TEST_F(FileDownLoadThread, UnknownLengthReportsMaximumZero) {
  std::string body = Pattern(70000);
  FServer->SetBody("/UPdate.ini", body);
  FServer->SetFault("/UPdate.ini", TFault{.NoContentLength = true});

  Start("/UPdate.ini", FFolder / "UPdate.ini");
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  ASSERT_EQ(1u, FRecorder.Completed.size());
  EXPECT_EQ(body, ReadFile(FFolder / "UPdate.ini"));
  ASSERT_FALSE(FRecorder.ProgressReports.empty());
  for (const auto& report : FRecorder.ProgressReports) EXPECT_EQ(0u, report.ProgressMax);
}

// URLDownloadToFile reports success for these; the error page must not become the file.
TEST_F(FileDownLoadThread, HttpErrorFailsAndLeavesTheTargetAsItWas) {
  struct TCase {
    int Status;
    bool OldFile;
    HRESULT Expected;
  } cases[] = {
      {404, true, download::kErrorNotFound},
      {404, false, download::kErrorNotFound},
      {500, true, download::kErrorHttpStatus},
  };
  int index = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "status " << c.Status << ", old file " << c.OldFile);
    std::string name = "t" + std::to_string(index++) + ".zip";
    if (c.OldFile) WriteFile(FFolder / name, "good old archive");
    FServer->SetBody("/zip/" + name, Pattern(5000));
    FServer->SetFault("/zip/" + name, TFault{.Status = c.Status});
    FRecorder = TRecorder();

    Start("/zip/" + name, FFolder / name);
    ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
    ASSERT_EQ(1u, FRecorder.Failed.size());
    EXPECT_EQ(c.Expected, FRecorder.Failed[0].second);
    EXPECT_EQ(static_cast<DWORD>(c.Status), FRecorder.FailedStatus[0]);
    if (c.OldFile) {
      EXPECT_EQ("good old archive", ReadFile(FFolder / name));
    } else {
      EXPECT_FALSE(fs::exists(FFolder / name));
    }
  }
  EXPECT_EQ(2u, Leftovers({}).size());  // only the two old archives
}

// A body that ends early, by a reset or by a close short of the announced length, or
// that the caller's content check refuses, never replaces the cached archive.
TEST_F(FileDownLoadThread, CutOffOrRefusedBodyKeepsTheOldArchive) {
  struct TCase {
    const char* Name;
    TFault Fault;
    bool Refuse;
  } cases[] = {
      {"reset", TFault{.ResetAfterBytes = 50000}, false},
      {"short", TFault{.AnnouncedLength = 150000}, false},
      {"refused", TFault{}, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string name = std::string(c.Name) + ".zip";
    WriteFile(FFolder / name, "good old archive");
    FServer->SetBody("/zip/" + name, Pattern(100000));
    FServer->SetFault("/zip/" + name, c.Fault);
    FRecorder = TRecorder();
    std::wstring checked;
    auto check = [&checked, refuse = c.Refuse](const std::wstring& path, bool) {
      checked = path;
      return !refuse;
    };

    Start("/zip/" + name, FFolder / name, check);
    ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
    ASSERT_EQ(1u, FRecorder.Failed.size());
    EXPECT_NE(S_OK, FRecorder.Failed[0].second);
    if (c.Refuse) {
      EXPECT_EQ(download::kErrorRejected, FRecorder.Failed[0].second);
      EXPECT_EQ(FFolder.wstring(), ui::PlainPath(fs::path(checked).parent_path().wstring()));
    }
    EXPECT_EQ("good old archive", ReadFile(FFolder / name));
  }
  EXPECT_EQ(3u, Leftovers({}).size());

  // The same check accepting lets the complete file in.
  FServer->ClearFaults();
  FRecorder = TRecorder();
  Start("/zip/refused.zip", FFolder / "refused.zip",
        [](const std::wstring&, bool) { return true; });
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  EXPECT_EQ(1u, FRecorder.Completed.size());
  EXPECT_EQ(Pattern(100000), ReadFile(FFolder / "refused.zip"));
}

// A target name of the longest cacheable archive still has room for its temporary file,
// which the sweep of stale ones recognises.
TEST_F(FileDownLoadThread, LongestTargetNameDownloads) {
  std::string name = std::string(251, 'n') + ".zip";
  FServer->SetBody("/long.zip", Pattern(1000));
  Start("/long.zip", FFolder / name);
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  EXPECT_EQ(1u, FRecorder.Completed.size());
  EXPECT_EQ(Pattern(1000), ReadFile(FFolder / name));
  std::wstring part = download::PartFilePath((FFolder / name).wstring(), 4000000000, 12);
  EXPECT_EQ(255u, part.size() - part.find_last_of(L'\\') - 1);
  EXPECT_TRUE(download::IsPartFileName(part.substr(part.find_last_of(L'\\') + 1)));
}

// A target whose temporary file passes 260 characters lands where Windows refuses plain
// paths that long.
TEST_F(FileDownLoadThread, TargetInADeepFolderDownloads) {
  TWindowsPathLimits limits;
  fs::path folder = FFolder;
  while (folder.wstring().size() < 200) folder /= "dddddddddd";
  fs::create_directories(folder);
  fs::path target = folder / (std::string(250 - folder.string().size(), 'n') + ".zip");
  FServer->SetBody("/deep.zip", Pattern(1000));
  Start("/deep.zip", target);
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  EXPECT_EQ(1u, FRecorder.Completed.size());
  EXPECT_EQ(Pattern(1000), ReadFile(target));
}

TEST_F(FileDownLoadThread, StalledServerLeavesTheWindowAnswering) {
  std::string body = Pattern(100000);
  FServer->SetBody("/VornisTools.exe", body);
  FServer->SetFault("/VornisTools.exe", TFault{.StallAfterBytes = 1004});
  HWND window = CreateWindowExW(0, L"STATIC", L"stalled", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(nullptr, window);

  Start("/VornisTools.exe", FFolder / "VornisTools2.exe");
  ASSERT_TRUE(FServer->WaitForStalls(1, 60s));
  // Another thread talks to the window while the transfer hangs; every call is answered.
  std::atomic<int> answered{0};
  std::thread caller([&] {
    for (int i = 0; i < 20; ++i) {
      wchar_t text[32] = {};
      DWORD_PTR result = 0;
      if (SendMessageTimeoutW(window, WM_GETTEXT, 32, reinterpret_cast<LPARAM>(text), SMTO_BLOCK,
                              30000, &result) &&
          std::wstring(text) == L"stalled")
        ++answered;
    }
  });
  EXPECT_TRUE(PumpUntil([&] { return answered == 20; }));
  caller.join();
  EXPECT_EQ(0u, FRecorder.Finals());
  EXPECT_EQ(1, FServer->StalledCount());

  FServer->ReleaseStalls();
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  EXPECT_EQ(1u, FRecorder.Completed.size());
  EXPECT_EQ(body, ReadFile(FFolder / "VornisTools2.exe"));
  DestroyWindow(window);
}

TEST_F(FileDownLoadThread, TwoHundredDownloadsAtOnceAllComplete) {
  constexpr int kCount = 200;
  for (int i = 0; i < kCount; ++i)
    FServer->SetBody("/zip/" + std::to_string(i) + ".zip", Pattern(40000, i));
  for (int i = 0; i < kCount; ++i) {
    std::string name = std::to_string(i) + ".zip";
    Start("/zip/" + name, FFolder / name);
  }
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == kCount; }));
  EXPECT_EQ(static_cast<size_t>(kCount), FRecorder.Completed.size());
  EXPECT_TRUE(FRecorder.Failed.empty());
  EXPECT_EQ(0, FRecorder.OffWindowThread);
  for (int i = 0; i < kCount; ++i) {
    ASSERT_EQ(Pattern(40000, i), ReadFile(FFolder / (std::to_string(i) + ".zip"))) << i;
  }
  std::vector<std::string> names;
  for (int i = 0; i < kCount; ++i) names.push_back(std::to_string(i) + ".zip");
  EXPECT_TRUE(Leftovers(names).empty());
}

// Every run gets a worker at once, however many there are: forty transfers that the
// server holds until all forty have asked are all in flight together. A second round
// finds the workers of the first.
TEST_F(FileDownLoadThread, TransfersRunSideBySideOnReusedWorkers) {
  constexpr int kCount = 40;
  int workers = 0;
  for (int round = 0; round < 2; ++round) {
    FRecorder = TRecorder();
    for (int i = 0; i < kCount; ++i) {
      std::string path = "/zip/" + std::to_string(i) + ".zip";
      FServer->SetBody(path, Pattern(5000, i));
      FServer->SetFault(path, TFault{.StallAfterBytes = 100, .Times = 1});
      Start(path, FFolder / (std::to_string(i) + ".zip"));
    }
    ASSERT_TRUE(FServer->WaitForStalls(kCount, 60s)) << round;
    FServer->ReleaseStalls();
    ASSERT_TRUE(PumpUntil([&] { return FRecorder.Completed.size() == kCount; })) << round;
    if (round == 0) workers = download::detail::WorkerCount();
  }
  EXPECT_LE(download::detail::WorkerCount(), workers + 2);
}

TEST_F(FileDownLoadThread, TerminateDuringTransferEndsWithError) {
  FServer->SetBody("/zip/big.zip", Pattern(2000000));
  FServer->SetFault("/zip/big.zip", TFault{.StallAfterBytes = 100000});
  WriteFile(FFolder / "big.zip", "good old archive");
  int terminateAt = -1;
  FRecorder.DuringProgress = [&](TFileDownLoadThread* sender) {
    if (sender->Progress() > 0 && terminateAt < 0) {
      terminateAt = static_cast<int>(FRecorder.ProgressReports.size());
      sender->Terminate();
    }
  };
  Start("/zip/big.zip", FFolder / "big.zip");
  ASSERT_TRUE(PumpUntil([&] { return terminateAt > 0; }));
  FServer->ReleaseStalls();
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  ASSERT_EQ(1u, FRecorder.Failed.size());
  EXPECT_EQ(E_ABORT, FRecorder.Failed[0].second);
  EXPECT_TRUE(FRecorder.Completed.empty());
  // The service stops: the bytes reported never reach the whole body.
  ASSERT_GT(terminateAt, 0);
  EXPECT_LT(FRecorder.ProgressReports.back().Progress, 2000000u);
  EXPECT_EQ("good old archive", ReadFile(FFolder / "big.zip"));
  EXPECT_TRUE(Leftovers({"big.zip"}).empty());
}

TEST_F(FileDownLoadThread, WithoutErrorHandlerWaitsUntilResumed) {
  FServer->SetBody("/held", "held body");
  FServer->SetBody("/other", "other body");
  std::shared_ptr<TFileDownLoadThread> held =
      TFileDownLoadThread::Create(FServer->Url("/held"), (FFolder / "held").wstring(),
                                  FRecorder.OnProgress(), FRecorder.OnComplete(), nullptr, false);
  std::shared_ptr<TFileDownLoadThread> asked = TFileDownLoadThread::Create(
      FServer->Url("/held"), (FFolder / "asked").wstring(), FRecorder.OnProgress(),
      FRecorder.OnComplete(), FRecorder.OnError(), true);
  EXPECT_TRUE(held->Suspended());
  EXPECT_TRUE(asked->Suspended());

  // A full download elsewhere gives the held threads every chance to run; they do not.
  Start("/other", FFolder / "other");
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  EXPECT_EQ(0, FServer->RequestCount("/held"));

  // Dropping a thread that never ran cancels it.
  asked.reset();
  held->Resume();
  EXPECT_FALSE(held->Suspended());
  std::weak_ptr<TFileDownLoadThread> watch = held;
  held.reset();  // the running thread keeps itself alive
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 2 && watch.expired(); }));
  EXPECT_EQ(2u, FRecorder.Completed.size());
  EXPECT_EQ("held body", ReadFile(FFolder / "held"));
  EXPECT_FALSE(fs::exists(FFolder / "asked"));
  EXPECT_EQ(1, FServer->RequestCount("/held"));
}

// The automatic update asks for every archive twice in a row: the second transfer waits
// for the first instead of writing the same file at the same time.
TEST_F(FileDownLoadThread, TwoRequestsForOneFileRunOneAfterTheOther) {
  FServer->SetBody("/zip/a.zip", Pattern(100000, 1));
  FServer->SetFault("/zip/a.zip", TFault{.StallAfterBytes = 1000, .Times = 1});
  FServer->SetBody("/zip/b.zip", "b");

  Start("/zip/a.zip", FFolder / "a.zip");
  ASSERT_TRUE(FServer->WaitForStalls(1, 60s));
  Start("/zip/a.zip", FFolder / "a.zip");
  Start("/zip/b.zip", FFolder / "b.zip");
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Completed.size() == 1; }));  // b
  EXPECT_EQ(1, FServer->RequestCount("/zip/a.zip"));

  // What the server publishes by the time the second transfer runs is what stays.
  FServer->SetBody("/zip/a.zip", Pattern(120000, 2));
  FServer->ReleaseStalls();
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 3; }));
  EXPECT_EQ(3u, FRecorder.Completed.size());
  EXPECT_NE(FRecorder.Completed[1], FRecorder.Completed[2]);
  EXPECT_EQ(2, FServer->RequestCount("/zip/a.zip"));
  EXPECT_EQ(Pattern(120000, 2), ReadFile(FFolder / "a.zip"));
  EXPECT_TRUE(Leftovers({"a.zip", "b.zip"}).empty());

  // A waiting request that is asked to terminate gives up without fetching.
  FServer->SetFault("/zip/a.zip", TFault{.StallAfterBytes = 1000, .Times = 1});
  FRecorder = TRecorder();
  Start("/zip/a.zip", FFolder / "a.zip");
  ASSERT_TRUE(FServer->WaitForStalls(1, 60s));
  std::shared_ptr<TFileDownLoadThread> waiting = TFileDownLoadThread::Create(
      FServer->Url("/zip/a.zip"), (FFolder / "A.ZIP").wstring(), FRecorder.OnProgress(),
      FRecorder.OnComplete(), FRecorder.OnError(), false);
  waiting->Terminate();
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Failed.size() == 1; }));
  EXPECT_EQ(E_ABORT, FRecorder.Failed[0].second);
  EXPECT_EQ(3, FServer->RequestCount("/zip/a.zip"));
  FServer->ReleaseStalls();
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 2; }));
  EXPECT_EQ(1u, FRecorder.Completed.size());
}

TEST_F(FileDownLoadThread, ThrowingFinalHandlerEndsTheWorkerQuietly) {
  std::vector<ui::TMessageBoxRecord> boxes;
  ui::Application().SetMessageBoxResponder([&](const ui::TMessageBoxRecord& box) {
    boxes.push_back(box);
    return IDOK;
  });
  FServer->SetBody("/x", "x");
  bool thrown = false;
  std::weak_ptr<TFileDownLoadThread> thread = TFileDownLoadThread::Create(
      FServer->Url("/x"), (FFolder / "x").wstring(),
      [](TFileDownLoadThread*, uint32_t, uint32_t) {},
      [&](TFileDownLoadThread*) {
        thrown = true;
        throw std::runtime_error("handler fault");
      },
      FRecorder.OnError(), false);
  ASSERT_TRUE(PumpUntil([&] { return thrown && thread.expired(); }));
  EXPECT_TRUE(FRecorder.Failed.empty());
  EXPECT_TRUE(boxes.empty());
  ui::Application().SetMessageBoxResponder(nullptr);
}

// A window that takes its time over a progress report never holds the transfer up.
TEST_F(FileDownLoadThread, BusyWindowDoesNotSlowTheTransfer) {
  FServer->SetBody("/zip/a.zip", Pattern(300000));
  bool landed = false;
  FRecorder.DuringProgress = [&](TFileDownLoadThread*) {
    for (int i = 0; i < 6000 && !landed; ++i, Sleep(10)) landed = fs::exists(FFolder / "a.zip");
  };
  Start("/zip/a.zip", FFolder / "a.zip");
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  EXPECT_TRUE(landed);
  EXPECT_EQ(300000u, FRecorder.ProgressReports.back().Progress);  // the newest comes last
}

// Folder texts with reserved characters, blanks, "%" and Chinese reach the server whole.
TEST_F(FileDownLoadThread, EncodedSegmentReachesTheServerAsWritten) {
  std::wstring name = L"a#b?c d%41+&;=中文.zip";
  FServer->SetBody("/zip/" + ui::Narrow(name), "x");
  TFileDownLoadThread::Create(FServer->Url("/zip/") + download::EncodeUrlPathSegment(name),
                              (FFolder / "x").wstring(), FRecorder.OnProgress(),
                              FRecorder.OnComplete(), FRecorder.OnError(), false);
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
  EXPECT_EQ(1u, FRecorder.Completed.size());
  EXPECT_EQ("x", ReadFile(FFolder / "x"));
}

// At the end of the process running transfers stop without a word; the temporary files
// of earlier processes go, files of other names stay.
TEST_F(FileDownLoadThread, StopAllEndsTransfersAndStaleTemporaryFilesGo) {
  FServer->SetBody("/zip/a.zip", Pattern(100000));
  FServer->SetFault("/zip/a.zip", TFault{.StallAfterBytes = 1000, .Times = 1});
  Start("/zip/a.zip", FFolder / "a.zip");
  ASSERT_TRUE(FServer->WaitForStalls(1, 60s));
  Start("/zip/a.zip", FFolder / "a.zip");  // waits for the first
  for (const char* name : {"b.zip.77-88.part", "b.zip.part", "c.7-x.part", ".1-2.part"})
    WriteFile(FFolder / name, "x");
  EXPECT_EQ(1, download::RemoveStalePartFiles(FFolder.wstring()));

  EXPECT_FALSE(download::StopAllTransfers(0ms));  // a stalled transfer cannot stop at once
  FServer->ReleaseStalls();
  ASSERT_TRUE(PumpUntil([] { return download::LiveTransferCount() == 0; }));
  EXPECT_EQ(0u, FRecorder.Finals());
  EXPECT_EQ(1, FServer->RequestCount("/zip/a.zip"));
  EXPECT_EQ(3u, Leftovers({}).size());
  EXPECT_TRUE(download::StopAllTransfers(0ms));
}

// A body whose length nothing proves (sent without a Content-Length, or compressed) and
// that a connection reset cuts short is a failed download, never a shorter file: the
// HTTP client here reports such a cut as the end of the body, so the content check is
// told that the length proved nothing and judges by the content. Through the download
// service and through a revalidation alike.
TEST_F(FileDownLoadThread, ResetBodyOfUnknownLengthFails) {
  const std::string body = Pattern(1000000);
  struct TCase {
    const char* Name;
    TFault Fault;
    bool Held;
  } cases[] = {
      {"plain", TFault{.NoContentLength = true, .ResetAfterBytes = 50000}, false},
      {"plain-held", TFault{.NoContentLength = true, .ResetAfterBytes = 50000}, true},
      {"gzip", TFault{.ResetAfterBytes = 200, .Encoding = "gzip"}, false},
      {"gzip-held", TFault{.NoContentLength = true, .ResetAfterBytes = 200, .Encoding = "gzip"},
       true},
      {"whole", TFault{.NoContentLength = true, .Encoding = "gzip"}, false},
  };
  std::vector<std::string> names;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string name = std::string(c.Name) + ".zip";
    names.push_back(name);
    WriteFile(FFolder / name, "good old archive");
    FServer->SetBody("/zip/" + name, body);
    FServer->SetFault("/zip/" + name, c.Fault);
    FRecorder = TRecorder();
    download::TRevalidation revalidation;
    if (c.Held)
      revalidation.Load = [](const std::wstring&) {
        return download::TValidators{L"\"old\"", L""};
      };
    std::vector<bool> proven;  // written on the worker before the final notification
    auto check = [&](const std::wstring& path, bool lengthProven) {
      proven.push_back(lengthProven);
      return lengthProven || ReadFile(path) == body;
    };
    TFileDownLoadThread::Create(FServer->Url("/zip/" + name), (FFolder / name).wstring(),
                                FRecorder.OnProgress(), FRecorder.OnComplete(), FRecorder.OnError(),
                                false, check, revalidation);
    ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
    EXPECT_EQ(std::vector<bool>(proven.size(), false), proven);
    if (std::string(c.Name) == "whole") {
      EXPECT_EQ(1u, FRecorder.Completed.size());
      EXPECT_TRUE(ReadFile(FFolder / name) == body);
    } else {
      EXPECT_EQ(1u, FRecorder.Failed.size());
      EXPECT_TRUE(ReadFile(FFolder / name) == "good old archive");
    }
  }
  EXPECT_TRUE(Leftovers(names).empty());
}

// The sweep of stale temporary files spares those of running transfers: one the service
// is writing, and one that is closed while the content check reads it.
TEST_F(FileDownLoadThread, SweepSparesTheFilesOfRunningTransfers) {
  FServer->SetBody("/zip/checked.zip", Pattern(200000));
  FServer->SetBody("/zip/stalled.zip", Pattern(200000, 1));
  FServer->SetFault("/zip/stalled.zip", TFault{.StallAfterBytes = 1000});
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> checking{false};
  std::wstring checked;  // written before `checking` is set
  Start("/zip/checked.zip", FFolder / "checked.zip", [&](const std::wstring& path, bool) {
    checked = path;
    checking = true;
    WaitForSingleObject(release, INFINITE);
    return true;
  });
  Start("/zip/stalled.zip", FFolder / "stalled.zip");
  bool ready = FServer->WaitForStalls(1, 60s) && PumpUntil([&] { return checking.load(); });
  WriteFile(FFolder / "old.zip.12-34.part", "left by an earlier process");
  int removed = download::RemoveStalePartFiles(FFolder.wstring());
  bool checkedKept = ready && fs::exists(checked);
  SetEvent(release);
  FServer->ReleaseStalls();
  ASSERT_TRUE(ready);
  EXPECT_EQ(1, removed);
  EXPECT_TRUE(checkedKept);
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 2; }));
  CloseHandle(release);
  EXPECT_EQ(2u, FRecorder.Completed.size());
  EXPECT_EQ(Pattern(200000), ReadFile(FFolder / "checked.zip"));
  EXPECT_EQ(Pattern(200000, 1), ReadFile(FFolder / "stalled.zip"));
  EXPECT_TRUE(Leftovers({"checked.zip", "stalled.zip"}).empty());
}

// Names that differ only in case name one file: a download to "A.ZIP" left to run waits
// for the one to "a.zip", and asks the server only once that one has ended.
TEST_F(FileDownLoadThread, TargetsDifferingOnlyInCaseRunOneAfterTheOther) {
  FServer->SetBody("/zip/a.zip", Pattern(100000, 1));
  FServer->SetFault("/zip/a.zip", TFault{.StallAfterBytes = 1000, .Times = 1});
  FServer->SetBody("/zip/b.zip", "b");
  Start("/zip/a.zip", FFolder / "a.zip");
  ASSERT_TRUE(FServer->WaitForStalls(1, 60s));
  Start("/zip/a.zip", FFolder / "A.ZIP");
  Start("/zip/b.zip", FFolder / "b.zip");  // started after it, done while it waits
  ASSERT_TRUE(PumpUntil([&] { return ReadFile(FFolder / "b.zip") == "b"; }));
  EXPECT_EQ(1, FServer->RequestCount("/zip/a.zip"));

  auto released = std::chrono::steady_clock::now();
  FServer->ReleaseStalls();
  ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 3; }));
  EXPECT_EQ(3u, FRecorder.Completed.size());
  std::vector<testserver::TRequest> requests;
  for (const testserver::TRequest& request : FServer->Requests())
    if (request.Path == "/zip/a.zip") requests.push_back(request);
  ASSERT_EQ(2u, requests.size());
  EXPECT_GE(requests[1].Time, released);
  EXPECT_EQ(Pattern(100000, 1), ReadFile(FFolder / "a.zip"));
}

// "304 Not Modified" answers validators: to a request sent without any it is a failure,
// and no file is reported as written or kept.
TEST_F(FileDownLoadThread, NotModifiedToARequestWithoutValidatorsFails) {
  FServer->SetBody("/zip/a.zip", Pattern(1000));
  FServer->SetFault("/zip/a.zip", TFault{.Status = 304});
  std::vector<bool> landed;
  download::TRevalidation noValidators{[](const std::wstring&) { return download::TValidators{}; },
                                       [&](const std::wstring&, const download::TValidators&,
                                           bool replaced) { landed.push_back(replaced); }};
  for (bool held : {false, true}) {
    SCOPED_TRACE(held ? "a file held without validators" : "no file");
    if (held) WriteFile(FFolder / "a.zip", "held");
    FRecorder = TRecorder();
    std::shared_ptr<TFileDownLoadThread> thread = TFileDownLoadThread::Create(
        FServer->Url("/zip/a.zip"), (FFolder / "a.zip").wstring(), FRecorder.OnProgress(),
        FRecorder.OnComplete(), FRecorder.OnError(), false, nullptr, noValidators);
    ASSERT_TRUE(PumpUntil([&] { return FRecorder.Finals() == 1; }));
    ASSERT_EQ(1u, FRecorder.Failed.size());
    EXPECT_NE(S_OK, FRecorder.Failed[0].second);
    EXPECT_EQ(304u, FRecorder.FailedStatus[0]);
    EXPECT_FALSE(thread->NotModified());
    if (held)
      EXPECT_EQ("held", ReadFile(FFolder / "a.zip"));
    else
      EXPECT_FALSE(fs::exists(FFolder / "a.zip"));
  }
  EXPECT_TRUE(landed.empty());
  EXPECT_TRUE(Leftovers({"a.zip"}).empty());
}

TEST(DownLoadMonitor, AnswersItsInterfacesAndRecordsTheResponse) {
  EXPECT_TRUE(IsEqualIID(IID_IBindStatusCallback, download::kBindStatusCallbackId));
  auto* monitor = new download::TDownLoadMonitor(nullptr);
  IBindStatusCallback* callback = nullptr;
  ASSERT_EQ(S_OK, monitor->QueryInterface(download::kBindStatusCallbackId,
                                          reinterpret_cast<void**>(&callback)));
  IHttpNegotiate* negotiate = nullptr;
  ASSERT_EQ(S_OK,
            callback->QueryInterface(IID_IHttpNegotiate, reinterpret_cast<void**>(&negotiate)));
  IUnknown* unknown = nullptr;
  EXPECT_EQ(E_NOINTERFACE,
            callback->QueryInterface(IID_IStream, reinterpret_cast<void**>(&unknown)));

  DWORD flags = BINDF_ASYNCHRONOUS;
  BINDINFO info{};
  info.cbSize = sizeof info;
  EXPECT_EQ(S_OK, callback->GetBindInfo(&flags, &info));
  EXPECT_EQ(static_cast<DWORD>(BINDF_ASYNCHRONOUS | BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE |
                               BINDF_PRAGMA_NO_CACHE),
            flags);

  LPWSTR extra = nullptr;
  EXPECT_EQ(S_OK, negotiate->OnResponse(404,
                                        L"HTTP/1.1 404 Not Found\r\ncontent-length:  1234 \r\n"
                                        L"Content-Encoding: gzip\r\n\r\n",
                                        L"", &extra));
  EXPECT_EQ(nullptr, extra);
  EXPECT_EQ(404u, monitor->ResponseCode());
  EXPECT_EQ(1234, monitor->ContentLength());
  EXPECT_TRUE(monitor->ContentEncoded());

  EXPECT_EQ(S_OK, callback->OnProgress(1, 2, BINDSTATUS_DOWNLOADINGDATA, L""));
  monitor->SetAbort();
  EXPECT_EQ(E_ABORT, callback->OnProgress(1, 2, BINDSTATUS_DOWNLOADINGDATA, L""));

  negotiate->Release();
  callback->Release();
  EXPECT_EQ(0u, monitor->Release());
}

}  // namespace
