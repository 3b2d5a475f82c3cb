// What the module's COM entry points serve on Windows: the POSPrinter
// class through its own dispatch.
#include "PosPrinterDispatch.h"
#include "ReceiptClass.h"
#include "platform/comsystem.h"

#include <new>

namespace platform {

const InprocServerClass& inprocServerClass() {
    static const InprocServerClass served{printer::kPosPrinterProgId, printer::kPosPrinterIndependentProgId,
                                          printer::kPosPrinterClsid, printer::kPosPrinterDescription,
                                          printer::kPosPrinterThreadingModel};
    return served;
}

IDispatch* createInprocServerObject() {
    return new (std::nothrow) printer::PosPrinterDispatch();
}

}  // namespace platform
