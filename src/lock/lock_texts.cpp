#include "lock/lock_texts.h"

#include "lock/xml_processor.h"

namespace miradel {

std::string LockName(std::string name) {
  if (name.size() > kNameFieldChars) name.resize(kNameFieldChars);
  return name;
}

LockTexts BuildLockTexts(platform::Env& env, const std::string& dotted) {
  std::string machine, user;
  if (!env.ComputerName(&machine).ok()) machine.clear();
  if (!env.UserName(&user).ok()) user.clear();
  machine = LockName(machine);
  user = LockName(user);

  LockTexts texts;
  texts.dotted = dotted.substr(0, 11);
  XMLProcessorNetwork doc;
  doc.BuildLockDocument(texts.dotted, machine, user, false);
  texts.temporary = doc.GetText();
  doc.BuildLockDocument(texts.dotted, machine, user, true);
  texts.permanent = doc.GetText();
  if (texts.temporary.size() > kLockTextCapacity) texts.temporary.clear();
  if (texts.permanent.size() > kLockTextCapacity) texts.permanent.clear();
  return texts;
}

}  // namespace miradel
