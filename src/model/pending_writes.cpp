#include "model/pending_writes.h"

#include "base/path.h"

namespace miradel {

namespace {
bool FitsOnLine(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }
}  // namespace

PendingWrites::~PendingWrites() {
  std::lock_guard<std::recursive_mutex> hold(m_mu);
  for (auto& [path, journal] : m_open) CloseJournal(path, journal);
}

bool PendingWrites::Note(const Path& workingCopy, const Path& modelDirPath, const std::string& modelName,
                         const std::vector<UnwrittenEntry>& entries) {
  const std::string path = PendingJournalPath(workingCopy);
  const std::string& modelDir = modelDirPath.str();
  if (path.empty() || !FitsOnLine(modelDir) || !FitsOnLine(modelName)) return false;
  std::string text;
  for (const UnwrittenEntry& e : entries) {
    if (!path::IsPlainName(e.file) || !FitsOnLine(e.file)) return false;
    text += (e.kind == UnwrittenKind::kCopy ? "copy " : "delete ") + e.file + "\n";
  }
  std::lock_guard<std::recursive_mutex> hold(m_mu);
  platform::Env& env = platform::Current();
  Journal& j = m_open[path];
  if (j.handle == platform::kNoFile) {
    if (!env.OpenFile(path, platform::kWrite, platform::kShareRead | platform::kShareWrite,
                      platform::Disposition::kOpenAlways, &j.handle, nullptr)
             .ok()) {
      m_open.erase(path);
      return false;
    }
    platform::FileInfo info;
    j.size = env.GetFileInfo(path, &info).ok() ? info.size : 0;
    j.modelDir.clear();
  }
  // The model's place goes before its entries: the last one named is where they all belong.
  std::string head = j.size == 0 ? std::string(kPendingHeader) + "\n" : std::string();
  if (j.size == 0 || j.modelDir != modelDir || j.modelName != modelName)
    head += "model-dir " + modelDir + "\nmodel " + modelName + "\n";
  text.insert(0, head);
  if (!env.Seek(j.handle, j.size).ok() || !env.Write(j.handle, text.data(), text.size()).ok()) {
    CloseJournal(path, j);
    m_open.erase(path);
    return false;
  }
  j.size += text.size();
  j.modelDir = modelDir;
  j.modelName = modelName;
  return true;
}

void PendingWrites::ClearAll() {
  std::lock_guard<std::recursive_mutex> hold(m_mu);
  if (m_holds > 0) return;
  platform::Env& env = platform::Current();
  for (auto it = m_open.begin(); it != m_open.end();) {
    Journal& j = it->second;
    if (j.size == 0 || (env.Seek(j.handle, 0).ok() && env.Truncate(j.handle).ok())) {
      j.size = 0;
      ++it;
    } else {
      // Kept as it is: naming written files again does no harm.
      CloseJournal(it->first, j);
      it = m_open.erase(it);
    }
  }
}

void PendingWrites::Close(const Path& workingCopy) {
  const std::string path = PendingJournalPath(workingCopy);
  std::lock_guard<std::recursive_mutex> hold(m_mu);
  auto it = m_open.find(path);
  if (it == m_open.end()) return;
  CloseJournal(it->first, it->second);
  m_open.erase(it);
}

void PendingWrites::CloseJournal(const std::string& path, Journal& journal) {
  platform::Env& env = platform::Current();
  env.Close(journal.handle).IgnoreError();
  journal.handle = platform::kNoFile;
  if (journal.size == 0) env.DeleteFile(path).IgnoreError();
}

}  // namespace miradel
