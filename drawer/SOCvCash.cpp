#include "SOCvCash.h"

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <string_view>

#include "common/OposConstants.h"
#include "drawer/PropertyTable.h"
#include "platform/debug.h"
#include "platform/sound.h"
#include "platform/strings.h"
#include "platform/ui.h"
#include "portlink/portlink.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"

namespace drawer {

using platform::DWORD;
using platform::S_FALSE;
using platform::S_OK;

namespace {

constexpr std::int32_t kWriteTimeoutMs = 10000;
constexpr DWORD kEventThreadStartMs = 5000;
constexpr DWORD kDrawerOpenWaitMs = 10000;
constexpr DWORD kThreadExitWaitMs = 50000;
// Status polls and the event thread's idle wait: the longest a thread sleeps
// before it looks again. Wakes cut them short.
constexpr DWORD kStatusPollMs = 1000;
constexpr DWORD kIdleSendMs = 200;
// While a method waits for the drawer to move, the sensor is read this
// often; one read also counts as this many milliseconds of the beep timing.
constexpr DWORD kBriskPollMs = 100;
// A blocked waitForDrawerClose looks at the device this often, so that it
// cannot outlive the status thread that would wake it.
constexpr DWORD kCloseWaitSliceMs = 1000;

enum Slot : DISPID {
    SlotCheckHealth = 1,
    SlotClaimDevice,
    SlotClearInput,
    SlotClearOutput,
    SlotCloseService,
    SlotDirectIO,
    SlotOpenService,
    SlotReleaseDevice,
    SlotOpenDrawer,
    SlotWaitForDrawerClose,
    SlotGetPropertyNumber,
    SlotSetPropertyNumber,
    SlotGetPropertyString,
    SlotSetPropertyString,
    SlotCOFreezeEvents,
};

constexpr std::string_view kMethodNames[] = {
    "CheckHealth",        "ClaimDevice",       "ClearInput",        "ClearOutput",       "CloseService",
    "DirectIO",           "OpenService",       "ReleaseDevice",     "openDrawer",        "waitForDrawerClose",
    "GetPropertyNumber",  "SetPropertyNumber", "GetPropertyString", "SetPropertyString", "COFreezeEvents",
};

bool sameName(std::wstring_view wide, std::string_view narrow) {
    return std::ranges::equal(wide, narrow, [](wchar_t w, char n) {
        return std::towlower(static_cast<wint_t>(w)) == std::towlower(static_cast<unsigned char>(n));
    });
}

const char* failedSuffix(LONG code) { return code == common::OPOS_SUCCESS ? "" : " failed"; }

// Copies a wide argument into a fixed narrow buffer with its terminator.
// False, with the buffer emptied, when it does not fit.
bool copyName(const std::wstring& text, std::array<char, 255>& buffer) {
    std::size_t written = 0;
    if (platform::toNarrow(text, buffer.data(), buffer.size() - 1, &written) != platform::ERROR_SUCCESS) {
        buffer[0] = '\0';
        return false;
    }
    buffer[written] = '\0';
    return true;
}

}  // namespace

SOCvCash::SOCvCash() { m_queue.reset(); }

SOCvCash::~SOCvCash() {
    if (m_opened != 0) {
        closeAll();
    } else {
        endThreads();
    }
    platform::releaseMarshalStream(m_stream);
}

HRESULT SOCvCash::GetIDsOfNames(std::wstring_view name, DISPID* dispid) {
    if (dispid == nullptr) {
        return platform::E_POINTER;
    }
    for (std::size_t i = 0; i < std::size(kMethodNames); ++i) {
        if (sameName(name, kMethodNames[i])) {
            *dispid = static_cast<DISPID>(i + 1);
            return S_OK;
        }
    }
    *dispid = platform::DISPID_UNKNOWN;
    return platform::DISP_E_UNKNOWNNAME;
}

namespace {

// The arguments of one call, checked against a signature: N number, T text,
// R by-reference number, D dispatch.
class Arguments {
public:
    explicit Arguments(DispParams& params) : m_args(params.arguments) {}

    HRESULT check(std::string_view signature) const {
        if (m_args.size() != signature.size()) {
            return platform::DISP_E_BADPARAMCOUNT;
        }
        for (std::size_t i = 0; i < signature.size(); ++i) {
            const platform::VARTYPE type = m_args[i].type();
            const bool fits = signature[i] == 'N'   ? type == platform::VT_I4
                              : signature[i] == 'T' ? type == platform::VT_BSTR
                              : signature[i] == 'R' ? type == (platform::VT_BYREF | platform::VT_I4)
                                                    : type == platform::VT_DISPATCH;
            if (!fits) {
                return platform::DISP_E_TYPEMISMATCH;
            }
        }
        return S_OK;
    }

