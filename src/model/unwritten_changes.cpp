#include "model/unwritten_changes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string_view>

#include "base/path.h"
#include "base/text.h"
#include "platform/env.h"

#ifdef _WIN32
// The debugger's channel is the one system call here: windows.h stays with the platform's adapters.
extern "C" __declspec(dllimport) void __stdcall OutputDebugStringA(const char* text);
#endif

namespace miradel {

namespace {

using platform::Env;

constexpr char kHeader[] = "miradel-unwritten 1";
constexpr std::string_view kSuffix = ".unwritten";
constexpr std::string_view kJournalSuffix = ".pending";
constexpr std::string_view kTmp = ".tmp";
constexpr std::string_view kEnd = "end ";
constexpr std::size_t kEndLine = 4 + 8 + 1;  // "end ", eight hex digits, line end
// Far more than any model's files take: what is larger is not ours.
constexpr std::size_t kMaxRecordBytes = 1 << 20;

enum class Load { kMissing, kGarbled, kOk };

// One record is read, changed and written by one thread at a time.
std::mutex& Guard() {
  static std::mutex guard;
  return guard;
}

// FNV-1a: enough to tell a torn or foreign text from a whole one.
std::string Checksum(std::string_view s) {
  std::uint32_t h = 2166136261u;
  for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(h));
  return buf;
}

bool FitsOnLine(const std::string& s) { return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos; }

bool EndsWithNoCase(const std::string& s, std::string_view end) {
  return s.size() >= end.size() && text::EqualsNoCase(std::string_view(s).substr(s.size() - end.size()), end);
}

void Put(std::vector<UnwrittenEntry>& entries, UnwrittenEntry entry) {
  for (UnwrittenEntry& e : entries)
    if (text::EqualsNoCase(e.file, entry.file)) {
      e = std::move(entry);
      return;
    }
  entries.push_back(std::move(entry));
}

bool ParseSince(const std::string& value, std::int64_t* since) {
  // Eighteen digits cannot overflow.
  if (value.empty() || value.size() > 18 || value.find_first_not_of("0123456789") != std::string::npos) return false;
  *since = 0;
  for (char c : value) *since = *since * 10 + (c - '0');
  return true;
}

bool Parse(const std::string& text, UnwrittenRecord* r) {
  if (text.size() < kEndLine) return false;
  const std::size_t body = text.size() - kEndLine;
  if (text.compare(body, kEnd.size(), kEnd) != 0 || text.back() != '\n' || (body > 0 && text[body - 1] != '\n') ||
      text.compare(body + kEnd.size(), 8, Checksum(std::string_view(text).substr(0, body))) != 0)
    return false;
  bool header = false, haveDir = false, haveName = false, haveSince = false;
  for (std::size_t pos = 0; pos < body;) {
    const std::size_t eol = text.find('\n', pos);
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!header) {
      if (line != kHeader) return false;
      header = true;
      continue;
    }
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) return false;
    const std::string key = line.substr(0, blank), value = line.substr(blank + 1);
    if (key == "copy" || key == "delete") {
      // A name that could lead out of the working copy or the model directory is not ours.
      if (path::IsPlainName(value))
        Put(r->entries, {key == "copy" ? UnwrittenKind::kCopy : UnwrittenKind::kDelete, value});
    } else if (key == "model-dir" && !haveDir && !value.empty() && value.find('\0') == std::string::npos) {
      r->model_dir = path::WithSeparator(path::ToNative(value));
      haveDir = true;
    } else if (key == "model" && !haveName && path::IsPlainName(value)) {
      r->model_name = value;
      haveName = true;
    } else if (key == "since" && !haveSince && ParseSince(value, &r->since)) {
      haveSince = true;
    } else {
      return false;
    }
  }
  return haveDir && haveName && haveSince;
}

Load ReadText(const std::string& path, std::string* text) {
  Env& env = platform::Current();
  platform::FileHandle h = platform::kNoFile;
  platform::Status open =
      env.OpenFile(path, platform::kRead, platform::kShareRead | platform::kShareWrite | platform::kShareDelete,
                   platform::Disposition::kOpenExisting, &h, nullptr);
  if (!open.ok()) return open.IsNotFound() ? Load::kMissing : Load::kGarbled;
  char buf[4096];
  bool ok = true;
  for (std::size_t got = 1; ok && got != 0;) {
    ok = env.Read(h, buf, sizeof buf, &got).ok() && text->size() + got <= kMaxRecordBytes;
    if (ok) text->append(buf, got);
  }
  env.Close(h).IgnoreError();
  return ok ? Load::kOk : Load::kGarbled;
}

