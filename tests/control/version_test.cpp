// The host's version number becomes the eight digits behind the directory tag and the lock text.
#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "control/version.h"

namespace miradel {
namespace {

TEST(Version, DigitsOfEveryFormAndTheirDottedText) {
  // a b c d -> 0 a 0 b c d 0 0; seven digits get a leading zero, more than eight keep the first
  // eight, and the sign is dropped.
  const std::pair<int, const char*> digits[] = {
      {80100, "08000100"}, {10000104, "10000104"}, {801004, "80010004"}, {1234, "01023400"},
      {12345, "01020345"}, {0, "00000000"},        {7, "07000000"},      {123, "01230000"},
      {9000104, "09000104"}, {123456789, "12345678"}, {INT_MAX, "21474836"}, {-80100, "08000100"},
      {INT_MIN, "21474836"}};
  for (const auto& [version, expected] : digits) EXPECT_EQ(VersionDigits(version), expected) << version;
  for (int v : {1, 12, 99999, 100000, 999999, 1000000, 9999999, 99999999, -1, -123456789})
    EXPECT_EQ(VersionDigits(v).size(), 8u) << v;
  const std::pair<const char*, const char*> dotted[] = {{"08000100", "8.0.1.0"}, {"10000104", "10.0.1.4"},
      {"80010004", "80.1.0.4"}, {"00000000", "0.0.0.0"}, {"21474836", "21.47.48.36"}};
  for (const auto& [text, expected] : dotted) EXPECT_EQ(DottedVersion(text), expected) << text;
}

}  // namespace
}  // namespace miradel
