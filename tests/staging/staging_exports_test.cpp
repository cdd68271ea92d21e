// The model directory, its temporary working directory and the synchronous copies between them,
// through the exports as the host calls them.
#include <gtest/gtest.h>

#include <cctype>

#include "lock_manager/host_fixture.h"
#include "support/scripted_ui.h"
#include "ui/string_table.h"

namespace miradel::test {
namespace {

namespace fs = std::filesystem;
using platform::ErrorKind;
using platform::Op;

class Staging : public HostTest {
 protected:
  int Open(const std::string& name = "pump") { return SetModelDir(dir_.path(), name); }
  static int CopyAll(int mode) { return NW_CopyAllToTemp(&mode); }
  static bool ReadOnly(const std::string& path) {
    platform::FileInfo info;
    EXPECT_TRUE(platform::System().GetFileInfo(path, &info).ok()) << path;
    return info.read_only;
  }
  TempDir dir_;
  ScriptedUi ui_;
  ScopedUi scopedUi_{&ui_};
};

// The host gets its own form of the directory back, and every opening a fresh working directory.
TEST_F(Staging, ModelDirComesBackAsGivenAndEachOpeningGetsItsOwnTempDir) {
  const std::string given = std::string("C:") + S + "models";
  ASSERT_EQ(SetModelDir(given, "pump"), 1);
  EXPECT_EQ(ModelDir(), given);
  EXPECT_EQ(TheControl().m_modelDir.Get(), given + S);
  const std::string first = QVTempDir();
  ASSERT_EQ(SetModelDir(given + S, "pump"), 1);
  EXPECT_EQ(ModelDir(), given + S);
  const std::string second = QVTempDir();
  EXPECT_NE(first, second);

  const std::string prefix = TagDir() + "pump_";
  for (const std::string& temp : {first, second}) {
    ASSERT_EQ(temp.size(), prefix.size() + 5) << temp;
    EXPECT_EQ(temp.substr(0, prefix.size()), prefix);
    for (std::size_t i = prefix.size(); i < prefix.size() + 4; ++i)
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(temp[i]))) << temp;
    EXPECT_EQ(temp.back(), S);
    EXPECT_TRUE(fs::is_empty(fs::path(temp))) << "the write test leaves nothing behind";
  }
}

// A model name that is not one plain level makes nothing anywhere.
TEST_F(Staging, ModelNamesThatWouldLeaveTheTemporaryPathAreRefused) {
  const std::string sys = TheControl().m_strSysTempDir;
  const std::string parent = fs::path(sys.substr(0, sys.size() - 1)).parent_path().string() + S;
  const std::string escape = "miradel-escape";
  const char O = platform::kOtherSep;
  for (const std::string& name :
       {std::string(".."), std::string("."), ".." + std::string(1, S) + escape, ".." + std::string(1, O) + escape,
        std::string("..") + S + ".." + S + escape, std::string("..") + O + ".." + O + escape,
        "sub" + std::string(1, S) + escape, "C:" + escape})
    EXPECT_EQ(SetModelDir(dir_.path(), name), 0) << name;
  std::error_code ec;
  for (const std::string& where : {parent, sys, TagDir()})
    for (fs::directory_iterator it(fs::path(where), ec), end; !ec && it != end; it.increment(ec))
      EXPECT_NE(it->path().filename().string().rfind(escape, 0), 0u) << it->path().string();
}

// A directory without the model gives 0 and no companion files either.
TEST_F(Staging, WithoutAnyFileOfTheModelNothingIsCopied) {
  dir_.Write("valve.dat", "another model");
  dir_.Write("EQUIP.LIB", "companion");
  dir_.Write("input.gps", "companion");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(CopyAll(0), 0);
  EXPECT_EQ(CopyAll(1), 0);
  EXPECT_TRUE(fs::is_empty(fs::path(QVTempDir())));
  EXPECT_EQ(ui_.count(), 0u);
}

