// The main window: layout, creation and showing sequence, commands, close and docking.
// Its handlers are named after component and event; commands that run another button's
// command call that button's Click(), so the result is exactly a user's click.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/Form2.h"
#include "download/FileDownLoadThread.h"
#include "install/ArchiveDigest.h"
#include "skin/SkinData.h"
#include "ui/Form.h"
#include "ui/ListView.h"
#include "ui/Menus.h"
#include "ui/Timer.h"

namespace catalogue {
class TCatalogueDocument;
struct TCatalogueItem;
}  // namespace catalogue

namespace download {
class TFileDownLoadThread;
}

namespace selfupdate {
class TSignatureCheck;
}

namespace tray {
class TTrayIcon;
}

namespace web {
class TWebBrowser;
}

namespace app {

// Full URL of a path on the update server ("/Data.xml").
std::wstring UpdateServerUrl(const std::wstring& path);

class TForm1 : public ui::TForm {
 public:
  // The form definition: one row per control, parents first. Row i has control id
  // ui::ControlId(i).
  static const std::vector<ui::TControlDesc>& Layout();

  TForm1();
  ~TForm1() override;

  // Controls of the layout table.
  ui::TPanel* Panel1;
  ui::TPanel* Panel3;
  ui::TPanel* Panel5;
  ui::TPanel* Panel6;
  ui::TPanel* Panel2;
  ui::TPanel* Panel4;
  ui::TLabel* Label8;
  ui::TLabel* Label9;
  ui::TLabel* Label10;
  ui::TLabel* Label11;
  ui::TLabel* Label12;
  ui::TLabel* Label13;
  ui::TLabel* Label14;
  ui::TLabel* Label15;
  ui::TListView* ListView1;
  ui::TBitBtn* BitBtn1;
  ui::TBitBtn* BitBtn2;
  ui::TButton* Button2;
  ui::TBitBtn* Button3;
  ui::TBitBtn* Button7;
  ui::TBitBtn* Button1;
  ui::TBitBtn* Button8;
  ui::TBitBtn* BitBtn3;
  ui::TBitBtn* BitBtn4;
  ui::TButton* Button10;
  ui::TGroupBox* GroupBox1;
  ui::TLabel* Label6;
  ui::TProgressBar* ProgressBar1;
  ui::TLabel* Label7;
  ui::TProgressBar* ProgressBar2;
  ui::TButton* Button4;

  // Command ids: main menu entries from 100, tray menu entries from 200, in table order;
  // "勾選有更新的 UI" has its own.
  static constexpr UINT kCheckUpdatesCommand = 150;
  static constexpr UINT kRollBackCommand = 151;
  static constexpr UINT kAutoInstallCommand = 152;
  ui::TMainMenu MainMenu1{100};
  ui::TPopupMenu PopupMenu1{200};
  ui::TTimer Timer1;
  ui::TTimer Timer3;
  ui::TTimer Timer4;
  // The skin of every window: its package is the one stored in the executable.
  std::unique_ptr<skin::TSkinData> SkinData1;

  // The settings dialog in use: replaced by a fresh one at every show. The show only
  // reads what the fresh one is to hold; the dialog itself is made when first asked
  // for, and at the latest once the window has been painted.
  config::TForm2& Form2();
  void SetForm2(std::unique_ptr<config::TForm2> form);

  int LaunchAddonCount = 0;
  int InstalledVersion = 0;
  int ServerVersion = 0;
  bool CanQuit() const { return FCanQuit; }

  // Creation and showing.
  void FormCreate();
  // The creation steps that need not happen before the window is first painted: the
  // desktop shortcut, the web panels and the advertisement page, in that order. Posted
  // by FormCreate; runs once, and sooner when something needs the panels first.
  void FormCreateLate();
  void FormShow();
  // Starts the version-file download the last show asked for, if it has not started
  // yet. The show leaves it until the window has been painted; the version file is
  // still the first thing the show asks the server for.
  void StartPendingVersionCheck();
  bool FormCloseQuery();

  // Commands.
  void BitBtn3Click();  // game launch
  void Button7Click();  // settings
  void StopTaskMClick();
  void N11Click();
  void N7Click();   // about
  void N14Click();  // exit
  void N3Click();
  void N12Click();       // check for updates
  void Button10Click();  // record the add-on count
  void UI1Click();
  void N13Click();
  void N17Click();
  void N4Click();
  void RestoreMClick();
  void N9Click();
  void N5Click();
  void N6Click();
  // "勾選有更新的 UI": checks exactly the rows the status check found "有更新".
  void CheckUpdatesMClick();

  // Shown modally by every command that finds the game path not set.
  void ShowSettings();
  // The game path test of the commands: false (after the notice and the settings
  // dialog) when the path is not set.
  bool RequireGamePath();