    LONG number(std::size_t i) const {
        LONG value = 0;
        m_args[i].getI4(&value);
        return value;
    }
    std::wstring text(std::size_t i) const {
        std::wstring value;
        m_args[i].getString(&value);
        return value;
    }
    IDispatch* dispatch(std::size_t i) const {
        IDispatch* value = nullptr;
        m_args[i].getDispatch(&value);
        return value;
    }
    void answer(std::size_t i, LONG value) const { m_args[i].setByRefI4(value); }

private:
    std::vector<Variant>& m_args;
};

}  // namespace

HRESULT SOCvCash::Invoke(DISPID dispid, DispParams& params, Variant* result) {
    static constexpr std::string_view kSignatures[] = {
        "NR", "NR", "R", "R", "R", "NRTR", "TTDR", "R", "R", "NNNNR", "NR", "NN", "N", "NT", "NR",
    };
    if (dispid < SlotCheckHealth || dispid > SlotCOFreezeEvents) {
        return platform::DISP_E_MEMBERNOTFOUND;
    }
    const Arguments args(params);
    if (const HRESULT checked = args.check(kSignatures[dispid - 1]); checked != S_OK) {
        return checked;
    }
    // Out-parameters start from the caller's value, as a by-reference LONG does.
    LONG rc = args.number(params.arguments.size() - 1);
    HRESULT status = S_OK;
    switch (dispid) {
    case SlotCheckHealth:
        status = CheckHealth(args.number(0), &rc);
        break;
    case SlotClaimDevice:
        status = ClaimDevice(args.number(0), &rc);
        break;
    case SlotClearInput:
        status = ClearInput(&rc);
        break;
    case SlotClearOutput:
        status = ClearOutput(&rc);
        break;
    case SlotCloseService:
        status = CloseService(&rc);
        break;
    case SlotDirectIO: {
        LONG data = args.number(1);
        status = DirectIO(args.number(0), &data, args.text(2), &rc);
        args.answer(1, data);
        break;
    }
    case SlotOpenService:
        status = OpenService(args.text(0), args.text(1), args.dispatch(2), &rc);
        break;
    case SlotReleaseDevice:
        status = ReleaseDevice(&rc);
        break;
    case SlotOpenDrawer:
        status = openDrawer(&rc);
        break;
    case SlotWaitForDrawerClose:
        status = waitForDrawerClose(args.number(0), args.number(1), args.number(2), args.number(3), &rc);
        break;
    case SlotGetPropertyNumber:
        status = GetPropertyNumber(args.number(0), &rc);
        break;
    case SlotSetPropertyNumber:
        return SetPropertyNumber(args.number(0), args.number(1));
    case SlotGetPropertyString: {
        std::wstring text;
        status = GetPropertyString(args.number(0), &text);
        if (result != nullptr) {
            *result = Variant(std::move(text));
        }
        return status;
    }
    case SlotSetPropertyString:
        return SetPropertyString(args.number(0), args.text(1));
    case SlotCOFreezeEvents:
        status = COFreezeEvents(args.number(0), &rc);
        break;
    default:
        return platform::DISP_E_MEMBERNOTFOUND;
    }
    args.answer(params.arguments.size() - 1, rc);
    return status;
}

void SOCvCash::setResult(LONG code) {
    m_resultCode = code;
    m_log.traceProperty(code == common::OPOS_SUCCESS ? common::level::debug : common::level::error,
                        common::PIDX_ResultCode, code);
}

void SOCvCash::traceState() { m_log.traceProperty(common::level::debug, common::PIDX_State, m_state); }

HRESULT SOCvCash::OpenService(const std::wstring& deviceClass, const std::wstring& deviceName, IDispatch* dispatch,
                              LONG* pRC) {
    std::lock_guard lifecycle(m_lifecycleLock);
    const std::string className = platform::toNarrow(deviceClass);
    const std::string name = platform::toNarrow(deviceName);
    m_log.debug("Cash.OpenService(\"%s\",\"%s\",pDispatch,0x%02x)", className.c_str(), name.c_str(),
                static_cast<unsigned>(*pRC));
    if (m_opened != 0) {
        setResult(common::OPOS_SUCCESS);
        *pRC = common::OPOS_SUCCESS;
        return S_OK;
    }
    if (!copyName(deviceName, m_deviceName) || !copyName(deviceClass, m_deviceClass)) {
        m_log.error("Cash.OpenService %d:device name longer than %zu bytes%s", 1, kNameSize - 1, " failed");
        setResult(common::OPOS_E_FAILURE);
        *pRC = common::OPOS_E_FAILURE;
        return S_FALSE;
    }
    m_controlObject = dispatch;
    HRESULT named = platform::E_POINTER;
    if (dispatch != nullptr) {
        named = dispatch->GetIDsOfNames(L"SODirectIO", &m_directIOId);
        if (platform::succeeded(named)) {
            named = dispatch->GetIDsOfNames(L"SOStatusUpdate", &m_statusUpdateId);
        }
    }
    if (platform::failed(named)) {
        m_log.error("Cash.OpenService %d:Cash.pCoDispatch->GetIDsOfNames %d%s", 1, named, " failed");
        m_controlObject = nullptr;
        setResult(common::OPOS_E_FAILURE);
        *pRC = common::OPOS_E_FAILURE;
        return S_FALSE;
    }

    // The drawer's signals are read before the port is opened: a device key
    // without them must not leave a port reference behind that would keep
    // the printer's shared connection open for ever.
    schema::RegKey key;
    DWORD openSingle = 0;
    DWORD pinSingle = 0;
    const char* refused = nullptr;
    if (key.open(platform::HKLM, schema::deviceKeyPath(schema::kCashDrawerClass, m_deviceName.data()),
                 platform::KEY_READ) != platform::ERROR_SUCCESS) {
        refused = "OpenService:RegOpen";
    } else if (key.readDword(schema::value::OpenSingle, &openSingle) != platform::ERROR_SUCCESS) {
        refused = "OpenService:RegQuery OpenSingle";
    } else if (key.readDword(schema::value::PinSingle, &pinSingle) != platform::ERROR_SUCCESS) {
        refused = "OpenService:RegQuery PinSingle";
    }
    key.close();
    if (refused != nullptr) {
        m_log.error("%s", refused);
        setResult(common::OPOS_E_FAILURE);
        *pRC = common::OPOS_E_FAILURE;
        return S_FALSE;
    }
    m_polarity = openSingle;
    m_pin = pinSingle != 0 ? 1 : 0;
    m_pulse = pulseCommand(m_pin);

    m_drawerModelValue = drawerModelValue(m_deviceName.data());
    std::int32_t stepCode = 0;
    std::int32_t sysError = 0;
    m_portHandle = OpenPort(m_deviceClass.data(), m_deviceName.data(), &m_portKind, &m_portIndex,
                            m_drawerModelValue, &stepCode, &sysError);
    if (m_portHandle == -1) {
        m_opened = 0;
        m_log.error("Cash.OpenService %d:OpenPort %d %d%s", 1, stepCode, sysError, " failed");
        setResult(common::OPOS_E_FAILURE);
        *pRC = common::OPOS_E_FAILURE;
        return S_FALSE;
    }
    m_networkReopened = true;

    {
        std::lock_guard queue(m_queueLock);
        m_queue.reset();
        m_queueBusy = false;
    }
    m_log.debug("Cash.InitEventJob:%d", 0);
    createThreads();

    m_opened = 1;
    m_claimed = 0;
    m_deviceEnabled = 0;
    m_freezeEvents = 0;
    m_state = common::OPOS_S_IDLE;
    m_drawerOpened = 0;
    m_drawerOpenSeen = false;
    m_powerState = common::OPOS_PS_UNKNOWN;
    setResult(common::OPOS_SUCCESS);
    *pRC = common::OPOS_SUCCESS;
    m_log.debug("Cash.OpenService:%d%s", *pRC, "");
    return S_OK;
}

HRESULT SOCvCash::ClaimDevice(LONG timeout, LONG* pRC) {
    std::lock_guard lifecycle(m_lifecycleLock);
    m_log.debug("ClaimDevice(%d, 0x%02x)", timeout, static_cast<unsigned>(*pRC));
    if (m_opened == 0) {
        setResult(common::OPOS_E_EXISTS);
        *pRC = common::OPOS_E_EXISTS;
        m_log.error("Cash.ClaimDevice %d: OPened is false%s", 1, failedSuffix(*pRC));
        return S_FALSE;
    }
    m_claimed = 1;
    m_log.traceProperty(common::level::debug, common::PIDX_Claimed, 1);
    setResult(common::OPOS_SUCCESS);
    *pRC = common::OPOS_SUCCESS;
    m_log.debug("Cash.ClaimDevice:%d%s", *pRC, "");
    return S_OK;
}

HRESULT SOCvCash::ReleaseDevice(LONG* pRC) {
    std::lock_guard lifecycle(m_lifecycleLock);
    m_log.debug("ReleaseDevice(0x%02x)", static_cast<unsigned>(*pRC));
    if (m_opened == 0) {
        setResult(common::OPOS_E_FAILURE);
        *pRC = common::OPOS_E_FAILURE;
        m_log.error("Cash.ReleaseDevice %d:Opened is false%s", 1, failedSuffix(*pRC));
        return S_FALSE;
    }
    if (m_claimed == 0) {
        setResult(common::OPOS_E_NOTCLAIMED);
        *pRC = common::OPOS_E_NOTCLAIMED;
        m_log.error("Cash.ReleaseDevice %d:Claimed is false%s", 1, failedSuffix(*pRC));
        return S_FALSE;
    }
    // A released drawer is disabled, and its threads are replaced by fresh
    // suspended ones, so that a later claim and enable start them again.
    abortWait();
    endThreads();
    createThreads();
    m_claimed = 0;
    m_deviceEnabled = 0;
    // A wait that began while the release was under way ends now too.
    abortWait();
    m_state = common::OPOS_S_IDLE;
    m_log.traceProperty(common::level::debug, common::PIDX_Claimed, 0);
    m_log.traceProperty(common::level::debug, common::PIDX_DeviceEnabled, 0);
    traceState();
    setResult(common::OPOS_SUCCESS);
    *pRC = common::OPOS_SUCCESS;
    m_log.debug("Cash.ReleaseDevice:%d%s", *pRC, "");
    return S_OK;
}

HRESULT SOCvCash::CloseService(LONG* pRC) {
    std::lock_guard lifecycle(m_lifecycleLock);
    if (m_opened == 0) {
        setResult(common::OPOS_E_CLOSED);
        *pRC = common::OPOS_E_CLOSED;
        m_log.debug("Cash.CloseService:%d%s", *pRC, failedSuffix(*pRC));
        return S_OK;
    }
    closeAll();
    *pRC = common::OPOS_SUCCESS;
    return S_OK;
}

void SOCvCash::closeAll() {
    abortWait();
    endThreads();
    m_log.debug("Cash.FreeResourceQ()");
    {
        std::lock_guard queue(m_queueLock);
        m_queue.reset();
        m_queueBusy = false;
    }
    platform::releaseMarshalStream(m_stream);
    m_stream = nullptr;
    m_log.debug("Cash.FreeResourceQ:ok");
    std::int32_t stepCode = 0;
    std::int32_t sysError = 0;
    ClosePort(m_portIndex, m_portHandle, m_drawerModelValue, &stepCode, &sysError);
    m_portHandle = -1;
    m_deviceEnabled = 0;
    m_claimed = 0;
    m_opened = 0;
    abortWait();
    m_controlObject = nullptr;
    setResult(common::OPOS_SUCCESS);
    m_log.debug("Cash.CloseService:%d %d%s", stepCode, sysError, "");
}

void SOCvCash::createThreads() {
    m_eventThreadStarted = false;
    m_sendThreadStarted = false;
    m_sendStartEvent.reset();
    m_run = std::make_shared<ThreadRun>();
    const std::shared_ptr<ThreadRun> run = m_run;
    m_hEventThread =
        platform::WorkerThread::create([this, run] { lpEventProc(run); }, platform::WorkerThread::Start::Suspended);
    m_hSendThread =
        platform::WorkerThread::create([this, run] { lpSendProc(run); }, platform::WorkerThread::Start::Suspended);
}

void SOCvCash::endThreads() {
    if (!m_hEventThread && !m_hSendThread) {
        return;
    }
    m_run->exit = true;
    wakeStatusThread();
    m_sendWake.set();
    // Called from an event handler, this runs on the event thread itself,
    // which cannot wait for its own end: it leaves once the handler returns,
    // without touching this object again.
    if (m_hSendThread && m_hSendThread->id() == platform::currentThreadId()) {
        m_hSendThread.reset();
    }
    // Resuming a thread that runs already is harmless; one that never
    // started must run to see the exit request and report its end.
    std::vector<platform::Event*> exits;
    if (m_hEventThread) {
        m_hEventThread->resume();
        exits.push_back(&m_run->eventExit);
    }
    if (m_hSendThread) {
        m_hSendThread->resume();
        exits.push_back(&m_run->sendExit);
    }
    if (!exits.empty() &&
        platform::Event::waitMultiple(exits, true, kThreadExitWaitMs) != platform::WAIT_OBJECT_0) {
        m_log.error("Cash.CloseService %d:threads did not end in %u ms%s", 1, kThreadExitWaitMs, " failed");
    }
    for (auto* thread : {&m_hEventThread, &m_hSendThread}) {
        if (*thread && (*thread)->join(kThreadExitWaitMs) == platform::WAIT_OBJECT_0) {
            thread->reset();
        }
    }
    // A thread that did not end keeps running on this instance; it is left
    // alone rather than destroyed under its feet.
    if (m_hEventThread || m_hSendThread) {
        m_log.error("Cash.CloseService %d:a worker thread is still running%s", 1, " failed");
        (void)m_hEventThread.release();
        (void)m_hSendThread.release();
    }
}

void SOCvCash::abortWait() {
    {
        std::lock_guard wait(m_waitLock);
        ++m_aborts;
    }
    m_waitChanged.notify_all();
}

HRESULT SOCvCash::GetPropertyNumber(LONG index, LONG* pNumber) {
    DrawerProperties properties;
    properties.claimed = m_claimed;
    properties.deviceEnabled = m_deviceEnabled;
    properties.freezeEvents = m_freezeEvents;
    // The result code is handed over once: reading it resets it.
    properties.resultCode = m_resultCode.exchange(common::OPOS_SUCCESS);
    properties.state = m_state;
    properties.powerState = m_powerState;
    properties.drawerOpened = m_drawerOpened;
    if (const auto property = readNumberProperty(properties, index)) {
        *pNumber = property->value;
        m_log.debug("<Cash.%s:%d", property->name, property->value);
    }
    return S_OK;
}

HRESULT SOCvCash::SetPropertyNumber(LONG index, LONG number) {
    if (index == common::PIDX_DeviceEnabled) {
        setDeviceEnabled(number);
        return S_OK;
    }
    if (index == common::PIDX_FreezeEvents) {
        m_freezeEvents = number;
        m_log.debug(">Cash.%s:%d", "FreezeEvents", number);
        wakeStatusThread();
        m_sendWake.set();
    }
    setResult(common::OPOS_SUCCESS);
    return S_OK;
}

HRESULT SOCvCash::GetPropertyString(LONG index, std::wstring* text) {
    // CheckHealthText is the one text the drawer keeps: the interactive
    // check's outcome would otherwise never reach the application.
    if (index == common::PIDX_CheckHealthText) {
        std::lock_guard lifecycle(m_lifecycleLock);
        *text = platform::toWide(m_healthText);
        m_log.debug("<Cash.%s:%s", "CheckHealthText", m_healthText.c_str());
    }
    setResult(common::OPOS_SUCCESS);
    return S_OK;
}

HRESULT SOCvCash::SetPropertyString(LONG index, const std::wstring& text) {
    m_log.debug("Cash.SetPropertyString(%d,\"%s\")", index, platform::toNarrow(text).c_str());
    setResult(common::OPOS_SUCCESS);
    m_log.debug("Cash.SetPropertyString:%d", common::OPOS_SUCCESS);
    return S_OK;
}

HRESULT SOCvCash::COFreezeEvents(LONG freeze, LONG* pRC) {
    m_log.debug("COFreezeEvents(%d,0x%02x)", freeze, static_cast<unsigned>(*pRC));
    // The control object's FreezeEvents property arrives here, so this is
    // where events are held back and let go.
    m_freezeEvents = freeze != 0 ? 1 : 0;
    wakeStatusThread();
    m_sendWake.set();
    setResult(common::OPOS_SUCCESS);
    *pRC = common::OPOS_SUCCESS;
    return S_OK;
}

void SOCvCash::setDeviceEnabled(LONG enable) {
    std::lock_guard lifecycle(m_lifecycleLock);
    m_log.debug("Cash.SetDeviceEnabled(%d)", enable);
    if (enable != 0) {
        if (m_deviceEnabled != 0) {
            m_log.debug("Cash.SetDeviceEnabled ok");
            setResult(common::OPOS_SUCCESS);
            return;
        }
        if (m_opened == 0) {
            setResult(common::OPOS_E_CLOSED);
            m_log.error("Cash.SetDeviceEnabled %d:Opened is false%s", 1, " failed");
            return;
        }
        if (!m_sendThreadStarted) {
            platform::coInitialize();
            platform::releaseMarshalStream(m_stream);
            m_stream = nullptr;
            platform::marshalInterThreadInterface(m_controlObject, &m_stream);
            platform::coUninitialize();
            m_sendThreadStarted = true;
            m_hSendThread->resume();
            if (m_sendStartEvent.wait(kEventThreadStartMs) != platform::WAIT_OBJECT_0) {
                m_log.error("SetDeviceEnabled Failed");
            }
        }
        std::int32_t stepCode = 0;
        std::int32_t sysError = 0;
        if (WritePort(m_portIndex, m_portHandle, kEnableCommand.data(), static_cast<std::int32_t>(kEnableCommand.size()),
                      kWriteTimeoutMs, m_drawerModelValue, &stepCode, &sysError) != 1) {
            m_deviceEnabled = 0;
            setResult(common::OPOS_E_FAILURE);
            m_log.error("Cash.SetDeviceEnabled exit WritePortfailed %d %d %d", sysError, stepCode, sysError);
            return;
        }
        StatusBlock status = {0x04, 0, 0, 0};
        ReadPort(m_portIndex, m_portHandle, status.data(), static_cast<std::int32_t>(status.size()), kWriteTimeoutMs,
                 m_drawerModelValue, &stepCode, &sysError);
        const bool open = drawerIsOpen(status, m_polarity);
        m_drawerOpened = open ? 1 : 0;
        m_drawerOpenSeen = open;
        LONG value = open ? common::CASH_SUE_DRAWEROPEN : common::CASH_SUE_DRAWERCLOSED;
        fEventJob(0, &value);
        if (!m_eventThreadStarted) {
            m_eventThreadStarted = true;
            m_hEventThread->resume();
        }
        m_deviceEnabled = 1;
        m_log.traceProperty(common::level::debug, common::PIDX_DeviceEnabled, 1);
    } else if (m_deviceEnabled != 0) {
        m_deviceEnabled = 0;
        m_log.traceProperty(common::level::debug, common::PIDX_DeviceEnabled, 0);
    } else {
        m_log.debug("Cash.SetDeviceEnabled exit DeviceEnabled FALSE%s", "");
    }
    setResult(common::OPOS_SUCCESS);
    m_log.debug("Cash.SetDeviceEnabled:ok%s", "");
}

bool SOCvCash::sendPulse(std::int32_t* stepCode, std::int32_t* sysError) {
    return WritePort(m_portIndex, m_portHandle, m_pulse.data(), static_cast<std::int32_t>(m_pulse.size()),
                     kWriteTimeoutMs, m_drawerModelValue, stepCode, sysError) == 1;
}

HRESULT SOCvCash::openDrawer(LONG* pRC) {
    m_log.debug("Cash.openDrawer(0x%2x)", static_cast<unsigned>(*pRC));
    if (m_opened == 0 || m_deviceEnabled == 0) {
        *pRC = m_opened == 0 ? common::OPOS_E_CLOSED : common::OPOS_E_DISABLED;
        setResult(*pRC);
        m_log.error("Cash.openDrawer:%d%s", *pRC, failedSuffix(*pRC));
        return S_FALSE;
    }
    m_log.debug("Cash.openDrawer PortType:%d", m_portKind);
    std::int32_t stepCode = 0;
    std::int32_t sysError = 0;
    if (m_portKind == PORT_ETH || m_portKind == PORT_PAR) {
        m_log.debug("Cash.openDrawer PORT_ETH PORT_PAR");
    } else {
        const std::int32_t line = GetPortStatus(m_portIndex, m_portHandle, nullptr, 0, m_drawerModelValue, &stepCode,
                                                &sysError);
        if ((line & 0xFF) < 16) {
            *pRC = common::OPOS_E_FAILURE;
            setResult(*pRC);
            m_log.error("Cash.openDrawer:%d %d%s", stepCode, sysError, failedSuffix(*pRC));
            return S_FALSE;
        }
        m_log.debug("Cash.openDrawer:%d %d%s", stepCode, sysError, "");
    }
    const bool awaitSensor = !(m_portKind == PORT_PAR && m_drawerModelValue == 2);
    // Reset before the pulse: the status thread may see the drawer open
    // before this thread would otherwise get to the reset.
    m_drawerOpenEvent.reset();
    m_openPending = awaitSensor;
    if (!sendPulse(&stepCode, &sysError)) {
        m_openPending = false;
        *pRC = common::OPOS_E_FAILURE;
        setResult(*pRC);
        m_log.error("Cash.openDrawer WritePort:%d %d%s", stepCode, sysError, failedSuffix(*pRC));
        return S_FALSE;
    }
    m_state = common::OPOS_S_BUSY;
    traceState();
    setResult(common::OPOS_SUCCESS);
    m_log.debug("Cash.openDrawer WritePort:0x%2x 0x%2x 0x%2x 0x%2x 0x%2x,%d %d%s", m_pulse[0], m_pulse[1], m_pulse[2],
                m_pulse[3], m_pulse[4], stepCode, sysError, "");
    if (!awaitSensor) {
        m_drawerOpened = 0;
        m_drawerOpenSeen = false;
    } else if (!m_drawerOpenSeen) {
        // A drawer that never reports open is not an error: the wait ends
        // after its time and the pulse still counts as sent.
        wakeStatusThread();
        m_drawerOpenEvent.wait(kDrawerOpenWaitMs);
    }
    m_openPending = false;
    platform::sleepMs(100);
    *pRC = common::OPOS_SUCCESS;
    m_log.debug("Cash.openDrawer:%d%s", *pRC, "");
    return S_OK;
}

HRESULT SOCvCash::waitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration, LONG beepDelay,
                                     LONG* pRC) {
    m_log.debug("Cash.waitForDrawerClose(%d,%d,%d,%d,0x%02x)", beepTimeout, beepFrequency, beepDuration, beepDelay,
                static_cast<unsigned>(*pRC));
    if (m_opened == 0) {
        *pRC = common::OPOS_E_CLOSED;
        setResult(*pRC);
        m_log.error("Cash.waitForDrawerClose one:%d%s", *pRC, failedSuffix(*pRC));
        return S_FALSE;
    }
    if (m_deviceEnabled == 0) {
        *pRC = common::OPOS_E_DISABLED;
        setResult(*pRC);
        m_log.error("Cash.waitForDrawerClose two:%d%s", *pRC, failedSuffix(*pRC));
        return S_FALSE;
    }
    std::uint64_t aborts = 0;
    {
        std::lock_guard wait(m_waitLock);
        aborts = m_aborts;
        m_beepTimeout = beepTimeout;
        m_beepFrequency = beepFrequency;
        m_beepDuration = beepDuration;
        m_beepDelay = std::max<LONG>(beepDelay, 100);
        m_beepCountdown = beepDelay;
        m_elapsed = 0;
    }
    // A release or close from here on ends the call, whenever it comes.
    const auto ended = [&] { return m_aborts != aborts || m_opened == 0 || m_claimed == 0; };
    bool aborted = false;
    bool open = false;
    std::uint64_t closes = 0;
    {
        std::unique_lock wait(m_waitLock);
        // Gives a change the printer has just reported time to reach the
        // status thread before the drawer is taken to be closed.
        m_waitChanged.wait_for(wait, std::chrono::milliseconds(200), ended);
        aborted = ended();
        // Checked under the lock the status thread reports a close under, so
        // a close between the check and the wait cannot be missed.
        open = !aborted && m_drawerOpenSeen;
        if (open) {
            ++m_waiters;
            closes = m_closes;
        }
    }
    if (!aborted && !open) {
        m_state = common::OPOS_S_IDLE;
        traceState();
        *pRC = common::OPOS_SUCCESS;
        setResult(*pRC);
        m_log.debug("Cash.waitForDrawerClose three:%d%s", *pRC, "");
        return S_OK;
    }
    if (open) {
        wakeStatusThread();
        std::unique_lock wait(m_waitLock);
        // The slices bound how long a wait can outlive the status thread
        // that would wake it.
        while (!m_waitChanged.wait_for(wait, std::chrono::milliseconds(kCloseWaitSliceMs), [&] {
            return ended() || m_closes != closes || !m_drawerOpenSeen;
        })) {
        }
        aborted = ended();
        if (--m_waiters == 0) {
            m_beepDelay = 100;
            m_elapsed = 0;
        }
    }
    if (aborted) {
        *pRC = common::OPOS_E_FAILURE;
        setResult(*pRC);
        m_log.error("Cash.waitForDrawerClose end:%d%s", *pRC, failedSuffix(*pRC));
        return S_FALSE;
    }
    m_state = common::OPOS_S_IDLE;
    traceState();
    *pRC = common::OPOS_SUCCESS;
    setResult(*pRC);
    m_log.debug("Cash.waitForDrawerClose end:%d%s", *pRC, "");
    return S_OK;
}

