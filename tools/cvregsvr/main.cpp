// cvregsvr: regsvr32 for the suite's service object modules. Registers a
// module (its CvDllRegisterServer, given the module's absolute path, which
// becomes InprocServer32) or with /u unregisters it, in the registry store
// that CVOPOS_REGISTRY names.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/module.h"

namespace {

const char* const kUsage =
    "usage: cvregsvr [/u] MODULE\n"
    "Registers the service object module MODULE (libNAME.so, or NAME.dll for the same file),\n"
    "or with /u unregisters it. Exit status: 0 done, 1 failed, 2 usage error.\n";

std::string hresultText(platform::HRESULT status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

bool isSwitch(const std::string& arg, char letter) {
    return arg.size() == 2 && (arg[0] == '/' || arg[0] == '-') &&
           (arg[1] == letter || arg[1] == static_cast<char>(letter - 'a' + 'A'));
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    std::optional<std::string> module;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "/?" || arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (isSwitch(arg, 'u')) {
            unregister = true;
        } else if (!module && !arg.empty()) {
            module = arg;
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }
    if (!module) {
        std::cerr << kUsage;
        return 2;
    }

    // The file loadLibrary opens, as an absolute path: that is what
    // InprocServer32 must name for a control object in any directory.
    std::error_code error;
    const std::filesystem::path given(*module);
    std::filesystem::path directory = std::filesystem::absolute(given, error).parent_path();
    const std::string path =
        (directory.lexically_normal() / platform::libraryFileName(given.filename().string())).string();

    platform::ModuleError loadError;
    platform::HModule library = platform::loadLibrary(path, &loadError);
    if (library == nullptr) {
        std::cerr << "cvregsvr: cannot load " << path << ": " << loadError.message << '\n';
        return 1;
    }
    const char* exportName =
        unregister ? platform::kDllUnregisterServerExport : platform::kDllRegisterServerExport;
    void* entry = platform::getProcAddress(library, exportName);
    platform::HRESULT status = platform::S_OK;
    if (entry != nullptr) {
        status = unregister ? reinterpret_cast<platform::DllUnregisterServerFunction>(entry)()
                            : reinterpret_cast<platform::DllRegisterServerFunction>(entry)(path.c_str());
    }
    platform::freeLibrary(library);

    if (entry == nullptr) {
        std::cerr << "cvregsvr: " << path << " has no export " << exportName << '\n';
        return 1;
    }
    if (platform::failed(status)) {
        std::cerr << "cvregsvr: " << exportName << " in " << path << " failed: " << hresultText(status) << '\n';
        return 1;
    }
    std::cout << "cvregsvr: " << exportName << " in " << path << " succeeded ("
              << (unregister ? "unregistered" : "registered") << ")\n";
    return 0;
}
