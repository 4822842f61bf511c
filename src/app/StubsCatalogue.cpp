// Catalogue and add-on list handlers: placeholders until the catalogue module lands.
#include "app/Form1.h"

namespace app {

void TForm1::Button3Click() {}
void TForm1::ParseCatalogue(const std::vector<std::vector<std::wstring>>&) {}
bool TForm1::AddAddonRow(const std::wstring&, const std::wstring&, const std::wstring&,
                         const std::wstring&, const std::wstring&) {
  return true;
}
void TForm1::Button5Click() {}
void TForm1::BitBtn4Click() {}
void TForm1::BitBtn1Click() {}
void TForm1::BitBtn2Click() {}
void TForm1::Button2Click() {}
void TForm1::ListView1ColumnClick(int) {}
int TForm1::CompareRows(const ui::TListView::TRow&, const ui::TListView::TRow&, int) const {
  return 0;
}
void TForm1::ListView1InfoTip(int, std::wstring&) {}
void TForm1::ListView1SelectItem(int) {}

}  // namespace app
