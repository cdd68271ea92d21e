// miradel-crash-aid: a test aid for scripts/crash-writeback, never installed. It plays a host that
// opens a model, rewrites one of its files in the working copy with one byte value and writes it
// back, so that the script can kill it at any moment of the write-back and then look at what the
// model directory holds. A program of its own rather than a command of miradel: the engineers'
// program has no business overwriting a model's files with a test pattern.
//
// Usage: miradel-crash-aid DIR MODEL EXT sync|async|saveas [FILL]
//   DIR/MODEL.dat and DIR/MODEL.EXT must exist. The working copy's MODEL.EXT is overwritten with the
//   byte FILL (default 'N') at its size, then written back:
//     sync    NW_ReleasModLock, then NW_CopyAllFromTemp (every working file in turn)
//     async   NW_ASynchCopy(2, MODEL, EXT), then NW_CopyModelFrmTmp (waits for the copy thread)
//     saveas  Save As into DIR/saveas (made if missing): NW_SetModelVars, NW_GetLock, NW_SetModelDir,
//             NW_SaveAs(0), then NW_RelesOldLock
//   Standard output, each line flushed: "writeback-start", then "writeback-done RESULT SECONDS"; a
//   message box is answered with its default and printed as "message: TEXT".
// Exit status: 0 when the write-back reported success, 1 when not, 2 for bad arguments.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "hostkit/host.h"
#include "miradel.h"

namespace {

namespace fs = std::filesystem;
using namespace miradel::hostkit;

int MIRADEL_CALL Answer(void*, intptr_t, const char* text, const char*, unsigned int style, const char*, const char*,
                        unsigned int) {
  std::printf("message: %s\n", text);
  std::fflush(stdout);
  switch (style & 0xf) {
    case 0: return 1;  // OK box: OK
    case 2: return 3;  // abort/retry/ignore: Abort
    case 4: return 7;  // yes/no: No
    default: return 2; // Cancel
  }
}

// Overwrites path with its own size of fill bytes.
bool Fill(const std::string& path, char fill) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(fs::u8path(path), ec);
  if (ec) return false;
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
  const std::vector<char> block(1 << 20, fill);
  for (std::uintmax_t left = size; out && left > 0;) {
    const std::size_t n = left < block.size() ? static_cast<std::size_t>(left) : block.size();
    out.write(block.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
  out.close();
  return static_cast<bool>(out);
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "miradel-crash-aid: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string way = argc > 4 ? argv[4] : "";
  if (argc < 5 || argc > 6 || (way != "sync" && way != "async" && way != "saveas") || std::string(argv[3]).empty()) {
    std::fprintf(stderr, "usage: miradel-crash-aid DIR MODEL EXT sync|async|saveas [FILL]\n");
    return 2;
  }
  const std::string dir = argv[1], model = argv[2], ext = argv[3];
  const char fill = argc > 5 && argv[5][0] ? argv[5][0] : 'N';

  MiradelUiCallbacks ui{};
  ui.size = sizeof ui;
  ui.message_box = &Answer;
  MiradelSetUiCallbacks(&ui);
  SetSilent(1);
  SetVersion(80100);
  MiradelLockOwner owner{};
  if (GetLock(dir, model, &owner) != 1) return Fail("NW_GetLock refused " + dir + " " + model);
  if (SetModelDir(dir, model) != 1 || CopyAllToTemp(0) != 1) {
    NW_ReleaseLock();
    return Fail("the model could not be opened");
  }
  if (!Fill(QVTempDir() + model + "." + ext, fill)) {
    NW_ReleaseLock();
    return Fail("cannot rewrite the working copy's " + model + "." + ext);
  }

  std::printf("writeback-start\n");
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  int result;
  if (way == "sync") {
    NW_ReleasModLock();
    result = NW_CopyAllFromTemp();
    NW_GetModLock();
  } else if (way == "async") {
    ASynchCopy(model, ext.c_str());
    result = NW_CopyModelFrmTmp();
  } else {
    const std::string to = (fs::u8path(dir) / "saveas").u8string();
    std::error_code ec;
    fs::create_directories(fs::u8path(to), ec);
    NW_SetModelVars();
    std::string none;
    result = !ec && GetLock(to, model, &owner) == 1 && SetModelDir(to, model) == 1 ? SaveAs(0, &none, "", &owner) : 0;
    NW_RelesOldLock();
  }
  std::printf("writeback-done %d %.3f\n", result,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  std::fflush(stdout);
  NW_ReleaseLock();
  return result == 1 ? 0 : 1;
}
