// The host's version number becomes the eight digits behind the directory tag and the lock text.
#include <gtest/gtest.h>

#include <climits>

#include "control/version.h"

namespace miradel {
namespace {

TEST(Version, HostFormsPlaceTheirDigits) {
  EXPECT_EQ(VersionDigits(80100), "08000100");
  EXPECT_EQ(VersionDigits(10000104), "10000104");
  EXPECT_EQ(VersionDigits(801004), "80010004");
  EXPECT_EQ(VersionDigits(1234), "01023400");  // a b c d -> 0 a 0 b c d 0 0
  EXPECT_EQ(VersionDigits(12345), "01020345");
  EXPECT_EQ(VersionDigits(0), "00000000");
  EXPECT_EQ(VersionDigits(7), "07000000");
  EXPECT_EQ(VersionDigits(123), "01230000");
}

TEST(Version, OddFormsStayWithinEightCharacters) {
  EXPECT_EQ(VersionDigits(9000104), "09000104");    // 7 digits: a leading zero
  EXPECT_EQ(VersionDigits(123456789), "12345678");  // more than 8: the first eight
  EXPECT_EQ(VersionDigits(INT_MAX), "21474836");
  EXPECT_EQ(VersionDigits(-80100), "08000100");     // the sign is dropped
  EXPECT_EQ(VersionDigits(INT_MIN), "21474836");
  for (int v : {1, 12, 99999, 100000, 999999, 1000000, 9999999, 99999999, -1, -123456789})
    EXPECT_EQ(VersionDigits(v).size(), 8u) << v;
}

TEST(Version, DottedTextDropsOneLeadingZeroPerGroup) {
  EXPECT_EQ(DottedVersion("08000100"), "8.0.1.0");
  EXPECT_EQ(DottedVersion("10000104"), "10.0.1.4");
  EXPECT_EQ(DottedVersion("80010004"), "80.1.0.4");
  EXPECT_EQ(DottedVersion("00000000"), "0.0.0.0");
  EXPECT_EQ(DottedVersion("21474836"), "21.47.48.36");
}

}  // namespace
}  // namespace miradel
