// The check a downloaded executable must pass before it may take the place of the
// running one: a whole PE image built for the same machine as this program.
//
// What it does not do: verify signatures, checksums or that the image actually loads.
// It only makes sure that what we are about to start is a complete Windows executable
// of our kind, not an error page, a cut-off transfer or a build for another processor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace selfupdate {

// Machine and optional-header magic of an image.
struct TPeKind {
  uint16_t Machine = 0;  // IMAGE_FILE_MACHINE_...
  uint16_t Magic = 0;    // 0x10b PE32, 0x20b PE32+
};

// The kind of the running executable, read from its own loaded headers.
TPeKind RunningPeKind();

// True when `data` holds a complete executable image (not a DLL) of `kind`: MZ header,
// e_lfanew inside the data, "PE\0\0", the expected machine and optional-header magic,
// the headers, the section table, every section's raw data, the COFF symbol and string
// tables and the certificate table all inside `size` bytes. Bytes after the last of
// them (an overlay) are allowed.
bool IsCompletePeImage(const unsigned char* data, size_t size, TPeKind kind);

// The file at `path` read whole and checked against the running executable's kind.
// False when the file cannot be read.
bool IsExecutableForThisMachine(const std::wstring& path);

}  // namespace selfupdate
