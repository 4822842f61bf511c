// Directory reader: any bytes as an archive; reads the directory (rebuilding from local
// headers when the end record is missing), every name and every comment.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = zipfuzz::WriteArchive(data, size);
  TUnZip zip;
  zipfuzz::Quiet(zip);
  zip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  try {
    zip.SetZipName(path);
    zip.LoadDirectory();
    for (int i = 0; i < zip.Count(); ++i) {
      zip.FullName(i);
      zip.EntryComment(i);
    }
    zip.ZipComment();
    zip.SetSortMode(TZipSortMode::ByName);
    zip.SetSortMode(TZipSortMode::ByRate);
  } catch (const EZipException&) {
  }
  return 0;
}
