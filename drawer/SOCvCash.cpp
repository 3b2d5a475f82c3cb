// The drawer service object's life cycle: open, claim, enable, release and
// close, and the two threads they start and end.
#include "SOCvCash.h"

#include "CashShared.h"
#include "common/OposConstants.h"
#include "platform/strings.h"
#include "portlink/portlink.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"

namespace drawer {

using platform::DWORD;
using platform::S_FALSE;
using platform::S_OK;

namespace {

constexpr DWORD kEventThreadStartMs = 5000;
constexpr DWORD kThreadExitWaitMs = 50000;

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

}  // namespace drawer
