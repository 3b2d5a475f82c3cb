#pragma once
// Key handles: what a handle stands for, and the set of live handles that
// lets a call refuse a closed or made-up handle instead of reading freed
// memory.
#include <string>

#include "platform/registry.h"

namespace platform {

// Row ids of the two root keys; every store is created with them.
constexpr long long kRegLocalMachineId = 1;
constexpr long long kRegClassesRootId = 2;

// A handle keeps the store it was opened in and its key's row id. Row ids are
// never reused, so a key deleted and created again does not bring old handles
// back to life. The predefined roots keep no store: they follow
// $CVOPOS_REGISTRY at every call.
struct RegKeyObject {
    std::string store;
    long long keyId = 0;
    REGSAM access = 0;
};

// A handle resolved for one call.
struct RegKeyRef {
    std::string store;
    long long keyId = 0;
    REGSAM access = 0;
};

// These require the registry lock (hold a RegistryCall).
LONG regResolveHandle(HKey key, RegKeyRef* ref);
HKey regNewHandle(const std::string& store, long long keyId, REGSAM access);
// False for a handle that is not live; a predefined root is left alone.
bool regReleaseHandle(HKey key);

// The full name of a root key as a .reg file writes it.
const char* regRootName(long long rootId);

}  // namespace platform
