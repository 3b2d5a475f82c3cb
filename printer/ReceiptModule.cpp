// The module's exports: creating the POSPrinter service object by CLSID and
// self-registration.
#include "PosPrinterDispatch.h"
#include "ReceiptClass.h"
#include "common/ComRegistration.h"
#include "printer/WorkerShared.h"

namespace {

const common::ComClassRegistration kPosPrinterClass{printer::kPosPrinterProgId, printer::kPosPrinterIndependentProgId,
                                                   printer::kPosPrinterClsid, printer::kPosPrinterDescription,
                                                   printer::kPosPrinterThreadingModel};

}  // namespace

// Only these leave the module: a Windows DLL with no export marked would
// export every symbol.
#if defined(_WIN32)
#define RECEIPTSO_EXPORT extern "C" __declspec(dllexport)
#else
#define RECEIPTSO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

RECEIPTSO_EXPORT platform::HRESULT CvDllGetObject(const char* clsid, platform::IDispatch** object) {
    if (clsid == nullptr || object == nullptr) {
        return platform::E_POINTER;
    }
    if (!platform::sameGuid(clsid, kPosPrinterClass.clsid)) {
        return platform::CLASS_E_CLASSNOTAVAILABLE;
    }
    try {
        *object = new printer::PosPrinterDispatch();
        return platform::S_OK;
    } catch (...) {
        return platform::E_OUTOFMEMORY;
    }
}

RECEIPTSO_EXPORT platform::HRESULT CvDllRegisterServer(const char* modulePath) {
    if (modulePath == nullptr) {
        return platform::E_POINTER;
    }
    try {
        return common::registerComClass(kPosPrinterClass, modulePath);
    } catch (...) {
        return platform::E_FAIL;
    }
}

RECEIPTSO_EXPORT platform::HRESULT CvDllUnregisterServer() {
    try {
        return common::unregisterComClass(kPosPrinterClass);
    } catch (...) {
        return platform::E_FAIL;
    }
}

// Test support: the clock of the synchronous print wait (null: the real one).
RECEIPTSO_EXPORT void CvReceiptSetSynchronousClockForTesting(platform::DWORD (*source)()) {
    printer::setSynchronousClockForTesting(source);
}
