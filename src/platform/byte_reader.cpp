#include "platform/byte_reader.h"

namespace miradel::platform {

bool ByteReader::Next(char* c) {
  if (m_pos == m_bytes.size()) {
    if (m_env == nullptr || m_ended) return false;
    std::size_t got = 0;
    if (!m_env->Read(m_file, m_buffer, sizeof m_buffer, &got).ok()) m_failed = true;
    if (m_failed || got == 0) {
      m_ended = true;
      return false;
    }
    m_bytes = std::string_view(m_buffer, got);
    m_pos = 0;
  }
  *c = m_bytes[m_pos++];
  return true;
}

FileHandle OpenForReading(Env& env, const std::string& path) {
  FileHandle h = kNoFile;
  if (path.empty() ||
      !env.OpenFile(path, kRead, kShareRead | kShareWrite, Disposition::kOpenExisting, &h, nullptr).ok())
    return kNoFile;
  return h;
}

}  // namespace miradel::platform
