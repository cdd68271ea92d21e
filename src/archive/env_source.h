// libzip reads files through the platform Env, not through its own file code: on Windows the Env
// takes paths in the host's code page (the A functions), where zip_open would read them as UTF-8,
// and tests reach every read failure by injecting faults into the Env.
#pragma once

#include <zip.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/env.h"

namespace miradel::archive {

// What the sources of one pack or unpack share, across threads: the bytes read so far, the first
// failure of the Env (its text names the operation and the path), and a flag that makes every source
// fail its next read, so that the other threads stop once one has failed.
struct SourceShared {
  std::atomic<std::uint64_t> bytes{0};
  std::atomic<std::size_t> files{0};  // sources read to their end and closed
  // Called after each read, on the reading thread.
  std::function<void()> tick;
  std::atomic<bool> stop{false};
  // Counted by the sources of the files to pack, not by those of archives.
  bool count_bytes = false;

  void Failed(const std::string& text) {
    std::lock_guard<std::mutex> g(mu);
    if (first_failure.empty()) first_failure = text;
  }
  std::string FirstFailure() {
    std::lock_guard<std::mutex> g(mu);
    return first_failure;
  }

 private:
  std::mutex mu;
  std::string first_failure;
};

// A seekable, read-only libzip source of the file at path. The file's size is read now: a missing
// file or a directory fails here (nullptr, with *error set and the failure noted in shared).
zip_source_t* EnvSource(platform::Env& env, const std::string& path, SourceShared* shared, zip_error_t* error);

// The archive at path, opened for reading through EnvSource (nullptr and *error on failure). The
// local headers are not compared with the central directory at the open, which refuses archives
// with data descriptors (Info-ZIP's -fd, or its output to a pipe); every entry's size and checksum
// are checked as it is read.
zip_t* OpenArchiveForReading(platform::Env& env, const std::string& path, SourceShared* shared, zip_error_t* error);

// A new archive at path through libzip's own file code, which writes a temporary file beside it and
// renames it into place only at a zip_close that succeeded. On Windows the ANSI variant.
zip_t* CreateArchive(const std::string& path, zip_error_t* error);

}  // namespace miradel::archive
