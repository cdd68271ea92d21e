// Reading a file, or bytes held in memory, one byte at a time through a buffer: how the library
// reads the text files a model names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace miradel::platform {

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : m_bytes(bytes) {}
  // The bytes of an open file, read through env; the handle stays the caller's.
  ByteReader(Env& env, FileHandle file) : m_env(&env), m_file(file) {}
  ByteReader(const ByteReader&) = delete;
  ByteReader& operator=(const ByteReader&) = delete;

  // The next byte; false at the end, and after a read that failed (which failed() tells).
  bool Next(char* c);
  bool failed() const { return m_failed; }

 private:
  Env* m_env = nullptr;
  FileHandle m_file = kNoFile;
  std::string_view m_bytes;
  std::size_t m_pos = 0;
  char m_buffer[8192];
  bool m_ended = false;
  bool m_failed = false;
};

// Opens path for reading, sharing it with readers and writers (the host may be writing it):
// kNoFile when it cannot be opened.
FileHandle OpenForReading(Env& env, const std::string& path);

}  // namespace miradel::platform
