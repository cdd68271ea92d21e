// The files a model names beside its own, through the exports, on files: force spectra, the
// host's file list with fatigue curves and TIH lists, the TTA inputs and their companions. Every
// kind of list also names a file beside the model folder through "..": it must never arrive.

#include "companion/name_lists.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

// Padded to a column width.
std::string Pad(const std::string& text, std::size_t width) { return text + std::string(width - text.size(), ' '); }
// A force spectrum file naming the spectra, one record each (an empty name: a record without one).
std::string FsFile(const std::vector<std::string>& spectra) {
  std::string out = "FORCE SPECTRA\r\n    1    2    3    4    5\r\n";
  for (const std::string& s : spectra) out += Pad("R1", 10) + Pad(s, 10) + Pad("1.5", 10) + "2.5\r\n";
  return out;
}
// A TIH list: its count line, then each name in columns 11-18 of a line longer than 18.
std::string TihList(const std::string& count, const std::vector<std::string>& names) {
  std::string out = "TIH LIST\n" + count + "\n";
  for (const std::string& n : names) out += Pad("", 10) + Pad(n, 8) + " 1\n";
  return out;
}

class Companion : public HostTest {
 protected:
  // pump opened from a folder inside dir_, so that dir_ itself is "beside the model".
  void SetUp() override {
    HostTest::SetUp();
    model_ = dir_.path() + "model" + S;
    std::filesystem::create_directory(model_);
    for (const char* name : {"evil.spc", "evil.tih", "evil.fat", "evil.tti"}) dir_.Write(name, "x");
    for (const char* name : {"pump.dat", "pump.prv"}) WriteFile(model_ + name, "d");
    work_ = Open(model_, "pump");
  }
  std::string Names() { return DirectoryNames(work_); }
  std::string model_, work_;
  const std::string kOut = std::string("..") + S + "evil";
};

TEST_F(Companion, SpectraAreFetchedThroughTheirFsFilesAndTheMissingOnesShownOnceInLinesOfEighty) {
  WriteFile(model_ + "pump.fs1", FsFile({"A", "B", "A", ""}));
  WriteFile(model_ + "pump.fs3", FsFile({"B", "C", kOut}));
  WriteFile(model_ + "pump.f10", FsFile({"D"}));
  for (const char* name : {"A.spc", "C.spc", "D.spc"}) WriteFile(model_ + name, name);
  const std::string table = "Following Spectrum files are missing in FS files \r\n    F1       |  B.spc "
                            "\r\n    F3       |  B.spc  " + kOut + ".spc ";
  EXPECT_EQ(CpyspcFilesFS({1, 0, 1}, 0), 1);
  EXPECT_EQ(ui_.count(), 0u);
  EXPECT_EQ(Names(), "A.spc C.spc pump.dat pump.fs1 pump.fs3 ");
  EXPECT_EQ(CpyspcFilesFS({1, 1, 1}, 1), 0);
  EXPECT_EQ(CpyspcFilesFS({0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 1), 1);
  EXPECT_EQ(CpyspcFilesFS({0, 1}, 1), 0);
  EXPECT_EQ(CpyspcFilesFS({0, 0}, 1), 1);
  const auto shown = ui_.shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "Following Force Spectrum files are missing or unable to be retrieved \r\n[ pump.fs2 ] \r\n" + table);
  EXPECT_EQ(shown[0].caption, "Force Spectrum Files Missing ");
  EXPECT_EQ(shown[1].text, "Following Force Spectrum files are missing or unable to be retrieved \r\n[ pump.fs2 ] ");
  EXPECT_EQ(Names(), "A.spc C.spc D.spc pump.dat pump.f10 pump.fs1 pump.fs3 ");

  // Under a new name elsewhere: those present, however many are asked for.
  TempDir other;
  EXPECT_EQ(CopyFSToNewDir(other.path(), "pump2  ", 12), 1);
  EXPECT_EQ(DirectoryNames(other.path()), "pump2.f10 pump2.fs1 pump2.fs3 ");
  EXPECT_EQ(CopyFSToNewDir(other.path(), kOut, 3), 0);

  // Lines break before an item that would pass 80 characters: the file list's items start the next
  // line, the table's continue under the first name of the row.
  const std::string name(16, 'n');  // "[ " name " ] " is 21 characters, " " name " " 18
  std::string text;
  FormatMissingFileList("H\r\n", text, std::vector<std::string>(4, name));
  const std::string item = "[ " + name + " ] ";
  EXPECT_EQ(text, "H\r\n" + item + item + item + "\r\n" + item);
  FormatMissingSpectrumTable("T", text, {std::vector<std::string>(4, name), {}, {name}}, 3);
  const std::string cell = " " + name + " ";
  EXPECT_EQ(text, "T\r\n    F1       | " + cell + cell + cell + "\r\n               | " + cell +
                      "\r\n    F3       | " + cell);
}

