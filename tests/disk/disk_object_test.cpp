// CDiskObject: qualifying paths, existence tests, making directories, listings in their insertion
// order and deep walks, copies and deletions.
#include "disk/disk_object.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/fault_env.h"
#include "support/temp_dir.h"

namespace miradel::test {
namespace {

using platform::DirEntry;
using platform::ErrorKind;
using platform::kSep;
using test::Op;
using platform::Status;
using List = std::vector<std::string>;

// "a/b" in the platform's separators.
std::string N(const std::string& s) { return path::ToNative(s); }

// An absolute path: "/x/y" on POSIX, "C:\x\y" on Windows.
std::string Abs(const std::string& s) {
#ifdef _WIN32
  return "C:" + N(s);
#else
  return N(s);
#endif
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The system's Env with injected faults, a current directory of the test's choosing, a record of
// the directories created, and, when `tree` is not empty, directory listings from there only.
class TestEnv : public test::FaultEnv {
 public:
  TestEnv() : FaultEnv(&platform::System()) {}
  std::optional<std::string> cwd;  // reported instead of the process's
  bool cwd_fails = false;
  std::vector<std::string> created;
  std::map<std::string, std::vector<DirEntry>> tree;

  Status GetCurrentDirectory(std::string* dir) override {
    if (cwd_fails) return MakeError(ErrorKind::kOther);
    if (!cwd) return FaultEnv::GetCurrentDirectory(dir);
    *dir = *cwd;
    return Status::Ok();
  }
  Status CreateDirectory(const std::string& path) override {
    created.push_back(path);
    return FaultEnv::CreateDirectory(path);
  }
  Status FindFiles(const std::string& dir, const std::string& pattern, std::vector<DirEntry>* out) override {
    if (tree.empty()) return FaultEnv::FindFiles(dir, pattern, out);
    out->clear();
    for (const DirEntry& e : tree[dir]) if (platform::WildcardMatch(pattern, e.name)) out->push_back(e);
    return out->empty() ? MakeError(ErrorKind::kNotFound) : Status::Ok();
  }
};

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

const std::string kInternal = CDiskObject::kInternalError;

class DiskObjectTest : public ::testing::Test {
 protected:
  std::string Qualify(std::string path, int expect_ok = 1) {
    EXPECT_EQ(disk.QualifyFilePath(path), expect_ok) << path;
    return path;
  }
  std::string Text(ErrorKind kind, const std::string& path) { return env.MakeError(kind).message() + " " + path; }
  // The call fails and itself leaves the internal error text.
  template <class Call>
  bool Internal(Call call) {
    disk.m_strError = "stale";
    return call() == 0 && disk.GetErrorText() == kInternal;
  }

  TestEnv env;
  CDiskObject disk{&env};
  TempDir tmp;
};

TEST_F(DiskObjectTest, QualifyResolvesRelativePathsAndRejectsWildcardsColonsAndNuls) {
  env.cwd = Abs("/base/one/two");
  EXPECT_EQ(Qualify("a.txt"), Abs("/base/one/two/a.txt"));
  EXPECT_EQ(Qualify(std::string("sub") + platform::kOtherSep + "x.txt"), Abs("/base/one/two/sub/x.txt"));
  EXPECT_EQ(Qualify(N("../x.txt")), Abs("/base/one/x.txt"));
  // Only leading steps climb, and never above the root.
  EXPECT_EQ(Qualify(N("../../c/../y.txt")), Abs("/base/c/../y.txt"));
  EXPECT_EQ(Qualify(N("../../../../../x.txt")), Abs("/x.txt"));
  EXPECT_EQ(Qualify(Abs("/d/a.txt")), Abs("/d/a.txt"));
  EXPECT_EQ(Qualify(N("//srv/share/a.txt")), N("//srv/share/a.txt"));
  // At the root a relative path must not come out as "<sep><sep>...", which reads as a share.
  env.cwd = Abs("/");
  EXPECT_EQ(Qualify("a.txt"), Abs("/a.txt"));
#ifdef _WIN32
  env.cwd = "D:\\work";
  EXPECT_EQ(Qualify("\\x\\a.txt"), "D:\\x\\a.txt");
  EXPECT_EQ(Qualify("C:/work/a.txt"), "C:\\work\\a.txt");
#endif

  // Refused after the rewriting, which stays.
  env.cwd = Abs("/base");
  for (const std::string& bad : {std::string("a*.txt"), N("dir?/a.txt"), std::string("a.t:t"), std::string("a\0b", 3)}) {
    EXPECT_EQ(Qualify(bad, 0), Abs("/base/") + N(bad));
    EXPECT_EQ(disk.GetErrorText(), kInternal);
  }
  EXPECT_EQ(Qualify(N("//srv/share/*.txt"), 0), N("//srv/share/*.txt"));
  env.cwd_fails = true;
  EXPECT_EQ(Qualify("a.txt", 0), "a.txt");
  EXPECT_EQ(disk.GetErrorText(), env.MakeError(ErrorKind::kOther).message());
}

TEST_F(DiskObjectTest, DirectoryPathsAndNameParts) {
  env.cwd = Abs("/base");
  for (auto [in, out] : {std::pair<std::string, std::string>{"x", Abs("/base/x/")}, {"", Abs("/base/")},
                         {"//srv/sh*re", N("//srv/sh*re/")}}) {
    EXPECT_EQ(disk.QualifyDirectoryPath(in), 1);
    EXPECT_EQ(in, out);
  }
  std::string r = "a?";
  EXPECT_EQ(disk.QualifyDirectoryPath(r), 0);
  EXPECT_EQ(disk.GetFileNamePart(r, N("d/a.txt")), 1);
  EXPECT_EQ(r, "a.txt");
  EXPECT_EQ(disk.GetDirectoryPart(r, N("d/a.txt")), 1);
  EXPECT_EQ(r, Abs("/base/d"));
  EXPECT_EQ(disk.GetDirectoryPart(r, "a*.txt"), 0);
  EXPECT_EQ(r, "");
}

TEST_F(DiskObjectTest, ExistenceTestsAnswerNoWithoutErrorText) {
  std::string file = tmp.Write("f.txt", "x"), dir = tmp / "d";
  ASSERT_EQ(disk.MakeDirectoryPath(dir), 1);
  // Opening for writing would disturb a colleague's exclusive writer; a read-only open must do.
  env.Fail(Op::kOpen, "", ErrorKind::kSharingViolation, -1, platform::kWrite);
  EXPECT_EQ(disk.FileIsPresent(file), 1);
  EXPECT_EQ(disk.DirectoryIsPresent(dir + kSep), 1);
  for (const std::string& p : {dir, tmp / "missing"}) EXPECT_EQ(disk.FileIsPresent(p), 0) << p;
  for (const std::string& p : {file, tmp / "missing"}) EXPECT_EQ(disk.DirectoryIsPresent(p), 0) << p;

  env.Fail(Op::kOpen, "f.txt", ErrorKind::kSharingViolation);
  env.Fail(Op::kEnterDir, "d", ErrorKind::kAccessDenied);
  EXPECT_EQ(disk.FileIsPresent(file), 0);
  EXPECT_EQ(disk.DirectoryIsPresent(dir), 0);
  EXPECT_EQ(disk.GetErrorText(), "");
  EXPECT_TRUE(Internal([&] { return disk.DirectoryIsPresent(""); }));  // not the current directory
}

TEST_F(DiskObjectTest, MakeDirectoryPathCreatesEveryMissingLevelOrNamesTheFullPath) {
  EXPECT_EQ(disk.MakeDirectoryPath(tmp / N("a/b/c")), 1);
  ASSERT_GE(env.created.size(), 3u);
  EXPECT_EQ(List(env.created.end() - 3, env.created.end()), (List{tmp / "a", tmp / N("a/b"), tmp / N("a/b/c")}));
  EXPECT_EQ(disk.MakeDirectoryPath(tmp / N("a/b/c/")), 1);
  EXPECT_TRUE(Internal([&] { return disk.MakeDirectoryPath(""); }));

  tmp.Write("f", "not a directory");
  EXPECT_EQ(disk.MakeDirectoryPath(tmp / N("f/sub")), 0);
  EXPECT_TRUE(EndsWith(disk.GetErrorText(), " " + tmp / N("f/sub/"))) << disk.GetErrorText();
  EXPECT_NE(disk.GetErrorText()[0], ' ');
  // The refused level is the cause, not the "not found" of the levels below it.
  env.Fail(Op::kCreateDir, "blocked", ErrorKind::kAccessDenied, 1);
  EXPECT_EQ(disk.MakeDirectoryPath(tmp / N("blocked/x")), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kAccessDenied, tmp / N("blocked/x/")));
  EXPECT_FALSE(tmp.Exists("blocked"));
  // Below a share the share root takes the drive's place. Every level is refused, so nothing
  // reaches the network or the root directory.
  env.created.clear();
  env.Fail(Op::kCreateDir, "nosuch-srv", ErrorKind::kOther);
  env.Fail(Op::kEnterDir, "nosuch-srv", ErrorKind::kOther);
  EXPECT_EQ(disk.MakeDirectoryPath(N("//nosuch-srv/share/x")), 0);
  EXPECT_EQ(env.created, (List{N("//nosuch-srv/share"), N("//nosuch-srv/share/x")}));
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kOther, N("//nosuch-srv/share/x/")));
}

