// miradel_bench: the library's heavy paths measured against the system's own tools, in one run.
//
//   1. the request queue: FilePathQueue::PushBackUnique of 100,000 requests, all new, then all
//      duplicates of waiting ones (Google Benchmark; absolute times, there is no reference tool);
//   2. listing a directory of 100,000 files: CDiskObject::ListFiles against ls -f and ls;
//   3. opening a model: NW_CopyAllToTemp of 2,000 files / 1 GiB against cp -rp of the same files;
//   4. the write-back: (a) 100,000 NW_ASynchCopy calls, each timed, made while the copy thread
//      writes a 1 GiB file back; (b) draining 10,000 queued 64 KiB write-backs against cp -rp, cp -rp
//      with sync -f, and a loop that copies, fsyncs and renames each file as the write-back does,
//      first as new files, then over them;
//   5. the lock board (miradel who -r) over 10,000 folders with 1,000 lock files against find.
//
// The whole-command comparisons time each side several times, alternating which goes first, and
// report medians. Everything is made under --work DIR and removed only at the very end: for a
// minute or more after many deletions, ext4 without a journal (as on the machine this was made on)
// makes creating files expensive - it passes over recently freed inodes - which would charge each
// run for the clean-up of the one before. So the copies stay until the end (about 11 GiB with 5
// runs for the model copy; about 3 GiB, and 2.5 GiB a run, for the write-back); after each run they
// are flushed and dropped from the page cache, so that every timed run starts with nothing to flush
// and the same memory free. The library
// reads its temporary path once, when it is loaded: TMPDIR must already name a folder on the work
// folder's file system when this program starts (scripts/bench sees to it), so that the working
// copy and cp's copy are written to the same file system.
//
// Nothing here checks a performance target; the numbers are for people to read.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "copy/file_path_queue.h"
#include "disk/disk_object.h"
#include "hostkit/host.h"
#include "lock_board.h"
#include "miradel.h"
#include "platform/env.h"

namespace {

namespace fs = std::filesystem;
namespace hostkit = miradel::hostkit;
using Clock = std::chrono::steady_clock;

constexpr int kQueueRequests = 100000;
constexpr int kListFiles = 100000;
constexpr int kModelFiles = 2000;
constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kModelBytes = 1024 * kMiB;

// ---------------------------------------------------------------------------------------------
// Small tools

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

template <typename F>
double SecondsOf(F&& f) {
  Clock::time_point start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Wall-clock and processor seconds of repeated runs of one side. The machine may be shared: the
// processor time (user + system, of this process or of the commands it started) shows the work
// itself, the wall clock what a user waits.
struct Samples {
  std::vector<double> wall, cpu;
};

double CpuSeconds(int who) {
  struct rusage ru;
  if (::getrusage(who, &ru) != 0) return 0;
  auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
  return s(ru.ru_utime) + s(ru.ru_stime);
}

// Times f; by_command: f starts a command and waits for it, whose processor time is counted.
template <typename F>
void Measure(Samples& into, bool by_command, F&& f) {
  const int who = by_command ? RUSAGE_CHILDREN : RUSAGE_SELF;
  double cpu0 = CpuSeconds(who);
  into.wall.push_back(SecondsOf(std::forward<F>(f)));
  into.cpu.push_back(CpuSeconds(who) - cpu0);
}

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command; false when it did not succeed.
bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string Ms(double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, seconds < 0.01 ? "%.2f ms" : "%.0f ms", seconds * 1e3);
  return buf;
}

bool SameFileSystem(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

// Fills a buffer with bytes no compressor can shrink (splitmix64).
void FillRandom(std::vector<unsigned char>& buf, std::uint64_t& state) {
  for (std::size_t i = 0; i + 8 <= buf.size(); i += 8) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    std::memcpy(&buf[i], &z, 8);
  }
}

bool WriteRandomFile(const std::string& path, std::uint64_t size, std::uint64_t seed) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::vector<unsigned char> buf(std::min<std::uint64_t>(size, 4 * kMiB) + 8);
  std::uint64_t state = seed;
  std::uint64_t left = size;
  bool ok = true;
  while (ok && left > 0) {
    FillRandom(buf, state);
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size() - 8));
    ok = ::write(fd, buf.data(), n) == static_cast<ssize_t>(n);
    left -= n;
  }
  return ::close(fd) == 0 && ok;
}

// Share of the files' pages that sit in the page cache now, 0..1.
double ResidentShare(const std::vector<std::string>& paths) {
  const long page = ::sysconf(_SC_PAGESIZE);
  std::uint64_t resident = 0, total = 0;
  std::vector<unsigned char> vec;
  for (const std::string& p : paths) {
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
      void* map = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
      if (map != MAP_FAILED) {
        std::size_t pages = (static_cast<std::size_t>(st.st_size) + page - 1) / page;
        vec.assign(pages, 0);
        if (::mincore(map, static_cast<std::size_t>(st.st_size), vec.data()) == 0) {
          for (unsigned char v : vec) resident += v & 1;
          total += pages;
        }
        ::munmap(map, static_cast<std::size_t>(st.st_size));
      }
    }
    ::close(fd);
  }
  return total ? static_cast<double>(resident) / static_cast<double>(total) : 0;
}

struct Totals {
  std::uint64_t files = 0, bytes = 0;
};

Totals CountFiles(const std::string& dir) {
  Totals t;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    ++t.files;
    t.bytes += it->file_size(ec);
  }
  return t;
}

// Writes the files of dir to disk and lets the page cache forget them, so that the next run finds
// the memory they held free again. (On a virtual machine, memory the guest never used before may
// cost the host a fault per page on first use; a run that had to take such memory would pay more
// than one reusing what its predecessor held.)
void FlushAndForget(const std::string& dir) {
  ::sync();
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
}

void RemoveAll(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}


