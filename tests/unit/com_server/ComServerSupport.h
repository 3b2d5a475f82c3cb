#pragma once
// What the COM server tests share: the two modules beside the test program,
// their published classes, and an apartment for the test's thread.
#include <gtest/gtest.h>

#include <string>

// The suite's headers go first: windows.h defines macros of the same names.
#include "platform/com.h"

#include <windows.h>
#include <oleauto.h>

namespace comtest {

struct ServerModule {
    const wchar_t* file;           // beside the test program
    const wchar_t* progId;         // version-independent
    const char* clsid;
    const wchar_t* library;        // type library name
    const wchar_t* libraryText;    // its help string
    const wchar_t* interfaceName;
};

inline const ServerModule kReceipt{L"receiptso.dll", L"SOCorvane.posprinter", "{0353F054-4D22-44C1-BD26-0F0FE4360036}",
                                   L"SOCORVANELib", L"SOCorvane 1.0 Type Library", L"Iposprinter"};
inline const ServerModule kDrawer{L"drawerso.dll", L"SOCorvaneCash.SOCvCash", "{6B1D2E84-3C57-4A9F-8E20-71D4C5A39B16}",
                                  L"SOCORVANECASHLib", L"SOCorvaneCash 1.0 Type Library", L"ISOCvCash"};

// The module's full path (loaded and kept loaded); empty when it cannot be
// loaded.
inline std::wstring modulePath(const ServerModule& module) {
    HMODULE handle = ::LoadLibraryW(module.file);
    if (handle == nullptr) {
        return {};
    }
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(handle, path, MAX_PATH);
    return path;
}

// The test's thread in a single-threaded apartment, as an application's
// user interface thread is.
class Apartment {
public:
    Apartment() { EXPECT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    ~Apartment() { ::CoUninitialize(); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
};

}  // namespace comtest