std::string WorkingCopyOf(const std::string& recordPath) {
  return recordPath.substr(0, recordPath.size() - kSuffix.size()) + kSep;
}

// A whole ".tmp" is the newer state: it is written first and deleted last.
Load LoadRecord(const std::string& recordPath, UnwrittenRecord* r) {
  bool garbled = false;
  for (const std::string& file : {recordPath + std::string(kTmp), recordPath}) {
    std::string text;
    const Load read = ReadText(file, &text);
    if (read == Load::kMissing) continue;
    UnwrittenRecord parsed;
    if (read == Load::kOk && Parse(text, &parsed)) {
      *r = std::move(parsed);
      r->working_copy = WorkingCopyOf(recordPath);
      return Load::kOk;
    }
    garbled = true;
  }
  return garbled ? Load::kGarbled : Load::kMissing;
}

// The journal's entries; its model directory and name where it names them.
Load LoadJournal(const std::string& journalPath, UnwrittenRecord* r) {
  std::string text;
  const Load read = ReadText(journalPath, &text);
  if (read != Load::kOk) return read;
  if (text.empty()) return Load::kMissing;
  std::size_t pos = 0;
  for (bool header = true;; header = false) {
    const std::size_t eol = text.find('\n', pos);
    // A last line without its end was cut short by a kill: not read.
    if (eol == std::string::npos) break;
    const std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (header) {
      if (line != kPendingHeader) return Load::kGarbled;
      continue;
    }
    const std::size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank), value = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (key == "copy" || key == "delete") {
      if (path::IsPlainName(value)) Put(r->entries, {key == "copy" ? UnwrittenKind::kCopy : UnwrittenKind::kDelete, value});
    } else if (key == "model-dir" && !value.empty()) {
      r->model_dir = path::WithSeparator(path::ToNative(value));
    } else if (key == "model" && path::IsPlainName(value)) {
      r->model_name = value;
    } else {
      return Load::kGarbled;
    }
  }
  if (r->entries.empty()) return Load::kMissing;
  if (r->model_dir.empty() || r->model_name.empty()) return Load::kGarbled;
  platform::FileInfo info;
  if (platform::Current().GetFileInfo(journalPath, &info).ok()) r->since = info.mtime.seconds;
  return Load::kOk;
}

// The record and then the journal of one working copy (its path without the trailing separator).
Load LoadChanges(const std::string& base, UnwrittenRecord* r) {
  UnwrittenRecord record, journal;
  const Load fromRecord = LoadRecord(base + std::string(kSuffix), &record);
  const Load fromJournal = LoadJournal(base + std::string(kJournalSuffix), &journal);
  if (fromRecord == Load::kGarbled || fromJournal == Load::kGarbled) return Load::kGarbled;
  if (fromJournal == Load::kOk) {
    for (UnwrittenEntry& e : journal.entries) Put(record.entries, std::move(e));
    record.model_dir = journal.model_dir;
    record.model_name = journal.model_name;
    if (fromRecord != Load::kOk) record.since = journal.since;
  }
  if (record.entries.empty()) return Load::kMissing;
  record.working_copy = base + kSep;
  *r = std::move(record);
  return Load::kOk;
}

bool WriteDurably(const std::string& path, const std::string& text) {
  Env& env = platform::Current();
  platform::FileHandle h = platform::kNoFile;
  if (!env.OpenFile(path, platform::kWrite, platform::kShareRead, platform::Disposition::kCreateAlways, &h, nullptr)
           .ok())
    return false;
  const bool written = env.Write(h, text.data(), text.size()).ok() && env.Flush(h).ok();
  return env.Close(h).ok() && written;
}

