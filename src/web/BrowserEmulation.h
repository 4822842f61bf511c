// The document mode of the browser control in this program. Without a browser
// emulation value for the executable, the platform's control draws every page in
// IE 7 standards mode, which breaks present-day layouts and scripts.
#pragma once

namespace web {

// The value for IE 11 edge mode: pages are drawn in the newest standards mode.
constexpr unsigned long kIE11EdgeMode = 11001;

// Gives the running executable IE 11 edge mode in the user's FEATURE_BROWSER_EMULATION
// key (HKEY_CURRENT_USER only), value named after the executable's file name, unless
// that key already holds a value of that name: the player's own choice, of whatever
// type, stands. Returns whether it wrote the value. A key that cannot be opened or
// written leaves the control in its default mode, which is not an error. The control
// reads the value once, when the process makes its first control.
bool SetBrowserEmulation();

}  // namespace web
