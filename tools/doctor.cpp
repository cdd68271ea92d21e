#include "doctor.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <random>
#include <system_error>
#include <thread>

#include <nlohmann/json.hpp>

#include "base/path.h"
#include "hostkit/process.h"
#include "lock/lock_slot.h"
#include "lock/lock_texts.h"
#include "platform/byte_reader.h"
#include "platform/env.h"
#include "wall_clock.h"

namespace miradel::tools {

namespace {

using platform::Status;

constexpr std::uint64_t kMiB = 1024 * 1024;
// A write-back needs room for a whole file beside the old one; below this even a small model fails.
constexpr std::uint64_t kTooLittleSpace = 64 * kMiB;
constexpr std::uint64_t kLittleSpace = 1024 * kMiB;
constexpr std::int64_t kSkewSeconds = 5;
constexpr int kRenames = 200;

Status WriteWhole(platform::Env& env, const std::string& path, const std::string& text, bool flush) {
  platform::FileHandle h = platform::kNoFile;
  Status s = env.OpenFile(path, platform::kWrite, platform::kShareRead, platform::Disposition::kCreateAlways, &h, nullptr);
  if (!s.ok()) return s;
  s = env.Write(h, text.data(), text.size());
  if (s.ok() && flush) s = env.Flush(h);
  Status closed = env.Close(h);
  return s.ok() ? closed : s;
}

bool ReadWhole(platform::Env& env, const std::string& path, std::string* text) {
  const platform::FileHandle h = platform::OpenForReading(env, path);
  if (h == platform::kNoFile) return false;
  text->clear();
  char buf[65536];
  std::size_t got = 0;
  bool ok = true;
  while ((ok = env.Read(h, buf, sizeof buf, &got).ok()) && got > 0) text->append(buf, got);
  env.Close(h).IgnoreError();
  return ok;
}

class Examiner {
 public:
  Examiner(const std::string& folder, const std::string& secondProgram)
      : m_env(platform::Current()), m_program(secondProgram) {
    m_report.folder = Path::FromText(folder).AsDirectory().str();
    std::random_device rd;
    m_scratch = m_report.folder + "miradel-doctor-" + std::to_string(rd() % 1000000) + kSep;
  }

  DoctorReport Run() {
    if (!Writable()) return m_report;
    ExclusiveCreate();
    Locks();
    LetterCase();
    Replace();
    FlushAndReadBack();
    Clock();
    Space();
    Clean();
    return m_report;
  }

 private:
  void Say(const char* property, DoctorCheck::Verdict verdict, std::string reason) {
    m_report.checks.push_back({property, verdict, std::move(reason)});
  }
  std::string At(const std::string& name) const { return m_scratch + name; }

  bool Writable() {
    std::string user;
    if (!m_env.UserName(&user).ok()) user = "this user";
    const Status s = m_env.CreateDirectory(m_scratch);
    Say("write permission", s.ok() ? DoctorCheck::kOk : DoctorCheck::kFail,
        s.ok() ? user + " can make folders and files here" : "cannot make a folder here: " + s.ToString());
    return s.ok();
  }

  // The one create the port offers as all-or-nothing: a folder. Two hosts must never both make it.
  void ExclusiveCreate() {
    const std::string p = At("exclusive");
    const Status a = m_env.CreateDirectory(p), b = m_env.CreateDirectory(p);
    if (!a.ok())
      Say("exclusive create", DoctorCheck::kFail, "the first create failed: " + a.ToString());
    else if (b.ok() || b.kind() != platform::ErrorKind::kAlreadyExists)
      Say("exclusive create", DoctorCheck::kFail,
          "a second create of the same new folder was not refused as existing: " + (b.ok() ? "it succeeded" : b.ToString()));
    else
      Say("exclusive create", DoctorCheck::kOk, "a second creator is refused");
    m_env.RemoveDirectory(p).IgnoreError();
  }

