// Install and remove: "  安裝選中 UI" unpacks the cached archive of every checked,
// not-installed or "有更新" row into the game's Mods directory and records what each
// folder came from; "  移除選中 UI" sends the folder of every checked row to the recycle
// bin and drops its record; "還原勾選 UI 的上一版" puts back the version the last install
// of every checked row replaced. Both end with the status check. An archive installs whole or
// not at all, and only when it is what the catalogue says; a folder the recycle bin
// cannot take is deleted for good only after the user has said so.
//
// Rows whose folder text is not one plain folder name are left alone by both, so a
// catalogue entry can never point either command outside the add-on directory. While
// one of them runs (the extraction and the question box pump messages), a second click
// on either button is ignored, and a catalogue reload (which would empty the list under
// the batch) waits for its end.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Form1.h"
#include "config/Paths.h"
#include "install/ContentChecks.h"
#include "install/FileTree.h"
#include "install/InstallRecord.h"
#include "install/Install.h"
#include "signing/Signature.h"
#include "ui/Application.h"

namespace app {

namespace {

const wchar_t kInstalled[] = L"已安裝";
const wchar_t kNotInstalled[] = L"未安裝";
const wchar_t kHasUpdate[] = L"有更新";

const wchar_t kWaitingFiles[] = L"下次安裝或移除 UI 時會再嘗試放回。";

// What the user must do or know about one failed archive.
std::wstring FailureText(const install::TInstallResult& result) {
  auto systemText = [](unsigned long code) {
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text ? text : L"錯誤 " + std::to_wstring(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
      message.pop_back();
    return message;
  };
  switch (result.Failure) {
    case install::TInstallFailure::Unreadable:
      return L"壓縮檔無法讀取或已損壞";
    case install::TInstallFailure::Damaged:
      return L"壓縮檔內容損壞";
    case install::TInstallFailure::Unsupported:
      return L"壓縮檔使用了不支援的壓縮方式或加密";
    case install::TInstallFailure::BadName:
      return L"壓縮檔含有不安全或無法建立的檔名";
    case install::TInstallFailure::WriteError:
      return L"無法寫入解壓的檔案(磁碟空間不足?)";
    case install::TInstallFailure::ReadOnly:
      return L"已安裝的檔案是唯讀的: " + result.Path;
    case install::TInstallFailure::Clash:
      return L"已安裝的檔案或資料夾與 UI 的內容衝突: " + result.Path;
    case install::TInstallFailure::Refused:
      return L"無法取代 " + result.Path + L": " + systemText(result.Code);
    case install::TInstallFailure::Link:
      return L"暫存資料夾中有捷徑或連結,為了安全沒有安裝,請刪除: " + result.Path;
    case install::TInstallFailure::KeptDamaged:
      return L"保存的上一版已損壞或缺少檔案,沒有變更";
    case install::TInstallFailure::Kept:
      return L"無法取代 " + result.Path + L": " + systemText(result.Code) +
             L"\n  原有的檔案無法全部放回,保存在 " + result.KeptFolder + L"," + kWaitingFiles;
    default:
      return L"";
  }
}

void ShowNotice(const std::wstring& text) {
  ui::Application().ShowMessageBox(text, L"VornisTools", MB_OK | MB_ICONWARNING);
}

// Folders still holding files that an earlier install or removal could not put back,
// and work folders whose contents none of ours can have made, which were left alone.
void TellKept(const std::vector<std::wstring>& kept,
              const std::vector<std::wstring>& foreign = {}) {
  std::wstring text;
  if (!kept.empty()) {
    text = L"以下資料夾保存著尚未放回原處的 UI 檔案," + std::wstring(kWaitingFiles);
    for (const std::wstring& folder : kept) text += L"\n" + folder;
  }
  if (!foreign.empty()) {
    if (!text.empty()) text += L"\n\n";
    text += L"以下資料夾的內容無法確認是本程式留下的,沒有處理,請自行檢查:";
    for (const std::wstring& folder : foreign) text += L"\n" + folder;
  }
  if (!text.empty()) ShowNotice(text);
}

// What became of an install or removal whose record of what each folder came from could
// not be written: the add-ons are as the command left them, their states may not be.
std::wstring RecordNotKept(const std::wstring& done) {
  return done + L",但無法寫入安裝紀錄 " + install::InstallRecordPath() +
         L"(檔案無法讀取或寫入),在下次安裝前 UI 的狀態可能不正確。";
}

// Why a row whose folder differs from another's only in case is left alone.
std::wstring SharedFolderText(const std::wstring& owner) {
  return L": 資料夾名稱與 UI 清單中的 " + owner + L" 只差大小寫,兩者是同一個資料夾和壓縮檔,只有 " +
         owner + L" 能安裝或移除";
}

}  // namespace

// Holds the busy flag for one command, also when the command ends with an exception; a
// catalogue reload asked for meanwhile runs once the command is over.
class TForm1::TBusyScope {
 public:
  explicit TBusyScope(TForm1& form) : FForm(form) { FForm.FInstallBusy = true; }
  ~TBusyScope() {
    FForm.FInstallBusy = false;
    if (FForm.FAutoInstallDeferred)
      ui::Application().Post([form = &FForm, alive = std::weak_ptr<bool>(FForm.FAlive)] {
        if (!alive.expired()) form->InstallUpdatesAutomatically();
      });
    if (!FForm.FReloadDeferred) return;
    FForm.FReloadDeferred = false;
    ui::Application().Guard([this] { FForm.Button3->Click(); });
  }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;

