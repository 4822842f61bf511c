// The self-update of the main window: the version comparison after each show, the
// download of the new executable, and the swap six seconds after it has arrived.
#include "app/Form1.h"
#include "base/Exception.h"
#include "config/IniFile.h"
#include "config/Paths.h"
#include "selfupdate/PeImage.h"
#include "selfupdate/SelfReplace.h"

namespace app {

void TForm1::Timer1Timer() {
  Timer1.SetEnabled(false);
  // The catalogue reload (which asks for the game path and waits for the settings
  // dialog when it is not set), then the archive refresh once more.
  Button3->Click();
  Button4->Click();

  std::wstring versionFile = config::UpdateIniPath();
  if (GetFileAttributesW(versionFile.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  ServerVersion = config::TIniFile(versionFile).ReadInteger(L"updataver", L"ver", 0);
  // Any difference updates, also to a lower number: the server's build is the wanted one.
  if (InstalledVersion == ServerVersion) return;
  // Only a whole executable for this machine may replace the file on disk; anything
  // else ends as a failed download ("檢查完成").
  StartDownload(
      UpdateServerUrl(L"/VornisTools.exe"), selfupdate::NewExePath(config::ExePath()),
      [this] { NewVersionDownloaded(); }, selfupdate::IsExecutableForThisMachine);
}

void TForm1::NewVersionDownloaded() {
  Timer3.SetInterval(6000);
  Timer3.SetEnabled(true);
}

void TForm1::Timer3Timer() {
  // One attempt per download: a failure is reported once, not every six seconds.
  Timer3.SetEnabled(false);
  // The file may have changed since its download was checked.
  if (!selfupdate::IsExecutableForThisMachine(selfupdate::NewExePath(config::ExePath()))) {
    Label6->SetCaption(L"檢查完成");
    return;
  }
  try {
    config::TIniFile ini(config::ConfigIniPath());
    ini.WriteInteger(L"updataver", L"ver", ServerVersion);
    try {
      ReplaceSelf();
    } catch (...) {
      // Nothing was swapped: the recorded number goes back, so the next show tries again.
      try {
        ini.WriteInteger(L"updataver", L"ver", InstalledVersion);
      } catch (const std::exception&) {
      }
      throw;
    }
  } catch (const std::exception&) {
    throw Exception("contact Orin");
  }
}

void TForm1::ReplaceSelf() {
  selfupdate::ReplaceExecutable(config::ExePath());
  // The batch waits until this process has ended before it starts the new copy.
  FCanQuit = true;
  Close();
}

}  // namespace app
