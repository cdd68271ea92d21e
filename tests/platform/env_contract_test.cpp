// The contract the platform adapter keeps, on POSIX and on Windows alike, so that the POSIX
// emulation and the real Win32 behaviour are held to the same expectations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/env.h"
#include "support/child.h"
#include "support/temp_dir.h"
#include "support/patience.h"

namespace miradel::platform {
namespace {

const int kChildMs = test::PatienceMs();

const char* KindName(ErrorKind kind) {
  static const char* const kNames[] = {"ok", "not-found", "sharing-violation", "access-denied", "already-exists",
                                       "other"};
  return kNames[static_cast<int>(kind)];
}

// The ways the library opens a model file.
Status OpenExclusiveWriter(Env& env, const std::string& path, FileHandle* h, Disposition d = Disposition::kOpenExisting) {
  return env.OpenFile(path, kReadWrite, kShareRead, d, h, nullptr);
}
Status OpenSharedWriter(Env& env, const std::string& path, FileHandle* h) {
  return env.OpenFile(path, kWrite, kShareRead | kShareWrite, Disposition::kOpenExisting, h, nullptr);
}

std::string ReadAll(Env& env, FileHandle h) {
  std::string out;
  char buf[4096];
  for (std::size_t got = 0; env.Read(h, buf, sizeof buf, &got).ok() && got > 0;) out.append(buf, got);
  return out;
}

// What one attempt to get at a file gave ("read" gives the content); a handle is closed at once.
std::string Attempt(Env& env, const std::string& op, const std::string& path) {
  FileHandle h = kNoFile;
  Status s;
  if (op == "write") s = OpenSharedWriter(env, path, &h);
  else if (op == "exclusive") s = OpenExclusiveWriter(env, path, &h);
  else if (op == "create") s = OpenExclusiveWriter(env, path, &h, Disposition::kCreateAlways);
  else if (op == "delete") s = env.DeleteFile(path);
  else s = env.OpenFile(path, kRead, kShareRead | kShareWrite, Disposition::kOpenExisting, &h, nullptr);
  const std::string content = op == "read" && s.ok() ? ReadAll(env, h) : KindName(s.kind());
  if (h != kNoFile) EXPECT_TRUE(env.Close(h).ok());
  return op + " " + content;
}

// Second user: tries each operation named after the path and prints what it got, one line each.
MIRADEL_CHILD(probe) {
  for (std::size_t i = 1; i < args.size(); ++i) std::printf("%s\n", Attempt(System(), args[i], args[0]).c_str());
  return args.empty() ? 2 : 0;
}

std::vector<std::string> ProbeFromAnotherProcess(const std::string& path, std::vector<std::string> ops) {
  ops.insert(ops.begin(), path);
  auto child = test::StartChild("probe", ops);
  std::vector<std::string> lines;
  bool ok = child != nullptr;
  for (std::string line = ok ? child->ReadLine(kChildMs, &ok) : ""; ok; line = child->ReadLine(kChildMs, &ok))
    lines.push_back(line);
  EXPECT_EQ(child ? child->Wait(kChildMs) : -1, 0) << "the probe did not end well";
  return lines;
}

void ExpectKindAndSystemText(Env& env, const Status& s, ErrorKind kind) {
  EXPECT_EQ(s.kind(), kind) << KindName(s.kind()) << ": " << s.message();
  EXPECT_NE(s.code(), 0);
  EXPECT_NE(s.message(), "");
  EXPECT_EQ(s.message(), env.ErrorText(s.code()));
}

class EnvContractTest : public ::testing::Test {
 protected:
  Env& env = System();
  test::TempDir dir_;
};

// An exclusive writer keeps every other writer and deleter out, of this process (whose attempts
// open and close descriptors of the file, which must not drop the lock as POSIX process locks
// would) and of others alike, in the system's words; readers that share writing get in.
TEST_F(EnvContractTest, AnExclusiveWriterKeepsOtherWritersAndDeletersOutReadersIn) {
  const std::string path = dir_.Write("model.dat", "model data"), other = dir_.Write("other.dat", "other");
  const std::vector<std::string> ops = {"write", "exclusive", "create", "delete", "read"};
  const std::vector<std::string> refused = {"write sharing-violation", "exclusive sharing-violation",
                                            "create sharing-violation", "delete sharing-violation", "read model data"};
  FileHandle h = kNoFile, w = kNoFile;
  ASSERT_TRUE(OpenExclusiveWriter(env, path, &h).ok());
  std::vector<std::string> here;
  for (const std::string& op : ops) here.push_back(Attempt(env, op, path));
  EXPECT_EQ(here, refused);
  EXPECT_EQ(ProbeFromAnotherProcess(path, ops), refused);
  ASSERT_TRUE(env.Seek(h, 0).ok());
  EXPECT_EQ(ReadAll(env, h), "model data") << "a refused create emptied the file under its holder";
  EXPECT_TRUE(env.Close(h).ok());

  // Held by another process (the miradel program holds the data file of model "model"), while a
  // handle of ours that it might have inherited is closed.
  ASSERT_TRUE(OpenExclusiveWriter(env, other, &w).ok());
  auto holder = test::StartHolder(dir_.path(), "model", "alice", "PC-ALICE");
  ASSERT_TRUE(holder);
  EXPECT_TRUE(env.Close(w).ok());
  EXPECT_EQ(Attempt(env, "exclusive", other), "exclusive ok");
  for (const Status& s : {OpenSharedWriter(env, path, &h), OpenExclusiveWriter(env, path, &h),
                          OpenExclusiveWriter(env, path, &h, Disposition::kOpenAlways),
                          OpenExclusiveWriter(env, path, &h, Disposition::kCreateAlways), env.DeleteFile(path),
                          env.CopyFile(other, path, true)}) {
    ExpectKindAndSystemText(env, s, ErrorKind::kSharingViolation);
    EXPECT_EQ(h, kNoFile);
  }
  EXPECT_EQ(Attempt(env, "read", path), "read model data");
  holder->CloseInput();
  EXPECT_EQ(holder->Wait(kChildMs), 0);

  // Writers that share writing coexist, and keep an exclusive writer out until both are gone.
  ASSERT_TRUE(OpenSharedWriter(env, path, &h).ok());
  ASSERT_TRUE(OpenSharedWriter(env, path, &w).ok());
  ASSERT_TRUE(env.Close(h).ok());
  EXPECT_EQ(Attempt(env, "exclusive", path), "exclusive sharing-violation");
  EXPECT_TRUE(env.Close(w).ok());
  EXPECT_EQ(ProbeFromAnotherProcess(path, {"exclusive", "delete"}), (std::vector<std::string>{"exclusive ok", "delete ok"}));
  EXPECT_FALSE(dir_.Exists("model.dat"));

  // Its holder deletes it and lets go in one call; a handle no longer open deletes nothing.
  ASSERT_TRUE(OpenExclusiveWriter(env, other, &h).ok());
  EXPECT_TRUE(env.CloseAndDelete(h, other).ok());
  EXPECT_FALSE(dir_.Exists("other.dat"));
  EXPECT_TRUE(env.Close(h).IsNotFound()) << "left open";
  dir_.Write("other.dat", "a colleague's");
  EXPECT_TRUE(env.CloseAndDelete(h, other).IsNotFound());
  EXPECT_TRUE(dir_.Exists("other.dat"));

  // A held file's own name leads to it, no other name does, nor does a handle let go; a file
  // renamed over it takes the name where the system allows that (POSIX).
  ASSERT_TRUE(OpenExclusiveWriter(env, other, &h).ok());
  EXPECT_TRUE(env.NamesHeldFile(other, h));
  EXPECT_FALSE(env.NamesHeldFile(dir_.Write("else.dat", "e"), h));
  const bool replaced = env.Rename(dir_ / "else.dat", other).ok();
  EXPECT_EQ(env.NamesHeldFile(other, h), !replaced);
  ASSERT_TRUE(env.Close(h).ok());
  EXPECT_FALSE(env.NamesHeldFile(other, h));
}

TEST_F(EnvContractTest, FailuresInTheSystemsWordsFileIoDeadHandlesAndNamesWithANul) {
  const std::string file = dir_.Write("file.dat", "x"), missing = dir_ / "missing.dat";
  const std::string no_dir = dir_ / "no-dir", sub = dir_ / "Sub";
  FileHandle h = kNoFile;
  FileInfo info;
  std::vector<DirEntry> entries;
  ASSERT_TRUE(env.CopyFile(file, file + ".copy", false).ok());
  ASSERT_TRUE(env.CreateDirectory(sub).ok());
  const std::pair<Status, ErrorKind> cases[] = {
      {env.OpenFile(missing, kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr), ErrorKind::kNotFound},
      {OpenExclusiveWriter(env, no_dir + kSep + "f.dat", &h, Disposition::kOpenAlways), ErrorKind::kNotFound},
      {env.DeleteFile(missing), ErrorKind::kNotFound}, {env.GetFileInfo(missing, &info), ErrorKind::kNotFound},
      {env.FindFiles(no_dir, "*", &entries), ErrorKind::kNotFound},
      {env.FindFiles(dir_.path(), "*.xyz", &entries), ErrorKind::kNotFound},
      {env.CopyFile(missing, dir_ / "copy.dat", true), ErrorKind::kNotFound},
      {env.SetCurrentDirectory(no_dir), ErrorKind::kNotFound},
      {env.CreateDirectory(dir_.path()), ErrorKind::kAlreadyExists},
      {env.CopyFile(file, file + ".copy", false), ErrorKind::kAlreadyExists},
      // A directory is no file to open or delete.
      {env.OpenFile(sub, kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr), ErrorKind::kAccessDenied},
      {env.DeleteFile(sub), ErrorKind::kAccessDenied},
  };
  for (const auto& [status, kind] : cases) ExpectKindAndSystemText(env, status, kind);
  EXPECT_EQ(h, kNoFile);
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(dir_.Exists("copy.dat"));

  // Handle values are never reused: a stale copy of a closed handle (lock slots are copied whole)
  // must not reach, or close and so unlock, a file opened later.
  const std::string path = dir_ / "io.dat";
  bool existed = true;
  ASSERT_TRUE(env.OpenFile(path, kReadWrite, kShareRead, Disposition::kOpenAlways, &h, &existed).ok());
  EXPECT_FALSE(existed);
  ASSERT_TRUE(env.Write(h, "hello world", 11).ok());
  ASSERT_TRUE(env.Seek(h, 6).ok());
  EXPECT_EQ(ReadAll(env, h), "world");
  ASSERT_TRUE(env.Seek(h, 5).ok());
  ASSERT_TRUE(env.Truncate(h).ok());
  ASSERT_TRUE(env.Close(h).ok());
  ASSERT_TRUE(env.OpenFile(path, kReadWrite, kShareRead, Disposition::kOpenAlways, &h, &existed).ok());
  EXPECT_TRUE(existed);
  EXPECT_EQ(ReadAll(env, h), "hello");
  const FileHandle dead = h;
  ASSERT_TRUE(env.Close(dead).ok());
  ASSERT_TRUE(env.OpenFile(path, kReadWrite, kShareRead, Disposition::kCreateAlways, &h, &existed).ok());
  EXPECT_TRUE(existed);
  EXPECT_NE(h, dead);
  char c = 0;
  std::size_t got = 7;
  EXPECT_FALSE(env.Seek(dead, 0).ok());
  EXPECT_FALSE(env.Write(dead, "x", 1).ok());
  EXPECT_FALSE(env.Truncate(dead).ok());
  EXPECT_FALSE(env.Read(dead, &c, 1, &got).ok());
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(env.Close(dead).IsNotFound()) << "a closed handle stays closed";
  EXPECT_EQ(Attempt(env, "delete", path), "delete sharing-violation");
  ASSERT_TRUE(env.Write(h, "new", 3).ok());
  ASSERT_TRUE(env.Close(h).ok());
  EXPECT_EQ(dir_.Read("io.dat"), "new");  // emptied first

  // The system reads a name up to its first NUL: cut short there, it would name another file.
  const std::string cut = dir_ / std::string("io.dat\0.lck", 11);
  std::vector<DirEntry> found;
  EXPECT_FALSE(env.OpenFile(cut, kWrite, kShareNone, Disposition::kCreateAlways, &h, nullptr).ok());
  EXPECT_FALSE(env.DeleteFile(cut).ok());
  EXPECT_FALSE(env.CopyFile(dir_.Write("b.dat", "b"), cut, true).ok());
  EXPECT_FALSE(env.FindFiles(dir_.path(), std::string("*\0.x", 4), &found).ok());
  EXPECT_FALSE(env.CanEnterDirectory(dir_.path() + std::string("\0", 1)));
  EXPECT_EQ(h, kNoFile);
  EXPECT_EQ(dir_.Read("io.dat"), "new");
}

TEST_F(EnvContractTest, DirectoriesAreMadeEnteredAndRemovedAndTheSystemsOwnAreThere) {
  const std::string dir = dir_ / "Models", inner = dir + kSep + "inner.dat", file = dir_.Write("rel.dat", "x");
  FileInfo info;
  ASSERT_TRUE(env.CreateDirectory(dir).ok());
  EXPECT_TRUE(env.CanEnterDirectory(dir));
  EXPECT_TRUE(env.CanEnterDirectory(dir + kSep));
  EXPECT_FALSE(env.CanEnterDirectory(file));
  ASSERT_TRUE(env.GetFileInfo(dir, &info).ok());
  EXPECT_TRUE(info.is_directory);
  ASSERT_TRUE(env.CopyFile(file, inner, false).ok());
  EXPECT_FALSE(env.RemoveDirectory(dir).ok());
  ASSERT_TRUE(env.DeleteFile(inner).ok());
  ASSERT_TRUE(env.RemoveDirectory(dir).ok());
  EXPECT_FALSE(env.CanEnterDirectory(dir));

  // Relative names follow the current directory.
  std::string before, now;
  ASSERT_TRUE(env.GetCurrentDirectory(&before).ok());
  ASSERT_TRUE(env.SetCurrentDirectory(dir_.path()).ok());
  const std::string content =
      Attempt(env, "read", "rel.dat") + (env.GetCurrentDirectory(&now).ok() ? "" : ", no current directory");
  ASSERT_TRUE(env.SetCurrentDirectory(before).ok());  // before anything can stop the test
  EXPECT_EQ(content, "read x");
  EXPECT_EQ(Attempt(env, "read", now + kSep + "rel.dat"), "read x") << now;  // the same directory, however spelled

  const std::string temp = env.TempPath(), mine = env.UserTempPath(), program = env.ExecutablePath();
  for (const std::string& d : {temp, mine}) {
    EXPECT_EQ(d.empty() ? '\0' : d.back(), kSep) << d;
    EXPECT_TRUE(env.CanEnterDirectory(d)) << d;
  }
  EXPECT_EQ(mine.rfind(temp, 0), 0u) << mine;  // the user's own lies inside the system's
  ASSERT_TRUE(env.GetFileInfo(program, &info).ok()) << program;
  EXPECT_FALSE(info.is_directory);
  EXPECT_GT(info.size, 0u);
  std::string user, computer;
  EXPECT_TRUE(env.UserName(&user).ok());
  EXPECT_TRUE(env.ComputerName(&computer).ok());
  EXPECT_NE(user, "");
  EXPECT_NE(computer, "");
  EXPECT_EQ(computer.find('.'), std::string::npos) << computer;
  std::uint64_t free = 0;  // what the volume itself says, within what others may write meanwhile
  ASSERT_TRUE(env.FreeSpace(dir_.path(), &free).ok());
  EXPECT_NEAR(static_cast<double>(free), static_cast<double>(std::filesystem::space(dir_.path()).available), 64e6);
}

// Names and patterns without regard to case: the file system's own on Windows, emulated on POSIX;
// "*.*" matches names without a dot too.
TEST_F(EnvContractTest, NamesAndPatternsMatchWithoutRegardToCase) {
  const std::string sub = dir_ / "Sub", upper = dir_ / "SUB" + kSep + "PUMP.TTC";
  ASSERT_TRUE(env.CreateDirectory(sub).ok());
  ASSERT_TRUE(env.CreateDirectory(sub + kSep + "Docs").ok());
  const std::string lower = dir_.Write(std::string("Sub") + kSep + "pump.ttc", "pump");
  EXPECT_EQ(Attempt(env, "read", upper), "read pump");
  FileInfo info;
  ASSERT_TRUE(env.GetFileInfo(upper, &info).ok());
  EXPECT_EQ(info.size, 4u);
  FileHandle h = kNoFile;
  // One file, whichever spelling: a holder under one name keeps writers under another out.
  ASSERT_TRUE(OpenExclusiveWriter(env, lower, &h).ok());
  EXPECT_EQ(Attempt(env, "write", upper), "write sharing-violation");
  EXPECT_TRUE(env.Close(h).ok());
  ASSERT_TRUE(env.CopyFile(upper, dir_ / "copy.ttc", false).ok());
  ASSERT_TRUE(env.CopyFile(dir_.Write("fresh.ttc", "fresh"), upper, true).ok());
  EXPECT_EQ(dir_.Read("copy.ttc"), "pump");
  EXPECT_EQ(dir_.Read(std::string("Sub") + kSep + "pump.ttc"), "fresh");
  // A new file goes into the directory that exists, under the name as given.
  ASSERT_TRUE(OpenExclusiveWriter(env, dir_ / "SUB" + kSep + "New.Txt", &h, Disposition::kCreateAlways).ok());
  EXPECT_TRUE(env.Close(h).ok());
  dir_.Write(std::string("Sub") + kSep + "README", "");
  const std::vector<std::string> all = {".", "..", "Docs", "New.Txt", "README", "pump.ttc"};
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"*.t??", {"New.Txt", "pump.ttc"}}, {"?UMP.T?C", {"pump.ttc"}}, {"d*", {"Docs"}}, {"*.*", all}, {"*", all}};
  std::vector<DirEntry> found;
  for (const auto& [pattern, names] : cases) {
    EXPECT_TRUE(env.FindFiles(dir_ / "sub", pattern, &found).ok()) << pattern;
    std::vector<std::string> got;
    for (const DirEntry& e : found) got.push_back(e.name);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, names) << pattern;
  }
  ASSERT_TRUE(env.DeleteFile(upper).ok());
  EXPECT_FALSE(dir_.Exists(lower.substr(dir_.path().size())));
}

