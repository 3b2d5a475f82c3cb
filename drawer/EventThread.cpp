// The drawer's event thread and the ring it takes events from: queued
// status changes delivered to the control object in order.
#include "SOCvCash.h"

#include "common/OposConstants.h"

namespace drawer {

using platform::DWORD;

namespace {

// The longest the event thread sleeps before it looks at the ring again; a
// queued event wakes it at once.
constexpr DWORD kIdleSendMs = 200;

}  // namespace

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
