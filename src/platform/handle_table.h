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

class HandleTable {
 public:
  FileHandle Add(std::intptr_t native) {
    std::lock_guard<std::mutex> g(mu_);
    FileHandle h;
    do {
      h = next_++;
    } while (h == kNoFile || map_.count(h));
    map_.emplace(h, native);
    return h;
  }
  bool Get(FileHandle h, std::intptr_t* native) const {
    std::lock_guard<std::mutex> g(mu_);
    auto it = map_.find(h);
    if (it == map_.end()) return false;
    *native = it->second;
    return true;
  }
  // Forgets the handle; returns its descriptor so the caller can close it.
  bool Remove(FileHandle h, std::intptr_t* native) {
    std::lock_guard<std::mutex> g(mu_);
    auto it = map_.find(h);
    if (it == map_.end()) return false;
    *native = it->second;
    map_.erase(it);
    return true;
  }

 private:
  mutable std::mutex mu_;
  FileHandle next_ = 1;
  std::unordered_map<FileHandle, std::intptr_t> map_;
};

}  // namespace miradel::platform
