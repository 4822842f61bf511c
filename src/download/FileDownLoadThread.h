// TFileDownLoadThread: one URL fetched into one local file on a worker thread (one of
// the pool's, see WorkerPool.h; every run gets one at once), with progress, completion
// and failure reported on the window thread.
//
// The application object (ui::Application) must have been initialized on the window
// thread; without its hidden window, Synchronize would run the handlers on the worker.
//
// Every notification runs on the window thread, so handlers may touch controls and
// counters. Progress is posted and coalesced: the worker never waits for the window,
// and a busy window sees fewer reports, each with the newest figures (created off the
// window thread, the worker waits for each report instead). The final notification,
// OnDownloadComplete or OnDownloadError, goes through ui::Application().Synchronize
// and is preceded by any progress still queued, so no report arrives after it. Each
// run ends with exactly one final notification (none when that one is not assigned,
// when a handler threw, or after Abandon(): an exception in a handler ends the worker
// quietly). The worker holds the object alive until that notification has returned,
// then lets it go; callers need not keep it. Live runs are listed (see Transfers.h).
//
// What reaches the target file: the transfer goes into a temporary file beside the
// target ("<target>.<pid>-<thread>.part", see PartFilePath), and only a complete,
// successful transfer replaces the target, in one rename. Complete and successful means:
// the service returned S_OK, the HTTP status was 2xx, the file holds as many bytes as
// the response announced (unless a Content-Encoding makes the decoded file longer than
// that), and the optional content check accepts it (told whether the length proved it
// complete). With a revalidation, the request carries the
// validators of the file at the target, and a "304 Not Modified" to them keeps that file
// and counts as a successful transfer (OnDownloadComplete); such a request goes straight
// through the HTTP client without cookies (see ConditionalFetch.h), with the same
// reports and checks as the service's. Otherwise the target keeps its
// previous content (or stays absent) and the temporary file is removed. The URL cache is
// neither read nor written (see TDownLoadMonitor).
//
// One target, one writer: two downloads in this process whose targets are the same file
// never run at the same time. The later one waits until the earlier has replaced (or
// kept) the file, then fetches again on its own, so the file ends with what the server
// published last and each request still gets its own final notification. A terminate
// request ends the wait with OnDownloadError(E_ABORT).
//
// What it does not do: retry, time out on its own (the HTTP client's time-outs apply),
// limit the number of parallel downloads, or cancel a transfer that receives no data (a
// terminate request takes effect at the next progress report).
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace download {

class TDownLoadMonitor;
class TFileDownLoadThread;

using TDownloadProgressEvent =
    std::function<void(TFileDownLoadThread* sender, uint32_t progress, uint32_t progressMax)>;
using TDownloadNotifyEvent = std::function<void(TFileDownLoadThread* sender)>;
using TDownloadErrorEvent = std::function<void(TFileDownLoadThread* sender, HRESULT errorCode)>;
// Decides, on the worker thread, whether a received file may replace the target (e.g. a
// ZIP end record, an INI that parses, a PE image). `lengthProven` says whether the file
// holds exactly the length the server announced; without that (a compressed answer, or
// none announced) only the content can show that nothing is missing. An exception
// counts as a refusal.
using TContentCheck = std::function<bool(const std::wstring& path, bool lengthProven)>;

// What identifies the version of a file the server sent: its ETag and Last-Modified
// header values, as received (empty when not sent).
struct TValidators {
  std::wstring ETag;
  std::wstring LastModified;
  bool Empty() const { return ETag.empty() && LastModified.empty(); }
};

// Revalidation of a file already at the target. Both run on the worker while the run
// holds the target (see below); an exception in either counts as no validators, or is
// ignored.
struct TRevalidation {
  // The validators of the file now at the target; they are sent as If-None-Match and
  // If-Modified-Since. Empty ones fetch unconditionally.
  std::function<TValidators(const std::wstring& target)> Load;
  // The target holds what the server publishes now: `replaced` when a complete transfer
  // has just replaced it, false when the server answered 304 Not Modified and it was
  // kept. `response` holds the validators of that answer.
  std::function<void(const std::wstring& target, const TValidators& response, bool replaced)>
      Landed;
};

// Error codes of failures the download service itself reports as success.
inline constexpr HRESULT kErrorNotFound = INET_E_OBJECT_NOT_FOUND;    // HTTP 404 or 410
inline constexpr HRESULT kErrorHttpStatus = INET_E_DOWNLOAD_FAILURE;  // any other non-2xx
inline constexpr HRESULT kErrorIncomplete =
    INET_E_DATA_NOT_AVAILABLE;  // fewer/more bytes than announced
inline constexpr HRESULT kErrorRejected =
    HRESULT_FROM_WIN32(ERROR_INVALID_DATA);  // content check said no

class TFileDownLoadThread : public std::enable_shared_from_this<TFileDownLoadThread> {
 public:
  // Creates the run. It starts at once unless createSuspended is true or any of the
  // three notifications is missing; then it waits for Resume(). Throws Exception when
  // no worker thread can be had. Dropping the last reference to a run that never
  // started cancels it; a started run keeps itself alive until its final notification
  // has returned.
  static std::shared_ptr<TFileDownLoadThread> Create(
      std::wstring url, std::wstring fileName, TDownloadProgressEvent onDownloadProgress,
      TDownloadNotifyEvent onDownloadComplete, TDownloadErrorEvent onDownloadError,
      bool createSuspended, TContentCheck contentCheck = nullptr, TRevalidation revalidation = {});
  ~TFileDownLoadThread();
  TFileDownLoadThread(const TFileDownLoadThread&) = delete;
  TFileDownLoadThread& operator=(const TFileDownLoadThread&) = delete;

  // Lets a suspended run start; later calls do nothing. Any thread. Throws Exception
  // when no worker thread can be had (the run then stays suspended).
  void Resume();
  bool Suspended() const { return !FStarted; }
  // Asks the run to stop: the next progress report aborts the transfer (E_ABORT), and a
  // run still waiting for its target ends at once. Any thread.
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }
  // Terminate, and deliver no notification from now on (the window is going away).
  void Abandon() {
    FAbandoned = true;
    FTerminated = true;
  }

  const std::wstring& URL() const { return FURL; }
  const std::wstring& FileName() const { return FFileName; }
  // From the last progress report.
  uint32_t Progress() const { return FProgress; }
  uint32_t ProgressMax() const { return FProgressMax; }
  // Status of the last HTTP response, 0 before one arrived (or for other schemes).
  DWORD HttpStatus() const { return FHttpStatus; }
  // The run ended with a 304 that kept the file at the target.
  bool NotModified() const { return FNotModified; }

  // Progress relay, called by the monitor on the worker thread: stores the counts, runs
  // OnDownloadProgress on the window thread for reports about the body (begin,
  // downloading, end of data; the earlier ones carry no byte counts) without waiting
  // for it, and arms the monitor's abort when a terminate request (or an exception in
  // the progress handler) has arrived meanwhile.
  void DownloadProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                        const std::wstring& statusText);

 private:
  TFileDownLoadThread(std::wstring url, std::wstring fileName,
                      TDownloadProgressEvent onDownloadProgress,
                      TDownloadNotifyEvent onDownloadComplete, TDownloadErrorEvent onDownloadError,
                      TContentCheck contentCheck, TRevalidation revalidation);
  void Execute();
  // The transfer into the temporary file and the replacement; returns the final result.
  HRESULT Run();
  // Window thread: runs OnDownloadProgress with the newest figures if a report is queued.
  void DeliverProgress();

  const std::wstring FURL;
  const std::wstring FFileName;
  std::atomic<uint32_t> FProgress{0};
  std::atomic<uint32_t> FProgressMax{0};
  const TDownloadProgressEvent FOnDownloadProgress;
  const TDownloadNotifyEvent FOnDownloadComplete;
  const TDownloadErrorEvent FOnDownloadError;
  TDownLoadMonitor* FMonitor = nullptr;  // worker thread only; not a counted reference
  const TContentCheck FContentCheck;
  const TRevalidation FRevalidation;

  std::atomic<bool> FStarted{false};
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FAbandoned{false};
  std::atomic<bool> FHandlerFailed{false};
  std::atomic<bool> FProgressQueued{false};
  std::atomic<uint64_t> FShownProgress{0};  // maximum << 32 | progress of the newest report
  std::atomic<DWORD> FHttpStatus{0};
  std::atomic<bool> FNotModified{false};
};

}  // namespace download
