// The portable halves of the two dialogs: the properties' field texts (size, times, fill rules on
// real and missing files) and the archive dialog's "Select All" rules.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ctime>

#include "platform/env.h"
#include "support/temp_dir.h"
#include "ui/archive_dialog_model.h"
#include "ui/file_properties_model.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace miradel::ui {
namespace {

// A local calendar time.
platform::FileTime Local(int year, int month, int day, int hour, int minute, int second, int nanos = 0) {
  std::tm t{second, minute, hour, day, month - 1, year - 1900, 0, 0, -1};
#ifdef _WIN32
  return {static_cast<std::int64_t>(_mktime64(&t)), nanos, true};  // mktime ends in 2038 there
#else
  return {static_cast<std::int64_t>(std::mktime(&t)), nanos, true};
#endif
}

TEST(FilePropertiesModelTest, SizesInKilobytesRoundedAndMegabytesCutAndTimesTodayOrYesterdayNearNow) {
  const std::pair<std::uint64_t, const char*> sizes[] = {
      {0, "0 bytes (0 bytes)"}, {1023, "1023 bytes (1023 bytes)"}, {1024, "1.00 KB (1024 bytes)"},
      {1536, "1.50 KB (1536 bytes)"}, {1048575, "1024.00 KB (1048575 bytes)"}, {1048576, "1.00 MB (1048576 bytes)"},
      {1572863, "1.49 MB (1572863 bytes)"}, {5ull << 30, "5120.00 MB (5368709120 bytes)"}};
  for (const auto& [bytes, text] : sizes) EXPECT_EQ(text, SizeText(bytes)) << bytes;
  const std::int64_t now = Local(2026, 12, 5, 4, 11, 31).seconds * 1000000000;  // the hour's leading zero goes
  const std::pair<platform::FileTime, const char*> times[] = {
      {Local(2026, 12, 5, 4, 10, 31), "Today, December 05, 2026, 4:10:31 AM"}, {platform::FileTime{}, ""},
      {Local(2026, 12, 4, 21, 5, 3, 999'999'999), "Yesterday, December 04, 2026, 9:05:03 PM"},
      {Local(2026, 11, 30, 10, 0, 0), "Monday, November 30, 2026, 10:00:00 AM"},
      {Local(1970, 1, 1, 0, 0, 0), "Thursday, January 01, 1970, 12:00:00 AM"},  // second 0 where local is UTC
      {Local(2300, 1, 1, 13, 0, 0), "Monday, January 01, 2300, 1:00:00 PM"}};  // past 64-bit nanoseconds
  for (const auto& [when, text] : times) EXPECT_EQ(text, FormatFileTime(when, now)) << when.seconds;
}

// The fill rules themselves are checked through NW_ShowFPDialog (archive_test); here the
// directory as given, without its separator, and a time the port must not wrap around.
TEST(FilePropertiesModelTest, FillsFromTheFileInTheDirectoryAsGiven) {
  test::TempDir dir;
  dir.Write("PUMP.CMB", std::string(1536, 'x'));
  const std::string bare = dir.path().substr(0, dir.path().size() - 1);
  const std::int64_t now = std::chrono::system_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
  const FileProperties p = FillFileProperties(platform::System(), bare, "PUMP.CMB", "jane   ", 5, 7, now);
  EXPECT_EQ(p.location, bare);
  EXPECT_EQ(p.size, "1.50 KB (1536 bytes)");
  EXPECT_EQ(p.last_saved_by, "jane");
#ifndef _WIN32  // Windows: the port's own test
  const struct timespec far[2] = {{0, UTIME_OMIT}, {10413792000 + 43200, 0}};  // 2300-01-01 at noon
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir.path() + "PUMP.CMB").c_str(), far, 0), 0);
  EXPECT_NE(FillFileProperties(platform::System(), bare, "PUMP.CMB", "", 0, 0, now).modified.find(", 2300, "),
            std::string::npos);
#endif
}

std::string Boxes(const ArchiveDialogModel& m) {  // "Select All" then the five, as ticks
  std::string s(1, m.select_all() ? 'x' : '-');
  for (int i = 0; i < ArchiveDialogModel::kTypeCount; ++i) s += m.type(i) ? 'x' : '-';
  return s;
}

TEST(ArchiveDialogModelTest, SelectAllTicksOrClearsAllAndIsClearedByAnyBoxButNeverTickedByOne) {
  ArchiveDialogModel m;  // the start state
  std::string seen = Boxes(m);
  // Reports off and on again, Select All off, then the five on one by one (and one that is none).
  for (auto [box, ticked] : {std::pair{2, false}, {2, true}, {-1, false}, {0, true}, {1, true}, {2, true}, {3, true},
                             {4, true}, {5, false}}) {
    box < 0 ? m.ClickSelectAll(ticked) : m.ClickType(box, ticked);
    seen += " " + Boxes(m);
  }
  EXPECT_EQ("xxxxxx -xx-xx -xxxxx ------ -x---- -xx--- -xxx-- -xxxx- -xxxxx -xxxxx", seen);
  const bool all[5] = {true, true, true, true, true}, some[5] = {true, false, true, false, false};
  EXPECT_EQ("xxxxxx|-x-x--", Boxes(ArchiveDialogModel(all)) + "|" + Boxes(ArchiveDialogModel(some)));
}

}  // namespace
}  // namespace miradel::ui