HRESULT SOCvCash::CheckHealth(LONG level, LONG* pRC) {
    m_log.debug("Cash.CheckHealth(%d, 0x%02x)", level, static_cast<unsigned>(*pRC));
    if (m_opened == 0) {
        *pRC = common::OPOS_E_ILLEGAL;
        setResult(*pRC);
        m_log.error("Cash.CheckHealth %d:Opened is false%s", 1, failedSuffix(*pRC));
        return S_FALSE;
    }
    LONG result = common::OPOS_SUCCESS;
    if (level == common::OPOS_CH_EXTERNAL) {
        std::int32_t stepCode = 0;
        std::int32_t sysError = 0;
        if (sendPulse(&stepCode, &sysError)) {
            m_log.debug("Cash.CheckHealth:2 %d %d", stepCode, sysError);
        } else {
            // A pulse that never left is a failed check, not a healthy drawer.
            result = common::OPOS_E_FAILURE;
            m_log.error("Cash.CheckHealth:2 %d %d", stepCode, sysError);
        }
    } else if (level == common::OPOS_CH_INTERACTIVE) {
        const platform::DialogDescription dialog{
            "Dialog", {"CheckHealth Method", "Push The [Start] Button To Start"}, "Start", "Cancel", "Result"};
        bool pressed = false;
        bool responded = false;
        platform::runModalDialog(dialog, [&]() -> std::string {
            std::int32_t stepCode = 0;
            std::int32_t sysError = 0;
            pressed = true;
            responded = sendPulse(&stepCode, &sysError);
            return responded ? "OPOS_SUCCESS" : "OPOS_FAIL";
        });
        if (pressed) {
            std::lock_guard lifecycle(m_lifecycleLock);
            m_healthText = responded ? "Interactive HCheck: Successful" : "Interactive HCheck: Not Responding";
            m_log.traceProperty(common::level::debug, common::PIDX_CheckHealthText, 0, m_healthText);
        }
    }
    *pRC = result;
    setResult(result);
    m_log.debug("Cash.CheckHealth:%d%s", result, failedSuffix(result));
    return result == common::OPOS_SUCCESS ? S_OK : S_FALSE;
}

