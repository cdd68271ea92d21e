/* A host built from a release package alone: one open / change / write-back / close cycle of the
 * model MODEL in DIR (both given), checked the way a host would see it. Exit status 0 when the
 * changed file reached the model directory and the lock went with the release. */
#include <stdio.h>
#include <string.h>

#include "miradel.h"

static int Same(const char* path, const char* text) {
  char buf[64] = {0};
  FILE* f = fopen(path, "rb");
  size_t n = f ? fread(buf, 1, sizeof buf - 1, f) : 0;
  if (f) fclose(f);
  return n == strlen(text) && memcmp(buf, text, n) == 0;
}

int main(int argc, char** argv) {
  MiradelLockOwner owner;
  char work[MIRADEL_PATH_BUFFER] = {0}, path[2 * MIRADEL_PATH_BUFFER];
  int version = 80100, silent = 1, copy_all = 0, two = 2, dl, nl;
  const char* sep = strchr(argc > 1 ? argv[1] : "", '\\') ? "\\" : "/";
  FILE* f;
  if (argc != 3) return 2;
  dl = (int)strlen(argv[1]);
  nl = (int)strlen(argv[2]);
  printf("library %s\n", MiradelVersion());
  NW_SetVersionNo(&version);
  NW_SetSilentMode(&silent);
  if (NW_GetLock(&owner, argv[1], &dl, argv[2], &nl) != 1) return printf("lock refused\n"), 1;
  if (NW_SetModelDir(argv[1], &dl, argv[2], &nl) != 1 || NW_CopyAllToTemp(&copy_all) != 1)
    return printf("no working copy\n"), 1;
  NW_GetQVTempDir(work);
  /* Not the data file: the lock holds that one until the host lets it go (NW_ReleasModLock). */
  sprintf(path, "%s%s.cmb", work, argv[2]);
  if (!(f = fopen(path, "wb"))) return printf("cannot change %s\n", path), 1;
  fputs("changed", f);
  fclose(f);
  NW_ASynchCopy(&two, argv[2], &nl, "cmb");
  NW_ReleaseLock();
  sprintf(path, "%s%s%s.cmb", argv[1], sep, argv[2]);
  if (!Same(path, "changed")) return printf("the change did not reach %s\n", path), 1;
  sprintf(path, "%s%s%s.lck", argv[1], sep, argv[2]);
  if ((f = fopen(path, "rb")) != NULL) return fclose(f), printf("the lock stayed\n"), 1;
  printf("open, change, write back and close: done\n");
  return 0;
}
