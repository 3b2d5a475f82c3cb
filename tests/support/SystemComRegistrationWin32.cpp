#include "support/SystemComRegistration.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace testsupport {

namespace {

using ServerEntry = HRESULT(STDAPICALLTYPE*)();

// The module's exported entry `name`, called; the module stays loaded, as
// COM keeps it once it has made an object from it.
HRESULT callEntry(const std::string& path, const char* name) {
    HMODULE module = ::LoadLibraryA(path.c_str());
    if (module == nullptr) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    auto entry = reinterpret_cast<ServerEntry>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return entry == nullptr ? HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND) : entry();
}

}  // namespace

SystemComRegistration::SystemComRegistration(std::vector<std::string> modulePaths) {
    for (std::string& path : modulePaths) {
        const HRESULT status = callEntry(path, "DllRegisterServer");
        if (status != S_OK) {
            ADD_FAILURE() << "DllRegisterServer of " << path << ": 0x" << std::hex << status;
            continue;
        }
        m_modules.push_back(std::move(path));
    }
}

// The system's registry outlives the test's: what one test registered must
// not let another take COM without registering.
SystemComRegistration::~SystemComRegistration() {
    for (const std::string& path : m_modules) {
        const HRESULT status = callEntry(path, "DllUnregisterServer");
        EXPECT_EQ(status, S_OK) << "DllUnregisterServer of " << path;
    }
}

bool SystemComRegistration::systemHasCom() { return true; }

}  // namespace testsupport
