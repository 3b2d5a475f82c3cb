// The module's entry points: creating SOCvCash and registering its class.
#include <new>

#include "SOCvCash.h"
#include "common/ComRegistration.h"

using platform::HRESULT;

namespace {

constexpr common::ComClassRegistration kCashClass{drawer::kCashProgId, drawer::kCashIndependentProgId,
                                                  drawer::kCashClsid, drawer::kCashDescription, "Apartment"};

}  // namespace

// Only these leave the module: a Windows DLL with no export marked would
// export every symbol.
#if defined(_WIN32)
#define DRAWERSO_EXPORT extern "C" __declspec(dllexport)
#else
#define DRAWERSO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

DRAWERSO_EXPORT HRESULT CvDllGetObject(const char* clsid,
                                                                         platform::IDispatch** object) {
    if (clsid == nullptr || object == nullptr) {
        return platform::E_POINTER;
    }
    *object = nullptr;
    if (!platform::sameGuid(clsid, drawer::kCashClsid)) {
        return platform::CLASS_E_CLASSNOTAVAILABLE;
    }
    try {
        *object = new drawer::SOCvCash();
    } catch (const std::bad_alloc&) {
        return platform::E_OUTOFMEMORY;
    }
    return platform::S_OK;
}

DRAWERSO_EXPORT HRESULT CvDllRegisterServer(const char* modulePath) {
    if (modulePath == nullptr) {
        return platform::E_POINTER;
    }
    try {
        return common::registerComClass(kCashClass, modulePath);
    } catch (...) {
        return platform::SELFREG_E_CLASS;
    }
}

DRAWERSO_EXPORT HRESULT CvDllUnregisterServer() {
    try {
        return common::unregisterComClass(kCashClass);
    } catch (...) {
        return platform::SELFREG_E_CLASS;
    }
}
