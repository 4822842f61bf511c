// Automatic updates of installed add-ons ("自動更新已安裝的 UI" in 選項(C), off unless
// the user turns it on; stored in Config.ini as [updata] autoui, a key older versions
// do not read). Once a refresh has ended, every row the status check found "有更新" is
// installed as if the user had checked it and pressed "  安裝選中 UI", never while an
// install or removal runs and never while the game this window started runs: then once
// that has ended. A row whose offered archive is the one the user rolled back from is
// left as it is.
#include <windows.h>

#include <vector>

#include "app/Form1.h"
#include "config/IniFile.h"
#include "config/Paths.h"
#include "install/ArchiveCache.h"
#include "install/ContentChecks.h"
#include "install/Install.h"

namespace app {

namespace {

const wchar_t kSection[] = L"updata";
const wchar_t kKey[] = L"autoui";
// How often a game still running is looked at while an update waits for its end.
constexpr int kGameWatchInterval = 2000;

// True when the cached archive of `folder` is the one its kept version came from: the
// user rolled back from it, and only a newer publication updates the add-on again.
bool RolledBackFrom(const std::wstring& root, const std::wstring& folder) {
  if (!install::IsPlainFolderName(folder)) return false;
  std::optional<install::TArchiveDigest> kept = install::KeptOrigin(root, config::Trim(folder));
  if (!kept) return false;
  std::optional<install::TCacheRecord> cached =
      install::ReadCacheRecord(config::ArchiveCachePath(folder));
  return cached && cached->Digest == *kept;
}

}  // namespace

bool TForm1::AutoInstallStored() {
  return config::TIniFile(config::ConfigIniPath()).ReadBool(kSection, kKey, false);
}

void TForm1::SetAutoInstall(bool on) {
  FAutoInstall = on;
  if (ui::TMenuItem* item = MainMenu1.Find(L"AutoInstallM")) item->SetChecked(on);
}

void TForm1::AutoInstallMClick() {
  bool on = !FAutoInstall;
  config::TIniFile(config::ConfigIniPath()).WriteInteger(kSection, kKey, on ? 1 : 0);
  SetAutoInstall(on);
}

void TForm1::WatchGame(HANDLE process) {
  if (FGameProcess) CloseHandle(FGameProcess);
  FGameProcess = process;
}

bool TForm1::GameRunning() {
  if (!FGameProcess) return false;
  if (WaitForSingleObject(FGameProcess, 0) == WAIT_TIMEOUT) return true;
  CloseHandle(FGameProcess);
  FGameProcess = nullptr;
  return false;
}

void TForm1::InstallUpdatesAutomatically() {
  if (!FAutoInstall) return;
  if (FInstallBusy) {
    FAutoInstallDeferred = true;
    return;
  }
  if (GameRunning()) {
    FAutoInstallDeferred = true;
    GameWatch.SetInterval(kGameWatchInterval);
    GameWatch.SetEnabled(true);
    return;
  }
  FAutoInstallDeferred = false;
  // Exactly the rows with an update are checked for the install; the user's own checks
  // are given back afterwards.
  const std::wstring root = config::InstallRoot(Form2().GamePath());
  int count = ListView1->Count();
  std::vector<char> checked(static_cast<size_t>(count));
  bool any = false;
  for (int row = 0; row < count; ++row) {
    checked[static_cast<size_t>(row)] = ListView1->Checked(row);
    bool update = config::Trim(ListView1->SubItem(row, 0)) == L"有更新" &&
                  !RolledBackFrom(root, ListView1->SubItem(row, 1));
    any = any || update;
    ListView1->SetChecked(row, update);
  }
  if (any) Button1->Click();
  for (int row = 0; row < count && row < ListView1->Count(); ++row)
    ListView1->SetChecked(row, checked[static_cast<size_t>(row)]);
}

void TForm1::GameWatchTimer() {
  if (GameRunning()) return;
  GameWatch.SetEnabled(false);
  if (FAutoInstallDeferred) InstallUpdatesAutomatically();
}

}  // namespace app
