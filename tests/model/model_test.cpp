// The model folder through the exports as the host calls them: opening, working on, writing back
// and closing models, and switching from one model to another; which files of a directory belong to
// a model, and the existence tests the host asks; the model directory, its working copy and the
// synchronous copies between them, and the removal of working copies; the record of changes never
// written back, and `miradel recover` that writes them back.
#include <algorithm>
#include <cctype>
#include <ctime>

#include "model/model_file_set.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

namespace fs = std::filesystem;
using platform::ErrorKind;

class ModelCycle : public HostTest {
 protected:
  // Neither its lock file nor a hold on its data file is left (model: directory and name).
  static bool Free(const std::string& model) { return !Exists(model + ".lck") && CanWrite(model + ".dat"); }
  TempDir b_;
};

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
TEST_F(ModelCycle, GoingBackWithoutANewWorkingCopyKeepsTheOpenOnesAndAClosedModelIsFree) {
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
      {"not set up yet", [&] { EXPECT_EQ(GetLock(b_.path(), "valve", &owner), 1); }, 0}};
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

  // Open, work, write back and close.
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
using ExistenceExports = HostTest;

TEST_F(ExistenceExports, ModelFilesAreSelectedByNameAndSuffixShapeKeepingListingOrderAndFoundWhereTheHostSays) {
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

  // NW_CheckModelExist joins directory, name and extension; NW_FileExistMdlTmp looks in the model
  // directory (0) or the working copy (1); NW_IsThisModelDir compares with the host program's
  // directory. Blanks after a text and the letter case do not count.
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
TEST_F(Staging, FilesGoOnlyBetweenTheModelDirectoryAndItsWorkingCopyAndOnlyThePreviousOneIsCleared) {
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
  EXPECT_EQ(ui_.Count("Quorvane was not able to save the pump.xyz"), 1);
  WriteFile(QVTempDir() + "pump.xyz", "result");
  EXPECT_EQ(CopyToModel("pump   ", "xyz", 1), 1);
  EXPECT_EQ(ReadFile(model + "pump.xyz"), "result");

  // After a switch the previous model's working copy goes, and nothing else: not what links in it
  // lead to, not the open model's, and never anything outside the user's temporary path.
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

using K = UnwrittenKind;
Path P(const std::string& text) { return Path::FromText(text); }

// dir_ stands for the temporary path.
class Unwritten : public HostTest {
 protected:
  // A working copy under the temporary path as staging makes it, empty.
  std::string WorkingCopy(const std::string& name) {
    const std::string tag = dir_ / "QV_776655", wc = tag + S + name + S;
    for (const std::string& d : {tag, wc}) EXPECT_TRUE(platform::System().CreateDirectory(d).ok() || Exists(d));
    return wc;
  }
};

// Entries are one per name ignoring case, the later replacing the earlier; cleared ones go and the
// last takes the record with it. The record stays beside the working copy, never in it, and keeps
// the time of its first entry.
TEST_F(Unwritten, RecordsAreWrittenBesideTheWorkingCopyAndTornJunkAndForgedOnesReadWithoutHarm) {
  const std::string wc = WorkingCopy("pump_0001"), record = UnwrittenRecordPath(P(wc));
  EXPECT_EQ(record, dir_ / "QV_776655" + S + "pump_0001.unwritten");
  const std::pair<std::string, std::string> steps[] = {
      {"copy pump.dat", "copy pump.dat"}, {"copy PUMP.DAT", "copy PUMP.DAT"},
      {"delete old.bak", "copy PUMP.DAT delete old.bak"}, {"copy Old.bak", "copy PUMP.DAT copy Old.bak"},
      {"clear pump.dat", "copy Old.bak"}, {"clear absent.dat", "copy Old.bak"}, {"clear old.BAK", ""}};
  const std::int64_t start = std::time(nullptr);
  std::int64_t since = 0;
  for (const auto& [step, after] : steps) {
    const std::string verb = step.substr(0, step.find(' ')), file = step.substr(verb.size() + 1);
    if (verb == "clear") ClearUnwritten(P(wc), file);
    else EXPECT_TRUE(RecordUnwritten(P(wc), P(dir_ / "models"), "pump", {verb == "copy" ? K::kCopy : K::kDelete, file}));
    UnwrittenRecord r;
    const bool there = !after.empty();
    ASSERT_EQ(ReadUnwrittenRecord(record, &r), there) << step;
    EXPECT_EQ(HasUnwritten(P(wc)), there);
    EXPECT_EQ(DirectoryNames(dir_ / "QV_776655"), there ? "pump_0001 pump_0001.unwritten " : "pump_0001 ");
    EXPECT_EQ(DirectoryNames(wc), "");
    if (!there) continue;
    EXPECT_EQ(Listed(r), after);
    EXPECT_EQ(r.working_copy + r.model_dir + r.model_name, wc + dir_ / "models" + S + "pump");
    EXPECT_GE(r.since, start);
    EXPECT_EQ(r.since, since ? since : (since = r.since));
  }

  // Names that are not one plain level, texts a line cannot hold, and a record that cannot be
  // written are refused and leave nothing.
  const std::string up = std::string("..") + S + "x";
  const std::pair<std::string, std::string> refused[] = {
      {"pump", up}, {"pump", "a" + std::string(1, kOtherSep) + "b"}, {"pump", ".."}, {"pump", ""},
      {"pump", "a\nb"}, {"..", "x"}, {"p\r", "x"}};
  for (const auto& [model, file] : refused)
    EXPECT_FALSE(RecordUnwritten(P(wc), P(dir_.path()), model, {K::kCopy, file})) << file;
  EXPECT_FALSE(RecordUnwritten(P(""), P(dir_.path()), "pump", {K::kCopy, "x"}));
  env_.Fail(Op::kOpen, ".unwritten", platform::ErrorKind::kAccessDenied);
  EXPECT_FALSE(RecordUnwritten(P(wc), P(dir_.path()), "pump", {K::kCopy, "pump.dat"}));
  env_.ClearFaults();
  EXPECT_FALSE(HasUnwritten(P(wc)));
  EXPECT_EQ(DirectoryNames(dir_ / "QV_776655"), "pump_0001 ");

  // Whatever lies in the record or its ".tmp" (a crash mid-write, junk, a forgery) is read without
  // harm: a whole ".tmp" wins, a torn one falls back to the record, names that would lead out are
  // skipped, and what cannot be read keeps its working copy.
  const std::string absent = "\x01";
  UnwrittenRecord forged{"", dir_.path(), "pump", 42, {{K::kCopy, "pump.dat"}}};
  const std::string v1 = UnwrittenRecordText(forged);
  forged.entries = {{K::kDelete, "pump.dat"}, {K::kCopy, ".."}, {K::kCopy, ".." + std::string(1, S) + "x"},
                    {K::kCopy, "a" + std::string(1, kOtherSep) + "b"}, {K::kCopy, "C:x"}, {K::kCopy, "b.dat"}};
  const std::string v2 = UnwrittenRecordText(forged);
  std::string flipped = v1, unknown = v1;
  flipped[25] ^= 1;
  unknown.insert(unknown.find("since"), "owner x\n");
  // want: the entries read; "?" none, and the working copy is kept; "" none and nothing to keep.
  struct Case { std::string main, tmp, want; };
  const Case cases[] = {
      {v1, absent, "copy pump.dat"}, {v1, v2, "delete pump.dat copy b.dat"},
      {v1, v2.substr(0, v2.size() - 3), "copy pump.dat"}, {v1.substr(0, 40), v2, "delete pump.dat copy b.dat"},
      {v1.substr(0, v1.size() - 1), absent, "?"}, {absent, v1.substr(0, 30), "?"}, {flipped, absent, "?"},
      {unknown, absent, "?"}, {std::string("\0\xff\n\nend 00000000\n", 17), absent, "?"},
      {std::string((1 << 20) + 1, 'x'), absent, "?"},
      {UnwrittenRecordText({"", dir_.path(), "..", 42, {{K::kCopy, "x"}}}), absent, "?"},
      {UnwrittenRecordText({"", "", "pump", 42, {{K::kCopy, "x"}}}), absent, "?"},
      {v1, UnwrittenRecordText({"", dir_.path(), "pump", 42, {}}), ""}, {absent, absent, ""}};
  for (const Case& c : cases) {
    for (const auto& [file, text] : {std::pair(record, c.main), std::pair(record + ".tmp", c.tmp)})
      if (text == absent) std::filesystem::remove(file);
      else WriteFile(file, text);
    UnwrittenRecord r;
    const std::string& w = c.want;
    EXPECT_EQ(ReadUnwrittenRecord(record, &r) ? Listed(r) + "|" + r.working_copy : w, w.size() > 1 ? w + "|" + wc : w)
        << c.main.substr(0, 40) << " / " << c.tmp.substr(0, 40);
    EXPECT_EQ(HasUnwritten(P(wc)), !w.empty()) << c.main.substr(0, 40) << " / " << c.tmp.substr(0, 40);
  }

  // A ".tmp" whose store could not finish is never overwritten before the record holds it.
  WriteFile(record, v1);
  WriteFile(record + ".tmp", v2);
  env_.Fail(Op::kWrite, "", platform::ErrorKind::kOther, 1);
  EXPECT_FALSE(RecordUnwritten(P(wc), P(dir_.path()), "pump", {K::kCopy, "c.dat"}));
  EXPECT_TRUE(RecordUnwritten(P(wc), P(dir_.path()), "pump", {K::kCopy, "d.dat"}));
  UnwrittenRecord r;
  EXPECT_TRUE(ReadUnwrittenRecord(record, &r));
  EXPECT_EQ(Listed(r), "delete pump.dat copy b.dat copy d.dat");
  EXPECT_EQ(DirectoryNames(dir_ / "QV_776655"), "pump_0001 pump_0001.unwritten ");
}

// Records are found in the temporary path's version folders, in working copy order, each with its
// journal of write-backs on their way (whose later entries win, and whose last line cut short is not
// read), or a journal alone; unreadable ones are named. The kept working copy is reported in one line.
TEST_F(Unwritten, RecordsAreFoundUnderTheTemporaryPathAndAKeptWorkingCopyIsReported) {
  const std::string b = WorkingCopy("valve_0003"), a = WorkingCopy("pump_0004"), c = WorkingCopy("dam_0005");
  ASSERT_TRUE(RecordUnwritten(P(b), P(dir_ / "m"), "valve", {K::kCopy, "valve.dat"}));
  ASSERT_TRUE(RecordUnwritten(P(a), P(dir_ / "m"), "pump", {K::kDelete, "pump.bak"}));
  ASSERT_TRUE(RecordUnwritten(P(a), P(dir_ / "m"), "pump", {K::kCopy, "pump.dat"}));
  ASSERT_TRUE(RecordUnwritten(P(c), P(dir_ / "m"), "dam", {K::kCopy, "dam.dat"}));
  ClearUnwritten(P(c), "dam.dat");
  const std::string journal = std::string(kPendingHeader) + "\nmodel-dir " + dir_ / "m";
  WriteFile(PendingJournalPath(P(a)), journal + "\nmodel pump\ndelete pump.dat\n");
  WriteFile(PendingJournalPath(P(c)), journal + "2\nmodel dam\ncopy dam.out\ncopy dam.o");
  WriteFile(dir_ / "junk.unwritten", "junk");
  std::vector<std::string> unreadable;
  const std::vector<UnwrittenRecord> found = FindUnwrittenRecords(P(dir_.path()), &unreadable);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].working_copy + found[1].working_copy + found[2].working_copy, c + a + b);
  EXPECT_EQ(Listed(found[0]) + "|" + found[0].model_dir + "|" + Listed(found[1]),
            "copy dam.out|" + dir_ / "m2" + S + "|delete pump.bak delete pump.dat");
  EXPECT_EQ(unreadable, std::vector<std::string>{dir_ / "junk.unwritten"});
#ifndef _WIN32
  testing::internal::CaptureStderr();
  ReportKeptWorkingCopy(found[1]);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "miradel: working copy " + a + " of model pump is kept: it holds 2 file(s) not written back to " +
                dir_ / "m" + S + " (see 'miradel recover')\n");
