#include "download/ConditionalFetch.h"

#include <urlmon.h>

#include <memory>
#include <vector>

#include "download/InternetHandle.h"

namespace download::detail {

namespace {

struct TFileCloser {
  void operator()(HANDLE file) const { CloseHandle(file); }
};
using TFileHandle = std::unique_ptr<void, TFileCloser>;

// One session for the process, so the connections it keeps serve the next requests.
// Never closed: a worker may use it until the process ends. Null when the HTTP client
// cannot be had.
HINTERNET Session() {
  static HINTERNET session = [] {
    // The server sees the same agent as for the service's requests.
    char agent[512] = {};
    DWORD agentSize = sizeof(agent);
    std::wstring agentName = L"VornisTools";
    if (SUCCEEDED(ObtainUserAgentString(0, agent, &agentSize)) && agent[0] != '\0')
      agentName.assign(agent, agent + std::char_traits<char>::length(agent));
    HINTERNET handle =
        InternetOpenW(agentName.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (handle != nullptr) {
      SetTimeouts(handle);
      // A compressed answer arrives decoded, as from the service.
      BOOL decode = TRUE;
      InternetSetOptionW(handle, INTERNET_OPTION_HTTP_DECODING, &decode, sizeof(decode));
    }
    return handle;
  }();
  return session;
}

HRESULT LastError() {
  DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

std::wstring RawHeaders(HINTERNET request) {
  DWORD size = 0;
  HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr);
  if (size == 0) return {};
  std::wstring headers(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(headers.size() * sizeof(wchar_t));
  if (!HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, headers.data(), &size, nullptr))
    return {};
  headers.resize(size / sizeof(wchar_t));
  return headers;
}

ULONG ReportedLength(long long length) {
  return length >= 0 && length <= 0xFFFFFFFFll ? static_cast<ULONG>(length) : 0;
}

}  // namespace

HRESULT FetchConditional(const std::wstring& url, const TValidators& held,
                         const std::wstring& partialPath, const TBodyProgress& progress,
                         THttpResponse& response, bool& useService) {
  response = {};
  useService = false;
  HINTERNET session = Session();
  if (session == nullptr) {
    useService = true;
    return E_FAIL;
  }
  std::wstring headers = ConditionalRequestHeaders(held);
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                      INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_KEEP_CONNECTION;
  TInternetHandle request(InternetOpenUrlW(session, url.c_str(), headers.c_str(),
                                           static_cast<DWORD>(headers.size()), flags, 0));
  if (!request) return LastError();
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                      &size, nullptr)) {
    useService = true;  // not an HTTP answer: the service knows the other schemes
    return E_FAIL;
  }
  response.Status = status;
  ReadResponseHeaders(RawHeaders(request.get()), response);
  if (status == HTTP_STATUS_DENIED || status == HTTP_STATUS_FORBIDDEN ||
      status == HTTP_STATUS_PROXY_AUTH_REQ) {
    useService = true;
    return E_FAIL;
  }
  if (status == HTTP_STATUS_NOT_MODIFIED) {
    // What the service reports for an answer without a body.
    if (!progress(0, 0, BINDSTATUS_BEGINDOWNLOADDATA) ||
        !progress(0, 0, BINDSTATUS_ENDDOWNLOADDATA))
      return E_ABORT;
    return S_OK;
  }
  if (status < 200 || status > 299) return S_OK;

  TFileHandle file(CreateFileW(partialPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return LastError();
  }
  ULONG announced = response.ContentEncoded ? 0 : ReportedLength(response.ContentLength);
  ULONG received = 0;
  if (!progress(0, announced, BINDSTATUS_BEGINDOWNLOADDATA)) return E_ABORT;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got))
      return LastError();
    if (got == 0) break;
    DWORD written = 0;
    if (!WriteFile(file.get(), buffer.data(), got, &written, nullptr) || written != got)
      return LastError();
    received += got;
    if (!progress(received, announced, BINDSTATUS_DOWNLOADINGDATA)) return E_ABORT;
  }
  // As from the service: a length nothing announced stays unknown (0) to the end, so the
  // bytes that happened to arrive before the connection ended never pass for it.
  if (!progress(received, announced, BINDSTATUS_ENDDOWNLOADDATA)) return E_ABORT;
  return S_OK;
}

}  // namespace download::detail
