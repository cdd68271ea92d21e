// The contract every platform adapter keeps: one typed suite, run against each adapter present, so the
// POSIX emulation and the real Win32 behaviour are held to the same expectations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "platform/env.h"
#include "support/fault_env.h"
#include "support/child.h"
#include "support/temp_dir.h"

namespace miradel::platform {
namespace {

using test::FaultEnv;
using test::Op;

using ::testing::ElementsAre;
using test::ChildProcess;

constexpr int kChildMs = 60000;

std::string Join(const std::string& a, const std::string& b) {
  return (!a.empty() && a.back() == kSep) ? a + b : a + kSep + b;
}

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

// Opens as a reader that shares reading and writing, reads everything, closes; "<kind>" on failure.
std::string ReadShared(Env& env, const std::string& path) {
  FileHandle h = kNoFile;
  Status s = env.OpenFile(path, kRead, kShareRead | kShareWrite, Disposition::kOpenExisting, &h, nullptr);
  if (!s.ok()) return std::string("<") + KindName(s.kind()) + ">";
  std::string content = ReadAll(env, h);
  EXPECT_TRUE(env.Close(h).ok());
  return content;
}

// What one attempt to get at a file gave; the handle, if any, is closed at once.
std::string Attempt(Env& env, const std::string& op, const std::string& path) {
  FileHandle h = kNoFile;
  Status s;
  if (op == "write") s = OpenSharedWriter(env, path, &h);
  else if (op == "exclusive") s = OpenExclusiveWriter(env, path, &h);
  else if (op == "create") s = OpenExclusiveWriter(env, path, &h, Disposition::kCreateAlways);
  else if (op == "delete") s = env.DeleteFile(path);
  else if (op == "read") return "read " + ReadShared(env, path);
  else return op + " unknown";
  if (h != kNoFile) EXPECT_TRUE(env.Close(h).ok());
  return op + " " + KindName(s.kind());
}

// Second user: holds the file as an exclusive writer until its input is closed.
MIRADEL_CHILD(hold_exclusive) {
  FileHandle h = kNoFile;
  Status s = args.size() == 1 ? OpenExclusiveWriter(System(), args[0], &h) : Status::Error(ErrorKind::kOther, 0, "");
  std::printf("%s\n", s.ok() ? "ready" : KindName(s.kind()));
  for (std::string line; s.ok() && std::getline(std::cin, line);) {
  }
  System().Close(h).IgnoreError();
  return s.ok() ? 0 : 1;
}

// Second user: tries each operation named after the path and prints what it got, one line each.
MIRADEL_CHILD(probe) {
  for (std::size_t i = 1; i < args.size(); ++i) std::printf("%s\n", Attempt(System(), args[i], args[0]).c_str());
  return args.empty() ? 2 : 0;
}

std::vector<std::string> ProbeFromAnotherProcess(const std::string& path, std::vector<std::string> ops) {
  ops.insert(ops.begin(), path);
  auto child = test::StartChild("probe", ops);
  if (!child) return {"cannot start the child"};
  std::vector<std::string> lines;
  bool ok = true;
  for (std::string line = child->ReadLine(kChildMs, &ok); ok; line = child->ReadLine(kChildMs, &ok))
    lines.push_back(line);
  EXPECT_EQ(child->Wait(kChildMs), 0);
  return lines;
}

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const DirEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

void ExpectKindAndSystemText(Env& env, const Status& s, ErrorKind kind) {
  EXPECT_EQ(s.kind(), kind) << KindName(s.kind()) << ": " << s.message();
  EXPECT_NE(s.code(), 0);
  EXPECT_FALSE(s.message().empty());
  EXPECT_EQ(s.message(), env.ErrorText(s.code()));
}

// The adapters under test. Each is a small factory, so that wrapped adapters can join the list.
struct SystemAdapter {
  static constexpr const char* kName = "System";
  Env* get() { return &System(); }
};
struct FaultWrappedAdapter {  // a FaultEnv without faults must be invisible
  static constexpr const char* kName = "FaultWrapped";
  FaultEnv env{&System()};
  Env* get() { return &env; }
};
using Adapters = ::testing::Types<SystemAdapter, FaultWrappedAdapter>;
struct AdapterNames {
  template <typename T>
  static std::string GetName(int) { return T::kName; }
};

template <typename A>
class EnvContractTest : public ::testing::Test {
 protected:
  Env& env() { return *adapter_.get(); }
  std::string Path(const std::string& name) const { return dir_ / name; }

