// Subclass chains on real windows: call order, passing on, removal while running, the
// window's own procedure given back, and the end of a chain with its window.
#include "ui/Subclass.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

std::wstring gTrace;

// Appends its id to the trace, then passes the message on; id 9 removes itself first.
LRESULT CALLBACK Recorder(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                          DWORD_PTR data) {
  if (message == WM_USER) {
    gTrace += static_cast<wchar_t>(L'0' + id);
    if (data) gTrace += L'*';
    if (id == 9) ui::RemoveSubclass(window, Recorder, id);
  }
  if (message == WM_NCDESTROY) gTrace += L'x';
  return ui::DefSubclass(window, message, wParam, lParam);
}

HWND MakeWindow() {
  return CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                         nullptr);
}

TEST(Subclass, LastInstalledRunsFirstAndPassesOnToTheWindow) {
  HWND window = MakeWindow();
  auto original = GetWindowLongPtrW(window, GWLP_WNDPROC);
  ASSERT_TRUE(ui::SetSubclass(window, Recorder, 1, 0));
  ASSERT_TRUE(ui::SetSubclass(window, Recorder, 2, 0));
  ASSERT_TRUE(ui::SetSubclass(window, Recorder, 1, 1));  // same pair: new data only
  gTrace.clear();
  SendMessageW(window, WM_USER, 0, 0);
  EXPECT_EQ(gTrace, L"21*");
  // The static control's own procedure still answers.
  SetWindowTextW(window, L"abc");
  EXPECT_EQ(GetWindowTextLengthW(window), 3);

  EXPECT_TRUE(ui::RemoveSubclass(window, Recorder, 2));
  EXPECT_FALSE(ui::RemoveSubclass(window, Recorder, 2));
  EXPECT_TRUE(ui::RemoveSubclass(window, Recorder, 1));
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), original);
  DestroyWindow(window);
}

TEST(Subclass, AProcedureRemovingItselfStillPassesOnAndTheChainEndsWithItsWindow) {
  HWND window = MakeWindow();
  ui::SetSubclass(window, Recorder, 1, 0);
  ui::SetSubclass(window, Recorder, 9, 0);
  ui::SetSubclass(window, Recorder, 3, 0);
  gTrace.clear();
  SendMessageW(window, WM_USER, 0, 0);
  SendMessageW(window, WM_USER, 0, 0);
  EXPECT_EQ(gTrace, L"39131");
  gTrace.clear();
  DestroyWindow(window);
  EXPECT_EQ(gTrace, L"xx");
  // Nothing of the chain is left for a later window with the same handle.
  EXPECT_FALSE(ui::RemoveSubclass(window, Recorder, 1));
}

TEST(Subclass, OnlyTheOwningThreadSubclasses) {
  HWND window = MakeWindow();
  bool installed = true;
  std::pair<HWND, bool*> args{window, &installed};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* parameter) -> DWORD {
        auto* args = static_cast<std::pair<HWND, bool*>*>(parameter);
        *args->second = ui::SetSubclass(args->first, Recorder, 1, 0);
        return 0;
      },
      &args, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_FALSE(installed);
  DestroyWindow(window);
}

}  // namespace