bool Store(const std::string& recordPath, const UnwrittenRecord& r) {
  Env& env = platform::Current();
  const std::string tmp = recordPath + std::string(kTmp), text = UnwrittenRecordText(r);
  // A whole ".tmp" left by a store that could not finish is the state in force: the record must
  // hold it before the ".tmp" may be overwritten.
  std::string pending;
  UnwrittenRecord inForce;
  if (ReadText(tmp, &pending) == Load::kOk && Parse(pending, &inForce) && !WriteDurably(recordPath, pending))
    return false;
  if (!WriteDurably(tmp, text)) {
    // A write that failed only at the close may have left it whole; the caller is told it failed.
    env.DeleteFile(tmp).IgnoreError();
    return false;
  }
  // From here the ".tmp" holds the state; the record follows it as well as it can.
  if (r.entries.empty()) {
    const platform::Status gone = env.DeleteFile(recordPath);
    if (gone.ok() || gone.IsNotFound()) env.DeleteFile(tmp).IgnoreError();
  } else if (WriteDurably(recordPath, text)) {
    env.DeleteFile(tmp).IgnoreError();
  }
  return true;
}

}  // namespace

std::string UnwrittenRecordPath(const Path& workingCopy) {
  const std::string dir = path::WithoutTrailingSeparators(workingCopy.str());
  return dir.empty() ? std::string() : dir + std::string(kSuffix);
}

std::string PendingJournalPath(const Path& workingCopy) {
  const std::string dir = path::WithoutTrailingSeparators(workingCopy.str());
  return dir.empty() ? std::string() : dir + std::string(kJournalSuffix);
}

std::string UnwrittenRecordText(const UnwrittenRecord& r) {
  std::string t = std::string(kHeader) + "\n";
  t += "model-dir " + r.model_dir + "\nmodel " + r.model_name + "\nsince " + std::to_string(r.since) + "\n";
  for (const UnwrittenEntry& e : r.entries) t += (e.kind == UnwrittenKind::kCopy ? "copy " : "delete ") + e.file + "\n";
  return t + std::string(kEnd) + Checksum(t) + "\n";
}

bool RecordUnwritten(const Path& workingCopy, const Path& modelDir, const std::string& modelName, UnwrittenEntry entry) {
  return RecordUnwritten(workingCopy, modelDir, modelName, std::vector<UnwrittenEntry>{std::move(entry)});
}

bool RecordUnwritten(const Path& workingCopy, const Path& modelDir, const std::string& modelName,
                     std::vector<UnwrittenEntry> entries) {
  const std::string recordPath = UnwrittenRecordPath(workingCopy);
  if (recordPath.empty() || modelDir.empty() || !FitsOnLine(modelDir.str()) || !path::IsPlainName(modelName) ||
      !FitsOnLine(modelName) || entries.empty())
    return false;
  for (const UnwrittenEntry& entry : entries)
    if (!FitsOnLine(entry.file) || !path::IsPlainName(entry.file)) return false;
  std::lock_guard<std::mutex> hold(Guard());
  UnwrittenRecord r;
  // An unreadable record holds nothing that could be kept: the new one starts afresh.
  if (LoadRecord(recordPath, &r) != Load::kOk || r.entries.empty()) {
    r = UnwrittenRecord();
    r.since =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  }
  r.model_dir = modelDir.AsDirectory().str();
  r.model_name = modelName;
  for (UnwrittenEntry& entry : entries) Put(r.entries, std::move(entry));
  return Store(recordPath, r);
}

void ClearUnwritten(const Path& workingCopy, const std::string& file) {
  ClearUnwritten(workingCopy, std::vector<std::string>{file});
}

void ClearUnwritten(const Path& workingCopy, const std::vector<std::string>& files) {
  const std::string recordPath = UnwrittenRecordPath(workingCopy);
  if (recordPath.empty()) return;
  std::lock_guard<std::mutex> hold(Guard());
  UnwrittenRecord r;
  if (LoadRecord(recordPath, &r) != Load::kOk) return;
  const std::size_t before = r.entries.size();
  r.entries.erase(std::remove_if(r.entries.begin(), r.entries.end(),
                                 [&](const UnwrittenEntry& e) {
                                   return std::any_of(files.begin(), files.end(),
                                                      [&](const std::string& f) { return text::EqualsNoCase(e.file, f); });
                                 }),
                  r.entries.end());
  // Failing, the entry stays: writing that file again later does no harm.
  if (r.entries.size() != before) Store(recordPath, r);
}

bool HasUnwritten(const Path& workingCopy) {
  const std::string base = path::WithoutTrailingSeparators(workingCopy.str());
  if (base.empty()) return false;
  std::lock_guard<std::mutex> hold(Guard());
  UnwrittenRecord r;
  return LoadChanges(base, &r) != Load::kMissing;
}

