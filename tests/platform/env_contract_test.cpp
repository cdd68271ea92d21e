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
#include "platform/fault_env.h"
#include "support/child.h"
#include "support/temp_dir.h"

namespace miradel::platform {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using test::ChildProcess;
using test::TempDir;

constexpr int kChildMs = 60000;

std::string Join(const std::string& a, const std::string& b) {
  return (!a.empty() && a.back() == kSep) ? a + b : a + kSep + b;
}

const char* KindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kNone: return "ok";
    case ErrorKind::kNotFound: return "not-found";
    case ErrorKind::kSharingViolation: return "sharing-violation";
    case ErrorKind::kAccessDenied: return "access-denied";
    case ErrorKind::kAlreadyExists: return "already-exists";
    default: return "other";
  }
}

// The ways the library opens a model file.
Status OpenExclusiveWriter(Env& env, const std::string& path, FileHandle* h, Disposition d = Disposition::kOpenExisting) {
  return env.OpenFile(path, kReadWrite, kShareRead, d, h, nullptr);
}
Status OpenSharedWriter(Env& env, const std::string& path, FileHandle* h) {
  return env.OpenFile(path, kWrite, kShareRead | kShareWrite, Disposition::kOpenExisting, h, nullptr);
}
Status OpenSharedReader(Env& env, const std::string& path, FileHandle* h) {
  return env.OpenFile(path, kRead, kShareRead | kShareWrite, Disposition::kOpenExisting, h, nullptr);
}

std::string ReadAll(Env& env, FileHandle h) {
  std::string out;
  char buf[4096];
  std::size_t got = 0;
  while (env.Read(h, buf, sizeof buf, &got).ok() && got > 0) out.append(buf, got);
  return out;
}

// Opens as a shared reader, reads everything, closes; "<kind>" on failure.
std::string ReadShared(Env& env, const std::string& path) {
  FileHandle h = kNoFile;
  Status s = OpenSharedReader(env, path, &h);
  if (!s.ok()) return std::string("<") + KindName(s.kind()) + ">";
  std::string content = ReadAll(env, h);
  env.Close(h);
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
  if (h != kNoFile) env.Close(h);
  return op + " " + KindName(s.kind());
}

// Second user: holds the file as an exclusive writer until its input is closed.
MIRADEL_CHILD(hold_exclusive) {
  if (args.size() != 1) return 2;
  FileHandle h = kNoFile;
  Status s = OpenExclusiveWriter(System(), args[0], &h);
  if (!s.ok()) {
    std::printf("failed %s\n", KindName(s.kind()));
    return 1;
  }
  std::printf("ready\n");
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  System().Close(h);
  return 0;
}

// Second user: tries each operation named after the path and prints what it got, one line each.
MIRADEL_CHILD(probe) {
  if (args.empty()) return 2;
  for (std::size_t i = 1; i < args.size(); ++i) std::printf("%s\n", Attempt(System(), args[i], args[0]).c_str());
  return 0;
}

std::vector<std::string> ProbeFromAnotherProcess(const std::string& path, std::vector<std::string> ops) {
  ops.insert(ops.begin(), path);
  auto child = ChildProcess::StartSelf("probe", ops);
  if (!child) return {"cannot start the child"};
  std::vector<std::string> lines;
  bool ok = true;
  for (;;) {
    std::string line = child->ReadLine(kChildMs, &ok);
    if (!ok) break;
    lines.push_back(line);
  }
  EXPECT_EQ(child->Wait(kChildMs), 0);
  return lines;
}

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const DirEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

void ExpectSystemText(Env& env, const Status& s) {
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

  TempDir dir_;
  A adapter_;
};
TYPED_TEST_SUITE(EnvContractTest, Adapters, AdapterNames);

// ---- Sharing ---------------------------------------------------------------------------------------

