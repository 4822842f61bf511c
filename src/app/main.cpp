// Entry point: the application title, the single-instance guard, the main window and
// the message loop. The settings dialog is the main window's: its first show makes it.
#include <windows.h>

#include <memory>

#include "app/Form1.h"
#include "ui/Application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  ui::TApplication& application = ui::Application();
  application.Initialize(instance);
  application.SetTitle(L"VornisTools");

  // Never released on purpose: the system frees it when the process ends. A mutex that
  // exists but may not be opened (a first copy running elevated) is a first copy too.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, L"VornisTools");
  DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED)) {
    application.ShowNotice(L"程式已經開啟");
    application.Finalize();
    return 0;
  }

  {
    auto form1 = std::make_unique<app::TForm1>();
    application.SetMainForm(form1.get());
    application.Run();
    application.SetMainForm(nullptr);
  }  // the windows and their browser controls go before OLE does
  application.Finalize();
  return 0;
}