 private:
  TForm1& FForm;
};

namespace {

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The row that shows `folder`, preferring one still checked: the list may have been
// sorted while a command let messages through. -1 when no row shows it.
int RowOfFolder(ui::TListView& list, const std::wstring& folder) {
  int found = -1;
  for (int row = 0; row < list.Count(); ++row)
    if (list.SubItem(row, 1) == folder && (found < 0 || list.Checked(row))) {
      found = row;
      if (list.Checked(row)) break;
    }
  return found;
}

bool DirectoryExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Sends one add-on folder to the recycle bin; where the bin cannot take it, or where
// that cannot be known beforehand, it goes for good only when the user says so.
void RemoveAddonFolder(const std::wstring& path, const std::wstring& root,
                       const std::wstring& name) {
  auto ask = [](const std::wstring& text) {
    return ui::Application().ShowMessageBox(text, L"提示 ",
                                            MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING) == IDYES;
  };
  std::wstring hold;
  switch (install::RecycleFolder(path, root, &hold)) {
    case install::TRecycleResult::Held:
      ShowNotice(L"UI " + name + L" 無法放回原處,它的檔案保存在 " + hold + L"," + kWaitingFiles);
      break;
    case install::TRecycleResult::NotTaken:
      if (ask(L"資源回收筒無法接收 UI " + name + L",要永久刪除嗎?")) install::DeleteTree(path);
      break;
    case install::TRecycleResult::Unverified:
      if (ask(L"無法確認資源回收筒能否接收 UI " + name + L",可能會永久刪除,要移除嗎?"))
        install::DeleteFolder(path);
      break;
    default:
      break;
  }
}

}  // namespace

void TForm1::Button1Click() {
  if (FInstallBusy) return;
  TBusyScope busy(*this);
  if (!RequireGamePath()) return;

  // Checked, named by a plain folder name, and found not installed or with a newer
  // archive by the last check.
  auto qualifies = [this](int row) {
    if (!ListView1->Checked(row) || !install::IsPlainFolderName(ListView1->SubItem(row, 1)))
      return false;
    std::wstring state = config::Trim(ListView1->SubItem(row, 0));
    return state == kNotInstalled || state == kHasUpdate;
  };
  // The batch is the rows checked now, by folder: a column click while the extraction
  // lets messages through reorders the rows under it.
  std::vector<std::wstring> batch;
  for (int row = 0; row < ListView1->Count(); ++row)
    if (qualifies(row)) batch.push_back(ListView1->SubItem(row, 1));
  ProgressBar2->SetMax(static_cast<int>(batch.size()) + 1);

  const std::wstring target = config::InstallRoot(Form2().GamePath());
  std::vector<std::wstring> foreign;
  std::vector<std::wstring> kept = install::CleanUpWork(target, &foreign);
  install::TInstallRecord installedFrom =
      install::TInstallRecord::Load(install::InstallRecordPath());
  bool recordKept = true;
  int failed = 0;
  std::wstring reasons;
  std::wstring notKept;
  for (const std::wstring& folder : batch) {
    Label7->SetCaption(L"正在安裝 UI" + folder + L"中...");
    if (std::optional<std::wstring> owner = OtherFolderOwner(folder)) {
      ++failed;
      reasons += L"\n" + config::Trim(folder) + SharedFolderText(*owner);
      continue;
    }
    const std::wstring archive = config::ArchiveCachePath(folder);
    if (!FileExists(archive)) continue;
    // The archive is held open from its hash to its unpacking, so a refresh cannot
    // replace it in between; one that does not match the catalogue is not installed.
    // With a publisher key, only an archive the signed catalogue vouches for installs.
    install::TArchiveExpectation expected = ExpectedArchive(folder);
    if (signing::Verifies() && expected.Sha256.empty()) {
      ++failed;
      reasons += L"\n" + config::Trim(folder) +
                 L": UI 清單沒有記載這個壓縮檔的 SHA-256,無法確認是發行者的檔案";
      continue;
    }
    install::TOpenArchive held(archive);
    std::optional<install::TArchiveDigest> digest = held.Digest();
    // All or nothing: an archive that does not install whole leaves the add-on
    // directory as it was and its row checked with its old state; the batch goes on.
    if (!digest || !expected.Matches(*digest)) {
      ++failed;
      reasons += L"\n" + config::Trim(folder) +
                 (digest ? L": 壓縮檔與 UI 清單記載的大小或 SHA-256 不符" : L": 壓縮檔無法讀取");
      continue;
    }
    // The version it replaces is kept for a rollback; a copy that cannot be made does
    // not hold up the update.
    const std::wstring name = config::Trim(folder);
    if (!install::PrepareKeep(target, name, installedFrom.Find(target, folder)))
      notKept += L"\n" + name;
    install::TInstallResult result = install::UnzipArchive(archive, target);
    install::FinishKeep(target, name, static_cast<bool>(result));
    if (!result) {
      ++failed;
      reasons += L"\n" + config::Trim(folder) + L": " + FailureText(result);
      continue;
    }
    held.Close();
    installedFrom.Set(target, folder, *digest);
    recordKept = installedFrom.Save(install::InstallRecordPath()) && recordKept;
    const int row = RowOfFolder(*ListView1, folder);
    if (row < 0) continue;
    ListView1->SetChecked(row, false);
    ProgressBar2->SetPosition(row);
    Label7->SetCaption(L"UI 正在安裝中,稍等...");
    ListView1->SetSubItem(row, 0, kInstalled);
  }
  ProgressBar2->SetPosition(0);
  BitBtn4->Click();
  Label7->SetCaption(failed == 0
                         ? std::wstring(L"勾選的UI 已經安裝完畢")
                         : L"勾選的UI 安裝完畢," + std::to_wstring(failed) + L" 個安裝失敗");
  // Said once the batch is over, so no box holds it up.
  if (failed > 0) ShowNotice(L"以下 UI 沒有安裝:" + reasons);
  if (!recordKept) ShowNotice(RecordNotKept(L"UI 已經安裝"));
  if (!notKept.empty())
    ShowNotice(L"無法保存以下 UI 被取代的上一版(磁碟空間不足?),它們已更新,但無法還原上一版:" +
               notKept);
  TellKept(kept, foreign);
}

void TForm1::Button8Click() {
  if (FInstallBusy) return;
  TBusyScope busy(*this);
  if (!RequireGamePath()) return;
  if (ui::Application().ShowMessageBox(L"确定要移除該UI", L"提示 ", MB_YESNO | MB_DEFBUTTON2) !=
      IDYES)
    return;

  const std::wstring gamePath = Form2().GamePath();
  const std::wstring root = config::InstallRoot(gamePath);
  std::vector<std::wstring> foreign;
  std::vector<std::wstring> kept = install::CleanUpWork(root, &foreign);
  TellKept(kept, foreign);
  bool recordKept = true;
  std::wstring refused;
  // The rows checked now, by folder: the list may be sorted while a question is up.
  std::vector<std::wstring> batch;
  for (int row = 0; row < ListView1->Count(); ++row)
    if (ListView1->Checked(row)) batch.push_back(ListView1->SubItem(row, 1));
  for (const std::wstring& folder : batch) {
    std::optional<std::wstring> owner;
    if (install::IsPlainFolderName(folder) && (owner = OtherFolderOwner(folder))) {
      refused += L"\n" + config::Trim(folder) + SharedFolderText(*owner);
    } else if (install::IsPlainFolderName(folder)) {
      const std::wstring path = config::AddonFolderPath(gamePath, folder);
      if (DirectoryExists(path)) {
        // A refusal by the shell shows in the status check: the row stays installed.
        RemoveAddonFolder(path, root, config::Trim(folder));
        if (!DirectoryExists(path)) {
          install::TInstallRecord installedFrom =
              install::TInstallRecord::Load(install::InstallRecordPath());
          installedFrom.Remove(root, folder);
          recordKept = installedFrom.Save(install::InstallRecordPath()) && recordKept;
          install::DropKeptVersion(root, config::Trim(folder));
        }
        BitBtn4->Click();
      }
    }
    const int row = RowOfFolder(*ListView1, folder);
    if (row >= 0) ListView1->SetChecked(row, false);
  }
  if (!refused.empty()) ShowNotice(L"以下 UI 沒有移除:" + refused);
  if (!recordKept) ShowNotice(RecordNotKept(L"UI 已經移除"));
}

void TForm1::RollBackMClick() {
  if (FInstallBusy) return;
  TBusyScope busy(*this);
  if (!RequireGamePath()) return;

  const std::wstring target = config::InstallRoot(Form2().GamePath());
  std::vector<std::wstring> foreign;
  std::vector<std::wstring> kept = install::CleanUpWork(target, &foreign);
  int restored = 0;
  int failed = 0;
  std::wstring reasons;
  std::wstring nothingKept;
  int withoutKept = 0;
  bool recordKept = true;
  for (int row = 0; row < ListView1->Count(); ++row) {
    const std::wstring folder = ListView1->SubItem(row, 1);
    if (!ListView1->Checked(row) || !install::IsPlainFolderName(folder)) continue;
    const std::wstring name = config::Trim(folder);
    if (std::optional<std::wstring> owner = OtherFolderOwner(folder)) {
      ++failed;
      reasons += L"\n" + name + SharedFolderText(*owner);
      continue;
    }
    Label7->SetCaption(L"正在還原 UI" + name + L"的上一版...");
    install::TInstallRecord installedFrom =
        install::TInstallRecord::Load(install::InstallRecordPath());
    std::optional<install::TArchiveDigest> origin;
    install::TInstallResult result =
        install::RollBack(target, name, installedFrom.Find(target, name), &origin);
    if (result.Failure == install::TInstallFailure::NothingKept) {
      ++withoutKept;
      nothingKept += L"\n" + name;
      continue;
    }
    if (!result) {
      ++failed;
      reasons += L"\n" + name + L": " + FailureText(result);
      continue;
    }
    // The record names what is on disk now, so the status check compares the catalogue's
    // archive with it.
    if (origin)
      installedFrom.Set(target, name, *origin);
    else
      installedFrom.Remove(target, name);
    recordKept = installedFrom.Save(install::InstallRecordPath()) && recordKept;
    ++restored;
    if (row < ListView1->Count()) ListView1->SetChecked(row, false);
  }
  BitBtn4->Click();
  std::wstring end = L"勾選的UI 已還原 " + std::to_wstring(restored) + L" 個上一版";
  if (withoutKept > 0) end += L"," + std::to_wstring(withoutKept) + L" 個沒有上一版";
  if (failed > 0) end += L"," + std::to_wstring(failed) + L" 個還原失敗";
  Label7->SetCaption(end);
  std::wstring notice;
  if (failed > 0) notice = L"以下 UI 沒有還原:" + reasons;
  if (withoutKept > 0)
    notice +=
        (notice.empty() ? L"" : L"\n\n") + std::wstring(L"以下 UI 沒有保存的上一版:") + nothingKept;
  if (!notice.empty()) ShowNotice(notice);
  if (!recordKept) ShowNotice(RecordNotKept(L"UI 已經還原上一版"));
  TellKept(kept, foreign);
}

void TForm1::UpdateRollBackEntry() {
  bool any = false;
  if (ListView1->Count() > 0 && config::IsGamePathSet(Form2().GamePath())) {
    std::vector<std::wstring> names =
        install::KeptVersions(config::InstallRoot(Form2().GamePath()));
    for (int row = 0; row < ListView1->Count() && !any && !names.empty(); ++row) {
      const std::wstring folder = config::Trim(ListView1->SubItem(row, 1));
      for (const std::wstring& name : names)
        if (CompareStringOrdinal(name.c_str(), -1, folder.c_str(), -1, TRUE) == CSTR_EQUAL)
          any = true;
    }
  }
  EnableMenuItem(MainMenu1.Handle(), kRollBackCommand,
                 MF_BYCOMMAND | (any ? MF_ENABLED : MF_GRAYED));
}

}  // namespace app
