#include "archive/archiver.h"

#include <zip.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "archive/env_source.h"
#include "base/path.h"
#include "base/text.h"
#include "disk/disk_object.h"
#include "lock/lock_slot.h"
#include "model/model_file_set.h"
#include "platform/env.h"

namespace miradel::archive {

namespace {

using Clock = std::chrono::steady_clock;

// zip -6's level: about its size at about its speed (libzip's own default is 9, far slower).
constexpr int kLevel = 6;
// Below this a second thread costs more than it saves.
constexpr std::uint64_t kParallelFrom = 16u << 20;
constexpr unsigned kMaxThreads = 8;
constexpr std::size_t kBuffer = 256u << 10;
#ifdef _WIN32
// Names in the host's code page go in as they are, unflagged, as every earlier archive holds them:
// a guess could take one for UTF-8 and flag it.
constexpr zip_flags_t kNameEncoding = ZIP_FL_ENC_CP437;
#else
// Names here are UTF-8, flagged as such where they are not plain ASCII.
constexpr zip_flags_t kNameEncoding = ZIP_FL_ENC_GUESS;
#endif

unsigned ThreadsFor(unsigned asked, std::size_t items, std::uint64_t bytes) {
  unsigned n = asked;
  if (n == 0) n = bytes >= kParallelFrom ? std::max(1u, std::thread::hardware_concurrency()) : 1;
  n = std::min(n, kMaxThreads);
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(n, items)));
}

