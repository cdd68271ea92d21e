// Opening, working on, writing back and closing models, and switching from one model to another,
// through the exports in the order the host calls them.
#include "support/child.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

class ModelCycle : public HostTest {
 protected:
  // Neither its lock file nor a hold on its data file is left (model: directory and name).
  static bool Free(const std::string& model) { return !Exists(model + ".lck") && CanWrite(model + ".dat"); }
  TempDir b_;
};

TEST_F(ModelCycle, OpenWorkWriteBackAndClose) {
  for (const char* name : {"pump.dat", "pump.xml"}) dir_.Write(name, name);
  const std::string temp = Open(dir_.path(), "pump");
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat")) << "the lock holds the data file";
  EXPECT_EQ(ReadFile(temp + "pump.xml"), "pump.xml");

  ASSERT_EQ(NW_SetWorkingdir(temp.c_str()), 1);  // the host works there
  WriteFile(temp + "pump.dat", "new data");
  EXPECT_EQ(NW_CopyAllFromTemp(), 0) << "the held data file cannot be overwritten";
  NW_ReleasModLock();
  ASSERT_EQ(NW_CopyAllFromTemp(), 1);
  EXPECT_EQ(dir_.Read("pump.dat"), "new data");
  NW_GetModLock();
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat"));

  NW_ReleaseLock();
  EXPECT_TRUE(Free(dir_ / "pump"));
  EXPECT_FALSE(Exists(temp)) << "removed although it was the working directory";
}

// true: B is kept and A let go (NW_RelesOldLock); false: B is given up (NW_GetOldModel).
class ModelSwitch : public ModelCycle, public ::testing::WithParamInterface<bool> {};

TEST_P(ModelSwitch, EachStepLeavesTheRightLocksAndDirectories) {
  dir_.Write("pump.dat", "A");
  b_.Write("valve.dat", "B");
  // A given without its trailing separator: that form must come back with A.
  const std::string aDir = path::WithoutTrailingSeparators(dir_.path());
  const std::string tempA = Open(aDir, "pump"), tempB = Open(b_.path(), "valve");
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat")) << "A stays locked while B is tried";
  EXPECT_FALSE(CanWrite(b_ / "valve.dat"));
  EXPECT_TRUE(Exists(tempA + "pump.dat"));

  const bool keepNew = GetParam();
  keepNew ? NW_RelesOldLock() : GetOldModel(0);
  const std::string kept = keepNew ? b_ / "valve" : dir_ / "pump", gone = keepNew ? dir_ / "pump" : b_ / "valve";
  EXPECT_TRUE(Free(gone));
  EXPECT_FALSE(Exists(keepNew ? tempA : tempB));
  EXPECT_FALSE(CanWrite(kept + ".dat"));
  EXPECT_EQ(QVTempDir(), keepNew ? tempB : tempA);
  EXPECT_EQ(ModelDir(), keepNew ? b_.path() : aDir);
  NW_ReleaseLock();  // the kept model's lock is the primary lock
  EXPECT_TRUE(Free(kept));
  EXPECT_FALSE(Exists(keepNew ? tempB : tempA));
}

INSTANTIATE_TEST_SUITE_P(KeepNewOrGoBack, ModelSwitch, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "KeepNew" : "GoBack"; });

// Going back when no working copy was made for B must never cost A its own, nor its lock: B's
// directory was refused, B was refused (held by another process, which is named), or the host
// went back before setting B up.
TEST_F(ModelCycle, GoingBackWithoutANewWorkingCopyKeepsTheOpenOnes) {
  dir_.Write("pump.dat", "A");
  for (const char* name : {"valve.dat", "dam.dat"}) b_.Write(name, name);
  const std::string tempA = Open(dir_.path(), "pump");
  WriteFile(tempA + "pump.dat", "unsaved work");
  MiradelLockOwner owner{};
  const std::tuple<const char*, std::function<void()>, int> cases[] = {
      {"directory refused", [&] { GetLock(b_.path(), "valve", &owner); SetModelDir(b_.path(), std::string("s") + S + "v"); }, 0},
      {"lock refused", [&] {
         EXPECT_EQ(GetLock(b_.path(), "dam", &owner), 0);
         EXPECT_EQ(std::string(owner.user_name) + " " + owner.machine_name + " " + std::to_string(owner.is_permanent),
                   "eve PC-EVE 0");
       }, 1},
      {"not set up yet", [&] { EXPECT_EQ(GetLock(b_.path(), "valve", &owner), 1); }, 0},
  };
  auto holder = StartHolder(b_.path(), "dam", "eve", "PC-EVE");
  ASSERT_TRUE(holder);
  for (const auto& [what, tryB, keepLock] : cases) {
    SCOPED_TRACE(what);
    tryB();
    GetOldModel(keepLock);
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

}  // namespace
}  // namespace miradel::test