TYPED_TEST(EnvContractTest, ExclusiveWriterKeepsOtherProcessesFromWritingAndDeleting) {
  Env& env = this->env();
  std::string path = this->dir_.Write("model.dat", "model data");
  FileHandle h = kNoFile;
  ASSERT_TRUE(OpenExclusiveWriter(env, path, &h).ok());

  EXPECT_THAT(ProbeFromAnotherProcess(path, {"write", "exclusive", "create", "delete", "read"}),
              ElementsAre("write sharing-violation", "exclusive sharing-violation", "create sharing-violation",
                          "delete sharing-violation", "read model data"));
  // The refused create did not empty the file under its holder.
  ASSERT_TRUE(env.Seek(h, 0).ok());
  EXPECT_EQ(ReadAll(env, h), "model data");

  env.Close(h);
  EXPECT_THAT(ProbeFromAnotherProcess(path, {"exclusive", "delete"}), ElementsAre("exclusive ok", "delete ok"));
  EXPECT_FALSE(this->dir_.Exists("model.dat"));
}

TYPED_TEST(EnvContractTest, ExclusiveWriterInAnotherProcessKeepsThisOneOut) {
  Env& env = this->env();
  std::string path = this->dir_.Write("model.dat", "model data");
  std::string other = this->dir_.Write("other.dat", "other");
  auto child = ChildProcess::StartSelf("hold_exclusive", {path});
  ASSERT_TRUE(child);
  ASSERT_EQ(child->ReadLine(kChildMs), "ready");

  FileHandle h = kNoFile;
  for (const Status& s : {OpenSharedWriter(env, path, &h), OpenExclusiveWriter(env, path, &h),
                          OpenExclusiveWriter(env, path, &h, Disposition::kOpenAlways),
                          OpenExclusiveWriter(env, path, &h, Disposition::kCreateAlways), env.DeleteFile(path),
                          env.CopyFile(other, path, true)}) {
    EXPECT_EQ(s.kind(), ErrorKind::kSharingViolation) << KindName(s.kind());
    ExpectSystemText(env, s);
    EXPECT_EQ(h, kNoFile);
  }
  EXPECT_EQ(ReadShared(env, path), "model data");

  child->CloseInput();
  ASSERT_EQ(child->Wait(kChildMs), 0);
  ASSERT_TRUE(OpenExclusiveWriter(env, path, &h).ok());
  env.Close(h);
  EXPECT_TRUE(env.DeleteFile(path).ok());
}

TYPED_TEST(EnvContractTest, ExclusiveWriterKeepsOtherHandlesOfThisProcessOut) {
  Env& env = this->env();
  std::string path = this->dir_.Write("model.dat", "model data");
  std::string other = this->dir_.Write("other.dat", "other");
  FileHandle h = kNoFile;
  ASSERT_TRUE(OpenExclusiveWriter(env, path, &h).ok());
  for (const char* op : {"write", "exclusive", "create", "delete"})
    EXPECT_EQ(Attempt(env, op, path), std::string(op) + " sharing-violation");
  EXPECT_EQ(env.CopyFile(other, path, true).kind(), ErrorKind::kSharingViolation);
  EXPECT_EQ(ReadShared(env, path), "model data");
  env.Close(h);

  // Writers that share writing coexist, and keep an exclusive writer out until both are gone.
  FileHandle w1 = kNoFile, w2 = kNoFile;
  ASSERT_TRUE(OpenSharedWriter(env, path, &w1).ok());
  ASSERT_TRUE(OpenSharedWriter(env, path, &w2).ok());
  EXPECT_EQ(Attempt(env, "exclusive", path), "exclusive sharing-violation");
  env.Close(w1);
  EXPECT_EQ(Attempt(env, "exclusive", path), "exclusive sharing-violation");
  env.Close(w2);
  EXPECT_EQ(Attempt(env, "exclusive", path), "exclusive ok");
}