// POSIX file systems can hold two folders that differ only in letter case: they are two places.
TEST_F(EnvContractTest, AnExactFolderWinsOverOneInAnotherCase) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows folders differ in more than letter case";
#else
  ASSERT_TRUE(env.CreateDirectory(dir_ / "Models").ok());
  // Through the port "models" is "Models": only the file system itself makes the second folder.
  EXPECT_EQ(env.CreateDirectory(dir_ / "models").kind(), ErrorKind::kAlreadyExists);
  ASSERT_TRUE(std::filesystem::create_directory(dir_ / "models"));
  const std::string source = dir_.Write("source.dat", "data");
  ASSERT_TRUE(env.CopyFile(source, dir_ / "models/new.dat", true).ok());
  EXPECT_TRUE(dir_.Exists("models/new.dat"));
  EXPECT_FALSE(dir_.Exists("Models/new.dat"));
  // A name that exists only in other cases is found, the same one whatever the directory's order:
  // the smallest in byte order, for folders and files alike.
  ASSERT_TRUE(env.CopyFile(source, dir_ / "MODELS/other.dat", true).ok());
  EXPECT_TRUE(dir_.Exists("Models/other.dat"));
  dir_.Write("Models/pump.ttc", "lower");
  dir_.Write("Models/PUMP.ttc", "upper");
  EXPECT_EQ(Attempt(env, "read", dir_ / "Models/Pump.TTC"), "read upper");
