// A lock file from the share: whatever it holds, the owner's names stay terminated within their
// 32 bytes. Its first bytes are also a machine and a user name that must come back unchanged
// through a lock document of their own, cut to 31 bytes.

#include "fuzz_check.h"
#include "lock/xml_processor.h"

using namespace miradel;

namespace {
// A name as the system gives one: no control codes, not blanks alone.
std::string Name(std::string_view bytes) {
  std::string name;
  for (char c : bytes.substr(0, 40)) if (static_cast<unsigned char>(c) >= 0x20) name += c;
  return name.find_first_not_of(' ') == std::string::npos ? "x" + name : name;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  XMLProcessorNetwork reader;
  reader.LoadText(text);
  LockOwnerInfo owner;
  std::memset(&owner, 0x5a, sizeof owner);
  owner.szMachineName[31] = owner.szUserName[31] = 0;
  owner.bIsPermanent = 0;
  const int result = reader.ReadLockOwner(owner);
  FUZZ_CHECK(result == 0 || result == 1);
  FUZZ_CHECK(fuzz::Terminated(owner.szMachineName) && fuzz::Terminated(owner.szUserName));
  FUZZ_CHECK(owner.bIsPermanent <= 1);

  const std::string machine = Name(text), user = Name(std::string_view(text).substr(std::min<std::size_t>(size, 40)));
  XMLProcessorNetwork writer, back;
  writer.BuildLockDocument("8.0.1.0", machine, user, size % 2 == 1);
  back.LoadText(writer.GetText());
  LockOwnerInfo read{};
  FUZZ_CHECK(back.ReadLockOwner(read) == 1 && read.bIsPermanent == size % 2);
  FUZZ_CHECK(read.szMachineName == machine.substr(0, 31) && read.szUserName == user.substr(0, 31));
  return 0;
}
