// Small documents of the update server over HTTP, through WinINet: always from the
// server (no cache read or write), with time-outs so a silent server cannot hold a
// thread forever, and with a cap on the size read.
#include "download/HttpFetch.h"

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "download/InternetHandle.h"
#include "ui/Application.h"

namespace download {

namespace {

using detail::TInternetHandle;

// what names the document in messages: the catalogue, or its signature.
std::string UnreachableMessage(const std::string& what, const std::wstring& url, DWORD error) {
  return "無法連線到更新伺服器,讀不到 " + what + " " + ui::Narrow(url) + " (WinINet 錯誤 " +
         std::to_string(error) + ")";
}

// A numeric header of the response; -1 when absent or not a number.
long long QueryNumber(HINTERNET request, DWORD info) {
  wchar_t buffer[32] = {};
  DWORD size = sizeof(buffer);
  if (!HttpQueryInfoW(request, info, buffer, &size, nullptr)) return -1;
  wchar_t* end = nullptr;
  long long value = wcstoll(buffer, &end, 10);
  return end != buffer && *end == L'\0' && value >= 0 ? value : -1;
}

}  // namespace

std::string FetchBytes(const std::wstring& url, size_t maxBytes, const std::string& what) {
  TInternetHandle session(
      InternetOpenW(L"VornisTools", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) throw EFetchError(UnreachableMessage(what, url, GetLastError()), true);
  detail::SetTimeouts(session.get());

  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                      INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
  // One request per load: no connection is kept open in the pool between loads.
  const wchar_t headers[] = L"Connection: close\r\n";
  TInternetHandle request(
      InternetOpenUrlW(session.get(), url.c_str(), headers, static_cast<DWORD>(-1), flags, 0));
  if (!request) throw EFetchError(UnreachableMessage(what, url, GetLastError()), true);

  long long status = QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE);
  if (status == 404)
    throw EFetchError("更新伺服器上沒有 " + what + " " + ui::Narrow(url) + " (HTTP 404)");
  if (status != 200)
    throw EFetchError("更新伺服器無法提供 " + what + " " + ui::Narrow(url) + " (HTTP " +
                          std::to_string(status) + ")",
                      status >= 500 && status <= 599);

  std::string tooLarge =
      what + " " + ui::Narrow(url) + " 超過 " + std::to_string(maxBytes / 1024) + " KiB,已拒絕載入";
  long long announced = QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH);
  if (announced > static_cast<long long>(maxBytes)) throw EFetchError(tooLarge);

  std::string body;
  char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request.get(), buffer, sizeof(buffer), &got)) {
      throw EFetchError("下載 " + what + " " + ui::Narrow(url) + " 時連線中斷 (WinINet 錯誤 " +
                            std::to_string(GetLastError()) + ")",
                        true);
    }
    if (got == 0) break;
    if (body.size() + got > maxBytes) throw EFetchError(tooLarge);
    body.append(buffer, got);
  }
  if (announced >= 0 && static_cast<long long>(body.size()) != announced) {
    throw EFetchError(what + " " + ui::Narrow(url) + " 下載不完整 (收到 " +
                          std::to_string(body.size()) + " / " + std::to_string(announced) +
                          " 位元組)",
                      true);
  }
  return body;
}

}  // namespace download