  void Locks() {
    // The lock holds the model's data file too, which therefore must exist.
    if (!WriteWhole(m_env, At("model.dat"), "model", false).ok())
      return Say("model lock", DoctorCheck::kFail, "cannot write a model's data file");
    const LockTexts texts = BuildLockTexts(m_env, "1.0.0.4");
    LockSlot slot{};
    LockOwnerInfo owner{};
    const std::string lockPath = At("model.lck");
    const int taken = slot.Acquire(lockPath, false, &owner, texts);
    if (taken != 1) {
      Say("model lock", DoctorCheck::kFail, "the library could not take a lock here (result " + std::to_string(taken) + ")");
      return;
    }
    // A second process, through the library, as a colleague's host would try.
    std::string out = "cannot start " + m_program;
    int status = -1;
    if (auto child = hostkit::ChildProcess::Start(m_program, {"lock", m_scratch, "model"})) {
      child->CloseInput();
      bool ok = true;
      out = child->ReadLine(30000, &ok);
      status = child->Wait(30000);
    }
    const bool refused = status == 1 && out.rfind("refused", 0) == 0;
    Say("model lock", refused ? DoctorCheck::kOk : DoctorCheck::kFail,
        refused ? "a second process is refused the lock this one holds"
                : "a second process was not refused (status " + std::to_string(status) + ": " + out + ")");

    const Status deleted = m_env.DeleteFile(lockPath);
    Say("held lock file", deleted.ok() ? DoctorCheck::kFail : DoctorCheck::kOk,
        deleted.ok() ? "a held lock file could be deleted: the lock would lapse unseen"
                     : "cannot be deleted while held (" + deleted.ToString() + ")");

    platform::FileHandle writer = platform::kNoFile;
    const Status second = m_env.OpenFile(At("model.dat"), platform::kWrite, platform::kShareRead | platform::kShareWrite,
                                         platform::Disposition::kOpenExisting, &writer, nullptr);
    if (second.ok()) m_env.Close(writer).IgnoreError();
    Say("held data file", second.IsSharingViolation() ? DoctorCheck::kOk : DoctorCheck::kFail,
        second.IsSharingViolation() ? "refuses another writer while the model is open"
        : second.ok()               ? "another writer could open it while the model is open"
                                    : "the probe failed: " + second.ToString());
    slot.Release();
  }

  // Through the file system itself: the library matches names without regard to case on its own,
  // but other programs on a case-sensitive share will not.
  void LetterCase() {
    const std::string lower = At("case.tmp"), upper = At("CASE.TMP");
    if (!WriteWhole(m_env, lower, "x", false).ok()) return Say("letter case", DoctorCheck::kFail, "cannot write a probe");
    std::error_code ec;
    const bool same = std::filesystem::exists(std::filesystem::u8path(upper), ec);
    Say("letter case", same ? DoctorCheck::kOk : DoctorCheck::kNote,
        same ? "names are one whatever their letter case"
             : "case-sensitive: case.tmp and CASE.TMP are two files here; the library treats them as one model, "
               "other programs may not");
  }

  void Replace() {
    const std::string target = At("replace.tmp"), incoming = At("incoming.tmp");
    std::string got;
    Status s = WriteWhole(m_env, target, "old", true);
    if (s.ok()) s = WriteWhole(m_env, incoming, "new contents", true);
    if (s.ok()) s = m_env.Rename(incoming, target);
    if (!s.ok()) return Say("replace by rename", DoctorCheck::kFail, "a rename over an existing file failed: " + s.ToString());
    platform::FileInfo left;
    if (!ReadWhole(m_env, target, &got) || got != "new contents" || m_env.GetFileInfo(incoming, &left).ok())
      return Say("replace by rename", DoctorCheck::kFail, "the renamed file is not the new one alone");
    const int gapAt = RenameWithAGap(target, incoming, &s);
    if (s.ok()) s = WriteWhole(m_env, incoming, std::string(3 * kMiB, 'r'), true);
    if (s.ok()) s = m_env.ReplaceWithCopy(incoming, target);
    const bool whole = s.ok() && ReadWhole(m_env, target, &got) && got == std::string(3 * kMiB, 'r');
    if (!whole)
      Say("replace by rename", DoctorCheck::kFail,
          "the crash-safe replace failed: " + (s.ok() ? std::string("the result differs") : s.ToString()));
    else if (gapAt > 0)
      // The new copy is whole on the share before the old one goes, and the working copy keeps the
      // change until its write-back is confirmed: a crash in the gap loses nothing.
      Say("replace by rename", DoctorCheck::kNote,
          "not one step here: the name went missing during rename " + std::to_string(gapAt) + " of " +
              std::to_string(kRenames) +
              "; a colleague may find a model file missing for a moment, and a crash in between leaves "
              "the new copy beside it for the next write-back");
    else
      Say("replace by rename", DoctorCheck::kOk,
          "a file is replaced in one step: its name never went missing during " + std::to_string(kRenames) + " renames");
  }

  // The rename, counted from 1, during which a watcher found the target's name missing, or 0: a
  // rename that removes the old file first shows a gap. The watcher looks without pause, as gaps are
  // short; the first one settles it, which keeps the probe short on a slow share.
  int RenameWithAGap(const std::string& target, const std::string& incoming, Status* s) {
    std::atomic<bool> done{false}, gap{false};
    std::thread watcher([&] {
      const auto name = std::filesystem::u8path(target);
      while (!done.load()) {
        std::error_code ec;
        if (!std::filesystem::exists(name, ec) && !ec) return gap.store(true);
      }
    });
    int renamed = 0;
    for (; renamed < kRenames && s->ok() && !gap.load(); ++renamed) {
      *s = WriteWhole(m_env, incoming, std::to_string(renamed), false);
      if (s->ok()) *s = m_env.Rename(incoming, target);
    }
    done = true;
    watcher.join();
    return gap.load() ? std::max(renamed, 1) : 0;
  }

