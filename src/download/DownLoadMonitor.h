// TDownLoadMonitor: the binding status callback of one URLDownloadToFileW call.
//
// It relays every progress report to its TFileDownLoadThread, answers E_ABORT once the
// thread asked for an abort, and learns what the HTTP layer saw (status, announced
// length, content encoding) through IHttpNegotiate, because the download service's
// result code alone does not tell a 404 page or a cut-off body from a good transfer.
// Its GetBindInfo asks for the newest version and no cache write, so nothing is served
// from or left in the URL cache.
//
// It holds no reference on its thread: the thread detaches it after the run, and late
// calls then report nowhere. All operations run on the worker thread.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <atomic>
#include <string>
#include <string_view>

#include "download/FileDownLoadThread.h"

namespace download {

class TFileDownLoadThread;

// The interface identifier the monitor answers for IBindStatusCallback.
inline constexpr GUID kBindStatusCallbackId = {
    0x79eac9c1, 0xbaf9, 0x11ce, {0x8c, 0x82, 0x00, 0xaa, 0x00, 0x4b, 0xa9, 0x0b}};

// What an HTTP response said about its body and the version of the file it carries.
struct THttpResponse {
  DWORD Status = 0;              // 0 when no response was seen
  long long ContentLength = -1;  // -1 when absent
  // A Content-Encoding makes the decoded file's size differ from ContentLength.
  bool ContentEncoded = false;
  TValidators Validators;  // ETag and Last-Modified
};

// The status-independent fields of `response` from a CR LF separated header block.
void ReadResponseHeaders(std::wstring_view headers, THttpResponse& response);

// The request headers that ask every cache on the way to revalidate with the server and
// carry the validators of the copy we hold (If-None-Match, If-Modified-Since); a
// validator that holds a line break is not sent.
std::wstring ConditionalRequestHeaders(const TValidators& held);

class TDownLoadMonitor final : public IBindStatusCallback, public IHttpNegotiate {
 public:
  // Created with one reference, owned by the caller. `thread` may be null.
  explicit TDownLoadMonitor(TFileDownLoadThread* thread);
  TDownLoadMonitor(const TDownLoadMonitor&) = delete;
  TDownLoadMonitor& operator=(const TDownLoadMonitor&) = delete;

  // IUnknown: IUnknown, IBindStatusCallback (kBindStatusCallbackId) and IHttpNegotiate.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IBindStatusCallback, in slot order.
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
  // Relays to the thread, then answers E_ABORT when Abort() is set.
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                       LPCWSTR statusText) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR errorText) override;
  // Adds BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE.
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* bindInfo) override;
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                            STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID id, IUnknown* object) override;

  // IHttpNegotiate: asks caches on the way to revalidate, sends the conditions, and
  // records the response.
  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved,
                                                 LPWSTR* additionalHeaders) override;
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD responseCode, LPCWSTR responseHeaders,
                                       LPCWSTR requestHeaders,
                                       LPWSTR* additionalRequestHeaders) override;

  bool Abort() const { return FAbort; }
  void SetAbort() { FAbort = true; }
  // Validators of the copy we hold: sent as If-None-Match / If-Modified-Since. Set
  // before the transfer starts.
  void SetConditions(const TValidators& held) { FConditions = held; }
  // Stops relaying to the thread (called when its run ends).
  void DetachThread() { FThread = nullptr; }

  // What the last HTTP response said.
  const THttpResponse& Response() const { return FResponse; }
  DWORD ResponseCode() const { return FResponse.Status; }
  long long ContentLength() const { return FResponse.ContentLength; }
  bool ContentEncoded() const { return FResponse.ContentEncoded; }

 private:
  ~TDownLoadMonitor() = default;

  std::atomic<ULONG> FReferences{1};
  bool FAbort = false;
  std::atomic<TFileDownLoadThread*> FThread;
  TValidators FConditions;
  THttpResponse FResponse;
};

}  // namespace download
