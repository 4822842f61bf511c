// Self-update timers: placeholders until the self-update lands.
#include "app/Form1.h"

namespace app {

void TForm1::Timer1Timer() { Timer1.SetEnabled(false); }
void TForm1::Timer3Timer() { Timer3.SetEnabled(false); }

}  // namespace app
