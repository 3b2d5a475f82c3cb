// What the module's COM entry points serve on Windows: the CashDrawer
// class through its own dispatch.
#include "SOCvCash.h"
#include "platform/comsystem.h"

#include <new>

namespace platform {

const InprocServerClass& inprocServerClass() {
    static const InprocServerClass served{drawer::kCashProgId, drawer::kCashIndependentProgId, drawer::kCashClsid,
                                          drawer::kCashDescription, "Apartment"};
    return served;
}

IDispatch* createInprocServerObject() {
    return new (std::nothrow) drawer::SOCvCash();
}

}  // namespace platform