// POSIX process locks vanish when any descriptor of the file is closed; ours must not.
TYPED_TEST(EnvContractTest, LockSurvivesOtherHandlesOfTheFileBeingClosed) {
  Env& env = this->env();
  std::string path = this->dir_.Write("model.dat", "model data");
  FileHandle h = kNoFile;
  ASSERT_TRUE(OpenExclusiveWriter(env, path, &h).ok());
  EXPECT_EQ(ReadShared(env, path), "model data");
  EXPECT_EQ(ReadShared(env, path), "model data");
  EXPECT_EQ(Attempt(env, "write", path), "write sharing-violation");  // opened, refused, closed

  EXPECT_THAT(ProbeFromAnotherProcess(path, {"write", "delete"}),
              ElementsAre("write sharing-violation", "delete sharing-violation"));
  EXPECT_EQ(Attempt(env, "delete", path), "delete sharing-violation");
  env.Close(h);
}

TYPED_TEST(EnvContractTest, FailuresTellTheirKindInTheSystemsWords) {
  Env& env = this->env();
  std::string file = this->dir_.Write("file.dat", "x");
  std::string missing = this->Path("missing.dat");
  FileHandle h = kNoFile;
  FileInfo info;
  std::vector<DirEntry> entries;

  struct Case {
    Status status;
    ErrorKind kind;
  };
  std::vector<Case> cases = {
      {env.OpenFile(missing, kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr), ErrorKind::kNotFound},
      {env.OpenFile(Join(this->Path("no-dir"), "f.dat"), kReadWrite, kShareRead, Disposition::kOpenAlways, &h,
                    nullptr),
       ErrorKind::kNotFound},
      {env.DeleteFile(missing), ErrorKind::kNotFound},
      {env.GetFileInfo(missing, &info), ErrorKind::kNotFound},
      {env.FindFiles(this->Path("no-dir"), "*", &entries), ErrorKind::kNotFound},
      {env.CopyFile(missing, this->Path("copy.dat"), true), ErrorKind::kNotFound},
      {env.CreateDirectory(this->dir_.path()), ErrorKind::kAlreadyExists},
      {env.CopyFile(file, file + ".copy", false), ErrorKind::kNone},
      {env.CopyFile(file, file + ".copy", false), ErrorKind::kAlreadyExists},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.status.kind(), c.kind) << c.status.message();
    if (c.kind != ErrorKind::kNone) ExpectSystemText(env, c.status);
  }
  EXPECT_EQ(h, kNoFile);
  EXPECT_FALSE(this->dir_.Exists("copy.dat"));
}

// ---- Read-only attribute, directories --------------------------------------------------------------

TYPED_TEST(EnvContractTest, ReadOnlyFileRefusesWritersAndDeletionEvenForAdministrators) {
  Env& env = this->env();
  std::string path = this->dir_.Write("model.dat", "model data");
  ASSERT_TRUE(env.SetReadOnly(path, true).ok());
  FileInfo info;
  ASSERT_TRUE(env.GetFileInfo(path, &info).ok());
  EXPECT_TRUE(info.read_only);

  FileHandle h = kNoFile;
  Status s = OpenSharedWriter(env, path, &h);
  EXPECT_EQ(s.kind(), ErrorKind::kAccessDenied);
  ExpectSystemText(env, s);
  EXPECT_EQ(env.DeleteFile(path).kind(), ErrorKind::kAccessDenied);
  EXPECT_EQ(ReadShared(env, path), "model data");

  ASSERT_TRUE(env.SetReadOnly(path, false).ok());
  ASSERT_TRUE(env.GetFileInfo(path, &info).ok());
  EXPECT_FALSE(info.read_only);
  ASSERT_TRUE(OpenSharedWriter(env, path, &h).ok());
  ASSERT_TRUE(env.Write(h, "M", 1).ok());
  env.Close(h);
  EXPECT_EQ(this->dir_.Read("model.dat"), "Model data");
  EXPECT_TRUE(env.DeleteFile(path).ok());
}

