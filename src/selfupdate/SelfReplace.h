// Swapping the running executable for the downloaded "VornisTools2.exe".
//
// The running file cannot be deleted or overwritten, only renamed, so the swap moves it
// aside to "<name>.old", copies the new file into its place and leaves the rest to a
// batch file, "delme.bat", which waits until the old process has gone (the ".old" file
// becomes deletable), deletes both left-overs, starts the new copy and deletes itself.
//
// What it does not do: check the new file (see PeImage.h), record versions, or close
// the window; the main window does those around it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "base/Exception.h"

namespace selfupdate {

// The copy put in place is not the executable that passed the checks.
class ESwapRefused : public Exception {
 public:
  using Exception::Exception;
};

// Judges the copy put in place, through a handle that nobody can write through while it
// is open (read from the start); true when it may be started.
using TCopyCheck = std::function<bool(HANDLE copy)>;

// Where the downloaded executable lies: the exe's folder + "VornisTools2.exe".
std::wstring NewExePath(const std::wstring& exePath);
// The exe path with its extension changed to ".old".
std::wstring OldExePath(const std::wstring& exePath);
// The exe's folder + "delme.bat".
std::wstring BatchPath(const std::wstring& exePath);

// `path` as one argument of a batch-file command: in double quotes, where blanks, "&",
// "^", "(", ")" and "!" (delayed expansion stays off) are literal, with "%" doubled so
// the batch's variable expansion gives it back.
std::wstring QuoteForBatch(const std::wstring& path);

// The lines of "delme.bat" for an executable at `exePath`, each ended by CR LF: it tries
// to delete both left-overs once a second for at most `waitSeconds`, then starts the
// executable without waiting for it and deletes itself. The batch runs with the exe's folder as its
// current directory and names every file relative to it, so no folder text appears in it: only the
// exe's own file name.
constexpr int kSwapWaitSeconds = 60;
std::wstring DelmeBatchText(const std::wstring& exePath, int waitSeconds = kSwapWaitSeconds);

// `text` in the OEM code page, the one cmd.exe reads a batch file in (on Western
// systems it differs from the ANSI one). Throws Exception when a character has no form
// there (the batch would name another file).
std::string ToBatchCodePage(const std::wstring& text);

// Why the swap cannot work for an executable at `exePath`, as the user-visible notice,
// or "" when it can: cmd.exe refuses a network path (\\server\share\...) as its current
// directory, and the batch cannot name a file whose name has no form in its code page.
std::wstring SwapRefusal(const std::wstring& exePath);

// The swap: moves the running executable aside, copies the new one into its place,
// opens the copy so nobody can change it and has `checkCopy` judge it, writes
// "delme.bat" beside it and starts it hidden through the command interpreter, in the
// exe's folder, without waiting. Throws Exception when a step fails (also when
// SwapRefusal names a reason, before any file is touched), ESwapRefused when the check
// refuses the copy, after undoing the earlier steps: the executable at `exePath` is then
// the one that runs now. The caller must end the process soon after a successful return.
void ReplaceExecutable(const std::wstring& exePath, const TCopyCheck& checkCopy = nullptr);

}  // namespace selfupdate
