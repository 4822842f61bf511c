// What the WinINet requests of this library share: an owning handle, and the time-outs
// that keep a silent server from holding a thread forever.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>

namespace download::detail {

struct TInternetCloser {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using TInternetHandle = std::unique_ptr<void, TInternetCloser>;

// Connecting, sending and each wait for data give up after 30 s.
inline void SetTimeouts(HINTERNET session) {
  DWORD timeout = 30000;
  InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
  InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
  InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
}

}  // namespace download::detail
