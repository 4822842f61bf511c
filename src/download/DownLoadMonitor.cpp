#include "download/DownLoadMonitor.h"

#include "download/FileDownLoadThread.h"

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string_view>

namespace download {

namespace {

// The value of a header in a CR LF separated block, or an empty view.
std::wstring_view HeaderValue(std::wstring_view headers, std::wstring_view name) {
  size_t start = 0;
  while (start < headers.size()) {
    size_t end = headers.find(L"\r\n", start);
    if (end == std::wstring_view::npos) end = headers.size();
    std::wstring_view line = headers.substr(start, end - start);
    start = end + 2;
    if (line.size() <= name.size() || line[name.size()] != L':') continue;
    if (_wcsnicmp(line.data(), name.data(), name.size()) != 0) continue;
    std::wstring_view value = line.substr(name.size() + 1);
    while (!value.empty() && std::iswspace(value.front())) value.remove_prefix(1);
    while (!value.empty() && std::iswspace(value.back())) value.remove_suffix(1);
    return value;
  }
  return {};
}

}  // namespace

void ReadResponseHeaders(std::wstring_view headers, THttpResponse& response) {
  response.ContentLength = -1;
  std::wstring_view length = HeaderValue(headers, L"Content-Length");
  if (!length.empty()) {
    std::wstring text(length);
    wchar_t* end = nullptr;
    long long value = std::wcstoll(text.c_str(), &end, 10);
    if (end != nullptr && *end == L'\0' && value >= 0) response.ContentLength = value;
  }
  std::wstring_view encoding = HeaderValue(headers, L"Content-Encoding");
  response.ContentEncoded = !encoding.empty() && _wcsnicmp(encoding.data(), L"identity", 8) != 0;
  response.Validators.ETag = HeaderValue(headers, L"ETag");
  response.Validators.LastModified = HeaderValue(headers, L"Last-Modified");
}

std::wstring ConditionalRequestHeaders(const TValidators& held) {
  // Proxies and caches on the way revalidate with the server too.
  std::wstring headers = L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";
  auto add = [&headers](const wchar_t* name, const std::wstring& value) {
    if (!value.empty() && value.find_first_of(L"\r\n") == std::wstring::npos)
      headers += name + value + L"\r\n";
  };
  add(L"If-None-Match: ", held.ETag);
  add(L"If-Modified-Since: ", held.LastModified);
  return headers;
}

TDownLoadMonitor::TDownLoadMonitor(TFileDownLoadThread* thread) : FThread(thread) {}

HRESULT TDownLoadMonitor::QueryInterface(REFIID id, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, kBindStatusCallbackId)) {
    *object = static_cast<IBindStatusCallback*>(this);
  } else if (IsEqualIID(id, IID_IHttpNegotiate)) {
    *object = static_cast<IHttpNegotiate*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG TDownLoadMonitor::AddRef() {
  return ++FReferences;
}

ULONG TDownLoadMonitor::Release() {
  ULONG left = --FReferences;
  if (left == 0) delete this;
  return left;
}

HRESULT TDownLoadMonitor::OnStartBinding(DWORD, IBinding*) {
  return S_OK;
}

HRESULT TDownLoadMonitor::GetPriority(LONG*) {
  return S_OK;
}

HRESULT TDownLoadMonitor::OnLowResource(DWORD) {
  return S_OK;
}

HRESULT TDownLoadMonitor::OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR) {
  if (TFileDownLoadThread* thread = FThread) {
    thread->DownloadProgress(progress, progressMax, statusCode, std::wstring());
  }
  return FAbort ? E_ABORT : S_OK;
}

HRESULT TDownLoadMonitor::OnStopBinding(HRESULT, LPCWSTR) {
  return S_OK;
}

HRESULT TDownLoadMonitor::GetBindInfo(DWORD* flags, BINDINFO*) {
  // Never answer from, or fill, the URL cache: the server's current content decides.
  if (flags != nullptr)
    *flags |= BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE;
  return S_OK;
}

HRESULT TDownLoadMonitor::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) {
  return S_OK;
}

HRESULT TDownLoadMonitor::OnObjectAvailable(REFIID, IUnknown*) {
  return S_OK;
}

HRESULT TDownLoadMonitor::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) {
  if (additionalHeaders == nullptr) return S_OK;
  std::wstring headers = ConditionalRequestHeaders(FConditions);
  size_t bytes = (headers.size() + 1) * sizeof(wchar_t);
  *additionalHeaders = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (*additionalHeaders != nullptr) std::memcpy(*additionalHeaders, headers.c_str(), bytes);
  return S_OK;
}

HRESULT TDownLoadMonitor::OnResponse(DWORD responseCode, LPCWSTR responseHeaders, LPCWSTR,
                                     LPWSTR* additionalRequestHeaders) {
  if (additionalRequestHeaders != nullptr) *additionalRequestHeaders = nullptr;
  FResponse = {};
  FResponse.Status = responseCode;
  if (responseHeaders != nullptr) ReadResponseHeaders(responseHeaders, FResponse);
  return S_OK;
}

}  // namespace download