HRESULT SOCvCash::ClearInput(LONG* pRC) {
    const LONG given = *pRC;
    *pRC = 1;
    setResult(1);
    m_log.debug("Cash.ClearInput(%d(0x%02x)):%d", given, static_cast<unsigned>(given), *pRC);
    return S_OK;
}

HRESULT SOCvCash::ClearOutput(LONG* pRC) {
    const LONG given = *pRC;
    *pRC = 1;
    setResult(1);
    m_log.debug("Cash.ClearOutput(%d(0x%02x)):%d", given, static_cast<unsigned>(given), *pRC);
    return S_OK;
}

HRESULT SOCvCash::DirectIO(LONG command, LONG* pData, const std::wstring& text, LONG* pRC) {
    m_log.debug("Cash.DirectIO(%d, 0x%02x, \"%s\", 0x%02x)", command, static_cast<unsigned>(*pData),
                platform::toNarrow(text).c_str(), static_cast<unsigned>(*pRC));
    if (m_opened == 0) {
        *pRC = common::OPOS_E_ILLEGAL;
        setResult(*pRC);
        m_log.error("Cash.DirectIO %d:Opened is false%s", 1, failedSuffix(*pRC));
        return S_FALSE;
    }
    // The drawer has no vendor commands: the call is accepted and does nothing.
    *pRC = common::OPOS_SUCCESS;
    setResult(*pRC);
    return S_OK;
}

