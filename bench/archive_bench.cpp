// miradel_archive_bench: packing and unpacking a model archive against zip -6 and unzip, in one run.
//
// Makes a model of about 540 MiB under --work DIR: result reports as text (tables of nodes, load
// cases and stresses in engineering notation), binary result files (records of node numbers and
// doubles that vary smoothly along the pipe with measured noise, as solvers write them) and a few
// small input files. Then, each side once, alternating which goes first:
//   pack:   our archiver on one thread and on every core, against `zip -q -6 -r` (time, size)
//   unpack: our unpacker against `unzip -q`, both of the same archive (ours)
// and prints the ratios against the goals. The figures are for people; nothing fails on them.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "archive/archiver.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kMiB = 1 << 20;

struct Rng {
  std::uint64_t s;
  std::uint64_t Next() {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
};

bool WriteAll(const std::string& path, const std::string& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

// A stress report: a header per load case, then one line a node with six stress components.
std::string Report(std::uint64_t bytes, std::uint64_t seed) {
  Rng rng{seed};
  std::string out;
  out.reserve(bytes + 256);
  char line[256];
  int load_case = 0;
  while (out.size() < bytes) {
    ++load_case;
    std::snprintf(line, sizeof line,
                  "\n  LOAD CASE %3d  (OPE) W+T1+P1            CODE STRESS CHECK PASSED\n"
                  "  NODE   SX [N/mm2]    SY [N/mm2]    SZ [N/mm2]   TXY [N/mm2]   TYZ [N/mm2]   TXZ [N/mm2]  RATIO\n",
                  load_case);
    out += line;
    const double base = 20 + 80 * rng.Unit();
    for (int node = 10; node < 4000 && out.size() < bytes; node += 10) {
      const double t = node * 0.01;
      double v[6];
      for (int k = 0; k < 6; ++k) v[k] = base * std::sin(t * (k + 1) * 0.3) + (rng.Unit() - 0.5) * 4;
      std::snprintf(line, sizeof line, "  %4d %13.4E %13.4E %13.4E %13.4E %13.4E %13.4E %6.1f%%\n", node, v[0], v[1], v[2],
                    v[3], v[4], v[5], std::fabs(v[0]) / 2.1);
      out += line;
    }
  }
  out.resize(bytes);
  return out;
}

// A binary result file: records of (node, load case, 8 doubles) whose values follow the pipe
// smoothly, rounded as a solver's single-precision results widened to double are.
std::string Results(std::uint64_t bytes, std::uint64_t seed) {
  Rng rng{seed};
  std::string out;
  out.reserve(bytes + 128);
  int node = 0, load_case = 1;
  while (out.size() < bytes) {
    node += 5;
    if (node > 20000) node = 5, ++load_case;
    const double t = node * 0.002;
    std::int32_t head[2] = {node, load_case};
    out.append(reinterpret_cast<const char*>(head), sizeof head);
    for (int k = 0; k < 8; ++k) {
      double v = 1000.0 * std::sin(t * (k + 1) + load_case) + 50.0 * std::cos(t * 7.0) + (rng.Unit() - 0.5);
      v = static_cast<double>(static_cast<float>(v));
      out.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
  }
  out.resize(bytes);
  return out;
}

double CpuSeconds(int who) {
  struct rusage ru;
  if (::getrusage(who, &ru) != 0) return 0;
  auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
  return s(ru.ru_utime) + s(ru.ru_stime);
}

// Wall-clock seconds of f; *cpu gets the processor seconds of this process and of the commands it
// waited for (the machine may be shared: that is the work itself).
double Seconds(const std::function<bool()>& f, bool* ok, double* cpu) {
  const double c0 = CpuSeconds(RUSAGE_SELF) + CpuSeconds(RUSAGE_CHILDREN);
  Clock::time_point start = Clock::now();
  *ok = f();
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  *cpu = CpuSeconds(RUSAGE_SELF) + CpuSeconds(RUSAGE_CHILDREN) - c0;
  return wall;
}

std::uint64_t SizeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

bool Pack(const std::vector<std::string>& files, const std::string& archive, unsigned threads) {
  miradel::archive::Archiver a;
  a.SetThreads(threads);
  a.SetArchivePath(miradel::Path::FromText(archive));
  for (const std::string& f : files) a.AddFilePathToArchive(f);
  if (a.CreateZipFile()) return true;
  std::fprintf(stderr, "pack: %s\n", a.LastError().c_str());
  return false;
}

bool Unpack(const std::string& archive, const std::string& dir) {
  miradel::archive::Archiver a;
  fs::create_directories(dir);
  if (a.ExtractZipFile(miradel::Path::FromText(archive), miradel::Path::FromText(dir))) return true;
  std::fprintf(stderr, "unpack: %s\n", a.LastError().c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string work;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--work") == 0) work = argv[i + 1];
  if (work.empty()) {
    std::fprintf(stderr, "usage: %s --work DIR   (needs about 2 GiB there)\n", argv[0]);
    return 2;
  }
  if (!Shell("zip -v >/dev/null 2>&1") || !Shell("unzip -v >/dev/null 2>&1")) {
    std::fprintf(stderr, "zip and unzip are needed (scripts/setup installs them)\n");
    return 2;
  }
  const std::string model = work + "/model";
  fs::remove_all(work);
  fs::create_directories(model);

  std::vector<std::string> files;
  std::uint64_t total = 0;
  auto add = [&](const std::string& name, const std::string& data) {
    const std::string p = model + "/" + name;
    if (!WriteAll(p, data)) {
      std::fprintf(stderr, "cannot write %s\n", p.c_str());
      std::exit(1);
    }
    files.push_back(p);
    total += data.size();
  };
  std::printf("making the model under %s ...\n", model.c_str());
  add("plant.dat", Results(6 * kMiB, 1));
  add("plant.cmb", Report(2 * kMiB, 2));
  add("plant.xml", Report(1 * kMiB, 3));
  for (int i = 1; i <= 24; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "plant.L%03d", i);
    add(name, Results(11 * kMiB, 100 + i));
  }
  for (const char* ext : {"out", "log", "rpt", "sum", "chk", "sts", "txt", "tto", "tss", "tdl", "tsm", "bak"})
    add(std::string("plant.") + ext, Report(21 * kMiB, std::hash<std::string>()(ext)));
  std::printf("%zu files, %.0f MiB\n", files.size(), static_cast<double>(total) / kMiB);
  Shell("sync; cat '" + model + "'/* >/dev/null");

  bool ok1 = false, ok2 = false, ok3 = false, ok4 = false, ok5 = false;
  const std::string ours1 = work + "/ours1.qvc", ours = work + "/ours.qvc", theirs = work + "/zip.zip";
  double c_zip, c_ours, c_ours1, c_unpack, c_unzip;
  const double t_zip = Seconds([&] { return Shell("cd '" + model + "' && zip -q -6 -r '" + theirs + "' ."); }, &ok1, &c_zip);
  Shell("sync");
  const double t_ours = Seconds([&] { return Pack(files, ours, 0); }, &ok2, &c_ours);
  Shell("sync");
  const double t_ours1 = Seconds([&] { return Pack(files, ours1, 1); }, &ok3, &c_ours1);
  Shell("sync");
  const double t_unpack = Seconds([&] { return Unpack(ours, work + "/u-ours"); }, &ok4, &c_unpack);
  Shell("sync");
  const double t_unzip = Seconds([&] { return Shell("unzip -q '" + ours + "' -d '" + work + "/u-unzip'"); }, &ok5, &c_unzip);
  Shell("sync");
  if (!(ok1 && ok2 && ok3 && ok4 && ok5)) {
    std::fprintf(stderr, "a step failed\n");
    return 1;
  }
  const bool same = Shell("cmp -s '" + model + "/plant.L007' '" + work + "/u-ours/plant.L007' && diff -rq '" + model +
                          "' '" + work + "/u-unzip' >/dev/null");
  const double s_zip = static_cast<double>(SizeOf(theirs)), s_ours = static_cast<double>(SizeOf(ours));
  const double s_ours1 = static_cast<double>(SizeOf(ours1));
  std::printf("\n%-34s %10s %12s %10s  %s\n", "", "time", "size", "ratio", "goal");
  std::printf("%-34s %9.2fs %11.1fM %10s\n", "zip -6 -r", t_zip, s_zip / kMiB, "1.00");
  std::printf("%-34s %9.2fs %11.1fM %9.2fx  time <= 1.0x, size <= 1.01x (%.3fx)\n", "ours, one thread", t_ours1,
              s_ours1 / kMiB, t_ours1 / t_zip, s_ours1 / s_zip);
  std::printf("%-34s %9.2fs %11.1fM %9.2fx  time <= 0.8x with %u cores, size <= 1.01x (%.3fx)\n", "ours, every core",
              t_ours, s_ours / kMiB, t_ours / t_zip, std::thread::hardware_concurrency(), s_ours / s_zip);
  std::printf("%-34s %9.2fs %12s %10s\n", "unzip -q (our archive)", t_unzip, "", "1.00");
  std::printf("%-34s %9.2fs %12s %9.2fx  <= 1.0x\n", "ours, unpack", t_unpack, "", t_unpack / t_unzip);
  std::printf("processor seconds: zip %.2f, ours one thread %.2f, ours every core %.2f; unzip %.2f, ours %.2f\n",
              c_zip, c_ours1, c_ours, c_unzip, c_unpack);
  std::printf("input %.1f MiB; unpacked files identical: %s\n", static_cast<double>(total) / kMiB, same ? "yes" : "NO");
  fs::remove_all(work);
  return same ? 0 : 1;
}
