// CDiskObject: qualifying paths, existence tests, making directories, listings in their insertion
// order and deep walks, copies and deletions.
#include "disk/disk_object.h"

#include <gmock/gmock.h>

#include <algorithm>

#include "support/fault_env.h"
#include "support/temp_dir.h"

namespace miradel::test {
namespace {

using List = std::vector<std::string>;
using ::testing::EndsWith;

// "a/b" in the platform's separators.
std::string N(const std::string& s) { return path::ToNative(s); }

// An absolute path: "/x/y" on POSIX, "C:\x\y" on Windows.
std::string Abs(const std::string& s) { return kSep == '\\' ? "C:" + N(s) : N(s); }

// The system's Env with injected faults, a current directory of the test's choosing ("": the call
// fails), a record of the directories created and, when `tree` is not empty, listings from there.
struct TestEnv : FaultEnv {
  TestEnv() : FaultEnv(&System()) {}
  std::optional<std::string> cwd;
  List created;
  std::map<std::string, std::vector<DirEntry>> tree;

  Status GetCurrentDirectory(std::string* dir) override {
    if (!cwd) return FaultEnv::GetCurrentDirectory(dir);
    *dir = *cwd;
    return cwd->empty() ? MakeError(ErrorKind::kOther) : Status::Ok();
  }
  // The copy thread qualifies paths while the host's thread works: nothing may move the process's
  // current directory, not even for a moment.
  Status SetCurrentDirectory(const std::string& dir) override {
    ADD_FAILURE() << "the current directory was moved to " << dir;
    return FaultEnv::SetCurrentDirectory(dir);
  }
  Status CreateDirectory(const std::string& p) override { created.push_back(p); return FaultEnv::CreateDirectory(p); }
  Status FindFiles(const std::string& dir, const std::string& pattern, std::vector<DirEntry>* out) override {
    if (tree.empty()) return FaultEnv::FindFiles(dir, pattern, out);
    out->clear();
    for (const DirEntry& e : tree[dir]) if (WildcardMatch(pattern, e.name)) out->push_back(e);
    return out->empty() ? MakeError(ErrorKind::kNotFound) : Status::Ok();
  }
};

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
    return call() == 0 && disk.GetErrorText() == CDiskObject::kInternalError;
  }

  TestEnv env;
  CDiskObject disk{&env};
  TempDir tmp;
};

TEST_F(DiskObjectTest, QualifyResolvesRelativePathsAndRejectsWildcardsColonsAndNuls) {
  env.cwd = Abs("/base/one/two");
  // Only leading steps climb, and never above the root.
  const std::pair<std::string, std::string> qualified[] = {
      {"a.txt", Abs("/base/one/two/a.txt")}, {std::string("sub") + kOtherSep + "x.txt", Abs("/base/one/two/sub/x.txt")},
      {N("../x.txt"), Abs("/base/one/x.txt")}, {N("../../c/../y.txt"), Abs("/base/c/../y.txt")},
      {N("../../../../../x.txt"), Abs("/x.txt")}, {Abs("/d/a.txt"), Abs("/d/a.txt")},
      {N("//srv/share/a.txt"), N("//srv/share/a.txt")}};
  for (const auto& [in, out] : qualified) EXPECT_EQ(Qualify(in), out);
  env.cwd = Abs("/");  // "<sep><sep>a.txt" would read as a share
  EXPECT_EQ(Qualify("a.txt"), Abs("/a.txt"));
#ifdef _WIN32
  env.cwd = "D:\\work";
  EXPECT_EQ(Qualify("\\x\\a.txt"), "D:\\x\\a.txt");
  EXPECT_EQ(Qualify("C:/work/a.txt"), "C:\\work\\a.txt");
#endif

  // Refused after the rewriting, which stays.
  env.cwd = Abs("/base");
  for (const std::string bad : {std::string("a*.txt"), N("dir?/a.txt"), std::string("a.t:t"), std::string("a\0b", 3)}) {
    EXPECT_EQ(Qualify(bad, 0), Abs("/base/" + bad));
    EXPECT_EQ(disk.GetErrorText(), CDiskObject::kInternalError) << bad;
  }
  EXPECT_EQ(Qualify(N("//srv/share/*.txt"), 0), N("//srv/share/*.txt"));
  for (auto [in, out] : {std::pair<std::string, std::string>{"x", Abs("/base/x/")}, {"", Abs("/base/")},
                         {"//srv/sh*re", N("//srv/sh*re/")}}) {
    EXPECT_EQ(disk.QualifyDirectoryPath(in), 1) << in;
    EXPECT_EQ(in, out);
  }
  std::string name, dir, bad = "a?";
  EXPECT_EQ(disk.GetFileNamePart(name, N("d/a.txt")), 1);
  EXPECT_EQ(disk.GetDirectoryPart(dir, N("d/a.txt")), 1);
  EXPECT_EQ(name, "a.txt");
  EXPECT_EQ(dir, Abs("/base/d"));
  EXPECT_EQ(disk.QualifyDirectoryPath(bad), 0);
  EXPECT_EQ(disk.GetDirectoryPart(dir, "a*.txt"), 0);
  EXPECT_EQ(dir, "");
  env.cwd = "";
  EXPECT_EQ(Qualify("a.txt", 0), "a.txt");
  EXPECT_EQ(disk.GetErrorText(), env.MakeError(ErrorKind::kOther).message());
}

