// The model directory, its working copy and the synchronous copies between them, and the removal
// of working copies, through the exports as the host calls them.
#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include "support/host_test.h"

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
  static std::string SysTemp() { return In().m_staging.SysTempDir(); }
  static std::string TagDir() { return SysTemp() + "QV_776655" + S; }
};

// Each opening gets a working copy of its own, named after the model under the version's tag and
// left empty by the test that it can be written. A name that is not one plain level, or a model
// whose paths would not fit the host's buffers, makes nothing anywhere and leaves no working copy
// to answer with.
TEST_F(Staging, EachOpeningGetsItsOwnWorkingCopyUnlessItCannotHaveOne) {
  const std::string escape = "miradel-escape", in = dir_.path(), sys = SysTemp(), prefix = TagDir() + "pump_";
  const std::pair<std::string, std::string> cases[] = {
      {in, ".."}, {in, "."}, {in, ".." + std::string(1, S) + escape}, {in, ".." + std::string(1, kOtherSep) + escape},
      {in, "sub" + std::string(1, S) + escape}, {in, "C:" + escape}, {in, std::string(260 - sys.size(), 'n')},
      {in + std::string(250 - in.size(), 'd') + S, "pumpmodel"}};
  std::set<std::string> temps;
  for (const auto& [dir, name] : cases) {
    ASSERT_EQ(Open(), 1);
    const std::string temp = QVTempDir();
    EXPECT_TRUE(temps.insert(temp).second) << temp;
    const std::string digits = temp.substr(std::min(prefix.size(), temp.size()), 4);
    EXPECT_EQ(temp, prefix + digits + S);
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << temp;
    EXPECT_EQ(DirectoryNames(temp), "") << "the write test leaves nothing behind";
    EXPECT_EQ(SetModelDir(dir, name), 0) << name;
    EXPECT_EQ(QVTempDir(), "") << name;
  }
  std::error_code ec;  // others' files come and go meanwhile
  for (const std::string& where : {fs::path(sys.substr(0, sys.size() - 1)).parent_path().string() + S, sys, TagDir()})
    for (fs::directory_iterator it(fs::path(where), ec), end; !ec && it != end; it.increment(ec)) {
      const std::string made = it->path().filename().string();
      EXPECT_NE(made.rfind(escape, 0), 0u) << "made " << it->path().string();
      EXPECT_NE(made.rfind("nnnn", 0), 0u) << "made " << it->path().string();
      if (made.rfind("nnnn", 0) == 0) fs::remove_all(it->path(), ec);  // else every later run fails too
    }
  // A name whose gone working copy left a record of unwritten changes is not drawn again: the
  // record would pass for the new copy's own.
  In().m_staging.SeedTempDirNames(7);
  const Path orphan = Path::FromText(prefix + In().m_staging.MakeTempDirSuffix().substr(1) + S);
  ASSERT_TRUE(RecordUnwritten(orphan, Path::FromText(in), "pump", {UnwrittenKind::kCopy, "pump.dat"}));
  In().m_staging.SeedTempDirNames(7);
  ASSERT_EQ(Open(), 1);
  EXPECT_NE(QVTempDir(), orphan.str());
  EXPECT_TRUE(HasUnwritten(orphan)) << "kept for 'miradel recover'";
  ClearUnwritten(orphan, "pump.dat");
  // The longest that fits still works, and NW_CmpModels knows it.
  const std::string fits = in + std::string(255 - in.size() - 4, 'f') + S;
  EXPECT_EQ(SetModelDir(fits, "pmp"), 1);
  EXPECT_EQ(CmpModels(fits, "PMP"), 1);
}

