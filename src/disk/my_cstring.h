// A string that two threads share: the host sets the model directory while the copy thread reads it.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

namespace miradel {

class MyCString {
 public:
  MyCString() = default;
  explicit MyCString(std::string value) : m_value(std::move(value)) {}
  virtual ~MyCString() = default;
  MyCString(const MyCString&) = delete;
  MyCString& operator=(const MyCString&) = delete;

  void Set(const std::string& value);
  // A copy, so that the caller never holds a reference the other thread may change under it.
  std::string Get() const;
  std::size_t GetLength() const;

 private:
  mutable std::mutex m_mu;
  std::string m_value;
};

}  // namespace miradel
