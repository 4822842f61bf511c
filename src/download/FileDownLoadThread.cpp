#include "download/FileDownLoadThread.h"

#include "base/Exception.h"
#include "download/ConditionalFetch.h"
#include "download/DownLoadMonitor.h"
#include "download/ProgressRelay.h"
#include "download/TargetLock.h"
#include "download/Transfers.h"
#include "download/WorkerPool.h"
#include "ui/Application.h"
#include "ui/LongPath.h"

#include <wininet.h>

namespace download {

namespace {

// Releases the reference the creator of a monitor holds.
struct TMonitorRelease {
  void operator()(TDownLoadMonitor* monitor) const { monitor->Release(); }
};

// Removes the temporary file on every way out, unless it was renamed away.
class TPartialFile {
 public:
  explicit TPartialFile(std::wstring path) : FPath(std::move(path)) {}
  ~TPartialFile() { DeleteFileW(FPath.c_str()); }
  TPartialFile(const TPartialFile&) = delete;
  TPartialFile& operator=(const TPartialFile&) = delete;
  const std::wstring& Path() const { return FPath; }

 private:
  std::wstring FPath;
};

long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A caller's content check; whatever it throws counts as a refusal, because a broken
// check must not let a file through nor end the worker before its notification.
bool Accepts(const TContentCheck& check, const std::wstring& path, bool lengthProven) {
  try {
    return check(path, lengthProven);
  } catch (...) {
    return false;
  }
}

// The validators of the file at `target`; none when there is no file or no hook, or the
// hook fails (a full download is always safe).
TValidators LoadValidators(const TRevalidation& revalidation, const std::wstring& target) {
  if (!revalidation.Load || GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
    return {};
  try {
    return revalidation.Load(target);
  } catch (...) {
    return {};
  }
}

void NoteLanded(const TRevalidation& revalidation, const std::wstring& target,
                const TValidators& response, bool replaced) {
  if (!revalidation.Landed) return;
  try {
    revalidation.Landed(target, response, replaced);
  } catch (...) {
    // What it keeps is an optimisation: without it the next run downloads in full.
  }
}

// Every add-on archive is requested at once from one server; the HTTP client's default
// of a few connections per server would queue them. Raised once per process, by the
// first transfer on its worker, so the window thread never waits for the HTTP client's
// libraries to load.
void RaiseConnectionLimits() {
  static const bool connectionsRaised = [] {
    ULONG connections = 64;
    InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections,
                       sizeof connections);
    InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections,
                       sizeof connections);
    return true;
  }();
  (void)connectionsRaised;
}

}  // namespace

std::shared_ptr<TFileDownLoadThread> TFileDownLoadThread::Create(
    std::wstring url, std::wstring fileName, TDownloadProgressEvent onDownloadProgress,
    TDownloadNotifyEvent onDownloadComplete, TDownloadErrorEvent onDownloadError,
    bool createSuspended, TContentCheck contentCheck, TRevalidation revalidation) {
  if (ui::Application().IsWindowThread()) detail::CreateProgressRelay();
  bool suspended =
      createSuspended || !onDownloadProgress || !onDownloadComplete || !onDownloadError;
  std::shared_ptr<TFileDownLoadThread> thread(
      new TFileDownLoadThread(std::move(url), std::move(fileName), std::move(onDownloadProgress),
                              std::move(onDownloadComplete), std::move(onDownloadError),
                              std::move(contentCheck), std::move(revalidation)));
  if (!suspended) thread->Resume();
  return thread;
}

TFileDownLoadThread::TFileDownLoadThread(std::wstring url, std::wstring fileName,
                                         TDownloadProgressEvent onDownloadProgress,
                                         TDownloadNotifyEvent onDownloadComplete,
                                         TDownloadErrorEvent onDownloadError,
                                         TContentCheck contentCheck, TRevalidation revalidation)
    : FURL(std::move(url)),
      FFileName(std::move(fileName)),
      FOnDownloadProgress(std::move(onDownloadProgress)),
      FOnDownloadComplete(std::move(onDownloadComplete)),
      FOnDownloadError(std::move(onDownloadError)),
      FContentCheck(std::move(contentCheck)),
      FRevalidation(std::move(revalidation)) {}

TFileDownLoadThread::~TFileDownLoadThread() = default;

void TFileDownLoadThread::Resume() {
  if (FStarted.exchange(true)) return;
  // Listed from here on, so a stop request also reaches a run still waiting for its
  // worker. The run holds the object until its final notification has returned.
  detail::Register(this);
  try {
    detail::RunOnWorker([self = shared_from_this()] {
      self->Execute();
      detail::Unregister(self.get());
    });
  } catch (...) {
    detail::Unregister(this);
    FStarted = false;
    throw;
  }
}

