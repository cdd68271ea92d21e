// Model archives: which files go in, a pack and unpack round trip (also against zip's own tools),
// strangers' archives refused before anything is written, failures that leave nothing behind. And
// the archive exports and the properties dialog through the C interface, answered by the scripted
// user interface: what goes into an archive, where it unpacks, and what the host is told.
#include <zip.h>

#include "archive/archive_files.h"
#include "archive/archiver.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

using namespace ::miradel::archive;

// Archives made entry by entry, stored, as some other program might make them.
struct RawEntry { std::string name, data; bool link = false, utf8 = false; };

// "" once written, else why not.
std::string MakeArchive(const std::string& path, const std::vector<RawEntry>& entries) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!za) return "open failed";
  for (const RawEntry& e : entries) {
    zip_source_t* src = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
    zip_int64_t i = zip_file_add(za, e.name.c_str(), src, e.utf8 ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_RAW);
    if (i < 0) return zip_strerror(za);
    zip_set_file_compression(za, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
    if (e.link) zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(i), 0, ZIP_OPSYS_UNIX, 0120777u << 16);
  }
  return zip_close(za) == 0 ? "" : zip_strerror(za);
}

const bool kAll[kTypeCount] = {true, true, true, true, true};
const bool kInputOnly[kTypeCount] = {true, false, false, false, false};
const bool kUnitOnly[kTypeCount] = {false, false, false, true, false};
Path P(const std::string& text) { return Path::FromText(text); }