  void FlushAndReadBack() {
    std::string data(8 * kMiB, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 131) ^ (i >> 11));
    const std::string p = At("flush.tmp");
    const Status s = WriteWhole(m_env, p, data, true);
    std::string back;
    const bool same = s.ok() && ReadWhole(m_env, p, &back) && back == data;
    Say("flush", same ? DoctorCheck::kOk : DoctorCheck::kFail,
        same ? "8 MiB flushed and read back the same through a new handle"
             : (s.ok() ? std::string("the file read back differs from what was written") : "the write or flush failed: " + s.ToString()));
  }

  void Clock() {
    const std::string p = At("clock.tmp");
    platform::FileInfo info;
    const std::int64_t before = NowSeconds();
    if (!WriteWhole(m_env, p, "t", true).ok() || !m_env.GetFileInfo(p, &info).ok() || !info.mtime.known)
      return Say("clock", DoctorCheck::kNote, "the share's time on a new file cannot be read");
    const std::int64_t skew = info.mtime.seconds - before;
    const bool near = skew >= -kSkewSeconds && skew <= kSkewSeconds + (NowSeconds() - before);
    Say("clock", near ? DoctorCheck::kOk : DoctorCheck::kNote,
        near ? "the share stamps files with this computer's time"
             : "the share's clock is " + std::to_string(skew < 0 ? -skew : skew) + " s " + (skew < 0 ? "behind" : "ahead") +
                   ": lock ages and file times will be off by as much");
  }

  void Space() {
    std::uint64_t bytes = 0;
    const Status s = m_env.FreeSpace(m_scratch, &bytes);
    if (!s.ok()) return Say("free space", DoctorCheck::kNote, "cannot be read: " + s.ToString());
    const std::string amount = std::to_string(bytes / kMiB) + " MiB free";
    Say("free space", bytes < kTooLittleSpace ? DoctorCheck::kFail : bytes < kLittleSpace ? DoctorCheck::kNote : DoctorCheck::kOk,
        bytes < kTooLittleSpace ? amount + ": too little for writing a model back" : amount);
  }

  void Clean() {
    for (const char* name : {"model.dat", "model.lck", "case.tmp", "replace.tmp", "incoming.tmp",
                             "flush.tmp", "clock.tmp"})
      m_env.DeleteFile(At(name)).IgnoreError();
    const Status s = m_env.RemoveDirectory(m_scratch);
    if (!s.ok()) Say("clean up", DoctorCheck::kNote, "the scratch folder " + m_scratch + " stays: " + s.ToString());
  }

  platform::Env& m_env;
  std::string m_program, m_scratch;
  DoctorReport m_report;
};

const char* VerdictText(DoctorCheck::Verdict v) { return v == DoctorCheck::kOk ? "ok" : v == DoctorCheck::kNote ? "note" : "FAIL"; }

}  // namespace

bool DoctorReport::Passed() const {
  for (const DoctorCheck& c : checks)
    if (c.verdict == DoctorCheck::kFail) return false;
  return !checks.empty();
}

DoctorReport Examine(const std::string& folder, const std::string& secondProgram) {
  return Examiner(folder, secondProgram).Run();
}

std::string DoctorText(const DoctorReport& report) {
  std::string out;
  int failed = 0, notes = 0;
  for (const DoctorCheck& c : report.checks) {
    std::string property = c.property;
    property.resize(std::max<std::size_t>(property.size(), 18), ' ');
    out += std::string(VerdictText(c.verdict)) + std::string(6 - std::string(VerdictText(c.verdict)).size(), ' ') +
           property + "  " + c.reason + "\n";
    failed += c.verdict == DoctorCheck::kFail;
    notes += c.verdict == DoctorCheck::kNote;
  }
  return out + report.folder + (report.Passed() ? ": fit for shared models" : ": NOT fit for shared models") + " (" +
         std::to_string(failed) + " failed, " + std::to_string(notes) + (notes == 1 ? " note" : " notes") + ")\n";
}

std::string DoctorJson(const DoctorReport& report) {
  nlohmann::json checks = nlohmann::json::array();
  for (const DoctorCheck& c : report.checks)
    checks.push_back({{"property", c.property}, {"verdict", VerdictText(c.verdict)}, {"reason", c.reason}});
  return nlohmann::json{{"folder", report.folder}, {"passed", report.Passed()}, {"checks", checks}}.dump(
      2, ' ', false, nlohmann::json::error_handler_t::replace);
}

int RunDoctor(const std::string& folder, bool json) {
  const DoctorReport report = Examine(folder, platform::Current().ExecutablePath());
  std::cout << (json ? DoctorJson(report) + "\n" : DoctorText(report));
  return report.Passed() ? 0 : 1;
}

}  // namespace miradel::tools