TEST_F(DiskObjectTest, ListsFilesInByteOrderWithoutDirectoriesAndFailsOnlyWhenNothingMatches) {
  for (const char* name : {"b.txt", "B2.txt", "a.txt", ".hidden", "note"}) tmp.Write(name, "");
  ASSERT_EQ(disk.MakeDirectoryPath(tmp / "sub.txt"), 1);

  List names;
  EXPECT_EQ(disk.ListFiles(tmp.path(), names, 0), 1);
  EXPECT_EQ(names, (List{".hidden", "B2.txt", "a.txt", "b.txt", "note"}));

  // Each in front of the first entry greater than it: a list that was not sorted is not sorted now.
  List full{tmp / "z0", tmp / "a0"};
  EXPECT_EQ(disk.ListFilesMatching("*.TXT", tmp.path(), full, 1), 1);
  EXPECT_EQ(full, (List{tmp / "B2.txt", tmp / "a.txt", tmp / "b.txt", tmp / "z0", tmp / "a0"}));

  // A missing directory adds nothing and succeeds; a search that finds nothing fails.
  List list{"keep"};
  EXPECT_EQ(disk.ListFiles(tmp / "missing", list, 0), 1);
  EXPECT_EQ(disk.GetErrorText(), "");
  EXPECT_EQ(disk.ListFilesMatching("*.xyz", tmp.path(), list, 0), 0);
  env.Fail(Op::kFind, "", ErrorKind::kAccessDenied);
  EXPECT_EQ(disk.ListFiles(tmp.path(), list, 1), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kAccessDenied, tmp / "*.*"));
  EXPECT_EQ(list, List{"keep"});
}

