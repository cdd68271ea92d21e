// The record of changes never written back, and `miradel recover` that writes them back.
#include "model/unwritten_changes.h"

#include <ctime>
#include <filesystem>

#include "support/child.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

using K = UnwrittenKind;
Path P(const std::string& text) { return Path::FromText(text); }

class Unwritten : public ::testing::Test {
 protected:
  // A working copy under the temporary path as staging makes it, empty.
  std::string WorkingCopy(const std::string& name) {
    const std::string tag = temp_ / "QV_776655", wc = tag + S + name + S;
    for (const std::string& d : {tag, wc}) EXPECT_TRUE(platform::System().CreateDirectory(d).ok() || Exists(d));
    return wc;
  }
  FaultEnv env_{&platform::System()};
  platform::ScopedEnv scoped_{&env_};
  TempDir temp_;
};

// Entries are one per name ignoring case, the later replacing the earlier; cleared ones go and the
// last takes the record with it. The record stays beside the working copy, never in it, and keeps
// the time of its first entry.
TEST_F(Unwritten, RecordsClearsAndReplacesEntriesBesideTheWorkingCopy) {
  const std::string wc = WorkingCopy("pump_0001"), record = UnwrittenRecordPath(P(wc));
  EXPECT_EQ(record, temp_ / "QV_776655" + S + "pump_0001.unwritten");
  const std::pair<std::string, std::string> steps[] = {
      {"copy pump.dat", "copy pump.dat"}, {"copy PUMP.DAT", "copy PUMP.DAT"},
      {"delete old.bak", "copy PUMP.DAT delete old.bak"}, {"copy Old.bak", "copy PUMP.DAT copy Old.bak"},
      {"clear pump.dat", "copy Old.bak"}, {"clear absent.dat", "copy Old.bak"}, {"clear old.BAK", ""}};
  const std::int64_t start = std::time(nullptr);
  std::int64_t since = 0;
  for (const auto& [step, after] : steps) {
    const std::string verb = step.substr(0, step.find(' ')), file = step.substr(verb.size() + 1);
    if (verb == "clear")
      ClearUnwritten(P(wc), file);
    else
      EXPECT_TRUE(RecordUnwritten(P(wc), P(temp_ / "models"), "pump", {verb == "copy" ? K::kCopy : K::kDelete, file}));
    UnwrittenRecord r;
    const bool there = !after.empty();
    ASSERT_EQ(ReadUnwrittenRecord(record, &r), there) << step;
    EXPECT_EQ(HasUnwritten(P(wc)), there);
    EXPECT_EQ(DirectoryNames(temp_ / "QV_776655"), there ? "pump_0001 pump_0001.unwritten " : "pump_0001 ");
    EXPECT_EQ(DirectoryNames(wc), "");
    if (!there) continue;
    EXPECT_EQ(Listed(r), after);
    EXPECT_EQ(r.working_copy + r.model_dir + r.model_name, wc + temp_ / "models" + S + "pump");
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
    EXPECT_FALSE(RecordUnwritten(P(wc), P(temp_.path()), model, {K::kCopy, file})) << file;
  EXPECT_FALSE(RecordUnwritten(P(""), P(temp_.path()), "pump", {K::kCopy, "x"}));
  env_.Fail(Op::kOpen, ".unwritten", platform::ErrorKind::kAccessDenied);
  EXPECT_FALSE(RecordUnwritten(P(wc), P(temp_.path()), "pump", {K::kCopy, "pump.dat"}));
  env_.ClearFaults();
  EXPECT_FALSE(HasUnwritten(P(wc)));
  EXPECT_EQ(DirectoryNames(temp_ / "QV_776655"), "pump_0001 ");
}

// Whatever lies in the record or its ".tmp" (a crash mid-write, junk, a forgery) is read without
// harm: a whole ".tmp" wins, a torn one falls back to the record, names that would lead out are
// skipped, and what cannot be read keeps its working copy.
TEST_F(Unwritten, TornJunkAndForgedRecordsAreReadWithoutHarm) {
  const std::string wc = WorkingCopy("pump_0002"), record = UnwrittenRecordPath(P(wc)), absent = "\x01";
  UnwrittenRecord forged{"", temp_.path(), "pump", 42, {{K::kCopy, "pump.dat"}}};
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
      {UnwrittenRecordText({"", temp_.path(), "..", 42, {{K::kCopy, "x"}}}), absent, "?"},
      {UnwrittenRecordText({"", "", "pump", 42, {{K::kCopy, "x"}}}), absent, "?"},
      {v1, UnwrittenRecordText({"", temp_.path(), "pump", 42, {}}), ""}, {absent, absent, ""}};
  for (const Case& c : cases) {
    for (const auto& [file, text] : {std::pair(record, c.main), std::pair(record + ".tmp", c.tmp)})
      if (text == absent)
        std::filesystem::remove(file);
      else
        WriteFile(file, text);
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
  EXPECT_FALSE(RecordUnwritten(P(wc), P(temp_.path()), "pump", {K::kCopy, "c.dat"}));
  EXPECT_TRUE(RecordUnwritten(P(wc), P(temp_.path()), "pump", {K::kCopy, "d.dat"}));
  UnwrittenRecord r;
  EXPECT_TRUE(ReadUnwrittenRecord(record, &r));
  EXPECT_EQ(Listed(r), "delete pump.dat copy b.dat copy d.dat");
  EXPECT_EQ(DirectoryNames(temp_ / "QV_776655"), "pump_0002 pump_0002.unwritten ");
}

// Records are found in the temporary path's version folders, in working copy order, each with its
// journal of write-backs on their way (whose later entries win, and whose last line cut short is not
// read), or a journal alone; unreadable ones are named. The kept working copy is reported in one line.
TEST_F(Unwritten, RecordsAreFoundUnderTheTemporaryPathAndAKeptWorkingCopyIsReported) {
  const std::string b = WorkingCopy("valve_0003"), a = WorkingCopy("pump_0004"), c = WorkingCopy("dam_0005");
  ASSERT_TRUE(RecordUnwritten(P(b), P(temp_ / "m"), "valve", {K::kCopy, "valve.dat"}));
  ASSERT_TRUE(RecordUnwritten(P(a), P(temp_ / "m"), "pump", {K::kDelete, "pump.bak"}));
  ASSERT_TRUE(RecordUnwritten(P(a), P(temp_ / "m"), "pump", {K::kCopy, "pump.dat"}));
  ASSERT_TRUE(RecordUnwritten(P(c), P(temp_ / "m"), "dam", {K::kCopy, "dam.dat"}));
  ClearUnwritten(P(c), "dam.dat");
  const std::string journal = std::string(kPendingHeader) + "\nmodel-dir " + temp_ / "m";
  WriteFile(PendingJournalPath(P(a)), journal + "\nmodel pump\ndelete pump.dat\n");
  WriteFile(PendingJournalPath(P(c)), journal + "2\nmodel dam\ncopy dam.out\ncopy dam.o");
  WriteFile(temp_ / "junk.unwritten", "junk");
  std::vector<std::string> unreadable;
  const std::vector<UnwrittenRecord> found = FindUnwrittenRecords(P(temp_.path()), &unreadable);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].working_copy + found[1].working_copy + found[2].working_copy, c + a + b);
  EXPECT_EQ(Listed(found[0]) + "|" + found[0].model_dir + "|" + Listed(found[1]),
            "copy dam.out|" + temp_ / "m2" + S + "|delete pump.bak delete pump.dat");
  EXPECT_EQ(unreadable, std::vector<std::string>{temp_ / "junk.unwritten"});
#ifndef _WIN32
  testing::internal::CaptureStderr();
  ReportKeptWorkingCopy(found[1]);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "miradel: working copy " + a + " of model pump is kept: it holds 2 file(s) not written back to " +
                temp_ / "m" + S + " (see 'miradel recover')\n");
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
    args.insert(args.end(), {"--temp", temp_.path()});
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
                                                      hostkit::SiblingProgram("miradel"), temp_.path()});
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
