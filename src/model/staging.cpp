#include "model/staging.h"

#include <chrono>
#include <cstdio>
#include <set>

#include "base/path.h"
#include "base/text.h"
#include "model/unwritten_changes.h"
#include "platform/env.h"
#include "ui/string_table.h"
#include "ui/user_interface.h"

namespace miradel {

namespace {
constexpr int kTempDirAttempts = 50;
constexpr std::size_t kMaxPath = 259;
// The host's fixed buffers: a text and its terminator in 256 bytes.
constexpr std::size_t kMaxBufferText = ModelLocation::kPathBuffer - 1;
constexpr char kRetrieveFailed[] =
    "Quorvane was not able to retrieve the file [%1] associated with the model. \r\n Do you want to retry "
    "retrieving the file or cancel opening the model?";
constexpr char kSaveFailed[] = "Quorvane was not able to save the %1";

bool IsDirectory(const std::string& path) {
  platform::FileInfo info;
  return !path.empty() && platform::Current().GetFileInfo(path, &info).ok() && info.is_directory;
}

// name + "." + extension as the host gives them, trailing blanks of the name removed.
std::string FileName(const std::string& name, const std::string& extension) {
  std::string file = text::TrimTrailingBlanks(name);
  if (!extension.empty()) file += "." + extension;
  return file;
}
}  // namespace

Staging::Staging(ModelLocation& location, CDiskObject& disk) : m_location(location), m_diskObject(disk) {
  // Seeded once from the clock; the address keeps two objects made in one tick apart.
  m_random.seed(static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count() ^
                                           reinterpret_cast<std::uintptr_t>(this)));
}

const std::string& Staging::SysTempDir() {
  if (!m_strSysTempDir) {
    std::string dir = platform::System().UserTempPath();
    if (dir.size() > kMaxPath) dir.resize(kMaxPath);
    m_strSysTempDir = dir;
  }
  return *m_strSysTempDir;
}

const std::string& Staging::ExeDir() {
  if (!m_strExeDir) {
    std::string exe = platform::Current().ExecutablePath();
    if (exe.size() > kMaxPath) exe.resize(kMaxPath);
    m_strExeDir = text::LowerCase(path::DirectoryPart(exe));
  }
  return *m_strExeDir;
}

void Staging::SetVersionTag(const std::string& text) { m_strVersionTag = "QV_" + text.substr(0, 6); }

void Staging::SetUntLibData(int redirect1, int redirect2, const std::string& dir) {
  m_bUntLibRedirect1 = redirect1;
  m_bUntLibRedirect2 = redirect2;
  m_strUntLibDir = dir;
}

std::string Staging::MakeTempDirSuffix() {
  char buf[8];
  std::snprintf(buf, sizeof buf, "_%04u", static_cast<unsigned>(m_random() % 10000));
  return buf;
}

int Staging::SetModelDirectory(const Path& dir, const std::string& name) {
  m_location.StoreDirAndName(dir, name);
  // No directory is made for this model: the previous model's must not pass for its own, or giving
  // this model up would remove the previous model's working copy.
  m_location.SetWorkingCopy(Path());
  if (!path::IsPlainName(name)) return 0;
  const std::string tagDir = SysTempDir() + m_strVersionTag + kSep;
  const std::string suffix = MakeTempDirSuffix();
  // A path cut to fit the host's buffers would name another directory, or lose its separator.
  const std::string modelDir = m_location.ModelDir().str();
  if (modelDir.size() + name.size() > kMaxBufferText || tagDir.size() + name.size() + suffix.size() + 1 > kMaxBufferText)
    return 0;

  platform::Env& env = platform::Current();
  m_diskObject.MakeDirectoryPath(tagDir);
  const Path tag = Path::FromText(tagDir);
  Path made;
  for (int attempt = 0; attempt < kTempDirAttempts && made.empty(); ++attempt) {
    const Path candidate = tag.Join(name + (attempt == 0 ? suffix : MakeTempDirSuffix())).AsDirectory();
    // A record left by a gone working copy of this name would pass for this one's changes: it
    // would keep this copy on closing, and 'miradel recover' would offer its files.
    if (HasUnwritten(candidate)) continue;
    if (env.CreateDirectory(candidate.str()).ok()) made = candidate;
  }
  if (made.empty()) return 0;
  m_location.SetWorkingCopy(made);

  // Prove the new directory can be written before the host relies on it.
  const std::string probe = made.Join(name + ".txt").str();
  platform::FileHandle h = platform::kNoFile;
  if (!env.OpenFile(probe, platform::kWrite, platform::kShareRead, platform::Disposition::kCreateAlways, &h, nullptr)
           .ok())
    return 0;
  const bool closed = env.Close(h).ok();
  env.DeleteFile(probe).IgnoreError();
  return closed ? 1 : 0;
}