TYPED_TEST(EnvContractTest, DirectoriesAreMadeListedAndRemovedButNotOpenedAsFiles) {
  Env& env = this->env();
  std::string dir = this->Path("Models");
  std::string file = this->dir_.Write("plain.dat", "x");
  ASSERT_TRUE(env.CreateDirectory(dir).ok());
  EXPECT_EQ(env.CreateDirectory(dir).kind(), ErrorKind::kAlreadyExists);
  EXPECT_TRUE(env.CanEnterDirectory(dir));
  EXPECT_FALSE(env.CanEnterDirectory(file));
  EXPECT_FALSE(env.CanEnterDirectory(this->Path("missing")));
  FileInfo info;
  ASSERT_TRUE(env.GetFileInfo(dir, &info).ok());
  EXPECT_TRUE(info.is_directory);

  FileHandle h = kNoFile;
  EXPECT_EQ(OpenSharedReader(env, dir, &h).kind(), ErrorKind::kAccessDenied);
  EXPECT_EQ(env.DeleteFile(dir).kind(), ErrorKind::kAccessDenied);

  std::string inner = Join(dir, "inner.dat");
  ASSERT_TRUE(env.CopyFile(file, inner, false).ok());
  EXPECT_FALSE(env.RemoveDirectory(dir).ok());
  ASSERT_TRUE(env.DeleteFile(inner).ok());
  EXPECT_TRUE(env.RemoveDirectory(dir).ok());
  EXPECT_FALSE(env.CanEnterDirectory(dir));
}

TYPED_TEST(EnvContractTest, FileIoReadsWritesSeeksAndTruncates) {
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
  env.Close(h);
  EXPECT_EQ(this->dir_.Read("io.dat"), "hello");

  ASSERT_TRUE(env.OpenFile(path, kReadWrite, kShareRead, Disposition::kOpenAlways, &h, &existed).ok());
  EXPECT_TRUE(existed);
  EXPECT_EQ(ReadAll(env, h), "hello");
  env.Close(h);
  ASSERT_TRUE(OpenExclusiveWriter(env, path, &h, Disposition::kCreateAlways).ok());
  env.Close(h);
  EXPECT_EQ(this->dir_.Read("io.dat"), "");
}

TYPED_TEST(EnvContractTest, RelativePathsFollowTheCurrentDirectory) {
  Env& env = this->env();
  this->dir_.Write("rel.dat", "relative");
  std::string before;
  ASSERT_TRUE(env.GetCurrentDirectory(&before).ok());
  ASSERT_TRUE(env.SetCurrentDirectory(this->dir_.path()).ok());
  std::string content = ReadShared(env, "rel.dat");
  std::string now;
  Status got = env.GetCurrentDirectory(&now);
  ASSERT_TRUE(env.SetCurrentDirectory(before).ok());  // before anything can stop the test
  EXPECT_EQ(content, "relative");
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(ReadShared(env, Join(now, "rel.dat")), "relative") << now;  // the same directory, however spelled
  EXPECT_EQ(env.SetCurrentDirectory(this->Path("missing")).kind(), ErrorKind::kNotFound);
}

