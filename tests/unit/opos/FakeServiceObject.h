#pragma once
// A service object module for the control object and posctl tests: it
// serves a fake POSPrinter, a fake CashDrawer and a printer that lacks a
// method, registers itself like a real module, records every call it
// receives, and sends events through the control object's callbacks - from
// a thread of its own, through a marshalled pointer, as a service object's
// event thread does.
#include "platform/types.h"

namespace opostest {

using platform::LONG;

inline constexpr const char* kPrinterClsid = "{5E0F3C71-2B8A-4D0E-9F61-3A7C0B1D2E41}";
inline constexpr const char* kPrinterProgId = "CvTest.FakePrinter.1";
inline constexpr const char* kPrinterIndependentProgId = "CvTest.FakePrinter";
inline constexpr const char* kDrawerClsid = "{5E0F3C71-2B8A-4D0E-9F61-3A7C0B1D2E42}";
inline constexpr const char* kDrawerProgId = "CvTest.FakeDrawer.1";
inline constexpr const char* kDrawerIndependentProgId = "CvTest.FakeDrawer";
// A printer that does not answer "ClearOutput".
inline constexpr const char* kIncompleteClsid = "{5E0F3C71-2B8A-4D0E-9F61-3A7C0B1D2E43}";
inline constexpr const char* kIncompleteProgId = "CvTest.Incomplete.1";
inline constexpr const char* kIncompleteIndependentProgId = "CvTest.Incomplete";

// Device names the fake's OpenService treats specially.
inline constexpr const char* kFailingDevice = "RX-FAIL";      // pRC 111, no OpenResult of its own
inline constexpr const char* kNoPortDevice = "RX-NOPORT";     // pRC 111, OpenResult OPOS_ORS_NOPORT
inline constexpr const char* kSilentDevice = "RX-SILENT";     // S_FALSE without setting pRC
inline constexpr const char* kNewerDevice = "RX-V2";          // ServiceObjectVersion 2000000

// The fake's DirectIO commands.
enum DirectIOCommand : LONG {
    // pData = n: StatusUpdate 1, 2, ... n from the fake's event thread.
    kSendStatusUpdates = 1,
    // pData = extended code: ErrorEvent(114, pData, 1, ErrorResponse 11) from
    // the event thread.
    kSendError = 2,
    // pData = the ErrorResponse the last error event got back (read once the
    // event thread has finished).
    kLastErrorResponse = 3,
    // pData = OutputID: OutputCompleteEvent from the event thread.
    kSendOutputComplete = 4,
    // SODirectIO(pData, pData, pString) on the calling thread; pData and
    // pString come back as the control object answered them.
    kSendDirectIO = 5,
    // pData + 1 and pString reversed, straight back.
    kEcho = 6,
};

// Hands every journal line ("Name(arguments)", numbers as 5, by-reference
// numbers as &5, texts quoted, the dispatch as dispatch) to `line` in order,
// and forgets them.
using TakeJournalFunction = void (*)(void (*line)(void* context, const char* text), void* context);
inline constexpr const char* kTakeJournalExport = "cvFakeSoTakeJournal";

}  // namespace opostest
