// Opening a model that lives on a share: NW_CopyAllToTemp of a 600-file, 96 MiB model from MODEL
// (a folder on the share) into a working copy under the local TMPDIR, against cp -rp of the same
// folder to the same local disk. Runs alternate sides; before each, the page cache is dropped when
// this runs as root, so that every byte comes from the server. Prints the medians and their ratio.
// Usage: miradel_share_open MODEL LOCAL [RUNS]   (MODEL: an empty folder on the share; LOCAL: an
// empty local folder for cp's copies)
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "miradel.h"

namespace {

bool Write(const std::string& path, std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((seed * 2654435761u + i * 40503u) >> 13);
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

void DropCaches() {
  ::sync();
  if (::geteuid() == 0) std::ofstream("/proc/sys/vm/drop_caches") << "3\n";
}

double Seconds(const std::chrono::steady_clock::time_point& since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

int Fail(const char* what) {
  std::fprintf(stderr, "miradel_share_open: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Fail("usage: miradel_share_open MODEL LOCAL [RUNS]");
  const std::string model = std::string(argv[1]) + "/", local = argv[2];
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  // 600 files, 96 MiB: the model's own (named after it) of every size a model has.
  std::size_t total = 0;
  for (int i = 0; i < 600; ++i) {
    const std::size_t size = i == 0 ? 48u << 20 : i < 24 ? 1u << 20 : (24u << 20) / 576;
    char name[16];
    std::snprintf(name, sizeof name, "pump.l%03d", i);
    if (!Write(model + (i == 0 ? std::string("pump.dat") : std::string(name)), size, i + 1u))
      return Fail("cannot write the model");
    total += size;
  }
  int silent = 1, version = 1000, mode = 0;
  NW_SetSilentMode(&silent);
  NW_SetVersionNo(&version);
  std::vector<double> ours, cp;
  for (int run = 0; run < runs; ++run) {
    for (int side = 0; side < 2; ++side) {
      DropCaches();
      if ((run + side) % 2 == 0) {
        MiradelLockOwner owner{};
        int dl = static_cast<int>(model.size()), nl = 4;
        if (NW_GetLock(&owner, model.c_str(), &dl, "pump", &nl) != 1 || NW_SetModelDir(model.c_str(), &dl, "pump", &nl) != 1)
          return Fail("the model cannot be opened");
        const auto start = std::chrono::steady_clock::now();
        (void)::access("/miradel-mark/open-model/begin", F_OK);  // for a trace, as in call_count.cpp
        const int copied = NW_CopyAllToTemp(&mode);
        (void)::access("/miradel-mark/open-model/end", F_OK);
        ours.push_back(Seconds(start));
        char work[MIRADEL_PATH_BUFFER] = {};
        NW_GetQVTempDir(work);
        const auto files = std::distance(std::filesystem::directory_iterator(work), {});
        NW_ReleaseLock();
        if (copied != 1 || files != 600) return Fail("NW_CopyAllToTemp did not copy the 600 files");
      } else {
        const std::string to = local + "/cp" + std::to_string(run);
        const auto start = std::chrono::steady_clock::now();
        if (std::system(("cp -rp '" + model + "' '" + to + "'").c_str()) != 0) return Fail("cp failed");
        cp.push_back(Seconds(start));
      }
    }
  }
  std::printf("opening a model of 600 files, %zu MiB, from the share: NW_CopyAllToTemp %.0f ms, cp -rp %.0f ms, "
              "ratio %.2f (medians of %d runs%s)\n",
              total >> 20, Median(ours) * 1000, Median(cp) * 1000, Median(ours) / Median(cp), runs,
              ::geteuid() == 0 ? ", page cache dropped before each" : "");
  return 0;
}
