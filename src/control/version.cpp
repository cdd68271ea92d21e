#include "control/version.h"

#include <cstdlib>

namespace miradel {

std::string VersionDigits(int version) {
  long long value = version;
  std::string t = std::to_string(value < 0 ? -value : value);
  if (t.size() == 7) t = "0" + t;
  if (t.size() > 8) t.resize(8);
  const std::size_t len = t.size();
  if (len == 8) return t;

  std::string d = "00000000";
  std::size_t from = 0;
  if (len == 6) {
    d[0] = t[0];
    from = 1;
  }
  std::size_t pos = 1;
  for (std::size_t k = from; k < len && pos < d.size(); ++k) {
    d[pos] = t[k];
    pos += (len > 3 && k < len - 3) ? 2 : 1;
  }
  return d;
}

std::string DottedVersion(const std::string& digits) {
  std::string out;
  for (std::size_t g = 0; g < 4 && g * 2 + 1 < digits.size(); ++g) {
    if (g) out += '.';
    char hi = digits[g * 2], lo = digits[g * 2 + 1];
    if (hi != '0') out += hi;
    out += lo;
  }
  return out;
}

}  // namespace miradel