std::string RunTimes(const std::vector<double>& v) {
  std::string t;
  for (double x : v) t += (t.empty() ? "" : " ") + std::to_string(static_cast<long>(x * 1e3 + 0.5));
  return t + " ms";
}

// What goes into the table.
struct Row {
  std::string operation, ours, reference, ratio;
};
std::vector<Row> g_rows;
std::vector<std::string> g_notes;
bool g_failed = false;
// What the measurements leave behind, removed at the end.
std::vector<std::string> g_leftovers;

void RemoveLeftovers() {
  for (const std::string& p : g_leftovers) RemoveAll(p);
  g_leftovers.clear();
}

void Problem(const std::string& text) {
  std::printf("PROBLEM: %s\n", text.c_str());
  g_failed = true;
}

std::string Ratio(double ours, double reference) {
  if (reference <= 0) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", ours / reference);
  return buf;
}

// One row per reference with the wall-clock medians, then the same with processor time.
void AddRows(const std::string& operation, const Samples& ours,
             const std::vector<std::pair<std::string, const Samples*>>& references) {
  for (int cpu = 0; cpu < 2; ++cpu) {
    const double mine = Median(cpu ? ours.cpu : ours.wall);
    bool first = true;
    for (const auto& ref : references) {
      const double theirs = Median(cpu ? ref.second->cpu : ref.second->wall);
      g_rows.push_back({first ? operation + (cpu ? ", CPU" : ", wall") : std::string(), first ? Ms(mine) : "",
                        ref.first + ": " + Ms(theirs), Ratio(mine, theirs)});
      first = false;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// 1. The request queue

std::vector<std::string> g_queuePaths;

void MakeQueuePaths() {
  g_queuePaths.reserve(kQueueRequests);
  char buf[160];
  // The shape of a working-copy file: the user's temporary path, the version tag, the model's
  // folder; letter case as the host writes it, so that every request's key is folded.
  for (int i = 0; i < kQueueRequests; ++i) {
    std::snprintf(buf, sizeof buf, "/home/Engineer/AppData/Local/Temp/QV_080001/PUMP_%04d/Pump_d%06d.TXT", i % 7919,
                  i);
    g_queuePaths.emplace_back(buf);
  }
}

// Requests as the host builds them before handing them over; building them is not the queue's cost.
std::vector<miradel::QueueNode*> MakeNodes() {
  std::vector<miradel::QueueNode*> nodes;
  nodes.reserve(g_queuePaths.size());
  for (const std::string& p : g_queuePaths) {
    auto n = miradel::QueueNode::Copy(p);
    n->Place("//server/models/plant/", "plant");
    nodes.push_back(n.release());
  }
  return nodes;
}

void BM_QueueDistinct(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<miradel::QueueNode*> nodes = MakeNodes();
    auto queue = std::make_unique<miradel::FilePathQueue>();
    int accepted = 0;
    state.ResumeTiming();
    for (miradel::QueueNode* n : nodes) accepted += queue->PushBackUnique(n);
    state.PauseTiming();
    queue.reset();  // the queue owns the accepted nodes
    if (accepted != kQueueRequests) {
      state.SkipWithError("a distinct request was refused");
      break;
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kQueueRequests);
}

void BM_QueueDuplicates(benchmark::State& state) {
  miradel::FilePathQueue queue;
  for (miradel::QueueNode* n : MakeNodes())
    if (!queue.PushBackUnique(n)) delete n;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<miradel::QueueNode*> nodes = MakeNodes();
    int refused = 0;
    state.ResumeTiming();
    for (miradel::QueueNode* n : nodes) refused += queue.PushBackUnique(n) == 0;
    state.PauseTiming();
    // The refused requests are still ours; any accepted one belongs to the queue now.
    std::set<const miradel::QueueNode*> linked;
    if (refused != kQueueRequests)
      for (const miradel::QueueNode* n = queue.Head(); n; n = n->Next()) linked.insert(n);
    for (miradel::QueueNode* n : nodes)
      if (!linked.count(n)) delete n;
    if (refused != kQueueRequests) {
      state.SkipWithError("a duplicate request was accepted");
      break;
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kQueueRequests);
}

BENCHMARK(BM_QueueDistinct)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QueueDuplicates)->Unit(benchmark::kMillisecond)->UseRealTime();

// Prints Google Benchmark's usual lines and keeps the seconds per iteration for the table.
class KeepingReporter : public benchmark::ConsoleReporter {
 public:
  KeepingReporter() : ConsoleReporter(::isatty(1) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred && r.iterations > 0)
        seconds[r.benchmark_name()] = r.real_accumulated_time / static_cast<double>(r.iterations);
      else if (r.error_occurred)
        Problem(r.benchmark_name() + ": " + r.error_message);
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

void RunQueueBenchmarks() {
  std::printf("\n== 1. Request queue: PushBackUnique of %d requests (Google Benchmark)\n", kQueueRequests);
  std::fflush(stdout);
  MakeQueuePaths();
  KeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::fflush(stdout);
  const std::pair<const char*, const char*> rows[] = {
      {"BM_QueueDistinct/real_time", "PushBackUnique x100,000, all new"},
      {"BM_QueueDuplicates/real_time", "PushBackUnique x100,000, all duplicates"}};
  for (const auto& r : rows) {
    auto it = reporter.seconds.find(r.first);
    if (it == reporter.seconds.end()) continue;
    char ours[64];
    std::snprintf(ours, sizeof ours, "%s (%.0f ns each)", Ms(it->second).c_str(), it->second / kQueueRequests * 1e9);
    g_rows.push_back({r.second, ours, "-", "-"});
  }
}

// ---------------------------------------------------------------------------------------------
// 2. Listing a directory of 100,000 files

void RunListingBenchmark(const std::string& work, int runs, double command_overhead) {
  std::printf("\n== 2. Listing a directory of %d files: CDiskObject::ListFiles against ls\n", kListFiles);
  const std::string dir = work + "/list";
  RemoveAll(dir);
  if (::mkdir(dir.c_str(), 0755) != 0) return Problem("cannot make " + dir);
  g_leftovers.push_back(dir);
  double made = SecondsOf([&] {
    char name[32];
    for (int i = 0; i < kListFiles; ++i) {
      std::snprintf(name, sizeof name, "/pump%06d.l%03d", i, i % 1000);
      int fd = ::open((dir + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) return Problem("cannot make the files of " + dir);
      ::close(fd);
    }
  });
  std::printf("   made %d empty files in %s (%.1f s); directory entries are cached (warm)\n", kListFiles, dir.c_str(),
              made);

  miradel::CDiskObject disk;
  Samples ours, ls_f, ls_sorted;
  std::size_t listed = 0;
  const std::string q = Quoted(dir);
  for (int run = 0; run < runs; ++run) {
    auto do_ours = [&] {
      std::vector<std::string> list;
      // Full paths, as the whole-model copy asks for them; the result comes sorted.
      Measure(ours, false, [&] { disk.ListFiles(dir, list, 1); });
      listed = list.size();
    };
    auto do_ls = [&] {
      Measure(ls_f, true, [&] { Shell("ls -f " + q + " >/dev/null"); });
      Measure(ls_sorted, true, [&] { Shell("LC_ALL=C ls " + q + " >/dev/null"); });
    };
    if (run % 2 == 0) {
      do_ours();
      do_ls();
    } else {
      do_ls();
      do_ours();
    }
  }
  if (listed != static_cast<std::size_t>(kListFiles))
    Problem("ListFiles found " + std::to_string(listed) + " files, not " + std::to_string(kListFiles));
  std::printf("   medians of %d runs: ListFiles %s, ls -f %s, LC_ALL=C ls %s\n", runs, Ms(Median(ours.wall)).c_str(),
              Ms(Median(ls_f.wall)).c_str(), Ms(Median(ls_sorted.wall)).c_str());
  std::printf("   runs: ListFiles %s; ls -f %s; LC_ALL=C ls %s\n", RunTimes(ours.wall).c_str(),
              RunTimes(ls_f.wall).c_str(), RunTimes(ls_sorted.wall).c_str());
  AddRows("ListFiles, 100,000 files (sorted full paths)", ours, {{"ls -f", &ls_f}, {"LC_ALL=C ls", &ls_sorted}});
  g_notes.push_back("ls times include starting a program through the shell (" + Ms(command_overhead) +
                    " for /bin/true)");
}

// ---------------------------------------------------------------------------------------------
// 3. Opening a model: the whole-model copy into the QV temporary directory

struct ModelFile {
  std::string name;
  std::uint64_t size;
};

// 2,000 files, 1 GiB: a few large results, the force spectra, and many small files of the kinds a
// model collects (every name is one the model's file set selects).
std::vector<ModelFile> ModelLayout() {
  std::vector<ModelFile> files = {
      {"pump.out", 256 * kMiB}, {"pump.rpt", 160 * kMiB}, {"pump.sum", 96 * kMiB}, {"pump.hgr", 64 * kMiB},
      {"pump.eig", 48 * kMiB},  {"pump.str", 40 * kMiB},  {"pump.mdb", 32 * kMiB}, {"pump.dat", 24 * kMiB},
      {"pump.xml", 16 * kMiB},  {"pump.tim", 16 * kMiB}};
  for (int i = 1; i <= 9; ++i) files.push_back({"pump.fs" + std::to_string(i), 4 * kMiB});
  std::vector<std::string> small;
  for (const char* s : {".cmb", ".pws", ".tpp", ".gdl", ".lin", ".hrm", ".rsp", ".sam", ".f10", ".fsp", ".flx",
                        ".opl", ".pipe", ".bak", ".chk", ".mod", ".geo", ".pst", ".log", ".tss", ".tto", ".tdl",
                        ".tsm", ".msg", ".dxf", ".ntl", ".pxd", ".pxf", ".pxh", ".pxs", ".pcf", ".cii", ".lpipelink"})
    small.push_back(std::string("pump") + s);
  char buf[32];
  for (int i = 1; i <= 999; ++i) {
    std::snprintf(buf, sizeof buf, "pump.l%03d", i);
    small.push_back(buf);
  }
  for (int i = 1; small.size() + files.size() < static_cast<std::size_t>(kModelFiles); ++i) {
    std::snprintf(buf, sizeof buf, "pump_d%04d.txt", i);
    small.push_back(buf);
  }
  std::uint64_t used = 0;
  for (const ModelFile& f : files) used += f.size;
  // Sizes spread log-uniformly over 1 KiB .. 512 KiB, scaled so that the whole model is 1 GiB.
  std::uint64_t state = 12345;
  std::vector<double> raw;
  double sum = 0;
  for (std::size_t i = 0; i < small.size(); ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    double u = static_cast<double>(state >> 11) / 9007199254740992.0;
    raw.push_back(1024.0 * std::pow(512.0, u));
    sum += raw.back();
  }
  const double scale = static_cast<double>(kModelBytes - used) / sum;
  for (std::size_t i = 0; i < small.size(); ++i) {
    std::uint64_t size = i + 1 < small.size() ? static_cast<std::uint64_t>(raw[i] * scale) : kModelBytes - used;
    files.push_back({small[i], size});
    used += size;
  }
  return files;
}

// A silent host whose message boxes are counted: each one is a Problem when the section ends. The
// count is atomic because the copy thread may ask too.
std::atomic<int> g_boxes{0};

int MIRADEL_CALL CountBox(void*, intptr_t, const char* text, const char*, unsigned int, const char*, const char*,
                          unsigned int) {
  ++g_boxes;
  std::printf("   message box: %s\n", text);
  return 2;
}

class QuietHost {
 public:
  explicit QuietHost(std::string during) : m_during(std::move(during)) {
    g_boxes = 0;
    MiradelUiCallbacks table{};
    table.size = sizeof table;
    table.message_box = &CountBox;
    MiradelSetUiCallbacks(&table);
    hostkit::SetSilent(1);
    hostkit::SetVersion(80100);
  }
  ~QuietHost() {
    MiradelSetUiCallbacks(nullptr);
    if (int boxes = g_boxes.load()) Problem(std::to_string(boxes) + " message boxes during " + m_during);
  }
  QuietHost(const QuietHost&) = delete;
  QuietHost& operator=(const QuietHost&) = delete;

 private:
  std::string m_during;
};

// The lock board over a tree of 10,000 folders (100 of 100), every tenth with a model lock nobody
// holds, against find. The board opens each lock it finds to tell held from stale; find only names them.
void RunBoardBenchmark(const std::string& work, int runs) {
  constexpr int kTop = 100, kEach = 100;
  std::printf("\n== 5. The lock board (miradel who -r) over %d folders against find -name '*.lck'\n", kTop * kEach);
  const std::string root = work + "/board";
  RemoveAll(root);
  if (::mkdir(root.c_str(), 0755) != 0) return Problem("cannot make " + root);
  g_leftovers.push_back(root);
  int locks = 0;
  for (int i = 0; i < kTop; ++i) {
    const std::string top = root + "/site" + std::to_string(i);
    ::mkdir(top.c_str(), 0755);
    for (int j = 0; j < kEach; ++j) {
      const std::string dir = top + "/model" + std::to_string(j);
      ::mkdir(dir.c_str(), 0755);
      for (const char* name : {"/m.dat", "/m.cmb", (j % 10 == 0) ? "/m.lck" : nullptr}) {
        if (!name) continue;
        int fd = ::open((dir + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return Problem("cannot make the files of " + dir);
        if (name[3] == 'l') {
          static const char kLock[] = "<?xml version=\"1.0\"?><Lock><Machine>PC</Machine><User>u</User></Lock>";
          if (::write(fd, kLock, sizeof kLock - 1) < 0) Problem("cannot write a lock file");
          ++locks;
        }
        ::close(fd);
      }
    }
  }
  Samples ours, theirs;
  std::size_t found = 0;
  for (int run = 0; run < runs; ++run) {
    std::vector<miradel::tools::LockState> board;
    std::string error;
    Measure(ours, false, [&] { miradel::tools::LockBoard(miradel::platform::System(), root + "/", &board, &error); });
    found = board.size();
    Measure(theirs, true, [&] { Shell("find " + Quoted(root) + " -name '*.lck' >/dev/null"); });
  }
  if (found != static_cast<std::size_t>(locks)) Problem("the board found " + std::to_string(found) + " locks, not " + std::to_string(locks));
  std::printf("   medians of %d runs: board %s, find %s\n", runs, Ms(Median(ours.wall)).c_str(), Ms(Median(theirs.wall)).c_str());
  AddRows("lock board, 10,000 folders, 1,000 locks", ours, {{"find -name '*.lck'", &theirs}});
}

void RunCopyBenchmark(const std::string& work, int runs) {
  std::printf("\n== 3. Opening a model: NW_CopyAllToTemp(0) of %d files / 1 GiB against cp -rp\n", kModelFiles);
  const std::string model = work + "/model";
  const std::string cp_root = work + "/cp";
  RemoveAll(model);
  RemoveAll(cp_root);
  if (::mkdir(model.c_str(), 0755) != 0 || ::mkdir(cp_root.c_str(), 0755) != 0)
    return Problem("cannot make " + model + " or " + cp_root);
  g_leftovers.push_back(model);
  g_leftovers.push_back(cp_root);

  std::vector<ModelFile> layout = ModelLayout();
  std::vector<std::string> paths;
  double made = SecondsOf([&] {
    std::uint64_t seed = 1;
    for (const ModelFile& f : layout) {
      paths.push_back(model + "/" + f.name);
      if (!WriteRandomFile(paths.back(), f.size, seed++)) return Problem("cannot write " + paths.back());
    }
  });
  Totals source = CountFiles(model);
  std::printf("   made %" PRIu64 " files, %.0f MiB of random bytes in %s (%.1f s); largest %s %" PRIu64 " MiB\n",
              source.files, static_cast<double>(source.bytes) / kMiB, model.c_str(), made, layout[0].name.c_str(),
              layout[0].size / kMiB);
  if (source.files != kModelFiles || source.bytes != kModelBytes) return Problem("the sample model is incomplete");

  QuietHost host("the copies");

  Samples ours, theirs;
  std::vector<double> resident;
  bool same_fs_checked = false;
  for (int run = 0; run < runs; ++run) {
    auto do_ours = [&]() -> bool {
      MiradelLockOwner owner{};
      if (hostkit::GetLock(model, "pump", &owner) != 1) return Problem("NW_GetLock refused the model"), false;
      if (hostkit::SetModelDir(model, "pump") != 1) {
        NW_ReleaseLock();
        return Problem("NW_SetModelDir failed"), false;
      }
      char temp[MIRADEL_PATH_BUFFER] = {};
      NW_GetQVTempDir(temp);
      g_leftovers.push_back(temp);
      if (!same_fs_checked) {
        same_fs_checked = true;
        std::printf("   QV temporary directory %s, cp's copies under %s\n", temp, cp_root.c_str());
        if (!SameFileSystem(temp, model) || !SameFileSystem(temp, cp_root))
          Problem("the QV temporary directory is not on the file system of the model and of cp's copies");
      }
      ::sync();
      resident.push_back(ResidentShare(paths));
      int copied = 0;
      int mode = 0;
      Measure(ours, false, [&] { copied = NW_CopyAllToTemp(&mode); });
      Totals got = CountFiles(temp);
      if (copied != 1 || got.files != kModelFiles || got.bytes != kModelBytes)
        Problem("NW_CopyAllToTemp = " + std::to_string(copied) + ", working copy " + std::to_string(got.files) +
                " files, " + std::to_string(got.bytes) + " bytes");
      // The lock only: the working copy stays until the end (see the top of this file).
      NW_ReleasLckOnly();
      FlushAndForget(temp);
      return true;
    };
    auto do_cp = [&]() -> bool {
      const std::string target = cp_root + "/run" + std::to_string(run);
      ::sync();
      resident.push_back(ResidentShare(paths));
      bool ok = false;
      Measure(theirs, true, [&] { ok = Shell("cp -rp " + Quoted(model) + " " + Quoted(target)); });
      Totals got = CountFiles(target);
      if (!ok || got.files != kModelFiles || got.bytes != kModelBytes)
        Problem("cp made " + std::to_string(got.files) + " files, " + std::to_string(got.bytes) + " bytes");
      FlushAndForget(target + "/");
      return true;
    };
    bool fine = run % 2 == 0 ? (do_ours() && do_cp()) : (do_cp() && do_ours());
    if (!fine) break;
  }
  if (ours.wall.empty() || theirs.wall.empty()) return;

  const double in_cache = *std::min_element(resident.begin(), resident.end());
  std::printf("   medians of %d runs each: NW_CopyAllToTemp %s (%.0f MiB/s), cp -rp %s (%.0f MiB/s)\n", runs,
              Ms(Median(ours.wall)).c_str(), 1024 / Median(ours.wall), Ms(Median(theirs.wall)).c_str(),
              1024 / Median(theirs.wall));
  std::printf("   runs: NW_CopyAllToTemp %s; cp -rp %s\n", RunTimes(ours.wall).c_str(), RunTimes(theirs.wall).c_str());
  std::printf("   source data in the page cache before each run: at least %.0f%% (%s)\n", in_cache * 100,
              in_cache > 0.95 ? "warm" : in_cache < 0.05 ? "cold" : "partly warm");
  AddRows("NW_CopyAllToTemp, 2,000 files / 1 GiB", ours, {{"cp -rp", &theirs}});
  char note[256];
  std::snprintf(note, sizeof note,
                "copies: source %s (at least %.0f%% in the page cache), written into the page cache; outside the "
                "timing each copy is then flushed and dropped from the cache; nothing deleted until all runs are done",
                in_cache > 0.95 ? "warm" : "not all warm", in_cache * 100);
  g_notes.push_back(note);
  g_notes.push_back(
      "NW_CopyAllToTemp also clears the read-only attribute of every copied file and fetches the model's fixed "
      "companion files once more after the whole-model copy (six small files here)");
}

// ---------------------------------------------------------------------------------------------
// 4. The write-back: the host's requests while the copy thread is busy, and a full queue drained

constexpr int kRequestCalls = 100000;
constexpr int kDrainFiles = 10000;
constexpr std::uint64_t kDrainFileBytes = 64 * 1024;
constexpr std::uint64_t kBigFileBytes = 1024 * kMiB;

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Waits until path exists; false after limit_s seconds.
bool AwaitFile(const std::string& path, double limit_s) {
  const Clock::time_point end =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limit_s));
  while (!Exists(path)) {
    if (Clock::now() > end) return false;
    struct timespec pause = {0, 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
  return true;
}

// Model "pump" in dir, with a small data file, locked and opened as the host opens it; the working
// copy's path (with its separator), or empty after a Problem.
std::string OpenSampleModel(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0755) != 0) return Problem("cannot make " + dir), "";
  g_leftovers.push_back(dir);
  if (!WriteRandomFile(dir + "/pump.dat", 64 * 1024, 99)) return Problem("cannot write " + dir + "/pump.dat"), "";
  MiradelLockOwner owner{};
  if (hostkit::GetLock(dir, "pump", &owner) != 1) return Problem("NW_GetLock refused " + dir), "";
  if (hostkit::SetModelDir(dir, "pump") != 1 || hostkit::CopyAllToTemp(0) != 1) {
    NW_ReleaseLock();
    return Problem("NW_SetModelDir or NW_CopyAllToTemp failed for " + dir), "";
  }
  const std::string temp = hostkit::QVTempDir();
  g_leftovers.push_back(temp);
  return temp;
}

std::string Us(double ns) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f us", ns / 1e3);
  return buf;
}

// 4a. The host queues 100,000 distinct files, each present in the working copy, while the copy
// thread is inside the replacement of a 1 GiB file; each call is timed on its own. The small files
// are then moved out of the working copy (not deleted: see the top of this file), so that the thread
// finds their requests done without writing 100,000 files with a flush each.
// True when the copy thread was started (4b needs it running).
bool RunRequestBenchmark(const std::string& work) {
  std::printf("\n== 4a. %d NW_ASynchCopy calls (distinct files) while a 1 GiB write-back runs\n", kRequestCalls);
  QuietHost host("the write-back requests");
  const std::string model = work + "/wb-requests";
  const std::string temp = OpenSampleModel(model);
  if (temp.empty()) return false;
  const std::string aside = work + "/wb-requests-aside";
  if (::mkdir(aside.c_str(), 0755) != 0) {
    NW_ReleaseLock();
    return Problem("cannot make " + aside), false;
  }
  g_leftovers.push_back(aside);

  std::vector<std::string> names;
  std::vector<int> lengths;
  std::vector<unsigned char> small(1024);
  std::uint64_t state = 5;
  bool ok = true;
  double made = SecondsOf([&] {
    if (!(ok = WriteRandomFile(temp + "pump.out", kBigFileBytes, 7))) return Problem("cannot write " + temp + "pump.out");
    char name[32];
    for (int i = 0; i < kRequestCalls; ++i) {
      std::snprintf(name, sizeof name, "pump_r%06d", i);
      names.emplace_back(name);
      lengths.push_back(static_cast<int>(names.back().size()));
      FillRandom(small, state);
      const std::string path = temp + names.back() + ".txt";
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      ok = fd >= 0 && ::write(fd, small.data(), small.size()) == static_cast<ssize_t>(small.size());
      if (fd >= 0) ::close(fd);
      if (!ok) return Problem("cannot write " + path);
    }
  });
  if (!ok) {
    NW_ReleaseLock();
    return false;
  }
  std::printf("   made the working copy's 1 GiB pump.out and %d files of 1 KiB (%.1f s)\n", kRequestCalls, made);
  ::sync();

  const std::string replacing = model + "/" + miradel::platform::ReplacementTempName("pump.out");
  hostkit::ASynchCopy("pump", "out");
  if (!AwaitFile(replacing, 60)) {
    NW_ReleaseLock();
    return Problem("the copy thread did not start on pump.out within 60 s"), false;
  }
  std::vector<double> ns(kRequestCalls);
  int busy_blocks = 0;
  const int mode = 2;
  double wall = SecondsOf([&] {
    for (int i = 0; i < kRequestCalls; ++i) {
      if (i % 1000 == 0 && Exists(replacing)) ++busy_blocks;
      Clock::time_point t0 = Clock::now();
      NW_ASynchCopy(&mode, names[i].data(), &lengths[i], "txt");
      ns[i] = static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count());
    }
  });
  const bool still_busy = Exists(replacing);

  double drained = SecondsOf([&] {
    for (const std::string& n : names) ::rename((temp + n + ".txt").c_str(), (aside + "/" + n + ".txt").c_str());
    // Waits for the queue, then writes the data file back.
    if (NW_CopyModelFrmTmp() != 1) Problem("NW_CopyModelFrmTmp failed after the requests");
  });
  struct stat st;
  if (::stat((model + "/pump.out").c_str(), &st) != 0 || static_cast<std::uint64_t>(st.st_size) != kBigFileBytes ||
      Exists(replacing))
    Problem("pump.out was not written back whole");
  NW_ReleasLckOnly();
  FlushAndForget(model);
  FlushAndForget(temp);

  std::vector<double> sorted = ns;
  std::sort(sorted.begin(), sorted.end());
  auto at = [&](double share) { return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(share * sorted.size()))]; };
  double sum = 0;
  for (double x : ns) sum += x;
  std::printf("   %d calls in %s (sum of the calls %s): p50 %s, p90 %s, p99 %s, p99.9 %s, max %s\n", kRequestCalls,
              Ms(wall).c_str(), Ms(sum * 1e-9).c_str(), Us(at(0.5)).c_str(), Us(at(0.9)).c_str(), Us(at(0.99)).c_str(),
              Us(at(0.999)).c_str(), Us(sorted.back()).c_str());
  std::printf("   the 1 GiB replacement was under way at %d of the %d checks (one per 1,000 calls)%s\n", busy_blocks,
              kRequestCalls / 1000, still_busy ? " and after the last call" : "; it ended before the last call");
  std::printf("   then %.1f s until the thread had served the backlog (the small files moved out of the working "
              "copy) and pump.out was in place\n", drained);
  char ours[64];
  std::snprintf(ours, sizeof ours, "%s, p99 %s", Ms(wall).c_str(), Us(at(0.99)).c_str());
  g_rows.push_back({"NW_ASynchCopy x100,000 during a 1 GiB write-back", ours, "-", "-"});
  char note[200];
  std::snprintf(note, sizeof note,
                "NW_ASynchCopy during the write-back: p50 %s, p99.9 %s, max %s; the 1 GiB file was still being "
                "written at %d of %d checks",
                Us(at(0.5)).c_str(), Us(at(0.999)).c_str(), Us(sorted.back()).c_str(), busy_blocks, kRequestCalls / 1000);
  g_notes.push_back(note);
  return true;
}