  test::TempDir dir_;
  A adapter_;
};
TYPED_TEST_SUITE(EnvContractTest, Adapters, AdapterNames);

// ---- Sharing ---------------------------------------------------------------------------------------

TYPED_TEST(EnvContractTest, ExclusiveWriterKeepsEveryOtherWriterAndDeleterOutReadersIn) {
  Env& env = this->env();
  const std::string path = this->dir_.Write("model.dat", "model data"), other = this->dir_.Write("other.dat", "other");
  FileHandle h = kNoFile;
  ASSERT_TRUE(OpenExclusiveWriter(env, path, &h).ok());
  // Other handles of this process. Each attempt opens and closes a descriptor of the file, which
  // must not drop the lock as POSIX process locks would.
  for (const char* op : {"write", "exclusive", "create", "delete"})
    EXPECT_EQ(Attempt(env, op, path), std::string(op) + " sharing-violation");
  EXPECT_EQ(env.CopyFile(other, path, true).kind(), ErrorKind::kSharingViolation);
  EXPECT_EQ(ReadShared(env, path), "model data");
  EXPECT_THAT(ProbeFromAnotherProcess(path, {"write", "exclusive", "create", "delete", "read"}),
              ElementsAre("write sharing-violation", "exclusive sharing-violation", "create sharing-violation",
                          "delete sharing-violation", "read model data"));
  // The refused creates did not empty the file under its holder.
  ASSERT_TRUE(env.Seek(h, 0).ok());
  EXPECT_EQ(ReadAll(env, h), "model data");
  EXPECT_TRUE(env.Close(h).ok());

  // Writers that share writing coexist, and keep an exclusive writer out until both are gone.
  FileHandle w1 = kNoFile, w2 = kNoFile;
  ASSERT_TRUE(OpenSharedWriter(env, path, &w1).ok());
  ASSERT_TRUE(OpenSharedWriter(env, path, &w2).ok());
  EXPECT_EQ(Attempt(env, "exclusive", path), "exclusive sharing-violation");
  EXPECT_TRUE(env.Close(w1).ok());
  EXPECT_EQ(Attempt(env, "exclusive", path), "exclusive sharing-violation");
  EXPECT_TRUE(env.Close(w2).ok());
  EXPECT_THAT(ProbeFromAnotherProcess(path, {"exclusive", "delete"}), ElementsAre("exclusive ok", "delete ok"));
  EXPECT_FALSE(this->dir_.Exists("model.dat"));
}

TYPED_TEST(EnvContractTest, ExclusiveWriterInAnotherProcessKeepsThisOneOut) {
  Env& env = this->env();
  const std::string path = this->dir_.Write("model.dat", "model data"), other = this->dir_.Write("other.dat", "other");
  FileHandle h = kNoFile;
  ASSERT_TRUE(OpenExclusiveWriter(env, other, &h).ok());
  auto child = test::StartChild("hold_exclusive", {path});
  ASSERT_TRUE(child);
  ASSERT_EQ(child->ReadLine(kChildMs), "ready");
  EXPECT_TRUE(env.Close(h).ok());
  // A copy of that handle inherited by the child would still hold the file.
  EXPECT_EQ(Attempt(env, "exclusive", other), "exclusive ok");

  for (const Status& s : {OpenSharedWriter(env, path, &h), OpenExclusiveWriter(env, path, &h),
                          OpenExclusiveWriter(env, path, &h, Disposition::kOpenAlways),
                          OpenExclusiveWriter(env, path, &h, Disposition::kCreateAlways), env.DeleteFile(path),
                          env.CopyFile(other, path, true)}) {
    ExpectKindAndSystemText(env, s, ErrorKind::kSharingViolation);
    EXPECT_EQ(h, kNoFile);
  }
  EXPECT_EQ(ReadShared(env, path), "model data");
  child->CloseInput();
  EXPECT_EQ(child->Wait(kChildMs), 0);
}

TYPED_TEST(EnvContractTest, FailuresTellTheirKindInTheSystemsWords) {
  Env& env = this->env();
  std::string file = this->dir_.Write("file.dat", "x");
  std::string missing = this->Path("missing.dat");
  FileHandle h = kNoFile;
  FileInfo info;
  std::vector<DirEntry> entries;
  ASSERT_TRUE(env.CopyFile(file, file + ".copy", false).ok());
  const std::pair<Status, ErrorKind> cases[] = {
      {env.OpenFile(missing, kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr), ErrorKind::kNotFound},
      {OpenExclusiveWriter(env, Join(this->Path("no-dir"), "f.dat"), &h, Disposition::kOpenAlways),
       ErrorKind::kNotFound},
      {env.DeleteFile(missing), ErrorKind::kNotFound}, {env.GetFileInfo(missing, &info), ErrorKind::kNotFound},
      {env.FindFiles(this->Path("no-dir"), "*", &entries), ErrorKind::kNotFound},
      {env.CopyFile(missing, this->Path("copy.dat"), true), ErrorKind::kNotFound},
      {env.SetCurrentDirectory(this->Path("no-dir")), ErrorKind::kNotFound},
      {env.CreateDirectory(this->dir_.path()), ErrorKind::kAlreadyExists},
      {env.CopyFile(file, file + ".copy", false), ErrorKind::kAlreadyExists},
  };
  for (const auto& [status, kind] : cases) ExpectKindAndSystemText(env, status, kind);
  EXPECT_EQ(h, kNoFile);
  EXPECT_FALSE(this->dir_.Exists("copy.dat"));
}

// ---- Files, handles, directories -------------------------------------------------------------------

// Handle values are never reused: a stale copy of a closed handle (lock slots are copied whole)
// must not reach, or close and so unlock, a file opened later.
TYPED_TEST(EnvContractTest, FileIoDeadHandlesAndNamesWithANul) {
  Env& env = this->env();
  std::string path = this->Path("io.dat");
  FileHandle h = kNoFile;
  bool existed = true;
  ASSERT_TRUE(env.OpenFile(path, kReadWrite, kShareRead, Disposition::kOpenAlways, &h, &existed).ok());
  EXPECT_FALSE(existed);
  ASSERT_TRUE(env.Write(h, "hello world", 11).ok());
  ASSERT_TRUE(env.Seek(h, 6).ok());
  EXPECT_EQ(ReadAll(env, h), "world");
  ASSERT_TRUE(env.Seek(h, 5).ok());
  ASSERT_TRUE(env.Truncate(h).ok());
  EXPECT_TRUE(env.Close(h).ok());
  EXPECT_EQ(this->dir_.Read("io.dat"), "hello");
  ASSERT_TRUE(env.OpenFile(path, kReadWrite, kShareRead, Disposition::kOpenAlways, &h, &existed).ok());
  EXPECT_TRUE(existed);
  EXPECT_EQ(ReadAll(env, h), "hello");
  EXPECT_TRUE(env.Close(h).ok());
  const FileHandle dead = h;
  ASSERT_TRUE(env.OpenFile(path, kReadWrite, kShareRead, Disposition::kCreateAlways, &h, &existed).ok());
  EXPECT_TRUE(existed);
  EXPECT_NE(dead, h);
  EXPECT_FALSE(env.Seek(dead, 0).ok() || env.Write(dead, "x", 1).ok() || env.Truncate(dead).ok());
  char c = 0;
  std::size_t got = 7;
  EXPECT_FALSE(env.Read(dead, &c, 1, &got).ok());
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(env.Close(dead).IsNotFound()) << "a closed handle stays closed";
  EXPECT_EQ(Attempt(env, "delete", path), "delete sharing-violation");
  ASSERT_TRUE(env.Write(h, "new", 3).ok());
  EXPECT_TRUE(env.Close(h).ok());
  EXPECT_EQ(this->dir_.Read("io.dat"), "new");  // emptied first

  // The system reads a name up to its first NUL: cut short there, it would name another file.
  const std::string cut = this->Path(std::string("io.dat\0.lck", 11));
  EXPECT_FALSE(env.OpenFile(cut, kWrite, kShareNone, Disposition::kCreateAlways, &h, nullptr).ok());
  EXPECT_EQ(h, kNoFile);
  EXPECT_FALSE(env.DeleteFile(cut).ok());
  EXPECT_FALSE(env.CopyFile(this->dir_.Write("b.dat", "b"), cut, true).ok());
  std::vector<DirEntry> found;
  EXPECT_FALSE(env.FindFiles(this->dir_.path(), std::string("*\0.x", 4), &found).ok());
  EXPECT_FALSE(env.CanEnterDirectory(this->dir_.path() + std::string("\0", 1)));
  EXPECT_EQ(this->dir_.Read("io.dat"), "new");
}

TYPED_TEST(EnvContractTest, DirectoriesAreMadeEnteredAndRemovedButNotOpenedAsFiles) {
  Env& env = this->env();
  std::string dir = this->Path("Models");
  std::string file = this->dir_.Write("plain.dat", "x");
  ASSERT_TRUE(env.CreateDirectory(dir).ok());
  EXPECT_TRUE(env.CanEnterDirectory(dir));
  EXPECT_TRUE(env.CanEnterDirectory(dir + kSep));
  EXPECT_FALSE(env.CanEnterDirectory(file));
  FileInfo info;
  ASSERT_TRUE(env.GetFileInfo(dir, &info).ok());
  EXPECT_TRUE(info.is_directory);
  EXPECT_EQ(ReadShared(env, dir), "<access-denied>");
  EXPECT_EQ(env.DeleteFile(dir).kind(), ErrorKind::kAccessDenied);

  std::string inner = Join(dir, "inner.dat");
  ASSERT_TRUE(env.CopyFile(file, inner, false).ok());
  EXPECT_FALSE(env.RemoveDirectory(dir).ok());
  ASSERT_TRUE(env.DeleteFile(inner).ok());
  EXPECT_TRUE(env.RemoveDirectory(dir).ok());
  EXPECT_FALSE(env.CanEnterDirectory(dir));

  // Relative names follow the current directory.
  this->dir_.Write("rel.dat", "relative");
  std::string before, now;
  ASSERT_TRUE(env.GetCurrentDirectory(&before).ok());
  ASSERT_TRUE(env.SetCurrentDirectory(this->dir_.path()).ok());
  std::string content = ReadShared(env, "rel.dat");
  Status got = env.GetCurrentDirectory(&now);
  ASSERT_TRUE(env.SetCurrentDirectory(before).ok());  // before anything can stop the test
  EXPECT_EQ(content, "relative");
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(ReadShared(env, Join(now, "rel.dat")), "relative") << now;  // the same directory, however spelled
}

TYPED_TEST(EnvContractTest, ReportsTheSystemsPathsAndNames) {
  Env& env = this->env();
  const std::string temp = env.TempPath(), mine = env.UserTempPath();
  for (const std::string& dir : {temp, mine}) {
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), kSep) << dir;
    EXPECT_TRUE(env.CanEnterDirectory(dir)) << dir;
  }
  EXPECT_EQ(mine.rfind(temp, 0), 0u) << mine;  // the user's own lies inside the system's
  FileInfo info;
  ASSERT_TRUE(env.GetFileInfo(env.ExecutablePath(), &info).ok()) << env.ExecutablePath();
  EXPECT_FALSE(info.is_directory);
  EXPECT_GT(info.size, 0u);
  std::string user, computer;
  ASSERT_TRUE(env.UserName(&user).ok());
  ASSERT_TRUE(env.ComputerName(&computer).ok());
  EXPECT_FALSE(user.empty() || computer.empty());
  EXPECT_EQ(computer.find('.'), std::string::npos);
}

