// The model directory, its working copy and the synchronous copies between them, and the removal
// of working copies, through the exports as the host calls them.
#include <cctype>
#include <filesystem>
#include <random>

#include "support/host_test.h"
#include "ui/string_table.h"

namespace miradel::test {
namespace {

namespace fs = std::filesystem;
using platform::ErrorKind;

class Staging : public HostTest {
 protected:
  int Open(const std::string& name = "pump") { return SetModelDir(dir_.path(), name); }
  static bool ReadOnly(const std::string& path) {
    platform::FileInfo info;
    EXPECT_TRUE(platform::System().GetFileInfo(path, &info).ok()) << path;
    return info.read_only;
  }
  static std::string SysTemp() { return C().m_staging.SysTempDir(); }
  static std::string TagDir() { return SysTemp() + "QV_776655" + S; }
  // As if the previous model had had this working copy.
  static void ClearPrevious(const std::string& previous) {
    C().m_location.m_strSavedQVTempDir = previous;
    NW_ClrQVTempDir();
  }
};

TEST_F(Staging, ModelDirComesBackAsGivenAndEachOpeningGetsItsOwnWorkingCopy) {
  const std::string given = std::string("C:") + S + "models";
  ASSERT_EQ(SetModelDir(given, "pump"), 1);
  EXPECT_EQ(ModelDir(), given);
  const std::string first = QVTempDir();
  ASSERT_EQ(SetModelDir(given + S, "pump"), 1);
  EXPECT_EQ(ModelDir(), given + S);
  const std::string second = QVTempDir();
  EXPECT_NE(first, second);
  const std::string prefix = TagDir() + "pump_";
  for (const std::string& temp : {first, second}) {
    ASSERT_EQ(temp.size(), prefix.size() + 5) << temp;
    EXPECT_EQ(temp.substr(0, prefix.size()), prefix);
    for (std::size_t i = prefix.size(); i < prefix.size() + 4; ++i) EXPECT_TRUE(std::isdigit(temp[i])) << temp;
    EXPECT_EQ(temp.back(), S);
    EXPECT_TRUE(fs::is_empty(fs::path(temp))) << "the write test leaves nothing behind";
  }
}

// A name that is not one plain level, or a model whose paths would not fit the host's buffers,
// makes nothing anywhere and leaves no working copy to answer with.
TEST_F(Staging, ModelsThatCannotHaveAWorkingCopyAreRefused) {
  const std::string escape = "miradel-escape";
  const char O = kOtherSep;
  const std::string longDir = dir_.path() + std::string(250 - dir_.path().size(), 'd') + S;
  struct {
    std::string dir, name;
  } cases[] = {{dir_.path(), ".."}, {dir_.path(), "."}, {dir_.path(), ".." + std::string(1, S) + escape},
               {dir_.path(), ".." + std::string(1, O) + escape}, {dir_.path(), "sub" + std::string(1, S) + escape},
               {dir_.path(), "C:" + escape}, {dir_.path(), std::string(260 - SysTemp().size(), 'n')},
               {longDir, "pumpmodel"}};
  for (const auto& c : cases) {
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(SetModelDir(c.dir, c.name), 0) << c.name;
    EXPECT_EQ(QVTempDir(), "") << c.name;
  }
  const std::string sys = SysTemp();
  const std::string parent = fs::path(sys.substr(0, sys.size() - 1)).parent_path().string() + S;
  std::error_code ec;
  for (const std::string& where : {parent, sys, TagDir()})
    for (fs::directory_iterator it(fs::path(where), ec), end; !ec && it != end; it.increment(ec)) {
      EXPECT_NE(it->path().filename().string().rfind(escape, 0), 0u) << it->path().string();
      if (it->path().filename().string().rfind("nnnn", 0) == 0) {
        ADD_FAILURE() << "made " << it->path().string();
        fs::remove_all(it->path(), ec);
      }
    }
  // The longest that fits still works, and NW_CmpModels knows it.
  const std::string fits = dir_.path() + std::string(255 - dir_.path().size() - 4, 'f') + S;
  EXPECT_EQ(SetModelDir(fits, "pmp"), 1);
  EXPECT_EQ(CmpModels(fits, "PMP"), 1);
}

TEST_F(Staging, WithoutAnyFileOfTheModelNothingIsCopied) {
  dir_.Write("valve.dat", "another model");
  dir_.Write("EQUIP.LIB", "companion");
  EXPECT_EQ(CopyAllToTemp(), 0) << "no working copy yet";
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(CopyAllToTemp(0), 0);
  EXPECT_EQ(CopyAllToTemp(1), 0);
  EXPECT_TRUE(fs::is_empty(fs::path(QVTempDir())));
  EXPECT_EQ(ui_.count(), 0u);
}

// Without a working copy nothing is copied, not even into the current directory.
TEST_F(Staging, WithoutAWorkingCopyNothingIsTouched) {
  dir_.Write("pump.dat", "data");
  ASSERT_TRUE(platform::System().SetReadOnly(dir_ / "pump.dat", true).ok());
  const std::string cwd = dir_ / "cwd" + S;  // left at the test's end: Windows removes no current directory
  fs::create_directory(fs::path(cwd));
  ASSERT_EQ(NW_SetWorkingdir(cwd.c_str()), 1);
  C().m_location.StoreDirAndName(dir_.path(), "pump");
  EXPECT_EQ(CopyAllToTemp(0), 0);
  EXPECT_EQ(CopyToTemp("pump", "dat"), 0);
  EXPECT_TRUE(fs::is_empty(fs::path(cwd)));
  WriteFile(cwd + "stray.txt", "not the model's");
  EXPECT_EQ(NW_CopyAllFromTemp(), 0);
  EXPECT_FALSE(dir_.Exists("stray.txt")) << "the current directory was copied into the model directory";
  EXPECT_TRUE(ReadOnly(dir_ / "pump.dat"));
}

TEST_F(Staging, AFileThatCannotBeFetchedAsksRetryOrCancel) {
  dir_.Write("pump.dat", "data");
  dir_.Write("pump.xml", "<model/>");
  dir_.Write("EQUIP.LIB", "companion");
  int window = 4242;
  NW_SetHwnd(&window);
  ASSERT_EQ(Open(), 1);
  const std::string temp = QVTempDir();
  env_.Fail(Op::kCopy, "pump.dat", ErrorKind::kSharingViolation, 2);
  ui_.QueueAnswers({ui::kIdRetry, ui::kIdRetry});
  EXPECT_EQ(CopyAllToTemp(1), 1);
  ASSERT_EQ(ui_.count(), 2u);
  const ScriptedUi::Shown box = ui_.shown()[0];
  EXPECT_EQ(box.text, ui::FormatString(std::string("Quorvane was not able to retrieve the file [%1] associated with the "
                                                   "model. \r\n Do you want to retry retrieving the file or cancel "
                                                   "opening the model?"),
                                       {"pump.dat"}));
  EXPECT_EQ(box.caption, ui::kAppTitle);
  EXPECT_EQ(box.style & ui::kButtonMask, ui::kRetryCancel);
  EXPECT_EQ(box.owner, 4242);
  EXPECT_EQ(ReadFile(temp + "pump.dat"), "data");
  EXPECT_TRUE(Exists(temp + "EQUIP.LIB"));

  ASSERT_EQ(Open(), 1);
  env_.Fail(Op::kCopy, "pump.dat", ErrorKind::kSharingViolation);
  ui_.QueueAnswer(ui::kIdCancel);
  EXPECT_EQ(CopyAllToTemp(1), -1);
  EXPECT_EQ(ui_.count(), 3u);
  EXPECT_TRUE(fs::is_empty(fs::path(QVTempDir()))) << "neither the model's other files nor the companions";
}

std::string CaseLine(const std::string& input, const std::string& profile) {
  auto col = [](std::string t) { return t.append(15 - t.size(), ' '); };
  return col(input) + col("case") + col(profile) + "\r\n";
}

// The TTA files the case list names come along with their results; the missing ones are named in
// one box, in silent mode too, and one that would lead out of the model directory is never fetched.
TEST_F(Staging, CaseListFilesComeAlongAndTheMissingAreNamedOnce) {
  const std::string up = std::string("..") + S;
  dir_.Write("pump.dat", "data");
  dir_.Write("pump.ttc", "H\r\n" + CaseLine("run1.tti", "ramp") + CaseLine("gone.tti", "cool") +
                             CaseLine(up + "secret.key", ""));
  for (const char* name : {"run1.tti", "ramp.TTP", "run1.TSS"}) dir_.Write(name, name);
  int window = 77, silent = 1;
  NW_SetHwnd(&window);
  NW_SetSilentMode(&silent);
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(CopyAllToTemp(), 1);
  const std::string temp = QVTempDir();
  for (const char* name : {"run1.tti", "ramp.TTP", "run1.TSS"}) EXPECT_TRUE(Exists(temp + name)) << name;
  EXPECT_FALSE(Exists(temp + "secret.key"));
  ASSERT_EQ(ui_.count(), 1u);
  const ScriptedUi::Shown box = ui_.shown()[0];
  EXPECT_EQ(box.text, "The TTA Profile File " + (dir_ / "cool.TTP") + "  Not Found \nThe TTA Input File " +
                          (dir_ / "gone.tti") + "  Not Found \nThe TTA Input File " + dir_.path() + up +
                          "secret.key  Not Found \n");
  EXPECT_EQ(box.caption, "TTA Files Missing");
  EXPECT_EQ(box.style, unsigned(ui::kOk | ui::kIconExclamation));
  EXPECT_EQ(box.owner, 77);
}

TEST_F(Staging, ReadOnlyModelFilesBecomeWritableInBothDirectories) {
  dir_.Write("pump.dat", "data");
  dir_.Write("valve.dat", "another model");
  ASSERT_TRUE(platform::System().SetReadOnly(dir_ / "pump.dat", true).ok());
  ASSERT_TRUE(platform::System().SetReadOnly(dir_ / "valve.dat", true).ok());
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(CopyAllToTemp(0), 1);
  EXPECT_FALSE(ReadOnly(QVTempDir() + "pump.dat"));
  EXPECT_FALSE(ReadOnly(dir_ / "pump.dat"));
  EXPECT_TRUE(ReadOnly(dir_ / "valve.dat")) << "not a file of this model";
}

TEST_F(Staging, SingleFilesGoBothWaysButNeverOutOfTheirDirectories) {
  for (const char* name : {"pump.dat", "valve.dat", "THIRD.DAT", "pump.xml"}) dir_.Write(name, name);
  ASSERT_EQ(Open(), 1);
  const std::string temp = QVTempDir();
  EXPECT_EQ(NW_SynchCpyToTemp(""), 0);
  EXPECT_EQ(NW_SynchCpyToTemp("dat"), 1) << "every .dat file, other models' too";
  EXPECT_EQ(ReadFile(temp + "valve.dat"), "valve.dat");
  EXPECT_TRUE(Exists(temp + "THIRD.DAT"));
  EXPECT_FALSE(Exists(temp + "pump.xml"));
  EXPECT_EQ(CopyToTemp("pump  ", "xml"), 1);
  EXPECT_TRUE(Exists(temp + "pump.xml"));

  // Names that climb out of the working copy or of the model directory are refused.
  const std::string model = dir_ / "m" + S;
  fs::create_directory(fs::path(model));
  ASSERT_EQ(SetModelDir(model, "pump"), 1);
  dir_.Write("secret.key", "beside the model directory");
  WriteFile(TagDir() + "secret.key", "beside the working copy");
  for (const std::string& name : {std::string("..") + S + "secret", std::string("..") + kOtherSep + "secret"}) {
    EXPECT_EQ(CopyToModel(name, "key", 0), 0) << name;
    EXPECT_EQ(CopyToTemp(name, "key"), 0) << name;
  }
  EXPECT_FALSE(Exists(model + "secret.key")) << "a file from outside the working copy was published";
  EXPECT_FALSE(Exists(QVTempDir() + "secret.key"));
  fs::remove(fs::path(TagDir() + "secret.key"));

  // A failed write-back is silent with flag 0 and names the file with flag 1.
  EXPECT_EQ(CopyToModel("pump   ", "xyz", 0), 0);
  EXPECT_EQ(ui_.count(), 0u);
  EXPECT_EQ(CopyToModel("pump   ", "xyz", 1), 0);
  ASSERT_EQ(ui_.count(), 1u);
  EXPECT_EQ(ui_.shown()[0].text, ui::FormatString(std::string("Quorvane was not able to save the %1"), {"pump.xyz"}));
  WriteFile(QVTempDir() + "pump.xyz", "result");
  EXPECT_EQ(CopyToModel("pump   ", "xyz", 1), 1);
  EXPECT_EQ(ReadFile(model + "pump.xyz"), "result");
}

TEST_F(Staging, AfterASwitchOnlyThePreviousModelsWorkingCopyGoes) {
  TempDir b;
  ASSERT_EQ(Open(), 1);
  const std::string tempA = QVTempDir();
  NW_SetModelVars();
  ASSERT_EQ(SetModelDir(b.path(), "valve"), 1);
  const std::string tempB = QVTempDir();
  WriteFile(tempB + "valve.dat", "B");
  NW_ClrQVTempDir();
  EXPECT_FALSE(Exists(tempA));
  EXPECT_EQ(ReadFile(tempB + "valve.dat"), "B");
}

// A previous working copy outside the user's temporary path is never emptied or removed.
TEST_F(Staging, NothingOutsideTheTemporaryPathIsRemoved) {
  ASSERT_EQ(Open(), 1);
  const std::string sys = SysTemp();
  dir_.Write("canary.txt", "alive");
  ASSERT_EQ(NW_SetWorkingdir(dir_.path().c_str()), 1);
  ClearPrevious("");  // would empty the working directory
  EXPECT_TRUE(dir_.Exists("canary.txt"));

  const std::string beside = fs::path(sys.substr(0, sys.size() - 1)).parent_path().string() + S + "miradel-canary-" +
                             std::to_string(std::random_device{}()) + S;
  const std::string besideName = fs::path(beside.substr(0, beside.size() - 1)).filename().string();
  const char O = kOtherSep;
  for (const std::string& previous : {sys + ".." + S + besideName + S, sys + "QV_1" + S + ".." + S + ".." + S + besideName,
                                      sys + ".." + O + besideName + O}) {
    fs::create_directory(fs::path(beside));
    WriteFile(beside + "canary.txt", "alive");
    ClearPrevious(previous);
    EXPECT_TRUE(Exists(beside + "canary.txt")) << "removed through " << previous;
  }
  std::error_code ec;
  fs::remove_all(fs::path(beside), ec);

  // The root and the temporary path itself; listing and deleting are refused meanwhile, so that a
  // wrong removal fails the test instead of emptying the disk.
  for (Op op : {Op::kFind, Op::kDelete, Op::kRemoveDir}) env_.Fail(op, "", ErrorKind::kAccessDenied);
  const int finds = env_.Count(Op::kFind), deletes = env_.Count(Op::kDelete);
  for (const std::string& previous : {std::string(1, S), sys, sys.substr(0, sys.size() - 1)}) {
    ClearPrevious(previous);
    EXPECT_EQ(env_.Count(Op::kFind), finds) << "listed " << previous;
    EXPECT_EQ(env_.Count(Op::kDelete), deletes) << "deleted in " << previous;
  }
  env_.ClearFaults();
  EXPECT_TRUE(Exists(QVTempDir())) << "the open model's working copy stays";
}

TEST_F(Staging, LinksInsideAWorkingCopyLeadNowhereForTheRemoval) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege on Windows";
#else
  TempDir b;
  b.Write("precious.dat", "keep");
  ASSERT_EQ(Open(), 1);
  const std::string temp = QVTempDir();
  WriteFile(temp + "pump.dat", "work");
  fs::create_directory_symlink(fs::path(b.path().substr(0, b.path().size() - 1)), fs::path(temp + "linked"));
  fs::create_symlink(fs::path(b / "precious.dat"), fs::path(temp + "linked.dat"));
  NW_ReleaseLock();
  EXPECT_FALSE(Exists(temp + "pump.dat")) << "the removal did not run";
  EXPECT_EQ(b.Read("precious.dat"), "keep");
#endif
}

}  // namespace
}  // namespace miradel::test
