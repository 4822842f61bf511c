// The threads transfers run on. A transfer used to start a thread of its own, and
// starting a thread costs the caller about a millisecond here (more under load): a
// refresh that starts dozens of transfers, and starts the next one at every
// completion, paid that on the window thread. Workers are kept instead and handed the
// next piece of work.
//
// Every piece of work gets a worker at once: the pool has no upper bound, so transfers
// still all run side by side, and one waiting for another (one target, one writer)
// never holds up a third. New workers are started by the worker started before them,
// not by the caller, so a burst costs the caller at most one thread start. A worker
// idle for a minute ends. Workers run with COM initialised apartment-threaded, and are
// never joined: work still running when the process ends is ended with it (see
// StopAllTransfers).
#pragma once

#include <functional>

namespace download::detail {

// Runs `work` on a pooled worker. `work` must not throw. Throws Exception when no
// worker exists and none can be started; the work is then not run.
void RunOnWorker(std::function<void()> work);

// Number of workers alive (busy or idle); for tests.
int WorkerCount();

}  // namespace download::detail