void ShowMissingTtaFiles(const TtaCollection& collection, std::intptr_t owner) {
  if (collection.missing.empty()) return;
  std::string message;
  for (const MissingTtaFile& file : collection.missing) {
    unsigned id = file.kind == MissingTtaFile::kProfile ? ui::kStrTtaProfileNotFound : ui::kStrTtaInputNotFound;
    message += ui::FormatString(id, file.path) + "\n";
  }
  ui::MessageBoxRequest box;
  box.owner = owner;
  box.text = message;
  box.caption = "TTA Files Missing";
  box.style = ui::kOk | ui::kIconExclamation;
  ui::Current().MessageBox(box);
}

int Staging::CopyModelToTemp(int mode, std::intptr_t owner, bool keepLockFile) {
  const std::string qvTempDir = m_location.WorkingCopy().str();
  // Without a working copy every copy below would land wherever the process happens to stand.
  if (qvTempDir.empty()) return 0;
  const std::string modelDir = m_location.ModelDir().str();
  const std::string& modelName = m_location.m_strModelName;
  std::vector<std::string> listing;
  m_diskObject.ListFilesMatching(modelName + "*", modelDir, listing, 1);
  if (listing.empty()) return 0;

  m_fileSet.m_bModelHasTTC = m_fileSet.m_bModelHasTTL = 0;
  std::vector<std::string> selection;
  m_fileSet.SelectModelFiles(modelDir, modelName, listing, selection);
  std::vector<std::string> ttaFiles;
  if (m_fileSet.m_bModelHasTTC == 1 || m_fileSet.m_bModelHasTTL == 1) {
    const std::string caseList =
        path::WithSeparator(modelDir) + modelName + (m_fileSet.m_bModelHasTTC == 1 ? ".TTC" : ".TTL");
    TtaCollection tta = CollectTTAFiles(caseList, [this] { return m_location.ModelDir().str(); });
    ShowMissingTtaFiles(tta, owner);
    ttaFiles = std::move(tta.files);
    selection.insert(selection.end(), ttaFiles.begin(), ttaFiles.end());
  }

  int result = 0;
  if (mode == 0) {
    result = m_diskObject.CopyFileListInto(selection, qvTempDir);
  } else {
    for (const std::string& file : selection) {
      while ((result = m_diskObject.CopyFileInto(file, qvTempDir)) != 1) {
        ui::MessageBoxRequest box;
        box.owner = owner;
        box.text = ui::FormatString(std::string(kRetrieveFailed), path::BaseName(file));
        box.caption = ui::kAppTitle;
        box.style = ui::kRetryCancel | ui::kIconExclamation;
        if (ui::Current().MessageBox(box) != ui::kIdRetry) return -1;
      }
    }
  }

  for (const CompanionFile& companion : FixedCompanionFiles(modelName, ttaFiles))
    CopyNamedFileToTemp(companion.base, companion.extension);
  if (result != 1) return result;

  // Read-only files become writable in both directories. A copy keeps its source's attribute, so a
  // model file whose copy was writable was writable too: no look at it on the share.
  std::vector<std::string> copies;
  m_diskObject.ListFilesMatching("*.*", qvTempDir, copies, 1);
  platform::Env& env = platform::Current();
  std::set<std::string> writable;
  for (const std::string& file : copies) {
    platform::FileInfo info;
    if (env.GetFileInfo(file, &info).ok() && !info.read_only) {
      writable.insert(text::LowerCase(path::BaseName(file)));
      continue;
    }
    if (!env.SetReadOnly(file, false).ok()) return 0;
  }
  for (const std::string& file : listing)
    if (!writable.count(text::LowerCase(path::BaseName(file))) && !env.SetReadOnly(file, false).ok()) return 0;
  if (!keepLockFile) env.DeleteFile(qvTempDir + modelName + ".lck").IgnoreError();
  return 1;
}