bool SOCvCash::fEventJob(int kind, LONG* value) {
    bool done = false;
    std::size_t count = 0;
    bool busy = false;
    {
        std::lock_guard queue(m_queueLock);
        if (kind == 0) {
            done = m_queue.put(*value);
        } else {
            done = m_queue.take(value);
            m_queueBusy = done;
        }
        count = m_queue.count();
        busy = m_queueBusy;
    }
    m_log.debug("Cash.fEventJob(%d,%d,%d)", kind, *value, static_cast<int>(count));
    if (kind == 0 && !done) {
        m_log.error("Cash.fEventJob queue full, status %d dropped", *value);
    }
    if (kind == 0 && !busy && count > 0) {
        m_sendWake.set();
    }
    return done;
}

// The status thread's pauses end early when the printer sends status by
// itself, so a drawer that moves is read at once; the pause stays the bound
// for a printer that sends nothing.
void SOCvCash::statusWait(DWORD ms) { WaitPortStatus(m_portIndex, &m_statusMark, static_cast<std::int32_t>(ms)); }

void SOCvCash::wakeStatusThread() { WakePortStatus(m_portIndex); }

DWORD SOCvCash::statusPause(DWORD pause) const {
    bool brisk = m_openPending;
    if (!brisk) {
        std::lock_guard wait(m_waitLock);
        brisk = m_waiters > 0;
    }
    return brisk ? std::min(pause, kBriskPollMs) : pause;
}

