#include "model/model_location.h"

#include <cstring>
#include <utility>

#include "base/path.h"
#include "base/text.h"

namespace miradel {

namespace {
// Copies text and a terminator into a buffer of `size` bytes, cutting the text to fit.
void CopyTerminated(const std::string& text, char* buffer, std::size_t size) {
  if (!buffer || size == 0) return;
  std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
}
}  // namespace

void ModelLocation::StoreDirOnly(const Path& dir) {
  std::lock_guard<std::mutex> hold(m_csNames);
  StoreDir(dir);
}

void ModelLocation::StoreDir(const Path& dir) {
  const std::string& d = dir.str();
  // The host's form is remembered, so that the directory goes back to it as it came.
  m_bDirGivenWithoutSlash = (d.empty() || d.back() != kSep) ? 1 : 0;
  m_modelDir.Set(path::WithSeparator(d));
}

void ModelLocation::MoveModel(const std::string& oldDir, const std::string& name, const std::string& dir,
                              bool givenWithoutSlash) {
  std::lock_guard<std::mutex> hold(m_csNames);
  const std::string to = path::WithSeparator(dir);
  if (text::EqualsNoCase(m_modelDir.Get(), oldDir) && text::EqualsNoCase(m_strModelName, name)) {
    m_bDirGivenWithoutSlash = givenWithoutSlash ? 1 : 0;
    m_modelDir.Set(to);
  }
  if (text::EqualsNoCase(m_strSavedModelDir, oldDir) && text::EqualsNoCase(m_strSavedModelName, name)) {
    m_bSavedDirGivenWithoutSlash = givenWithoutSlash ? 1 : 0;
    m_strSavedModelDir = to;
  }
}

std::string ModelLocation::SavedModelDir() const {
  std::lock_guard<std::mutex> hold(m_csNames);
  return m_strSavedModelDir;
}

void ModelLocation::SetModelName(const std::string& name) {
  std::lock_guard<std::mutex> hold(m_csNames);
  m_strModelName = name;
}

void ModelLocation::StoreDirAndName(const Path& dir, const std::string& name) {
  std::lock_guard<std::mutex> hold(m_csNames);
  StoreDir(dir);
  m_strModelName = name;
}

void ModelLocation::SaveModelState() {
  std::lock_guard<std::mutex> hold(m_csNames);
  m_strSavedModelDir = m_modelDir.Get();
  m_strSavedModelName = m_strModelName;
  m_strSavedQVTempDir = m_strQVTempDir;
  m_bSavedDirGivenWithoutSlash = m_bDirGivenWithoutSlash.load();
}

void ModelLocation::RestoreModelState() {
  std::lock_guard<std::mutex> hold(m_csNames);
  m_modelDir.Set(m_strSavedModelDir);
  m_strModelName = m_strSavedModelName;
  m_strQVTempDir = m_strSavedQVTempDir;
  m_bDirGivenWithoutSlash = m_bSavedDirGivenWithoutSlash.load();
}

void ModelLocation::SwapModelDirs() {
  std::lock_guard<std::mutex> hold(m_csNames);
  std::string dir = m_modelDir.Get();
  m_modelDir.Set(m_strSavedModelDir);
  m_strSavedModelDir = std::move(dir);
  std::swap(m_strQVTempDir, m_strSavedQVTempDir);
}

int ModelLocation::GetModelFilePath(char* buffer) const {
  std::string dir = m_modelDir.Get();
  if (dir.empty() || !buffer) return 0;
  std::string path = dir + m_strModelName;
  // Callers pass a zero-filled buffer; the last byte stays zero so the text is terminated.
  std::size_t n = path.size() < kPathBuffer - 1 ? path.size() : kPathBuffer - 1;
  std::memcpy(buffer, path.data(), n);
  return 1;
}

void ModelLocation::GetModelDirText(char* buffer) const {
  std::string dir = m_modelDir.Get();
  if (m_bDirGivenWithoutSlash == 1) dir = path::WithoutTrailingSeparators(dir);
  CopyTerminated(dir, buffer, kPathBuffer);
}

void ModelLocation::GetQVTempDirText(char* buffer) const { CopyTerminated(m_strQVTempDir.str(), buffer, kPathBuffer); }

int ModelLocation::CompareModel(const Path& dir, const std::string& name) const {
  std::string given = path::WithSeparator(dir.str()) + name;
  char buffer[kPathBuffer] = {};
  if (!GetModelFilePath(buffer)) return 0;
  return text::EqualsNoCase(given, buffer) ? 1 : 0;
}

}  // namespace miradel