// The types take by extension after the first dot; collecting takes the types, then the extras not
// listed yet; an archive unpacks into a folder of its own name, and its model is the one of the
// first data file. (A folder in the way, or no model in an archive: through NW_OpenArchive, in
// ArchiveExports below.)
TEST(ArchiveFiles, TypesCollectionDestinationAndModelName) {
  struct Case { const char* name; const bool* ticked; bool taken; };
  const Case cases[] = {
      {"m.dat", kInputOnly, true},  {"M.Dat", kUnitOnly, true},   {"m.mdb", kInputOnly, false},
      {"m.mdb", kAll, true},        {"m.L001", kAll, true},       {"m.lst", kAll, false},
      {"m.log", kAll, true},        {"m.bak.txt", kAll, false},   {"readme", kAll, false},
      {"m.cmb", kInputOnly, true},  {"m.unt", kUnitOnly, true},   {"m.lib", kUnitOnly, false},
      {"m.", kAll, false},          {"m.pws", kAll, true},        {"m.LEVEL", kInputOnly, false}};
  for (const Case& c : cases) EXPECT_EQ(TakenByTypes(c.name, c.ticked), c.taken) << c.name;
  EXPECT_EQ(ArchiveExtension("m.bak.txt"), "BAK.TXT");
  EXPECT_EQ(ArchiveExtension("readme"), "");

  TempDir work, exe, dir;
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

struct Counter : Progress {
  void Update(std::size_t files, std::size_t, std::uint64_t bytes, std::uint64_t total) override {
    last_files = files;
    EXPECT_LE(bytes, total);
  }
  std::size_t last_files = 0;
};

// One thread and two (the sharded pack and unpack, which the ThreadSanitizer run also takes).
class ArchiveParallel : public ::testing::TestWithParam<unsigned> {};
INSTANTIATE_TEST_SUITE_P(Threads, ArchiveParallel, ::testing::Values(1u, 2u));

TEST_P(ArchiveParallel, AFailedPackLeavesThePreviousArchiveAndARoundTripKeepsEveryFileInOneFolder) {
  TempDir work, out;
  const std::vector<std::string> files = WriteModel(work);
  std::string error;
  // A failed pack leaves the previous archive. Two files of one name would be one file when
  // unpacked; a file that cannot be read half-way.
  const std::string archive = out.Write("m.qvc", "the previous archive");
  TempDir other;
  EXPECT_FALSE(Pack({files[0], other.Write("PUMP.DAT", "x")}, archive, GetParam(), &error));
  EXPECT_NE(error.find("two files named"), std::string::npos) << error;
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

// Strangers' archives are refused before anything is written; damage found only while unpacking
// takes back whatever was written. Either way a file there before stays, and nothing lands beside.
TEST(ArchiveOthers, StrangersAndDamagedArchivesLeaveNothingAndOtherToolsArchivesAreRead) {
  TempDir made;
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "load case " + std::to_string(i) + "\n";
  const std::pair<std::string, std::vector<RawEntry>> archives[] = {
      {"dot-dot", {{"m.dat", "ok"}, {"../evil.dat", "x"}}}, {"absolute", {{"m.dat", "ok"}, {"/tmp/evil.dat", "x"}}},
      {"backslash", {{"m.dat", "ok"}, {"sub\\evil.dat", "x"}}}, {"drive", {{"m.dat", "ok"}, {"C:evil.dat", "x"}}},
      {"symlink", {{"m.dat", "ok"}, {"link.dat", "/etc/passwd", true}}}, {"twice", {{"m.dat", "ok"}, {"M.DAT", "x"}}},
      {"good", {{"a.dat", "first"}, {"b.out", text}}}};
  for (const auto& [name, entries] : archives) ASSERT_EQ(MakeArchive(made / name + ".qvc", entries), "") << name;
  const std::string good = made.Read("good.qvc");
  // The recorded size of a.dat ("first", 5 bytes) says 6, in the local and the central header.
  std::string lying = good;
  lying[22] = 6;
  const std::size_t central = lying.find(std::string("PK\1\2", 4));
  ASSERT_NE(central, std::string::npos);
  lying[central + 24] = 6;
  made.Write("lying.qvc", lying);
  made.Write("short.qvc", good.substr(0, good.size() / 2));
  std::string flipped = good;
  flipped[good.find("load case 100") + 5] ^= 1;  // stored data: the CRC no longer matches
  made.Write("flipped.qvc", flipped);

  struct Case { const char* archive; const char* expect; bool fail_write = false; };
  const Case cases[] = {{"dot-dot", "outside"}, {"absolute", "outside"}, {"backslash", "folder"}, {"drive", "outside"},
                        {"symlink", "symbolic link"}, {"twice", "twice"}, {"lying", "damaged"},
                        {"short", "not a zip archive"}, {"flipped", "damaged"}, {"good", "write", true}};
  for (const Case& c : cases) {
    TempDir top;
    const std::string dest = top / "d" + S;
    std::filesystem::create_directory(dest);
    WriteFile(dest + "b.out", "there before");
    FaultEnv env(&platform::System());
    if (c.fail_write) env.FailAfter(Op::kWrite, 1, ErrorKind::kOther);  // as a full disk would
    platform::ScopedEnv scoped(&env);
    Archiver a;
    EXPECT_FALSE(a.ExtractZipFile(P(made / c.archive + ".qvc"), P(dest))) << c.archive;
    EXPECT_NE(a.LastError().find(c.expect), std::string::npos) << c.archive << ": " << a.LastError();
    EXPECT_EQ(DirectoryNames(dest), "b.out ") << c.archive;
    EXPECT_EQ(ReadFile(dest + "b.out"), "there before") << c.archive;
    EXPECT_EQ(DirectoryNames(top.path()), "d ") << c.archive;
  }

  // What other tools write: Info-ZIP's data descriptors (zip -fd, or zip writing to a pipe), and names
  // flagged as UTF-8 beside unflagged ones in the maker's code page.
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

using Types = ScriptedUi::Types;

class ArchiveExports : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    model_ = dir_.path() + "model" + S;
    out_ = dir_.path() + "out" + S;
    std::filesystem::create_directory(model_);
    std::filesystem::create_directory(out_);
    for (const char* name : {"pump.dat", "pump.cmb", "pump.out", "pump.L001"}) WriteFile(model_ + name, name);
    // The host program's folder is known from the start.
    env_.SetExecutablePath(program_.path() + "quorvane.exe");
    work_ = Open(model_, "pump");
  }
  static void AddIn(int index, const std::string& name, const char* extension) {
    const int length = static_cast<int>(name.size());
    NW_AddInArchive(&index, name.c_str(), &length, extension);
  }
  // NW_OpenArchive's "dir|name|status", given buffers full of junk.
  static std::string OpenArchive() {
    char dir[260], name[260];
    std::memset(dir, 'x', sizeof dir);
    std::memset(name, 'x', sizeof name);
    int status = -1;
    NW_OpenArchive(dir, name, &status);
    return std::string(dir) + "|" + name + "|" + std::to_string(status);
  }
  // The boxes shown since the last look, as "caption|text|style".
  std::vector<std::string> Boxes() {
    std::vector<std::string> out;
    const auto shown = ui_.shown();
    for (std::size_t i = boxes_seen_; i < shown.size(); ++i)
      out.push_back(shown[i].caption + "|" + shown[i].text + "|" + std::to_string(shown[i].style));
    boxes_seen_ = shown.size();
    return out;
  }
  TempDir program_;
  LockSlot colleague_{};
  std::string model_, out_, work_;
  std::size_t boxes_seen_ = 0;
};

const std::string kNoDat = "Archive Model|DAT file not found.|48";

// The ticked types and the extra files are packed, and unpack beside the archive. Then a colleague
// works on the model that unpack made: unpacking the archive again replaces nothing, nor does one
// that would not fit; one that fails half-way puts back what it replaced.
TEST_F(ArchiveExports, TheTickedTypesAndTheExtraFilesArePackedAndUnpackBesideTheArchiveButNeverOverAModelInUse) {
  for (const char* name : {"units.unt", "pump.unt", "steel"}) program_.Write(name, std::string("program ") + name);
  for (const char* name : {"pump.unt", "readme", "pump.bak.txt"}) WriteFile(work_ + name, name);
  AddIn(1, "units  ", "unt");
  AddIn(2, "PUMP", "UNT");  // the working copy's pump.unt goes in, not the program's
  AddIn(3, "steel  ", "");
  AddIn(5, "ignored", "lib");

  const std::string archive = out_ + "pump_Archive.QVC";
  ui_.QueuePaths({archive});
  ui_.QueueArchive({Types{true, true, false, true, true}});
  EXPECT_EQ(NW_ArchiveModel(), 1);
  ASSERT_EQ(ui_.file_dialogs().size(), 1u);
  const ui::FileDialogRequest asked = ui_.file_dialogs()[0];
  EXPECT_TRUE(asked.save);
  EXPECT_EQ(asked.owner, 0);
  EXPECT_EQ(asked.filter + asked.default_extension, "Quorvane Compressed Files (*.QVC)|*.QVC||QVC");
  EXPECT_EQ(asked.initial_name + "|" + asked.initial_directory + "|" + std::to_string(asked.options),
            "pump_Archive|" + model_ + "|6");
  EXPECT_EQ(ui_.archives(), (std::vector<std::pair<std::intptr_t, Types>>{{0, Types{true, true, true, true, true}}}));
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Archive Model|Model has been successfully archived.|64"});

  ui_.QueuePaths({archive});
  const std::string unpacked = out_ + "pump_Archive";
  EXPECT_EQ(OpenArchive(), unpacked + "|pump|0");
  EXPECT_EQ(DirectoryNames(unpacked), "pump.L001 pump.cmb pump.dat pump.unt steel units.unt ");
  EXPECT_EQ(ReadFile(unpacked + S + "pump.unt"), "pump.unt");
  EXPECT_FALSE(ui_.file_dialogs().at(1).save);
  EXPECT_TRUE(Boxes().empty());

  const std::string there = unpacked + S;
  for (const char* name : {"pump.dat", "pump.cmb", "pump.unt", "pump.L001"}) WriteFile(there + name, "kept");
  const std::string names = DirectoryNames(there);
  FileHandle held = kNoFile;  // a reader that keeps writers out
  ASSERT_TRUE(env_.OpenFile(there + "pump.L001", kRead, kShareRead, Disposition::kOpenExisting, &held, nullptr).ok());
  // Each unpack meets one obstacle, and then the next is set up.
  const std::function<void()> next[] = {
      [&] {
        env_.Close(held).IgnoreError();
        ASSERT_EQ(colleague_.Acquire(there + "pump.lck", false, nullptr, In().m_locks.Texts()), 1);
      },
      [&] { colleague_.Release(); env_.FailAfter(Op::kRename, 3, platform::ErrorKind::kAccessDenied, 1); },
      [&] { env_.SetFreeSpace(4096); }, [] {}};
  for (const std::function<void()>& then : next) {
    ui_.QueuePaths({archive});
    EXPECT_EQ(OpenArchive().back(), '9') << "status, try " << ui_.file_dialogs().size();
    then();
  }
  EXPECT_EQ(DirectoryNames(there), names);
  for (const char* name : {"pump.dat", "pump.cmb", "pump.unt", "pump.L001"}) EXPECT_EQ(ReadFile(there + name), "kept");
}

// Each way out of NW_ArchiveModel short of an archive: nothing made, and at most one message.
TEST_F(ArchiveExports, WithoutAnArchiveOrAModelInItTheUserIsToldWhyAndThePropertiesDialogShowsTheModelFile) {
  struct Case { const char* what; std::string path; std::optional<Types> types; bool empty_working_copy;
                std::vector<std::string> boxes; } cases[] = {
      {"file dialog cancelled", "", Types{}, false, {}},
      {"archive dialog cancelled", out_ + "a.QVC", std::nullopt, false, {}},
      {"no such folder", out_ + "gone" + S + "a.QVC", Types{}, false, {"Miradel|Error in creating archive file.|0"}},
      {"nothing to pack", out_ + "a.QVC", Types{}, true, {"Miradel|No file select for archiving.|0"}}};
  for (const Case& c : cases) {
    if (c.empty_working_copy) std::filesystem::remove(work_ + "pump.dat");
    const std::size_t asked = ui_.archives().size();
    ui_.QueuePaths({c.path});
    if (!c.path.empty()) ui_.QueueArchive({c.types});
    EXPECT_EQ(NW_ArchiveModel(), 1) << c.what;
    EXPECT_EQ(ui_.archives().size() - asked, c.path.empty() ? 0u : 1u) << c.what;
    EXPECT_EQ(Boxes(), c.boxes) << c.what;
    EXPECT_EQ(DirectoryNames(out_), "") << c.what;
  }

  // Cancelled, or an archive that gives no model: status 9, and what the user is told.
  struct Opening { const char* what; std::string archive; std::vector<RawEntry> entries; std::string opened;
                std::vector<std::string> boxes; };
  WriteFile(out_ + "m", "a file in the way");  // m.QVC cannot have its own folder: it unpacks beside
  std::vector<Opening> openings = {
      {"cancelled", "", {}, "||9", {}},
      {"no data file", "notes", {{"notes.txt", "n"}}, out_ + "notes||9", {kNoDat}},
      {"a stranger's, reaching out of its folder", "evil", {{"evil.dat", "e"}, {"../escaped.dat", "x"}},
       out_ + "evil||9", {"Archive Model|Model not extracted properly.|64", kNoDat}},
      {"no folder of its own", "m", {{"m.dat", "m"}}, out_.substr(0, out_.size() - 1) + "|m|0", {}},
#ifndef _WIN32
      {"a folder too long for the host's 260 bytes", std::string(240, 'L'), {{"long.dat", "l"}}, "||9", {kNoDat}},
#endif
  };
  for (const Opening& c : openings) {
    SCOPED_TRACE(c.what);
    if (!c.archive.empty()) ASSERT_EQ(MakeArchive(out_ + c.archive + ".QVC", c.entries), "");
    ui_.QueuePaths({c.archive.empty() ? "" : out_ + c.archive + ".QVC"});
    EXPECT_EQ(OpenArchive(), c.opened);
    EXPECT_EQ(Boxes(), c.boxes);
  }
  EXPECT_EQ(DirectoryNames(out_ + "evil"), "");
  EXPECT_FALSE(Exists(out_ + "escaped.dat"));

  // The properties dialog shows the model file and ends with the user's setting.
  WriteFile(model_ + "pump.out", std::string(1024, 'd'));  // the data file is held by the lock
  int window = 4242;
  NW_SetHwnd(&window);
  auto show = [](const std::string& file, const char* saved_by, int always, int revision) {
    char text[256];
    std::memset(text, ' ', sizeof text);
    std::memcpy(text, file.data(), file.size());
    return NW_ShowFPDialog(text, saved_by, &always, &revision);
  };
  ui_.QueueAlwaysShow({1, -1, -1, 0, -1});
  EXPECT_EQ(show("pump.out", "anna  ", 0, 12), 1);    // Close with the box ticked
  EXPECT_EQ(show("pump.out", "", 7, 0), 1);           // closed otherwise: what came in
  EXPECT_EQ(show("gone.dat", "   ", 0, -3), 0);
  EXPECT_EQ(show("pump.out", "anna", 1, 1), 0);       // Close with the box cleared
  EXPECT_EQ(show("", "anna", 1, 1), 0);               // an empty dialog comes with the box clear
  const auto seen = ui_.properties();
  ASSERT_EQ(seen.size(), 5u);
  const std::string& dir = model_;  // as the host gave it
  auto fields = [](const ui::FileProperties& p) {
    return p.model_file + "|" + p.last_saved_by + "|" + p.revision + "|" + p.location + "|" + p.size + "|" +
           std::to_string(p.always_show);
  };
  EXPECT_EQ(seen[0].first, 4242);
  EXPECT_EQ(fields(seen[0].second), "pump.out|anna|12|" + dir + "|1.00 KB (1024 bytes)|0");
  EXPECT_EQ(seen[0].second.modified.rfind("Today, ", 0), 0u) << seen[0].second.modified;
  EXPECT_EQ(fields(seen[1].second), "pump.out|-Not Available-|UNDEFINED|" + dir + "|1.00 KB (1024 bytes)|1");
  EXPECT_EQ(fields(seen[2].second) + seen[2].second.created + seen[2].second.modified + seen[2].second.accessed,
            "gone.dat|-Not Available-|UNDEFINED|" + dir + "|0 bytes (0 bytes)|0" + std::string("-Not Available-") +
                "-Not Available--Not Available-");
  EXPECT_EQ(fields(seen[4].second) + seen[4].second.modified, "|||||0");
}

}  // namespace
}  // namespace miradel::test