// Making a directory path creates every missing level or names the full path; existence tests
// answer no without an error text.
TEST_F(DiskObjectTest, CopiesNeverLoseTheOriginalAndMakingAndDeletingDirectoriesAndExistenceTests) {
  // Copies make their destination, overwrite, name what was refused and never lose the original.
  const std::string src = tmp.Write("a.txt", "one"), c = tmp.Write("c.txt", "C"), missing = tmp / "b.txt";
  EXPECT_EQ(disk.CopyFileInto(src, tmp / N("out/deep")), 1);
  tmp.Write("a.txt", "two");
  EXPECT_EQ(disk.CopyFileInto(src, tmp / N("out/deep/")), 1);
  EXPECT_EQ(disk.CopyFileIntoAs(src, tmp / "out", "b.txt"), 1);
  EXPECT_EQ(tmp.Read(N("out/deep/a.txt")), "two");
  EXPECT_EQ(tmp.Read(N("out/b.txt")), "two");
  // A missing source is a plain "no": no text, and no destination made for nothing.
  EXPECT_EQ(disk.CopyFileInto(missing, tmp / "new"), 0);
  EXPECT_EQ(disk.GetErrorText(), "");
  EXPECT_FALSE(tmp.Exists("new"));
  env.Fail(Op::kCopy, "a.txt", ErrorKind::kAccessDenied, 1);
  EXPECT_EQ(disk.CopyFileInto(src, tmp / "out"), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kAccessDenied, src));

  // A list: empty entries are skipped; the first refusal ends it.
  EXPECT_TRUE(Internal([&] { return disk.CopyFileListInto({}, tmp / "out"); }));
  EXPECT_EQ(disk.CopyFileListInto({src, "", c}, tmp / "list"), 1);
  EXPECT_EQ(tmp.Read(N("list/a.txt")), "two");
  EXPECT_EQ(tmp.Read(N("list/c.txt")), "C");
  EXPECT_EQ(disk.CopyFileListInto({src, missing, c}, tmp / "list2"), 0);
  EXPECT_EQ(DirectoryNames(tmp / "list2"), "a.txt ");
  EXPECT_THAT(disk.GetErrorText(), EndsWith(" " + missing + " -> " + tmp / N("list2/b.txt")));

  // A rename by copy deletes the original only once the copy is there.
  const std::string r = tmp / "r.txt";
  tmp.Write("a.txt", "content");
  EXPECT_EQ(disk.RenameFileByCopy(src, "r.txt"), 1);
  EXPECT_FALSE(tmp.Exists("a.txt"));
  // Onto itself, in any letter case: the only copy must not end up deleted.
  EXPECT_EQ(disk.RenameFileByCopy(r, "R.TXT"), 0);
  env.Fail(Op::kCopy, "", ErrorKind::kAccessDenied, 1);
  EXPECT_EQ(disk.RenameFileByCopy(r, "s.txt"), 0);
  EXPECT_EQ(tmp.Read("r.txt"), "content");
  EXPECT_FALSE(tmp.Exists("s.txt"));
  env.Fail(Op::kDelete, "r.txt", ErrorKind::kSharingViolation, 1);
  EXPECT_EQ(disk.RenameFileByCopy(r, "s.txt"), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kSharingViolation, r));
  EXPECT_TRUE(tmp.Exists("r.txt"));
  EXPECT_TRUE(tmp.Exists("s.txt"));

  EXPECT_EQ(disk.MakeDirectoryPath(tmp / N("a/b/c")), 1);
  EXPECT_EQ(disk.MakeDirectoryPath(tmp / N("a/b/c/")), 1);
  ASSERT_GE(env.created.size(), 3u);
  EXPECT_EQ(List(env.created.end() - 3, env.created.end()), (List{tmp / "a", tmp / N("a/b"), tmp / N("a/b/c")}));
  EXPECT_TRUE(Internal([&] { return disk.MakeDirectoryPath(""); }));
  // The refused level is the cause, not the "not found" of the levels below it.
  env.Fail(Op::kCreateDir, "blocked", ErrorKind::kAccessDenied, 1);
  EXPECT_EQ(disk.MakeDirectoryPath(tmp / N("blocked/x")), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kAccessDenied, tmp / N("blocked/x/")));
  // Below a share the share root takes the drive's place. Every level is refused, so nothing
  // reaches the network or the root directory.
  env.created.clear();
  env.Fail(Op::kCreateDir, "nosuch-srv", ErrorKind::kOther);
  env.Fail(Op::kEnterDir, "nosuch-srv", ErrorKind::kOther);
  EXPECT_EQ(disk.MakeDirectoryPath(N("//nosuch-srv/share/x")), 0);
  EXPECT_EQ(env.created, (List{N("//nosuch-srv/share"), N("//nosuch-srv/share/x")}));
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kOther, N("//nosuch-srv/share/x/")));

  const std::string file = tmp.Write("f.txt", "x"), dir = tmp / "a";
  // Opening for writing would disturb a colleague's exclusive writer; a read-only open must do.
  env.Fail(Op::kOpen, "", ErrorKind::kSharingViolation, -1, kWrite);
  EXPECT_EQ(disk.FileIsPresent(file), 1);
  EXPECT_EQ(disk.DirectoryIsPresent(dir + kSep), 1);
  for (const std::string& p : {dir, tmp / "missing"}) EXPECT_EQ(disk.FileIsPresent(p), 0) << p;
  for (const std::string& p : {file, tmp / "missing"}) EXPECT_EQ(disk.DirectoryIsPresent(p), 0) << p;
  env.Fail(Op::kOpen, "f.txt", ErrorKind::kSharingViolation);
  env.Fail(Op::kEnterDir, "", ErrorKind::kAccessDenied);
  EXPECT_EQ(disk.FileIsPresent(file), 0);
  EXPECT_EQ(disk.DirectoryIsPresent(dir), 0);
  EXPECT_EQ(disk.GetErrorText(), "");
  EXPECT_TRUE(Internal([&] { return disk.DirectoryIsPresent(""); }));  // not the current directory

  // Deleting files stops at the first refusal, and a directory goes only once emptied.
  env.ClearFaults();
  ASSERT_EQ(disk.MakeDirectoryPath(tmp / N("d/s")), 1);
  for (const char* name : {"d/a.txt", "d/b.txt", "d/c.txt", "d/s/inner.txt"}) tmp.Write(N(name), "");
  const std::string b = tmp / N("d/b.txt");
  env.Fail(Op::kDelete, "b.txt", ErrorKind::kSharingViolation, 2);
  EXPECT_EQ(disk.DeleteOneFile(b), 0);
  EXPECT_EQ(disk.DeleteFilesInDirectory(tmp / "d"), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kSharingViolation, b));
  EXPECT_EQ(DirectoryNames(tmp / "d"), "b.txt c.txt s ");
  // The files go, the subdirectory stays, and so the directory cannot.
  EXPECT_EQ(disk.DeleteDirectory(tmp / "d"), 0);
  EXPECT_EQ(DirectoryNames(tmp / "d"), "s ");
  EXPECT_TRUE(tmp.Exists(N("d/s/inner.txt")));
  EXPECT_THAT(disk.GetErrorText(), EndsWith(" " + tmp / N("d/")));
  EXPECT_EQ(disk.DeleteDirectory(tmp / N("d/s")), 1);
  EXPECT_EQ(disk.DeleteDirectory(tmp / "d"), 1);
  EXPECT_FALSE(tmp.Exists("d"));
  // An empty path must not mean "the current directory" (a scratch one here, should it do so).
  env.cwd = tmp / "d";
  EXPECT_TRUE(Internal([&] { return disk.DeleteFilesInDirectory(""); }));
  EXPECT_TRUE(Internal([&] { return disk.DeleteDirectory(""); }));
}

