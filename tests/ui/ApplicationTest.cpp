// Calls posted to the window thread: in order, from any thread, after the current
// handler, and errors shown rather than thrown.
#include "ui/Application.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

namespace {

TEST(Application, PostedCallsRunInOrderOnTheWindowThreadOnceTheQueueIsThrough) {
  ui::TApplication& application = ui::Application();
  application.Initialize(GetModuleHandleW(nullptr));
  std::wstring shown;
  application.SetMessageBoxResponder([&](const ui::TMessageBoxRecord& box) {
    shown = box.Text;
    return IDOK;
  });
  std::string trace;
  DWORD windowThread = GetCurrentThreadId();
  application.Post([&] { trace += "a"; });
  std::thread([&] {
    application.Post([&] { trace += GetCurrentThreadId() == windowThread ? "b" : "?"; });
  }).join();
  application.Post([] { throw std::runtime_error("posted"); });
  EXPECT_EQ(trace, "");
  MSG msg;
  for (int i = 0; i < 400 && shown.empty(); ++i) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
  EXPECT_EQ(trace, "ab");
  EXPECT_EQ(shown, L"posted.");
  application.SetMessageBoxResponder(nullptr);
}

}  // namespace
