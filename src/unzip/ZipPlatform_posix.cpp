// POSIX half of the platform seam. Engine paths are UTF-8 with "\" separators; the
// read-only attribute is the absence of every write permission bit, and it is honoured
// even for a privileged user so that both builds refuse the same files.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>

#include "unzip/ZipPlatform.h"

namespace zipplatform {
namespace {

std::string NativePath(const std::string& path) {
  std::string result = path;
  for (char& c : result) {
    if (c == '\\') c = '/';
  }
  return result;
}

bool DosToTime(uint32_t dosDateTime, time_t& result) {
  struct tm parts = {};
  parts.tm_year = static_cast<int>((dosDateTime >> 25) & 0x7F) + 80;
  parts.tm_mon = static_cast<int>((dosDateTime >> 21) & 0x0F) - 1;
  parts.tm_mday = static_cast<int>((dosDateTime >> 16) & 0x1F);
  parts.tm_hour = static_cast<int>((dosDateTime >> 11) & 0x1F);
  parts.tm_min = static_cast<int>((dosDateTime >> 5) & 0x3F);
  parts.tm_sec = static_cast<int>(dosDateTime & 0x1F) * 2;
  parts.tm_isdst = -1;
  result = mktime(&parts);
  return result != static_cast<time_t>(-1);
}

class TPosixFile : public TOsFile {
 public:
  explicit TPosixFile(int fd) : FFd(fd) {}
  ~TPosixFile() override { close(FFd); }

  int64_t Read(void* data, int64_t size) override {
    int64_t total = 0;
    while (total < size) {
      ssize_t got = read(FFd, static_cast<char*>(data) + total, static_cast<size_t>(size - total));
      if (got < 0) {
        if (errno == EINTR) continue;
        return total > 0 ? total : -1;
      }
      if (got == 0) break;
      total += got;
    }
    return total;
  }