// ---- Names without regard to case (the file system's own on Windows, emulated on POSIX) -----------

TYPED_TEST(EnvContractTest, NamesResolveWithoutRegardToCase) {
  Env& env = this->env();
  ASSERT_TRUE(env.CreateDirectory(this->Path("Sub")).ok());
  std::string lower = this->dir_.Write(Join("Sub", "pump.ttc"), "pump");
  std::string upper = Join(this->Path("SUB"), "PUMP.TTC");

  EXPECT_EQ(ReadShared(env, upper), "pump");
  FileInfo info;
  ASSERT_TRUE(env.GetFileInfo(upper, &info).ok());
  EXPECT_EQ(info.size, 4u);
  FileHandle h = kNoFile;
  bool existed = false;
  ASSERT_TRUE(env.OpenFile(upper, kRead, kShareRead | kShareWrite, Disposition::kOpenAlways, &h, &existed).ok());
  EXPECT_TRUE(env.Close(h).ok());
  EXPECT_TRUE(existed);

  // One file, whichever spelling: a holder under one name keeps writers under another out.
  ASSERT_TRUE(OpenExclusiveWriter(env, lower, &h).ok());
  EXPECT_EQ(Attempt(env, "write", upper), "write sharing-violation");
  EXPECT_TRUE(env.Close(h).ok());

  ASSERT_TRUE(env.CopyFile(upper, this->Path("copy.ttc"), false).ok());
  EXPECT_EQ(this->dir_.Read("copy.ttc"), "pump");
  ASSERT_TRUE(env.CopyFile(this->dir_.Write("fresh.ttc", "fresh"), upper, true).ok());
  EXPECT_EQ(this->dir_.Read(Join("Sub", "pump.ttc")), "fresh");

  // A new file goes into the directory that exists, under the name as given.
  ASSERT_TRUE(OpenExclusiveWriter(env, Join(this->Path("SUB"), "New.Txt"), &h, Disposition::kCreateAlways).ok());
  EXPECT_TRUE(env.Close(h).ok());
  std::vector<DirEntry> found;
  ASSERT_TRUE(env.FindFiles(this->dir_.path(), "s*", &found).ok());
  EXPECT_THAT(Names(found), ElementsAre("Sub"));
  ASSERT_TRUE(env.FindFiles(this->Path("sub"), "*.t??", &found).ok());
  EXPECT_THAT(Names(found), ElementsAre("New.Txt", "pump.ttc"));

  ASSERT_TRUE(env.DeleteFile(upper).ok());
  EXPECT_FALSE(this->dir_.Exists(Join("Sub", "pump.ttc")));
}

