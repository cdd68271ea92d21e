#include "hostkit/line_reading_child.h"

namespace miradel::hostkit {

namespace {

// Takes one line out of buf, without its line end; false when buf holds no complete line.
bool TakeLine(std::string* buf, std::string* line) {
  std::size_t nl = buf->find('\n');
  if (nl == std::string::npos) return false;
  *line = buf->substr(0, nl);
  buf->erase(0, nl + 1);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

}  // namespace

int MillisLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

std::string DirectoryOf(const std::string& path) {
  std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string LineReadingChild::ReadLine(int timeout_ms, bool* ok) {
  if (ok) *ok = false;
  std::string line;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!TakeLine(&m_buf, &line)) {
    char chunk[4096];
    const long n = ReadChunk(chunk, sizeof chunk, deadline);
    if (n < 0) return std::string();
    if (n == 0) {  // end of output: a last line without its line end still counts
      if (m_buf.empty()) return std::string();
      line.swap(m_buf);
      break;
    }
    m_buf.append(chunk, static_cast<std::size_t>(n));
  }
  if (ok) *ok = true;
  return line;
}

}  // namespace miradel::hostkit
