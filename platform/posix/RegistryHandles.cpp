#include "RegistryHandles.h"

#include <memory>
#include <unordered_set>

#include "RegistryAccess.h"

namespace platform {

namespace {

RegKeyObject g_localMachine{{}, kRegLocalMachineId, KEY_ALL_ACCESS};
RegKeyObject g_classesRoot{{}, kRegClassesRootId, KEY_ALL_ACCESS};

// Guarded by the registry lock.
std::unordered_set<const RegKeyObject*>& liveHandles() {
    static std::unordered_set<const RegKeyObject*> handles;
    return handles;
}

bool isPredefined(HKey key) {
    return key == &g_localMachine || key == &g_classesRoot;
}

}  // namespace

const HKey HKLM = &g_localMachine;
const HKey HKCR = &g_classesRoot;

LONG regResolveHandle(HKey key, RegKeyRef* ref) {
    if (isPredefined(key)) {
        ref->store = regStorePath();
    } else if (liveHandles().count(key) != 0) {
        ref->store = key->store;
    } else {
        return ERROR_INVALID_HANDLE;
    }
    ref->keyId = key->keyId;
    ref->access = key->access;
    return ERROR_SUCCESS;
}

HKey regNewHandle(const std::string& store, long long keyId, REGSAM access) {
    auto key = std::make_unique<RegKeyObject>(RegKeyObject{store, keyId, access});
    liveHandles().insert(key.get());
    return key.release();
}

bool regReleaseHandle(HKey key) {
    if (isPredefined(key)) {
        return true;
    }
    if (liveHandles().erase(key) == 0) {
        return false;
    }
    delete key;
    return true;
}

const char* regRootName(long long rootId) {
    return rootId == kRegClassesRootId ? "HKEY_CLASSES_ROOT" : "HKEY_LOCAL_MACHINE";
}

}  // namespace platform
