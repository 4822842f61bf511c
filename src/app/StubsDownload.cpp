// Archive refresh and version-file download: placeholders until the downloads land.
#include "app/Form1.h"

namespace app {

void TForm1::Button4Click() {}
void TForm1::StartVersionCheck() {}

}  // namespace app
