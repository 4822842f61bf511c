// The archive refresh, the version-file download and the three download handlers that
// every download of the main window reports to.
#include <shlobj.h>

#include <cmath>
#include <unordered_set>

#include "ServerConfig.h"
#include "app/Form1.h"
#include "base/Exception.h"
#include "config/Paths.h"
#include "download/FileDownLoadThread.h"
#include "download/UrlPath.h"
#include "install/ArchiveCache.h"
#include "install/ContentChecks.h"
#include "selfupdate/SignedDownload.h"
#include "signing/PublicationTime.h"
#include "ui/Application.h"

namespace app {

std::wstring UpdateServerUrl(const std::wstring& path) {
  return ui::Widen(vornis::server::kScheme) + L"://" + ui::Widen(vornis::server::kUpdateHost) +
         path;
}

std::shared_ptr<download::TFileDownLoadThread> TForm1::StartDownload(
    const std::wstring& url, const std::wstring& target, std::function<void()> onComplete,
    download::TContentCheck contentCheck, TFailedHandler onFailed, bool suspended,
    download::TRevalidation revalidation, unsigned generation) {
  // Handlers may arrive after the window is gone (the process ending with downloads
  // still running); the token tells them.
  std::weak_ptr<bool> alive = FAlive;
  std::wstring fileName = target.substr(target.find_last_of(L"\\/") + 1);
  try {
    return download::TFileDownLoadThread::Create(
        url, target,
        [this, alive, generation](download::TFileDownLoadThread*, uint32_t progress,
                                  uint32_t progressMax) {
          if (!alive.expired() && (generation == 0 || generation == FRefreshGeneration))
            ShowDownloadProgress(progress, progressMax);
        },
        [alive, onComplete](download::TFileDownLoadThread*) {
          if (!alive.expired()) ui::Application().Guard(onComplete);
        },
        [this, alive, fileName, onFailed](download::TFileDownLoadThread*, HRESULT errorCode) {
          if (alive.expired()) return;
          // A caller's own failure handler decides whether the status line is still its
          // to change (an earlier refresh's is not).
          if (onFailed)
            ui::Application().Guard([&] { onFailed(errorCode, fileName); });
          else
            DownloadFailed(errorCode, fileName);
        },
        suspended, std::move(contentCheck), std::move(revalidation));
  } catch (const std::exception&) {
    throw Exception("更新");
  }
}

void TForm1::StartVersionCheck() {
  FSignatureReported = false;
  // The version file is not one of a refresh's archives: its arrival shows nothing.
  // Only the publisher's version file counts: an unsigned one is never read.
  // It must not be older than the one accepted before, either.
  std::wstring url = UpdateServerUrl(L"/UPdate.ini");
  auto signature = std::make_shared<selfupdate::TSignatureCheck>(url);
  auto record = std::make_shared<signing::TPublicationRecord>(config::PublicationRecordPath());
  std::weak_ptr<bool> alive = FAlive;
  StartDownload(
      url, config::UpdateIniPath(), [] {},
      [signature, record](const std::wstring& path, bool lengthProven) {
        return install::IsCompleteVersionFile(path, lengthProven) && signature->Accept(path) &&
               signature->AcceptPublished(selfupdate::ReadPublished(path), *record, "UPdate.ini");
      },
      [this, alive, signature](HRESULT errorCode, const std::wstring& fileName) {
        DownloadFailed(errorCode, fileName);
        if (alive.expired() || signature->Refusal().empty()) return;
        using TKind = selfupdate::TSignatureCheck::TRefusalKind;
        ReportRefusedSignature(
            signature->RefusalKind() == TKind::Older
                ? L"更新伺服器提供的版本資訊 UPdate.ini 比之前已接受的還舊,這次不檢查新版本。"
                : L"更新伺服器上的版本資訊 UPdate.ini 沒有發行者的有效簽章,這次不檢查新版本。",
            signature->Refusal());
      });
}

void TForm1::ReportRefusedSignature(const std::wstring& what, const std::string& reason) {
  if (FSignatureReported) return;
  FSignatureReported = true;
  // Shown once the download's handler has returned, so no worker waits for the box.
  std::weak_ptr<bool> alive = FAlive;
  std::wstring text = what + L"\n\n" + ui::Widen(reason);
  ui::Application().Post([alive, text] {
    if (!alive.expired())
      ui::Application().ShowMessageBox(text, L"VornisTools", MB_OK | MB_ICONWARNING);
  });
}

// At most this many archives are fetched at once; the rest wait in the refresh's queue.
// The platform allows this many connections to one server anyway, so the network sees
// the same transfers, without a thread and open files per catalogue row.
constexpr int kMaxRunningArchives = 32;

void TForm1::Button4Click() {
  // Counts are per refresh: notifications of an earlier refresh still running are
  // told apart by the generation and change nothing here; its archives not yet
  // started are dropped.
  unsigned generation = ++FRefreshGeneration;
  if (FRefreshQueue) FRefreshQueue->Pending.clear();
  auto queue = std::make_shared<TRefreshQueue>();
  queue->Generation = generation;
  FRefreshQueue = queue;
  DownloadsStarted = 0;
  DownloadsDone = 0;
  DownloadsFailed = 0;
  std::wstring cache = config::ZipCacheDir();
  SHCreateDirectoryExW(nullptr, cache.substr(0, cache.size() - 1).c_str(), nullptr);
  // A list from the saved catalogue: the server could not be reached a moment ago, and
  // each archive would only fail in turn.
  // Each archive is fetched once, for the folder that owns it.
  std::unordered_set<std::wstring> queued;
  for (int row = 0; !FShowingSavedCatalogue && row < ListView1->Count(); ++row) {
    const std::wstring& folder = ListView1->SubItem(row, 1);
    // A folder text that is not a plain name would put the archive outside the cache.
    if (!install::IsPlainFolderName(folder) || OtherFolderOwner(folder) ||
        !queued.insert(config::Trim(folder)).second)
      continue;
    queue->Pending.push_back(folder);
    ++DownloadsStarted;
  }
  // The transfers start once the list shows its states, also when the status check
  // fails.
  try {
    BitBtn4->Click();
  } catch (...) {
    StartQueuedArchives(queue);
    throw;
  }
  StartQueuedArchives(queue);
}

void TForm1::StartQueuedArchives(const std::shared_ptr<TRefreshQueue>& queue) {
  while (queue->Running < kMaxRunningArchives && !queue->Pending.empty()) {
    std::wstring folder = std::move(queue->Pending.front());
    queue->Pending.pop_front();
    std::wstring segment = download::EncodeUrlPathSegment(config::Trim(folder) + L".zip");
    std::wstring url = UpdateServerUrl(L"/zip/" + segment);
    std::wstring target = config::ArchiveCachePath(folder);
    unsigned generation = queue->Generation;
    // Each archive is checked against the catalogue, and one the cache already holds is
    // only revalidated.
    install::TArchiveTransfer transfer = install::ArchiveTransfer(ExpectedArchive(folder));
    auto ended = [this, queue, generation, replaced = transfer.Replaced] {
      --queue->Running;
      queue->ArchivesReplaced = queue->ArchivesReplaced || *replaced;
      if (generation == FRefreshGeneration) RefreshArchiveEnded(queue);
      StartQueuedArchives(queue);
    };
    try {
      ++queue->Running;
      StartDownload(
          url, target,
          [this, generation, ended] {
            if (generation == FRefreshGeneration) ArchiveDownloaded();
            ended();
          },
          std::move(transfer.Check),
          [this, generation, ended](HRESULT errorCode, const std::wstring& fileName) {
            if (generation == FRefreshGeneration) {
              DownloadFailed(errorCode, fileName);
              ++DownloadsFailed;
              ShowRefreshEnd();
            }
            ended();
          },
          false, std::move(transfer.Revalidation), generation);
    } catch (...) {
      --queue->Running;
      throw;
    }
  }
}

void TForm1::RefreshArchiveEnded(const std::shared_ptr<TRefreshQueue>& queue) {
  if (DownloadsDone + DownloadsFailed != DownloadsStarted) return;
  if (queue->ArchivesReplaced) {
    queue->ArchivesReplaced = false;
    BitBtn4->Click();
  }
  if (!queue->Ended) {
    queue->Ended = true;
    InstallUpdatesAutomatically();
  }
}

void TForm1::ShowDownloadProgress(uint32_t progress, uint32_t progressMax) {
  // Kilobytes, rounded to the nearest integer with halves to even. A bar or status line
  // that already shows what a report says is left alone: each change repaints at once,
  // and a refresh of revalidated archives brings hundreds of equal 0-of-0 reports.
  int max = static_cast<int>(std::nearbyint(progressMax / 1024.0));
  int position = static_cast<int>(std::nearbyint(progress / 1024.0));
  if (max != ProgressBar1->Max()) ProgressBar1->SetMax(max);
  if (position != ProgressBar1->Position()) ProgressBar1->SetPosition(position);
  if (ProgressBar1->Position() == ProgressBar1->Max() && Label6->Caption() != L"檢查完成")
    Label6->SetCaption(L"檢查完成");
}

void TForm1::ArchiveDownloaded() {
  ++DownloadsDone;
  int rows = ListView1->Count();
  if (DownloadsDone < rows)
    Label6->SetCaption(L"正在下載UI" + ListView1->SubItem(DownloadsDone, 1) + L"中...");
  if (DownloadsDone == rows - 1) Label6->SetCaption(L"目前已經更新到最新");
  ShowRefreshEnd();
}

void TForm1::DownloadFailed(HRESULT, const std::wstring& fileName) {
  // The status line says already that the server cannot be reached.
  if (FShowingSavedCatalogue) return;
  Label6->SetCaption(L"更新失敗: " + fileName);
}

void TForm1::ShowRefreshEnd() {
  if (DownloadsFailed == 0 || DownloadsDone + DownloadsFailed != DownloadsStarted) return;
  Label6->SetCaption(L"更新結束, " + std::to_wstring(DownloadsFailed) + L" 個UI更新失敗");
}

}  // namespace app