// The model comes with its companions and the TTA files its case list names (that a name leading
// out of the model directory counts as missing: tta_file_test); the missing ones are named in one
// box. A file that cannot be
// fetched asks Retry or Cancel. Read-only files of the model become writable in both directories.
TEST_F(Staging, TheModelComesWithItsCaseListFilesAndAFailedFetchAsksRetryOrCancel) {
  dir_.Write("pump.ttc", CaseList({{"run1.tti", "ramp"}, {"gone.tti", "cool"}}));
  for (const char* n : {"pump.dat", "valve.dat", "EQUIP.LIB", "run1.tti", "ramp.TTP", "run1.TSS"}) dir_.Write(n, n);
  for (const char* n : {"pump.dat", "valve.dat"}) ASSERT_TRUE(platform::System().SetReadOnly(dir_ / n, true).ok());
  int window = 77;
  NW_SetHwnd(&window);
  ASSERT_EQ(Open(), 1);
  env_.Fail(Op::kCopy, "pump.dat", ErrorKind::kSharingViolation, 2);
  ui_.QueueAnswers({ui::kIdOk, ui::kIdRetry, ui::kIdRetry});
  EXPECT_EQ(CopyAllToTemp(1), 1);
  EXPECT_EQ(DirectoryNames(QVTempDir()), "EQUIP.LIB pump.dat pump.ttc ramp.TTP run1.TSS run1.tti ");
  EXPECT_FALSE(ReadOnly(QVTempDir() + "pump.dat"));
  EXPECT_FALSE(ReadOnly(dir_ / "pump.dat"));
  EXPECT_TRUE(ReadOnly(dir_ / "valve.dat")) << "not a file of this model";
  const std::vector<ScriptedUi::Shown> boxes = ui_.shown();
  ASSERT_EQ(boxes.size(), 3u);
  auto head = [](const ScriptedUi::Shown& box, unsigned mask) {  // owner, caption and style
    return std::to_string(box.owner) + "|" + box.caption + "|" + std::to_string(box.style & mask);
  };
  EXPECT_EQ(boxes[0].text, "The TTA Profile File " + (dir_ / "cool.TTP") + "  Not Found \nThe TTA Input File " +
                               (dir_ / "gone.tti") + "  Not Found \n");
  EXPECT_EQ(head(boxes[0], ~0u), "77|TTA Files Missing|" + std::to_string(ui::kOk | ui::kIconExclamation));
  EXPECT_EQ(boxes[1].text, "Quorvane was not able to retrieve the file [pump.dat] associated with the model. \r\n Do "
                           "you want to retry retrieving the file or cancel opening the model?");
  EXPECT_EQ(head(boxes[1], ui::kButtonMask), "77|" + std::string(ui::kAppTitle) + "|" + std::to_string(ui::kRetryCancel));

  ASSERT_EQ(Open(), 1);
  env_.Fail(Op::kCopy, "pump.dat", ErrorKind::kSharingViolation);
  ui_.QueueAnswers({ui::kIdOk, ui::kIdCancel});
  EXPECT_EQ(CopyAllToTemp(1), -1);
  EXPECT_EQ(ui_.count(), 5u);
  EXPECT_EQ(DirectoryNames(QVTempDir()), "") << "neither the model's other files nor the companions";
}

// Without a working copy nothing is copied, not even into the current directory; without a file
// of the model nothing is copied into the working copy. Single files go both ways, but never out
// of their directories.
TEST_F(Staging, FilesGoOnlyBetweenTheModelDirectoryAndItsWorkingCopy) {
  for (const char* name : {"pump.dat", "valve.dat", "THIRD.DAT", "pump.xml", "EQUIP.LIB"}) dir_.Write(name, name);
  const std::string cwd = dir_ / "cwd" + S;  // left at the test's end: Windows removes no current directory
  fs::create_directory(fs::path(cwd));
  ASSERT_EQ(NW_SetWorkingdir(cwd.c_str()), 1);
  In().m_location.StoreDirAndName(Path::FromText(dir_.path()), "pump");
  EXPECT_EQ(CopyAllToTemp(0), 0);
  EXPECT_EQ(CopyToTemp("pump", "dat"), 0);
  EXPECT_EQ(DirectoryNames(cwd), "");
  WriteFile(cwd + "stray.txt", "not the model's");
  EXPECT_EQ(NW_CopyAllFromTemp(), 0);
  EXPECT_FALSE(dir_.Exists("stray.txt")) << "the current directory was copied into the model directory";
  ASSERT_EQ(Open("tank"), 1);
  EXPECT_EQ(CopyAllToTemp(0), 0);
  EXPECT_EQ(CopyAllToTemp(1), 0);
  EXPECT_EQ(DirectoryNames(QVTempDir()), "");

  ASSERT_EQ(Open(), 1);
  const std::string temp = QVTempDir();
  EXPECT_EQ(NW_SynchCpyToTemp(""), 0);
  EXPECT_EQ(NW_SynchCpyToTemp("dat"), 1) << "every .dat file, other models' too";
  EXPECT_EQ(DirectoryNames(temp), "THIRD.DAT pump.dat valve.dat ");
  EXPECT_EQ(CopyToTemp("pump  ", "xml"), 1);
  EXPECT_EQ(ReadFile(temp + "pump.xml"), "pump.xml");

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
  EXPECT_EQ(DirectoryNames(model) + "|" + DirectoryNames(QVTempDir()), "|") << "a file from outside came in";
  fs::remove(fs::path(TagDir() + "secret.key"));

  // A failed write-back is silent with flag 0 and names the file with flag 1.
  EXPECT_EQ(CopyToModel("pump   ", "xyz", 0), 0);
  EXPECT_EQ(ui_.count(), 0u);
  EXPECT_EQ(CopyToModel("pump   ", "xyz", 1), 0);
  ASSERT_EQ(ui_.count(), 1u);
  EXPECT_EQ(ui_.shown()[0].text, "Quorvane was not able to save the pump.xyz");
  WriteFile(QVTempDir() + "pump.xyz", "result");
  EXPECT_EQ(CopyToModel("pump   ", "xyz", 1), 1);
  EXPECT_EQ(ReadFile(model + "pump.xyz"), "result");
}

