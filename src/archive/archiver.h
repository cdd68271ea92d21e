// The archiver behind the archive dialog and `miradel pack`/`unpack`: a zip file (deflate, through
// libzip) whose entries carry only base names, so that every file unpacks into one directory, with
// this unpacker, unzip or Windows' own zip support alike.
//
//  - Creating writes the archive in the user's temporary folder and puts it in place with the
//    replace-write of the platform (a temporary file beside it, flushed, then renamed over it) only
//    when all of it is written: a failed or interrupted pack leaves whatever was at the path before.
//  - Where the machine has more than one core, the files are compressed in shards in parallel into
//    temporary archives under the user's temporary path, whose compressed entries are then copied
//    into the archive without compressing them again.
//  - Unpacking checks every entry before it writes anything: a name that could lead out of the
//    destination, a link, an encrypted or unknown entry, or two entries of one name refuse the
//    archive, as do entries that would not fit on the destination's volume, and files there that
//    someone works on (a live model lock names their model, or their holder keeps writers out).
//    Names flagged as UTF-8 are turned into the platform's form. Each entry goes into a temporary
//    file in the destination and is checked (CRC and size); only when all are whole are they renamed
//    into place, each file they replace moved aside until all are. On a failure every file this
//    unpack wrote is removed again and every replaced one put back.
//  - Files are read and written through platform::Current() (the host's code page on Windows),
//    never held in memory whole; sizes are 64-bit (ZIP64 where needed).
//  - Progress is reported from the calling thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/path.h"

namespace miradel::archive {

class Progress {
 public:
  virtual ~Progress() = default;
  virtual void Update(std::size_t files_done, std::size_t files_total, std::uint64_t bytes_done,
                      std::uint64_t bytes_total) = 0;
};

class Archiver {
 public:
  void SetArchivePath(const Path& path) { m_archive = path.str(); }
  // The files, in call order; trailing blanks removed.
  void AddFilePathToArchive(std::string path);
  // true when the whole archive is written. Refused (nothing written) when no file was added, a
  // file cannot be read, or two files share a base name (without regard to case: they would land
  // on one file when unpacked on Windows).
  bool CreateZipFile(Progress* progress = nullptr);
  // Unpacks every entry into destination, an existing directory. true when all are in place.
  bool ExtractZipFile(const Path& archive, const Path& destination, Progress* progress = nullptr);
  // Why the last call failed, for people.
  const std::string& LastError() const { return m_error; }

  // How many threads compress or unpack at once; 0 (the default): one a core, and one alone for
  // small jobs. For tests and benchmarks.
  void SetThreads(unsigned threads) { m_threads = threads; }

 private:
  bool Refuse(std::string text);

  std::string m_archive;
  std::vector<std::string> m_files;
  std::string m_error;
  unsigned m_threads = 0;
};

}  // namespace miradel::archive
