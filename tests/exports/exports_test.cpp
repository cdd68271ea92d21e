// The lock, settings and getter exports on their own, called as the host calls them: permanence,
// checking, the second lock, the texts a lock path is built from, and the records that two slots
// share; the host's buffers, the model comparison and the version number's digits.
#include <climits>

#include "control/version.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

using platform::ErrorKind;

class LockExports : public HostTest {
 protected:
  void SetUp() override { HostTest::SetUp(); dir_.Write("pump.dat", "data"); dir_.Write("valve.dat", "data"); }
  int Lock(const std::string& name = "pump") { owner_ = {}; return GetLock(dir_.path(), name, &owner_); }
  int Second(const std::string& name, int mode) { owner_ = {}; return GetSecondLock(dir_.path(), name, mode, &owner_); }
  bool Permanent() { return OwnerInLockFile(dir_ / "pump.lck").bIsPermanent == 1; }
  // Carol's permanent lock on a model, as her host would have left it.
  void CarolsPermanentLock(const std::string& name) { WriteFile(dir_ / (name + ".lck"), LockText("carol", "PC-CAROL", true)); }
  MiradelLockOwner owner_{};
};

// A permanent lock outlives its release, keeps other users out and is its user's on any machine,
// whatever bytes the user's name holds.
TEST_F(LockExports, APermanentLockBelongsToItsUserAndAPathThatLeavesTheModelDirectoryIsRefused) {
  for (const std::string user : {"bob", "J\xF6rg"}) {
    SCOPED_TRACE(user);
    BecomeUser(user, "PC-1");
    ASSERT_EQ(Lock(), 1);
    ASSERT_EQ(PermLock(1), 1);
    const int writes = env_.Count(Op::kWrite);
    EXPECT_EQ(PermLock(1), 1);
    EXPECT_EQ(env_.Count(Op::kWrite), writes) << "already permanent: nothing to write";
    NW_ReleaseLock();

    BecomeUser("carol", "PC-CAROL");
    EXPECT_EQ(Lock(), 0);
    EXPECT_EQ(owner_.user_name, user);
    EXPECT_EQ(owner_.is_permanent, 1);
    EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));

    BecomeUser(user == "bob" ? "BOB" : user, "LAPTOP-7");  // the same user elsewhere
    ASSERT_EQ(Lock(), 1);
    EXPECT_TRUE(Permanent());
    EXPECT_STREQ(OwnerInLockFile(dir_ / "pump.lck").szMachineName, "LAPTOP-7");
    EXPECT_FALSE(CanWrite(dir_ / "pump.dat"));
    ASSERT_EQ(PermLock(0), 1);
    NW_ReleaseLock();
    EXPECT_FALSE(dir_.Exists("pump.lck")) << "made temporary, the lock goes with its release";
  }

  // Permanence and checks follow only what was written.
  ASSERT_EQ(Lock(), 1);
  EXPECT_EQ(NW_CheckLock(), 1);
  env_.Fail(Op::kWrite, "", ErrorKind::kOther, 1);
  EXPECT_EQ(PermLock(1), 0);
  EXPECT_FALSE(Permanent());
  env_.Fail(Op::kWrite, "", ErrorKind::kOther, 1);
  EXPECT_EQ(NW_CheckLock(), 0) << "a failed rewrite is a lost lock";
  // An unreachable lock file is not written, and counts as held.
  env_.Fail(Op::kOpen, dir_.path(), ErrorKind::kNotFound, 2, platform::kRead);
  EXPECT_EQ(PermLock(1), 1);
  EXPECT_EQ(NW_CheckLock(), 1);
  EXPECT_FALSE(Permanent());
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("pump.lck")) << "still temporary";

  // Texts that name no lock beside a model are refused before anything is touched.
  ASSERT_EQ(Lock("valve"), 1);
  TempDir inner;
  const std::pair<std::string, std::string> cases[] = {{"", "pump"}, {dir_.path(), ""}, {dir_.path(), ".."},
                                                        {dir_.path(), std::string("..") + S + "x"},
                                                        {inner.path(), ".."}, {dir_.path(), "c:pump"}};
  for (const auto& [dir, name] : cases) {
    EXPECT_EQ(GetLock(dir, name, &owner_), 0) << "'" << dir << "' " << name;
    EXPECT_EQ(GetSecondLock(dir, name, 1, &owner_), 0) << "'" << dir << "' " << name;
  }
  for (const std::string& made : {inner / ".lck", inner / "...lck", dir_ / "..lck", std::string(1, S) + "pump.lck"}) {
    EXPECT_FALSE(Exists(made)) << made;
    if (Exists(made)) platform::System().DeleteFile(made).IgnoreError();
  }
  EXPECT_FALSE(CanWrite(dir_ / "valve.dat")) << "the open model keeps its lock";
}

