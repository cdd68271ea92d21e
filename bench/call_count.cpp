// The host's calls whose system calls scripts/count-calls counts: one lock cycle (NW_GetLock,
// NW_SetModelDir, NW_ReleaseLock) on a model folder of 200 files, the copy of the model's own files
// into its working copy (NW_CopyAllToTemp), and ten write-backs (NW_ASynchCopy) with the release
// that waits for them. Each stretch lies between two marks, an access() of a path under
// /miradel-mark/ that the counter finds in the trace; the release alone is marked too, so that the
// write-backs can be told from it.
// Usage: miradel_call_count WORK   (WORK: an empty folder; the model goes to WORK/model)
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "miradel.h"

namespace {

void Mark(const std::string& label) { (void)access(("/miradel-mark/" + label).c_str(), F_OK); }

bool Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

int Lock(const std::string& dir, const std::string& name) {
  MiradelLockOwner owner{};
  int dl = static_cast<int>(dir.size()), nl = static_cast<int>(name.size());
  return NW_GetLock(&owner, dir.c_str(), &dl, name.c_str(), &nl);
}

int SetModel(const std::string& dir, const std::string& name) {
  int dl = static_cast<int>(dir.size()), nl = static_cast<int>(name.size());
  return NW_SetModelDir(dir.c_str(), &dl, name.c_str(), &nl);
}

std::string WorkingDir() {
  char text[MIRADEL_PATH_BUFFER] = {};
  NW_GetQVTempDir(text);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: miradel_call_count WORK\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/model/";
  if (mkdir(dir.c_str(), 0755) != 0) return 1;
  for (const char* ext : {"cmb", "dat", "out", "prv"})
    if (!Write(dir + "m." + ext, std::string(4096, 'm'))) return 1;
  for (int i = 0; i < 196; ++i)
    if (!Write(dir + "part" + std::to_string(i) + ".txt", std::string(1024, 'p'))) return 1;
  int silent = 1, version = 1000, mode = 0;
  NW_SetSilentMode(&silent);
  NW_SetVersionNo(&version);

  Mark("lock-cycle/begin");
  Mark("get-lock/begin");
  int locked = Lock(dir, "m");
  Mark("get-lock/end");
  Mark("set-model-dir/begin");
  int set = SetModel(dir, "m");
  Mark("set-model-dir/end");
  Mark("release/begin");
  NW_ReleaseLock();
  Mark("release/end");
  Mark("lock-cycle/end");
  if (locked != 1 || set != 1) return 1;

  if (Lock(dir, "m") != 1 || SetModel(dir, "m") != 1) return 1;
  Mark("open-model/begin");
  const int copied = NW_CopyAllToTemp(&mode);
  Mark("open-model/end");
  if (copied != 1) return 1;
  const std::string work = WorkingDir();
  for (int i = 0; i < 10; ++i)
    if (!Write(work + "part" + std::to_string(i) + ".txt", std::string(2048, 'w'))) return 1;
  Mark("write-back/begin");
  for (int i = 0; i < 10; ++i) {
    std::string name = "part" + std::to_string(i);
    int length = static_cast<int>(name.size()), copy = 2;
    NW_ASynchCopy(&copy, name.c_str(), &length, "txt");
  }
  NW_ReleaseLock();
  Mark("write-back/end");
  return 0;
}
