// The catalogue commands of the main window: the load ("更新 UI"), its walk into list
// rows, and the export of the list back to Data.xml beside the executable.
#include "app/Form1.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/Catalogue.h"
#include "base/Exception.h"
#include "catalogue/TextOrder.h"
#include "config/Paths.h"
#include "ui/Application.h"

namespace app {

namespace {

// Holds a flag up for one scope; the status check reads it to know that it runs inside
// a load and must not start another one.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : FFlag(flag), FWas(flag) { FFlag = true; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;
  ~TFlagScope() { FFlag = FWas; }

 private:
  bool& FFlag;
  bool FWas;
};

// Fetches and checks the catalogue's bytes on a worker thread while the window goes on
// answering: a server that stalls must not freeze it. nullopt when the program ends or
// the window is gone before the bytes arrive (the worker is then left to finish alone).
std::optional<std::string> FetchWhileAnswering(const std::wstring& url, HWND window) {
  std::wstring record = config::PublicationRecordPath();
  struct TFetch {
    HANDLE Done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::string Bytes;
    std::exception_ptr Error;
    ~TFetch() {
      if (Done) CloseHandle(Done);
    }
  };
  auto fetch = std::make_shared<TFetch>();
  if (!fetch->Done) throw Exception("Cannot wait for the catalogue");
  std::thread([fetch, url, record] {
    try {
      fetch->Bytes = catalogue::FetchCatalogueBytes(url);
      catalogue::VerifyCatalogueSignature(url, fetch->Bytes);
      catalogue::CheckCatalogueBytes(fetch->Bytes);
      catalogue::CheckCataloguePublished(fetch->Bytes, record, true);
    } catch (...) {
      fetch->Error = std::current_exception();
    }
    SetEvent(fetch->Done);
  }).detach();
  ui::TApplication& application = ui::Application();
  while (MsgWaitForMultipleObjectsEx(1, &fetch->Done, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) !=
         WAIT_OBJECT_0) {
    application.ProcessMessages();
    if (application.Terminated() || !IsWindow(window)) return std::nullopt;
  }
  if (fetch->Error) std::rethrow_exception(fetch->Error);
  return std::move(fetch->Bytes);
}

}  // namespace

void TForm1::Button3Click() {
  // The window answers while the catalogue arrives: a load asked for meanwhile is not
  // started.
  if (FLoadingCatalogue) return;
  // An install or removal works through the rows: the reload waits for its end.
  if (FInstallBusy) {
    FReloadDeferred = true;
    return;
  }
  if (!RequireGamePath()) return;
  StartPendingVersionCheck();

  TFlagScope loading(FLoadingCatalogue);
  {
    std::optional<std::string> bytes = FetchWhileAnswering(catalogue::CatalogueUrl(), Handle());
    if (!bytes) return;
    // The document is dropped at the end of this block, also when the walk throws; rows
    // added before an error stay. A catalogue refused before this point (unreachable,
    // not signed, older than the one accepted, not XML) leaves the list as it was.
    catalogue::TCatalogueDocument document = catalogue::TCatalogueDocument::Parse(*bytes);
    ListView1->Clear();
    ListView1->SetColumnCaption(1, L"UI_ID");
    FExpectedArchives.clear();
    ParseCatalogue(document);
  }
  Button4->Click();  // archive refresh; it ends with the status check
  // The page is asked for once the list has been painted: its navigation keeps the
  // window busy for a while.
  std::weak_ptr<bool> alive = FAlive;
  ui::Application().Post([this, alive] {
    if (!alive.expired()) ShowCataloguePage();
  });
}

void TForm1::ParseCatalogue(const catalogue::TCatalogueDocument& document) {
  int count = document.ItemCount();
  ui::TListUpdate update(*ListView1);
  auto noteExpectation = [this](const catalogue::TCatalogueItem& item) {
    if (item.ArchiveSize.empty() && item.ArchiveSha256.empty()) return;
    install::TArchiveExpectation expectation =
        install::ParseExpectation(item.ArchiveSize, item.ArchiveSha256);
    if (expectation.Any()) ExpectArchive(item.Folder, expectation);
  };
  if (ListView1->Count() > 0) {
    for (int i = 0; i < count; ++i) {
      catalogue::TCatalogueItem item = document.Item(i);
      noteExpectation(item);
      AddAddonRow(item.Name, item.Id, item.Folder, item.Description, item.Author);
    }
    return;
  }
  // Into an empty list the rows go in one batch, in the order adding them one by one
  // gives: by caption, equal captions in document order. A row that cannot be read
  // ends the load, and the rows read before it are listed.
  std::vector<std::string> keys;
  std::vector<ui::TListView::TRow> rows;
  keys.reserve(static_cast<size_t>(count));
  rows.reserve(static_cast<size_t>(count));
  auto listRows = [&] {
    std::vector<int> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      return catalogue::CompareCaptionKeys(keys[static_cast<size_t>(a)],
                                           keys[static_cast<size_t>(b)]) < 0;
    });
    std::vector<ui::TListView::TRow> sorted;
    sorted.reserve(rows.size());
    for (int i : order) sorted.push_back(std::move(rows[static_cast<size_t>(i)]));
    ListView1->AppendRows(std::move(sorted));
  };
  try {
    for (int i = 0; i < count; ++i) {
      catalogue::TCatalogueItem item = document.Item(i);
      noteExpectation(item);
      keys.push_back(catalogue::Cp950Bytes(item.Name));
      rows.push_back({std::move(item.Name),
                      {std::to_wstring(i + 1), std::move(item.Folder), std::move(item.Description),
                       std::move(item.Author)},
                      false});
    }
  } catch (...) {
    listRows();
    throw;
  }
  listRows();
}

void TForm1::ExpectArchive(const std::wstring& folder,
                           const install::TArchiveExpectation& expectation) {
  FExpectedArchives[config::Trim(folder)] = expectation;
}

install::TArchiveExpectation TForm1::ExpectedArchive(const std::wstring& folder) const {
  if (FExpectedArchives.empty()) return {};
  auto found = FExpectedArchives.find(config::Trim(folder));
  return found == FExpectedArchives.end() ? install::TArchiveExpectation{} : found->second;
}

void TForm1::Button5Click() {
  std::vector<catalogue::TCatalogueItem> items;
  int count = ListView1->Count();
  items.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    items.push_back({ListView1->ItemCaption(i),
                     ListView1->SubItem(i, 0),
                     ListView1->SubItem(i, 1),
                     ListView1->SubItem(i, 2),
                     ListView1->SubItem(i, 3),
                     {},
                     {}});
  }
  catalogue::ExportCatalogue(items, config::ExeDir() + L"Data.xml");
}

}  // namespace app