TEST_F(DiskObjectTest, SubdirectoriesDepthFirstInThePlatformsOrder) {
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
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kNotFound, root + N("zeta/inner/*.*")));
  EXPECT_EQ(list, List{"keep/"});
  list.clear();
  EXPECT_EQ(disk.ListFilesDeep(root, list, 1), 0);
  EXPECT_TRUE(list.empty());
}

TEST_F(DiskObjectTest, FilesDeepSortedWithinEachDirectoryInWalkOrder) {
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
}

TEST_F(DiskObjectTest, CopyFileIntoMakesTheDestinationAndOverwrites) {
  std::string src = tmp.Write("a.txt", "one");
  EXPECT_EQ(disk.CopyFileInto(src, tmp / N("out/deep")), 1);
  EXPECT_EQ(tmp.Read(N("out/deep/a.txt")), "one");
  tmp.Write("a.txt", "two");
  EXPECT_EQ(disk.CopyFileInto(src, tmp / N("out/deep/")), 1);
  EXPECT_EQ(tmp.Read(N("out/deep/a.txt")), "two");
  EXPECT_EQ(disk.CopyFileIntoAs(src, tmp / "out", "b.txt"), 1);
  EXPECT_EQ(tmp.Read(N("out/b.txt")), "two");

  // A missing source is a plain "no": no text, and no destination made for nothing.
  EXPECT_EQ(disk.CopyFileInto(tmp / "missing.txt", tmp / "new"), 0);
  EXPECT_EQ(disk.GetErrorText(), "");
  EXPECT_FALSE(tmp.Exists("new"));
  env.Fail(Op::kCopy, "a.txt", ErrorKind::kAccessDenied);
  EXPECT_EQ(disk.CopyFileInto(src, tmp / "out"), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kAccessDenied, src));

  // A list: empty entries are skipped; the first refusal ends it.
  env.ClearFaults();
  EXPECT_TRUE(Internal([&] { return disk.CopyFileListInto({}, tmp / "out"); }));
  std::string c = tmp.Write("c.txt", "C"), missing = tmp / "b.txt";
  EXPECT_EQ(disk.CopyFileListInto({src, "", c}, tmp / "list"), 1);
  EXPECT_EQ(tmp.Read(N("list/a.txt")) + tmp.Read(N("list/c.txt")), "twoC");
  EXPECT_EQ(disk.CopyFileListInto({src, missing, c}, tmp / "list2"), 0);
  EXPECT_TRUE(tmp.Exists(N("list2/a.txt")));
  EXPECT_FALSE(tmp.Exists(N("list2/c.txt")));
  const std::string tail = " " + missing + " -> " + tmp / N("list2/b.txt");
  EXPECT_TRUE(EndsWith(disk.GetErrorText(), tail) && disk.GetErrorText().size() > tail.size()) << disk.GetErrorText();
}

