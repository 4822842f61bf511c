// The revalidation of a file we hold, made straight through WinINet instead of the URL
// download service: the service costs several times more per request, and a refresh
// revalidates every archive of the catalogue, most of them answered "304 Not Modified".
// The request sends no cookies (they cost as much again), so an answer that asks for
// credentials hands the request back to the service, which sends the browser's.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "download/DownLoadMonitor.h"

namespace download::detail {

// Told of each report about the body, as the service reports it (BINDSTATUS_*DATA);
// answers false to end the transfer.
using TBodyProgress = std::function<bool(ULONG progress, ULONG progressMax, ULONG statusCode)>;

// GETs `url` with the validators `held`, past every cache, and fills `response`. A 2xx
// body goes into `partialPath`; nothing is written for any other status. Returns S_OK
// once a response has been read (whatever its status), E_ABORT when `progress` said
// stop, or the HTTP client's or the file's error. Sets `useService` (and writes
// nothing) when the service should make the request instead.
HRESULT FetchConditional(const std::wstring& url, const TValidators& held,
                         const std::wstring& partialPath, const TBodyProgress& progress,
                         THttpResponse& response, bool& useService);

}  // namespace download::detail
