// Opening, working on, writing back and closing models, and switching from one model to another,
// through the exports in the order the host calls them.
#include "support/child.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

class ModelCycle : public HostTest {
 protected:
  TempDir b_;
};

TEST_F(ModelCycle, OpenWorkWriteBackAndClose) {
  dir_.Write("pump.dat", "old data");
  dir_.Write("pump.xml", "<model/>");
  const std::string temp = Open(dir_.path(), "pump");
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat")) << "the lock holds the data file";
  EXPECT_EQ(ReadFile(temp + "pump.xml"), "<model/>");

  ASSERT_EQ(NW_SetWorkingdir(temp.c_str()), 1);  // the host works there
  WriteFile(temp + "pump.dat", "new data");
  EXPECT_EQ(NW_CopyAllFromTemp(), 0) << "the held data file cannot be overwritten";
  NW_ReleasModLock();
  ASSERT_EQ(NW_CopyAllFromTemp(), 1);
  EXPECT_EQ(dir_.Read("pump.dat"), "new data");
  NW_GetModLock();
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat"));

  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_FALSE(Exists(temp)) << "removed although it was the working directory";
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));
}

// true: B is kept and A let go (NW_RelesOldLock); false: B is given up (NW_GetOldModel).
class ModelSwitch : public ModelCycle, public ::testing::WithParamInterface<bool> {};

TEST_P(ModelSwitch, EachStepLeavesTheRightLocksAndDirectories) {
  dir_.Write("pump.dat", "A");
  b_.Write("valve.dat", "B");
  // A given without its trailing separator: that form must come back with A.
  const std::string aDir = dir_.path().substr(0, dir_.path().size() - 1);
  const std::string tempA = Open(aDir, "pump");
  const std::string tempB = Open(b_.path(), "valve");
  EXPECT_NE(tempA, tempB);
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat")) << "A stays locked while B is tried";
  EXPECT_FALSE(CanWrite(b_ / "valve.dat"));
  EXPECT_TRUE(Exists(tempA + "pump.dat"));

  const bool keepNew = GetParam();
  if (keepNew)
    NW_RelesOldLock();
  else
    GetOldModel(0);
  const std::string& kept = keepNew ? b_.path() : dir_.path();
  const std::string& gone = keepNew ? dir_.path() : b_.path();
  const std::string keptName = keepNew ? "valve" : "pump", goneName = keepNew ? "pump" : "valve";
  EXPECT_FALSE(Exists(gone + goneName + ".lck"));
  EXPECT_TRUE(CanWrite(gone + goneName + ".dat"));
  EXPECT_FALSE(Exists(keepNew ? tempA : tempB));
  EXPECT_FALSE(CanWrite(kept + keptName + ".dat"));
  EXPECT_EQ(QVTempDir(), keepNew ? tempB : tempA);
  EXPECT_EQ(ModelDir(), keepNew ? b_.path() : aDir);
  NW_ReleaseLock();  // the kept model's lock is the primary lock
  EXPECT_FALSE(Exists(kept + keptName + ".lck"));
  EXPECT_TRUE(CanWrite(kept + keptName + ".dat"));
  EXPECT_FALSE(Exists(keepNew ? tempB : tempA));
}

INSTANTIATE_TEST_SUITE_P(KeepNewOrGoBack, ModelSwitch, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "KeepNew" : "GoBack"; });

// Going back when no working copy was made for B must never cost A its own: B's directory was
// refused, B was refused, or the host went back before setting B up.
TEST_F(ModelCycle, GoingBackWithoutANewWorkingCopyKeepsTheOpenOnes) {
  dir_.Write("pump.dat", "A");
  b_.Write("valve.dat", "B");
  b_.Write("dam.dat", "C");
  const std::string tempA = Open(dir_.path(), "pump");
  WriteFile(tempA + "pump.dat", "unsaved work");
  MiradelLockOwner owner{};
  struct {
    const char* what;
    std::function<void()> tryB;
    int keepLock;
  } cases[] = {
      {"directory refused", [&] { GetLock(b_.path(), "valve", &owner); SetModelDir(b_.path(), std::string("s") + S + "v"); }, 0},
      {"lock refused", [&] { EXPECT_EQ(GetLock(b_.path(), "dam", &owner), 0); }, 1},
      {"not set up yet", [&] { EXPECT_EQ(GetLock(b_.path(), "valve", &owner), 1); }, 0},
  };
  // dam is someone else's.
  auto holder = StartHolder(b_.path(), "dam", "eve", "PC-EVE");
  ASSERT_TRUE(holder);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.tryB();
    GetOldModel(c.keepLock);
    EXPECT_FALSE(b_.Exists("valve.lck"));
    EXPECT_EQ(QVTempDir(), tempA);
    EXPECT_EQ(ReadFile(tempA + "pump.dat"), "unsaved work") << "the open model's working copy was removed";
    EXPECT_FALSE(CanWrite(dir_ / "pump.dat"));
    NW_ClrQVTempDir();  // the previous model's working copy is the open one's
    EXPECT_TRUE(Exists(tempA + "pump.dat"));
  }
  holder->WriteLine("stop");
  EXPECT_EQ(holder->Wait(), 0);
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("pump.lck")) << "the primary slot did not hold A's lock";
}

// A model another process holds is refused with its holder named; A keeps its lock.
TEST_F(ModelCycle, AModelAnotherProcessHoldsIsRefusedAndTheOpenOneStaysLocked) {
  dir_.Write("pump.dat", "A");
  b_.Write("valve.dat", "B");
  MiradelLockOwner owner{};
  ASSERT_EQ(GetLock(dir_.path(), "pump", &owner), 1);
  auto holder = StartHolder(b_.path(), "valve", "alice", "PC-ALICE");
  ASSERT_TRUE(holder);

  EXPECT_EQ(GetLock(b_.path(), "valve", &owner), 0);
  EXPECT_STREQ(owner.user_name, "alice");
  EXPECT_STREQ(owner.machine_name, "PC-ALICE");
  EXPECT_EQ(owner.is_permanent, 0);
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat"));
  GetOldModel(1);  // the primary slot already holds A again
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("pump.lck")) << "the primary slot did not hold A's lock";
  holder->WriteLine("stop");
  EXPECT_EQ(holder->Wait(), 0);
  EXPECT_FALSE(b_.Exists("valve.lck"));
}

}  // namespace
}  // namespace miradel::test
