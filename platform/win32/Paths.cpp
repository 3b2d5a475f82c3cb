#include "platform/paths.h"

#include <windows.h>

#include <random>

namespace platform {

namespace {

LONG fromWin32(::DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ERROR_PATH_NOT_FOUND;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return ERROR_ACCESS_DENIED;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ERROR_DISK_FULL;
    default:
        return ERROR_WRITE_FAULT;
    }
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string withoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && isSeparator(path.back()) && path[path.size() - 2] != ':') {
        path.pop_back();
    }
    return path;
}

// A junction or symbolic link is refused even when it points at a folder
// of ours, because whoever planted it can re-point it later.
bool isPlainDirectory(const std::string& path) {
    const ::DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

std::string userName() {
    char name[257] = {};
    ::DWORD size = sizeof name;
    return ::GetUserNameA(name, &size) ? std::string(name) : std::string("user");
}

}  // namespace

// The user's temporary folder is the user's own on Windows; the folder
// inside it keeps the suite's files together and away from other programs'.
LONG privateDirectoryIn(const std::string& parent, std::string* path) {
    if (path == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!isPlainDirectory(withoutTrailingSeparator(parent))) {
        return ERROR_PATH_NOT_FOUND;
    }
    const std::string folder = withoutTrailingSeparator(parent) + "\\cvopos-" + userName();
    if (!::CreateDirectoryA(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        return fromWin32(::GetLastError());
    }
    if (!isPlainDirectory(folder)) {
        return ERROR_ACCESS_DENIED;
    }
    *path = folder;
    return ERROR_SUCCESS;
}

LONG tempDirectory(std::string* path) {
    if (path == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    char temp[MAX_PATH + 1] = {};
    const ::DWORD length = ::GetTempPathA(sizeof temp, temp);
    if (length == 0 || length > MAX_PATH) {
        return ERROR_PATH_NOT_FOUND;
    }
    std::string folder;
    const LONG status = privateDirectoryIn(std::string(temp, length), &folder);
    if (status == ERROR_SUCCESS) {
        *path = folder + "\\";
    }
    return status;
}

LONG tempFileName(const std::string& directory, const std::string& prefix, std::string* path) {
    if (path == nullptr || directory.empty() || prefix.find_first_of("\\/") != std::string::npos) {
        return ERROR_INVALID_PARAMETER;
    }
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = withoutTrailingSeparator(directory) + "\\" + prefix;
        for (int i = 0; i < 6; ++i) {
            name += kLetters[pick(random)];
        }
        name += ".tmp";
        // CREATE_NEW never opens a file that is already there.
        const HANDLE file = ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            *path = name;
            return ERROR_SUCCESS;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            return fromWin32(::GetLastError());
        }
    }
    return ERROR_WRITE_FAULT;
}

}  // namespace platform