TYPED_TEST(EnvContractTest, WildcardSearchIgnoresCaseAndStarDotStarMatchesEverything) {
  Env& env = this->env();
  for (const char* name : {"Alpha.DAT", "beta.dat", "README", "gamma.txt"}) this->dir_.Write(name, name);
  ASSERT_TRUE(env.CreateDirectory(this->Path("Docs")).ok());
  std::vector<DirEntry> found;
  ASSERT_TRUE(env.FindFiles(this->dir_.path(), "*.dat", &found).ok());
  EXPECT_THAT(Names(found), ElementsAre("Alpha.DAT", "beta.dat"));
  ASSERT_TRUE(env.FindFiles(this->dir_.path(), "?ETA.D?T", &found).ok());
  EXPECT_THAT(Names(found), ElementsAre("beta.dat"));
  for (const char* all : {"*.*", "*"}) {
    ASSERT_TRUE(env.FindFiles(this->dir_.path(), all, &found).ok());
    EXPECT_THAT(Names(found), ElementsAre(".", "..", "Alpha.DAT", "Docs", "README", "beta.dat", "gamma.txt")) << all;
  }
  ExpectKindAndSystemText(env, env.FindFiles(this->dir_.path(), "*.xyz", &found), ErrorKind::kNotFound);
  EXPECT_TRUE(found.empty());
}

