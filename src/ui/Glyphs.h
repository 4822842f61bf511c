// Small button pictures drawn in code: no image files to ship or keep in step.
#pragma once

#include <windows.h>

namespace ui {

enum class TGlyph { CheckAll, UncheckAll, Refresh, Settings, Install, Remove, Game, Check };

// A new size x size bitmap (the caller owns it) with the button face as background.
HBITMAP DrawGlyph(TGlyph glyph, int size);

}  // namespace ui
