// CDiskObject listings: the insertion order of one directory, and the deep walks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "disk/disk_object.h"
#include "disk/disk_test_env.h"
#include "support/temp_dir.h"

namespace miradel::test {
namespace {

using platform::DirEntry;
using platform::ErrorKind;
using platform::kSep;
using platform::Op;
using List = std::vector<std::string>;

bool ByteGreater(const std::string& a, const std::string& b) {
  int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  return c > 0 || (c == 0 && a.size() > b.size());
}

// The rule itself, one name at a time: in front of the first entry that is greater, else at the end.
void ReferenceInsert(List& list, const List& names) {
  for (const std::string& s : names) {
    auto it = list.begin();
    while (it != list.end() && !ByteGreater(*it, s)) ++it;
    list.insert(it, s);
  }
}

TEST(DiskListingOrderTest, MatchesRepeatedInsertionOnRandomLists) {
  // '\xC3' sorts after the letters only in byte (unsigned) order.
  const char alphabet[] = {'a', 'A', 'b', '.', '\xC3'};
  std::mt19937 rng(20240611);
  auto word = [&] {
    std::string w(rng() % 4, ' ');
    for (char& c : w) c = alphabet[rng() % sizeof(alphabet)];
    return w;
  };
  for (int round = 0; round < 4000; ++round) {
    List start(rng() % 12), names(rng() % 12);
    for (auto& s : start) s = word();
    for (auto& s : names) s = word();
    if (round % 2) std::sort(start.begin(), start.end(), [](auto& a, auto& b) { return ByteGreater(b, a); });
    List expected = start, actual = start;
    ReferenceInsert(expected, names);
    InsertInListingOrder(actual, names);
    ASSERT_EQ(actual, expected) << "round " << round;
  }
}

class DiskListingTest : public ::testing::Test {
 protected:
  TestEnv env;
  CDiskObject disk{&env};
  TempDir tmp;
};

TEST_F(DiskListingTest, ListsFilesInByteOrderWithoutDirectories) {
  for (const char* name : {"b.txt", "B2.txt", "a.txt", ".hidden", "note"}) tmp.Write(name, "");
  ASSERT_EQ(disk.MakeDirectoryPath(tmp / "sub.txt"), 1);

  List names;
  EXPECT_EQ(disk.ListFiles(tmp.path(), names, 0), 1);
  EXPECT_EQ(names, (List{".hidden", "B2.txt", "a.txt", "b.txt", "note"}));

  List full{tmp / "a0"};
  EXPECT_EQ(disk.ListFilesMatching("*.TXT", tmp.path(), full, 1), 1);
  EXPECT_EQ(full, (List{tmp / "B2.txt", tmp / "a.txt", tmp / "a0", tmp / "b.txt"}));
}

TEST_F(DiskListingTest, MissingDirectoryAddsNothingButAnEmptyMatchFails) {
  tmp.Write("a.txt", "");
  List list{"keep"};
  EXPECT_EQ(disk.ListFiles(tmp / "missing", list, 0), 1);
  EXPECT_EQ(disk.GetErrorText(), "");
  EXPECT_EQ(disk.ListFilesMatching("*.xyz", tmp.path(), list, 0), 0);
  EXPECT_TRUE(EndsWith(disk.GetErrorText(), " " + tmp / "*.xyz")) << disk.GetErrorText();
  EXPECT_NE(disk.GetErrorText()[0], ' ');

  env.Fail(Op::kFind, "", ErrorKind::kAccessDenied);
  EXPECT_EQ(disk.ListFiles(tmp.path(), list, 1), 0);
  EXPECT_EQ(disk.GetErrorText(), env.MakeError(ErrorKind::kAccessDenied).message() + " " + tmp / "*.*");
  EXPECT_EQ(list, List{"keep"});
}

TEST_F(DiskListingTest, UnsortedArrivalsFollowTheInsertionRule) {
  const std::string root = Abs("/r/");
  env.tree[root] = {{".", true}, {"..", true}, {"m", false}, {"sub", true}, {"a", false},
                    {"M", false}, {"z", false}, {"c", false}};
  List list{"q", "b", "x", "d", "b"};
  List expected = list;
  ReferenceInsert(expected, {"m", "a", "M", "z", "c"});
  EXPECT_EQ(disk.ListFiles(root, list, 0), 1);
  EXPECT_EQ(list, expected);
}

TEST_F(DiskListingTest, SubdirectoriesDepthFirstInThePlatformsOrder) {
  const std::string root = Abs("/r/");
  const DirEntry dot{".", true}, dotdot{"..", true};
  env.tree[root] = {dot, dotdot, {"zeta", true}, {"f.txt", false}, {"alpha", true}};
  env.tree[root + N("zeta/")] = {dot, dotdot, {"inner", true}};
  env.tree[root + N("zeta/inner/")] = {dot, dotdot, {"g.txt", false}};
  env.tree[root + N("alpha/")] = {dot, dotdot};

  List full{"keep/"}, relative{"keep/"};
  EXPECT_EQ(disk.ListSubdirectoriesDeep(root, full, 1) + disk.ListSubdirectoriesDeep(root, relative, 0), 2);
  EXPECT_EQ(full, (List{"keep/", root + N("zeta/"), root + N("zeta/inner/"), root + N("alpha/")}));
  EXPECT_EQ(relative, (List{"keep/", "zeta", N("zeta/inner"), "alpha"}));

  // A directory whose search cannot start ends the walk; nothing of it stays in the list.
  env.tree.erase(root + N("zeta/inner/"));
  List list{"keep/"};
  EXPECT_EQ(disk.ListSubdirectoriesDeep(root, list, 1), 0);
  EXPECT_EQ(disk.GetErrorText(),
            env.MakeError(ErrorKind::kNotFound).message() + " " + root + N("zeta/inner/*.*"));
  EXPECT_EQ(list, List{"keep/"});
  list.clear();
  EXPECT_EQ(disk.ListFilesDeep(root, list, 1), 0);
  EXPECT_TRUE(list.empty());
}

TEST_F(DiskListingTest, FilesDeepSortedWithinEachDirectoryInWalkOrder) {
  ASSERT_EQ(disk.MakeDirectoryPath(tmp / N("top/s1/s2")), 1);
  ASSERT_EQ(disk.MakeDirectoryPath(tmp / N("top/empty")), 1);
  for (const char* name : {"top/b.txt", "top/a.txt", "top/s1/e.txt", "top/s1/c.txt", "top/s1/s2/d.txt"})
    tmp.Write(N(name), "");
  const std::string top = tmp / N("top/");

  List list{"keep"};
  EXPECT_EQ(disk.ListFilesDeep(tmp / "top", list, 1), 1);
  EXPECT_EQ(list, (List{"keep", top + "a.txt", top + "b.txt", top + N("s1/c.txt"), top + N("s1/e.txt"),
                        top + N("s1/s2/d.txt")}));
  list.clear();
  EXPECT_EQ(disk.ListFilesDeep(tmp / "top", list, 0), 1);
  EXPECT_EQ(list, (List{"a.txt", "b.txt", N("s1/c.txt"), N("s1/e.txt"), N("s1/s2/d.txt")}));

  list.clear();
  EXPECT_EQ(disk.ListSubdirectoriesDeep(top, list, 0), 1);
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (List{"empty", "s1", N("s1/s2")}));
}

}  // namespace
}  // namespace miradel::test
