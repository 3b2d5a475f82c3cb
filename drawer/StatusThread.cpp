// The drawer's status thread: reads the sensor, decodes it for the model and
// queues the changes as events.
#include "SOCvCash.h"

#include <algorithm>

#include "common/OposConstants.h"
#include "platform/debug.h"
#include "platform/sound.h"
#include "portlink/portlink.h"

namespace drawer {

using platform::DWORD;

namespace {

// The longest the status thread sleeps before it reads the sensor again;
// status the printer sends by itself cuts it short.
constexpr DWORD kStatusPollMs = 1000;
// While a method waits for the drawer to move, the sensor is read this
// often; one read also counts as this many milliseconds of the beep timing.
constexpr DWORD kBriskPollMs = 100;

}  // namespace

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

}  // namespace drawer
