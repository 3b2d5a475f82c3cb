#include "PosPrinter.h"

#include <algorithm>
#include <iterator>

#include "common/OposConstants.h"
#include "common/PropertyTexts.h"
#include "platform/strings.h"
#include "portlink/portlink.h"
#include "printer/StatusBits.h"

namespace printer {

using namespace common;
using platform::DWORD;
using platform::S_FALSE;
using platform::S_OK;

namespace {

constexpr const char* kEnd = "";
constexpr DWORD kThreadExitWaitMs = 50000;
constexpr DWORD kOlderReleaseWaitMs = 1000;
// A thread that signalled its exit event only has to return; this bounds
// the join that replaces a fixed pause before its handle is closed.
constexpr DWORD kThreadJoinMs = 300;
constexpr DWORD kMarshalWaitMs = 5000;
constexpr int32_t kWriteTimeoutMs = 10000;
constexpr int32_t kStatusTimeoutMs = 1000;
constexpr int32_t kReadTimeoutMs = 100;
constexpr std::size_t kInitBufSize = 30;

// InitInitBuf: select the printer, initialise it and turn automatic status
// on for every condition; B21 and B20 must first leave their native mode.
// The zero padding is sent too: it flushes a half-received command.
std::array<std::uint8_t, kInitBufSize> InitInitBuf(int32_t modelNumber) {
    std::array<std::uint8_t, kInitBufSize> block{};
    std::size_t at = 10;
    for (std::uint8_t byte : {0x1B, 0x3D, 0x01, 0x1B, 0x40}) {
        block[at++] = byte;
    }
    if (modelNumber == model::B21 || modelNumber == model::B20) {
        block[at++] = 0x1B;
        block[at++] = 0x53;
    }
    for (std::uint8_t byte : {0x1D, 0x61, 0xFF}) {
        block[at++] = byte;
    }
    return block;
}

bool isOnline(int32_t portStatus) { return (portStatus & 0x30) != 0; }

bool isPowerStatus(LONG status) { return status >= OPOS_SUE_POWER_ONLINE && status <= OPOS_SUE_POWER_OFF_OFFLINE; }

}  // namespace

PosPrinter::PosPrinter()
    : m_log(std::make_shared<common::ModuleLog>(common::LogModule::Printer)),
      m_encodeLog(m_log),
      m_translator(std::make_unique<EscapeTranslator>(&m_encodeLog)),
      m_staging(std::make_unique<std::array<std::uint8_t, kStagingBufferSize>>()),
      m_transBuf(m_log.get()) {}

PosPrinter::~PosPrinter() {
    m_opened = 0;
    m_claimed = 0;
    // A control object that skipped CloseService must not leave threads
    // running on this object's port.
    if (m_shared) {
        stopThreads("~PosPrinter", kThreadExitWaitMs, true);
        DelThreadSection();
        closePort();
    }
    m_log->debug("FreeResourceQ ok");
}

void PosPrinter::trace(LONG item, LONG value, int level) const { m_log->traceProperty(level, item, value); }

void PosPrinter::setResultCode(LONG code) {
    if (code != OPOS_E_EXTENDED) {
        m_resultCodeExtended = 0;
    }
    m_resultCode = code;
    trace(PIDX_ResultCode, code);
}

HRESULT PosPrinter::answer(LONG* pRC, LONG code, HRESULT status) {
    setResultCode(code);
    *pRC = code;
    return status;
}

HRESULT PosPrinter::answerPrintFailure(LONG* pRC) {
    const LONG held = m_shared ? m_shared->heldBy.load() : 0;
    if (held == 0) {
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    const HRESULT status = answer(pRC, held, S_FALSE);
    m_resultCodeExtended = m_shared->heldByExtended.load();
    return status;
}

bool PosPrinter::enabledFor(const char* method, const char* failure, LONG* pRC, int logLevel) {
    if (CheckSOStatus(3)) {
        return true;
    }
    *pRC = m_resultCode;
    if (logLevel == level::debug) {
        m_log->debug("%s %d:CheckSOStatus(3) %s%s", method, 1, failure, kEnd);
    } else {
        m_log->error("%s %d:CheckSOStatus(3) %s%s", method, 1, failure, kEnd);
    }
    return false;
}

bool PosPrinter::CheckSOStatus(int level) {
    LONG code = OPOS_SUCCESS;
    if (level >= 1 && level <= 3 && m_opened == 0) {
        code = OPOS_E_CLOSED;
    } else if (level >= 2 && level <= 3 && m_claimed == 0) {
        code = OPOS_E_NOTCLAIMED;
    } else if (level == 3 && m_deviceEnabled == 0) {
        code = OPOS_E_DISABLED;
    }
    if (code == OPOS_SUCCESS) {
        return true;
    }
    setResultCode(code);
    if (level == 2) {
        m_log->error(code == OPOS_E_CLOSED ? "CheckSOStatus Opened(%d):%d%s" : "CheckSOStatus Claimed(%d):%d%s", level,
                     code, kEnd);
    } else {
        m_log->error("CheckSOStatus(%d):%d%s", level, code, kEnd);
    }
    return false;
}

HRESULT PosPrinter::OpenService(const std::wstring& deviceClass, const std::wstring& deviceName,
                                IDispatch* dispatch, LONG* pRC) {
    return openService("OpenService", Twin::Standard, deviceClass, deviceName, dispatch, pRC);
}

HRESULT PosPrinter::Open(const std::wstring& deviceClass, const std::wstring& deviceName, IDispatch* dispatch,
                         LONG* pRC) {
    return openService("Open", Twin::Older, deviceClass, deviceName, dispatch, pRC);
}

HRESULT PosPrinter::openService(const char* name, Twin twin, const std::wstring& deviceClass,
                                const std::wstring& deviceName, IDispatch* dispatch, LONG* pRC) {
    m_log->debug("%s(%s, %s)", name, platform::toNarrow(deviceClass).c_str(), platform::toNarrow(deviceName).c_str());
    if (m_opened != 0) {
        m_openResult = OPOS_OR_ALREADYOPEN;
        m_log->error("%s %d:Opened is TRUE%s", name, 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_OK);
    }
    // The names are kept in fixed buffers with room for a terminating NUL; a
    // name that does not fit is refused rather than cut short, since a cut
    // name could select another device.
    std::array<char, kNameSize> narrowClass{};
    std::array<char, kNameSize> narrowName{};
    std::size_t written = 0;
    if (platform::toNarrow(deviceClass, narrowClass.data(), kNameSize - 1, &written) != 0 ||
        platform::toNarrow(deviceName, narrowName.data(), kNameSize - 1, &written) != 0) {
        m_openResult = OPOS_ORS_CONFIG;
        m_log->error("%s %d:device class or name longer than %d bytes%s", name, 1, static_cast<int>(kNameSize - 1),
                     kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (deviceClass != L"POSPrinter") {
        m_openResult = OPOS_ORS_NOTSUPPORTED;
        m_log->error("%s %d:wcscmp(DeviceClass,\"POSPrinter\") failed%s", name, 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (dispatch == nullptr) {
        m_openResult = OPOS_OR_BADIF;
        m_log->error("%s %d:pCoDispatch is NULL%s", name, 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    // The locale (0x400 here, 0x800 for the older twin) means nothing to
    // the control objects on this platform; names match without it.
    const wchar_t* const callbackNames[] = {L"SODirectIO", L"SOError", L"SOOutputComplete", L"SOStatusUpdate"};
    platform::DISPID ids[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (platform::failed(dispatch->GetIDsOfNames(callbackNames[i], &ids[i]))) {
            // Nothing says why the open failed otherwise: report the control
            // object's interface as unusable.
            m_openResult = OPOS_OR_BADIF;
            m_log->error("%s %d:pCoDispatch->GetIDsOfNames %d%s", name, 1, i + 1, kEnd);
            return answer(pRC, OPOS_E_FAILURE, S_FALSE);
        }
    }
    m_control = dispatch;
    m_idDirectIO = ids[0];
    m_callbackIds = {ids[1], ids[2], ids[3]};
    m_deviceClass = narrowClass;
    m_deviceName = narrowName;

    loadModelSettings(m_deviceName.data(), twin == Twin::Older ? OpenEntry::Open : OpenEntry::OpenService, &m_model);
    m_mapMode = PTR_MM_DOTS;
    // Stored bitmaps print with what the open fixed (model, name, folder);
    // looking the folder up once here keeps it off every print call.
    attachBitmapPipeline();

    m_characterSet = 437;
    trace(PIDXPtr_CharacterSet, m_characterSet);
    m_errorCode = 0;
    m_log->traceProperty(level::debug, PIDXPtr_ErrorString, 0, common::errorStringText(0));
    m_claimed = 0;
    trace(PIDX_Claimed, m_claimed);
    m_opened = 1;
    m_state = OPOS_S_IDLE;
    trace(PIDX_State, OPOS_S_IDLE);
    m_deviceEnabled = 0;
    trace(PIDX_DeviceEnabled, 0);
    m_flagWhenIdle = 0;
    trace(PIDXPtr_FlagWhenIdle, 0);
    m_asyncMode = 0;
    trace(PIDXPtr_AsyncMode, 0);
    m_rotateSpecial = 1;
    trace(PIDXPtr_RotateSpecial, 1);
    m_binaryConversion = 0;
    trace(PIDX_BinaryConversion, 0);
    m_status->errorLevel = 1;
    trace(PIDXPtr_ErrorLevel, 1);
    m_freezeEvents = 0;
    trace(PIDX_FreezeEvents, 0);
    m_powerNotify = 0;
    trace(PIDX_PowerNotify, 0);
    m_status->powerState = OPOS_PS_UNKNOWN;
    trace(PIDX_PowerState, OPOS_PS_UNKNOWN);
    m_outputId = 0;
    trace(PIDX_OutputID, 0);

    m_openResult = 0;
    m_log->debug("%s:%d%s", name, OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::ClaimDevice(LONG timeout, LONG* pRC) {
    return claimDevice("ClaimDevice", Twin::Standard, timeout, pRC);
}

HRESULT PosPrinter::Claim(LONG timeout, LONG* pRC) { return claimDevice("Claim", Twin::Older, timeout, pRC); }

HRESULT PosPrinter::failClaim(LONG* pRC) {
    closePort();
    m_claimed = 0;
    return answer(pRC, OPOS_E_FAILURE, S_FALSE);
}

void PosPrinter::closePort() {
    if (m_hPort == 0) {
        return;
    }
    int32_t step = 0, sysError = 0;
    ClosePort(m_portNumber, m_hPort, m_model.protocol, &step, &sysError);
    m_hPort = 0;
}

HRESULT PosPrinter::claimDevice(const char* name, Twin twin, LONG timeout, LONG* pRC) {
    m_log->debug("%s(%d)", name, timeout);
    if (!CheckSOStatus(1)) {
        *pRC = m_resultCode;
        m_log->error("%s %d:CheckSOStatus(1) is FALSE%s", name, 1, kEnd);
        return S_FALSE;
    }
    if (m_claimed != 0) {
        m_log->error("%s %d:Claimed is TRUE%s", name, 1, kEnd);
        return answer(pRC, OPOS_SUCCESS, S_FALSE);
    }

    int32_t kind = 0, number = 0, step = 0, sysError = 0;
    const int32_t handle = OpenPort(m_deviceClass.data(), m_deviceName.data(), &kind, &number, m_model.protocol,
                                    &step, &sysError);
    if (handle == -1) {
        m_hPort = 0;
        m_claimed = 0;
        m_log->error("%s:OpenPort(\"%s\",\"%s\",%d,%d,%d,%d,%d)", name, m_deviceClass.data(), m_deviceName.data(), kind,
                     number, m_model.protocol, step, sysError);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    m_hPort = handle;
    m_portKind = kind;
    m_portNumber = number;
    m_log->debug("%s:OpenPort(\"%s\",\"%s\",%d,%d,%d,%d,%d)", name, m_deviceClass.data(), m_deviceName.data(), kind,
                 number, m_model.protocol, step, sysError);

    const bool notify = m_powerNotify == OPOS_PN_ENABLED;
    if (m_portKind == PORT_ETH) {
        // A network printer answers status requests only on its status
        // connection, which the status monitor watches; claiming does not
        // ask it.
        m_status->powerState = notify ? OPOS_PS_ONLINE : OPOS_PS_UNKNOWN;
    } else {
        std::uint8_t buffer[4] = {};
        const int32_t status =
            GetPortStatus(m_portNumber, m_hPort, buffer, kStatusTimeoutMs, m_model.protocol, &step, &sysError);
        if (!isOnline(status)) {
            m_status->powerState = notify ? OPOS_PS_OFF_OFFLINE : OPOS_PS_UNKNOWN;
            trace(PIDX_PowerState, m_status->powerState);
            if (twin == Twin::Older) {
                m_log->error("Claim %d: OPOS_PS_OFF_OFFLINE %d %d", 1, step, sysError);
            } else {
                m_log->error("ClaimDevice: OFF_OFFLINE %d %d", step, sysError);
            }
            return failClaim(pRC);
        }
        m_status->powerState = notify ? OPOS_PS_ONLINE : OPOS_PS_UNKNOWN;
        m_log->debug("ClaimDevice: ONLINE %d %d", step, sysError);
    }
    trace(PIDX_PowerState, m_status->powerState);

    if (m_model.number == model::F60) {
        const std::uint8_t query[] = {0x1B, 0x6A, 0x6C, 0x1B, 0x6A, 0x6C};
        if (WritePort(m_portNumber, m_hPort, query, sizeof query, kWriteTimeoutMs, m_model.protocol, &step,
                      &sysError) != 1) {
            m_log->error("%s %d:WritePort failed %d %d", name, 1, step, sysError);
            return failClaim(pRC);
        }
        platform::sleepMs(30);
        std::uint8_t answerBytes[4] = {};
        if (ReadPort(m_portNumber, m_hPort, answerBytes, 4, kReadTimeoutMs, m_model.protocol, &step, &sysError) != 1) {
            m_log->error("ClaimDevice F60 ReadPort failed %d %d", step, sysError);
            return failClaim(pRC);
        }
        m_asiaCharacter = answerBytes[0] != 0;
        if (twin == Twin::Standard) {
            m_log->debug(m_asiaCharacter ? "ClaimDevice Asia character%s" : "ClaimDevice US character%s", kEnd);
        }
    }

    const auto init = InitInitBuf(m_model.number);
    if (WritePort(m_portNumber, m_hPort, init.data(), static_cast<int32_t>(init.size()), kWriteTimeoutMs,
                  m_model.protocol, &step, &sysError) != 1) {
        m_log->error("%s %d:WritePort failed %d %d", name, 1, step, sysError);
        return failClaim(pRC);
    }

    if (!InitThreadSection()) {
        m_log->error("%s %d:InitThreadSection failed%s", name, 1, kEnd);
        return failClaim(pRC);
    }
    m_claimed = 1;
    trace(PIDX_Claimed, 1);
    m_state = OPOS_S_IDLE;
    trace(PIDX_State, OPOS_S_IDLE);
    m_log->debug("%s:%d%s", name, OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

bool PosPrinter::InitThreadSection() {
    // A fresh shared state per claim: a thread that outlived an earlier
    // release keeps its own and can never see this claim's cleared exit flag.
    m_shared = std::make_shared<WorkerShared>(m_log, m_callbackIds, m_status);
    m_shared->freezeEvents.store(m_freezeEvents);
    m_shared->eventQueue.reset();
    m_shared->port = PrinterPort{m_portNumber, m_hPort, m_model.protocol, m_model.number, m_portKind};
    const std::shared_ptr<WorkerShared> shared = m_shared;
    using Start = platform::WorkerThread::Start;
    hPrnThread = platform::WorkerThread::create([shared] { lpPrn(shared); }, Start::Suspended);
    hEventThread = platform::WorkerThread::create([shared] { lpEvent(shared); }, Start::Suspended);
    hSendThread = platform::WorkerThread::create([shared] { lpSendP(shared); }, Start::Suspended);
    m_shared->printerThread = hPrnThread.get();
    if (!hPrnThread || !hEventThread || !hSendThread) {
        stopThreads("InitThreadSection", kThreadJoinMs, true);
        DelThreadSection();
        return false;
    }
    m_log->debug("InitThreadSection:%d\t hPrnThread:0x%x\thEventThread:0x%x\thSendThread:0x%x%s", 1, hPrnThread->id(),
                 hEventThread->id(), hSendThread->id(), kEnd);
    return true;
}

// Sets the exit flag and brings every thread round to see it. Each is
// resumed whatever its running flag says: a flag read just before the
// thread clears it would otherwise leave that thread asleep, and resuming a
// running thread is harmless.
void PosPrinter::stopThreads(const char* name, DWORD waitMs, bool stopDelivery) {
    if (!m_shared) {
        return;
    }
    m_shared->setExit(true);
    m_shared->statusWake.set();
    WakePortStatus(m_shared->port.number);
    platform::Event* exits[3] = {};
    std::size_t count = 0;
    // Called from an event handler, this runs on the delivery thread itself:
    // it cannot wait for its own end. It sees the exit once the handler
    // returns and delivers nothing more.
    const bool fromDelivery = hSendThread && hSendThread->id() == platform::currentThreadId();
    if (stopDelivery && hSendThread) {
        m_shared->SndStopEvent.set();
        m_shared->eventQueue.wake();
    }
    if (hPrnThread) {
        m_log->debug("ResumeThread hPrnThread:%d", static_cast<int>(hPrnThread->resume()));
        exits[count++] = &m_shared->PrnExitEvent;
    }
    if (hEventThread) {
        m_log->debug("ResumeThread hEventThread:%d", static_cast<int>(hEventThread->resume()));
        exits[count++] = &m_shared->EvtExitEvent;
    }
    if (hSendThread && !fromDelivery) {
        m_log->debug("ResumeThread hSendThread:%d", static_cast<int>(hSendThread->resume()));
        exits[count++] = &m_shared->SndExitEvent;
    }
    if (count > 0 && platform::Event::waitMultiple(std::span<platform::Event* const>(exits, count), true, waitMs) !=
                         platform::WAIT_OBJECT_0) {
        m_log->error("%s Wait WAIT_TIMEOUT:", name);
    }
    for (auto* thread : {hPrnThread.get(), hEventThread.get(), fromDelivery ? nullptr : hSendThread.get()}) {
        if (thread != nullptr) {
            thread->join(kThreadJoinMs);
        }
    }
}

// Closes the thread handles. A thread that has not ended by now (stuck in a
// control object that does not answer) goes on alone with its shared state.
void PosPrinter::DelThreadSection() {
    hPrnThread.reset();
    hEventThread.reset();
    hSendThread.reset();
    m_shared.reset();
}

HRESULT PosPrinter::ReleaseDevice(LONG* pRC) { return releaseDevice("ReleaseDevice", Twin::Standard, pRC); }

HRESULT PosPrinter::Release(LONG* pRC) { return releaseDevice("Release", Twin::Older, pRC); }

HRESULT PosPrinter::releaseDevice(const char* name, Twin twin, LONG* pRC) {
    m_log->debug("%s()", name);
    if (!CheckSOStatus(2)) {
        *pRC = m_resultCode;
        m_log->error("%s %d:CheckSOStatus(2) is FALSE%s", name, 1, kEnd);
        return S_FALSE;
    }
    if (m_deviceEnabled != 0) {
        SetDeviceEnabled(0);
    }
    PrintJob({}, job_mode::CLEAROUTPUT);
    m_insertionState = 0;
    m_removalState = 0;
    m_log->debug("%s wait3thread begin:%d,%d,%d", name, m_shared ? m_shared->prnRunning.load() : 0,
                 m_shared ? m_shared->evtRunning.load() : 0, m_shared ? m_shared->sndRunning.load() : 0);
    stopThreads(name, twin == Twin::Older ? kOlderReleaseWaitMs : kThreadExitWaitMs, twin == Twin::Standard);
    DelThreadSection();
    closePort();
    m_powerNotify = 0;
    trace(PIDX_PowerNotify, 0);
    m_claimed = 0;
    trace(PIDX_Claimed, 0);
    m_log->debug("%s:%d%s", name, OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::CloseService(LONG* pRC) { return closeService("CloseService", pRC); }

HRESULT PosPrinter::Close(LONG* pRC) { return closeService("Close", pRC); }

HRESULT PosPrinter::closeService(const char* name, LONG* pRC) {
    m_log->debug("%s()", name);
    if (!CheckSOStatus(1)) {
        *pRC = m_resultCode;
        m_log->error("%s %d:CheckSOStatus(1) is FALSE%s", name, 1, kEnd);
        return S_FALSE;
    }
    if (m_deviceEnabled != 0) {
        m_log->debug("%s DeviceEnabled", name);
        SetDeviceEnabled(0);
    }
    if (m_claimed != 0) {
        PrintJob({}, job_mode::CLEAROUTPUT);
        m_insertionState = 0;
        m_removalState = 0;
        stopThreads(name, kThreadExitWaitMs, false);
        DelThreadSection();
        closePort();
        m_powerNotify = 0;
        m_claimed = 0;
    }
    m_opened = 0;
    m_claimed = 0;
    m_control = nullptr;
    m_log->debug("%s:%d%s", name, OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::ClearInput(LONG* pRC) {
    m_log->debug("ClearInput()");
    if (!enabledFor("ClearInput", "is FALSE", pRC)) {
        return S_FALSE;
    }
    return answer(pRC, OPOS_E_ILLEGAL, S_OK);
}

HRESULT PosPrinter::ClearOutput(LONG* pRC) {
    m_log->debug("ClearOutput()");
    if (!enabledFor("ClearOutput", "is FALSE", pRC)) {
        return S_FALSE;
    }
    PrintJob({}, job_mode::CLEAROUTPUT);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::COFreezeEvents(LONG freeze, LONG* pRC) {
    m_log->debug("COFreezeEvents(%d)", freeze);
    const auto value = static_cast<std::int16_t>(freeze);
    if (value == 1 || value == 0) {
        m_freezeEvents = value;
        if (m_shared) {
            m_shared->setFreezeEvents(value);
        }
        trace(PIDX_FreezeEvents, value);
    }
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::GetOpenResult(LONG* pRC) {
    *pRC = m_openResult;
    setResultCode(OPOS_SUCCESS);
    return S_OK;
}

void PosPrinter::SendStatusEVent(LONG status) {
    m_log->debug("SendStatusEVent(%d) begin", status);
    if (m_control != nullptr) {
        platform::DispParams params{platform::Variant(status)};
        m_control->Invoke(m_callbackIds.statusUpdate, params, nullptr);
    }
    m_log->debug("SendStatusEVent ok");
}

void PosPrinter::reportInitialStatus() {
    StatusBlock block{};
    int32_t step = 0, sysError = 0;
    if (ReadPort(m_portNumber, m_hPort, block.data(), 4, kReadTimeoutMs, m_model.protocol, &step, &sysError) != 1) {
        m_log->debug("SetDeviceEnabled ReadPort %d %d", step, sysError);
        return;
    }
    // Sensor updates still queued from before a disable are older than this
    // report: delivered after it they would leave the application with a
    // state the printer left long ago.
    m_shared->eventQueue.dropStatusUpdates(
        [](std::int32_t status) { return status != PTR_SUE_IDLE && !isPowerStatus(status); });
    // What the application is told here is what the printer shows now: the
    // status monitor reports only what changes from here on.
    const StatusCodes codes = decodeStatus(m_model.number, block);
    PrinterStatus& status = *m_status;
    SendStatusEVent(codes.cover);
    status.cover = status.lastCover = codes.cover;
    trace(PIDXPtr_CoverOpen, codes.cover == PTR_SUE_COVER_OPEN ? 1 : 0);
    if (m_model.number == model::F60) {
        SendStatusEVent(codes.f60Receipt);
        status.f60Receipt = status.lastF60Receipt = codes.f60Receipt;
        SendStatusEVent(codes.journal);
        status.journal = status.lastJournal = codes.journal;
        SendStatusEVent(codes.slip);
        status.slip = status.lastSlip = codes.slip;
    }
    SendStatusEVent(codes.receipt);
    status.receipt = status.lastReceipt = codes.receipt;
}

void PosPrinter::SetDeviceEnabled(LONG enabled) {
    if (enabled == 1) {
        if (m_deviceEnabled != 0) {
            m_log->debug("SetDeviceEnabled void: DeviceEnabled is TRUE%s", kEnd);
            return;
        }
        int32_t step = 0, sysError = 0;
        if (m_powerNotify == OPOS_PN_ENABLED) {
            std::uint8_t buffer[4] = {};
            const int32_t status =
                GetPortStatus(m_portNumber, m_hPort, buffer, kStatusTimeoutMs, m_model.protocol, &step, &sysError);
            m_status->powerState = isOnline(status) ? OPOS_PS_ONLINE : OPOS_PS_OFF_OFFLINE;
            trace(PIDX_PowerState, m_status->powerState);
            // The status monitor reports changes from what the application
            // is told here: a printer found off is not reported off again.
            // A network printer's line is its status connection, which the
            // monitor keeps itself.
            if (m_portKind != PORT_ETH) {
                m_shared->conditions.online.store(isOnline(status));
            }
            m_log->debug("SetDeviceEnabled GetPortStatus %d %d", step, sysError);
            m_shared->eventQueue.dropStatusUpdates(isPowerStatus);
            SendStatusEVent(isOnline(status) ? OPOS_SUE_POWER_ONLINE : OPOS_SUE_POWER_OFF_OFFLINE);
        }
        if (m_portKind != PORT_PAR && m_portKind != PORT_ETH) {
            reportInitialStatus();
        }
        sendPendingCharacterSet();
        platform::coInitialize();
        platform::MarshalStream* stream = nullptr;
        if (platform::succeeded(platform::marshalInterThreadInterface(m_control, &stream))) {
            m_shared->handOverStream(stream);
        }
        platform::coUninitialize();
        hSendThread->resume();
        m_shared->sndRunning.store(1);
        if (m_shared->SynPrnEvent.wait(kMarshalWaitMs) != platform::WAIT_OBJECT_0) {
            m_log->error("SetDeviceEnabled Failed");
        }
        m_shared->powerNotify.store(m_powerNotify);
        hEventThread->resume();
        m_shared->evtRunning.store(1);
        m_deviceEnabled = 1;
        m_shared->setDeviceEnabled(true);
        {
            // The printer thread sleeps while disabled; jobs left queued
            // from before are written now.
            std::lock_guard lock(m_shared->CriSectionQue);
            m_shared->prnRunning.store(1);
            hPrnThread->resume();
        }
        trace(PIDX_DeviceEnabled, 1);
        return;
    }
    if (enabled == 0) {
        if (m_deviceEnabled == 0) {
            m_log->debug("SetDeviceEnabled void: DeviceEnabled is FALSE%s", kEnd);
            m_status->powerState = OPOS_PS_UNKNOWN;
            return;
        }
        m_log->debug("SetDeviceDisabled begin SuspendThread%s", kEnd);
        hEventThread->suspend();
        m_log->debug("SetDeviceDisabled end SuspendThread%s", kEnd);
        m_shared->evtRunning.store(0);
        m_deviceEnabled = 0;
        m_shared->setDeviceEnabled(false);
        trace(PIDX_DeviceEnabled, 0);
        m_status->powerState = OPOS_PS_UNKNOWN;
        trace(PIDX_PowerState, OPOS_PS_UNKNOWN);
    }
}

}  // namespace printer
