#include "companion/companion_files.h"

#include <algorithm>
#include <utility>

#include "base/path.h"
#include "base/text.h"
#include "companion/force_spectrum_file.h"
#include "companion/name_lists.h"
#include "companion/tih_list.h"
#include "platform/env.h"
#include "tta/collect_tta_files.h"
#include "ui/string_table.h"
#include "ui/user_interface.h"

namespace miradel {

namespace {
constexpr const char* kFsMissingHeader = "Following Force Spectrum files are missing or unable to be retrieved \r\n";
constexpr const char* kSpectraMissingHeader = "Following Spectrum files are missing in FS files ";
constexpr const char* kFsMissingCaption = "Force Spectrum Files Missing ";

bool Exists(const std::string& path) {
  platform::FileInfo info;
  return platform::Current().GetFileInfo(path, &info).ok();
}

std::string TrimTrailingWhiteSpace(std::string s) {
  while (!s.empty() && text::IsWhiteSpace(s.back())) s.pop_back();
  return s;
}

bool Flagged(const int* flags, int index) { return flags[index - 1] != 0; }
}  // namespace

std::string CompanionFiles::ModelDir() const {
  const std::string dir = m_location.ModelDir().str();
  return dir.empty() ? dir : path::WithSeparator(dir);
}

int CompanionFiles::FetchInto(const std::string& dir, const std::string& name) {
  if (!path::StaysInside(name)) return 0;
  return m_diskObject.CopyFileInto(dir + name, m_location.WorkingCopy().str());
}

int CompanionFiles::CopySpectrumFiles(const int* flags, int count, int showMessage, std::intptr_t owner) {
  const std::string modelDir = ModelDir();
  const std::string& modelName = m_location.m_strModelName;
  if (modelDir.empty() || m_location.WorkingCopy().empty() || flags == nullptr || count < 1) return 0;
  bool any = false;
  for (int i = 1; i <= count; ++i) any = any || Flagged(flags, i);
  if (!any) return 1;

  int result = 1;
  std::vector<int> copied(static_cast<std::size_t>(count), 0);
  std::vector<std::string> missingFs;
  for (int i = 1; i <= count; ++i) {
    if (!Flagged(flags, i)) continue;
    const std::string file = modelName + ForceSpectrumSuffix(i);
    copied[static_cast<std::size_t>(i - 1)] = FetchInto(modelDir, file);
    if (copied[static_cast<std::size_t>(i - 1)] != 1) {
      missingFs.push_back(file);
      result = 0;
    }
  }
  std::string fsPart;
  FormatMissingFileList(kFsMissingHeader, fsPart, missingFs);
  auto show = [&](const std::string& message) {
    if (showMessage != 0)
      ui::RetrySaveMessageBox(owner, message, kFsMissingCaption, ui::kOk | ui::kIconExclamation, false);
  };
  if (std::count(copied.begin(), copied.end(), 1) == 0) {
    show(fsPart);
    return 0;
  }

  std::vector<std::vector<std::string>> lists;
  std::string spectrumPart;
  if (CollectSpectrumFiles(copied, count, lists) != 1)
    FormatMissingSpectrumTable(kSpectraMissingHeader, spectrumPart, lists, count);
  if (fsPart.empty() && spectrumPart.empty()) return 1;
  std::string message = fsPart;
  if (!fsPart.empty() && !spectrumPart.empty() && fsPart.back() != '\n') message += "\r\n";
  show(message + spectrumPart);
  return result;
}

int CompanionFiles::CollectSpectrumFiles(const std::vector<int>& flags, int count,
                                         std::vector<std::vector<std::string>>& lists) {
  const std::string modelDir = ModelDir();
  const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
  lists.assign(n, {});
  std::vector<std::string> all;
  for (std::size_t i = 0; i < n && i < flags.size(); ++i) {
    const std::string fsFile = m_location.WorkingCopy().Join(m_location.m_strModelName).str() +
                               ForceSpectrumSuffix(static_cast<int>(i + 1));
    if (flags[i] == 0 || !m_diskObject.FileIsPresent(fsFile)) continue;
    CForceSpectrumFile file;
    file.m_strPath = fsFile;
    file.Read();
    for (const QV_ForceSpectrumData& record : file.m_records) {
      if (record.szSpectrum[0] != 0) lists[i].push_back(std::string(record.szSpectrum) + ".spc");
    }
    RemoveDuplicateNames(lists[i]);
    all.insert(all.end(), lists[i].begin(), lists[i].end());
  }
  RemoveDuplicateNames(all);
  std::vector<std::string> missing;
  for (const std::string& name : all) {
    if (FetchInto(modelDir, name) != 1) missing.push_back(name);
  }
  if (missing.empty()) return 1;
  for (std::vector<std::string>& list : lists) {
    std::vector<std::string> stillMissing;
    for (const std::string& name : missing) {
      if (ListContainsNoCase(list, name)) stillMissing.push_back(name);
    }
    list.swap(stillMissing);
  }
  return 0;
}

int CompanionFiles::CopyFSFilesToDirectory(const std::string& dir, const std::string& newName, int count) {
  const std::string destination = text::TrimTrailingBlanks(dir);
  const std::string name = text::TrimTrailingBlanks(newName);
  // The new name is one plain name: the copies land in the destination and nowhere else.
  if (destination.empty() || name.empty() || !path::IsPlainName(name)) return 0;
  const std::string& modelName = m_location.m_strModelName;
  for (int i = 1; i <= count; ++i) {
    const std::string source = m_location.WorkingCopy().Join(modelName + ForceSpectrumSuffix(i)).str();
    if (m_location.WorkingCopy().empty() || !m_diskObject.FileIsPresent(source)) continue;
    if (m_diskObject.WriteFileIntoAs(source, destination, name + ForceSpectrumSuffix(i)) != 1) return 0;
  }
  return 1;
}

void CompanionFiles::AppendToFileList(const std::string& name, const std::string& extension) {
  std::string entry = TrimTrailingWhiteSpace(name);
  if (entry.empty()) return;
  if (!extension.empty()) entry += "." + extension;
  m_fileList.push_back(entry);
}

int CompanionFiles::FileListContains(const std::string& name) const { return ListContainsNoCase(m_fileList, name); }

int CompanionFiles::CopyFileList(int direction, int removeDuplicates) {
  std::vector<std::string> names = m_fileList;
  if (names.empty()) return 1;
  // Without both directories a copy would land wherever the process stands.
  const std::string modelDir = ModelDir();
  const std::string& tempDir = m_location.WorkingCopy().str();
  if (modelDir.empty() || tempDir.empty()) return 0;
  if (removeDuplicates == 1) RemoveDuplicateNames(names);
  int result = 1;
  for (const std::string& name : names) {
    int copied = 0;
    if (direction == 1) copied = FetchInto(modelDir, name);
    else if (path::StaysInside(name)) copied = m_diskObject.WriteFileInto(path::WithSeparator(tempDir) + name, modelDir);
    if (copied != 1) result = 0;
  }
  return result;
}

int CompanionFiles::FatigueFilesOperation(int mode, int ask, std::intptr_t owner) {
  const std::string modelDir = ModelDir();
  if (modelDir.empty() || m_location.WorkingCopy().empty()) return 0;
  std::vector<std::string> names = m_fileList;
  if (names.empty()) return 1;
  RemoveDuplicateNames(names);
  // Taken afresh: the program may have been started from elsewhere since.
  const std::string programDir = path::WithSeparator(path::DirectoryPart(platform::Current().ExecutablePath()));
  int result = 1;
  std::vector<std::string> missing;
  for (const std::string& name : names) {
    bool found = false;
    if (!path::StaysInside(name)) found = false;
    else if (mode == 1) found = FetchInto(modelDir, name) == 1 || FetchInto(programDir, name) == 1;
    else found = Exists(modelDir + name) || Exists(programDir + name);
    if (!found) {
      missing.push_back(name);
      result = 0;
    }
  }
  if (mode != 1 || result != 0 || ask <= 0) return result;
  std::string text;
  FormatMissingFileList(ui::LoadString(ui::kStrFatigueFilesMissing), text, missing);
  text += ui::LoadString(ui::kStrContinueOpeningQuestion);
  ui::g_bRenameRetrySave = 0;
  const int answer = ui::RetrySaveMessageBox(owner, text, ui::LoadString(ui::kStrFatigueFilesMissingCaption),
                                             ui::kYesNo | ui::kIconQuestion, false);
  return answer == ui::kIdNo ? -1 : result;
}

int CompanionFiles::CopyTihFiles() {
  if (ModelDir().empty() || m_location.WorkingCopy().empty()) return 0;
  std::vector<std::string> tihFiles;
  for (const std::string& listFile : m_fileList) ReadTihList(listFile, tihFiles);
  // The TIH names stand in for the host's list while they are copied; the host's comes back
  // whatever the copies meet, a thrown error included.
  struct SwapBack {
    std::vector<std::string>& list;
    std::vector<std::string>& other;
    ~SwapBack() { list.swap(other); }
  } swapBack{m_fileList, tihFiles};
  m_fileList.swap(tihFiles);
  return CopyFileList(1, 1);
}

int CompanionFiles::CopyTTAFiles(int copy, std::intptr_t owner) {
  if (copy != 1) return 1;
  const std::string modelDir = ModelDir();
  // Nothing can be brought over without both ends: that is no success.
  if (modelDir.empty() || m_location.WorkingCopy().empty()) return 0;
  const std::string& modelName = m_location.m_strModelName;
  const std::string base = modelDir + modelName;
  int result = 1;
  std::string caseList;
  // Looked for in the host's lower case, copied in its upper case: the file system matches either.
  for (const auto& [look, ext] : {std::pair{".ttc", "TTC"}, std::pair{".ttl", "TTL"}}) {
    if (!Exists(base + look)) continue;
    if (m_staging.CopyNamedFileToTemp(modelName, ext) != 1) result = 0;
    caseList = base + look;
    break;
  }
  for (const auto& [look, ext] : {std::pair{".tpp", "TPP"}, std::pair{".gdl", "GDL"}}) {
    if (Exists(base + look) && m_staging.CopyNamedFileToTemp(modelName, ext) != 1) result = 0;
  }
  for (const char* ext : {"LOG", "TTO", "TDL", "TSM"}) m_staging.CopyNamedFileToTemp(modelName, ext);
  if (caseList.empty()) return result;

  TtaCollection collection = CollectTTAFiles(caseList, [this] { return m_location.ModelDir().str(); });
  ShowMissingTtaFiles(collection, owner);
  for (const std::string& file : collection.files) {
    const int copied = m_diskObject.CopyFileInto(file, m_location.WorkingCopy().str());
    if (file.empty() || (file.back() != 'i' && file.back() != 'I')) continue;
    if (copied != 1) result = 0;
    // From the plain name: a short one must not cut into the folder and reach beside it.
    const std::string name = path::BaseName(file);
    const std::string stem = modelDir + name.substr(0, name.size() >= 4 ? name.size() - 4 : 0);
    for (const char* ext : {".tsm", ".tdl", ".tto", ".tss"}) m_diskObject.CopyFileInto(stem + ext, m_location.WorkingCopy().str());
  }
  return result;
}

}  // namespace miradel