// A failed fetch asks Retry or Cancel; Retry fetches again, Cancel stops everything.
TEST_F(Staging, AFileThatCannotBeFetchedAsksRetryOrCancel) {
  dir_.Write("pump.dat", "data");
  dir_.Write("pump.xml", "<model/>");
  dir_.Write("EQUIP.LIB", "companion");
  int window = 4242;
  NW_SetHwnd(&window);
  ASSERT_EQ(Open(), 1);
  const std::string temp = QVTempDir();
  const std::string question = ui::FormatString(
      std::string("Quorvane was not able to retrieve the file [%1] associated with the model. \r\n Do you want to "
                  "retry retrieving the file or cancel opening the model?"),
      {"pump.dat"});

  // Retry copies the same file again, as often as asked.
  env_.Fail(Op::kCopy, "pump.dat", ErrorKind::kSharingViolation, 2);
  ui_.QueueAnswers({ui::kIdRetry, ui::kIdRetry});
  EXPECT_EQ(CopyAll(1), 1);
  ASSERT_EQ(ui_.count(), 2u);
  const ScriptedUi::Shown box = ui_.shown()[0];
  EXPECT_EQ(box.text, question);
  EXPECT_EQ(box.caption, ui::kAppTitle);
  EXPECT_EQ(box.style & ui::kButtonMask, ui::kRetryCancel);
  EXPECT_EQ(box.owner, 4242);
  EXPECT_EQ(ReadFile(temp + "pump.dat"), "data");
  EXPECT_TRUE(Exists(temp + "pump.xml"));
  EXPECT_TRUE(Exists(temp + "EQUIP.LIB"));

  // Cancel ends the whole copy at once.
  ASSERT_EQ(Open(), 1);
  const std::string fresh = QVTempDir();
  env_.Fail(Op::kCopy, "pump.dat", ErrorKind::kSharingViolation);
  ui_.QueueAnswer(ui::kIdCancel);
  EXPECT_EQ(CopyAll(1), -1);
  EXPECT_EQ(ui_.count(), 3u);
  EXPECT_TRUE(fs::is_empty(fs::path(fresh))) << "neither the model's other files nor the companions";
}

// The model's read-only files become writable in both directories, other files stay.
TEST_F(Staging, ReadOnlyModelFilesBecomeWritableInBothDirectories) {
  dir_.Write("pump.dat", "data");
  dir_.Write("valve.dat", "another model");
  ASSERT_TRUE(platform::System().SetReadOnly(dir_ / "pump.dat", true).ok());
  ASSERT_TRUE(platform::System().SetReadOnly(dir_ / "valve.dat", true).ok());
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(CopyAll(0), 1);
  EXPECT_FALSE(ReadOnly(QVTempDir() + "pump.dat"));
  EXPECT_FALSE(ReadOnly(dir_ / "pump.dat"));
  EXPECT_TRUE(ReadOnly(dir_ / "valve.dat")) << "not a file of this model";
}

// Fetching by extension takes other models' files of that extension too.
TEST_F(Staging, CopyByExtensionTakesEveryFileOfThatExtension) {
  for (const char* name : {"pump.dat", "valve.dat", "THIRD.DAT", "pump.xml"}) dir_.Write(name, name);
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(NW_SynchCpyToTemp(""), 0);
  EXPECT_EQ(NW_SynchCpyToTemp("dat"), 1);
  const std::string temp = QVTempDir();
  EXPECT_EQ(ReadFile(temp + "valve.dat"), "valve.dat");
  EXPECT_TRUE(Exists(temp + "pump.dat"));
  EXPECT_TRUE(Exists(temp + "THIRD.DAT"));
  EXPECT_FALSE(Exists(temp + "pump.xml"));
}

// A failed single write-back is silent with flag 0 and names the file with flag 1.
TEST_F(Staging, SavingOneFileFailsSilentlyOrSaysSo) {
  ASSERT_EQ(Open(), 1);
  const std::string name = "pump   ";  // padded by the host
  int length = static_cast<int>(name.size()), silent = 0, tell = 1;
  EXPECT_EQ(NW_SynchCpyToModel(name.data(), &length, "xyz", &silent), 0);
  EXPECT_EQ(ui_.count(), 0u);
  EXPECT_EQ(NW_SynchCpyToModel(name.data(), &length, "xyz", &tell), 0);
  ASSERT_EQ(ui_.count(), 1u);
  EXPECT_EQ(ui_.shown()[0].text, ui::FormatString(std::string("Quorvane was not able to save the %1"), {"pump.xyz"}));
  EXPECT_EQ(ui_.shown()[0].style & ui::kButtonMask, ui::kOk);

  WriteFile(QVTempDir() + "pump.xyz", "result");
  EXPECT_EQ(NW_SynchCpyToModel(name.data(), &length, "xyz", &tell), 1);
  EXPECT_EQ(dir_.Read("pump.xyz"), "result");
  EXPECT_EQ(ui_.count(), 1u);
}

}  // namespace
}  // namespace miradel::test
