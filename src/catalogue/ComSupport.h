// Internal helpers of the catalogue module: the COM owners it uses and the text of
// COM failures in error messages. The catalogue runs on the window thread, which has
// joined OLE for the whole run.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "ui/Com.h"

namespace catalogue::detail {

using ui::TBstr;
using ui::TComPtr;
using ui::TVariant;

// "0x80004005" for the messages of unexpected COM failures.
inline std::string HresultText(HRESULT result) {
  char buffer[16];
  wsprintfA(buffer, "0x%08lX", static_cast<unsigned long>(result));
  return buffer;
}

}  // namespace catalogue::detail