bool ReadUnwrittenChanges(const Path& workingCopy, UnwrittenRecord* out) {
  const std::string base = path::WithoutTrailingSeparators(workingCopy.str());
  if (base.empty()) return false;
  std::lock_guard<std::mutex> hold(Guard());
  return LoadChanges(base, out) == Load::kOk;
}

bool AbsorbPendingJournal(const Path& workingCopy) {
  const std::string recordPath = UnwrittenRecordPath(workingCopy), journalPath = PendingJournalPath(workingCopy);
  if (recordPath.empty()) return false;
  std::lock_guard<std::mutex> hold(Guard());
  UnwrittenRecord journal, r;
  const Load fromJournal = LoadJournal(journalPath, &journal);
  if (fromJournal == Load::kGarbled) return false;
  if (fromJournal == Load::kOk) {
    if (LoadRecord(recordPath, &r) != Load::kOk || r.entries.empty()) {
      r = UnwrittenRecord();
      r.since = journal.since;
    }
    for (UnwrittenEntry& e : journal.entries) Put(r.entries, std::move(e));
    r.model_dir = journal.model_dir;
    r.model_name = journal.model_name;
    if (!Store(recordPath, r)) return false;
  }
  const platform::Status gone = platform::Current().DeleteFile(journalPath);
  return gone.ok() || gone.IsNotFound();
}

bool ReadUnwrittenRecord(const std::string& recordPath, UnwrittenRecord* out) {
  if (!EndsWithNoCase(recordPath, kSuffix)) return false;
  std::lock_guard<std::mutex> hold(Guard());
  UnwrittenRecord r;
  if (LoadRecord(recordPath, &r) != Load::kOk || r.entries.empty()) return false;
  *out = std::move(r);
  return true;
}

std::vector<UnwrittenRecord> FindUnwrittenRecords(const Path& dir, std::vector<std::string>* unreadable) {
  std::vector<UnwrittenRecord> records;
  if (dir.empty()) return records;
  Env& env = platform::Current();
  const std::string top = dir.AsDirectory().str();
  std::vector<std::string> dirs = {top};
  std::vector<platform::DirEntry> found;
  if (env.FindFiles(top, "*", &found).ok())
    for (const platform::DirEntry& e : found)
      if (e.is_directory && !e.is_link && e.name != "." && e.name != "..") dirs.push_back(top + e.name + kSep);

  // Each working copy once, by its path without the trailing separator.
  std::vector<std::string> bases;
  for (const std::string& d : dirs) {
    for (const char* pattern : {"*.unwritten*", "*.pending"}) {
      found.clear();
      if (!env.FindFiles(d, pattern, &found).ok()) continue;
      for (const platform::DirEntry& e : found) {
        std::string name = e.name;
        if (EndsWithNoCase(name, std::string(kSuffix) + std::string(kTmp))) name.resize(name.size() - kTmp.size());
        for (std::string_view suffix : {kSuffix, kJournalSuffix})
          if (!e.is_directory && name.size() > suffix.size() && EndsWithNoCase(name, suffix))
            bases.push_back(d + name.substr(0, name.size() - suffix.size()));
      }
    }
  }
  std::sort(bases.begin(), bases.end());
  bases.erase(std::unique(bases.begin(), bases.end()), bases.end());

  std::lock_guard<std::mutex> hold(Guard());
  for (const std::string& base : bases) {
    UnwrittenRecord r;
    const Load load = LoadChanges(base, &r);
    if (load == Load::kOk)
      records.push_back(std::move(r));
    else if (load == Load::kGarbled && unreadable)
      unreadable->push_back(base + std::string(LoadRecord(base + std::string(kSuffix), &r) == Load::kGarbled
                                                    ? kSuffix
                                                    : kJournalSuffix));
  }
  std::sort(records.begin(), records.end(),
            [](const UnwrittenRecord& a, const UnwrittenRecord& b) { return a.working_copy < b.working_copy; });
  return records;
}

void ReportKeptWorkingCopy(const UnwrittenRecord& record) {
  const std::string line = "miradel: working copy " + record.working_copy + " of model " + record.model_name +
                           " is kept: it holds " + std::to_string(record.entries.size()) +
                           " file(s) not written back to " + record.model_dir + " (see 'miradel recover')\n";
#ifdef _WIN32
  OutputDebugStringA(line.c_str());
#else
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
#endif
}

}  // namespace miradel
