#pragma once
// The receiving end of a service object's callbacks: the dispatch interface
// the control object hands to OpenService, and the hub that passes events
// on to the host.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "opos/ControlObject.h"
#include "platform/com.h"

namespace opos {

// Shared by a control object and the sinks of its sessions, so a callback
// that comes late (a service object thread that outlived its CloseService)
// finds it still there.
class EventHub {
public:
    void setHandler(EventHandler handler);
    void setErrorResponse(std::optional<LONG> response);
    void setQueueCapacity(std::size_t capacity);
    bool waitForEvent(Event* event, std::chrono::milliseconds timeout);
    std::size_t dropped() const;

    // Any thread. Runs the handler outside the hub's lock, so a handler may
    // call the control object (and its service object may call back again).
    void deliver(Event& event);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_queued;
    std::shared_ptr<const EventHandler> m_handler;
    std::optional<LONG> m_errorResponse;
    std::deque<Event> m_queue;
    std::size_t m_capacity = 0;
    std::size_t m_dropped = 0;
};

// The callback dispatch of one open session. The service object keeps the
// pointer without a reference of its own from OpenService to CloseService;
// its event threads hold marshalled references, which may outlive the
// session. Once detached, callbacks are answered (by-reference arguments
// left as the service object passed them) but no longer delivered.
class CallbackSink : public platform::RefCountedDispatch {
public:
    explicit CallbackSink(std::shared_ptr<EventHub> hub);

    void detach() { m_attached.store(false); }

    platform::HRESULT GetIDsOfNames(std::wstring_view name, platform::DISPID* dispid) override;
    platform::HRESULT Invoke(platform::DISPID dispid, platform::DispParams& params, platform::Variant* result) override;

private:
    ~CallbackSink() override = default;

    const std::shared_ptr<EventHub> m_hub;
    std::atomic<bool> m_attached{true};
};

}  // namespace opos
