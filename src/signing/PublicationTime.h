// Publication times of the signed files and the record of the newest one accepted.
//
// The publisher tool writes into Data.xml (attribute `published` of the root) and into
// UPdate.ini (`published=` in [updataver]) the time of the publication, UTC, ISO 8601:
// "YYYY-MM-DDTHH:MM:SSZ", a fraction of a second allowed. The manager keeps, beside
// itself, the newest time it accepted for each file and refuses a signed file that is
// older, so an older signed publication served again can neither roll the list back nor
// downgrade the program. A file without a time passes only while none is recorded.
//
// What it does not do: verify signatures (judge only files whose signature verified),
// read the files (callers pass the time text they found), or look at the clock: a time
// in the future is accepted like any other.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace signing {

// The instant a publication time names, as a text that sorts like the instants
// ("YYYYMMDDHHMMSS" and nine fraction digits); nullopt when text is not a valid time in
// the form above (a wrong field count, a day the month lacks, an hour past 23...).
std::optional<std::string> PublicationInstant(std::string_view text);

// How a signed file's time compares with the newest accepted before.
enum class TFreshness {
  Fresh,      // as new as or newer than the recorded time, or no time recorded yet
  Older,      // older than the recorded time: a replayed publication
  Undated,    // no time, while one is recorded
  Malformed,  // a time that cannot be read
};

// The record file: one line per file name, "name<TAB>time", UTF-8. Reads and updates of
// every record object of the process are serialized, so the catalogue's and the version
// file's checks may run on two threads at once.
class TPublicationRecord {
 public:
  explicit TPublicationRecord(std::wstring path) : FPath(std::move(path)) {}

  // The newest time accepted for `name` as the file gave it, "" when none (also when
  // the record is missing or unreadable).
  std::string Newest(std::string_view name) const;
  // Judges a file's time ("" when it carries none) against the record, changing nothing.
  TFreshness Judge(std::string_view name, std::string_view published) const;
  // Judges, and records `published` when it is Fresh and newer than the recorded time.
  // A record that cannot be written leaves the older time in place; the file is still
  // accepted.
  TFreshness Accept(std::string_view name, std::string_view published);

 private:
  const std::wstring FPath;
};

// The user-visible reason (UTF-8) for a file refused with `verdict` (not Fresh):
// what was offered and what was accepted before.
std::string FreshnessRefusal(TFreshness verdict, std::string_view fileName,
                             std::string_view published, std::string_view newest);

}  // namespace signing
