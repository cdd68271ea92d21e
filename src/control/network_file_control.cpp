#include "control/network_file_control.h"

#include <chrono>
#include <cstring>

#include "control/globals.h"
#include "control/version.h"
#include "copy/copy_thread.h"
#include "lock/lock_texts.h"
#include "platform/env.h"

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

std::string LowerCase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

std::string TrimTrailingBlanks(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

CNetworkFileControl::CNetworkFileControl() {
  // Seeded once from the clock; the address keeps two objects made in one tick apart.
  m_random.seed(static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count() ^
                                           reinterpret_cast<std::uintptr_t>(this)));
  platform::Env& env = platform::System();
  m_strSysTempDir = env.UserTempPath();
  if (m_strSysTempDir.size() > 259) m_strSysTempDir.resize(259);
  std::string exe = env.ExecutablePath();
  if (exe.size() > 259) exe.resize(259);
  std::size_t cut = exe.find_last_of(platform::kSep);
  m_strExeDir = LowerCase(cut == std::string::npos ? std::string() : exe.substr(0, cut + 1));
}

CNetworkFileControl::~CNetworkFileControl() {
  // The copy thread stops where it stands: it carries out no further request, and nothing is
  // released or copied for it. The process-wide object is destroyed at unload, which on Windows
  // runs under the loader lock, where waiting for a thread can deadlock and the system may already
  // have ended it: that one is abandoned. Every other one is stopped and waited for (a file
  // operation under way finishes first), which also holds for the library's unload on POSIX.
#ifdef _WIN32
  if (this == &TheControl()) {
    AbandonCopyThread(*this);
    return;
  }
#endif
  StopCopyThread(*this);
}

void CNetworkFileControl::SaveModelState() {
  m_strSavedModelDir = m_modelDir.Get();
  m_strSavedModelName = m_strModelName;
  m_strSavedQVTempDir = m_strQVTempDir;
  m_bSavedDirGivenWithoutSlash = m_bDirGivenWithoutSlash;
}

void CNetworkFileControl::RestoreModelState() {
  m_modelDir.Set(m_strSavedModelDir);
  m_strModelName = m_strSavedModelName;
  m_strQVTempDir = m_strSavedQVTempDir;
  m_bDirGivenWithoutSlash = m_bSavedDirGivenWithoutSlash;
}

int CNetworkFileControl::GetModelFilePath(char* buffer) const {
  std::string dir = m_modelDir.Get();
  if (dir.empty() || !buffer) return 0;
  std::string path = dir + m_strModelName;
  // Callers pass a zero-filled buffer; the last byte stays zero so the text is terminated.
  std::size_t n = path.size() < kPathBuffer - 1 ? path.size() : kPathBuffer - 1;
  std::memcpy(buffer, path.data(), n);
  return 1;
}

void CNetworkFileControl::GetModelDirText(char* buffer) const {
  std::string dir = m_modelDir.Get();
  if (m_bDirGivenWithoutSlash == 1)
    while (!dir.empty() && dir.back() == platform::kSep) dir.pop_back();
  CopyTerminated(dir, buffer, kPathBuffer);
}

void CNetworkFileControl::GetQVTempDirText(char* buffer) const { CopyTerminated(m_strQVTempDir, buffer, kPathBuffer); }

void CNetworkFileControl::SetUntLibData(int redirect1, int redirect2, const std::string& dir) {
  m_bUntLibRedirect1 = redirect1;
  m_bUntLibRedirect2 = redirect2;
  m_strUntLibDir = dir;
}

void CNetworkFileControl::SetVersionTag(const std::string& text) { m_strVersionTag = "QV_" + text.substr(0, 6); }

void CNetworkFileControl::SetVersionNumber(int version) {
  std::string digits = VersionDigits(version);
  SetVersionTag(digits);
  SetDottedVersionText(DottedVersion(digits));
  BuildLockTexts();
}

int CNetworkFileControl::CompareModel(const std::string& dir, const std::string& name) const {
  std::string given = platform::WithSeparator(dir) + name;
  char buffer[kPathBuffer] = {};
  if (!GetModelFilePath(buffer)) return 0;
  return LowerCase(given) == LowerCase(buffer) ? 1 : 0;
}

}  // namespace miradel