// Freezing events holds their delivery only: the sensor is read on, so
// DrawerOpened and a waiting openDrawer follow the drawer while frozen.
void SOCvCash::lpEventProc(const std::shared_ptr<ThreadRun>& run) {
    m_log.debug("Cash.lpEventProc(0x%02x)", static_cast<unsigned>(platform::currentThreadId()));
    while (!run->exit) {
        StatusBlock status{};
        std::int32_t stepCode = 0;
        std::int32_t sysError = 0;
        if (ReadPort(m_portIndex, m_portHandle, status.data(), static_cast<std::int32_t>(status.size()), 0,
                     m_drawerModelValue, &stepCode, &sysError) != 1) {
            if (m_portKind == PORT_ETH) {
                m_networkReopened = false;
            }
            statusWait(kStatusPollMs);
            continue;
        }
        m_log.debug("lpEvent ReadPort true:0x%x 0x%x 0x%x 0x%x,%d %d", status[0], status[1], status[2], status[3],
                    stepCode, sysError);
        if (m_portKind == PORT_PAR && m_drawerModelValue == 2) {
            m_log.debug("lpEvent ReadPort PORT_PAR 2");
            statusWait(kStatusPollMs);
            continue;
        }
        decodeDrawer(status);
        DWORD pause = kStatusPollMs;
        if (m_portKind == PORT_ETH && !m_networkReopened) {
            if (ReOpenNetPort(m_portIndex, m_portHandle, &stepCode, &sysError) == 1) {
                m_networkReopened = true;
            } else {
                pause = kBriskPollMs;
            }
        }
        statusWait(statusPause(pause));
    }
    run->eventExit.set();
}

