// The archive refresh, the version-file download and the three download handlers that
// every download of the main window reports to.
#include <shlobj.h>

#include <cmath>

#include "ServerConfig.h"
#include "app/Form1.h"
#include "base/Exception.h"
#include "config/Paths.h"
#include "download/FileDownLoadThread.h"
#include "install/ContentChecks.h"
#include "ui/Application.h"

namespace app {

std::wstring UpdateServerUrl(const std::wstring& path) {
  return ui::Widen(vornis::server::kScheme) + L"://" + ui::Widen(vornis::server::kUpdateHost) +
         path;
}

void TForm1::StartDownload(const std::wstring& url, const std::wstring& target,
                           std::function<void()> onComplete,
                           std::function<bool(const std::wstring&)> contentCheck) {
  // Handlers may arrive after the window is gone (the process ending with downloads
  // still running); the token tells them.
  std::weak_ptr<bool> alive = FAlive;
  try {
    download::TFileDownLoadThread::Create(
        url, target,
        [this, alive](download::TFileDownLoadThread*, uint32_t progress, uint32_t progressMax) {
          if (!alive.expired()) ShowDownloadProgress(progress, progressMax);
        },
        [alive, onComplete](download::TFileDownLoadThread*) {
          if (!alive.expired()) ui::Application().Guard(onComplete);
        },
        [this, alive](download::TFileDownLoadThread*, HRESULT errorCode) {
          if (!alive.expired()) DownloadFailed(errorCode);
        },
        false, std::move(contentCheck));
  } catch (const std::exception&) {
    throw Exception("更新");
  }
}

void TForm1::StartVersionCheck() {
  StartDownload(
      UpdateServerUrl(L"/UPdate.ini"), config::UpdateIniPath(), [this] { ArchiveDownloaded(); },
      install::LooksLikeIniFile);
}

void TForm1::Button4Click() {
  std::wstring cache = config::ZipCacheDir();
  SHCreateDirectoryExW(nullptr, cache.substr(0, cache.size() - 1).c_str(), nullptr);
  for (int row = 0; row < ListView1->Count(); ++row) {
    std::wstring folder = ListView1->SubItem(row, 1);
    // A folder text that is not a plain name would put the archive outside the cache.
    if (!install::IsPlainFolderName(folder)) continue;
    std::wstring name = config::Trim(folder);
    StartDownload(
        UpdateServerUrl(L"/zip/" + name + L".zip"), config::ArchiveCachePath(folder),
        [this] { ArchiveDownloaded(); }, install::LooksLikeZipArchive);
  }
  BitBtn4->Click();
}

void TForm1::ShowDownloadProgress(uint32_t progress, uint32_t progressMax) {
  // Kilobytes, rounded to the nearest integer with halves to even.
  ProgressBar1->SetMax(static_cast<int>(std::nearbyint(progressMax / 1024.0)));
  ProgressBar1->SetPosition(static_cast<int>(std::nearbyint(progress / 1024.0)));
  if (ProgressBar1->Position() == ProgressBar1->Max()) Label6->SetCaption(L"檢查完成");
}

void TForm1::ArchiveDownloaded() {
  ++DownloadsDone;
  int rows = ListView1->Count();
  if (DownloadsDone < rows)
    Label6->SetCaption(L"正在下載UI" + ListView1->SubItem(DownloadsDone, 1) + L"中...");
  if (DownloadsDone == rows - 1) Label6->SetCaption(L"目前已經更新到最新");
}

void TForm1::DownloadFailed(HRESULT) {
  Label6->SetCaption(L"檢查完成");
}

}  // namespace app
