// What the two platforms' child processes share: lines cut out of the child's output, and waits
// with a deadline.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "hostkit/process.h"

namespace miradel::hostkit {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline);
// The folder part of a path, with its separator; empty for a bare name.
std::string DirectoryOf(const std::string& path);

// Lines are cut out of the child's output alike everywhere; how a chunk of it is waited for and
// read is each platform's.
class LineReadingChild : public ChildProcess {
 public:
  std::string ReadLine(int timeout_ms, bool* ok) final;

 protected:
  // Up to size bytes of the child's output: how many, 0 at its end, -1 when the deadline passed.
  virtual long ReadChunk(char* chunk, std::size_t size, Clock::time_point deadline) = 0;

 private:
  std::string m_buf;
};

}  // namespace miradel::hostkit
