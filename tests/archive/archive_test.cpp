// Model archives: which files go in, a pack and unpack round trip (also against zip's own tools),
// strangers' archives refused before anything is written, failures that leave nothing behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive_files.h"
#include "archive/archiver.h"
#include "support/archive_maker.h"
#include "support/fault_env.h"
#include "support/temp_dir.h"

namespace miradel::test {
namespace {

using namespace ::miradel::archive;

const bool kAll[kTypeCount] = {true, true, true, true, true};
const bool kInputOnly[kTypeCount] = {true, false, false, false, false};
const bool kUnitOnly[kTypeCount] = {false, false, false, true, false};
Path P(const std::string& text) { return Path::FromText(text); }

TEST(ArchiveTypes, RulesTakeByExtensionAfterTheFirstDot) {
  struct Case { const char* name; const bool* ticked; bool taken; };
  const Case cases[] = {
      {"m.dat", kInputOnly, true},  {"M.Dat", kUnitOnly, true},   {"m.mdb", kInputOnly, false},
      {"m.mdb", kAll, true},        {"m.L001", kAll, true},       {"m.lst", kAll, false},
      {"m.log", kAll, true},        {"m.bak.txt", kAll, false},   {"readme", kAll, false},
      {"m.cmb", kInputOnly, true},  {"m.unt", kUnitOnly, true},   {"m.lib", kUnitOnly, false},
      {"m.", kAll, false},          {"m.pws", kAll, true},        {"m.LEVEL", kInputOnly, false},
  };
  for (const Case& c : cases) EXPECT_EQ(TakenByTypes(c.name, c.ticked), c.taken) << c.name;
  EXPECT_EQ(ArchiveExtension("m.bak.txt"), "BAK.TXT");
  EXPECT_EQ(ArchiveExtension("readme"), "");
}

TEST(ArchiveTypes, CollectTakesTheTypesThenExtrasNotListedYet) {
  TempDir work, exe;
  for (const char* n : {"m.dat", "m.cmb", "m.mdb", "m.log", "m.L001", "readme"}) work.Write(n, n);
  const std::string extras[4] = {"m.cmb", "u.unt  ", "", "x.lib"};
  CDiskObject disk;
  std::vector<std::string> paths;
  ASSERT_TRUE(CollectArchiveFiles(disk, P(work.path()), P(exe.path()), extras, kAll, &paths));
  const std::vector<std::string> all = {work / "m.L001", work / "m.cmb", work / "m.dat", work / "m.log",
                                        work / "m.mdb", exe / "u.unt  ", exe / "x.lib"};
  EXPECT_EQ(paths, all);
  ASSERT_TRUE(CollectArchiveFiles(disk, P(work.path()), P(exe.path()), extras, kInputOnly, &paths));
  EXPECT_EQ(paths, (std::vector<std::string>{work / "m.cmb", work / "m.dat"}));
  FaultEnv env(&platform::System());
  env.Fail(Op::kFind, "", ErrorKind::kAccessDenied);
  CDiskObject refused(&env);
  EXPECT_FALSE(CollectArchiveFiles(refused, P(work.path()), P(exe.path()), extras, kAll, &paths));
}

// A folder in the way, or no model in an archive: through NW_OpenArchive (model_archive_test).
TEST(ArchiveTypes, UnpackDestinationAndModelName) {
  TempDir dir;
  CDiskObject disk;
  EXPECT_EQ(UnpackDestination(disk, P(dir / "arch" + kSep + "m_Archive.QVC")).str(),
            dir / "arch" + kSep + "m_Archive" + kSep);
  EXPECT_TRUE(Exists(dir / "arch" + kSep + "m_Archive"));
  for (const char* n : {"a.txt", "Pump.DAT", "z.dat", "y.dat.bak"}) dir.Write(n, n);
  EXPECT_EQ(FindModelName(disk, P(dir.path())), "Pump");
}

// A model's worth of files: text and structured binary, one large enough for several buffers.
std::vector<std::string> WriteModel(const TempDir& work) {
  std::string text, binary;
  for (int i = 0; i < 40000; ++i) text += "node " + std::to_string(i) + " stress " + std::to_string(i * 0.37) + "\n";
  for (int i = 0; i < 300000; ++i) binary += static_cast<char>((i * 7) ^ (i >> 9));
  return {work.Write("pump.dat", binary), work.Write("pump.out", text), work.Write("pump.cmb", "x"),
          work.Write("empty.log", "")};
}

bool Pack(const std::vector<std::string>& files, const std::string& archive, unsigned threads, std::string* error) {
  Archiver a;
  a.SetThreads(threads);
  a.SetArchivePath(P(archive));
  for (const std::string& f : files) a.AddFilePathToArchive(f);
  bool ok = a.CreateZipFile();
  *error = a.LastError();
  return ok;
}

class Counter : public Progress {
 public:
  void Update(std::size_t files, std::size_t, std::uint64_t bytes, std::uint64_t total) override {
    last_files = files;
    last_bytes = bytes;
    EXPECT_LE(bytes, total);
  }
  std::size_t last_files = 0;
  std::uint64_t last_bytes = 0;
};

// One thread and two (the sharded pack and unpack, which the ThreadSanitizer run also takes).
class ArchiveParallel : public ::testing::TestWithParam<unsigned> {};
INSTANTIATE_TEST_SUITE_P(Threads, ArchiveParallel, ::testing::Values(1u, 2u));

TEST_P(ArchiveParallel, RoundTripKeepsEveryFileInOneFolder) {
  TempDir work, out;
  const std::vector<std::string> files = WriteModel(work);
  std::string error;
  ASSERT_TRUE(Pack(files, out / "m.qvc", GetParam(), &error)) << error;
  out.Write("pump.out", "an older copy, replaced");
  Archiver a;
  a.SetThreads(GetParam());
  Counter progress;
  ASSERT_TRUE(a.ExtractZipFile(P(out / "m.qvc"), P(out.path()), &progress)) << a.LastError();
  EXPECT_EQ(DirectoryNames(out.path()), "empty.log m.qvc pump.cmb pump.dat pump.out ");
  for (const std::string& f : files) EXPECT_EQ(out.Read(path::BaseName(f)), ReadFile(f)) << f;
  EXPECT_EQ(progress.last_files, 4u);
#ifndef _WIN32
  // zip's own unpacker reads it too, every file into the one folder.
  if (std::system("unzip -v >/dev/null 2>&1") == 0) {
    TempDir theirs;
    ASSERT_EQ(std::system(("unzip -tq " + out / "m.qvc" + " >/dev/null && unzip -q " + out / "m.qvc" + " -d " +
                           theirs.path()).c_str()), 0);
    EXPECT_EQ(DirectoryNames(theirs.path()), "empty.log pump.cmb pump.dat pump.out ");
    EXPECT_EQ(theirs.Read("pump.dat"), ReadFile(files[0]));
  }
#endif
}

TEST_P(ArchiveParallel, FailedPackLeavesThePreviousArchive) {
  TempDir work, out;
  std::vector<std::string> files = WriteModel(work);
  const std::string archive = out.Write("m.qvc", "the previous archive");
  std::string error;
  // Two files of one name would be one file when unpacked.
  TempDir other;
  EXPECT_FALSE(Pack({files[0], other.Write("PUMP.DAT", "x")}, archive, GetParam(), &error));
  EXPECT_NE(error.find("two files named"), std::string::npos) << error;
  // A file that cannot be read half-way.
  FaultEnv env(&platform::System());
  env.FailAfter(Op::kRead, 1, ErrorKind::kOther);
  {
    platform::ScopedEnv scoped(&env);
    EXPECT_FALSE(Pack(files, archive, GetParam(), &error));
  }
  EXPECT_NE(error.find("read"), std::string::npos) << error;
  EXPECT_FALSE(Pack({work / "gone.dat"}, archive, GetParam(), &error));
  EXPECT_EQ(out.Read("m.qvc"), "the previous archive");
  EXPECT_EQ(DirectoryNames(out.path()), "m.qvc ");
}

TEST(ArchiveHostile, RefusedWithNothingWritten) {
  struct Case { const char* what; std::vector<RawEntry> entries; const char* expect; };
  const std::vector<Case> cases = {
      {"dot-dot", {{"m.dat", "ok"}, {"../evil.dat", "x"}}, "outside"},
      {"absolute", {{"m.dat", "ok"}, {"/tmp/evil.dat", "x"}}, "outside"},
      {"backslash", {{"m.dat", "ok"}, {"sub\\evil.dat", "x"}}, "folder"},
      {"drive", {{"m.dat", "ok"}, {"C:evil.dat", "x"}}, "outside"},
      {"symlink", {{"m.dat", "ok"}, {"link.dat", "/etc/passwd", true}}, "symbolic link"},
      {"twice", {{"m.dat", "ok"}, {"M.DAT", "x"}}, "twice"},
  };
  for (const Case& c : cases) {
    TempDir top;
    ASSERT_EQ(MakeArchive(top / "a.qvc", c.entries), "") << c.what;
    CDiskObject disk;
    ASSERT_TRUE(disk.MakeDirectoryPath(top / "d"));
    Archiver a;
    EXPECT_FALSE(a.ExtractZipFile(P(top / "a.qvc"), P(top / "d"))) << c.what;
    EXPECT_NE(a.LastError().find(c.expect), std::string::npos) << c.what << ": " << a.LastError();
    EXPECT_EQ(DirectoryNames(top / "d"), "") << c.what;
    EXPECT_EQ(DirectoryNames(top.path()), "a.qvc d ") << c.what;
  }
}

// Damage found only while unpacking: whatever was written goes again, a file there before stays.
TEST(ArchiveHostile, DamagedArchivesAndFailedWritesLeaveNothing) {
  TempDir top;
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "load case " + std::to_string(i) + "\n";
  ASSERT_EQ(MakeArchive(top / "good.qvc", {{"a.dat", "first"}, {"b.out", text}}), "");
  const std::string good = top.Read("good.qvc");
  // The recorded size of a.dat ("first", 5 bytes) says 6, in the local and the central header.
  std::string lying = good;
  lying[22] = 6;
  const std::size_t central = lying.find(std::string("PK\1\2", 4));
  ASSERT_NE(central, std::string::npos);
  lying[central + 24] = 6;
  top.Write("lying.qvc", lying);
  top.Write("short.qvc", good.substr(0, good.size() / 2));
  std::string flipped = good;
  flipped[good.find("load case 100") + 5] ^= 1;  // stored data: the CRC no longer matches
  top.Write("flipped.qvc", flipped);

  struct Case { const char* archive; bool fail_write; const char* expect; };
  const Case cases[] = {{"lying.qvc", false, "damaged"}, {"short.qvc", false, "not a zip archive"},
                        {"flipped.qvc", false, "damaged"}, {"good.qvc", true, "write"}};
  for (const Case& c : cases) {
    TempDir dest;
    dest.Write("b.out", "there before");
    FaultEnv env(&platform::System());
    if (c.fail_write) env.FailAfter(Op::kWrite, 1, ErrorKind::kOther);  // as a full disk would
    platform::ScopedEnv scoped(&env);
    Archiver a;
    EXPECT_FALSE(a.ExtractZipFile(P(top / c.archive), P(dest.path()))) << c.archive;
    EXPECT_NE(a.LastError().find(c.expect), std::string::npos) << c.archive << ": " << a.LastError();
    EXPECT_EQ(DirectoryNames(dest.path()), "b.out ") << c.archive;
    EXPECT_EQ(dest.Read("b.out"), "there before") << c.archive;
  }
}

// What other tools write: Info-ZIP's data descriptors (zip -fd, or zip writing to a pipe), and names
// flagged as UTF-8 beside unflagged ones in the maker's code page.
TEST(ArchiveOthers, DataDescriptorsAndUtf8NamesAreRead) {
  static const char kDescriptors[] =  // zip -fd -X of a.dat ("first") and b.out ("second line")
      "PK\x3\x4\x14\x0\x8\x0\x8\x0\x0\x0!\x5c\x0\x0\x0\x0\x0\x0\x0\x0\x5\x0\x0\x0\x5\x0\x0\x0""a.datK\xcb,*"
      ".\x1\x0PK\x7\x8W\xeeq\x92\x7\x0\x0\x0\x5\x0\x0\x0PK\x3\x4\x14\x0\x8\x0\x8\x0\x0\x0!\x5c\x0\x0\x0\x0"
      "\x0\x0\x0\x0\xb\x0\x0\x0\x5\x0\x0\x0""b.out+NM\xce\xcfKQ\xc8\xc9\xccK\x5\x0PK\x7\x8""F{\xd1.\xd\x0"
      "\x0\x0\xb\x0\x0\x0PK\x1\x2\x1e\x3\x14\x0\x8\x0\x8\x0\x0\x0!\x5cW\xeeq\x92\x7\x0\x0\x0\x5\x0\x0\x0\x5"
      "\x0\x0\x0\x0\x0\x0\x0\x1\x0\x0\x0\xa4\x81\x0\x0\x0\x0""a.datPK\x1\x2\x1e\x3\x14\x0\x8\x0\x8\x0\x0\x0"
      "!\x5c""F{\xd1.\xd\x0\x0\x0\xb\x0\x0\x0\x5\x0\x0\x0\x0\x0\x0\x0\x1\x0\x0\x0\xa4\x81:\x0\x0\x0""b.outP"
      "K\x5\x6\x0\x0\x0\x0\x2\x0\x2\x0""f\x0\x0\x0z\x0\x0\x0\x0\x0";
  TempDir top, dd, names;
  top.Write("dd.qvc", std::string(kDescriptors, sizeof kDescriptors - 1));
  Archiver a;
  ASSERT_TRUE(a.ExtractZipFile(P(top / "dd.qvc"), P(dd.path()))) << a.LastError();
  EXPECT_EQ(dd.Read("a.dat") + "|" + dd.Read("b.out"), "first|second line");
  ASSERT_EQ(MakeArchive(top / "names.qvc", {{"M\xc3\xbcller.dat", "u", false, true}, {"M\xfc" "ller.cmb", "c"}}), "");
  ASSERT_TRUE(a.ExtractZipFile(P(top / "names.qvc"), P(names.path()))) << a.LastError();
#ifdef _WIN32  // listed in UTF-8: both are one name in the host's code page
  EXPECT_EQ(DirectoryNames(names.path()), "M\xc3\xbcller.cmb M\xc3\xbcller.dat ");
#else
  EXPECT_EQ(DirectoryNames(names.path()), "M\xc3\xbcller.dat M\xfc" "ller.cmb ");
#endif
}

}  // namespace
}  // namespace miradel::test
