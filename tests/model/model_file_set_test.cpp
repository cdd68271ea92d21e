// Which files of a directory belong to a model, and the existence tests the host asks.
#include <gtest/gtest.h>

#include <cctype>

#include "control/globals.h"
#include "model/model_file_set.h"
#include "miradel.h"
#include "support/temp_dir.h"

namespace miradel {
namespace {

constexpr char S = platform::kSep;

class ModelFileSet : public ::testing::Test {
 protected:
  void SetUp() override { Open(std::string(1, S) + "share" + S + "plant" + S, "Pump"); }
  void TearDown() override { Open("", ""); c.m_strQVTempDir.clear(); }
  void Open(const std::string& dir, const std::string& name) {
    c.m_modelDir.Set(dir);
    c.m_strModelName = name;
    c.m_bModelHasTTC = c.m_bModelHasTTL = 0;
  }
  std::vector<std::string> Select(const std::vector<std::string>& names) {
    std::vector<std::string> listed, selected{"stale entry"};
    for (const std::string& n : names) listed.push_back(c.m_modelDir.Get() + n);
    c.SelectModelFiles(listed, selected);
    for (std::string& p : selected) p = FileNameOf(p);
    return selected;
  }
  CNetworkFileControl& c = TheControl();
};

TEST_F(ModelFileSet, SelectsByNameAndSuffixKeepingListingOrder) {
  EXPECT_EQ(Select({"PUMP.DAT", "pump.fs3", "pump.fs0", "pump_d0042.txt", "pump_d004.txt", "pump.l123", "pump.lin",
                    "pump.abc", "pump", "pump2.dat", "pum.dat", "pump.LPIPELINK", "pump_D0042.TXT", "pump.fs10",
                    "Pump.f10", "pump.l12"}),
            (std::vector<std::string>{"PUMP.DAT", "pump.fs3", "pump_d0042.txt", "pump.l123", "pump.lin",
                                      "pump.LPIPELINK", "pump_D0042.TXT", "Pump.f10"}));
}

TEST_F(ModelFileSet, EveryListedSuffixAndShapeIsAccepted) {
  for (const char* s : {".dat", ".cmb", ".xml", ".pws", ".ttc", ".ttl", ".tpp", ".gdl", ".lin", ".mdb", ".tim",
                        ".hrm", ".rsp", ".sam", ".hgr", ".str", ".f10", ".fsp", ".flx", ".eig", ".opl", ".pipe",
                        ".rpt", ".bak", ".chk", ".out", ".sum", ".mod", ".geo", ".pst", ".log", ".tss", ".tto",
                        ".tdl", ".tsm", ".msg", ".dxf", ".ntl", ".pxd", ".pxf", ".pxh", ".pxs", ".pcf", ".cii",
                        ".lpipelink", ".lxyz", ".l.9_", ".fs1", ".fs9", "_d0000.txt", "_d9999.txt"})
    EXPECT_EQ(c.IsModelFileSuffix(s), 1) << s;
  for (const char* s : {"", ".", ".DAT", ".fs0", ".fsa", ".fs", ".lxy", ".lxyzw", "_d000.txt", "_d00000.txt",
                        "_d00a0.txt", "_d0000.TXT", "x.dat", ".dat ", ".da"})
    EXPECT_EQ(c.IsModelFileSuffix(s), 0) << s;
}

TEST_F(ModelFileSet, CaseListSuffixesRaiseTheirFlags) {
  Select({"pump.dat"});
  EXPECT_EQ(c.m_bModelHasTTC + c.m_bModelHasTTL, 0);
  Select({"PUMP.TTC"});
  EXPECT_EQ(c.m_bModelHasTTC, 1);
  EXPECT_EQ(c.m_bModelHasTTL, 0);
  Select({"pump.TTL"});
  EXPECT_EQ(c.m_bModelHasTTL, 1);
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

class ExistenceExports : public ModelFileSet {
 protected:
  void SetUp() override {
    dir_.Write("pump.dat", "x");
    Open(dir_.path(), "pump");
  }
  test::TempDir dir_;
};

TEST_F(ExistenceExports, CheckModelExistJoinsDirectoryNameAndExtension) {
  std::string d = dir_.path() + "   ";
  d.erase(d.size() - 4, 1);  // no trailing separator, blanks after it
  std::string n = "pump  ";
  int dl = static_cast<int>(d.size()), nl = static_cast<int>(n.size()), zero = 0;
  EXPECT_EQ(NW_CheckModelExist(d.data(), &dl, n.data(), &nl, "dat"), 1);
  EXPECT_EQ(NW_CheckModelExist(d.data(), &dl, n.data(), &nl, "DAT"), 1) << "names match without regard to case";
  EXPECT_EQ(NW_CheckModelExist(d.data(), &dl, n.data(), &nl, ""), 0) << "no file named just pump";
  EXPECT_EQ(NW_CheckModelExist(d.data(), &dl, n.data(), &nl, nullptr), 0);
  EXPECT_EQ(NW_CheckModelExist(d.data(), &dl, n.data(), &zero, "dat"), 0);
  EXPECT_EQ(NW_CheckModelExist(d.data(), &zero, n.data(), &nl, "dat"), 0);
  std::string blanks = "   ";
  int bl = 3;
  EXPECT_EQ(NW_CheckModelExist(d.data(), &dl, blanks.data(), &bl, "dat"), 0);
  // Without an extension the name itself is tested, and a directory counts.
  std::string parent = dir_.path().substr(0, dir_.path().size() - 1);
  std::size_t cut = parent.find_last_of(S);
  std::string up = parent.substr(0, cut), leaf = parent.substr(cut + 1);
  int ul = static_cast<int>(up.size()), ll = static_cast<int>(leaf.size());
  EXPECT_EQ(NW_CheckModelExist(up.data(), &ul, leaf.data(), &ll, ""), 1);
}

TEST_F(ExistenceExports, FileExistMdlTmpLooksInTheChosenDirectory) {
  test::TempDir temp;
  temp.Write("pump.tmp", "y");
  c.m_strQVTempDir = temp.path();
  std::string dat = "pump.dat", tmp = "pump.tmp";
  int len = 8, one = 1, zero = 0;
  EXPECT_EQ(NW_FileExistMdlTmp(dat.data(), &len, &zero), 1);
  EXPECT_EQ(NW_FileExistMdlTmp(dat.data(), &len, &one), 0);
  EXPECT_EQ(NW_FileExistMdlTmp(tmp.data(), &len, &one), 1);
  EXPECT_EQ(NW_FileExistMdlTmp(tmp.data(), &len, nullptr), 0);
  std::string longName(300, 'a');
  int ll = 300;
  EXPECT_EQ(NW_FileExistMdlTmp(longName.data(), &ll, &zero), 0);
  c.m_strQVTempDir.clear();
  EXPECT_EQ(NW_FileExistMdlTmp(tmp.data(), &len, &one), 0) << "no working directory yet";
}

TEST_F(ExistenceExports, IsThisModelDirComparesWithTheHostProgramsDirectory) {
  std::string exeDir = c.m_strExeDir;
  ASSERT_FALSE(exeDir.empty());
  std::string given = exeDir.substr(0, exeDir.size() - 1);
  for (char& ch : given) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  given += "  ";
  int gl = static_cast<int>(given.size()), zero = 0;
  EXPECT_EQ(NW_IsThisModelDir(given.data(), &gl), 1);
  EXPECT_EQ(NW_IsThisModelDir(dir_.path().data(), &gl), 0);
  EXPECT_EQ(NW_IsThisModelDir(nullptr, &zero), 0) << "the open model is not in the program's directory";
  c.m_modelDir.Set(exeDir);
  EXPECT_EQ(NW_IsThisModelDir(nullptr, &zero), 1);
}

}  // namespace
}  // namespace miradel
