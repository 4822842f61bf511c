// zipextract [--password P] ARCHIVE... DESTDIR
// Extracts each ARCHIVE in turn with the installer's settings (RecreateDirs, pattern
// "*.*", DoAll, OverwriteMode Always) into DESTDIR and prints each count. Exit 0 when
// every ExtractFiles returned, 1 with the exception's message otherwise. With more than
// one archive it also prints "extract_ms=N", the time of all extractions, which
// bench/install.sh compares with the manager's install of the same archives. This
// interface is what the comparison scripts use.
#include <chrono>
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
  if (argc - arg < 2) {
    std::fprintf(stderr, "usage: zipextract [--password P] ARCHIVE... DESTDIR\n");
    return 2;
  }
  const char* dest = argv[argc - 1];
  auto start = std::chrono::steady_clock::now();
  for (int archive = arg; archive < argc - 1; ++archive) {
    try {
      TUnZip zip;
      zip.SetZipName(argv[archive]);
      zip.LoadDirectory();
      zip.SetDestDir(dest);
      zip.RecreateDirs = true;
      zip.FilesList().push_back("*.*");
      zip.DoAll = true;
      zip.OverwriteMode = TUZOverwriteMode::Always;
      zip.Password = password;
      int count = zip.ExtractFiles();
      std::printf("%d\n", count);
    } catch (const Exception& error) {
      std::printf("%s\n", error.Message().c_str());
      return 1;
    }
  }
  if (argc - arg > 2) {
    auto elapsed = std::chrono::steady_clock::now() - start;
    std::printf("extract_ms=%lld\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
  }
  return 0;
}
