#pragma once
// Where the store lives and whether this process may write it.
#include <string>

#include "platform/types.h"

namespace platform {

// $CVOPOS_REGISTRY when set and not empty, else /var/lib/cvopos/registry.db.
std::string regStorePath();

// Whether the effective user may write the store at `path`: the file and the
// -wal/-shm files beside it when they exist, and the folder wherever SQLite
// would have to create one of them (or the nearest existing folder above it,
// when the store's folder does not exist yet).
bool regStoreWritable(const std::string& path);

// Creates the folders on the way to `path` that are missing (mode 0755).
LONG regCreateStoreFolder(const std::string& path);

}  // namespace platform
