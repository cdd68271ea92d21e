#include "lock/lock_texts.h"

#include <mutex>

#include "lock/xml_processor.h"
#include "platform/env.h"

namespace miradel {

namespace {
std::mutex g_mu;
std::string g_dotted;     // at most 11 characters
std::string g_temporary;  // at most kLockTextCapacity characters
std::string g_permanent;
}  // namespace

void SetDottedVersionText(const std::string& text) {
  std::lock_guard<std::mutex> g(g_mu);
  g_dotted = text.substr(0, 11);
}

std::string DottedVersionText() {
  std::lock_guard<std::mutex> g(g_mu);
  return g_dotted;
}

std::string LockName(std::string name) {
  if (name.size() > kNameFieldChars) name.resize(kNameFieldChars);
  return name;
}

void BuildLockTexts() {
  platform::Env& env = platform::Current();
  std::string machine, user;
  if (!env.ComputerName(&machine).ok()) machine.clear();
  if (!env.UserName(&user).ok()) user.clear();
  machine = LockName(machine);
  user = LockName(user);

  XMLProcessorNetwork doc;
  doc.BuildLockDocument(machine, user, false);
  std::string temporary = doc.GetText();
  doc.BuildLockDocument(machine, user, true);
  std::string permanent = doc.GetText();
  if (temporary.size() > kLockTextCapacity) temporary.clear();
  if (permanent.size() > kLockTextCapacity) permanent.clear();

  std::lock_guard<std::mutex> g(g_mu);
  g_temporary = std::move(temporary);
  g_permanent = std::move(permanent);
}

std::string TemporaryLockText() {
  std::lock_guard<std::mutex> g(g_mu);
  return g_temporary;
}

std::string PermanentLockText() {
  std::lock_guard<std::mutex> g(g_mu);
  return g_permanent;
}

void ClearLockTexts() {
  std::lock_guard<std::mutex> g(g_mu);
  g_dotted.clear();
  g_temporary.clear();
  g_permanent.clear();
}

}  // namespace miradel