TEST_F(DiskObjectTest, ListsFilesInByteOrderWithoutDirectoriesAndDeepListingsNeverEnterALink) {
  for (const char* name : {"b.txt", "B2.txt", "a.txt", ".hidden", "note"}) tmp.Write(name, "");
  ASSERT_EQ(disk.MakeDirectoryPath(tmp / "sub.txt"), 1);
  List names, full{tmp / "z0", tmp / "a0"};  // not sorted, and so not sorted after
  EXPECT_EQ(disk.ListFiles(tmp.path(), names, 0), 1);
  EXPECT_EQ(disk.ListFilesMatching("*.TXT", tmp.path(), full, 1), 1);
  EXPECT_EQ(names, (List{".hidden", "B2.txt", "a.txt", "b.txt", "note"}));
  EXPECT_EQ(full, (List{tmp / "B2.txt", tmp / "a.txt", tmp / "b.txt", tmp / "z0", tmp / "a0"}));
  List list{"keep"};
  EXPECT_EQ(disk.ListFiles(tmp / "missing", list, 0), 1);
  EXPECT_EQ(disk.ListFilesMatching("*.xyz", tmp.path(), list, 0), 0);
  env.Fail(Op::kFind, "", ErrorKind::kAccessDenied);
  EXPECT_EQ(disk.ListFiles(tmp.path(), list, 1), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kAccessDenied, tmp / "*.*"));
  EXPECT_EQ(list, List{"keep"});

  // Deep listings walk depth first in the platform's order and never enter a linked directory.
  const std::string r = Abs("/r/");
  const DirEntry dot{".", true}, dotdot{"..", true};
  env.tree[r] = {dot, dotdot, {"zeta", true}, {"b.txt", false}, {"link", true, true}, {"a.txt", false}, {"alpha", true}};
  env.tree[r + N("zeta/")] = {dot, dotdot, {"inner", true}, {"g.txt", false}};
  env.tree[r + N("zeta/inner/")] = {dot, dotdot, {"e.txt", false}, {"c.txt", false}};
  env.tree[r + N("alpha/")] = {dot, dotdot};
  List dirs{"keep/"}, rel_dirs, files, rel_files;
  EXPECT_EQ(disk.ListSubdirectoriesDeep(r, dirs, 1), 1);
  EXPECT_EQ(disk.ListSubdirectoriesDeep(r, rel_dirs, 0), 1);
  EXPECT_EQ(disk.ListFilesDeep(r, files, 1), 1);
  EXPECT_EQ(disk.ListFilesDeep(r, rel_files, 0), 1);
  EXPECT_EQ(dirs, (List{"keep/", r + N("zeta/"), r + N("zeta/inner/"), r + N("link/"), r + N("alpha/")}));
  EXPECT_EQ(rel_dirs, (List{"zeta", N("zeta/inner"), "link", "alpha"}));
  EXPECT_EQ(files, (List{r + "a.txt", r + "b.txt", r + N("zeta/g.txt"), r + N("zeta/inner/c.txt"),
                         r + N("zeta/inner/e.txt")}));
  EXPECT_EQ(rel_files, (List{"a.txt", "b.txt", N("zeta/g.txt"), N("zeta/inner/c.txt"), N("zeta/inner/e.txt")}));

  // A directory whose search cannot start ends the walk; nothing of it stays in the list.
  env.tree.erase(r + N("zeta/inner/"));
  EXPECT_EQ(disk.ListSubdirectoriesDeep(r, dirs, 1), 0);
  EXPECT_EQ(disk.ListFilesDeep(r, files, 1), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kNotFound, r + N("zeta/inner/*.*")));
  EXPECT_EQ(dirs.size(), 5u);
  EXPECT_EQ(files.size(), 5u);

  // The listing order against the rule itself, one name at a time: in front of the first entry that
  // is greater in byte order (std::string compares bytes as unsigned).
  const char alphabet[] = {'a', 'A', 'b', '.', '\xC3'};  // '\xC3' is after the letters in byte order only
  std::mt19937 rng(20240611);
  auto words = [&] {
    List list(rng() % 12);
    for (std::string& w : list) {
      w.resize(rng() % 4);
      for (char& c : w) c = alphabet[rng() % sizeof(alphabet)];
    }
    return list;
  };
  for (int round = 0; round < 4000; ++round) {
    List start = words(), names = words();
    if (round % 2) std::sort(start.begin(), start.end());
    List expected = start, actual = start;
    for (const std::string& s : names)
      expected.insert(std::find_if(expected.begin(), expected.end(), [&](auto& e) { return e > s; }), s);
    InsertInListingOrder(actual, names);
    ASSERT_EQ(actual, expected) << "round " << round;
  }
}

}  // namespace
}  // namespace miradel::test
