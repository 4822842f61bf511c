// Launcher of bench/startup.sh: starts each given program RUNS times, in turn, and
// prints one line per start:
//   LABEL visible_ms=N painted_ms=N working_set_kib=N first_row_ms=N
// visible: from just before CreateProcess until a top-level window of the process is
// visible with a size (at least 100 x 100); painted: until that window and every
// visible window inside it have no part left to paint; working set: the process's,
// 3 s after the start; first row: until a list view inside the window holds a row and
// has painted it (-1 for a window without a list, or none within 30 s). Visibility is
// looked for every 1 ms, the paint every 4 ms, the first row every 20 ms. Each program
// is started in its own folder and ended before the next one starts.
//   startwatch RUNS LABEL PROGRAM [LABEL PROGRAM...]
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

LARGE_INTEGER gFrequency;

double Milliseconds(const LARGE_INTEGER& start) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return double(now.QuadPart - start.QuadPart) * 1000.0 / double(gFrequency.QuadPart);
}

struct TFind {
  DWORD Pid;
  HWND Found;
};

BOOL CALLBACK FindShown(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<TFind*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  RECT rect;
  if (pid == find->Pid && IsWindowVisible(window) && GetWindowRect(window, &rect) &&
      rect.right - rect.left >= 100 && rect.bottom - rect.top >= 100) {
    find->Found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindUnpainted(HWND window, LPARAM param) {
  if (IsWindowVisible(window) && GetUpdateRect(window, nullptr, FALSE)) {
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
  }
  return TRUE;
}

bool Painted(HWND window) {
  bool unpainted = GetUpdateRect(window, nullptr, FALSE) != FALSE;
  if (!unpainted) EnumChildWindows(window, FindUnpainted, reinterpret_cast<LPARAM>(&unpainted));
  return !unpainted;
}

BOOL CALLBACK FindList(HWND window, LPARAM param) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (lstrcmpW(name, WC_LISTVIEWW) != 0) return TRUE;
  *reinterpret_cast<HWND*>(param) = window;
  return FALSE;
}

void RunOnce(const std::wstring& label, const std::wstring& program) {
  std::wstring dir = program.substr(0, program.find_last_of(L"\\/") + 1);
  std::wstring commandLine = L"\"" + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      dir.c_str(), &startup, &process)) {
    std::fprintf(stderr, "cannot start %ls (%lu)\n", program.c_str(), GetLastError());
    std::exit(1);
  }
  double visible = -1, painted = -1, firstRow = -1;
  SIZE_T workingSet = 0;
  TFind find{process.dwProcessId, nullptr};
  HWND list = nullptr;
  bool rowsDone = false;
  for (;;) {
    double now = Milliseconds(start);
    if (visible < 0) {
      EnumWindows(FindShown, reinterpret_cast<LPARAM>(&find));
      if (find.Found) {
        visible = now;
        EnumChildWindows(find.Found, FindList, reinterpret_cast<LPARAM>(&list));
        rowsDone = !list;
      }
    } else if (painted < 0 && Painted(find.Found)) {
      painted = now;
    }
    if (!workingSet && now >= 3000) {
      PROCESS_MEMORY_COUNTERS counters{};
      counters.cb = sizeof(counters);
      if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters)))
        workingSet = counters.WorkingSetSize;
    }
    if (list && !rowsDone && firstRow < 0) {
      DWORD_PTR rows = 0;
      if (SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &rows) && rows > 0 &&
          Painted(list))
        firstRow = Milliseconds(start);
    }
    if (firstRow >= 0) rowsDone = true;
    bool windowDone = painted >= 0 || now > 30000;
    if (workingSet && windowDone && (rowsDone || now > 30000)) break;
    // Each look at a window is a call to the Wine server, which the started program
    // needs too: after the window shows, its many child windows are looked at less often.
    DWORD pause = visible < 0 ? 1 : painted < 0 ? 4 : 20;
    if (WaitForSingleObject(process.hProcess, pause) == WAIT_OBJECT_0) {
      std::fprintf(stderr, "%ls ended early\n", label.c_str());
      break;
    }
  }
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::printf("%ls visible_ms=%.1f painted_ms=%.1f working_set_kib=%llu first_row_ms=%.1f\n",
              label.c_str(), visible, painted, static_cast<unsigned long long>(workingSet / 1024),
              firstRow);
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4 || argc % 2 != 0) {
    std::fprintf(stderr, "usage: startwatch RUNS LABEL PROGRAM [LABEL PROGRAM...]\n");
    return 2;
  }
  QueryPerformanceFrequency(&gFrequency);
  int runs = _wtoi(argv[1]);
  for (int run = 0; run < runs; ++run)
    for (int i = 2; i + 1 < argc; i += 2) RunOnce(argv[i], argv[i + 1]);
  return 0;
}