#ifndef _WIN32
// POSIX file systems can hold two folders that differ only in letter case: they are two places.
TYPED_TEST(EnvContractTest, AnExactFolderWinsOverOneInAnotherCase) {
  Env& env = this->env();
  ASSERT_TRUE(env.CreateDirectory(this->Path("Models")).ok());
  // Through the port "models" is "Models": only the file system itself makes the second folder.
  EXPECT_EQ(env.CreateDirectory(this->Path("models")).kind(), ErrorKind::kAlreadyExists);
  ASSERT_TRUE(std::filesystem::create_directory(this->Path("models")));
  std::string source = this->dir_.Write("source.dat", "data");
  ASSERT_TRUE(env.CopyFile(source, this->Path("models/new.dat"), true).ok());
  EXPECT_TRUE(this->dir_.Exists("models/new.dat"));
  EXPECT_FALSE(this->dir_.Exists("Models/new.dat"));
  // A name that exists only in another case is still found.
  ASSERT_TRUE(env.CopyFile(source, this->Path("MODELS/other.dat"), true).ok());
  EXPECT_TRUE(this->dir_.Exists("Models/other.dat") || this->dir_.Exists("models/other.dat"));
}
#endif

// ---- Copying ---------------------------------------------------------------------------------------

TYPED_TEST(EnvContractTest, CopyKeepsContentTimeAndTheReadOnlyAttributeWhichKeepsEveryWriterOut) {
  Env& env = this->env();
  std::string content(5 * 1024 * 1024 + 321, '\0');
  std::mt19937 gen(7);
  for (char& c : content) c = static_cast<char>(gen());
  std::string src = this->dir_.Write("big.dat", content);
  std::string dst = this->Path("big-copy.dat");
  // A time well in the past, so that a copy stamped "now" cannot pass for one that kept it.
  namespace fs = std::filesystem;
  fs::last_write_time(fs::path(src), std::chrono::time_point_cast<std::chrono::seconds>(
                                         fs::file_time_type::clock::now() - std::chrono::hours(50)));
  ASSERT_TRUE(env.SetReadOnly(src, true).ok());
  ASSERT_TRUE(env.CopyFile(src, dst, false).ok());
  FileInfo from, to;
  ASSERT_TRUE(env.GetFileInfo(src, &from).ok());
  ASSERT_TRUE(env.GetFileInfo(dst, &to).ok());
  EXPECT_EQ(to.mtime_ns, from.mtime_ns);
  EXPECT_EQ(to.size, content.size());
  EXPECT_TRUE(to.read_only);

  // Read-only refuses writers, deletion and copies over it, even to administrators.
  FileHandle h = kNoFile;
  ExpectKindAndSystemText(env, OpenSharedWriter(env, dst, &h), ErrorKind::kAccessDenied);
  EXPECT_EQ(OpenExclusiveWriter(env, dst, &h, Disposition::kCreateAlways).kind(), ErrorKind::kAccessDenied);
  EXPECT_EQ(h, kNoFile);
  EXPECT_EQ(env.DeleteFile(dst).kind(), ErrorKind::kAccessDenied);
  ExpectKindAndSystemText(env, env.CopyFile(src, dst, true), ErrorKind::kAccessDenied);
  EXPECT_TRUE(ReadShared(env, dst) == content);  // exact, and not emptied

  ASSERT_TRUE(env.SetReadOnly(dst, false).ok());
  ASSERT_TRUE(env.CopyFile(this->dir_.Write("small.dat", "small"), dst, true).ok());
  EXPECT_EQ(this->dir_.Read("big-copy.dat"), "small");
  ASSERT_TRUE(env.GetFileInfo(dst, &to).ok());
  EXPECT_FALSE(to.read_only);
}

}  // namespace
}  // namespace miradel::platform