#endif
}

TEST_F(EnvContractTest, CopyKeepsContentTimeAndTheReadOnlyAttributeWhichKeepsEveryWriterOut) {
  std::string content(5 * 1024 * 1024 + 321, '\0');
  std::mt19937 gen(7);
  for (char& c : content) c = static_cast<char>(gen());
  const std::string src = dir_.Write("big.dat", content), dst = dir_ / "big-copy.dat";
  // A time well in the past, so that a copy stamped "now" cannot pass for one that kept it.
  test::Age(src, 50);
  ASSERT_TRUE(env.SetReadOnly(src, true).ok());
  ASSERT_TRUE(env.CopyFile(src, dst, false).ok());
  FileInfo from, to;
  ASSERT_TRUE(env.GetFileInfo(src, &from).ok());
  ASSERT_TRUE(env.GetFileInfo(dst, &to).ok());
  EXPECT_EQ(to.mtime, from.mtime) << to.mtime.seconds;
  EXPECT_EQ(to.size, content.size());
  EXPECT_TRUE(to.read_only);

  // Read-only refuses writers, deletion and copies over it, even to administrators.
  FileHandle h = kNoFile;
  for (const Status& s : {OpenSharedWriter(env, dst, &h), OpenExclusiveWriter(env, dst, &h, Disposition::kCreateAlways),
                          env.DeleteFile(dst), env.CopyFile(src, dst, true)})
    ExpectKindAndSystemText(env, s, ErrorKind::kAccessDenied);
  EXPECT_EQ(h, kNoFile);
  EXPECT_TRUE(Attempt(env, "read", dst) == "read " + content);  // exact, and not emptied
  ASSERT_TRUE(env.SetReadOnly(dst, false).ok());
  ASSERT_TRUE(env.CopyFile(dir_.Write("small.dat", "small"), dst, true).ok());
  ASSERT_TRUE(env.GetFileInfo(dst, &to).ok());
  EXPECT_FALSE(to.read_only);
  EXPECT_EQ(dir_.Read("big-copy.dat"), "small");
}