void TFileDownLoadThread::Execute() {
  HRESULT result = Run();
  if (!FHandlerFailed && !FAbandoned) {
    try {
      // The newest progress goes first, so the window never sees progress after the end.
      ui::Application().Synchronize([this, result] {
        DeliverProgress();
        if (FHandlerFailed || FAbandoned) return;
        if (result == S_OK) {
          if (FOnDownloadComplete) FOnDownloadComplete(this);
        } else if (FOnDownloadError) {
          FOnDownloadError(this, result);
        }
      });
    } catch (...) {
      // An error in a final handler ends the run quietly: there is nobody to tell.
    }
  }
}

HRESULT TFileDownLoadThread::Run() {
  TTargetLock target(FFileName, [this] { return Terminated(); });
  if (!target.Held() || Terminated()) return E_ABORT;

  // The temporary file's name is longer than the target's: both in the long form.
  const std::wstring landing = ui::LongPath(FFileName);
  TPartialFile partial(PartFilePath(landing, GetCurrentProcessId(), GetCurrentThreadId()));
  detail::SetPartFile(this, partial.Path());

  TValidators sent = LoadValidators(FRevalidation, FFileName);
  RaiseConnectionLimits();
  THttpResponse response;
  HRESULT result = E_FAIL;
  bool aborted = false;
  bool useService = sent.Empty();
  if (!useService) {
    result = detail::FetchConditional(
        FURL, sent, partial.Path(),
        [this](ULONG progress, ULONG progressMax, ULONG statusCode) {
          DownloadProgress(progress, progressMax, statusCode, std::wstring());
          return !Terminated() && !FHandlerFailed;
        },
        response, useService);
    aborted = result == E_ABORT;
  }
  if (useService) {
    std::unique_ptr<TDownLoadMonitor, TMonitorRelease> monitor(new TDownLoadMonitor(this));
    monitor->SetConditions(sent);
    FMonitor = monitor.get();
    result = URLDownloadToFileW(nullptr, FURL.c_str(), partial.Path().c_str(), 0,
                                static_cast<IBindStatusCallback*>(monitor.get()));
    monitor->DetachThread();
    FMonitor = nullptr;
    response = monitor->Response();
    aborted = monitor->Abort();
  }
  FHttpStatus = response.Status;

  if (aborted) return E_ABORT;  // our abort, whatever the service made of it
  DWORD status = response.Status;
  // Not modified since the validators we sent: the file we have is the current one,
  // whatever the service made of an answer without a body.
  if (status == 304 && !sent.Empty()) {
    FNotModified = true;
    NoteLanded(FRevalidation, FFileName, response.Validators, false);
    return S_OK;
  }
  if (result != S_OK) return result;
  if (status != 0 && (status < 200 || status > 299))
    return status == 404 || status == 410 ? kErrorNotFound : kErrorHttpStatus;
  // A compressed body arrives decoded: no announced or reported length says how long
  // the file must be, so only the content check can judge it.
  long long expected = response.ContentEncoded ? -1 : response.ContentLength;
  if (expected < 0 && FProgressMax > 0 && !response.ContentEncoded) expected = FProgressMax;
  long long received = FileSize(partial.Path());
  if (received < 0 || (expected >= 0 && received != expected)) return kErrorIncomplete;
  if (FContentCheck && !Accepts(FContentCheck, partial.Path(), expected >= 0))
    return kErrorRejected;
  if (!MoveFileExW(partial.Path().c_str(), landing.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return HRESULT_FROM_WIN32(GetLastError());
  NoteLanded(FRevalidation, FFileName, response.Validators, true);
  return S_OK;
}

void TFileDownLoadThread::DownloadProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                           const std::wstring&) {
  FProgress = progress;
  FProgressMax = progressMax;
  // Only reports about the body carry byte counts; the ones before it (finding the
  // host, connecting, sending the request) would show a finished 0-of-0 transfer.
  bool aboutData = statusCode == BINDSTATUS_BEGINDOWNLOADDATA ||
                   statusCode == BINDSTATUS_DOWNLOADINGDATA ||
                   statusCode == BINDSTATUS_ENDDOWNLOADDATA;
  if (FOnDownloadProgress && aboutData && !FAbandoned) {
    FShownProgress = (static_cast<uint64_t>(progressMax) << 32) | progress;
    // One queued delivery per thread at most: it shows whatever is newest when it runs.
    if (!FProgressQueued.exchange(true)) {
      std::weak_ptr<TFileDownLoadThread> self = weak_from_this();
      bool posted = detail::PostToWindowThread([self] {
        if (auto thread = self.lock()) thread->DeliverProgress();
      });
      // Without the relay (not created on a window thread) the hand-off waits.
      if (!posted) ui::Application().Synchronize([this] { DeliverProgress(); });
    }
  }
  if ((Terminated() || FHandlerFailed) && FMonitor != nullptr) FMonitor->SetAbort();
}

void TFileDownLoadThread::DeliverProgress() {
  if (!FProgressQueued.exchange(false) || FAbandoned) return;
  uint64_t shown = FShownProgress;
  try {
    FOnDownloadProgress(this, static_cast<uint32_t>(shown), static_cast<uint32_t>(shown >> 32));
  } catch (...) {
    // The exception cannot cross the download service; it ends the run quietly instead.
    FHandlerFailed = true;
  }
}

}  // namespace download
