// What the model file properties dialog shows: the texts of its fields, read from the file system.
#pragma once

#include <cstdint>
#include <string>

#include "platform/env.h"
#include "ui/user_interface.h"

namespace miradel::ui {

// "512 bytes (512 bytes)", "1.50 KB (1536 bytes)", "1.49 MB (1572863 bytes)": kilobytes rounded,
// megabytes cut at two decimals; the byte count in full, also beyond 32 bits.
std::string SizeText(std::uint64_t bytes);

// A file time as "Friday, December 04, 2026, 4:10:31 AM" in local time, the weekday replaced by
// "Today, " or "Yesterday, " when the date is now's or that of 24 hours before now. Names of days
// and months come from the C runtime's current locale. A time the file system does not keep gives "".
std::string FormatFileTime(const platform::FileTime& time, std::int64_t now_unix_ns);

// The fields for model file model_file (trailing blanks already removed) in directory model_dir,
// last saved by last_saved_by (blanks at its end are dropped), with the host's always-show setting
// and model revision. An empty model_file gives empty fields and always_show false. Times and size
// that cannot be read show "-Not Available-" and 0 bytes.
FileProperties FillFileProperties(platform::Env& env, const std::string& model_dir, const std::string& model_file,
                                  const std::string& last_saved_by, int always_show, int revision,
                                  std::int64_t now_unix_ns);

}  // namespace miradel::ui