  // Add-on list and catalogue.
  void Button3Click();  // catalogue load
  // Reads every item of the document (the first that cannot be read throws, and nothing
  // is listed) and lists them.
  void ParseCatalogue(const catalogue::TCatalogueDocument& document);
  // Adds one row per item and notes what each item says its archive must be.
  void ListCatalogue(std::vector<catalogue::TCatalogueItem> items);
  // The copy of the last catalogue that verified: exe dir + "LastData.xml" (and ".sig").
  static std::wstring SavedCataloguePath();
  // The list shows the saved copy because the server could not be reached: the archive
  // refresh fetches nothing until a load reaches the server again.
  bool ShowingSavedCatalogue() const { return FShowingSavedCatalogue; }
  // Notes what the catalogue says the archive of folder must be (a catalogue load does
  // it for every item that says something; an install with a publisher key needs it).
  void ExpectArchive(const std::wstring& folder, const install::TArchiveExpectation& expectation);
  bool AddAddonRow(const std::wstring& name, const std::wstring& id, const std::wstring& folder,
                   const std::wstring& description, const std::wstring& author);
  void Button5Click();  // catalogue export
  // Last step of the catalogue load: points the upper web panel at the catalogue page.
  void ShowCataloguePage();
  void BitBtn4Click();  // status check
  void BitBtn1Click();  // select all
  void BitBtn2Click();  // select none
  void Button2Click();  // enlarge or restore the list
  void ListView1ColumnClick(int column);
  int CompareRows(const ui::TListView::TRow& row1, const ui::TListView::TRow& row2,
                  int column) const;
  void ListView1InfoTip(int row, std::wstring& tip);
  void ListView1SelectItem(int row);
  bool SortAscending = false;

  // Downloads and installation.
  void Button4Click();  // archive refresh
  void ShowDownloadProgress(uint32_t progress, uint32_t progressMax);
  void ArchiveDownloaded();
  // Shows "更新失敗: " + the file name of the failed download.
  void DownloadFailed(HRESULT errorCode, const std::wstring& fileName = {});
  // Archives of the running refresh: started, completed (counted by ArchiveDownloaded)
  // and failed. Each refresh starts them from 0.
  int DownloadsStarted = 0;
  int DownloadsDone = 0;
  int DownloadsFailed = 0;
  void Button1Click();  // install
  void Button8Click();  // remove
  // "還原勾選 UI 的上一版": puts back the kept version of every checked row that has one.
  void RollBackMClick();
  // Greys the rollback entry when no row has a kept version.
  void UpdateRollBackEntry();
  // "自動更新已安裝的 UI": turns the automatic install of updates on or off and stores it.
  void AutoInstallMClick();
  // Installs every row showing "有更新" when the option is on; waits for a running
  // install or removal, or for the game this window started, to end first.
  void InstallUpdatesAutomatically();
  bool AutoInstall() const { return FAutoInstall; }
  // The game started by the launch command, watched until it ends (the handle is ours).
  void WatchGame(HANDLE process);
  ui::TTimer GameWatch;
  void GameWatchTimer();

  // Showing step: start the version-file download.
  void StartVersionCheck();

  // The web panels: WebBrowser1 fills Panel3 in the top band, WebBrowser2 fills Panel4.
  // A control that could not be created leaves its panel empty.
  std::unique_ptr<web::TWebBrowser> WebBrowser1;
  std::unique_ptr<web::TWebBrowser> WebBrowser2;
  void WebBrowser1DocumentComplete();
  void WebBrowser2DocumentComplete();

  // Tray icon, close to tray and docking.
  std::unique_ptr<tray::TTrayIcon> TrayIcon1;
  void TrayIcon1Click();
  void TrayIcon1DblClick();
  void WMMoving(RECT& dragged);
  bool ApplicationEvents1Message(const MSG& msg);
  // Part of the filter: a system key typed in a control goes to the window instead,
  // from a web page only one that names a menu of the window.
  bool RouteSystemKey(const MSG& msg);
  bool NamesMenu(const MSG& msg) const;
  // `window` is inside one of the two web panel areas.
  bool InWebPanel(HWND window) const;
  unsigned DockedEdges() const { return FDockedEdges; }

  // Self-update timers.
  void Timer1Timer();
  void Timer3Timer();
  // OnDownloadComplete of the new executable: arms Timer3.
  void NewVersionDownloaded();
  // Swaps in the downloaded executable and closes for good; throws when it cannot.
  void ReplaceSelf();
  // The checks of the new executable being downloaded or waiting for the swap (none
  // while no update is under way); the copy put in place is judged against them.
  std::shared_ptr<selfupdate::TSignatureCheck> FNewExeSignature;
  // What ReplaceSelf judges the copy put in place by; the swap takes it.
  std::shared_ptr<selfupdate::TSignatureCheck> FSwapCheck;
  void Timer4Timer();

