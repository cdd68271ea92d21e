#include "archive_cli.h"

#include <cstdio>
#include <iostream>
#include <vector>

#include "archive/archive_files.h"
#include "archive/archiver.h"
#include "base/path.h"
#include "base/text.h"
#include "disk/disk_object.h"
#include "platform/env.h"
#include "terminal.h"

namespace miradel::tools {

namespace {

using archive::Archiver;

// One line on the terminal, redrawn in place: a bar, the files and the bytes.
class Bar : public archive::Progress {
 public:
  void Update(std::size_t files_done, std::size_t files_total, std::uint64_t bytes_done,
              std::uint64_t bytes_total) override {
    const int width = 30;
    const int filled = bytes_total ? static_cast<int>(width * (static_cast<double>(bytes_done) / bytes_total)) : width;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(width, '.');
    std::fprintf(stdout, "\r[%s] %zu/%zu files  %.1f/%.1f MiB ", bar.c_str(), files_done, files_total,
                 bytes_done / 1048576.0, bytes_total / 1048576.0);
    std::fflush(stdout);
    m_drawn = true;
  }
  // Removes the line before anything else is printed.
  void Clear() {
    if (m_drawn) std::fprintf(stdout, "\r%*s\r", 72, "");
    std::fflush(stdout);
    m_drawn = false;
  }

 private:
  bool m_drawn = false;
};

double MiB(std::uint64_t bytes) { return static_cast<double>(bytes) / 1048576.0; }

bool ParseTypes(const std::string& list, bool ticked[archive::kTypeCount]) {
  static const char* const kNames[archive::kTypeCount] = {"input", "result", "reports", "unit", "libraries"};
  if (list.empty()) {
    for (int t = 0; t < archive::kTypeCount; ++t) ticked[t] = true;
    return true;
  }
  for (int t = 0; t < archive::kTypeCount; ++t) ticked[t] = false;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    const std::string word = text::LowerCase(text::TrimWhiteSpace(list.substr(start, end - start)));
    int found = -1;
    for (int t = 0; t < archive::kTypeCount; ++t)
      if (word == kNames[t]) found = t;
    if (found < 0) {
      std::cerr << "miradel: unknown file type '" << word << "' (input, result, reports, unit, libraries)\n";
      return false;
    }
    ticked[found] = true;
    start = end + 1;
  }
  return true;
}

}  // namespace

int RunPack(const Path& workdir, const Path& archive, const std::string& types) {
  bool ticked[archive::kTypeCount];
  if (!ParseTypes(types, ticked)) return 2;
  CDiskObject disk;
  const std::string extras[4];
  std::vector<std::string> paths;
  if (!archive::CollectArchiveFiles(disk, workdir, Path(), extras, ticked, &paths)) {
    std::cerr << "miradel: cannot list the files of " << workdir.str() << ": "
              << (disk.GetErrorText().empty() ? "no files there" : disk.GetErrorText()) << "\n";
    return 1;
  }
  if (paths.empty()) {
    std::cerr << "miradel: no file in " << workdir.str() << " is of the types chosen; nothing packed\n";
    return 1;
  }
  Archiver archiver;
  archiver.SetArchivePath(archive);
  for (const std::string& p : paths) archiver.AddFilePathToArchive(p);
  Bar bar;
  const bool ok = archiver.CreateZipFile(OnTerminal() ? &bar : nullptr);
  bar.Clear();
  if (!ok) {
    std::cerr << "miradel: " << archiver.LastError() << "\n";
    return 1;
  }
  platform::Env& env = platform::Current();
  std::uint64_t in = 0;
  for (const std::string& p : paths) {
    platform::FileInfo info;
    if (env.GetFileInfo(p, &info).ok()) in += info.size;
  }
  platform::FileInfo out;
  if (!env.GetFileInfo(archive.str(), &out).ok()) out.size = 0;
  std::printf("packed %zu files (%.1f MiB) into %s (%.1f MiB)\n", paths.size(), MiB(in), archive.str().c_str(), MiB(out.size));
  return 0;
}

int RunUnpack(const Path& archive, const Path& dir) {
  CDiskObject disk;
  Path dest = dir;
  if (dir.empty()) {
    dest = archive::UnpackDestination(disk, archive);
  } else {
    if (!disk.MakeDirectoryPath(dest.str())) {
      std::cerr << "miradel: cannot make the folder " << dest.str() << ": " << disk.GetErrorText() << "\n";
      return 1;
    }
  }
  Archiver archiver;
  Bar bar;
  const bool ok = archiver.ExtractZipFile(archive, dest, OnTerminal() ? &bar : nullptr);
  bar.Clear();
  if (!ok) {
    std::cerr << "miradel: " << archiver.LastError() << "\n";
    return 1;
  }
  const std::string model = archive::FindModelName(disk, dest);
  std::string shown = path::WithoutTrailingSeparators(dest.str());
  if (shown.empty()) shown = dest.str();
  std::printf("unpacked into %s\n", shown.c_str());
  if (model.empty()) {
    std::printf("no model there: no .dat file\n");
    return 3;
  }
  std::printf("model: %s\n", model.c_str());
  return 0;
}

}  // namespace miradel::tools
