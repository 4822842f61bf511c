// The self-update of the main window: the version comparison after each show, the
// download of the new executable, and the swap six seconds after it has arrived.
#include <string_view>

#include "app/Form1.h"
#include "base/Exception.h"
#include "config/IniFile.h"
#include "config/Paths.h"
#include "install/ContentChecks.h"
#include "selfupdate/PeImage.h"
#include "selfupdate/SelfReplace.h"
#include "selfupdate/SignedDownload.h"
#include "ui/Application.h"

namespace app {

void TForm1::Timer1Timer() {
  Timer1.SetEnabled(false);
  StartPendingVersionCheck();
  // The catalogue reload (which asks for the game path and waits for the settings
  // dialog when it is not set), then the archive refresh once more.
  Button3->Click();
  Button4->Click();

  // Only a version file that states a number counts: a missing file, a page that is no
  // INI file, a missing section or key and a value that is no 32-bit integer all mean
  // no update in this show, never "version 0".
  // A new executable already on its way or waiting for the swap is this show's too.
  if (FNewExeSignature) return;
  std::wstring versionFile = config::UpdateIniPath();
  int published = 0;
  if (!install::LooksLikeIniFile(versionFile) ||
      !config::TIniFile(versionFile).TryReadInteger(L"updataver", L"ver", published))
    return;
  ServerVersion = published;
  // Any difference updates, also to a lower number: the server's build is the wanted one.
  if (InstalledVersion == ServerVersion) return;
  // Where the swap cannot work, nothing is downloaded; the user hears why once per run.
  std::wstring refusal = selfupdate::SwapRefusal(config::ExePath());
  if (!refusal.empty()) {
    if (!FSwapRefusalShown) {
      FSwapRefusalShown = true;
      ui::Application().ShowMessageBox(refusal, ui::Application().Title(), MB_OK | MB_ICONWARNING);
    }
    return;
  }
  // Only a whole executable for this machine may replace the file on disk; anything
  // else ends as a failed download ("檢查完成"). It must be the one the verified version
  // file names by size and SHA-256, or, when the file names none, one the publisher
  // signed.
  std::wstring url = UpdateServerUrl(L"/VornisTools.exe");
  auto signature =
      std::make_shared<selfupdate::TSignatureCheck>(url, selfupdate::ReadExeBinding(versionFile));
  FNewExeSignature = signature;
  std::weak_ptr<bool> alive = FAlive;
  // A download that never starts leaves the next show free to try again.
  struct TUnlessStarted {
    std::shared_ptr<selfupdate::TSignatureCheck>& Pending;
    bool Started = false;
    ~TUnlessStarted() {
      if (!Started) Pending.reset();
    }
  } unlessStarted{FNewExeSignature};
  StartDownload(
      url, selfupdate::NewExePath(config::ExePath()), [this] { NewVersionDownloaded(); },
      [signature](const std::wstring& path, bool) {
        return selfupdate::IsExecutableForThisMachine(path) && signature->Accept(path);
      },
      [this, alive, signature](HRESULT errorCode, const std::wstring& fileName) {
        DownloadFailed(errorCode, fileName);
        if (alive.expired()) return;
        if (FNewExeSignature == signature) FNewExeSignature.reset();
        if (!signature->Refusal().empty()) RefuseNewExe(*signature);
      });
  unlessStarted.Started = true;
}

void TForm1::RefuseNewExe(const selfupdate::TSignatureCheck& signature) {
  // Nothing of it stays: an older download must not be taken for it later either.
  DeleteFileW(selfupdate::NewExePath(config::ExePath()).c_str());
  ReportRefusedSignature(
      signature.RefusalKind() == selfupdate::TSignatureCheck::TRefusalKind::Unreachable
          ? L"無法取得新版 VornisTools.exe 的簽章,已刪除下載的檔案,這次不更新;下次開啟時會再試。"
          : L"下載的新版 VornisTools.exe 沒有發行者的有效簽章,已刪除,不會更新。",
      signature.Refusal());
}

void TForm1::NewVersionDownloaded() {
  Timer3.SetInterval(6000);
  Timer3.SetEnabled(true);
}

bool TForm1::SwapMustWait() const {
  if (FInstallBusy || FLoadingCatalogue || (FForm2 && FForm2->Modal())) return true;
  for (const auto& retired : FRetiredForms)
    if (retired->Modal()) return true;
  // Message boxes, file dialogs and menus (the tray menu, the menu bar) of this thread:
  // the swap would close the window under them.
  bool shown = false;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM found) -> BOOL {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (IsWindowVisible(window) &&
            (std::wstring_view(name) == L"#32770" || std::wstring_view(name) == L"#32768"))
          *reinterpret_cast<bool*>(found) = true;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&shown));
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (GetGUIThreadInfo(GetCurrentThreadId(), &info) &&
      (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE | GUI_INMOVESIZE)))
    shown = true;
  return shown;
}

void TForm1::Timer3Timer() {
  // The timer fires inside modal loops too; the swap waits until the user is done.
  if (SwapMustWait()) {
    Timer3.SetInterval(1000);
    return;
  }
  // One attempt per download: a failure is reported once, not every six seconds, and
  // a later show may start another download.
  Timer3.SetEnabled(false);
  std::shared_ptr<selfupdate::TSignatureCheck> signature = std::move(FNewExeSignature);
  std::wstring newExe = selfupdate::NewExePath(config::ExePath());
  if (!signature || !selfupdate::IsExecutableForThisMachine(newExe)) {
    Label6->SetCaption(L"檢查完成");
    return;
  }
  try {
    config::TIniFile ini(config::ConfigIniPath());
    // A Config.ini without the key (or none at all, which this write creates) would read
    // as automatic update off from the next start on: the setting in force goes with it.
    bool keepAutoUpdate = !ini.ValueExists(L"updata", L"autoupdata");
    ini.WriteInteger(L"updataver", L"ver", ServerVersion);
    if (keepAutoUpdate) ini.WriteBool(L"updata", L"autoupdata", Form2().AutoUpdate());
    try {
      // The copy put in place must be the bytes that passed the checks at the download:
      // the file may have changed since.
      FSwapCheck = signature;
      ReplaceSelf();
    } catch (const selfupdate::ESwapRefused&) {
      ini.WriteInteger(L"updataver", L"ver", InstalledVersion);
      Label6->SetCaption(L"檢查完成");
      RefuseNewExe(*signature);
      return;
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
  std::shared_ptr<selfupdate::TSignatureCheck> signature = std::move(FSwapCheck);
  selfupdate::ReplaceExecutable(config::ExePath(), [signature](HANDLE copy) {
    return signature && signature->Matches(copy);
  });
  // The batch waits until this process has ended before it starts the new copy.
  FCanQuit = true;
  Close();
}

}  // namespace app
