// The drawer's OPOS methods: opening it, waiting for it to close, health,
// clearing and direct I/O.
#include "SOCvCash.h"

#include <algorithm>
#include <chrono>

#include "CashShared.h"
#include "common/OposConstants.h"
#include "platform/sound.h"
#include "platform/strings.h"
#include "platform/ui.h"
#include "portlink/portlink.h"

namespace drawer {

using platform::DWORD;
using platform::S_FALSE;
using platform::S_OK;

namespace {

constexpr DWORD kDrawerOpenWaitMs = 10000;
// A blocked waitForDrawerClose looks at the device this often, so that it
// cannot outlive the status thread that would wake it.
constexpr DWORD kCloseWaitSliceMs = 1000;

}  // namespace

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
        platform::waitLettingApartmentIn(m_waitChanged, wait, std::chrono::milliseconds(200), ended);
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
        // that would wake it. The application's thread is the one waiting:
        // the drawer's status events reach a single-threaded application
        // only while it lets them in.
        const auto closedOrEnded = [&] { return ended() || m_closes != closes || !m_drawerOpenSeen; };
        while (!platform::waitLettingApartmentIn(m_waitChanged, wait, std::chrono::milliseconds(kCloseWaitSliceMs),
                                                 closedOrEnded)) {
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

}  // namespace drawer
