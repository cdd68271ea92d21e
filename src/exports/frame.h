// What every export shares: building texts from the host's (pointer, length) pairs and keeping
// every failure inside the library.
#pragma once

#include <string>

#include "base/path.h"

namespace miradel::exports {

// A text of exactly *length bytes; empty for a null pointer, a null length or a length <= 0.
inline std::string Text(const char* p, const int* length) {
  if (!p || !length || *length <= 0) return std::string();
  return std::string(p, static_cast<std::size_t>(*length));
}

// A terminated text; empty for a null pointer.
inline std::string CText(const char* p) { return p ? std::string(p) : std::string(); }

// A path from the host, in the platform's form from here on.
inline Path PathText(const char* p, const int* length) { return Path::FromText(Text(p, length)); }

inline int Value(const int* p, int fallback = 0) { return p ? *p : fallback; }

// Runs an export body; nothing is thrown across the boundary (the host could not catch it).
template <typename R, typename F>
R Guard(R failure, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

template <typename F>
void GuardVoid(F&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace miradel::exports
