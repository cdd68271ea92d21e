// The archive exports and the properties dialog through the C interface, answered by the scripted
// user interface: what goes into an archive, where it unpacks, and what the host is told.
#include <cstring>
#include <filesystem>

#include "lock/lock_slot.h"
#include "support/archive_maker.h"
#include "support/host_test.h"
#include "ui/user_interface.h"

namespace miradel::test {
namespace {

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

const std::string kArchived = "Archive Model|Model has been successfully archived.|64";
const std::string kNotExtracted = "Archive Model|Model not extracted properly.|64";
const std::string kNoDat = "Archive Model|DAT file not found.|48";

TEST_F(ArchiveExports, TheTickedTypesAndTheExtraFilesArePackedAndUnpackBesideTheArchive) {
  for (const char* name : {"units.unt", "pump.unt", "steel"}) program_.Write(name, std::string("program ") + name);
  WriteFile(work_ + "pump.unt", "pump.unt");
  WriteFile(work_ + "readme", "r");
  WriteFile(work_ + "pump.bak.txt", "b");
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
  ASSERT_EQ(ui_.archives().size(), 1u);
  EXPECT_EQ(ui_.archives()[0].second, (Types{true, true, true, true, true}));
  EXPECT_EQ(Boxes(), std::vector<std::string>{kArchived});

  ui_.QueuePaths({archive});
  const std::string unpacked = out_ + "pump_Archive";
  EXPECT_EQ(OpenArchive(), unpacked + "|pump|0");
  EXPECT_EQ(DirectoryNames(unpacked), "pump.L001 pump.cmb pump.dat pump.unt steel units.unt ");
  EXPECT_EQ(ReadFile(unpacked + S + "pump.unt"), "pump.unt");
  EXPECT_FALSE(ui_.file_dialogs().at(1).save);
  EXPECT_TRUE(Boxes().empty());
}

// Each way out of NW_ArchiveModel short of an archive: nothing made, and at most one message.
TEST_F(ArchiveExports, WithoutAnArchiveTheUserIsToldWhyOrNothingHappens) {
  struct Case { const char* what; std::string path; std::optional<Types> types; bool empty_working_copy;
                std::vector<std::string> boxes; } cases[] = {
      {"file dialog cancelled", "", Types{}, false, {}},
      {"archive dialog cancelled", out_ + "a.QVC", std::nullopt, false, {}},
      {"no such folder", out_ + "gone" + S + "a.QVC", Types{}, false, {"Miradel|Error in creating archive file.|0"}},
      {"nothing to pack", out_ + "a.QVC", Types{}, true, {"Miradel|No file select for archiving.|0"}},
  };
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
}

// Cancelled, or an archive that gives no model: status 9, and what the user is told.
TEST_F(ArchiveExports, AnArchiveThatGivesNoModelAnswersStatus9) {
  struct Case { const char* what; std::string archive; std::vector<RawEntry> entries; std::string opened;
                std::vector<std::string> boxes; };
  WriteFile(out_ + "m", "a file in the way");  // m.QVC cannot have its own folder: it unpacks beside
  std::vector<Case> cases = {
      {"cancelled", "", {}, "||9", {}},
      {"no data file", "notes", {{"notes.txt", "n"}}, out_ + "notes||9", {kNoDat}},
      {"a stranger's, reaching out of its folder", "evil", {{"evil.dat", "e"}, {"../escaped.dat", "x"}},
       out_ + "evil||9", {kNotExtracted, kNoDat}},
      {"no folder of its own", "m", {{"m.dat", "m"}}, out_.substr(0, out_.size() - 1) + "|m|0", {}},
#ifndef _WIN32
      {"a folder too long for the host's 260 bytes", std::string(240, 'L'), {{"long.dat", "l"}}, "||9", {kNoDat}},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.archive.empty()) ASSERT_EQ(MakeArchive(out_ + c.archive + ".QVC", c.entries), "");
    ui_.QueuePaths({c.archive.empty() ? "" : out_ + c.archive + ".QVC"});
    EXPECT_EQ(OpenArchive(), c.opened);
    EXPECT_EQ(Boxes(), c.boxes);
  }
  EXPECT_EQ(DirectoryNames(out_ + "evil"), "");
  EXPECT_FALSE(Exists(out_ + "escaped.dat"));
}

// A colleague works on the model an earlier unpack made: unpacking the archive again replaces
// nothing, nor does one that would not fit; one that fails half-way puts back what it replaced.
TEST_F(ArchiveExports, UnpackingNeverHarmsAModelInUse) {
  const std::string archive = out_ + "pump_Archive.QVC", there = out_ + "pump_Archive" + S;
  ui_.QueuePaths({archive, archive});
  ui_.QueueArchive({Types{true, true, true, true, true}});
  NW_ArchiveModel();
  ASSERT_EQ(OpenArchive(), out_ + "pump_Archive|pump|0");
  const std::string names = DirectoryNames(there);
  for (const char* name : {"pump.dat", "pump.cmb", "pump.out", "pump.L001"}) WriteFile(there + name, "kept");
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
  for (const char* name : {"pump.dat", "pump.cmb", "pump.out", "pump.L001"}) EXPECT_EQ(ReadFile(there + name), "kept");
}

TEST_F(ArchiveExports, ThePropertiesDialogShowsTheModelFileAndEndsWithTheUsersSetting) {
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
