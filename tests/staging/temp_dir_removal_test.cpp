// Removing temporary working directories: the right one, and never anything outside the system
// temporary path.
#include <gtest/gtest.h>

#include <random>

#include "lock_manager/host_fixture.h"

namespace miradel::test {
namespace {

namespace fs = std::filesystem;
using platform::ErrorKind;
using platform::Op;

class TempDirRemoval : public HostTest {
 protected:
  // As if the previous model had had this temporary directory.
  static void ClearPrevious(const std::string& previous) {
    TheControl().m_strSavedQVTempDir = previous;
    NW_ClrQVTempDir();
  }
  TempDir a_, b_;
};

// After a switch NW_ClrQVTempDir removes the previous model's directory only.
TEST_F(TempDirRemoval, AfterASwitchOnlyThePreviousModelsDirectoryGoes) {
  ASSERT_EQ(SetModelDir(a_.path(), "pump"), 1);
  const std::string tempA = QVTempDir();
  WriteFile(tempA + "pump.dat", "A");
  NW_SetModelVars();
  ASSERT_EQ(SetModelDir(b_.path(), "valve"), 1);
  const std::string tempB = QVTempDir();
  WriteFile(tempB + "valve.dat", "B");
  NW_ClrQVTempDir();
  EXPECT_FALSE(Exists(tempA));
  EXPECT_EQ(ReadFile(tempB + "valve.dat"), "B");
}

// A previous directory outside the system temporary path is never emptied or removed.
TEST_F(TempDirRemoval, APreviousDirectoryOutsideTheTemporaryPathIsLeftAlone) {
  ASSERT_EQ(SetModelDir(a_.path(), "pump"), 1);
  const std::string sys = TheControl().m_strSysTempDir;

  // Empty: a removal would empty the working directory.
  b_.Write("canary.txt", "alive");
  ASSERT_EQ(NW_SetWorkingdir(b_.path().c_str()), 1);
  ClearPrevious("");
  EXPECT_TRUE(b_.Exists("canary.txt"));

  // Beginning with the temporary path, then climbing out of it to a directory beside it.
  const std::string beside = fs::path(sys.substr(0, sys.size() - 1)).parent_path().string() + S + "miradel-canary-" +
                             std::to_string(std::random_device{}()) + S;
  const std::string besideName = fs::path(beside.substr(0, beside.size() - 1)).filename().string();
  const char O = platform::kOtherSep;  // the host's separator, which the file operations accept too
  for (const std::string& previous :
       {sys + ".." + S + besideName + S, sys + kVersionTag + S + ".." + S + ".." + S + besideName,
        sys + ".." + O + besideName + O}) {
    fs::create_directory(fs::path(beside));
    WriteFile(beside + "canary.txt", "alive");
    ClearPrevious(previous);
    EXPECT_TRUE(Exists(beside + "canary.txt")) << "removed through " << previous;
  }
  std::error_code ec;
  fs::remove_all(fs::path(beside), ec);

  // The root and the temporary path itself. Listing and deleting are refused meanwhile, so that a
  // wrong removal fails the test instead of emptying the disk.
  WriteFile(sys + "miradel-canary.txt", "alive");
  for (Op op : {Op::kFind, Op::kDelete, Op::kRemoveDir}) env_.Fail(op, "", ErrorKind::kAccessDenied);
  const int finds = env_.Count(Op::kFind), deletes = env_.Count(Op::kDelete), removes = env_.Count(Op::kRemoveDir);
  for (const std::string& previous : {std::string(1, S), sys, sys.substr(0, sys.size() - 1)}) {
    ClearPrevious(previous);
    EXPECT_EQ(env_.Count(Op::kFind), finds) << "listed " << previous;
    EXPECT_EQ(env_.Count(Op::kDelete), deletes) << "deleted in " << previous;
    EXPECT_EQ(env_.Count(Op::kRemoveDir), removes) << "removed " << previous;
  }
  env_.ClearFaults();
  EXPECT_TRUE(Exists(sys + "miradel-canary.txt"));
  fs::remove(fs::path(sys + "miradel-canary.txt"), ec);
  EXPECT_TRUE(Exists(QVTempDir())) << "the open model's directory stays";
}

// Removing a working directory deletes links in it, never what they point to.
TEST_F(TempDirRemoval, LinksInsideLeadNowhereForTheRemoval) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege on Windows";
#else
  b_.Write("precious.dat", "keep");
  fs::create_directory(fs::path(b_ / "sub"));
  b_.Write("sub" + std::string(1, S) + "keep.txt", "keep");
  ASSERT_EQ(SetModelDir(a_.path(), "pump"), 1);
  const std::string temp = QVTempDir();
  WriteFile(temp + "pump.dat", "work");
  fs::create_directory_symlink(fs::path(b_.path().substr(0, b_.path().size() - 1)), fs::path(temp + "linked"));
  fs::create_symlink(fs::path(b_ / "precious.dat"), fs::path(temp + "linked.dat"));
  NW_ReleaseLock();
  EXPECT_FALSE(Exists(temp + "pump.dat")) << "the removal did not run";
  EXPECT_EQ(b_.Read("precious.dat"), "keep");
  EXPECT_TRUE(b_.Exists("sub" + std::string(1, S) + "keep.txt"));
#endif
}

}  // namespace
}  // namespace miradel::test
