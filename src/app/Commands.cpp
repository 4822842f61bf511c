// The main window's commands that belong to no feature module: game launch, settings,
// about, exit, check for updates and the add-on count record.
#include "app/Form1.h"

#include <shellapi.h>

#include "config/IniFile.h"
#include "config/Paths.h"
#include "ui/Application.h"

namespace app {

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
  std::wstring gamePath = Form2().GamePath();
  ShellExecuteW(Handle(), L"open", gamePath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
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