  int64_t Write(const void* data, int64_t size) override {
    int64_t total = 0;
    while (total < size) {
      ssize_t put =
          write(FFd, static_cast<const char*>(data) + total, static_cast<size_t>(size - total));
      if (put < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (put == 0) break;
      total += put;
    }
    return total;
  }

  bool Seek(int64_t position) override {
    return position >= 0 && lseek(FFd, static_cast<off_t>(position), SEEK_SET) == position;
  }
  int64_t Size() override {
    struct stat info;
    return fstat(FFd, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
  }
  bool SetSize(int64_t size) override { return ftruncate(FFd, static_cast<off_t>(size)) == 0; }
  bool FlushToDisk() override { return fsync(FFd) == 0; }
  bool SetDosTime(uint32_t dosDateTime) override {
    time_t when;
    if (!DosToTime(dosDateTime, when)) return false;
    struct timespec times[2] = {{when, 0}, {when, 0}};
    return futimens(FFd, times) == 0;
  }

 private:
  int FFd;
};

}  // namespace

std::unique_ptr<TOsFile> OpenFile(const std::string& path, TOpenMode mode, TOpenError* error) {
  std::string native = NativePath(path);
  int flags = O_RDONLY;
  if (mode != TOpenMode::Read) {
    struct stat info;
    if (stat(native.c_str(), &info) == 0 && (info.st_mode & 0222) == 0) {
      if (error) *error = TOpenError::AccessDenied;
      return nullptr;
    }
    flags = mode == TOpenMode::Create ? (O_WRONLY | O_CREAT | O_TRUNC) : O_WRONLY;
  }
  int fd = open(native.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (error) {
      *error = errno == ENOENT   ? TOpenError::NotFound
               : errno == EACCES ? TOpenError::AccessDenied
                                 : TOpenError::Other;
    }
    return nullptr;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    if (error) *error = TOpenError::AccessDenied;
    return nullptr;
  }
  if (error) *error = TOpenError::None;
  return std::make_unique<TPosixFile>(fd);
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(NativePath(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat info;
  return stat(NativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateOneDirectory(const std::string& path) {
  std::string native = NativePath(path);
  if (mkdir(native.c_str(), 0777) == 0) return true;
  return DirectoryExists(path);
}

bool DeleteOneFile(const std::string& path) {
  return unlink(NativePath(path).c_str()) == 0;
}

uint32_t FileDosTime(const std::string& path) {
  struct stat info;
  if (stat(NativePath(path).c_str(), &info) != 0) return 0;
  struct tm parts;
  time_t when = info.st_mtime;
  if (!localtime_r(&when, &parts) || parts.tm_year < 80) return 0;
  return (static_cast<uint32_t>(parts.tm_year - 80) << 25) |
         (static_cast<uint32_t>(parts.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(parts.tm_mday) << 16) |
         (static_cast<uint32_t>(parts.tm_hour) << 11) | (static_cast<uint32_t>(parts.tm_min) << 5) |
         static_cast<uint32_t>(parts.tm_sec / 2);
}

int64_t FileModStamp(const std::string& path) {
  struct stat info;
  if (stat(NativePath(path).c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

bool IsReadOnly(const std::string& path) {
  struct stat info;
  return stat(NativePath(path).c_str(), &info) == 0 && (info.st_mode & 0222) == 0;
}

bool ClearAttributes(const std::string& path, uint32_t attributes) {
  struct stat info;
  std::string native = NativePath(path);
  if (stat(native.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return (attributes & 0x01) == 0 || chmod(native.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0;
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
  // Only the read-only bit has a POSIX meaning.
  if ((attributes & 0x01) == 0) return true;
  struct stat info;
  std::string native = NativePath(path);
  if (stat(native.c_str(), &info) != 0) return false;
  return chmod(native.c_str(), (info.st_mode & 07777) & ~0222u) == 0;
}

bool IsRemovableDrive(char) {
  return false;
}

bool DecodeOem(const std::string&, std::u32string&) {
  return false;
}

std::string EngineFromUnicode(const std::u32string& text) {
  std::string result;
  result.reserve(text.size());
  for (char32_t c : text) {
    if (c >= 0xD800 && c <= 0xDFFF) c = U'_';
    if (c < 0x80) {
      result += static_cast<char>(c);
    } else if (c < 0x800) {
      result += static_cast<char>(0xC0 | (c >> 6));
      result += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      result += static_cast<char>(0xE0 | (c >> 12));
      result += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
      result += static_cast<char>(0xF0 | (c >> 18));
      result += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      result += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      result += '_';
    }
  }
  return result;
}

std::string EngineFromRaw(const std::string& raw) {
  std::string result;
  result.reserve(raw.size());
  size_t i = 0;
  while (i < raw.size()) {
    unsigned char c = static_cast<unsigned char>(raw[i]);
    size_t extra = c < 0x80             ? 0
                   : (c & 0xE0) == 0xC0 ? 1
                   : (c & 0xF0) == 0xE0 ? 2
                   : (c & 0xF8) == 0xF0 ? 3
                                        : 9;
    bool good = extra <= 3 && i + extra < raw.size();
    uint32_t value = extra == 0 ? c : c & (0x3Fu >> extra);
    for (size_t k = 1; good && k <= extra; ++k) {
      unsigned char next = static_cast<unsigned char>(raw[i + k]);
      good = (next & 0xC0) == 0x80;
      value = (value << 6) | (next & 0x3F);
    }
    static const uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    if (good && extra > 0 &&
        (value < kMinimum[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)))
      good = false;
    if (!good) {
      // "%XX" keeps distinct names distinct.
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      result += escape;
      ++i;
      continue;
    }
    result.append(raw, i, extra + 1);
    i += extra + 1;
  }
  return result;
}

bool IsLeadByte(unsigned char) {
  return false;
}

void ProcessMessages() {}

int ShowMessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  switch (flags & 0x0F) {
    case 1:  // OK, Cancel
      return 2;
    case 4:  // Yes, No
      return 7;
    default:
      return 1;
  }
}

bool BrowseForArchive(const std::string&, std::string&) {
  return false;
}
bool BrowseForFolder(const std::string&, std::string&) {
  return false;
}

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

}  // namespace zipplatform