TEST_F(DiskObjectTest, RenameFileByCopy) {
  std::string a = tmp.Write("a.txt", "content"), b = tmp / "b.txt";
  EXPECT_EQ(disk.RenameFileByCopy(a, "b.txt"), 1);
  EXPECT_FALSE(tmp.Exists("a.txt"));
  EXPECT_EQ(tmp.Read("b.txt"), "content");
  // Onto itself, in any letter case: the only copy must not end up deleted.
  EXPECT_EQ(disk.RenameFileByCopy(b, "B.TXT"), 0);
  EXPECT_EQ(tmp.Read("b.txt"), "content");

  env.Fail(Op::kCopy, "", ErrorKind::kAccessDenied, 1);
  EXPECT_EQ(disk.RenameFileByCopy(b, "c.txt"), 0);
  EXPECT_TRUE(tmp.Exists("b.txt"));
  EXPECT_FALSE(tmp.Exists("c.txt"));
  env.Fail(Op::kDelete, "b.txt", ErrorKind::kSharingViolation, 1);
  EXPECT_EQ(disk.RenameFileByCopy(b, "c.txt"), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kSharingViolation, b));
  EXPECT_TRUE(tmp.Exists("b.txt") && tmp.Exists("c.txt"));
}

TEST_F(DiskObjectTest, DeletingFilesStopsAtTheFirstRefusalAndADirectoryOnlyWhenEmptied) {
  ASSERT_EQ(disk.MakeDirectoryPath(tmp / N("d/s")), 1);
  for (const char* name : {"d/a.txt", "d/b.txt", "d/c.txt", "d/s/inner.txt"}) tmp.Write(N(name), "");
  const std::string b = tmp / N("d/b.txt");
  env.Fail(Op::kDelete, "b.txt", ErrorKind::kSharingViolation, 2);
  EXPECT_EQ(disk.DeleteOneFile(b), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kSharingViolation, b));
  EXPECT_EQ(disk.DeleteFilesInDirectory(tmp / "d"), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kSharingViolation, b));
  EXPECT_FALSE(tmp.Exists(N("d/a.txt")));
  EXPECT_TRUE(tmp.Exists(N("d/b.txt")) && tmp.Exists(N("d/c.txt")));

  // The files go, the subdirectory stays, and so the directory cannot.
  EXPECT_EQ(disk.DeleteDirectory(tmp / "d"), 0);
  EXPECT_FALSE(tmp.Exists(N("d/b.txt")) || tmp.Exists(N("d/c.txt")));
  EXPECT_TRUE(tmp.Exists(N("d/s/inner.txt")));
  EXPECT_TRUE(EndsWith(disk.GetErrorText(), " " + tmp / N("d/"))) << disk.GetErrorText();
  EXPECT_EQ(disk.DeleteDirectory(tmp / N("d/s")) + disk.DeleteDirectory(tmp / "d"), 2);
  EXPECT_FALSE(tmp.Exists("d"));
  EXPECT_EQ(disk.DeleteOneFile(b), 0);
  EXPECT_TRUE(EndsWith(disk.GetErrorText(), " " + b));
  // An empty path must not mean "the current directory".
  EXPECT_TRUE(Internal([&] { return disk.DeleteFilesInDirectory(""); }));
  EXPECT_TRUE(Internal([&] { return disk.DeleteDirectory(""); }));
}

// The copy thread qualifies relative paths while the host thread works on directories: nothing
// may move the process's current directory, not even for a moment.
TEST_F(DiskObjectTest, OtherThreadsKeepTheirCurrentDirectory) {
  std::string cwd;
  ASSERT_TRUE(platform::System().GetCurrentDirectory(&cwd).ok());
  if (cwd.size() > 1 && cwd.back() == kSep) cwd.pop_back();
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  auto qualifier = [&](const std::string& name) {
    CDiskObject own(&platform::System());
    while (!stop) {
      std::string p = name;
      if (!own.QualifyFilePath(p) || p != cwd + kSep + name) ++wrong;
    }
  };
  std::thread t1(qualifier, "one.txt"), t2(qualifier, "two.txt");
  for (int i = 0; i < 50; ++i) {
    disk.MakeDirectoryPath(tmp / N("w/x"));
    std::string f = tmp.Write(N("w/x/f.txt"), "");
    disk.FileIsPresent(f);
    disk.CopyFileInto(f, tmp / "w");
    disk.RenameFileByCopy(f, "g.txt");
    List all;
    disk.ListFilesDeep(tmp / "w", all, 0);
    disk.DeleteDirectory(tmp / N("w/x"));
  }
  stop = true;
  t1.join();
  t2.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_FALSE(tmp.Exists(N("w/x")));
}

}  // namespace
}  // namespace miradel::test