// Write-backs into the model folder, in the folder the lock tests use: on a share, scripts/test-smb
// runs them as EnvReplaceTest/*, the name a typed suite (of the one adapter) gives them.
template <typename>
class EnvReplaceTest : public ::testing::Test {};
struct SystemName {
  template <typename>
  static std::string GetName(int) { return "System"; }
};
TYPED_TEST_SUITE(EnvReplaceTest, ::testing::Types<Env>, SystemName);

// Afterwards the target is whole and new or whole and old, and nothing else is left there; alone,
// and in the middle of a run (ReplaceWithCopies), where the first is replaced whatever it meets and
// the last only after it.
TYPED_TEST(EnvReplaceTest, ReplaceWithCopyLeavesTheTargetWholeAndNewOrWholeAndOld) {
  Env& env = System();
  enum Setup { kExisting, kMissing, kLeftover, kReader, kOtherCase, kExclusiveWriter, kTempHeld, kReadOnly, kNoSource };
  const std::pair<Setup, ErrorKind> cases[] = {
      {kExisting, ErrorKind::kNone}, {kMissing, ErrorKind::kNone}, {kLeftover, ErrorKind::kNone},
      {kReader, ErrorKind::kNone}, {kOtherCase, ErrorKind::kNone}, {kExclusiveWriter, ErrorKind::kSharingViolation},
      {kTempHeld, ErrorKind::kSharingViolation}, {kReadOnly, ErrorKind::kAccessDenied},
      {kNoSource, ErrorKind::kNotFound}};
  const std::string temp_name = ReplacementTempName("pump.dat");
  for (const auto& [setup, kind] : cases)
  for (const bool run : {false, true}) {
    SCOPED_TRACE(std::to_string(setup) + (run ? " in a run" : " alone"));
    test::ModelFolder dir;
    test::TempDir local;  // the working copy, written back into the model folder
    // Old and read-only: a copy stamped "now", or one that dropped the attribute, does not pass.
    const std::string source = local.Write("new.dat", "new content"), target = dir / "pump.dat";
    test::Age(source, 50);
    ASSERT_TRUE(env.SetReadOnly(source, true).ok());
    if (setup != kMissing) dir.Write("pump.dat", "old");
    if (setup == kLeftover || setup == kTempHeld) dir.Write(temp_name, "left by a killed replacement, longer");
    if (setup == kReadOnly) ASSERT_TRUE(env.SetReadOnly(target, true).ok());
    FileHandle h = kNoFile;
    if (setup == kReader)
      ASSERT_TRUE(env.OpenFile(target, kRead, kShareRead | kShareWrite, Disposition::kOpenExisting, &h, nullptr).ok());
    if (setup == kExclusiveWriter || setup == kTempHeld)
      ASSERT_TRUE(OpenExclusiveWriter(env, setup == kTempHeld ? dir / temp_name : target, &h).ok());

    const std::pair<std::string, std::string> pair{setup == kNoSource ? local / "gone.dat" : source,
                                                   setup == kOtherCase ? dir / "PUMP.DAT" : target};
    std::size_t done = 0;
    const Status s = !run ? env.ReplaceWithCopy(pair.first, pair.second)
                          : env.ReplaceWithCopies({{local.Write("a.dat", "first"), dir / "a.dat"}, pair,
                                                   {local.Write("z.dat", "last"), dir / "z.dat"}},
                                                  [] { return true; }, &done);
    if (h != kNoFile) EXPECT_TRUE(env.Close(h).ok());
    if (run) EXPECT_EQ(done, s.ok() ? 3u : 1u);
    const std::string first = run ? "a.dat " : "", last = run && s.ok() ? "z.dat " : "";
    if (run) EXPECT_EQ(dir.Read("a.dat"), "first");
    if (kind != ErrorKind::kNone) ExpectKindAndSystemText(env, s, kind);
    EXPECT_TRUE(s.ok() == (kind == ErrorKind::kNone)) << s.ToString();
    EXPECT_EQ(dir.Read("pump.dat"), s.ok() ? "new content" : "old");
    // The target under the name it had, and no temporary file but one that another replacement holds.
    const std::string held = setup == kTempHeld ? temp_name + " " : "";
    EXPECT_EQ(test::DirectoryNames(dir.path()), first + "pump.dat " + last + held);
    FileInfo from, to;
    ASSERT_TRUE(env.GetFileInfo(source, &from).ok());
    ASSERT_TRUE(env.GetFileInfo(target, &to).ok());
    // Written in place beside a reader on a share, the server may take our close after the stamp
    // and stamp it "now": the data is what counts there.
    const bool server_times = setup == kReader && !test::ModelFolder::SharePath().empty();
    if (s.ok() && !server_times) EXPECT_EQ(to.mtime, from.mtime) << to.mtime.seconds;
    if (s.ok()) EXPECT_TRUE(to.read_only);
    // The name just made is known at once, in any case: no second spelling is made beside it.
    if (setup == kMissing && s.ok()) {
      EXPECT_TRUE(env.SetReadOnly(target, false).ok());
      EXPECT_TRUE(env.ReplaceWithCopy(source, dir / "PUMP.DAT").ok());
      EXPECT_EQ(test::DirectoryNames(dir.path()), first + "pump.dat " + last);
    }
  }
}