void SOCvCash::decodeDrawer(const StatusBlock& status) {
    const bool abnormal = m_polarity == 1;
    m_log.debug(abnormal ? "lpEvent ReadPort Abnormal" : "lpEvent ReadPort Normal");
    if (!drawerIsOpen(status, m_polarity)) {
        m_log.debug(abnormal ? "lpEvent ReadPort Abnormal Close" : "lpEvent ReadPort normal Close");
        m_state = common::OPOS_S_IDLE;
        if (m_drawerOpenSeen) {
            LONG value = common::CASH_SUE_DRAWERCLOSED;
            fEventJob(0, &value);
            {
                std::lock_guard wait(m_waitLock);
                m_drawerOpened = 0;
                m_drawerOpenSeen = false;
                ++m_closes;
            }
            m_waitChanged.notify_all();
        }
        return;
    }
    m_log.debug(abnormal ? "lpEvent ReadPort Abnormal Open" : "lpEvent ReadPort normal Open");
    m_state = common::OPOS_S_BUSY;
    if (!m_drawerOpenSeen) {
        m_drawerOpened = 1;
        m_drawerOpenEvent.set();
        LONG value = common::CASH_SUE_DRAWEROPEN;
        fEventJob(0, &value);
        m_drawerOpenSeen = true;
    }
    bool sound = false;
    LONG frequency = 0;
    LONG duration = 0;
    {
        std::lock_guard wait(m_waitLock);
        m_elapsed += static_cast<LONG>(kBriskPollMs);
        if (m_elapsed >= m_beepTimeout && m_waiters > 0) {
            m_beepCountdown -= static_cast<LONG>(kBriskPollMs);
            if (m_beepCountdown <= 0) {
                sound = true;
                frequency = m_beepFrequency;
                duration = m_beepDuration;
                m_beepCountdown = m_beepDelay;
            }
        }
    }
    if (sound) {
        platform::beep(static_cast<DWORD>(frequency), static_cast<DWORD>(duration));
        platform::outputDebugString("计算机鸣叫");
    }
}

