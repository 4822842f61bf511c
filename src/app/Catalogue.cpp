// The catalogue commands of the main window: the load ("更新 UI"), its walk into list
// rows, and the export of the list back to Data.xml beside the executable.
#include "app/Form1.h"

#include "catalogue/Catalogue.h"
#include "config/Paths.h"

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

// Keeps a window from repainting for one scope, then repaints it once.
class TRedrawOff {
 public:
  explicit TRedrawOff(HWND window) : FWindow(window) {
    SendMessageW(FWindow, WM_SETREDRAW, FALSE, 0);
  }
  TRedrawOff(const TRedrawOff&) = delete;
  TRedrawOff& operator=(const TRedrawOff&) = delete;
  ~TRedrawOff() {
    SendMessageW(FWindow, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(FWindow, nullptr, TRUE);
  }

 private:
  HWND FWindow;
};

}  // namespace

void TForm1::Button3Click() {
  if (!RequireGamePath()) return;
  ListView1->Clear();
  ListView1->SetColumnCaption(1, L"UI_ID");

  TFlagScope loading(FLoadingCatalogue);
  {
    // Synchronous: the window waits for the document. It is dropped at the end of this
    // block, also when the load or the walk throws; rows added before an error stay.
    catalogue::TCatalogueDocument document = catalogue::LoadCatalogue(catalogue::CatalogueUrl());
    // A large catalogue fills the list row by row: one repaint at the end, not one each.
    TRedrawOff batch(ListView1->Handle());
    ParseCatalogue(document);
  }
  Button4->Click();  // archive refresh; it ends with the status check
  ShowCataloguePage();
}

void TForm1::ParseCatalogue(const catalogue::TCatalogueDocument& document) {
  int count = document.ItemCount();
  for (int i = 0; i < count; ++i) {
    catalogue::TCatalogueItem item = document.Item(i);
    AddAddonRow(item.Name, item.Id, item.Folder, item.Description, item.Author);
  }
}

void TForm1::Button5Click() {
  std::vector<catalogue::TCatalogueItem> items;
  int count = ListView1->Count();
  items.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    items.push_back({ListView1->ItemCaption(i), ListView1->SubItem(i, 0), ListView1->SubItem(i, 1),
                     ListView1->SubItem(i, 2), ListView1->SubItem(i, 3)});
  }
  catalogue::ExportCatalogue(items, config::ExeDir() + L"Data.xml");
}

}  // namespace app
