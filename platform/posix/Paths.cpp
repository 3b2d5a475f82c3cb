#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/paths.h"

namespace platform {

namespace {

LONG fromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    default:
        return ERROR_WRITE_FAULT;
    }
}

// lstat, not stat: a symbolic link is refused even when it points at a
// folder of ours, because whoever planted it can re-point it later.
bool isPrivateDirectory(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

}  // namespace

LONG privateDirectoryIn(const std::string& parent, std::string* path) {
    if (path == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string folder =
        withoutTrailingSlash(parent) + "/cvopos-" + std::to_string(::geteuid());
    if (::mkdir(folder.c_str(), 0700) == 0) {
        // The umask may have taken bits away; the mode must be exactly 0700
        // for the next call to accept the folder.
        if (::chmod(folder.c_str(), 0700) != 0) {
            return fromErrno(errno);
        }
    } else if (errno != EEXIST) {
        return fromErrno(errno);
    }
    if (!isPrivateDirectory(folder)) {
        return ERROR_ACCESS_DENIED;
    }
    *path = folder;
    return ERROR_SUCCESS;
}

LONG tempDirectory(std::string* path) {
    if (path == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        const std::string folder = withoutTrailingSlash(runtime);
        if (isPrivateDirectory(folder)) {
            *path = folder + "/";
            return ERROR_SUCCESS;
        }
    }
    std::string folder;
    const LONG status = privateDirectoryIn("/tmp", &folder);
    if (status == ERROR_SUCCESS) {
        *path = folder + "/";
    }
    return status;
}

LONG tempFileName(const std::string& directory, const std::string& prefix, std::string* path) {
    if (path == nullptr || directory.empty() || prefix.find('/') != std::string::npos) {
        return ERROR_INVALID_PARAMETER;
    }
    constexpr int kSuffixLength = 4;  // ".tmp"
    std::string pattern = withoutTrailingSlash(directory) + "/" + prefix + "XXXXXX.tmp";
    const int fd = ::mkostemps(pattern.data(), kSuffixLength, O_CLOEXEC);
    if (fd < 0) {
        return fromErrno(errno);
    }
    ::close(fd);
    *path = pattern;
    return ERROR_SUCCESS;
}

}  // namespace platform
