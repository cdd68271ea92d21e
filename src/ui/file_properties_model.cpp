#include "ui/file_properties_model.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "base/text.h"
#include "platform/byte_reader.h"

namespace miradel::ui {

namespace {

constexpr const char* kNotAvailable = "-Not Available-";

std::string Fixed2(double value) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, "%.2f", value);
  return n > 0 && static_cast<std::size_t>(n) < sizeof buffer ? std::string(buffer, static_cast<std::size_t>(n))
                                                              : std::string();
}

// One part of a time; empty when it cannot be formatted within 128 characters.
std::string Part(const char* format, const std::tm& t) {
  char buffer[128];
  const std::size_t n = std::strftime(buffer, sizeof buffer, format, &t);
  return std::string(buffer, n);
}

bool SameDay(const std::tm& a, const std::tm& b) {
  return a.tm_mday == b.tm_mday && a.tm_mon == b.tm_mon && a.tm_year == b.tm_year;
}

// Seconds, rounded towards the past also before 1970.
std::int64_t Seconds(std::int64_t ns) { return ns / 1000000000 - (ns % 1000000000 < 0 ? 1 : 0); }

}  // namespace

std::string SizeText(std::uint64_t bytes) {
  const std::string b = std::to_string(bytes);
  if (bytes < 1024) return b + " bytes (" + b + " bytes)";
  if (bytes < 1048576) return Fixed2(static_cast<double>(bytes) / 1024) + " KB (" + b + " bytes)";
  const double mb = std::trunc(static_cast<double>(bytes) / 1048576 * 100) / 100;
  return Fixed2(mb) + " MB (" + b + " bytes)";
}

std::string FormatFileTime(const platform::FileTime& time, std::int64_t now_unix_ns) {
  std::tm when{}, now{}, day_before{};
  if (!time.known || !platform::LocalTime(time.seconds, &when)) return std::string();
  std::string weekday = Part("%A, ", when);
  const std::int64_t now_s = Seconds(now_unix_ns);
  if (platform::LocalTime(now_s, &now) && SameDay(when, now)) weekday = "Today, ";
  if (platform::LocalTime(now_s - 86400, &day_before) && SameDay(when, day_before)) weekday = "Yesterday, ";
  std::string clock = Part("%I:%M:%S %p", when);
  if (!clock.empty() && clock[0] == '0') clock.erase(0, 1);
  return weekday + Part("%B %d, %Y, ", when) + clock;
}

FileProperties FillFileProperties(platform::Env& env, const std::string& model_dir, const std::string& model_file,
                                  const std::string& last_saved_by, int always_show, int revision,
                                  std::int64_t now_unix_ns) {
  FileProperties p;
  if (model_file.empty()) return p;
  p.model_file = model_file;
  p.last_saved_by = text::TrimTrailingBlanks(last_saved_by);
  if (p.last_saved_by.empty()) p.last_saved_by = kNotAvailable;
  p.revision = revision > 0 ? std::to_string(revision) : "UNDEFINED";
  p.always_show = always_show != 0;
  std::string path = model_dir;
  if (path.empty() || path.back() != kSep) path += kSep;
  path += model_file;

  platform::FileInfo info;
  const bool known = env.GetFileInfo(path, &info).ok();
  p.created = known ? FormatFileTime(info.creation, now_unix_ns) : kNotAvailable;
  p.accessed = known ? FormatFileTime(info.access, now_unix_ns) : kNotAvailable;
  p.modified = known ? FormatFileTime(info.mtime, now_unix_ns) : kNotAvailable;
  p.location = model_dir;

  // The size counts only for a file that opens for reading, as a colleague's copy being written
  // may not.
  std::uint64_t size = 0;
  const platform::FileHandle h = platform::OpenForReading(env, path);
  if (h != platform::kNoFile) {
    if (known || env.GetFileInfo(path, &info).ok()) size = info.size;
    env.Close(h).IgnoreError();
  }
  p.size = SizeText(size);
  return p;
}

}  // namespace miradel::ui
