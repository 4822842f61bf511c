// The main window's web panels and the menu entries that open the publisher's sites
// in a browser window of their own.
#include "app/Form1.h"

#include "ui/Application.h"
#include "web/Pages.h"
#include "web/WebBrowser.h"

namespace app {

void TForm1::CreateWebPanels() {
  WebBrowser1 = std::make_unique<web::TWebBrowser>(Panel3->Handle());
  WebBrowser2 = std::make_unique<web::TWebBrowser>(Panel4->Handle());
  WebBrowser1->OnDocumentComplete = [this] { WebBrowser1DocumentComplete(); };
  WebBrowser2->OnDocumentComplete = [this] { WebBrowser2DocumentComplete(); };
}

void TForm1::ShowCataloguePage() {
  FormCreateLate();
  WebBrowser1->Navigate(web::CataloguePageAddress());
}

void TForm1::WebBrowser1DocumentComplete() {
  web::HideBorderAndScrollBars(WebBrowser1->Automation());
}

void TForm1::WebBrowser2DocumentComplete() {
  web::HideBorderAndScrollBars(WebBrowser2->Automation());
}

// The two top-level entries check and clear themselves on every click, before their
// page opens.
void TForm1::N9Click() {
  if (ui::TMenuItem* item = MainMenu1.Find(L"N9")) item->SetChecked(!item->Checked());
  web::OpenExternalPage(Handle(), web::PortalHomeAddress());
}

void TForm1::N5Click() {
  if (ui::TMenuItem* item = MainMenu1.Find(L"N5")) item->SetChecked(!item->Checked());
  web::OpenExternalPage(Handle(), web::UpdateHomeAddress());
}

void TForm1::N6Click() {
  web::OpenExternalPage(Handle(), web::ForumHomeAddress());
}

}  // namespace app
