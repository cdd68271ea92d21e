// Locking models: take, switch back, check, make permanent, release.
#include "control/globals.h"
#include "exports/frame.h"
#include "miradel.h"

using namespace miradel;
using namespace miradel::exports;

namespace {
LockOwnerInfo* Owner(void* buffer) { return static_cast<LockOwnerInfo*>(buffer); }
}  // namespace

static_assert(sizeof(MiradelLockOwner) == sizeof(LockOwnerInfo), "the host's owner buffer is the lock's owner record");

extern "C" {

MIRADEL_API int MIRADEL_CALL NW_GetLock(MiradelLockOwner* owner, const char* dir, const int* dir_length,
                                        const char* name, const int* name_length) {
  return Guard(0, [&] {
    CNetworkFileControl& c = TheControl();
    c.SaveModelState();
    c.SavePrimaryLock();
    std::string path = CNetworkFileControl::LockPathFor(PathText(dir, dir_length), Text(name, name_length));
    // A first take that succeeds is let go at once, so that the lock is held from a fresh take.
    if (c.AcquireLock(0, path, false, Owner(owner)) == 1) c.ReleaseLock(0);
    int result = c.AcquireLock(0, path, false, Owner(owner));
    if (result != 1) c.RestorePrimaryLock();
    return result;
  });
}

MIRADEL_API int MIRADEL_CALL NW_GetSecondLock(MiradelLockOwner* owner, const char* dir, const int* dir_length,
                                              const char* name, const int* name_length, const int* mode) {
  return Guard(0, [&] {
    CNetworkFileControl& c = TheControl();
    std::string path = CNetworkFileControl::LockPathFor(PathText(dir, dir_length), Text(name, name_length));
    switch (Value(mode)) {
      case 1:
      case 2: {
        int result = c.AcquireLock(1, path, false, Owner(owner));
        if (result == 0) return 0;
        c.ReleaseDataFile(1);
        return result;
      }
      case 3:
        c.ReleaseLock(1);
        return 1;
      default:
        return 0;
    }
  });
}

MIRADEL_API void MIRADEL_CALL NW_SetModelVars(void) {
  GuardVoid([&] {
    TheControl().SaveModelState();
    TheControl().SavePrimaryLock();
  });
}

MIRADEL_API void MIRADEL_CALL NW_GetOldModel(const int* keep_lock) {
  GuardVoid([&] {
    CNetworkFileControl& c = TheControl();
    if (Value(keep_lock) == 0) c.ReleaseLock(0);
    c.ClearTempDir(0);
    c.RestoreModelState();
    c.RestorePrimaryLock();
  });
}

MIRADEL_API void MIRADEL_CALL NW_GetOldModLck(void) {
  GuardVoid([&] {
    TheControl().ReleaseLock(0);
    TheControl().RestorePrimaryLock();
  });
}

MIRADEL_API void MIRADEL_CALL NW_ReleaseLock(void) {
  GuardVoid([&] {
    CNetworkFileControl& c = TheControl();
    c.WaitForQueueEmpty();
    c.ReleaseLock(0);
    c.ClearTempDir(0);
  });
}

MIRADEL_API void MIRADEL_CALL NW_ReleasLckOnly(void) {
  GuardVoid([&] {
    TheControl().WaitForQueueEmpty();
    TheControl().ReleaseLock(0);
  });
}

MIRADEL_API void MIRADEL_CALL NW_RelesOldLock(void) {
  GuardVoid([&] {
    CNetworkFileControl& c = TheControl();
    c.WaitForQueueEmpty();
    c.ReleaseLock(1);
    c.ClearTempDir(1);
  });
}

MIRADEL_API void MIRADEL_CALL NW_GetModLock(void) {
  GuardVoid([&] { TheControl().HoldDataFile(0); });
}

MIRADEL_API void MIRADEL_CALL NW_ReleasModLock(void) {
  GuardVoid([&] { TheControl().ReleaseDataFile(0); });
}

MIRADEL_API int MIRADEL_CALL NW_CheckLock(void) {
  return Guard(0, [&] { return TheControl().CheckLock() ? 1 : 0; });
}

MIRADEL_API int MIRADEL_CALL NW_PermLock(const int* permanent) {
  return Guard(0, [&] {
    CNetworkFileControl& c = TheControl();
    bool wanted = Value(permanent) != 0;
    if (wanted == c.IsPermanentLock()) return 1;
    return c.SetPermanentLock(wanted) ? 1 : 0;
  });
}

}  // extern "C"
