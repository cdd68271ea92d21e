// Locking models: take, switch back, check, make permanent, release.
#include "control/globals.h"
#include "exports/frame.h"
#include "miradel.h"

using namespace miradel;
using namespace miradel::exports;

namespace {
LockOwnerInfo* Owner(void* buffer) { return static_cast<LockOwnerInfo*>(buffer); }
CNetworkFileControl& C() { return TheControl(); }
}  // namespace

static_assert(sizeof(MiradelLockOwner) == sizeof(LockOwnerInfo), "the host's owner buffer is the lock's owner record");

extern "C" {

MIRADEL_API int MIRADEL_CALL NW_GetLock(MiradelLockOwner* owner, const char* dir, const int* dir_length,
                                        const char* name, const int* name_length) {
  return Guard(0, [&] { return C().GetLock(Owner(owner), PathText(dir, dir_length), Text(name, name_length)); });
}

MIRADEL_API int MIRADEL_CALL NW_GetSecondLock(MiradelLockOwner* owner, const char* dir, const int* dir_length,
                                              const char* name, const int* name_length, const int* mode) {
  return Guard(0, [&] {
    return C().GetSecondLock(Owner(owner), PathText(dir, dir_length), Text(name, name_length), Value(mode));
  });
}

MIRADEL_API void MIRADEL_CALL NW_SetModelVars(void) {
  GuardVoid([&] { C().SetModelVars(); });
}

MIRADEL_API void MIRADEL_CALL NW_GetOldModel(const int* keep_lock) {
  GuardVoid([&] { C().GetOldModel(Value(keep_lock)); });
}

MIRADEL_API void MIRADEL_CALL NW_GetOldModLck(void) {
  GuardVoid([&] { C().GetOldModLck(); });
}

MIRADEL_API void MIRADEL_CALL NW_ReleaseLock(void) {
  GuardVoid([&] { C().ReleaseLock(); });
}

MIRADEL_API void MIRADEL_CALL NW_ReleasLckOnly(void) {
  GuardVoid([&] { C().ReleaseLockOnly(); });
}

MIRADEL_API void MIRADEL_CALL NW_RelesOldLock(void) {
  GuardVoid([&] { C().ReleaseOldLock(); });
}

MIRADEL_API void MIRADEL_CALL NW_GetModLock(void) {
  GuardVoid([&] { C().HoldDataFile(); });
}

MIRADEL_API void MIRADEL_CALL NW_ReleasModLock(void) {
  GuardVoid([&] { C().ReleaseDataFile(); });
}

MIRADEL_API int MIRADEL_CALL NW_CheckLock(void) {
  return Guard(0, [&] { return C().CheckLock(); });
}

MIRADEL_API int MIRADEL_CALL NW_PermLock(const int* permanent) {
  return Guard(0, [&] { return C().PermLock(Value(permanent)); });
}

}  // extern "C"
