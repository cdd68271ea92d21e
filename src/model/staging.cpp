// The QV temporary directory: the model's private local working copy, and the synchronous copies
// between it and the model directory.
#include <cstdio>

#include "control/network_file_control.h"
#include "model/model_file_set.h"
#include "platform/env.h"
#include "ui/string_table.h"
#include "ui/user_interface.h"

namespace miradel {

using platform::WithSeparator;

namespace {
constexpr int kTempDirAttempts = 50;
constexpr char kRetrieveFailed[] =
    "Quorvane was not able to retrieve the file [%1] associated with the model. \r\n Do you want to retry "
    "retrieving the file or cancel opening the model?";
constexpr char kSaveFailed[] = "Quorvane was not able to save the %1";

// A model name becomes a directory level of the temporary directory: it must stay one level.
bool IsPlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == platform::kSep || c == platform::kOtherSep || c == ':' || c == 0) return false;
  return true;
}

bool IsDirectory(const std::string& path) {
  platform::FileInfo info;
  return !path.empty() && platform::Current().GetFileInfo(path, &info).ok() && info.is_directory;
}

// path lies strictly below root (both ending in a separator), without "." or ".." steps that could
// lead back out of it.
bool IsStrictlyBelow(const std::string& path, const std::string& root) {
  if (root.empty() || path.size() <= root.size()) return false;
  if (LowerCase(path.substr(0, root.size())) != LowerCase(root)) return false;
  std::size_t start = root.size();
  while (start < path.size()) {
    std::size_t end = path.find(platform::kSep, start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}
}  // namespace

void CNetworkFileControl::StoreModelDirOnly(const std::string& dir) {
  std::string d = platform::ToNativeSeparators(dir);
  // The host's form is remembered, so that the directory goes back to it as it came.
  m_bDirGivenWithoutSlash = (d.empty() || d.back() != platform::kSep) ? 1 : 0;
  m_modelDir.Set(WithSeparator(d));
}

void CNetworkFileControl::StoreModelDirAndName(const std::string& dir, const std::string& name) {
  StoreModelDirOnly(dir);
  m_strModelName = name;
}

std::string CNetworkFileControl::MakeTempDirSuffix() {
  char buf[8];
  std::snprintf(buf, sizeof buf, "_%04u", static_cast<unsigned>(m_random() % 10000));
  return buf;
}

int CNetworkFileControl::SetModelDirectory(const std::string& dir, const std::string& name) {
  StoreModelDirAndName(dir, name);
  if (!IsPlainName(name)) {
    // No directory was made for this model: the previous model's must not pass for its own, or
    // giving this model up would remove the previous model's working copy.
    m_strQVTempDir.clear();
    return 0;
  }
  platform::Env& env = platform::Current();
  const std::string tagDir = m_strSysTempDir + m_strVersionTag + platform::kSep;
  m_strQVTempDir = tagDir;
  m_diskObject.MakeDirectoryPath(tagDir);

  bool made = false;
  for (int attempt = 0; attempt < kTempDirAttempts && !made; ++attempt) {
    m_strQVTempDir = tagDir + name + MakeTempDirSuffix() + platform::kSep;
    made = env.CreateDirectory(m_strQVTempDir).ok();
  }
  if (!made) return 0;

  // Prove the new directory can be written before the host relies on it.
  const std::string probe = m_strQVTempDir + name + ".txt";
  platform::FileHandle h = platform::kNoFile;
  if (!env.OpenFile(probe, platform::kWrite, platform::kShareRead, platform::Disposition::kCreateAlways, &h,
                    nullptr)
           .ok())
    return 0;
  env.Close(h);
  env.DeleteFile(probe);

  if (m_bCopyThreadStarted == 0) {
    m_bCopyThreadStarted = 1;
    StartCopyThread();
  }
  return 1;
}

int CNetworkFileControl::CopyModelToTemp(int mode) {
  const std::string modelDir = m_modelDir.Get();
  std::vector<std::string> listing;
  m_diskObject.ListFilesMatching(m_strModelName + "*", modelDir, listing, 1);
  if (listing.empty()) return 0;

  m_bModelHasTTC = m_bModelHasTTL = 0;
  std::vector<std::string> selection;
  SelectModelFiles(listing, selection);
  std::vector<std::string> ttaFiles;
  if (m_bModelHasTTC == 1 || m_bModelHasTTL == 1) {
    CollectTTAFiles(WithSeparator(modelDir) + m_strModelName + (m_bModelHasTTC == 1 ? ".TTC" : ".TTL"), ttaFiles);
    selection.insert(selection.end(), ttaFiles.begin(), ttaFiles.end());
  }

  int result = 0;
  if (mode == 0) {
    result = m_diskObject.CopyFileListInto(selection, m_strQVTempDir);
  } else {
    for (const std::string& file : selection) {
      while ((result = m_diskObject.CopyFileInto(file, m_strQVTempDir)) != 1) {
        std::string text = ui::FormatString(std::string(kRetrieveFailed), {FileNameOf(file)});
        ui::MessageBoxRequest box;
        box.owner = m_hWndHost;
        box.text = text;
        box.caption = ui::kAppTitle;
        box.style = ui::kRetryCancel | ui::kIconExclamation;
        if (ui::Current().MessageBox(box) != ui::kIdRetry) return -1;
      }
    }
  }

  for (const CompanionFile& companion : FixedCompanionFiles(m_strModelName, ttaFiles))
    CopyNamedFileToTemp(companion.base, companion.extension);
  if (result != 1) return result;

  m_diskObject.ListFilesMatching("*.*", m_strQVTempDir, listing, 1);
  platform::Env& env = platform::Current();
  for (const std::string& file : listing)
    if (!env.SetReadOnly(file, false).ok()) return 0;
  env.DeleteFile(m_strQVTempDir + m_strModelName + ".lck");
  return 1;
}

int CNetworkFileControl::CopyTempToModel() {
  std::vector<std::string> files;
  if (m_strQVTempDir.empty()) return 0;
  m_diskObject.ListFilesMatching("*.*", m_strQVTempDir, files, 1);
  if (files.empty()) return 0;
  return m_diskObject.CopyFileListInto(files, m_modelDir.Get());
}

int CNetworkFileControl::CopyFileToModel(const std::string& name, const std::string& extension, int showMessage) {
  const std::string modelDir = m_modelDir.Get();
  if (modelDir.empty() || m_strQVTempDir.empty()) return 0;
  std::string file = TrimTrailingBlanks(name);
  if (!extension.empty()) file += "." + extension;
  int result = m_diskObject.CopyFileInto(m_strQVTempDir + file, modelDir);
  if (result != 1 && showMessage != 0)
    ui::PlainMessageBox(m_hWndHost, ui::FormatString(std::string(kSaveFailed), {file}));
  return result;
}

int CNetworkFileControl::CopyNamedFileToTemp(const std::string& name, const std::string& extension) {
  const std::string modelDir = m_modelDir.Get();
  if (modelDir.empty() || m_strQVTempDir.empty()) return 0;
  std::string file = TrimTrailingBlanks(name);
  if (!extension.empty()) file += "." + extension;
  if (!extension.empty() && (m_bUntLibRedirect1 == 1 || m_bUntLibRedirect2 == 1)) {
    std::string ext = LowerCase(extension);
    // After a Save As these files still live beside the model the host opened first.
    if (ext == "lib" || ext == "unt") m_diskObject.CopyFileInto(WithSeparator(m_strUntLibDir) + file, modelDir);
  }
  return m_diskObject.CopyFileInto(modelDir + file, m_strQVTempDir);
}

int CNetworkFileControl::CopyExtensionToTemp(const std::string& extension) {
  const std::string modelDir = m_modelDir.Get();
  std::string ext = TrimTrailingBlanks(extension);
  if (modelDir.empty() || m_strQVTempDir.empty() || ext.empty()) return 0;
  std::vector<std::string> files;
  m_diskObject.ListFilesMatching("*." + ext, modelDir, files, 1);
  if (files.empty()) return 0;
  return m_diskObject.CopyFileListInto(files, m_strQVTempDir);
}

void CNetworkFileControl::ClearTempDir(int usePrevious) {
  if (m_strSysTempDir.empty()) return;
  // Checked in the form the file operations will use: they accept the other separator too.
  const std::string remove = platform::ToNativeSeparators(usePrevious == 1 ? m_strSavedQVTempDir : m_strQVTempDir);
  const std::string other = usePrevious == 1 ? m_strQVTempDir : m_strSavedQVTempDir;
  // Never the temporary path itself, nor anything a ".." could lead to.
  if (!IsStrictlyBelow(WithSeparator(remove), m_strSysTempDir)) return;

  platform::Env& env = platform::Current();
  std::vector<std::string> files;
  m_diskObject.ListFilesDeep(remove, files, 1);
  for (const std::string& file : files) env.DeleteFile(file);

  // A directory that is some process's current directory cannot be removed on Windows.
  std::string cwd;
  if (env.GetCurrentDirectory(&cwd).ok() && LowerCase(WithSeparator(cwd)).rfind(LowerCase(WithSeparator(remove)), 0) == 0) {
    if (!other.empty() && IsDirectory(other))
      env.SetCurrentDirectory(other);
    else if (other.empty() && IsDirectory(m_modelDir.Get()))
      env.SetCurrentDirectory(m_modelDir.Get());
    else
      env.SetCurrentDirectory(m_strExeDir);
  }
  m_diskObject.DeleteDirectory(remove);
}

void CNetworkFileControl::SwapModelDirs() {
  std::string dir = m_modelDir.Get();
  m_modelDir.Set(m_strSavedModelDir);
  m_strSavedModelDir = dir;
  std::swap(m_strQVTempDir, m_strSavedQVTempDir);
}

}  // namespace miradel
