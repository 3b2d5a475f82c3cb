#pragma once
// The OPOS control objects for POSPrinter and CashDrawer: what a
// point-of-sale application (and the setup tool's device test, and posctl)
// holds to drive a logical device.
//
// Open(name) finds the device in the OPOS service registry
// (HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\<class>): a device key of that
// name, or an LDN value of that name whose data is a device key name. The
// device key's default value is the service object's ProgID; HKCR leads from
// it (through CurVer for a version-independent ProgID) to the CLSID and the
// module, which is loaded and asked for the object (CvDllGetObject). The
// control object checks that the object answers every method of the class,
// calls OpenService(class, device key name, its own callback dispatch) and
// checks the service object's major version. A failed open leaves the
// control object closed, with OpenResult and the returned code telling why:
//   OPOS_OR_ALREADYOPEN (301)  OPOS_E_ILLEGAL    already open
//   OPOS_OR_REGBADNAME  (302)  OPOS_E_NOEXIST    no such device key or LDN
//   OPOS_OR_REGPROGID   (303)  OPOS_E_NOSERVICE  no ProgID, or it leads to no CLSID
//   OPOS_OR_CREATE      (304)  OPOS_E_NOSERVICE  no module, it does not load, or it
//                                                cannot create the object
//   OPOS_OR_BADIF       (305)  OPOS_E_NOSERVICE  a method of the class is missing
//   OPOS_OR_FAILEDOPEN  (306)  the service object's own code: OpenService failed
//                              (its own OpenResult, when it reports one, is kept
//                              instead: 402 for a wrong device class)
//   OPOS_OR_BADVERSION  (307)  OPOS_E_NOSERVICE  service object of another major version
//
// Every other method and property is forwarded to the service object by its
// OPOS name (see ServiceInterface.h). The control object answers OpenResult,
// ControlObjectDescription and ControlObjectVersion itself, State while
// closed (OPOS_S_CLOSED), and ResultCode while closed (the result of the last
// call it refused or of the failed open). Setting FreezeEvents calls the
// service object's COFreezeEvents: holding events back is the service
// object's business.
//
// Setting a property reads the service object's ResultCode to report the
// result. The service object may reset ResultCode when it is read, so the
// control object keeps that value and gives it to the next ResultCode read,
// as if the host had read it first; any other call to the service object
// drops it. A call the control object refuses while open (an unknown name,
// wrong arguments, a second open) is kept for the next ResultCode read the
// same way.
//
// Events. The service object calls back "SOStatusUpdate", "SOOutputComplete",
// "SOError", "SODirectIO" and "SOData" from any of its threads, and while
// enabling also on the caller's own thread. Each callback reaches the host's
// handler on the thread that made it, before the callback returns, so one
// service object thread's events arrive in the order it sent them; the
// handler must be thread-safe and may call this control object. A host may
// instead (or as well) take events from a bounded queue. The answer to an
// error event is the ErrorResponse handed back to the service object: the
// value the host chose with setErrorResponse (or, without one, the value the
// service object passed in), which the handler may still change.
//
// Threads: every method may be called from any thread, also from an event
// handler. No lock is held while the service object runs, so a service
// object that calls back while the host waits in one of its methods cannot
// deadlock the control object.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "opos/ServiceInterface.h"
#include "platform/com.h"

namespace opos {

using platform::HRESULT;

// A method argument, an in-out parameter's value or a property value.
using Value = std::variant<LONG, std::wstring>;

struct CallResult {
    // The service object's COM status (S_FALSE: it failed after logging), or
    // the control object's own DISP_E_UNKNOWNNAME, DISP_E_BADPARAMCOUNT or
    // DISP_E_TYPEMISMATCH (with rc OPOS_E_ILLEGAL) for a call it refused.
    HRESULT status = platform::S_OK;
    LONG rc = 0;  // the OPOS result
    // The in-out parameters (DirectIO's pData and pString) after the call, by
    // their type-library names, in declaration order.
    std::vector<std::pair<std::string_view, Value>> outputs;
};

enum class EventKind { StatusUpdate, OutputComplete, Error, DirectIO, Data };

// How the open service object was made: by COM from its ProgID (Windows, a
// class the system knows), or by loading the module the suite's own registry
// names for it.
enum class ServiceSource { None, Com, ServiceModule };

// "StatusUpdate", "OutputComplete", "Error", "DirectIO", "Data".
std::string_view eventName(EventKind kind);

struct Event {
    EventKind kind = EventKind::StatusUpdate;
    // StatusUpdate: the status; OutputComplete: the OutputID; DirectIO: the
    // event number; Data: the status.
    LONG number = 0;
    // Error only.
    LONG resultCode = 0;
    LONG resultCodeExtended = 0;
    LONG errorLocus = 0;
    LONG errorResponse = 0;  // handed back to the service object; a handler may change it
    // DirectIO only: pData and pString, handed back; a handler may change them.
    LONG data = 0;
    std::wstring text;
};

using EventHandler = std::function<void(Event& event)>;

class EventHub;
class CallbackSink;

class ControlObject {
public:
    explicit ControlObject(DeviceClass deviceClass);
    // Closes the device when it is still open.
    virtual ~ControlObject();
    ControlObject(const ControlObject&) = delete;
    ControlObject& operator=(const ControlObject&) = delete;

