// lpSendP: takes events from the queue in order and calls the control
// object through a dispatch pointer unmarshalled on this thread. It holds
// events back while FreezeEvents is set or the device is disabled, and
// waits for a change rather than polling, so an event reaches the
// application as soon as it is queued and an idle device costs nothing.
#include "common/OposConstants.h"
#include "platform/debug.h"
#include "printer/WorkerShared.h"

namespace printer {

namespace {

using platform::DispParams;
using platform::IDispatch;
using platform::Variant;

constexpr platform::LONG kUserDefaultLocale = 0x400;

class Delivery {
public:
    explicit Delivery(const std::shared_ptr<WorkerShared>& shared) : m_shared(*shared), m_log(*shared->log) {}

    void run() {
        platform::coInitialize();
        collectDispatch();
        for (;;) {
            const std::uint64_t seen = m_shared.eventQueue.changes();
            if (m_shared.SndStopEvent.wait(0) == platform::WAIT_OBJECT_0) {
                break;
            }
            if (m_shared.exitFlag.load() != 0) {
                m_shared.sndRunning.store(0);
                finish();
                return;
            }
            collectDispatch();
            if (m_shared.freezeEvents.load() != 0) {
                noteOnce(&m_frozenNoted, "lpSendP FreezeEvents == TRUE");
                m_shared.eventQueue.waitForChange(seen, kDeliveryIdleWaitMs);
                continue;
            }
            m_frozenNoted = false;
            if (m_shared.deviceEnabled.load() == 0) {
                m_shared.eventQueue.waitForChange(seen, kDeliveryIdleWaitMs);
                continue;
            }
            EventEntry entry;
            if (!m_shared.eventQueue.take(&entry)) {
                noteOnce(&m_emptyNoted, "lpSendP fEventJob( 1 ,0,0) <= 0");
                m_shared.eventQueue.waitForChange(seen, kDeliveryIdleWaitMs);
                continue;
            }
            m_emptyNoted = false;
            deliver(entry);
        }
        finish();
    }

private:
    void finish() {
        m_log.debug("lpSendP ExitThread");
        if (m_control != nullptr) {
            m_control->Release();
            m_control = nullptr;
        }
        platform::coUninitialize();
        m_shared.SndExitEvent.set();
    }

    // Each enable marshals the control object's dispatch afresh; the newest
    // one replaces the pointer this thread held.
    void collectDispatch() {
        platform::MarshalStream* stream = m_shared.collectStream();
        if (stream == nullptr) {
            return;
        }
        if (m_control != nullptr) {
            m_control->Release();
            m_control = nullptr;
        }
        if (platform::failed(platform::getInterfaceAndReleaseStream(stream, &m_control))) {
            m_control = nullptr;
            platform::outputDebugString("CoGetInterfaceAndReleaseStream Fail\n");
        }
        m_shared.SynPrnEvent.set();
    }

    // The same state seen again and again is written once, not every wait.
    void noteOnce(bool* noted, const char* text) {
        if (!*noted) {
            m_log.debug("%s", text);
            *noted = true;
        }
    }

    void deliver(const EventEntry& entry) {
        if (m_control == nullptr) {
            m_log.error("lpSendP no dispatch, event %d (%d) dropped", static_cast<int>(entry.kind), entry.value);
            // Nobody can answer a dropped error: it counts as answered with
            // the default, so the printer thread waiting on it goes on.
            if (entry.kind == EventKind::Error) {
                m_shared.errorResponse.store(common::OPOS_ER_RETRY);
            }
            return;
        }
        switch (entry.kind) {
        case EventKind::OutputComplete: {
            m_log.debug("lpSendP begin OutputCompleteEvent");
            DispParams params{Variant(entry.value)};
            m_control->Invoke(m_shared.ids.outputComplete, params, nullptr);
            m_log.debug("lpSendP end OutputCompleteEvent");
            break;
        }
        case EventKind::Error: {
            platform::LONG response = common::OPOS_ER_RETRY;
            DispParams params{Variant(entry.resultCode), Variant(entry.extendedCode),
                              Variant(common::OPOS_EL_OUTPUT), Variant::byRef(&response)};
            m_control->Invoke(m_shared.ids.error, params, nullptr);
            platform::LONG answered = 0;
            if (platform::failed(params.getI4(3, &answered))) {
                m_shared.errorResponse.store(common::OPOS_ER_RETRY);
                m_log.debug("OPOS_ER_RETRY=%d", common::OPOS_ER_RETRY);
            } else {
                m_shared.errorResponse.store(answered);
                m_log.debug("RT.GetLONG()=%d", answered);
            }
            break;
        }
        default: {
            m_log.debug("lpSendP begin StatusUpdateEvent");
            DispParams params{Variant(entry.value)};
            m_control->Invoke(m_shared.ids.statusUpdate, params, nullptr);
            m_log.debug("lpSendP end StatusUpdateEvent");
            break;
        }
        }
    }

    WorkerShared& m_shared;
    const common::ModuleLog& m_log;
    IDispatch* m_control = nullptr;
    bool m_frozenNoted = false;
    bool m_emptyNoted = false;
};

}  // namespace

void lpSendP(const std::shared_ptr<WorkerShared>& shared) { Delivery(shared).run(); }

}  // namespace printer