// The write-back's own steps without the library: copy into a temporary file beside the target,
// keep the source's times, flush, rename over the target. False on the first failure.
bool CopyFlushRename(const std::string& from_dir, const std::vector<std::string>& names, const std::string& to_dir) {
  if (::mkdir(to_dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
  std::vector<char> buf(kDrainFileBytes);
  for (const std::string& name : names) {
    const std::string temp = to_dir + "/~" + name + ".tmp";
    int in = ::open((from_dir + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = in >= 0 && out >= 0;
    for (ssize_t n = 0; ok && (n = ::read(in, buf.data(), buf.size())) != 0;)
      ok = n > 0 && ::write(out, buf.data(), static_cast<std::size_t>(n)) == n;
    struct stat st;
    if (ok && ::fstat(in, &st) == 0) {
      const struct timespec times[2] = {st.st_atim, st.st_mtim};
      ok = ::futimens(out, times) == 0;
    }
    ok = ok && ::fsync(out) == 0;
    if (in >= 0) ::close(in);
    if (out >= 0 && ::close(out) != 0) ok = false;
    if (!ok || ::rename(temp.c_str(), (to_dir + "/" + name).c_str()) != 0) return false;
  }
  return true;
}

// The inode numbers of the named files in dir (0: missing). A replacement renames a new file over
// the old one, so a changed number shows that it arrived; the times are the source's either way.
std::vector<ino_t> Inodes(const std::string& dir, const std::vector<std::string>& names) {
  std::vector<ino_t> out;
  struct stat st;
  for (const std::string& n : names) out.push_back(::stat((dir + "/" + n).c_str(), &st) == 0 ? st.st_ino : 0);
  return out;
}

// Files of names in dir with their full size and an inode other than before's (when given).
int CountArrived(const std::string& dir, const std::vector<std::string>& names, const std::vector<ino_t>* before) {
  int whole = 0;
  struct stat st;
  for (std::size_t i = 0; i < names.size(); ++i)
    whole += ::stat((dir + "/" + names[i]).c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) == kDrainFileBytes &&
             (!before || st.st_ino != (*before)[i]);
  return whole;
}

// Waits until path is a file other than inode `old` (0: until it exists); false after limit_s.
bool AwaitArrival(const std::string& path, ino_t old, double limit_s) {
  const Clock::time_point end =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limit_s));
  struct stat st;
  while (::stat(path.c_str(), &st) != 0 || st.st_ino == old) {
    if (Clock::now() > end) return false;
    struct timespec pause = {0, 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
  return true;
}

// One way of getting the files into a directory: first as new files, then again over them.
struct DrainSide {
  explicit DrainSide(std::string n) : name(std::move(n)) {}
  std::string name;
  Samples fresh, again;
};

// 4b. 10,000 write-backs of 64 KiB queued with the copy thread parked, timed from its release
// until the last file is in the model directory (the thread serves the queue in order, so the last
// one's arrival means all were served; each is checked afterwards). Each side writes the files twice
// into a directory of its own: new, then over the ones it wrote (as a host writes its results
// again). The working copy's files are hard links to one set of sources, so that every side reads
// the same cached data.
void RunDrainBenchmark(const std::string& work, int runs) {
  std::printf("\n== 4b. Draining %d queued write-backs of 64 KiB against cp -rp, cp -rp + sync -f and a "
              "copy+fsync+rename loop; new files, then over them\n", kDrainFiles);
  QuietHost host("the queued write-backs");
  const std::string root = work + "/wb-drain";
  const std::string sources = root + "/files";
  RemoveAll(root);
  if (::mkdir(root.c_str(), 0755) != 0 || ::mkdir(sources.c_str(), 0755) != 0) return Problem("cannot make " + sources);
  g_leftovers.push_back(root);
  std::vector<std::string> names;
  char name[32];
  for (int i = 0; i < kDrainFiles; ++i) {
    std::snprintf(name, sizeof name, "pump_d%05d.txt", i);
    names.emplace_back(name);
    if (!WriteRandomFile(sources + "/" + name, kDrainFileBytes, 1000 + static_cast<std::uint64_t>(i)))
      return Problem("cannot write " + sources + "/" + name);
  }

  DrainSide ours{"write-back"}, cp{"cp -rp"}, cp_sync{"cp -rp; sync -f"}, loop{"copy+fsync+rename"};
  std::vector<double> queueing;
  const int park = 0, release = 1, mode = 2;
  // Both passes of one side; pass(samples, dir, before) copies and checks, before: the inodes the
  // second pass must replace.
  auto both = [&](DrainSide& side, const std::string& dir,
                  const std::function<void(Samples&, const std::vector<ino_t>*)>& pass) {
    pass(side.fresh, nullptr);
    FlushAndForget(dir);
    const std::vector<ino_t> before = Inodes(dir, names);
    pass(side.again, &before);
    FlushAndForget(dir);
  };
  for (int run = 0; run < runs; ++run) {
    const std::string suffix = std::to_string(run);
    auto do_ours = [&] {
      const std::string model = root + "/model" + suffix;
      const std::string temp = OpenSampleModel(model);
      if (temp.empty()) return;
      for (const std::string& n : names)
        if (::link((sources + "/" + n).c_str(), (temp + n).c_str()) != 0) {
          NW_ReleasLckOnly();
          return Problem("cannot link " + temp + n);
        }
      both(ours, model, [&](Samples& into, const std::vector<ino_t>* before) {
        // The thread runs since 4a; parked, it takes nothing from the queue until released.
        NW_SpndWaitThrd(&park);
        queueing.push_back(SecondsOf([&] { NW_ASynchCopyExt(&mode, "txt"); }));
        ::sync();
        bool arrived = false;
        Measure(into, false, [&] {
          NW_SpndWaitThrd(&release);
          arrived = AwaitArrival(model + "/" + names.back(), before ? before->back() : 0, 600);
        });
        const int whole = CountArrived(model, names, before);
        if (!arrived || whole != kDrainFiles)
          Problem("the write-back brought " + std::to_string(whole) + " of " + std::to_string(kDrainFiles) +
                  " files into " + model);
      });
      NW_ReleasLckOnly();
    };
    auto do_command = [&](DrainSide& side, const std::string& dir, const std::string& after) {
      both(side, dir, [&](Samples& into, const std::vector<ino_t>* before) {
        ::sync();
        bool ok = false;
        // The second time cp writes into the files it made (cp does not replace them).
        const std::string from = before ? sources + "/." : sources;
        Measure(into, true, [&] { ok = Shell("cp -rp " + Quoted(from) + " " + Quoted(dir) + after); });
        if (!ok || CountArrived(dir, names, nullptr) != kDrainFiles) Problem(side.name + " did not copy " + dir + " whole");
      });
    };
    auto do_cp = [&] { do_command(cp, root + "/cp" + suffix, ""); };
    auto do_cp_sync = [&] {
      const std::string dir = root + "/cps" + suffix;
      do_command(cp_sync, dir, " && sync -f " + Quoted(dir));
    };
    auto do_loop = [&] {
      const std::string dir = root + "/loop" + suffix;
      both(loop, dir, [&](Samples& into, const std::vector<ino_t>* before) {
        ::sync();
        bool ok = false;
        Measure(into, false, [&] { ok = CopyFlushRename(sources, names, dir); });
        if (!ok || CountArrived(dir, names, before) != kDrainFiles) Problem("the loop did not copy " + dir + " whole");
      });
    };
    if (run % 2 == 0) {
      do_ours(), do_cp(), do_cp_sync(), do_loop();
    } else {
      do_loop(), do_cp_sync(), do_cp(), do_ours();
    }
  }
  const DrainSide* sides[] = {&ours, &cp, &cp_sync, &loop};
  for (const DrainSide* side : sides)
    if (side->fresh.wall.empty() || side->again.wall.empty()) return;
  for (int again = 0; again < 2; ++again) {
    auto of = [&](const DrainSide& side) -> const Samples& { return again ? side.again : side.fresh; };
    std::printf("   %s, medians of %zu runs:", again ? "over the files written before" : "new files",
                of(ours).wall.size());
    for (const DrainSide* side : sides) std::printf(" %s %s;", side->name.c_str(), Ms(Median(of(*side).wall)).c_str());
    std::printf("\n   runs:");
    for (const DrainSide* side : sides) std::printf(" %s %s;", side->name.c_str(), RunTimes(of(*side).wall).c_str());
    std::printf("\n");
    AddRows(std::string("Drain 10,000 queued 64 KiB write-backs, ") + (again ? "again" : "new"), of(ours),
            {{cp.name, &of(cp)}, {cp_sync.name, &of(cp_sync)}, {loop.name, &of(loop)}});
  }
  std::printf("   queueing them (NW_ASynchCopyExt, thread parked): median %s\n", Ms(Median(queueing)).c_str());
  g_notes.push_back("write-back drain: timed from NW_SpndWaitThrd(1) to the last file's arrival (1 ms polls); each "
                    "file is flushed before its rename, which cp is not; sync -f flushes the whole file system once; "
                    "\"again\": over the files each side wrote before; NW_ASynchCopyExt queued the 10,000 in " +
                    Ms(Median(queueing)) + " (median)");
}

// ---------------------------------------------------------------------------------------------

void PrintTable() {
  std::printf("\n== Results (ratio = ours / reference; below 1 is faster than the reference)\n");
  std::printf("%-52s %-26s %-28s %s\n", "operation", "ours", "reference", "ratio");
  for (const Row& r : g_rows)
    std::printf("%-52s %-26s %-28s %s\n", r.operation.c_str(), r.ours.c_str(), r.reference.c_str(), r.ratio.c_str());
  for (const std::string& n : g_notes) std::printf("- %s\n", n.c_str());
}

// The first three fields of /proc/loadavg: how busy the machine was around a measurement.
std::string LoadAverage() {
  std::FILE* f = std::fopen("/proc/loadavg", "r");
  if (!f) return "unknown";
  char buf[64] = {};
  bool got = std::fgets(buf, sizeof buf, f) != nullptr;
  std::fclose(f);
  if (!got) return "unknown";
  std::string t(buf);
  std::size_t cut = 0;
  for (int fields = 0; fields < 3 && cut != std::string::npos; ++fields) cut = t.find(' ', cut + 1);
  return t.substr(0, cut);
}

int Usage(const char* self) {
  std::fprintf(stderr,
               "usage: %s --work DIR [--runs N] [--only queue|list|copy|board|writeback] [Google Benchmark flags]\n"
               "  DIR: an empty folder on the file system TMPDIR names; everything made there is removed again\n",
               self);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string work, only;
  int runs = 5;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--work" && i + 1 < argc)
      work = argv[++i];
    else if (a == "--runs" && i + 1 < argc)
      runs = std::atoi(argv[++i]);
    else if (a == "--only" && i + 1 < argc)
      only = argv[++i];
    else
      return Usage(argv[0]);
  }
  if (work.empty() || runs < 1 || runs > 50 || !(only.empty() || only == "queue" || only == "list" || only == "copy" || only == "board" ||
                                     only == "writeback"))
    return Usage(argv[0]);
  std::error_code ec;
  work = fs::absolute(work, ec).lexically_normal().string();
  while (work.size() > 1 && work.back() == '/') work.pop_back();
  if (ec || !fs::is_directory(work, ec)) {
    std::fprintf(stderr, "miradel_bench: %s is not a folder\n", work.c_str());
    return 2;
  }
  const std::string temp = miradel::platform::System().TempPath();
  if (!SameFileSystem(temp, work)) {
    std::fprintf(stderr,
                 "miradel_bench: the temporary path %s is not on the file system of %s; start the program with "
                 "TMPDIR set to a folder there (scripts/bench does)\n",
                 temp.c_str(), work.c_str());
    return 2;
  }
  std::printf("miradel_bench: work folder %s, temporary path %s, %d runs per side\n", work.c_str(), temp.c_str(), runs);
  const std::string load_before = LoadAverage();

  double overhead = 0;
  {
    std::vector<double> t;
    for (int i = 0; i < 5; ++i) t.push_back(SecondsOf([] { Shell("/bin/true"); }));
    overhead = Median(t);
  }

  if (only.empty() || only == "queue") RunQueueBenchmarks();
  if (only.empty() || only == "list") RunListingBenchmark(work, runs, overhead);
  if (only.empty() || only == "copy") RunCopyBenchmark(work, runs);
  if (only.empty() || only == "board") RunBoardBenchmark(work, runs);
  if (only.empty() || only == "writeback") {
    if (RunRequestBenchmark(work)) RunDrainBenchmark(work, runs);
  }
  g_notes.push_back("load average (1, 5, 15 min) at the start " + load_before + ", at the end " + LoadAverage() +
                    " on " + std::to_string(::sysconf(_SC_NPROCESSORS_ONLN)) + " processors");
  double removed = SecondsOf(RemoveLeftovers);
  std::printf("\nremoved what the measurements made (%.1f s)\n", removed);
  PrintTable();
  benchmark::Shutdown();
  if (g_failed) std::printf("\nsome measurements went wrong (PROBLEM lines above)\n");
  return g_failed ? 1 : 0;
}