// Starts with "~" and differs from the name within its first two characters, without regard to case:
// never one of the files of a model whose name has two or more.
TEST(ReplacementTempNameTest, NeverStartsLikeTheTargetsName) {
  for (const std::string name : {"pump.dat", "P", "~pump.dat", "~~", "~-~", "~+x"}) {
    const std::string temp = ReplacementTempName(name), lower = text::LowerCase(name);
    EXPECT_EQ(temp[0], '~') << name;
    EXPECT_NE(text::LowerCase(temp).substr(0, 2), lower.substr(0, 2)) << name;
  }
}

// A copy that fails half-way (this process's memory cannot be read at address 0) deletes only a
// file it made itself, and a replacement leaves the target as it was.
TYPED_TEST(EnvReplaceTest, AFailedCopyDeletesOnlyAFileItMade) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a file that fails while it is read: /proc/self/mem";
#else
  Env& env = System();
  test::ModelFolder dir;
  const std::string broken = "/proc/self/mem", made = dir / "made.dat";
  const std::string kept = dir.Write("kept.dat", "old"), replaced = dir.Write("replaced.dat", "old");
  for (const Status& s : {env.CopyFile(broken, kept, true), env.CopyFile(broken, made, false),
                          env.ReplaceWithCopy(broken, replaced), env.ReplaceWithCopy(broken, made)})
    EXPECT_FALSE(s.ok());
  EXPECT_EQ(test::DirectoryNames(dir.path()), "kept.dat replaced.dat ");
  EXPECT_EQ(dir.Read("replaced.dat"), "old");
#endif
}

}  // namespace
}  // namespace miradel::platform