// The host's file list is kept as it gave it. Fatigue curves come from the model folder, else from
// the program's; asked (No gives -1) only when copying and told to ask.
TEST_F(Companion, TheFileListIsKeptAsTheHostGaveItAndFatigueCurvesComeFromTheModelOrTheProgramFolder) {
  FilesListAppend("");
  FilesListAppend("   ", "fat");
  FilesListAppend("curve1 \t", "FAT");
  FilesListAppend("notes.txt");
  EXPECT_EQ(StrExistinList("CURVE1.fat"), 1);
  EXPECT_EQ(StrExistinList("notes.txt "), 0);
  EXPECT_EQ(StrExistinList("curve1"), 0);
  EXPECT_EQ(FileListCopy(1, 1), 0);  // nothing of it is there yet
  WriteFile(work_ + "notes.txt", "mine");
  EXPECT_EQ(FileListCopy(0, 0), 0);
  EXPECT_EQ(ReadFile(model_ + "notes.txt"), "mine");
  NW_FilesListInit();
  EXPECT_EQ(FileListCopy(1, 1), 1);
  EXPECT_EQ(StrExistinList("notes.txt"), 0);

  TempDir program;
  env_.SetExecutablePath(program.path() + "quorvane.exe");
  WriteFile(model_ + "a.fat", "a");
  program.Write("b.fat", "b");
  for (const char* name : {"a.fat", "b.fat", "a.fat"}) FilesListAppend(name);
  EXPECT_EQ(FatFilesOper(1, 1), 1);
  EXPECT_EQ(ReadFile(work_ + "b.fat"), "b");
  for (const std::string& name : {std::string("c.fat"), kOut + ".fat"}) FilesListAppend(name);
  EXPECT_EQ(FatFilesOper(0, 1), 0);
  EXPECT_EQ(FatFilesOper(1, 0), 0);
  EXPECT_EQ(ui_.count(), 0u);
  ui_.QueueAnswers({ui::kIdNo, ui::kIdYes});
  EXPECT_EQ(FatFilesOper(1, 1), -1);
  EXPECT_EQ(FatFilesOper(1, 1), 0);
  ASSERT_EQ(ui_.count(), 2u);
  EXPECT_EQ(ui_.shown()[0].text,
            "Following Fatigue Curve files (*.FAT) are missing or unable to be retrieved \r\n[ c.fat ] [ " + kOut +
                ".fat ] \r\n Do you want to continue opening the model ?");
  EXPECT_EQ(ui_.shown()[0].caption, "Fatigue Curve Files Missing ");
  EXPECT_FALSE(test::Exists(work_ + "evil.fat"));
}

TEST_F(Companion, TihListsNameTheTihFilesAndTtaCaseListsTheirInputsAndProfiles) {
  for (const char* name : {"T1.tih", "T2.tih", "T3.tih"}) WriteFile(model_ + name, name);
  auto list = [&](const std::string& name, const std::string& content) {
    WriteFile(model_ + name, content);
    return model_ + name;
  };
  const std::string lists[] = {
      list("a.thl", TihList(" 2 ", {"T1", "T2"}) + "short line\n" + TihList("", {"T9"})),
      list("b.thl", TihList("0", {"T9"})),
      list("c.thl", TihList("x", {"T9"})),
      list("d.thl", TihList("1", {"T1", "T3"}))};
  for (const std::string& list : lists) FilesListAppend(list);
  EXPECT_EQ(NW_CpyTihFilesThl(), 1);
  EXPECT_EQ(Names(), "T1.tih T2.tih T3.tih pump.dat ");
  WriteFile(model_ + "e.thl", TihList("1", {"T4", kOut}));
  FilesListAppend(model_ + "e.thl");
  EXPECT_EQ(NW_CpyTihFilesThl(), 0);
  EXPECT_FALSE(test::Exists(work_ + "evil.tih"));
  for (const std::string& list : lists) EXPECT_EQ(StrExistinList(list), 1);
  EXPECT_EQ(StrExistinList("T1.tih"), 0);

  // The ".ttc" before the ".ttl"; inputs in either case with their four companions; what is missing
  // in one box; only a counted copy that fails gives 0.
  WriteFile(model_ + "pump.ttc",
            CaseList({{"in1.tti", "P1"}, {"IN2.TTI", "P2"}, {"gone.tti", ""}, {kOut + ".tti", ""}, {"x.i", ""}}));
  // A short name's companions are never looked for beside the model folder.
  WriteFile(model_.substr(0, model_.size() - 1) + ".tsm", "beside");
  WriteFile(model_ + "pump.ttl", CaseList({{"other.tti", ""}}));
  for (const char* name : {"pump.tpp", "pump.LOG", "in1.tti", "in1.tsm", "in1.tss", "IN2.TTI", "IN2.tdl", "P1.TTP",
                           "other.tti", "x.i"}) WriteFile(model_ + name, name);
  EXPECT_EQ(CopyTTAFiles(0), 1);
  EXPECT_EQ(Names(), "T1.tih T2.tih T3.tih pump.dat ");
  EXPECT_EQ(CopyTTAFiles(), 1);
  EXPECT_EQ(Names(), "IN2.TTI IN2.tdl P1.TTP T1.tih T2.tih T3.tih in1.tsm in1.tss in1.tti pump.LOG pump.TPP pump.TTC "
                     "pump.dat x.i ");
  ASSERT_EQ(ui_.count(), 1u);
  EXPECT_EQ(ui_.shown()[0].caption, "TTA Files Missing");
  for (const std::string name : {"P2.TTP", "gone.tti", "evil.tti"})
    EXPECT_NE(ui_.shown()[0].text.find(name), std::string::npos) << name;
  env_.Fail(Op::kCopy, "IN2.TTI", platform::ErrorKind::kAccessDenied);
  EXPECT_EQ(CopyTTAFiles(), 0);
  env_.ClearFaults();
  env_.Fail(Op::kCopy, "P1.TTP", platform::ErrorKind::kAccessDenied);
  EXPECT_EQ(CopyTTAFiles(), 1);
}

}  // namespace
}  // namespace miradel::test
