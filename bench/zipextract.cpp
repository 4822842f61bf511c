// zipextract [--password P] ARCHIVE DESTDIR
// Extracts ARCHIVE with the installer's settings (RecreateDirs, pattern "*.*", DoAll,
// OverwriteMode Always) and prints the count. Exit 0 when ExtractFiles returned, 1 with
// the exception's message otherwise. This interface is what the comparison script uses.
#include <cstdio>
#include <cstring>
#include <string>

#include "unzip/UnZip.h"

int main(int argc, char** argv) {
  std::string password;
  int arg = 1;
  if (arg + 1 < argc && std::strcmp(argv[arg], "--password") == 0) {
    password = argv[arg + 1];
    arg += 2;
  }
  if (argc - arg != 2) {
    std::fprintf(stderr, "usage: zipextract [--password P] ARCHIVE DESTDIR\n");
    return 2;
  }
  try {
    TUnZip zip;
    zip.SetZipName(argv[arg]);
    zip.LoadDirectory();
    zip.SetDestDir(argv[arg + 1]);
    zip.RecreateDirs = true;
    zip.FilesList().push_back("*.*");
    zip.DoAll = true;
    zip.OverwriteMode = TUZOverwriteMode::Always;
    zip.Password = password;
    int count = zip.ExtractFiles();
    std::printf("%d\n", count);
    return 0;
  } catch (const Exception& error) {
    std::printf("%s\n", error.Message().c_str());
    return 1;
  }
}
