// The portable halves of the two dialogs: the properties' field texts (size, times, fill rules on
// real and missing files) and the archive dialog's "Select All" rules.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/env.h"
#include "support/temp_dir.h"
#include "ui/archive_dialog_model.h"
#include "ui/file_properties_model.h"

namespace miradel::ui {
namespace {

TEST(FilePropertiesModelTest, SizesBelowAKilobyteInKilobytesAndInMegabytesCutNotRounded) {
  const std::pair<std::uint64_t, const char*> cases[] = {
      {0, "0 bytes (0 bytes)"},
      {1023, "1023 bytes (1023 bytes)"},
      {1024, "1.00 KB (1024 bytes)"},
      {1536, "1.50 KB (1536 bytes)"},
      {1048575, "1024.00 KB (1048575 bytes)"},  // kilobytes are rounded
      {1048576, "1.00 MB (1048576 bytes)"},
      {1572863, "1.49 MB (1572863 bytes)"},
      {5ull << 30, "5120.00 MB (5368709120 bytes)"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(text, SizeText(bytes)) << bytes;
}

// Nanoseconds of a local calendar time.
std::int64_t Local(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&t)) * 1000000000;
}

TEST(FilePropertiesModelTest, TimesReadTodayOrYesterdayNearNowAndDropTheHoursLeadingZero) {
  const std::int64_t now = Local(2026, 12, 5, 4, 11, 31);
  const std::pair<std::int64_t, const char*> cases[] = {
      {now - 60'000'000'000, "Today, December 05, 2026, 4:10:31 AM"},
      {Local(2026, 12, 4, 21, 5, 3) + 999'999'999, "Yesterday, December 04, 2026, 9:05:03 PM"},
      {Local(2026, 11, 30, 10, 0, 0), "Monday, November 30, 2026, 10:00:00 AM"},
      {Local(2014, 1, 1, 0, 0, 0), "Wednesday, January 01, 2014, 12:00:00 AM"},
      {0, ""},
  };
  for (const auto& [when, text] : cases) EXPECT_EQ(text, FormatFileTime(when, now)) << when;
}

TEST(FilePropertiesModelTest, FillsFromTheFileAndTheHostsValuesAndShowsWhatCannotBeRead) {
  test::TempDir dir;
  dir.Write("PUMP.CMB", std::string(1536, 'x'));
  const std::string bare = dir.path().substr(0, dir.path().size() - 1);
  const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::system_clock::now().time_since_epoch()).count();
  struct Case { std::string dir, file, saved_by; int always, revision; std::string expected; };
  const std::string na = "-Not Available-";
  const Case cases[] = {
      {bare, "PUMP.CMB", "jane   ", 5, 7, "PUMP.CMB|jane|7|1|1.50 KB (1536 bytes)|" + bare},
      {dir.path(), "PUMP.CMB", "   ", 0, 0, "PUMP.CMB|" + na + "|UNDEFINED|0|1.50 KB (1536 bytes)|" + dir.path()},
      {bare, "GONE.CMB", "", 1, -3, "GONE.CMB|" + na + "|UNDEFINED|1|0 bytes (0 bytes)|" + bare},
      {bare, "", "jane", 1, 7, "|||0||"},  // nothing else is filled
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir + " " + c.file);
    const FileProperties p = FillFileProperties(platform::System(), c.dir, c.file, c.saved_by, c.always, c.revision, now);
    EXPECT_EQ(c.expected, p.model_file + "|" + p.last_saved_by + "|" + p.revision + "|" + (p.always_show ? "1" : "0") +
                              "|" + p.size + "|" + p.location);
    for (const std::string* time : {&p.created, &p.modified, &p.accessed}) {
      if (c.file.empty()) EXPECT_EQ("", *time);
      else if (c.file == "GONE.CMB") EXPECT_EQ(na, *time);
      else EXPECT_TRUE(time->rfind("Today, ", 0) == 0 || time->rfind("Yesterday, ", 0) == 0) << *time;
    }
  }
}

std::string Boxes(const ArchiveDialogModel& m) {  // "Select All" then the five, as ticks
  std::string s(1, m.select_all() ? 'x' : '-');
  for (int i = 0; i < ArchiveDialogModel::kTypeCount; ++i) s += m.type(i) ? 'x' : '-';
  return s;
}

TEST(ArchiveDialogModelTest, SelectAllTicksOrClearsAllAndIsClearedByAnyBoxButNeverTickedByOne) {
  ArchiveDialogModel m;
  EXPECT_EQ("xxxxxx", Boxes(m));
  m.ClickType(ArchiveDialogModel::kReports, false);
  EXPECT_EQ("-xx-xx", Boxes(m));
  m.ClickType(ArchiveDialogModel::kReports, true);  // all five ticked again, "Select All" stays clear
  EXPECT_EQ("-xxxxx", Boxes(m));
  m.ClickSelectAll(true);
  m.ClickSelectAll(false);
  EXPECT_EQ("------", Boxes(m));
  for (int i = 0; i < ArchiveDialogModel::kTypeCount; ++i) m.ClickType(i, true);
  m.ClickType(5, false);
  m.ClickType(-1, false);
  EXPECT_EQ("-xxxxx", Boxes(m));

  const bool all[5] = {true, true, true, true, true}, some[5] = {true, false, true, false, false};
  EXPECT_EQ("xxxxxx", Boxes(ArchiveDialogModel(all)));
  EXPECT_EQ("-x-x--", Boxes(ArchiveDialogModel(some)));
  bool out[5] = {};
  ArchiveDialogModel(some).Types(out);
  EXPECT_TRUE(out[0] && !out[1] && out[2] && !out[3] && !out[4]);
}

}  // namespace
}  // namespace miradel::ui
