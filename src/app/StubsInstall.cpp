// Install and remove: placeholders until the installer lands.
#include "app/Form1.h"

namespace app {

void TForm1::Button1Click() {}
void TForm1::Button8Click() {}

}  // namespace app