 protected:
  void DoShow() override { FormShow(); }
  bool CloseQuery() override { return FormCloseQuery(); }
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void BuildMenus();
  void WireEvents();
  void CreateTrayIcon();
  // A modal dialog, message box, menu, install or removal is running: the self-update
  // must not close the window under it.
  bool SwapMustWait() const;
  void CreateWebPanels();
  void CreateSkinData();
  // Starts one download reporting to the window's handlers; "更新" when it cannot.
  // A failure runs `onFailed` (error code, file name) when given, DownloadFailed
  // otherwise. A suspended one waits for its Resume(), and is cancelled if the result
  // is dropped. An archive of refresh `generation` (0: of none) moves the bar only while
  // that refresh is the running one.
  using TFailedHandler = std::function<void(HRESULT errorCode, const std::wstring& fileName)>;
  std::shared_ptr<download::TFileDownLoadThread> StartDownload(
      const std::wstring& url, const std::wstring& target, std::function<void()> onComplete,
      std::function<bool(const std::wstring& path, bool lengthProven)> contentCheck,
      TFailedHandler onFailed = nullptr, bool suspended = false,
      download::TRevalidation revalidation = {}, unsigned generation = 0);
  // The last text of a refresh whose archives have all ended, when some failed.
  void ShowRefreshEnd();
  // Tells the user, once per show, that a self-update file was refused for its
  // signature; what says which file and what became of it.
  void ReportRefusedSignature(const std::wstring& what, const std::string& reason);
  bool FSignatureReported = false;
  // Deletes a new executable refused by its checks and tells the user.
  void RefuseNewExe(const selfupdate::TSignatureCheck& signature);

  // Lives as long as the window; download handlers check it before touching anything.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  unsigned FDockedEdges = 0;
  // Tells the notifications of the running refresh from those of earlier ones.
  unsigned FRefreshGeneration = 0;
  // Archives of the running refresh still to be fetched, and how many are in flight:
  // a catalogue of thousands of rows must not start a thread per row at once.
  struct TRefreshQueue {
    unsigned Generation = 0;
    std::deque<std::wstring> Pending;  // folder texts, their address and path made at start
    int Running = 0;
    bool ArchivesReplaced = false;  // some archive came new: its row's state may change
    bool Ended = false;             // every archive has ended
  };
  // One archive of the refresh has ended: once all have, a refresh that brought new
  // archives checks the states again.
  void RefreshArchiveEnded(const std::shared_ptr<TRefreshQueue>& queue);
  // What the catalogue says each archive must be, by trimmed folder text; only items
  // that say something are listed.
  std::unordered_map<std::wstring, install::TArchiveExpectation> FExpectedArchives;
  install::TArchiveExpectation ExpectedArchive(const std::wstring& folder) const;
  // Folders of a hand-made catalogue that differ only in case name one cache file and
  // one add-on folder: the item first in the catalogue keeps them. By case-folded
  // trimmed folder text, that item's trimmed folder text.
  std::unordered_map<std::wstring, std::wstring> FFolderOwners;
  // The folder that owns what `folder` names, when that is another text than its own.
  std::optional<std::wstring> OtherFolderOwner(const std::wstring& folder) const;
  std::shared_ptr<TRefreshQueue> FRefreshQueue;
  void StartQueuedArchives(const std::shared_ptr<TRefreshQueue>& queue);

  bool FCanQuit = false;
  bool FCreatedLate = false;
  bool FVersionCheckPending = false;
  // The notice why this executable cannot update itself has been shown in this run.
  bool FSwapRefusalShown = false;
  bool FLoadingCatalogue = false;
  bool FShowingSavedCatalogue = false;
  // An install or removal is running: the extraction and the question box let clicks
  // through, and a second run must not start inside the first; a catalogue reload
  // asked for meanwhile is deferred to its end.
  bool FInstallBusy = false;
  bool FReloadDeferred = false;
  bool FAutoInstall = false;
  bool FAutoInstallDeferred = false;
  HANDLE FGameProcess = nullptr;
  bool GameRunning();
  static bool AutoInstallStored();
  void SetAutoInstall(bool on);
  class TBusyScope;
  std::unique_ptr<config::TForm2> FForm2;
  // What the last show read from Config.ini for the fresh dialog, while that dialog has
  // not been made yet; a value not read keeps the form definition's.
  struct TStoredSettings {
    std::optional<std::wstring> GamePath;
    std::optional<bool> AutoUpdate;
  };
  std::optional<TStoredSettings> FPendingForm2;
  void MakeFreshForm2();
  // Dialogs replaced while they may still be on screen; released at a later show.
  std::vector<std::unique_ptr<config::TForm2>> FRetiredForms;
};

}  // namespace app
