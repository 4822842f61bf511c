// Dock timer: placeholder until docking lands.
#include "app/Form1.h"

namespace app {

void TForm1::Timer4Timer() {}

}  // namespace app
