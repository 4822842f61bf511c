// The floor under the archive refresh (Windows, not a test): the same transfers made
// the plainest way, URLDownloadToFileW on one thread each, no window, no callback, no
// checks. The connection limit per server is raised as the manager raises it.
//   urlfetch LIST   (LIST: one "URL<TAB>FILE" per line, UTF-8)
// Prints "fetch_ms=N ok=COUNT" for the time from the first start to the last end.
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring Widen(const std::string& text) {
  int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: urlfetch LIST\n");
    return 2;
  }
  std::vector<std::pair<std::wstring, std::wstring>> jobs;
  std::ifstream list(argv[1]);
  for (std::string line; std::getline(list, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tab = line.find('\t');
    if (tab != std::string::npos)
      jobs.emplace_back(Widen(line.substr(0, tab)), Widen(line.substr(tab + 1)));
  }
  ULONG connections = 64;
  InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections,
                     sizeof connections);
  InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections,
                     sizeof connections);

  std::vector<HRESULT> results(jobs.size(), E_FAIL);
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (size_t i = 0; i < jobs.size(); ++i) {
    threads.emplace_back([&, i] {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      results[i] =
          URLDownloadToFileW(nullptr, jobs[i].first.c_str(), jobs[i].second.c_str(), 0, nullptr);
      CoUninitialize();
    });
  }
  for (std::thread& thread : threads) thread.join();
  auto elapsed = std::chrono::steady_clock::now() - start;
  int ok = 0;
  for (HRESULT result : results) ok += result == S_OK ? 1 : 0;
  std::printf("fetch_ms=%lld ok=%d\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()),
              ok);
  return ok == static_cast<int>(jobs.size()) ? 0 : 1;
}
