// The main window's commands that belong to no feature module: game launch, settings,
// about, exit, check for updates and the add-on count record.
#include "app/Form1.h"

#include <shellapi.h>

#include "base/Exception.h"
#include "config/IniFile.h"
#include "config/Paths.h"
#include "ui/Application.h"

namespace app {

namespace {

// The system's own text for an error code, without its line break.
std::string SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer ? buffer : L"", length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) text = L"Error " + std::to_wstring(code);
  return ui::Narrow(text);
}

// Opens the game through the shell in its own folder (games load their data relative to
// it); throws the system's error text when it does not start. The shell shows no box of
// its own, so the user sees the failure once. Answers the game's process (null when the
// shell started it through another program), for the caller to close.
HANDLE StartGame(HWND owner, const std::wstring& gamePath) {
  std::wstring folder = config::GameDir(config::Trim(gamePath));
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = owner;
  info.lpVerb = L"open";
  info.lpFile = gamePath.c_str();
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) throw Exception(SystemErrorText(GetLastError()));
  return info.hProcess;
}

}  // namespace

void TForm1::ShowSettings() {
  Form2().ShowModal();
}

bool TForm1::RequireGamePath() {
  if (config::IsGamePathSet(Form2().GamePath())) return true;
  ui::Application().ShowNotice(L"請設定遊戲安裝位置");
  ShowSettings();
  return false;
}

void TForm1::BitBtn3Click() {
  if (!RequireGamePath()) return;
  WatchGame(StartGame(Handle(), Form2().GamePath()));
  Button10->Click();
  Close();
}

void TForm1::Button10Click() {
  config::TIniFile(config::ConfigIniPath()).WriteInteger(L"updata", L"num", ListView1->Count());
}

void TForm1::Button7Click() {
  ShowSettings();
}
void TForm1::StopTaskMClick() {
  ShowSettings();
}
void TForm1::N11Click() {
  ShowSettings();
}

void TForm1::N7Click() {
  ui::Application().ShowNotice(L"author Orin");
}

void TForm1::N14Click() {
  FCanQuit = true;
  Close();
}

void TForm1::N3Click() {
  FCanQuit = true;
  Close();
}

void TForm1::UI1Click() {
  Button3->Click();
}
void TForm1::N13Click() {
  Button3->Click();
}
void TForm1::N17Click() {
  BitBtn3->Click();
}
void TForm1::N4Click() {
  Button2->Click();
}

}  // namespace app
