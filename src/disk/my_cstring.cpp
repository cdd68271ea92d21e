#include "disk/my_cstring.h"

namespace miradel {

void MyCString::Set(const std::string& value) {
  // Copy outside the lock: the allocation need not hold up the other thread.
  std::string copy = value;
  std::lock_guard<std::mutex> g(m_mu);
  m_value.swap(copy);
}

std::string MyCString::Get() const {
  std::lock_guard<std::mutex> g(m_mu);
  return m_value;
}

std::size_t MyCString::GetLength() const {
  std::lock_guard<std::mutex> g(m_mu);
  return m_value.size();
}

}  // namespace miradel
