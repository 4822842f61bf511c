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

#include "download/FileDownLoadThread.h"

namespace download {

class TFileDownLoadThread;

// The interface identifier the monitor answers for IBindStatusCallback.
inline constexpr GUID kBindStatusCallbackId = {
    0x79eac9c1, 0xbaf9, 0x11ce, {0x8c, 0x82, 0x00, 0xaa, 0x00, 0x4b, 0xa9, 0x0b}};

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

  // What the last HTTP response said: status (0 when none was seen), Content-Length
  // (-1 when absent) and whether a Content-Encoding makes the file size differ from it.
  DWORD ResponseCode() const { return FResponseCode; }
  long long ContentLength() const { return FContentLength; }
  bool ContentEncoded() const { return FContentEncoded; }
  // ETag and Last-Modified of the last response.
  const TValidators& Validators() const { return FValidators; }

 private:
  ~TDownLoadMonitor() = default;

  std::atomic<ULONG> FReferences{1};
  bool FAbort = false;
  std::atomic<TFileDownLoadThread*> FThread;
  DWORD FResponseCode = 0;
  long long FContentLength = -1;
  bool FContentEncoded = false;
  TValidators FConditions;
  TValidators FValidators;
};

}  // namespace download