    DeviceClass deviceClass() const { return m_class; }

    // Returns OPOS_SUCCESS or the failure code (table above); OpenResult
    // tells more.
    LONG open(std::string_view deviceName);
    // CloseService, then lets the service object go. OPOS_E_CLOSED when not
    // open; otherwise the service object's result (the control object is
    // closed afterwards whatever it was).
    CallResult close();
    bool isOpen() const;

    // Calls a method by its OPOS name (ServiceInterface.h) with one argument
    // per parameter, numbers for longs and texts for BSTRs. Open and Close
    // reach open() and close(). OPOS_E_CLOSED (status S_OK) when not open.
    CallResult call(std::string_view method, const std::vector<Value>& arguments);

    // Reads a property by name into *value. A number property starts from
    // *value when it holds a number (a service object that does not serve the
    // index leaves it so), else from 0. OPOS_SUCCESS; OPOS_E_ILLEGAL for an
    // unknown name (value untouched); OPOS_E_CLOSED when not open (0 or "").
    LONG get(std::string_view property, Value* value);
    // Writes a property by name and returns the resulting ResultCode.
    // OPOS_E_ILLEGAL for an unknown name, a read-only property of the control
    // object, or a value of the wrong kind; OPOS_E_CLOSED when not open.
    LONG set(std::string_view property, const Value& value);

    // Typed forms of get and set; the same results.
    LONG getNumber(std::string_view property, LONG* value);
    LONG getText(std::string_view property, std::wstring* value);
    LONG setNumber(std::string_view property, LONG value) { return set(property, Value(value)); }
    LONG setText(std::string_view property, std::wstring_view value) { return set(property, Value(std::wstring(value))); }

    LONG openResult() const;
    // Where the open service object came from; None while closed.
    ServiceSource serviceSource() const;
    LONG resultCode();
    LONG setDeviceEnabled(bool enabled) { return setNumber("DeviceEnabled", enabled ? 1 : 0); }

    // The methods every device class has.
    LONG checkHealth(LONG level) { return call("CheckHealth", {level}).rc; }
    LONG claimDevice(LONG timeout) { return call("ClaimDevice", {timeout}).rc; }
    LONG releaseDevice() { return call("ReleaseDevice", {}).rc; }
    LONG clearInput() { return call("ClearInput", {}).rc; }
    LONG clearOutput() { return call("ClearOutput", {}).rc; }
    LONG directIO(LONG command, LONG* data, std::wstring* text);

    // The handler for every event from now on (empty: none). Thread-safe; a
    // handler already running finishes with the old one.
    void setEventHandler(EventHandler handler);
    // What error events get back as ErrorResponse: OPOS_ER_RETRY,
    // OPOS_ER_CLEAR, ..., or nothing to leave the service object's value.
    void setErrorResponse(std::optional<LONG> response);
    // Keeps up to `capacity` events for waitForEvent (0, the default: none).
    // Events that arrive while the queue is full are dropped and counted.
    void setEventQueueCapacity(std::size_t capacity);
    // Takes the oldest queued event, waiting at most `timeout` for one.
    bool waitForEvent(Event* event, std::chrono::milliseconds timeout);
    std::size_t droppedEvents() const;

private:
    struct Session;

    std::shared_ptr<Session> connect(std::string_view deviceName, LONG* openResult, LONG* rc);
    // The open session, or null (ResultCode becomes OPOS_E_CLOSED). Any use
    // of the service object drops a held ResultCode.
    std::shared_ptr<Session> useSession();
    // A call the control object refuses itself: `rc` becomes the ResultCode
    // the host reads next. Returns `rc`.
    LONG refuse(LONG rc);
    LONG refuseLocked(LONG rc);

    const DeviceClass m_class;
    const std::shared_ptr<EventHub> m_events;

    mutable std::mutex m_mutex;
    std::shared_ptr<Session> m_session;
    bool m_opening = false;
    LONG m_openResult = 0;
    LONG m_resultCode;
    std::optional<LONG> m_heldResultCode;
};

class PosPrinter : public ControlObject {
public:
    PosPrinter() : ControlObject(DeviceClass::PosPrinter) {}

    LONG printNormal(LONG station, std::wstring_view data) {
        return call("PrintNormal", {station, std::wstring(data)}).rc;
    }
    LONG printImmediate(LONG station, std::wstring_view data) {
        return call("PrintImmediate", {station, std::wstring(data)}).rc;
    }
    LONG cutPaper(LONG percentage) { return call("CutPaper", {percentage}).rc; }
};

class CashDrawer : public ControlObject {
public:
    CashDrawer() : ControlObject(DeviceClass::CashDrawer) {}

    LONG openDrawer() { return call("OpenDrawer", {}).rc; }
    LONG waitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration, LONG beepDelay) {
        return call("WaitForDrawerClose", {beepTimeout, beepFrequency, beepDuration, beepDelay}).rc;
    }
};

}  // namespace opos
