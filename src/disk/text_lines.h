// The lines of a text file as the host's text mode reads them: a line ends at a line feed, a
// carriage return just before it goes with it, and a last line without one still counts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/byte_reader.h"

namespace miradel {

class TextLines {
 public:
  // Every reader here looks at the first columns only: longer lines keep this much, so that a
  // stranger's file without line ends cannot fill the memory.
  static constexpr std::size_t kKept = 4096;

  // Lines of bytes held in memory.
  explicit TextLines(std::string_view bytes) : m_in(bytes) {}
  // Lines of an open file, read through env; the handle stays the caller's.
  TextLines(platform::Env& env, platform::FileHandle file) : m_in(env, file) {}
  TextLines(const TextLines&) = delete;
  TextLines& operator=(const TextLines&) = delete;

  // The next line without its end; false at the end of the bytes or after a failed read.
  bool Next(std::string* line);
  // A read failed: the lines given so far are not the whole file.
  bool failed() const { return m_in.failed(); }

 private:
  platform::ByteReader m_in;
};

}  // namespace miradel
