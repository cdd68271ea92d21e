// What the fuzz targets share: a broken invariant ends the run at once, so libFuzzer keeps the input.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#define FUZZ_CHECK(condition)                                                             \
  do {                                                                                    \
    if (!(condition)) {                                                                   \
      std::fprintf(stderr, "fuzz: broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)

namespace miradel::fuzz {

template <std::size_t N>
bool Terminated(const char (&field)[N]) {
  return std::memchr(field, 0, N) != nullptr;
}

// Lines as the host's text mode sees them: each line feed ends one, and a last one may lack it.
inline std::size_t TextLineCount(std::string_view bytes) {
  return std::count(bytes.begin(), bytes.end(), '\n') + (!bytes.empty() && bytes.back() != '\n');
}

inline bool HasEdgeWhiteSpace(std::string_view s) {
  auto white = [](char c) { return c == ' ' || c == '\t' || (c >= 10 && c <= 13); };
  return !s.empty() && (white(s.front()) || white(s.back()));
}

}  // namespace miradel::fuzz
