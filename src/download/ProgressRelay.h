// Hands calls from workers to the window thread without waiting for them: a
// message-only window on the window thread receives one posted message per call.
//
// Used for progress, where only the newest figures matter and a worker must never wait
// for a busy window; callers coalesce so that at most one call per worker is queued.
#pragma once

#include <functional>

namespace download::detail {

// Creates the relay window on the calling thread, once per process. Call it on the
// window thread; later calls from any thread do nothing.
void CreateProgressRelay();

// Queues `fn` to run on the thread of the relay window, inside its message dispatch.
// False (and `fn` dropped) when there is no relay or the queue refuses the message.
bool PostToWindowThread(std::function<void()> fn);

}  // namespace download::detail