// Slots copied whole share handles: letting one go must leave the other's files held, and a slot
// without a lock file must not close the data file that the open model's lock relies on. The
// second lock holds only the lock file. A slot that was released holds nothing: releasing it again
// must not delete the lock file that lies at its old path now, here a colleague's permanent lock.
TEST_F(LockExports, SecondLockHoldsOnlyTheLockFileAndReleasedOrSharedSlotsDropNobodysHold) {
  ASSERT_EQ(Lock("pump"), 1);
  NW_SetModelVars();  // the second slot is a copy of pump's lock
  EXPECT_EQ(Second("pump", 1), 0) << "pump is held by this very process";
  EXPECT_EQ(Second("pump", 3), 1);
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat")) << "pump's data file was let go";
  EXPECT_FALSE(CanWrite(dir_ / "pump.lck"));
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));

  ASSERT_EQ(Second("valve", 1), 1);
  EXPECT_FALSE(CanWrite(dir_ / "valve.lck"));
  EXPECT_TRUE(CanWrite(dir_ / "valve.dat")) << "mode 1 keeps the data file free";
  EXPECT_EQ(Second("valve", 3), 1);
  EXPECT_FALSE(dir_.Exists("valve.lck"));
  EXPECT_EQ(Second("pump", 5), 0);
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  CarolsPermanentLock("valve");
  EXPECT_EQ(Second("valve", 3), 1) << "nothing held: still 1";
  EXPECT_TRUE(dir_.Exists("valve.lck")) << "mode 3 deleted carol's lock";

  // The old lock after a switch, let go twice.
  ASSERT_EQ(Lock("pump"), 1);
  ASSERT_EQ(Lock("valve"), 0) << "carol's";
  ASSERT_EQ(Lock("dam"), 1);
  NW_RelesOldLock();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  CarolsPermanentLock("pump");
  NW_RelesOldLock();
  EXPECT_TRUE(dir_.Exists("pump.lck")) << "a stale old lock deleted carol's lock";
}

using SettingsExports = HostTest;

// The directories and the user's name are written only when they fit, terminator included.
TEST_F(SettingsExports, TextsNeverOverflowTheHostsBuffersAndTheWorkingDirectoryMustExist) {
  char guarded[MIRADEL_PATH_BUFFER + 16];
  std::memset(guarded, 'x', sizeof guarded);
  NW_GetQVTempDir(guarded);
  EXPECT_EQ(guarded[0], 0) << "no working copy yet";
  In().m_location.StoreDirAndName(Path::FromText(std::string(1000, 'd') + S), "pump");
  In().m_location.SetWorkingCopy(Path::FromText(std::string(1000, 'q')));
  for (auto get : {&NW_GetModelDir, &NW_GetQVTempDir}) {
    std::memset(guarded, 'G', sizeof guarded);
    get(guarded);
    EXPECT_EQ(std::strlen(guarded), MIRADEL_PATH_BUFFER - 1u);
    for (std::size_t i = MIRADEL_PATH_BUFFER; i < sizeof guarded; ++i) ASSERT_EQ(guarded[i], 'G');
  }

  env_.SetUserName("engineer");
  for (int size : {1, 8, 9}) {
    std::memset(guarded, 'x', sizeof guarded);
    EXPECT_EQ(NW_GetUserName(guarded, &size) != 0, size == 9) << size;
    EXPECT_EQ(guarded[8], size == 9 ? 0 : 'x') << "written past a buffer of " << size;
  }
  EXPECT_STREQ(guarded, "engineer");
  int size = 9;
  EXPECT_EQ(NW_GetUserName(nullptr, &size), 0);
  EXPECT_EQ(NW_GetUserName(guarded, nullptr), 0);

  // The working directory changes only to directories that exist.
  EXPECT_NE(NW_SetWorkingdir(dir_.path().c_str()), 0);
  std::string now;
  ASSERT_TRUE(platform::Current().GetCurrentDirectory(&now).ok());
  EXPECT_EQ(path::WithSeparator(now), dir_.path());
  EXPECT_EQ(NW_SetWorkingdir((dir_.path() + "missing").c_str()), 0);
  EXPECT_EQ(NW_SetWorkingdir(nullptr), 0);
}

