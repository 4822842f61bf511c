// vornis_testserver DIR [PORT]: serves DIR on 127.0.0.1:PORT (default: the build's update server
// port) until killed.
#include "TestHttpServer.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <exception>

int main() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 2 || count > 3) {
    std::fprintf(stderr, "usage: vornis_testserver DIR [PORT]\n");
    return 2;
  }
  unsigned long port =
      count == 3 ? std::wcstoul(arguments[2], nullptr, 10) : testserver::kDefaultPort;
  if (port > 65535) {
    std::fprintf(stderr, "bad port\n");
    return 2;
  }
  try {
    testserver::TTestHttpServer server(arguments[1], static_cast<unsigned short>(port));
    std::printf("serving on %s\n", server.UrlA("/").c_str());
    std::fflush(stdout);
    Sleep(INFINITE);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  LocalFree(arguments);
  return 0;
}
