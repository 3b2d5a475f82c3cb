#include "RegistryAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/registry.h"

namespace platform {

namespace {

const char* const kDefaultStorePath = "/var/lib/cvopos/registry.db";

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Effective ids, not the real ones: a set-uid installer acts with the rights
// it runs under.
bool mayWrite(const std::string& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool mayCreateIn(const std::string& folder) {
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string parentFolder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nearestExistingFolder(std::string folder) {
    while (!exists(folder) && folder != "/" && folder != ".") {
        folder = parentFolder(folder);
    }
    return folder;
}

}  // namespace

std::string regStorePath() {
    const char* configured = std::getenv("CVOPOS_REGISTRY");
    return configured != nullptr && *configured != '\0' ? configured : kDefaultStorePath;
}

bool regStoreWritable(const std::string& path) {
    const std::string folder = parentFolder(path);
    if (!exists(path)) {
        return mayCreateIn(nearestExistingFolder(folder));
    }
    if (!mayWrite(path)) {
        return false;
    }
    // SQLite creates the companions in the folder when they are missing and
    // writes through them when they exist; either way a write needs them.
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string companion = path + suffix;
        if (exists(companion) ? !mayWrite(companion) : !mayCreateIn(folder)) {
            return false;
        }
    }
    return true;
}

bool regStoreWritable() { return regStoreWritable(regStorePath()); }

LONG regCreateStoreFolder(const std::string& path) {
    const std::string folder = parentFolder(path);
    if (exists(folder)) {
        return ERROR_SUCCESS;
    }
    const LONG parentResult = regCreateStoreFolder(folder);
    if (parentResult != ERROR_SUCCESS) {
        return parentResult;
    }
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        return errno == EACCES || errno == EPERM || errno == EROFS ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

}  // namespace platform