int Staging::CopyTempToModel(const std::vector<std::string>& files) {
  if (m_location.WorkingCopy().empty() || files.empty()) return 0;
  return m_diskObject.WriteFileListInto(files, m_location.ModelDir().str());
}

int Staging::CopyFileToModel(const std::string& name, const std::string& extension, int showMessage,
                             std::intptr_t owner) {
  const std::string modelDir = m_location.ModelDir().str();
  if (modelDir.empty() || m_location.WorkingCopy().empty()) return 0;
  const std::string file = FileName(name, extension);
  // Only the working copy's own files go to the share.
  if (!path::StaysInside(file)) return 0;
  int result = m_diskObject.WriteFileInto(m_location.WorkingCopy().Join(file).str(), modelDir);
  if (result != 1 && showMessage != 0) ui::PlainMessageBox(owner, ui::FormatString(std::string(kSaveFailed), file));
  return result;
}

int Staging::CopyNamedFileToTemp(const std::string& name, const std::string& extension) {
  const std::string modelDir = m_location.ModelDir().str();
  if (modelDir.empty() || m_location.WorkingCopy().empty()) return 0;
  const std::string file = FileName(name, extension);
  if (!path::StaysInside(file)) return 0;
  if (!extension.empty() && (m_bUntLibRedirect1 == 1 || m_bUntLibRedirect2 == 1)) {
    std::string ext = text::LowerCase(extension);
    // After a Save As these files still live beside the model the host opened first.
    if (ext == "lib" || ext == "unt") m_diskObject.WriteFileInto(path::WithSeparator(m_strUntLibDir) + file, modelDir);
  }
  return m_diskObject.CopyFileInto(modelDir + file, m_location.WorkingCopy().str());
}

int Staging::CopyExtensionToTemp(const std::string& extension) {
  const std::string modelDir = m_location.ModelDir().str();
  std::string ext = text::TrimTrailingBlanks(extension);
  if (modelDir.empty() || m_location.WorkingCopy().empty() || ext.empty()) return 0;
  std::vector<std::string> files;
  m_diskObject.ListFilesMatching("*." + ext, modelDir, files, 1);
  if (files.empty()) return 0;
  return m_diskObject.CopyFileListInto(files, m_location.WorkingCopy().str());
}

void Staging::ClearTempDir(int usePrevious) {
  const std::string& sysTemp = SysTempDir();
  if (sysTemp.empty()) return;
  ModelLocation& at = m_location;
  const Path gone = (usePrevious == 1 ? at.SavedWorkingCopy() : at.WorkingCopy()).AsDirectory();
  const std::string remove = gone.str();
  const std::string other = (usePrevious == 1 ? at.WorkingCopy() : at.SavedWorkingCopy()).str();
  // Never the temporary path itself, nor anything a ".." could lead to.
  if (!gone.IsStrictlyBelow(Path::FromText(sysTemp))) return;
  // The previous model's working copy is the open model's too when no new one was made since.
  if (usePrevious == 1 && text::EqualsNoCase(remove, path::WithSeparator(other))) return;
  // The only copy of a change that could not be written back: it stays, and says so.
  if (HasUnwritten(gone)) {
    UnwrittenRecord unwritten;
    if (!ReadUnwrittenChanges(gone, &unwritten)) unwritten.working_copy = remove;
    ReportKeptWorkingCopy(unwritten);
    return;
  }

  platform::Env& env = platform::Current();
  std::vector<std::string> files;
  m_diskObject.ListFilesDeep(remove, files, 1);
  for (const std::string& file : files) env.DeleteFile(file).IgnoreError();

  // A directory that is some process's current directory cannot be removed on Windows.
  std::string cwd;
  if (env.GetCurrentDirectory(&cwd).ok() &&
      text::StartsWithNoCase(path::WithSeparator(cwd), path::WithSeparator(remove))) {
    std::string to = ExeDir();
    if (!other.empty() && IsDirectory(other))
      to = other;
    else if (other.empty() && IsDirectory(at.ModelDir().str()))
      to = at.ModelDir().str();
    env.SetCurrentDirectory(to).IgnoreError();
  }
  m_diskObject.DeleteDirectory(remove);
}

}  // namespace miradel
