// Archives made entry by entry, stored, as some other program might make them.
#pragma once

#include <zip.h>

#include <string>
#include <vector>

namespace miradel::test {

struct RawEntry { std::string name, data; bool link = false, utf8 = false; };

// "" once written, else why not.
inline std::string MakeArchive(const std::string& path, const std::vector<RawEntry>& entries) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!za) return "open failed";
  for (const RawEntry& e : entries) {
    zip_source_t* src = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
    zip_int64_t i = zip_file_add(za, e.name.c_str(), src, e.utf8 ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_RAW);
    if (i < 0) return zip_strerror(za);
    zip_set_file_compression(za, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
    if (e.link) zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(i), 0, ZIP_OPSYS_UNIX, 0120777u << 16);
  }
  return zip_close(za) == 0 ? "" : zip_strerror(za);
}

}  // namespace miradel::test
