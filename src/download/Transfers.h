// What the process knows about its running transfers as a whole: the list of live
// TFileDownLoadThread runs, the way to stop them all before the process ends, and the
// clean-up of temporary files that earlier processes left behind.
//
// Temporary files are named "<target>.<pid>-<thread>.part" (see TFileDownLoadThread);
// nothing else is ever removed by RemoveStalePartFiles.
#pragma once

#include <chrono>
#include <string>

namespace download {

class TFileDownLoadThread;

// Asks every live transfer to stop and to deliver no further notification, then waits
// up to `wait` for them to end, answering calls other threads send to this thread
// meanwhile. True when none is left. Transfers that never receive another progress
// report (a stalled server) cannot be stopped; their temporary files are removed at a
// later start. Any thread; meant for the window thread as the process ends.
bool StopAllTransfers(std::chrono::milliseconds wait);

// Number of transfers running now.
int LiveTransferCount();

// Deletes the temporary files of our own name pattern in `folder` (with or without a
// trailing "\"), except those of transfers running in this process. Returns how many
// were deleted; files that cannot be deleted (still open elsewhere) stay.
int RemoveStalePartFiles(const std::wstring& folder);

// True when `name` (a file name without folder) has the form "<x>.<digits>-<digits>.part"
// with a non-empty x.
bool IsPartFileName(const std::wstring& name);

// The temporary file of a transfer into `target` run by thread `thread` of process
// `process`: "<target>.<process>-<thread>.part" beside the target. Where that name would
// pass the 255-character limit of one path component, the target's name is cut short
// to fit (a thread runs one transfer at a time, so the numbers keep it unique).
std::wstring PartFilePath(const std::wstring& target, unsigned long process, unsigned long thread);

namespace detail {
// Bookkeeping of TFileDownLoadThread: a run registers itself for its whole length and
// names its temporary file before the file exists.
void Register(TFileDownLoadThread* thread);
void SetPartFile(TFileDownLoadThread* thread, const std::wstring& path);
void Unregister(TFileDownLoadThread* thread);
}  // namespace detail

}  // namespace download
