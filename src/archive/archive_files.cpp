#include "archive/archive_files.h"

#include <algorithm>

#include "base/path.h"
#include "base/text.h"

namespace miradel::archive {

namespace {

constexpr std::string_view kInputTypes[] = {"CMB", "XML", "FLT", "TTC", "TTP", "TTI", "TPP",
                                            "GDL", "TIH", "THL", "SPC", "FS1", "HMF", "PWS"};
constexpr std::string_view kResultTypes[] = {"MDB", "RSP", "SAM", "HGR", "STS", "FSP", "TIM",
                                             "HRM", "FLX", "EIG", "MOD", "ENV", "OPL"};
constexpr std::string_view kReportTypes[] = {"LOG", "TSS", "TTO", "TDL", "TSM", "RPT",
                                             "BAK", "CHK", "OUT", "SUM", "TXT"};

template <std::size_t N>
bool Listed(const std::string_view (&list)[N], const std::string& ext) {
  return std::find(std::begin(list), std::end(list), ext) != std::end(list);
}

bool TakenBy(ArchiveType type, const std::string& ext) {
  switch (type) {
    case kInput: return Listed(kInputTypes, ext);
    // Result files numbered per load case: .L001, .L002, ...
    case kResult: return Listed(kResultTypes, ext) || (ext.size() > 3 && ext[0] == 'L');
    case kReports: return Listed(kReportTypes, ext);
    case kUnit: return ext == "UNT";
    case kLibraries: return ext == "LIB";
    default: return false;
  }
}

std::string Join(const Path& dir, const std::string& name) { return dir.empty() ? name : dir.Join(name).str(); }

std::string ListedName(const std::string& file) {
  return text::TrimTrailingBlanks(path::BaseName(path::ToNative(file)));
}

}  // namespace

std::string ArchiveExtension(std::string_view name) {
  std::size_t dot = name.find('.');
  if (dot == std::string_view::npos) return std::string();
  std::string ext(name.substr(dot + 1));
  for (char& c : ext)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return ext;
}

bool TakenByTypes(std::string_view name, const bool ticked[kTypeCount]) {
  if (name.find('.') == std::string_view::npos) return false;
  const std::string ext = ArchiveExtension(name);
  if (ext == "DAT") return true;
  for (int t = kInput; t < kTypeCount; ++t)
    if (ticked[t] && TakenBy(static_cast<ArchiveType>(t), ext)) return true;
  return false;
}

bool CollectArchiveFiles(CDiskObject& disk, const Path& tempDir, const Path& exeDir,
                         const std::string extras[4], const bool ticked[kTypeCount], std::vector<std::string>* paths) {
  std::vector<std::string> names;
  if (!disk.ListFiles(tempDir.str(), names, 0)) return false;
  std::vector<std::string> list;
  for (const std::string& name : names) {
    std::string full = Join(tempDir, name);
    if (TakenByTypes(name, ticked) && std::find(list.begin(), list.end(), full) == list.end())
      list.push_back(std::move(full));
  }
  auto add_extra = [&](const std::string& extra) {
    if (text::TrimTrailingBlanks(extra).empty()) return;
    const std::string full = Join(exeDir, extra);
    // Without regard to case: the archive could not hold both.
    const std::string name = text::LowerCase(ListedName(full));
    for (const std::string& p : list)
      if (text::LowerCase(ListedName(p)) == name) return;
    list.push_back(full);
  };
  if (ticked[kUnit]) {
    add_extra(extras[0]);
    add_extra(extras[1]);
  }
  if (ticked[kLibraries]) {
    add_extra(extras[2]);
    add_extra(extras[3]);
  }
  *paths = std::move(list);
  return true;
}

Path UnpackDestination(CDiskObject& disk, const Path& archivePath) {
  const Path folder = archivePath.Parent();
  std::string title = archivePath.Name();
  std::size_t dot = title.rfind('.');
  if (dot != std::string::npos) title.erase(dot);
  // The archive's own directory may be empty (a bare name): the title's folder then lies here.
  const Path own = Path::FromText(folder.str() + title + kSep);
  return !title.empty() && disk.MakeDirectoryPath(own.str()) ? own : folder;
}

std::string FindModelName(CDiskObject& disk, const Path& dir) {
  std::vector<std::string> names;
  if (!disk.ListFiles(dir.str(), names, 0)) return std::string();
  for (const std::string& name : names) {
    std::size_t dot = name.find('.');
    if (dot != std::string::npos && ArchiveExtension(name) == "DAT") return name.substr(0, dot);
  }
  return std::string();
}

}  // namespace miradel::archive
