// The checks that keep names from the host and from the share's files inside their directory.
#include "base/path.h"

#include <gtest/gtest.h>

namespace miradel::path {
namespace {

using namespace std::string_literals;

TEST(PathTest, OnlyNamesThatStayInsideTheirDirectoryPassAndAnEmptyDirectoryNamesNothing) {
  struct Case { std::string name; bool plain, inside; };
  const Case cases[] = {
      {"pump.dat", true, true},   {"..pump", true, true},     {"", false, false},
      {".", false, true},         {"..", false, false},       {"sub/pump.dat", false, true},
      {"sub\\pump.dat", false, true}, {"/etc/passwd", false, false}, {"\\\\server\\x", false, false},
      {"C:x.dat", false, false},  {"x.dat:stream", false, false}, {"../x", false, false},
      {"a/../../x", false, false}, {"a\\..", false, false},    {"a\0b"s, false, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(IsPlainName(c.name), c.plain) << c.name;
    EXPECT_EQ(StaysInside(c.name), c.inside) << c.name;
  }
  const std::string root = ToNative("/models/");
  const std::pair<std::string, bool> below[] = {
      {"/models/pump", true}, {"/MODELS/pump", true}, {"/models/", false}, {"/modelsx/pump", false},
      {"/models/../x", false}, {"/models/./x", false}, {"/models/a/..", false}};
  for (const auto& [p, is_below] : below) EXPECT_EQ(IsStrictlyBelow(ToNative(p), root), is_below) << p;

  // A Path never turns an empty directory into the root of the file system.
  const std::string sep(1, kSep);
  const Path models = Path::FromText("/models\\pump");
  EXPECT_EQ(models.str(), sep + "models" + sep + "pump");
  EXPECT_EQ(models.Join("m.dat").str(), sep + "models" + sep + "pump" + sep + "m.dat");
  EXPECT_EQ(models.AsDirectory().AsDirectory().str(), models.str() + sep);
  EXPECT_EQ(Path().AsDirectory().str(), "");
  EXPECT_EQ(Path().Join("m.dat").str(), "");
  EXPECT_TRUE(models.Join("m.dat").IsStrictlyBelow(models));
  EXPECT_FALSE(models.IsStrictlyBelow(models.AsDirectory()));
}

}  // namespace
}  // namespace miradel::path
