// Opening, working on, writing back and closing models, and switching from one model to another,
// through the exports in the order the host calls them. Which files of a directory belong to a
// model, and the existence tests the host asks.
#include <cctype>

#include "model/model_file_set.h"
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

std::vector<std::string> Select(ModelFileSet& set, const std::vector<std::string>& names) {
  const std::string dir = std::string(1, S) + "share" + S;
  std::vector<std::string> listed, selected{"stale entry"};
  for (const std::string& n : names) listed.push_back(dir + n);
  set.SelectModelFiles(dir, "Pump", listed, selected);
  for (std::string& p : selected) p = path::BaseName(p);
  return selected;
}

// The suffix shapes are checked at their edges; the fixed suffixes are a table the selection samples.
// The companions that come with a model are checked on files, through the exports (staging and
// companion tests).
TEST(ModelFileSet, SelectsByNameAndSuffixShapeKeepingListingOrder) {
  ModelFileSet set;
  EXPECT_EQ(Select(set, {"PUMP.DAT", "pump.fs3", "pump.fs0", "pump_d0042.txt", "pump_d004.txt", "pump.l123", "pump.lin",
                         "pump.abc", "pump", "pump2.dat", "pum.dat", "pump.LPIPELINK", "pump_D0042.TXT", "pump.fs10",
                         "Pump.f10", "pump.l12"}),
            (std::vector<std::string>{"PUMP.DAT", "pump.fs3", "pump_d0042.txt", "pump.l123", "pump.lin",
                                      "pump.LPIPELINK", "pump_D0042.TXT", "Pump.f10"}));
  EXPECT_EQ(set.m_bModelHasTTC, 0);
  EXPECT_EQ(set.m_bModelHasTTL, 0);
  Select(set, {"pump.TTL"});  // a case list ending in .TTC is found in the staging tests
  EXPECT_EQ(set.m_bModelHasTTC, 0);
  EXPECT_EQ(set.m_bModelHasTTL, 1);
  for (const char* s : {".lpipelink", ".lxyz", ".l.9_", ".fs1", ".fs9", "_d0000.txt", "_d9999.txt", ".cii", ".dat"})
    EXPECT_EQ(set.IsModelFileSuffix(s), 1) << s;
  for (const char* s : {"", ".", ".DAT", ".fs0", ".fsa", ".fs", ".lxy", ".lxyzw", "_d000.txt", "_d00000.txt",
                        "_d00a0.txt", "_d0000.TXT", "x.dat", ".dat ", ".da"})
    EXPECT_EQ(set.IsModelFileSuffix(s), 0) << s;
}

using ExistenceExports = HostTest;

// NW_CheckModelExist joins directory, name and extension; NW_FileExistMdlTmp looks in the model
// directory (0) or the working copy (1); NW_IsThisModelDir compares with the host program's
// directory. Blanks after a text and the letter case do not count.
TEST_F(ExistenceExports, LookWhereTheHostSays) {
  dir_.Write("pump.dat", "x");
  In().m_location.StoreDirAndName(Path::FromText(dir_.path()), "pump");
  const std::string d = path::WithoutTrailingSeparators(dir_.path()), parent = path::DirectoryPart(d);
  const std::tuple<std::string, std::string, const char*, int> checks[] = {
      {d + "  ", "pump  ", "dat", 1}, {d, "pump", "DAT", 1}, {d, "pump", "", 0}, {d, "pump", nullptr, 0},
      {d, "", "dat", 0}, {"", "pump", "dat", 0}, {d, "   ", "dat", 0}, {parent, path::BaseName(d), "", 1}};
  for (const auto& [dir, name, ext, expected] : checks) {
    int dl = Len(dir), nl = Len(name);
    EXPECT_EQ(NW_CheckModelExist(dir.data(), &dl, name.data(), &nl, ext), expected)
        << dir << "|" << name << "|" << (ext ? ext : "null");
  }

  auto existIn = [](const std::string& name, int place) { int n = Len(name); return NW_FileExistMdlTmp(name.data(), &n, &place); };
  TempDir temp;
  temp.Write("pump.tmp", "y");
  In().m_location.SetWorkingCopy(Path::FromText(temp.path()));
  EXPECT_EQ(existIn("pump.dat", 0), 1);
  EXPECT_EQ(existIn("pump.tmp", 1), 1);
  EXPECT_EQ(existIn("pump.dat", 1), 0);
  EXPECT_EQ(existIn(std::string(300, 'a'), 0), 0);
  int len = 8;
  EXPECT_EQ(NW_FileExistMdlTmp("pump.tmp", &len, nullptr), 0);
  In().m_location.SetWorkingCopy(Path());
  EXPECT_EQ(existIn("pump.tmp", 1), 0) << "no working copy yet";

  auto isThisModelDir = [](const std::string& dir) { int n = Len(dir); return NW_IsThisModelDir(dir.data(), &n); };
  const std::string exeDir = In().m_staging.ExeDir();
  ASSERT_FALSE(exeDir.empty());
  std::string given = exeDir.substr(0, exeDir.size() - 1);
  for (char& ch : given) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  EXPECT_EQ(isThisModelDir(given + "  "), 1);
  EXPECT_EQ(isThisModelDir(dir_.path()), 0);
  EXPECT_EQ(isThisModelDir(""), 0) << "the open model is not in the program's directory";
  In().m_location.StoreDirAndName(Path::FromText(exeDir), "pump");
  EXPECT_EQ(isThisModelDir(""), 1);
}

}  // namespace
}  // namespace miradel::test