TYPED_TEST(EnvContractTest, ReportsTheSystemsPathsAndNames) {
  Env& env = this->env();
  std::string temp = env.TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), kSep);
  EXPECT_TRUE(env.CanEnterDirectory(temp));
  // The user's own temporary directory lies inside it and can be entered and written.
  std::string mine = env.UserTempPath();
  ASSERT_FALSE(mine.empty());
  EXPECT_EQ(mine.back(), kSep);
  EXPECT_EQ(mine.rfind(temp, 0), 0u) << mine;
  EXPECT_TRUE(env.CanEnterDirectory(mine));
  FileInfo info;
  ASSERT_TRUE(env.GetFileInfo(env.ExecutablePath(), &info).ok()) << env.ExecutablePath();
  EXPECT_FALSE(info.is_directory);
  EXPECT_GT(info.size, 0u);

  std::string user, computer;
  ASSERT_TRUE(env.UserName(&user).ok());
  EXPECT_FALSE(user.empty());
  ASSERT_TRUE(env.ComputerName(&computer).ok());
  EXPECT_FALSE(computer.empty());
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
  env.Close(h);
  EXPECT_TRUE(existed);

  // One file, whichever spelling: a holder under one name keeps writers under another out.
  ASSERT_TRUE(OpenExclusiveWriter(env, lower, &h).ok());
  EXPECT_EQ(Attempt(env, "write", upper), "write sharing-violation");
  env.Close(h);

  ASSERT_TRUE(env.CopyFile(upper, this->Path("copy.ttc"), false).ok());
  EXPECT_EQ(this->dir_.Read("copy.ttc"), "pump");
  std::string fresh = this->dir_.Write("fresh.ttc", "fresh");
  ASSERT_TRUE(env.CopyFile(fresh, upper, true).ok());
  EXPECT_EQ(this->dir_.Read(Join("Sub", "pump.ttc")), "fresh");

  // A new file goes into the directory that exists, under the name as given.
  ASSERT_TRUE(OpenExclusiveWriter(env, Join(this->Path("SUB"), "New.Txt"), &h, Disposition::kCreateAlways).ok());
  env.Close(h);
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

  // The directory itself is found without regard to case too.
  std::string dir = this->dir_.path();
  std::size_t last = dir.find_last_of(kSep, dir.size() - 2);
  std::transform(dir.begin() + static_cast<std::ptrdiff_t>(last + 1), dir.end(), dir.begin() + static_cast<std::ptrdiff_t>(last + 1),
                 [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
  ASSERT_NE(dir, this->dir_.path());
  ASSERT_TRUE(env.FindFiles(dir, "DOCS", &found).ok());
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "Docs");
  EXPECT_TRUE(found[0].is_directory);

  Status none = env.FindFiles(this->dir_.path(), "*.xyz", &found);
  EXPECT_EQ(none.kind(), ErrorKind::kNotFound);
  ExpectSystemText(env, none);
  EXPECT_TRUE(found.empty());
}

// ---- Copying ---------------------------------------------------------------------------------------

TYPED_TEST(EnvContractTest, CopyKeepsContentTimeAndReadOnlyAttribute) {
  Env& env = this->env();
  std::string content(5 * 1024 * 1024 + 321, '\0');
  std::mt19937 gen(7);
  for (char& c : content) c = static_cast<char>(gen());
  std::string src = this->dir_.Write("big.dat", content);
  std::string dst = this->Path("big-copy.dat");
  // A time well in the past, so that a copy stamped "now" cannot pass for one that kept it.
  namespace fs = std::filesystem;
  auto past = std::chrono::time_point_cast<std::chrono::seconds>(fs::file_time_type::clock::now() -
                                                                 std::chrono::hours(50));
  fs::last_write_time(fs::path(src), past);
  ASSERT_TRUE(env.SetReadOnly(src, true).ok());

  ASSERT_TRUE(env.CopyFile(src, dst, false).ok());
  EXPECT_TRUE(this->dir_.Read("big-copy.dat") == content);
  FileInfo from, to;
  ASSERT_TRUE(env.GetFileInfo(src, &from).ok());
  ASSERT_TRUE(env.GetFileInfo(dst, &to).ok());
  EXPECT_EQ(to.mtime_ns, from.mtime_ns);
  EXPECT_EQ(to.size, content.size());
  EXPECT_TRUE(to.read_only);

  Status s = env.CopyFile(src, dst, true);
  EXPECT_EQ(s.kind(), ErrorKind::kAccessDenied);
  ExpectSystemText(env, s);
  ASSERT_TRUE(env.SetReadOnly(dst, false).ok());
  EXPECT_EQ(env.CopyFile(src, dst, false).kind(), ErrorKind::kAlreadyExists);

  std::string small = this->dir_.Write("small.dat", "small");
  ASSERT_TRUE(env.CopyFile(small, dst, true).ok());
  EXPECT_EQ(this->dir_.Read("big-copy.dat"), "small");
  ASSERT_TRUE(env.GetFileInfo(dst, &to).ok());
  EXPECT_FALSE(to.read_only);
}

}  // namespace
}  // namespace miradel::platform
