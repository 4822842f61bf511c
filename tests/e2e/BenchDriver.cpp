// Benchmark driver (not a test): starts the manager in a fresh folder whose Config.ini
// the caller wrote, clicks "更新 UI", and prints the milliseconds until every archive of
// the publication is in the cache with its full size.
//   e2e_refresh_bench SANDBOX-NAME SITE-DIR(unix) ARCHIVE-COUNT
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "Driver.h"

using namespace e2e;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s SANDBOX SITE-DIR COUNT\n", argv[0]);
    return 2;
  }
  TSandbox box(argv[1]);
  std::wstring site = WinPath(argv[2]) + L"\\";
  size_t count = std::stoul(argv[3]);
  std::wstring game = box.MakeGame();
  std::string config = "[game]\r\ngamepath=" + std::string(game.begin(), game.end()) +
                       "\r\n[updata]\r\nautoupdata=0\r\n";
  box.WriteFile(L"Config.ini", config);

  TProcess manager = TProcess::Start(box.ExePath());
  HWND main = WaitMainWindow(manager.Pid());
  if (!main) return 1;
  namespace fs = std::filesystem;
  auto complete = [&] {
    size_t done = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(site + L"zip"))) {
      fs::path cached = fs::path(box.Dir()) / L"zip" / entry.path().filename();
      std::error_code error;
      if (fs::file_size(cached, error) == entry.file_size() && !error) ++done;
    }
    return done == count;
  };
  auto start = std::chrono::steady_clock::now();
  Click(FindButton(main, L"更新 UI"));
  bool ok = WaitUntil(complete, std::chrono::minutes(5));
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  std::printf("refresh_ms=%lld ok=%d\n", static_cast<long long>(elapsed.count()), ok ? 1 : 0);
  return ok ? 0 : 1;
}
