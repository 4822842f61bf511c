#include "signing/PublicationTime.h"

#include <windows.h>

#include <map>
#include <mutex>

namespace signing {

namespace {

std::mutex& RecordMutex() {
  static std::mutex mutex;
  return mutex;
}

bool Digits(std::string_view text, size_t at, size_t count, int& value) {
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

int DaysIn(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

using TRecord = std::map<std::string, std::string, std::less<>>;

// The record's lines; a line that is not "name<TAB>valid time" is skipped.
TRecord ReadRecord(const std::wstring& path) {
  TRecord record;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return record;
  std::string text;
  char block[4096];
  DWORD read = 0;
  while (text.size() < (1 << 16) && ReadFile(file, block, sizeof block, &read, nullptr) && read > 0)
    text.append(block, read);
  CloseHandle(file);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tab = line.find('\t');
    if (tab != std::string::npos && PublicationInstant(line.substr(tab + 1)))
      record[line.substr(0, tab)] = line.substr(tab + 1);
    start = end + 1;
  }
  return record;
}

// Replaces the record whole: a new file beside it, then moved over it.
void WriteRecord(const std::wstring& path, const TRecord& record) {
  std::string text;
  for (const auto& [name, time] : record) text += name + "\t" + time + "\r\n";
  std::wstring temporary = path + L".new";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size() && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  if (!ok || !MoveFileExW(temporary.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    DeleteFileW(temporary.c_str());
}

TFreshness JudgeAgainst(std::string_view published, const std::string& newest) {
  if (published.empty()) return newest.empty() ? TFreshness::Fresh : TFreshness::Undated;
  std::optional<std::string> instant = PublicationInstant(published);
  if (!instant) return TFreshness::Malformed;
  if (newest.empty()) return TFreshness::Fresh;
  return *instant < *PublicationInstant(newest) ? TFreshness::Older : TFreshness::Fresh;
}

std::string Find(const TRecord& record, std::string_view name) {
  auto found = record.find(name);
  return found == record.end() ? std::string() : found->second;
}

}  // namespace

std::optional<std::string> PublicationInstant(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SS[.f...]Z
  int year, month, day, hour, minute, second;
  if (text.size() < 20 || !Digits(text, 0, 4, year) || text[4] != '-' ||
      !Digits(text, 5, 2, month) || text[7] != '-' || !Digits(text, 8, 2, day) || text[10] != 'T' ||
      !Digits(text, 11, 2, hour) || text[13] != ':' || !Digits(text, 14, 2, minute) ||
      text[16] != ':' || !Digits(text, 17, 2, second))
    return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > DaysIn(year, month) || hour > 23 || minute > 59 ||
      second > 60)
    return std::nullopt;
  std::string_view rest = text.substr(19);
  std::string fraction;
  if (rest.front() == '.') {
    size_t digits = rest.find_first_not_of("0123456789", 1);
    if (digits == std::string_view::npos || digits == 1 || digits > 10) return std::nullopt;
    fraction = rest.substr(1, digits - 1);
    rest = rest.substr(digits);
  }
  if (rest != "Z") return std::nullopt;
  fraction.resize(9, '0');
  std::string instant(text.substr(0, 4));
  instant += text.substr(5, 2);
  instant += text.substr(8, 2);
  instant += text.substr(11, 2);
  instant += text.substr(14, 2);
  instant += text.substr(17, 2);
  return instant + fraction;
}

std::string TPublicationRecord::Newest(std::string_view name) const {
  std::lock_guard lock(RecordMutex());
  return Find(ReadRecord(FPath), name);
}

TFreshness TPublicationRecord::Judge(std::string_view name, std::string_view published) const {
  return JudgeAgainst(published, Newest(name));
}

TFreshness TPublicationRecord::Accept(std::string_view name, std::string_view published) {
  std::lock_guard lock(RecordMutex());
  TRecord record = ReadRecord(FPath);
  std::string newest = Find(record, name);
  TFreshness verdict = JudgeAgainst(published, newest);
  if (verdict == TFreshness::Fresh && !published.empty() &&
      (newest.empty() || *PublicationInstant(newest) < *PublicationInstant(published))) {
    record[std::string(name)] = std::string(published);
    WriteRecord(FPath, record);
  }
  return verdict;
}

std::string FreshnessRefusal(TFreshness verdict, std::string_view fileName,
                             std::string_view published, std::string_view newest) {
  std::string file(fileName);
  switch (verdict) {
    case TFreshness::Older:
      return "伺服器提供的 " + file + " 是較舊的發行 (發行時間 " + std::string(published) +
             ",之前已接受 " + std::string(newest) + "),可能是重播的舊版本,已拒絕";
    case TFreshness::Undated:
      return "伺服器提供的 " + file + " 沒有發行時間,但之前已接受發行時間 " + std::string(newest) +
             " 的版本,可能是重播的舊版本,已拒絕";
    case TFreshness::Malformed:
      return "伺服器提供的 " + file + " 的發行時間 \"" + std::string(published) +
             "\" 無法辨識,已拒絕";
    case TFreshness::Fresh:
      break;
  }
  return {};
}

}  // namespace signing
