// CDiskObject: qualifying paths, existence tests, making directories, copies and deletions.
#include "disk/disk_object.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "disk/disk_test_env.h"
#include "support/temp_dir.h"

namespace miradel::test {
namespace {

using platform::ErrorKind;
using platform::kSep;
using platform::Op;
using List = std::vector<std::string>;

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

TEST_F(DiskObjectTest, QualifyResolvesRelativePathsWithoutMovingTheCurrentDirectory) {
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
  EXPECT_EQ(env.cwd_changes, 0);

  env.cwd_fails = true;
  EXPECT_EQ(Qualify("a.txt", 0), "a.txt");
  EXPECT_EQ(disk.GetErrorText(), env.MakeError(ErrorKind::kOther).message());
}

TEST_F(DiskObjectTest, QualifyRejectsWildcardsColonsAndNulsAfterRewriting) {
  env.cwd = Abs("/base");
  for (const std::string& bad : {std::string("a*.txt"), N("dir?/a.txt"), std::string("a.t:t"), std::string("a\0b", 3)}) {
    EXPECT_EQ(Qualify(bad, 0), Abs("/base/") + N(bad));
    EXPECT_EQ(disk.GetErrorText(), kInternal);
  }
  EXPECT_EQ(Qualify(N("//srv/share/*.txt"), 0), N("//srv/share/*.txt"));
}

TEST_F(DiskObjectTest, DirectoryPathsAndNameParts) {
  env.cwd = Abs("/base");
  for (auto [in, out] : {std::pair<std::string, std::string>{"x", Abs("/base/x/")}, {"", Abs("/base/")},
                         {Abs("/d/"), Abs("/d/")}, {"//srv/sh*re", N("//srv/sh*re/")}}) {
    EXPECT_EQ(disk.QualifyDirectoryPath(in), 1);
    EXPECT_EQ(in, out);
  }
  std::string bad = "a?";
  EXPECT_EQ(disk.QualifyDirectoryPath(bad), 0);

  std::string r;
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

  EXPECT_TRUE(Internal([&] { return disk.FileIsPresent(""); }));
  EXPECT_TRUE(Internal([&] { return disk.DirectoryIsPresent(""); }));
}

TEST_F(DiskObjectTest, MakeDirectoryPathCreatesEveryMissingLevel) {
  EXPECT_EQ(disk.MakeDirectoryPath(tmp / N("a/b/c")), 1);
  EXPECT_TRUE(tmp.Exists(N("a/b/c")));
  ASSERT_GE(env.created.size(), 3u);
  EXPECT_EQ(List(env.created.end() - 3, env.created.end()), (List{tmp / "a", tmp / N("a/b"), tmp / N("a/b/c")}));
  EXPECT_EQ(disk.MakeDirectoryPath(tmp / N("a/b/c/")), 1);
  EXPECT_TRUE(Internal([&] { return disk.MakeDirectoryPath(""); }));
}

TEST_F(DiskObjectTest, MakeDirectoryPathFailureNamesTheFullPath) {
  tmp.Write("f", "not a directory");
  EXPECT_EQ(disk.MakeDirectoryPath(tmp / N("f/sub")), 0);
  EXPECT_TRUE(EndsWith(disk.GetErrorText(), " " + tmp / N("f/sub/"))) << disk.GetErrorText();
  EXPECT_NE(disk.GetErrorText()[0], ' ');

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
}

TEST_F(DiskObjectTest, CopyFileInto) {
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
  EXPECT_TRUE(Internal([&] { return disk.CopyFileInto("", tmp / "out"); }));
  EXPECT_TRUE(Internal([&] { return disk.CopyFileIntoAs(src, tmp / "out", ""); }));
  EXPECT_TRUE(Internal([&] { return disk.CopyFileInto(src, tmp / "o*t"); }));
  env.Fail(Op::kCopy, "a.txt", ErrorKind::kAccessDenied);
  EXPECT_EQ(disk.CopyFileInto(src, tmp / "out"), 0);
  EXPECT_EQ(disk.GetErrorText(), Text(ErrorKind::kAccessDenied, src));
}

TEST_F(DiskObjectTest, CopyFileListIntoStopsAtTheFirstRefusal) {
  EXPECT_TRUE(Internal([&] { return disk.CopyFileListInto({}, tmp / "out"); }));

  std::string a = tmp.Write("a.txt", "A"), c = tmp.Write("c.txt", "C"), missing = tmp / "b.txt";
  EXPECT_EQ(disk.CopyFileListInto({a, "", c}, tmp / "out"), 1);
  EXPECT_EQ(tmp.Read(N("out/a.txt")) + tmp.Read(N("out/c.txt")), "AC");

  EXPECT_EQ(disk.CopyFileListInto({a, missing, c}, tmp / "out2"), 0);
  EXPECT_TRUE(tmp.Exists(N("out2/a.txt")));
  EXPECT_FALSE(tmp.Exists(N("out2/c.txt")));
  std::string tail = " " + missing + " -> " + tmp / N("out2/b.txt");
  EXPECT_TRUE(EndsWith(disk.GetErrorText(), tail) && disk.GetErrorText().size() > tail.size())
      << disk.GetErrorText();
}

TEST_F(DiskObjectTest, RenameFileByCopy) {
  std::string a = tmp.Write("a.txt", "content"), b = tmp / "b.txt";
  EXPECT_EQ(disk.RenameFileByCopy(a, "b.txt"), 1);
  EXPECT_FALSE(tmp.Exists("a.txt"));
  EXPECT_EQ(tmp.Read("b.txt"), "content");

  for (auto [path, name] : {std::pair<std::string, std::string>{"", "x.txt"}, {b, ""}}) {
    disk.m_strError = "stale";
    EXPECT_EQ(disk.RenameFileByCopy(path, name), 0);
    EXPECT_EQ(disk.GetErrorText(), "");
  }
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

TEST_F(DiskObjectTest, DeletingFiles) {
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

  EXPECT_EQ(disk.DeleteFilesInDirectory(tmp / "d"), 1);
  EXPECT_FALSE(tmp.Exists(N("d/b.txt")) || tmp.Exists(N("d/c.txt")));
  EXPECT_TRUE(tmp.Exists(N("d/s/inner.txt")));
  EXPECT_EQ(disk.DeleteOneFile(b), 0);
  EXPECT_TRUE(EndsWith(disk.GetErrorText(), " " + b));
  // An empty path must not mean "the current directory".
  EXPECT_TRUE(Internal([&] { return disk.DeleteOneFile(""); }));
  EXPECT_TRUE(Internal([&] { return disk.DeleteFilesInDirectory(""); }));
  EXPECT_TRUE(Internal([&] { return disk.DeleteDirectory(""); }));
}

TEST_F(DiskObjectTest, DeleteDirectoryFailsWhileASubdirectoryRemains) {
  ASSERT_EQ(disk.MakeDirectoryPath(tmp / N("d/s")), 1);
  tmp.Write(N("d/a.txt"), "");
  tmp.Write(N("d/s/b.txt"), "");
  EXPECT_EQ(disk.DeleteDirectory(tmp / "d"), 0);
  EXPECT_FALSE(tmp.Exists(N("d/a.txt")));
  EXPECT_TRUE(EndsWith(disk.GetErrorText(), " " + tmp / N("d/"))) << disk.GetErrorText();
  EXPECT_EQ(disk.DeleteDirectory(tmp / N("d/s")) + disk.DeleteDirectory(tmp / "d"), 2);
  EXPECT_FALSE(tmp.Exists("d"));
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
  EXPECT_EQ(env.cwd_changes, 0);
  EXPECT_FALSE(tmp.Exists(N("w/x")));
}

}  // namespace
}  // namespace miradel::test
