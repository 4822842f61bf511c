#include "ui/Subclass.h"

#include <memory>
#include <vector>

namespace ui {

void TWindowTable::Set(HWND window, void* object) {
  AcquireSRWLockExclusive(&FLock);
  FObjects[window] = object;
  ReleaseSRWLockExclusive(&FLock);
}

void TWindowTable::Remove(HWND window) {
  AcquireSRWLockExclusive(&FLock);
  FObjects.erase(window);
  ReleaseSRWLockExclusive(&FLock);
}

void* TWindowTable::Get(HWND window) const {
  AcquireSRWLockShared(&FLock);
  auto found = FObjects.find(window);
  void* object = found == FObjects.end() ? nullptr : found->second;
  ReleaseSRWLockShared(&FLock);
  return object;
}

namespace {

// One installed procedure. A removed entry keeps its link to the next one, so that a
// call running inside it still finds the rest of the chain.
struct TEntry {
  SUBCLASSPROC Proc;
  UINT_PTR Id;
  DWORD_PTR Data;
  bool Removed = false;
  std::shared_ptr<TEntry> Next;
};

// The chain of one window. A window's messages all run on the thread that owns it, so
// only the table of chains is shared between threads.
struct TChain {
  WNDPROC Original = nullptr;
  std::shared_ptr<TEntry> First;
  // The entries running now, innermost last (a procedure may send the window another
  // message, which starts again at the first entry).
  std::vector<std::shared_ptr<TEntry>> Running;
};

LRESULT CALLBACK ChainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Chains are created once and never freed before the process ends: a chain may be
// needed by a window destroyed during static destruction.
struct TChains {
  SRWLOCK Lock = SRWLOCK_INIT;
  std::unordered_map<HWND, std::shared_ptr<TChain>> Windows;

  std::shared_ptr<TChain> Find(HWND window) {
    AcquireSRWLockShared(&Lock);
    auto found = Windows.find(window);
    std::shared_ptr<TChain> chain = found == Windows.end() ? nullptr : found->second;
    ReleaseSRWLockShared(&Lock);
    return chain;
  }
  void Erase(HWND window) {
    AcquireSRWLockExclusive(&Lock);
    Windows.erase(window);
    ReleaseSRWLockExclusive(&Lock);
  }
};

TChains& Chains() {
  static TChains* chains = new TChains;
  return *chains;
}

// Ends a chain with no procedure left and none running: the window gets its own
// procedure back unless someone subclassed it after us.
void DropIfEmpty(HWND window, TChain& chain) {
  if (chain.First || !chain.Running.empty()) return;
  if (GetWindowLongPtrW(window, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&ChainProc)) return;
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(chain.Original));
  Chains().Erase(window);
}

LRESULT CallFrom(HWND window, TChain& chain, std::shared_ptr<TEntry> entry, UINT message,
                 WPARAM wParam, LPARAM lParam) {
  while (entry && entry->Removed) entry = entry->Next;
  if (!entry) return CallWindowProcW(chain.Original, window, message, wParam, lParam);
  chain.Running.push_back(entry);
  struct TPop {
    TChain& Chain;
    ~TPop() { Chain.Running.pop_back(); }
  } pop{chain};
  return entry->Proc(window, message, wParam, lParam, entry->Id, entry->Data);
}

LRESULT CALLBACK ChainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<TChain> chain = Chains().Find(window);
  if (!chain) return DefWindowProcW(window, message, wParam, lParam);
  LRESULT result = CallFrom(window, *chain, chain->First, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The handle may soon name another window.
    chain->First.reset();
    Chains().Erase(window);
  } else {
    DropIfEmpty(window, *chain);
  }
  return result;
}

}  // namespace

bool SetSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data) {
  if (!window || !proc) return false;
  std::shared_ptr<TChain> chain = Chains().Find(window);
  // As with the system's helper, only the thread that owns a window subclasses it.
  if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return false;
  if (!chain) {
    chain = std::make_shared<TChain>();
    SetLastError(ERROR_SUCCESS);
    chain->Original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChainProc)));
    if (!chain->Original) return false;
    AcquireSRWLockExclusive(&Chains().Lock);
    Chains().Windows[window] = chain;
    ReleaseSRWLockExclusive(&Chains().Lock);
  }
  for (TEntry* entry = chain->First.get(); entry; entry = entry->Next.get()) {
    if (entry->Proc == proc && entry->Id == id) {
      entry->Data = data;
      return true;
    }
  }
  auto entry = std::make_shared<TEntry>(TEntry{proc, id, data, false, chain->First});
  chain->First = std::move(entry);
  return true;
}

bool RemoveSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id) {
  std::shared_ptr<TChain> chain = Chains().Find(window);
  if (!chain) return false;
  std::shared_ptr<TEntry>* link = &chain->First;
  while (*link && !((*link)->Proc == proc && (*link)->Id == id)) link = &(*link)->Next;
  if (!*link) return false;
  std::shared_ptr<TEntry> entry = *link;
  entry->Removed = true;
  *link = entry->Next;
  DropIfEmpty(window, *chain);
  return true;
}

LRESULT DefSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<TChain> chain = Chains().Find(window);
  if (!chain) return DefWindowProcW(window, message, wParam, lParam);
  if (chain->Running.empty())
    return CallWindowProcW(chain->Original, window, message, wParam, lParam);
  std::shared_ptr<TEntry> next = chain->Running.back()->Next;
  return CallFrom(window, *chain, std::move(next), message, wParam, lParam);
}

}  // namespace ui