// After a switch the previous model's working copy goes, and nothing else: not what links in it
// lead to, not the open model's, and never anything outside the user's temporary path.
TEST_F(Staging, ClearingThePreviousWorkingCopyRemovesItAndNothingElse) {
  TempDir b;
  ASSERT_EQ(Open(), 1);
  const std::string tempA = QVTempDir();
  WriteFile(tempA + "pump.dat", "work");
  b.Write("precious.dat", "keep");
#ifndef _WIN32  // symbolic links need a privilege on Windows
  fs::create_directory_symlink(fs::path(b.path().substr(0, b.path().size() - 1)), fs::path(tempA + "linked"));
  fs::create_symlink(fs::path(b / "precious.dat"), fs::path(tempA + "linked.dat"));
#endif
  NW_SetModelVars();
  ASSERT_EQ(SetModelDir(b.path(), "valve"), 1);
  const std::string tempB = QVTempDir();
  WriteFile(tempB + "valve.dat", "B");
  NW_ClrQVTempDir();
  EXPECT_FALSE(Exists(tempA + "pump.dat")) << "the removal did not run";
  EXPECT_EQ(ReadFile(tempB + "valve.dat"), "B");
  EXPECT_EQ(DirectoryNames(b.path()), "precious.dat ");
  EXPECT_EQ(b.Read("precious.dat"), "keep");

  // As if the previous model had had this working copy.
  auto clearPrevious = [](const std::string& previous) {
    In().m_location.SetSavedWorkingCopy(Path::FromText(previous));
    NW_ClrQVTempDir();
  };
  const std::string sys = SysTemp();
  dir_.Write("canary.txt", "alive");
  ASSERT_EQ(NW_SetWorkingdir(dir_.path().c_str()), 1);
  clearPrevious("");  // would empty the working directory
  EXPECT_TRUE(dir_.Exists("canary.txt"));
  const std::string besideName = "miradel-canary-" + std::to_string(std::random_device{}());
  const std::string beside = fs::path(sys.substr(0, sys.size() - 1)).parent_path().string() + S + besideName + S;
  for (const std::string& previous : {sys + ".." + S + besideName + S, sys + "QV_1" + S + ".." + S + ".." + S + besideName,
                                      sys + ".." + kOtherSep + besideName + kOtherSep}) {
    fs::create_directory(fs::path(beside));
    WriteFile(beside + "canary.txt", "alive");
    clearPrevious(previous);
    EXPECT_TRUE(Exists(beside + "canary.txt")) << "removed through " << previous;
  }
  std::error_code ec;
  fs::remove_all(fs::path(beside), ec);

  // The root and the temporary path itself; listing and deleting are refused meanwhile, so that a
  // wrong removal fails the test instead of emptying the disk.
  for (Op op : {Op::kFind, Op::kDelete, Op::kRemoveDir}) env_.Fail(op, "", ErrorKind::kAccessDenied);
  const int finds = env_.Count(Op::kFind), deletes = env_.Count(Op::kDelete);
  for (const std::string& previous : {std::string(1, S), sys, sys.substr(0, sys.size() - 1)}) {
    clearPrevious(previous);
    EXPECT_EQ(env_.Count(Op::kFind) - finds + env_.Count(Op::kDelete) - deletes, 0) << previous;
  }
  env_.ClearFaults();
  EXPECT_TRUE(Exists(tempB)) << "the open model's working copy stays";
}

}  // namespace
}  // namespace miradel::test
