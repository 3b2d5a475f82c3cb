#include "EventSink.h"

#include <algorithm>
#include <cwctype>
#include <string>
#include <utility>

namespace opos {

using platform::DISPID;
using platform::DispParams;
using platform::HRESULT;
using platform::Variant;

namespace {

enum Callback : DISPID { DirectIO = 1, Error = 2, OutputComplete = 3, StatusUpdate = 4, Data = 5 };

struct CallbackName {
    std::string_view name;
    Callback id;
};

constexpr CallbackName kCallbacks[] = {
    {callback::SODirectIO, DirectIO},
    {callback::SOError, Error},
    {callback::SOOutputComplete, OutputComplete},
    {callback::SOStatusUpdate, StatusUpdate},
    {callback::SOData, Data},
};

bool sameName(std::wstring_view wide, std::string_view narrow) {
    return std::ranges::equal(wide, narrow, [](wchar_t w, char n) {
        return std::towlower(static_cast<wint_t>(w)) == std::towlower(static_cast<unsigned char>(n));
    });
}

// Reads the integer arguments [0, count) of a callback that takes exactly
// `count` arguments.
HRESULT readNumbers(const DispParams& params, std::size_t count, LONG* values) {
    if (params.arguments.size() != count) {
        return platform::DISP_E_BADPARAMCOUNT;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const HRESULT status = params.getI4(i, &values[i]);
        if (platform::failed(status)) {
            return status;
        }
    }
    return platform::S_OK;
}

}  // namespace

void EventHub::setHandler(EventHandler handler) {
    auto shared = handler ? std::make_shared<const EventHandler>(std::move(handler)) : nullptr;
    std::lock_guard lock(m_mutex);
    m_handler = std::move(shared);
}

void EventHub::setErrorResponse(std::optional<LONG> response) {
    std::lock_guard lock(m_mutex);
    m_errorResponse = response;
}

void EventHub::setQueueCapacity(std::size_t capacity) {
    std::lock_guard lock(m_mutex);
    m_capacity = capacity;
    while (m_queue.size() > m_capacity) {
        m_queue.pop_back();
        ++m_dropped;
    }
}

bool EventHub::waitForEvent(Event* event, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_queued.wait_for(lock, timeout, [this] { return !m_queue.empty(); })) {
        return false;
    }
    *event = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

std::size_t EventHub::dropped() const {
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

void EventHub::deliver(Event& event) {
    std::shared_ptr<const EventHandler> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_handler;
        if (event.kind == EventKind::Error && m_errorResponse) {
            event.errorResponse = *m_errorResponse;
        }
    }
    if (handler) {
        // The callback came from the service object's module; nothing the
        // host's handler throws may travel back into it.
        try {
            (*handler)(event);
        } catch (...) {
        }
    }
    std::lock_guard lock(m_mutex);
    if (m_queue.size() < m_capacity) {
        m_queue.push_back(event);
        m_queued.notify_one();
    } else if (m_capacity > 0) {
        ++m_dropped;
    }
}

CallbackSink::CallbackSink(std::shared_ptr<EventHub> hub) : m_hub(std::move(hub)) {}

HRESULT CallbackSink::GetIDsOfNames(std::wstring_view name, DISPID* dispid) {
    if (dispid == nullptr) {
        return platform::E_POINTER;
    }
    for (const CallbackName& entry : kCallbacks) {
        if (sameName(name, entry.name)) {
            *dispid = entry.id;
            return platform::S_OK;
        }
    }
    *dispid = platform::DISPID_UNKNOWN;
    return platform::DISP_E_UNKNOWNNAME;
}

HRESULT CallbackSink::Invoke(DISPID dispid, DispParams& params, Variant* result) {
    Event event;
    LONG numbers[4] = {};
    HRESULT status = platform::S_OK;
    switch (dispid) {
    case StatusUpdate:
    case OutputComplete:
    case Data:
        status = readNumbers(params, 1, numbers);
        event.kind = dispid == StatusUpdate     ? EventKind::StatusUpdate
                     : dispid == OutputComplete ? EventKind::OutputComplete
                                                : EventKind::Data;
        event.number = numbers[0];
        break;
    case Error:
        // ResultCode, ResultCodeExtended, ErrorLocus, pErrorResponse.
        status = readNumbers(params, 4, numbers);
        event.kind = EventKind::Error;
        event.resultCode = numbers[0];
        event.resultCodeExtended = numbers[1];
        event.errorLocus = numbers[2];
        event.errorResponse = numbers[3];
        break;
    case DirectIO:
        // EventNumber, pData, pString.
        if (params.arguments.size() != 3) {
            return platform::DISP_E_BADPARAMCOUNT;
        }
        status = readNumbers(DispParams{params.arguments[0], params.arguments[1]}, 2, numbers);
        event.kind = EventKind::DirectIO;
        event.number = numbers[0];
        event.data = numbers[1];
        if (params.arguments[2].type() == platform::VT_BSTR) {
            params.arguments[2].getString(&event.text);
        }
        break;
    default:
        return platform::DISP_E_MEMBERNOTFOUND;
    }
    if (platform::failed(status)) {
        return status;
    }
    if (!m_attached.load()) {
        return platform::S_OK;
    }
    m_hub->deliver(event);
    // Only by-reference arguments carry an answer back; a service object that
    // passed a plain value gets none, as with Invoke on Windows.
    if (event.kind == EventKind::Error) {
        params.arguments[3].setByRefI4(event.errorResponse);
    } else if (event.kind == EventKind::DirectIO) {
        params.arguments[1].setByRefI4(event.data);
        if (result != nullptr) {
            *result = Variant(event.text);
        }
    }
    return platform::S_OK;
}

}  // namespace opos