void SOCvCash::lpSendProc(const std::shared_ptr<ThreadRun>& run) {
    m_log.debug("Cash.lpSendProc(0x%02x)", static_cast<unsigned>(platform::currentThreadId()));
    platform::coInitialize();
    IDispatch* control = nullptr;
    if (m_stream != nullptr) {
        platform::getInterfaceAndReleaseStream(m_stream, &control);
        m_stream = nullptr;
    }
    m_sendStartEvent.set();
    const DISPID statusUpdate = m_statusUpdateId;
    bool endedByHandler = false;
    while (!run->exit) {
        LONG value = 0;
        if (m_freezeEvents == 1 || !fEventJob(1, &value)) {
            m_sendWake.wait(kIdleSendMs);
            continue;
        }
        if (control == nullptr) {
            continue;
        }
        m_log.debug("Cash.lpSendProc OutputId begin:%d", value);
        DispParams params{Variant(value)};
        control->Invoke(statusUpdate, params, nullptr);
        // A handler that released or closed the device may have let this
        // object go: nothing of it is touched any more.
        if (run->exit) {
            endedByHandler = true;
            break;
        }
        m_log.debug("Cash.lpSendProc OutputId end:%d", value);
    }
    if (control != nullptr) {
        control->Release();
    }
    if (!endedByHandler) {
        m_log.debug("Cash.lpSendProc:%d SetEvent hSndExitEvent%s", 0, "");
    }
    run->sendExit.set();
    platform::coUninitialize();
}

}  // namespace drawer