TEST_F(SettingsExports, CompareModelsIgnoresCaseAndTheVersionNumberGivesDigitsTagAndLockTexts) {
  EXPECT_EQ(CmpModels("anything", "pump"), 0) << "no model directory set";
  const std::string dir = std::string(1, S) + "Models" + S + "Plant";
  In().m_location.StoreDirAndName(Path::FromText(dir + S), "Pump");
  const std::string other = std::string(1, kOtherSep) + "Models" + kOtherSep + "Plant";
  const std::tuple<std::string, std::string, int> cases[] = {
      {dir, "pump", 1}, {dir + S, "PUMP", 1}, {other, "pump", 1}, {std::string(1, S) + "MODELS" + S + "PLANT", "pump", 1},
      {dir, "pump.dat", 0}, {dir, "pump ", 0}, {dir + "2", "pump", 0}};
  for (const auto& [d, n, expected] : cases) EXPECT_EQ(CmpModels(d, n), expected) << d << " " << n;
  // Texts are exactly as long as the host says: null and non-positive lengths are empty.
  const char* name = "pumpXYZ";
  int four = 4, zero = 0, negative = -5, dl = Len(dir);
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &four), 1);
  EXPECT_EQ(NW_CmpModels(dir.data(), nullptr, name, &four), 0);
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &negative), 0);
  EXPECT_EQ(NW_CmpModels(nullptr, &dl, nullptr, &four), 0);
  In().m_location.StoreDirAndName(Path::FromText(dir), "");
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &zero), 1) << "length 0 is empty even when the pointer is not";

  // The host's version number becomes the eight digits behind the tag of the working copies and the
  // version in the lock texts; a missing number changes nothing.
  // a b c d -> 0 a 0 b c d 0 0; seven digits get a leading zero, more than eight keep the first
  // eight, and the sign is dropped.
  const std::pair<int, const char*> digits[] = {
      {80100, "08000100"}, {10000104, "10000104"}, {801004, "80010004"}, {1234, "01023400"},
      {12345, "01020345"}, {0, "00000000"},        {7, "07000000"},      {123, "01230000"},
      {9000104, "09000104"}, {123456789, "12345678"}, {INT_MAX, "21474836"}, {-80100, "08000100"},
      {INT_MIN, "21474836"}, {12, "01200000"}, {99999999, "99999999"}, {-123456789, "12345678"}};
  for (const auto& [version, expected] : digits) EXPECT_EQ(VersionDigits(version), expected) << version;
  const std::pair<const char*, const char*> dotted[] = {{"08000100", "8.0.1.0"}, {"10000104", "10.0.1.4"},
      {"80010004", "80.1.0.4"}, {"00000000", "0.0.0.0"}, {"21474836", "21.47.48.36"}};
  for (const auto& [text, expected] : dotted) EXPECT_EQ(DottedVersion(text), expected) << text;

  SetVersion(801004);
  NW_SetVersionNo(nullptr);
  EXPECT_EQ(In().m_staging.m_strVersionTag, "QV_800100");
  EXPECT_EQ(In().m_locks.Texts().dotted, "80.1.0.4");
  EXPECT_NE(In().m_locks.Texts().temporary.find("<QuorvaneVersion>80.1.0.4<"), std::string::npos);
}

}  // namespace
}  // namespace miradel::test
