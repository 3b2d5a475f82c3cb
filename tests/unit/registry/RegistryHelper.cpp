// A second process for the registry tests.
//   registry_helper write KEY PREFIX COUNT
//       waits until its standard input closes, then writes COUNT REG_DWORD
//       values PREFIX<i> = i into KEY and creates KEY\Tree\Common\PREFIX<i>
//       for every tenth i. Prints each failure; exit status 1 on any.
//   registry_helper set KEY NAME TEXT
//       writes one REG_SZ value.
//   registry_helper probe KEY NAME
//       tries reads and writes on an existing KEY holding value NAME and
//       prints what each returned, for a test that runs it without write
//       permission on the store.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/registry.h"

using namespace platform;

namespace {

int write(const std::string& key, const std::string& prefix, int count) {
    char gate = 0;
    while (std::fread(&gate, 1, 1, stdin) == 1) {
    }
    int failures = 0;
    HKey handle = nullptr;
    LONG result = regCreateKeyEx(HKLM, key.c_str(), KEY_ALL_ACCESS, &handle);
    if (result != ERROR_SUCCESS) {
        std::printf("create %s: %d\n", key.c_str(), static_cast<int>(result));
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        const std::string name = prefix + std::to_string(i);
        const DWORD data = static_cast<DWORD>(i);
        result = regSetValueEx(handle, name.c_str(), REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
        if (result != ERROR_SUCCESS) {
            std::printf("set %s: %d\n", name.c_str(), static_cast<int>(result));
            ++failures;
        }
        if (i % 10 == 0) {
            HKey subkey = nullptr;
            result = regCreateKeyEx(handle, ("Tree\\Common\\" + name).c_str(), KEY_ALL_ACCESS, &subkey);
            if (result != ERROR_SUCCESS) {
                std::printf("create Tree\\Common\\%s: %d\n", name.c_str(), static_cast<int>(result));
                ++failures;
            }
            regCloseKey(subkey);
        }
    }
    regCloseKey(handle);
    return failures == 0 ? 0 : 1;
}

int set(const std::string& key, const std::string& name, const std::string& text) {
    HKey handle = nullptr;
    LONG result = regCreateKeyEx(HKLM, key.c_str(), KEY_ALL_ACCESS, &handle);
    if (result == ERROR_SUCCESS) {
        result = regSetValueEx(handle, name.c_str(), REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>(text.size() + 1));
        regCloseKey(handle);
    }
    std::printf("set=%d\n", static_cast<int>(result));
    return result == ERROR_SUCCESS ? 0 : 1;
}

int probe(const std::string& key, const std::string& name) {
    HKey handle = nullptr;
    std::printf("open-read=%d", static_cast<int>(regOpenKeyEx(HKLM, key.c_str(), KEY_READ, &handle)));
    char data[64] = {};
    DWORD size = sizeof data - 1;
    std::printf(" query=%d", static_cast<int>(regQueryValueEx(handle, name.c_str(), nullptr,
                                                              reinterpret_cast<BYTE*>(data), &size)));
    std::printf(" data=%s", data);
    regCloseKey(handle);
    std::printf(" create-existing-read=%d", static_cast<int>(regCreateKeyEx(HKLM, key.c_str(), KEY_READ, &handle)));
    regCloseKey(handle);
    std::printf(" open-write=%d", static_cast<int>(regOpenKeyEx(HKLM, key.c_str(), KEY_WRITE, &handle)));
    std::printf(" create-new=%d",
                static_cast<int>(regCreateKeyEx(HKLM, (key + "\\New").c_str(), KEY_READ, &handle)));
    const DWORD number = 1;
    std::printf(" set-root=%d\n", static_cast<int>(regSetValueEx(HKLM, "Probe", REG_DWORD,
                                                                 reinterpret_cast<const BYTE*>(&number),
                                                                 sizeof number)));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "write" && argc == 5) {
        return write(argv[2], argv[3], std::atoi(argv[4]));
    }
    if (command == "set" && argc == 5) {
        return set(argv[2], argv[3], argv[4]);
    }
    if (command == "probe" && argc == 4) {
        return probe(argv[2], argv[3]);
    }
    std::fprintf(stderr, "usage: registry_helper write KEY PREFIX COUNT | set KEY NAME TEXT | probe KEY NAME\n");
    return 2;
}
