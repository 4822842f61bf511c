#include "download/WorkerPool.h"

#include <windows.h>
#include <objbase.h>
#include <process.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "base/Exception.h"

namespace download::detail {

namespace {

constexpr auto kIdleLife = std::chrono::seconds(60);

// Never destroyed: workers still waiting when the process ends may touch it during
// static destruction.
struct TPool {
  std::mutex Mutex;
  std::condition_variable WorkArrived;
  struct TWork {
    unsigned long long Id;
    std::function<void()> Run;
  };
  std::deque<TWork> Work;
  unsigned long long LastId = 0;
  int Workers = 0;        // alive
  int Idle = 0;           // waiting for work
  bool Starting = false;  // a worker has been started and has not yet taken work
};

TPool& Pool() {
  static TPool* pool = new TPool;
  return *pool;
}

// More work waits than idle workers will take: another worker is needed, unless one
// is on its way (it looks again once it runs). Called with the lock held.
bool NeedsWorker(const TPool& pool) {
  return !pool.Starting && pool.Work.size() > static_cast<size_t>(pool.Idle);
}

unsigned __stdcall WorkerMain(void*);

// Starts one worker; `Starting` is set by the caller. False when the platform refuses.
bool StartWorker() {
  TPool& pool = Pool();
  {
    std::lock_guard lock(pool.Mutex);
    ++pool.Workers;
  }
  uintptr_t handle = _beginthreadex(nullptr, 0, &WorkerMain, nullptr, 0, nullptr);
  if (handle != 0) {
    CloseHandle(reinterpret_cast<HANDLE>(handle));
    return true;
  }
  std::lock_guard lock(pool.Mutex);
  --pool.Workers;
  pool.Starting = false;
  return false;
}

unsigned __stdcall WorkerMain(void*) {
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  TPool& pool = Pool();
  std::unique_lock lock(pool.Mutex);
  pool.Starting = false;
  for (;;) {
    if (pool.Work.empty()) {
      ++pool.Idle;
      bool arrived = pool.WorkArrived.wait_for(lock, kIdleLife, [&] { return !pool.Work.empty(); });
      --pool.Idle;
      if (!arrived) break;
    }
    std::function<void()> work = std::move(pool.Work.front().Run);
    pool.Work.pop_front();
    bool another = NeedsWorker(pool);
    if (another) pool.Starting = true;
    lock.unlock();
    // A refused start leaves the rest of the work to the workers there are.
    if (another) StartWorker();
    work();
    work = nullptr;
    lock.lock();
  }
  --pool.Workers;
  lock.unlock();
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}

}  // namespace

void RunOnWorker(std::function<void()> work) {
  TPool& pool = Pool();
  bool start = false;
  unsigned long long id = 0;
  {
    std::lock_guard lock(pool.Mutex);
    id = ++pool.LastId;
    pool.Work.push_back({id, std::move(work)});
    start = NeedsWorker(pool);
    if (start) pool.Starting = true;
  }
  pool.WorkArrived.notify_one();
  if (!start || StartWorker()) return;
  // No worker could be started; when there is none at all, nobody would ever run it.
  std::lock_guard lock(pool.Mutex);
  if (pool.Workers > 0) return;
  std::erase_if(pool.Work, [id](const TPool::TWork& queued) { return queued.Id == id; });
  throw Exception("cannot start a download thread");
}

int WorkerCount() {
  std::lock_guard lock(Pool().Mutex);
  return Pool().Workers;
}

}  // namespace download::detail
