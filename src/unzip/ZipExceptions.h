// The engine's exception family. Every class carries only its message; callers tell
// failures apart by class. Portable: no platform header.
#pragma once

#include <string>

#include "base/Exception.h"

class EZipException : public Exception {
 public:
  using Exception::Exception;
};

#define VORNIS_ZIP_EXCEPTION(name, base) \
  class name : public base {             \
   public:                               \
    using base::base;                    \
  }

VORNIS_ZIP_EXCEPTION(EIncompleteZip, EZipException);
VORNIS_ZIP_EXCEPTION(ENotAZipFile, EZipException);
VORNIS_ZIP_EXCEPTION(EBadZipFile, EZipException);
VORNIS_ZIP_EXCEPTION(EUserCanceled, EZipException);
VORNIS_ZIP_EXCEPTION(EFatalUnzipError, EZipException);
VORNIS_ZIP_EXCEPTION(EBiggerThanUncompressed, EZipException);
VORNIS_ZIP_EXCEPTION(ECantWriteUCF, EZipException);
VORNIS_ZIP_EXCEPTION(EZLibError, EZipException);
VORNIS_ZIP_EXCEPTION(EZCompressionError, EZLibError);
// Index and duplicate errors of the object lists.
VORNIS_ZIP_EXCEPTION(EListError, EZipException);
// Seek, origin and put-back errors of the buffered file stream.
VORNIS_ZIP_EXCEPTION(EStreamError, EZipException);

#undef VORNIS_ZIP_EXCEPTION

// Fixed texts of the engine.
inline constexpr const char* kMsgIncompleteZip = "Incomplete Zip File";
inline constexpr const char* kMsgNotAZip = "Not a valid zip file!";
inline constexpr const char* kMsgPrematureEnd = "Premature end of file reached";
inline constexpr const char* kMsgBigger = "File is larger than uncompressed size!";
inline constexpr const char* kMsgCantWrite = "Cant write uncompressed file";
inline constexpr const char* kMsgZError = "error";
