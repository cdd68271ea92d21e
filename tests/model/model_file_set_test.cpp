// Which files of a directory belong to a model, and the existence tests the host asks.
#include <cctype>

#include "model/model_file_set.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

std::vector<std::string> Select(ModelFileSet& set, const std::vector<std::string>& names) {
  const std::string dir = std::string(1, S) + "share" + S;
  std::vector<std::string> listed, selected{"stale entry"};
  for (const std::string& n : names) listed.push_back(dir + n);
  set.SelectModelFiles(dir, "Pump", listed, selected);
  for (std::string& p : selected) p = path::BaseName(p);
  return selected;
}

TEST(ModelFileSet, SelectsByNameAndSuffixKeepingListingOrder) {
  ModelFileSet set;
  EXPECT_EQ(Select(set, {"PUMP.DAT", "pump.fs3", "pump.fs0", "pump_d0042.txt", "pump_d004.txt", "pump.l123", "pump.lin",
                         "pump.abc", "pump", "pump2.dat", "pum.dat", "pump.LPIPELINK", "pump_D0042.TXT", "pump.fs10",
                         "Pump.f10", "pump.l12"}),
            (std::vector<std::string>{"PUMP.DAT", "pump.fs3", "pump_d0042.txt", "pump.l123", "pump.lin",
                                      "pump.LPIPELINK", "pump_D0042.TXT", "Pump.f10"}));
  EXPECT_EQ(set.m_bModelHasTTC + set.m_bModelHasTTL, 0);
  Select(set, {"PUMP.TTC"});
  EXPECT_EQ(set.m_bModelHasTTC, 1);
  EXPECT_EQ(set.m_bModelHasTTL, 0);
  Select(set, {"pump.TTL"});
  EXPECT_EQ(set.m_bModelHasTTL, 1);
}

// The shapes and their edges; the fixed suffixes are a table the selection above samples.
TEST(ModelFileSet, SuffixShapesHaveExactEdges) {
  ModelFileSet set;
  for (const char* s : {".lpipelink", ".lxyz", ".l.9_", ".fs1", ".fs9", "_d0000.txt", "_d9999.txt", ".cii", ".dat"})
    EXPECT_EQ(set.IsModelFileSuffix(s), 1) << s;
  for (const char* s : {"", ".", ".DAT", ".fs0", ".fsa", ".fs", ".lxy", ".lxyzw", "_d000.txt", "_d00000.txt",
                        "_d00a0.txt", "_d0000.TXT", "x.dat", ".dat ", ".da"})
    EXPECT_EQ(set.IsModelFileSuffix(s), 0) << s;
}

TEST(FixedCompanions, FixedNamesThenResultsOfEachTtaInputFile) {
  std::string d = std::string(1, S) + "m" + S;
  std::vector<std::string> names;
  for (const CompanionFile& f : FixedCompanionFiles("pump", {d + "case1.tti", d + "prof.TTP", d + "x.TTI"}))
    names.push_back(f.FileName());
  EXPECT_EQ(names, (std::vector<std::string>{"EQUIP.LIB", "VELDRANE.LIB", "input.gps", "result.gps", "pump.TPP",
                                             "pump.GDL", "pump.LOG", "pump.TTO", "pump.TDL", "pump.TSM",
                                             "case1.TSM", "case1.TDL", "case1.TTO", "case1.TSS"}));
}

class ExistenceExports : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    dir_.Write("pump.dat", "x");
    C().m_location.StoreDirAndName(dir_.path(), "pump");
  }
  static int CheckExist(const std::string& d, const std::string& n, const char* ext) {
    int dl = Len(d), nl = Len(n);
    return NW_CheckModelExist(d.data(), &dl, n.data(), &nl, ext);
  }
  static int ExistIn(const std::string& name, int place) {
    int len = Len(name);
    return NW_FileExistMdlTmp(name.data(), &len, &place);
  }
  static int IsThisModelDir(const std::string& d) {
    int len = Len(d);
    return NW_IsThisModelDir(d.data(), &len);
  }
};

TEST_F(ExistenceExports, CheckModelExistJoinsDirectoryNameAndExtension) {
  std::string d = dir_.path().substr(0, dir_.path().size() - 1) + "  ";  // no separator, blanks after it
  EXPECT_EQ(CheckExist(d, "pump  ", "dat"), 1);
  EXPECT_EQ(CheckExist(d, "pump", "DAT"), 1) << "names match without regard to case";
  EXPECT_EQ(CheckExist(d, "pump", ""), 0) << "no file named just pump";
  EXPECT_EQ(CheckExist(d, "pump", nullptr), 0);
  EXPECT_EQ(CheckExist(d, "", "dat"), 0);
  EXPECT_EQ(CheckExist("", "pump", "dat"), 0);
  EXPECT_EQ(CheckExist(d, "   ", "dat"), 0);
  std::string parent = path::WithoutTrailingSeparators(dir_.path());
  EXPECT_EQ(CheckExist(path::DirectoryPart(parent), path::BaseName(parent), ""), 1) << "a directory counts";
}

TEST_F(ExistenceExports, FileExistMdlTmpLooksInTheChosenDirectory) {
  TempDir temp;
  temp.Write("pump.tmp", "y");
  C().m_location.m_strQVTempDir = temp.path();
  EXPECT_EQ(ExistIn("pump.dat", 0), 1);
  EXPECT_EQ(ExistIn("pump.dat", 1), 0);
  EXPECT_EQ(ExistIn("pump.tmp", 1), 1);
  EXPECT_EQ(ExistIn(std::string(300, 'a'), 0), 0);
  int len = 8;
  EXPECT_EQ(NW_FileExistMdlTmp("pump.tmp", &len, nullptr), 0);
  C().m_location.m_strQVTempDir.clear();
  EXPECT_EQ(ExistIn("pump.tmp", 1), 0) << "no working copy yet";
}

TEST_F(ExistenceExports, IsThisModelDirComparesWithTheHostProgramsDirectory) {
  std::string exeDir = C().m_staging.ExeDir();
  ASSERT_FALSE(exeDir.empty());
  std::string given = exeDir.substr(0, exeDir.size() - 1);
  for (char& ch : given) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  EXPECT_EQ(IsThisModelDir(given + "  "), 1);
  EXPECT_EQ(IsThisModelDir(dir_.path()), 0);
  EXPECT_EQ(IsThisModelDir(""), 0) << "the open model is not in the program's directory";
  C().m_location.StoreDirAndName(exeDir, "pump");
  EXPECT_EQ(IsThisModelDir(""), 1);
}

}  // namespace
}  // namespace miradel::test
