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

// A catalogue's bytes as the server sent them, checked, with the publisher's signature
// ("" in a build that verifies nothing).
struct TFetchedCatalogue {
  std::string Bytes;
  std::string Signature;
};

// Fetches and checks the catalogue's bytes on a worker thread while the window goes on
// answering: a server that stalls must not freeze it. nullopt when the program ends or
// the window is gone before the bytes arrive (the worker is then left to finish alone).
std::optional<TFetchedCatalogue> FetchWhileAnswering(const std::wstring& url, HWND window) {
  struct TFetch {
    HANDLE Done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    TFetchedCatalogue Result;
    std::exception_ptr Error;
    ~TFetch() {
      if (Done) CloseHandle(Done);
    }
  };
  auto fetch = std::make_shared<TFetch>();
  if (!fetch->Done) throw Exception("Cannot wait for the catalogue");
  std::thread([fetch, url] {
    try {
      fetch->Result.Bytes = catalogue::FetchCatalogueBytes(url);
      fetch->Result.Signature = catalogue::VerifyCatalogueSignature(url, fetch->Result.Bytes);
      catalogue::CheckCatalogueBytes(fetch->Result.Bytes);
      // An older publication served again is refused; its time is recorded once the
      // whole catalogue has been read.
      catalogue::CheckCataloguePublished(fetch->Result.Bytes, config::PublicationRecordPath(),
                                         false);
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
  return std::move(fetch->Result);
}

// A trimmed folder text as the file system compares it.
std::wstring FoldedFolder(const std::wstring& folder) {
  std::wstring folded = config::Trim(folder);
  if (!folded.empty())
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, folded.data(),
                  static_cast<int>(folded.size()), folded.data(), static_cast<int>(folded.size()),
                  nullptr, nullptr, 0);
  return folded;
}

// Every item of a parsed catalogue, or the error of the first that cannot be read.
std::vector<catalogue::TCatalogueItem> ReadItems(const catalogue::TCatalogueDocument& document) {
  int count = document.ItemCount();
  std::vector<catalogue::TCatalogueItem> items;
  items.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) items.push_back(document.Item(i));
  return items;
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
  // Nothing of the list changes until a whole catalogue has been read: one that is
  // refused leaves the rows, the counts and the expected archives as they were.
  std::vector<catalogue::TCatalogueItem> items;
  std::optional<std::wstring> savedAt;
  {
    std::optional<TFetchedCatalogue> fetched;
    try {
      fetched = FetchWhileAnswering(catalogue::CatalogueUrl(), Handle());
      if (!fetched) return;
    } catch (const catalogue::ECatalogueError& error) {
      // The server cannot be reached: the last catalogue that verified stands in.
      if (!error.ServerUnreachable()) throw;
      std::optional<catalogue::TSavedCatalogue> saved;
      try {
        saved = catalogue::LoadSavedCatalogue(SavedCataloguePath());
        // Never a list older than one accepted since this copy was saved.
        if (saved)
          catalogue::CheckCataloguePublished(saved->Bytes, config::PublicationRecordPath(), false);
      } catch (const catalogue::ECatalogueError& refused) {
        throw catalogue::ECatalogueError(error.Message() + "\n" + refused.Message());
      }
      if (!saved) throw;
      fetched = TFetchedCatalogue{std::move(saved->Bytes), {}};
      savedAt = std::move(saved->SavedAt);
    }
    // The document is dropped at the end of this block, also when the walk throws.
    items = ReadItems(catalogue::TCatalogueDocument::Parse(fetched->Bytes));
    // Accepted: its time is recorded, and it is kept for the day the server cannot be
    // reached (a copy that cannot be written leaves the earlier one).
    if (!savedAt) {
      catalogue::CheckCataloguePublished(fetched->Bytes, config::PublicationRecordPath(), true);
      catalogue::SaveCatalogue(SavedCataloguePath(), fetched->Bytes, fetched->Signature);
    }
  }
  ListView1->Clear();
  ListView1->SetColumnCaption(1, L"UI_ID");
  FExpectedArchives.clear();
  FFolderOwners.clear();
  FShowingSavedCatalogue = savedAt.has_value();
  MainMenu1.Find(L"CheckUpdatesM")->SetEnabled(false);
  ListCatalogue(std::move(items));
  if (savedAt) {
    // Nothing to fetch from a server that cannot be reached: the states, then the text
    // that says which list this is.
    BitBtn4->Click();
    Label6->SetCaption(L"無法連線伺服器,顯示 " + *savedAt + L" 儲存的清單");
    return;
  }
  Button4->Click();  // archive refresh; it ends with the status check
  // The page is asked for once the list has been painted: its navigation keeps the
  // window busy for a while.
  std::weak_ptr<bool> alive = FAlive;
  ui::Application().Post([this, alive] {
    if (!alive.expired()) ShowCataloguePage();
  });
}

std::wstring TForm1::SavedCataloguePath() {
  return config::ExeDir() + L"LastData.xml";
}

void TForm1::ParseCatalogue(const catalogue::TCatalogueDocument& document) {
  ListCatalogue(ReadItems(document));
}

void TForm1::ListCatalogue(std::vector<catalogue::TCatalogueItem> items) {
  int count = static_cast<int>(items.size());
  ui::TListUpdate update(*ListView1);
  auto noteExpectation = [this](const catalogue::TCatalogueItem& item) {
    // Only the first of folders that differ in case speaks for their one archive.
    auto [owner, first] =
        FFolderOwners.try_emplace(FoldedFolder(item.Folder), config::Trim(item.Folder));
    if (!first && owner->second != config::Trim(item.Folder)) return;
    if (item.ArchiveSize.empty() && item.ArchiveSha256.empty()) return;
    install::TArchiveExpectation expectation =
        install::ParseExpectation(item.ArchiveSize, item.ArchiveSha256);
    if (expectation.Any()) ExpectArchive(item.Folder, expectation);
  };
  if (ListView1->Count() > 0) {
    for (catalogue::TCatalogueItem& item : items) {
      noteExpectation(item);
      AddAddonRow(item.Name, item.Id, item.Folder, item.Description, item.Author);
    }
    return;
  }
  // Into an empty list the rows go in one batch, in the order adding them one by one
  // gives: by caption, equal captions in document order.
  std::vector<std::string> keys;
  std::vector<ui::TListView::TRow> rows;
  keys.reserve(static_cast<size_t>(count));
  rows.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    catalogue::TCatalogueItem& item = items[static_cast<size_t>(i)];
    noteExpectation(item);
    keys.push_back(catalogue::Cp950Bytes(item.Name));
    rows.push_back({std::move(item.Name),
                    {std::to_wstring(i + 1), std::move(item.Folder), std::move(item.Description),
                     std::move(item.Author)},
                    false});
  }
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

std::optional<std::wstring> TForm1::OtherFolderOwner(const std::wstring& folder) const {
  if (FFolderOwners.empty()) return std::nullopt;
  auto found = FFolderOwners.find(FoldedFolder(folder));
  if (found == FFolderOwners.end() || found->second == config::Trim(folder)) return std::nullopt;
  return found->second;
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