// Splits items (by size) into n groups of about equal bytes, each in the items' own order.
std::vector<std::vector<std::size_t>> Shards(const std::vector<std::uint64_t>& sizes, unsigned n) {
  std::vector<std::size_t> order(sizes.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
  std::vector<std::vector<std::size_t>> shards(n);
  std::vector<std::uint64_t> load(n, 0);
  for (std::size_t i : order) {
    unsigned k = static_cast<unsigned>(std::min_element(load.begin(), load.end()) - load.begin());
    shards[k].push_back(i);
    load[k] += sizes[i] + 1;
  }
  for (auto& s : shards) std::sort(s.begin(), s.end());
  return shards;
}

// A name for temporary files that no other pack or unpack uses at the same time.
std::string Token() {
  static std::atomic<unsigned> counter{0};
  char buf[48];
  std::snprintf(buf, sizeof buf, "%llx-%x", static_cast<unsigned long long>(Clock::now().time_since_epoch().count()),
                counter.fetch_add(1));
  return buf;
}

std::string ZipText(zip_error_t* error) { return zip_error_strerror(error); }

// The status's text, naming the operation and the path where the Env did not.
std::string Told(const platform::Status& s, const char* operation, const std::string& path) {
  return (s.operation().empty() ? s.With(operation, path) : s).ToString();
}

// Reports progress to the caller, only ever on the thread that made it: directly from Tick() when
// the work runs on that thread, else every 100 ms while it waits for the workers.
class Reporter {
 public:
  Reporter(Progress* progress, std::size_t files_total, std::uint64_t bytes_total,
           const std::atomic<std::size_t>& files, const std::atomic<std::uint64_t>& bytes)
      : m_progress(progress), m_filesTotal(files_total), m_bytesTotal(bytes_total), m_files(files), m_bytes(bytes) {}

  void Report() {
    if (!m_progress) return;
    m_progress->Update(std::min(m_files.load(), m_filesTotal), m_filesTotal, std::min(m_bytes.load(), m_bytesTotal),
                      m_bytesTotal);
  }
  void Tick() {
    if (!m_progress || std::this_thread::get_id() != m_owner) return;
    Clock::time_point now = Clock::now();
    if (now - m_last < std::chrono::milliseconds(100)) return;
    m_last = now;
    Report();
  }
  void Done() {
    if (m_progress) m_progress->Update(m_filesTotal, m_filesTotal, m_bytesTotal, m_bytesTotal);
  }

  // work(k) for every k < n: here when n is 1, else on a thread each.
  template <class Work>
  void Run(unsigned n, Work work) {
    if (n == 1) {
      work(0u);
      return;
    }
    std::mutex mu;
    std::condition_variable cv;
    unsigned finished = 0;
    std::vector<std::thread> threads;
    for (unsigned k = 0; k < n; ++k)
      threads.emplace_back([&, k] {
        work(k);
        std::lock_guard<std::mutex> g(mu);
        ++finished;
        cv.notify_all();
      });
    {
      std::unique_lock<std::mutex> g(mu);
      while (finished < n) {
        cv.wait_for(g, std::chrono::milliseconds(100));
        g.unlock();
        Report();
        g.lock();
      }
    }
    for (std::thread& t : threads) t.join();
  }

 private:
  Progress* m_progress;
  std::size_t m_filesTotal;
  std::uint64_t m_bytesTotal;
  const std::atomic<std::size_t>& m_files;
  const std::atomic<std::uint64_t>& m_bytes;
  const std::thread::id m_owner = std::this_thread::get_id();
  Clock::time_point m_last = Clock::now();
};

struct PackItem {
  std::string path, name;
  std::uint64_t size;
};

// The failure of one pack or unpack: the Env's own words where it failed, else libzip's.
std::string Cause(SourceShared& shared, const std::string& zip_text) {
  std::string env_text = shared.FirstFailure();
  return env_text.empty() ? zip_text : env_text;
}

// Writes the items (by index) into a new archive at path; false with *error on failure, when the
// path holds what it held before.
bool WriteArchive(const std::string& path, const std::vector<PackItem>& items, const std::vector<std::size_t>& which,
                  SourceShared& shared, std::string* error) {
  platform::Env& env = platform::Current();
  zip_error_t ze;
  zip_error_init(&ze);
  zip_t* za = CreateArchive(path, &ze);
  if (!za) {
    *error = "cannot create " + path + ": " + ZipText(&ze);
    zip_error_fini(&ze);
    return false;
  }
  for (std::size_t i : which) {
    zip_source_t* src = EnvSource(env, items[i].path, &shared, &ze);
    zip_int64_t index = src ? zip_file_add(za, items[i].name.c_str(), src, kNameEncoding) : -1;
    if (index < 0) {
      *error = Cause(shared, src ? zip_strerror(za) : ZipText(&ze));
      if (src) zip_source_free(src);
      zip_discard(za);
      zip_error_fini(&ze);
      return false;
    }
    if (zip_set_file_compression(za, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, kLevel) < 0) {
      *error = zip_strerror(za);
      zip_discard(za);
      zip_error_fini(&ze);
      return false;
    }
  }
  zip_error_fini(&ze);
  if (zip_close(za) != 0) {
    *error = "cannot write " + path + ": " + Cause(shared, zip_strerror(za));
    zip_discard(za);
    return false;
  }
  return true;
}

// Why an entry's name may not be unpacked; "" when it may. Entries carry base names only: anything
// that could name another folder, a drive or a stream is refused, as are names Windows cannot hold.
std::string NameProblem(const std::string& name) {
  if (name.empty() || name == ".") return "has no name";
  if (name[0] == '/' || name[0] == '\\' || name.find(':') != std::string::npos || name == ".." ||
      name.find("../") != std::string::npos || name.find("..\\") != std::string::npos)
    return "would be written outside the destination folder";
  if (name.find_first_of("/\\") != std::string::npos) return "names a folder: an archive holds files of one folder only";
  for (unsigned char c : name)
    if (c < 0x20 || std::string("<>\"|?*").find(static_cast<char>(c)) != std::string::npos)
      return "holds characters no file name may hold";
  if (name.back() == '.' || name.back() == ' ') return "ends in a dot or blank, which Windows drops";
  return std::string();
}

struct Entry {
  zip_uint64_t index;
  std::string name;
  std::uint64_t size;
  std::string temp;  // set once the temporary file exists: it is ours to remove
};

// The entry's raw name as this system writes it; false when its code page cannot. A name flagged as
// UTF-8 (or carrying the Unicode path field) reads the same raw and strict, and is turned into the
// platform's form; an unflagged one, which strict reading would take for CP437, stands as its
// maker's code page wrote it.
bool HostName(zip_t* za, zip_uint64_t index, std::string* name) {
  const bool ascii = std::all_of(name->begin(), name->end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const char* strict = ascii ? nullptr : zip_get_name(za, index, ZIP_FL_ENC_STRICT);
  return !strict || *name != strict || platform::FromUtf8(std::string(strict), name);
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// Why unpacking into dest would harm what someone works on; "" when it would not. A file that is
// there is in use when a live lock in dest names the model it belongs to, or when its holder's
// sharing keeps writers out; a folder in the way is refused as well.
std::string InUse(platform::Env& env, const std::string& dest, const std::vector<Entry>& entries) {
  std::vector<std::string> locked;  // lower-case names of models whose lock is live
  std::vector<platform::DirEntry> locks;
  if (env.FindFiles(dest, "*.lck", &locks).ok())
    for (const platform::DirEntry& l : locks)
      if (!l.is_directory && l.name.size() > 4 && HeldBySomeoneElse(dest + l.name, nullptr))
        locked.push_back(text::LowerCase(l.name.substr(0, l.name.size() - 4)));
  for (const Entry& e : entries) {
    const std::string target = dest + e.name;
    platform::FileInfo info;
    if (!env.GetFileInfo(target, &info).ok()) continue;
    if (info.is_directory) return "a folder named " + e.name + " is in the way";
    const std::string lower = text::LowerCase(e.name);
    for (const std::string& model : locked) {
      ModelFileSet files;
      if (lower.compare(0, model.size(), model) == 0 && files.IsModelFileSuffix(lower.substr(model.size())))
        return e.name + " belongs to the model " + model + ", which is locked: someone works on it";
    }
    // As the one writer: refused while anyone writes it or keeps writers out.
    platform::FileHandle h = platform::kNoFile;
    const platform::Status s = env.OpenFile(target, platform::kWrite, platform::kShareRead | platform::kShareDelete,
                                            platform::Disposition::kOpenExisting, &h, nullptr);
    if (s.ok()) env.Close(h).IgnoreError();
    if (s.IsSharingViolation()) return e.name + " is open in a program that writes it or keeps others from it";
  }
  return std::string();
}

// Room beyond the entries, so that an unpack never fills the volume colleagues write back to.
std::uint64_t Needed(std::uint64_t total) { return SaturatingAdd(SaturatingAdd(total, total / 16), 1u << 20); }

}  // namespace

bool Archiver::Refuse(std::string text) {
  m_error = std::move(text);
  return false;
}

void Archiver::AddFilePathToArchive(std::string path) {
  m_files.push_back(path::ToNative(text::TrimTrailingBlanks(std::move(path))));
}

bool Archiver::CreateZipFile(Progress* progress) {
  m_error.clear();
  if (m_archive.empty()) return Refuse("no archive file given");
  if (m_files.empty()) return Refuse("no files to archive");
  platform::Env& env = platform::Current();

  std::vector<PackItem> items;
  std::vector<std::uint64_t> sizes;
  std::map<std::string, std::string> seen;  // folded name -> path
  std::uint64_t total = 0;
  for (const std::string& file : m_files) {
    std::string name = path::BaseName(file);
    if (!path::IsPlainName(name)) return Refuse("cannot archive '" + file + "': it names no file");
    auto [it, fresh] = seen.emplace(text::LowerCase(name), file);
    if (!fresh)
      return Refuse("two files named " + name + " (" + it->second + " and " + file +
                    "): the archive holds names without folders, so one would replace the other");
    platform::FileInfo info;
    platform::Status s = env.GetFileInfo(file, &info);
    if (!s.ok()) return Refuse("cannot archive " + file + ": " + Told(s, "status", file));
    if (info.is_directory) return Refuse("cannot archive " + file + ": it is a folder");
    items.push_back(PackItem{file, name, info.size});
    sizes.push_back(info.size);
    total += info.size;
  }

  // A folder that is not there fails at once, not after all the compressing.
  const std::string folder = path::DirectoryPart(m_archive);
  if (!folder.empty() && !env.CanEnterDirectory(folder)) return Refuse("cannot create " + m_archive + ": no folder " + folder);
  // The archive is made in the user's temporary folder and then put in place by the same
  // replace-write as every model file: whole or not at all, also on a share whose client will not
  // rename a file that is still open, as libzip's own commit does on Windows.
  const std::string token = Token();
  const std::string local = env.UserTempPath() + "~miradel-pack-" + token + ".zip";
  auto place = [&]() {
    platform::Status s = env.ReplaceWithCopy(local, m_archive);
    env.DeleteFile(local).IgnoreError();
    return s.ok() ? true : Refuse("cannot write " + m_archive + ": " + Told(s, "write", m_archive));
  };

  SourceShared shared;
  shared.count_bytes = true;
  Reporter reporter(progress, items.size(), total, shared.files, shared.bytes);
  shared.tick = [&reporter] { reporter.Tick(); };
  const unsigned n = ThreadsFor(m_threads, items.size(), total);
  if (n == 1) {
    std::vector<std::size_t> all(items.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    std::string error;
    if (!WriteArchive(local, items, all, shared, &error)) return Refuse(error);
    if (!place()) return false;
    reporter.Done();
    return true;
  }

  // Each thread compresses a shard into an archive of its own; their entries are then copied,
  // still compressed, into the archive in the files' order.
  const std::vector<std::vector<std::size_t>> shards = Shards(sizes, n);
  std::vector<std::string> temps(n), errors(n);
  for (unsigned k = 0; k < n; ++k)
    temps[k] = env.UserTempPath() + "~miradel-pack-" + token + "-" + std::to_string(k) + ".zip";
  reporter.Run(n, [&](unsigned k) {
    if (!WriteArchive(temps[k], items, shards[k], shared, &errors[k])) shared.stop = true;
  });
  std::vector<zip_t*> parts(n, nullptr);
  auto clean_up = [&] {
    for (unsigned k = 0; k < n; ++k) {
      if (parts[k]) zip_discard(parts[k]);
      env.DeleteFile(temps[k]).IgnoreError();  // none there when its shard failed early
    }
  };
  if (shared.stop) {
    clean_up();
    std::string cause = shared.FirstFailure();
    for (const std::string& e : errors)
      if (cause.empty() && !e.empty()) cause = e;
    return Refuse("cannot pack " + m_archive + ": " + cause);
  }

  std::vector<zip_uint64_t> index_in_part(items.size());
  std::vector<unsigned> part_of(items.size());
  for (unsigned k = 0; k < n; ++k)
    for (std::size_t j = 0; j < shards[k].size(); ++j) {
      part_of[shards[k][j]] = k;
      index_in_part[shards[k][j]] = j;
    }
  SourceShared merge_shared;
  zip_error_t ze;
  zip_error_init(&ze);
  std::string error;
  for (unsigned k = 0; k < n && error.empty(); ++k) {
    parts[k] = OpenArchiveForReading(env, temps[k], &merge_shared, &ze);
    if (!parts[k]) error = "cannot read " + temps[k] + ": " + Cause(merge_shared, ZipText(&ze));
  }
  zip_t* za = error.empty() ? CreateArchive(local, &ze) : nullptr;
  if (error.empty() && !za) error = "cannot create " + local + ": " + ZipText(&ze);
  for (std::size_t i = 0; i < items.size() && error.empty(); ++i) {
    zip_source_t* src = zip_source_zip(za, parts[part_of[i]], index_in_part[i], 0, 0, -1);
    if (!src || zip_file_add(za, items[i].name.c_str(), src, kNameEncoding) < 0) {
      error = zip_strerror(za);
      if (src) zip_source_free(src);
    }
  }
  if (za && error.empty() && zip_close(za) != 0)
    error = "cannot write " + local + ": " + Cause(merge_shared, zip_strerror(za));
  if (za && !error.empty()) zip_discard(za);
  zip_error_fini(&ze);
  clean_up();
  if (!error.empty()) return Refuse(error);
  if (!place()) return false;
  reporter.Done();
  return true;
}

bool Archiver::ExtractZipFile(const Path& archive, const Path& destination, Progress* progress) {
  m_error.clear();
  platform::Env& env = platform::Current();
  const std::string& source = archive.str();
  std::string dest = destination.str();
  CDiskObject disk(&env);
  if (dest.empty() || !disk.QualifyDirectoryPath(dest)) return Refuse("no usable destination folder: '" + destination.str() + "'");
  if (!env.CanEnterDirectory(dest)) return Refuse("the destination folder " + dest + " does not exist");

  SourceShared shared;
  zip_error_t ze;
  zip_error_init(&ze);
  zip_t* za = OpenArchiveForReading(env, source, &shared, &ze);
  if (!za) {
    const int code = zip_error_code_zip(&ze);
    std::string why = code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS || code == ZIP_ER_EOF
                          ? "not a zip archive, or a damaged or incomplete one (" + ZipText(&ze) + ")"
                          : Cause(shared, ZipText(&ze));
    zip_error_fini(&ze);
    return Refuse("cannot open archive " + source + ": " + why);
  }
  zip_error_fini(&ze);

  // Every entry is looked at before anything is written.
  std::vector<Entry> entries;
  std::vector<std::uint64_t> sizes;
  std::map<std::string, std::string> seen;
  std::uint64_t total = 0;
  const zip_int64_t count = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const zip_uint64_t index = static_cast<zip_uint64_t>(i);
    zip_stat_t st;
    const char* raw = zip_get_name(za, index, ZIP_FL_ENC_RAW);
    std::string name = raw ? raw : "";
    std::string problem;
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (!raw || zip_stat_index(za, index, ZIP_FL_ENC_RAW, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
      problem = "cannot be read: " + std::string(zip_strerror(za));
    else if (!HostName(za, index, &name))
      problem = "has a name this system's code page cannot write";
    else if (!(problem = NameProblem(name)).empty()) {
    } else if (zip_file_get_external_attributes(za, index, 0, &system, &attributes) == 0 &&
               ((system == ZIP_OPSYS_UNIX && ((attributes >> 16) & 0170000u) == 0120000u)))
      problem = "is a symbolic link";
    else if ((system == ZIP_OPSYS_UNIX && ((attributes >> 16) & 0170000u) == 0040000u) ||
             (system == ZIP_OPSYS_DOS && (attributes & 0x10u)))
      problem = "is a folder";
    else if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
      problem = "is encrypted";
    else if ((st.valid & ZIP_STAT_COMP_METHOD) && !zip_compression_method_supported(st.comp_method, 0))
      problem = "uses a compression method this program cannot unpack";
    else if (!seen.emplace(text::LowerCase(name), name).second)
      problem = "occurs twice (names are compared without regard to case)";
    if (!problem.empty()) {
      zip_discard(za);
      return Refuse("unsafe or damaged archive " + source + ": entry '" + name + "' " + problem + "; nothing unpacked");
    }
    entries.push_back(Entry{index, name, st.size, std::string()});
    sizes.push_back(st.size);
    total = SaturatingAdd(total, st.size);
  }
  // Refused before anything is written: what would not fit, and what would replace a file in use.
  std::uint64_t free = 0;
  if (env.FreeSpace(dest, &free).ok() && Needed(total) > free) {
    zip_discard(za);
    return Refuse("cannot unpack " + source + ": its files take " + std::to_string(total) + " bytes, and " + dest +
                  " has " + std::to_string(free) + " bytes free; nothing unpacked");
  }
  auto in_use = [&] {
    const std::string busy = InUse(env, dest, entries);
    return busy.empty() ? busy : "cannot unpack " + source + " into " + dest + ": " + busy;
  };
  std::string busy = in_use();
  if (!busy.empty()) {
    zip_discard(za);
    return Refuse(busy + "; nothing unpacked");
  }

  std::atomic<std::size_t> files_done{0};
  std::atomic<std::uint64_t> bytes_done{0};
  Reporter reporter(progress, entries.size(), total, files_done, bytes_done);
  const unsigned n = ThreadsFor(m_threads, entries.size(), total);
  const auto shards = Shards(sizes, n);
  const std::string token = Token();
  std::mutex error_mu;
  std::string error;
  auto fail = [&](const std::string& text) {
    std::lock_guard<std::mutex> g(error_mu);
    if (error.empty()) error = text;
    shared.stop = true;
  };

  reporter.Run(n, [&](unsigned k) {
    zip_t* z = za;
    if (n > 1) {
      zip_error_t e;
      zip_error_init(&e);
      z = OpenArchiveForReading(env, source, &shared, &e);
      if (!z) fail("cannot open archive " + source + ": " + Cause(shared, ZipText(&e)));
      zip_error_fini(&e);
      if (!z) return;
    }
    std::vector<char> buffer(kBuffer);
    for (std::size_t i : shards[k]) {
      if (shared.stop) break;
      Entry& entry = entries[i];
      const std::string what = "entry '" + entry.name + "' of " + source;
      const std::string temp = dest + "~miradel-unpack-" + token + "-" + std::to_string(entry.index) + ".tmp";
      platform::FileHandle h = platform::kNoFile;
      bool existed = false;
      platform::Status s = env.OpenFile(temp, platform::kWrite, platform::kShareRead | platform::kShareDelete,
                                        platform::Disposition::kOpenAlways, &h, &existed);
      if (s.ok() && existed) {
        env.Close(h).IgnoreError();  // not ours: left alone
        fail("cannot unpack " + what + ": the temporary file " + temp + " exists already");
        break;
      }
      if (!s.ok()) {
        fail("cannot unpack " + what + ": " + Told(s, "create", temp));
        break;
      }
      entry.temp = temp;
      zip_file_t* zf = zip_fopen_index(z, entry.index, 0);
      std::string problem;
      if (!zf) problem = std::string("it cannot be read: ") + zip_strerror(z);
      std::uint64_t written = 0;
      while (zf && problem.empty()) {
        zip_int64_t got = zip_fread(zf, buffer.data(), buffer.size());
        if (got < 0) {
          problem = std::string("it is damaged: ") + zip_file_strerror(zf);
        } else if (got == 0) {
          break;
        } else if ((written += static_cast<std::uint64_t>(got)) > entry.size) {
          problem = "it holds more data than its recorded size";
        } else if (!(s = env.Write(h, buffer.data(), static_cast<std::size_t>(got))).ok()) {
          problem = Told(s, "write", temp);
        } else {
          bytes_done.fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
          reporter.Tick();
        }
      }
      if (zf && zip_fclose(zf) != 0 && problem.empty()) problem = "it is damaged (its checksum does not match)";
      if (problem.empty() && written != entry.size) problem = "it holds less data than its recorded size";
      s = env.Close(h);
      if (problem.empty() && !s.ok()) problem = Told(s, "close", temp);
      if (!problem.empty()) {
        fail("cannot unpack " + what + ": " + problem);
        break;
      }
      files_done.fetch_add(1, std::memory_order_relaxed);
    }
    if (z != za) zip_discard(z);
  });
  zip_discard(za);

  // All whole: into place, unless someone began to work on the model meanwhile. A file that was
  // there is first moved aside and dropped only once every entry is in place: a failure puts each
  // one back, and removes the files that were not there before.
  struct Placed {
    std::string target, aside;
  };
  std::vector<Placed> placed;
  if (error.empty()) error = in_use();
  for (std::size_t i = 0; i < entries.size() && error.empty(); ++i) {
    const std::string target = dest + entries[i].name;
    Placed p{target, std::string()};
    platform::FileInfo info;
    platform::Status s = platform::Status::Ok();
    if (env.GetFileInfo(target, &info).ok()) {
      p.aside = dest + "~miradel-unpack-" + token + "-" + std::to_string(entries[i].index) + ".old";
      s = env.Rename(target, p.aside);
      if (!s.ok()) p.aside.clear();
    }
    if (s.ok()) s = env.Rename(entries[i].temp, target);
    if (!s.ok()) {
      if (!p.aside.empty()) placed.push_back(p);  // put back below with the others
      error = "cannot unpack entry '" + entries[i].name + "' of " + source + ": " + Told(s, "rename", target);
      break;
    }
    entries[i].temp.clear();
    placed.push_back(p);
  }
  if (!error.empty()) {
    for (const Entry& e : entries)
      if (!e.temp.empty()) env.DeleteFile(e.temp).IgnoreError();
    for (auto p = placed.rbegin(); p != placed.rend(); ++p) {
      if (p->aside.empty())
        env.DeleteFile(p->target).IgnoreError();
      else if (!env.Rename(p->aside, p->target).ok())
        error += "; the earlier " + p->target + " is kept as " + p->aside;
    }
    return Refuse(error);
  }
  for (const Placed& p : placed)
    if (!p.aside.empty() && !env.DeleteFile(p.aside).ok())
      platform::Diagnostic("miradel: the replaced " + p.target + " is left as " + p.aside);
  reporter.Done();
  return true;
}

}  // namespace miradel::archive
