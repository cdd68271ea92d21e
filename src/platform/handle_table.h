// Maps the FileHandle values the library holds to the system's descriptors.
//
// Records that hold handles are copied whole (a lock slot is saved and restored by value), so two
// copies can name one open file. The system reuses a closed descriptor's number at once: closing
// through a stale copy would then close some other file, dropping a lock without a word. Handles
// from this table are never reused while the process runs, so a stale one is merely dead.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "platform/env.h"

namespace miradel::platform {

// Native: what the port keeps of an open file (its descriptor, and whatever it learnt at the open).
template <class Native>
class HandleTableOf {
 public:
  FileHandle Add(Native native) {
    std::lock_guard<std::mutex> g(m_mu);
    FileHandle h;
    do {
      h = m_next++;
    } while (h == kNoFile || m_map.count(h));
    m_map.emplace(h, native);
    return h;
  }
  bool Get(FileHandle h, Native* native) const {
    std::lock_guard<std::mutex> g(m_mu);
    auto it = m_map.find(h);
    if (it == m_map.end()) return false;
    *native = it->second;
    return true;
  }
  // Forgets the handle; returns its descriptor so the caller can close it.
  bool Remove(FileHandle h, Native* native) {
    std::lock_guard<std::mutex> g(m_mu);
    auto it = m_map.find(h);
    if (it == m_map.end()) return false;
    *native = it->second;
    m_map.erase(it);
    return true;
  }

 private:
  mutable std::mutex m_mu;
  FileHandle m_next = 1;
  std::unordered_map<FileHandle, Native> m_map;
};

using HandleTable = HandleTableOf<std::intptr_t>;

}  // namespace miradel::platform