#endif
}

// recover lists what waits, refuses a model another user holds, saves copies elsewhere leaving the
// record, never overwrites a newer model file, and writes back and clears under the lock.
TEST_F(Unwritten, RecoverWritesBackUnderTheLockOrSavesElsewhere) {
  ModelFolder models;
  TempDir out;
  const std::string wc = WorkingCopy("pump_0006"), model = models / "pump.dat", gone = models.Write("gone.bak", "g");
  WriteFile(wc + "pump.dat", "new");
  WriteFile(model, "old");
  for (const std::string& f : {wc + "pump.dat", gone}) Age(f, 4);
  Age(model, 5);
  const UnwrittenRecord r{"", models.path(), "pump", std::time(nullptr) - (3 * 3600 + 12 * 60 + 5),
                          {{K::kCopy, "pump.dat"}, {K::kDelete, "gone.bak"}}};
  WriteFile(UnwrittenRecordPath(P(wc)), UnwrittenRecordText(r));
  // What `miradel recover ARGS --temp temp` says; its exit status must be want.
  const auto run = [&](std::vector<std::string> args, int want) {
    args.insert(args.begin(), "recover");
    args.insert(args.end(), {"--temp", dir_.path()});
    const std::string out = Miradel(args);
    EXPECT_EQ(out.substr(out.rfind("\nexit ") + 1), "exit " + std::to_string(want)) << out;
    return out;
  };
  EXPECT_NE(run({}, 1).find("Since:        3 h 12 min ago\nFiles:\n  pump.dat\n  gone.bak (delete)\n"),
            std::string::npos);

  auto holder = StartHolder(models.path(), "pump", "alice", "PC-ALICE");
  ASSERT_TRUE(holder);
  EXPECT_NE(run({"--write"}, 1).find("refused: pump is locked by alice on PC-ALICE"), std::string::npos);
  holder->CloseInput();
  EXPECT_EQ(holder->Wait(), 0);
  EXPECT_EQ(ReadFile(model), "old");

  EXPECT_NE(run({"--to", out.path()}, 0).find("the record stays"), std::string::npos);
  EXPECT_EQ(out.Read("pump_0006" + std::string(1, S) + "pump.dat"), "new");
  EXPECT_TRUE(HasUnwritten(P(wc)));

  Age(model, -1);
  EXPECT_NE(run({"--write"}, 1).find("pump.dat: not written: the model directory holds a newer one"),
            std::string::npos);
  EXPECT_EQ(ReadFile(model), "old");
  EXPECT_EQ(DirectoryNames(models.path()), "pump.dat ");
  Age(model, 5);
#ifndef _WIN32
  // A write cut short (here by a file size limit, half-way) leaves the model's file whole.
  WriteFile(wc + "pump.dat", std::string(3 << 20, 'N'));
  Age(wc + "pump.dat", 4);
  auto cut = hostkit::ChildProcess::Start("/bin/sh", {"-c", "ulimit -f 1024; exec \"$0\" recover --write --temp \"$1\"",
                                                      hostkit::SiblingProgram("miradel"), dir_.path()});
  ASSERT_TRUE(cut);
  EXPECT_NE(cut->Wait(), 0);
  EXPECT_TRUE(ReadFile(model) == "old") << "the model's file was torn";
  WriteFile(wc + "pump.dat", "new");
  Age(wc + "pump.dat", 4);
#endif
  // What the journal names joins the record under the lock.
  WriteFile(wc + "pump.out", "out");
  WriteFile(PendingJournalPath(P(wc)), std::string(kPendingHeader) + "\nmodel-dir " + models.path() + "\nmodel pump\ncopy pump.out\n");
  run({"--write"}, 0);
  EXPECT_EQ(ReadFile(model), "new");
  EXPECT_EQ(DirectoryNames(models.path()), "pump.dat pump.out ");
  EXPECT_FALSE(HasUnwritten(P(wc)));
  EXPECT_EQ(run({}, 0).find("no working copy"), 0u);
}

}  // namespace
}  // namespace miradel::test
