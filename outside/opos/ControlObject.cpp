#include "opos/ControlObject.h"

#include "EventSink.h"
#include "ServiceFactory.h"
#include "common/OposConstants.h"
#include "platform/strings.h"

namespace opos {

using platform::DISPID;
using platform::DispParams;
using platform::IDispatch;
using platform::Variant;

namespace {

constexpr LONG kVersion = CVOPOS_VERSION_MAJOR * 1000000 + CVOPOS_VERSION_MINOR * 1000 + CVOPOS_VERSION_PATCH;

std::string_view description(DeviceClass deviceClass) {
    return deviceClass == DeviceClass::CashDrawer ? "Corvane OPOS CashDrawer Control Object"
                                                  : "Corvane OPOS POSPrinter Control Object";
}

bool holdsKind(const Value& value, ParameterKind kind) {
    const bool text = kind == ParameterKind::Text || kind == ParameterKind::TextInOut;
    return std::holds_alternative<std::wstring>(value) == text;
}

}  // namespace

// One open device: the service object, its callback sink and the DISPIDs
// looked up at open. Immutable once open; calls share it, so a close on
// another thread lets the service object go only after the last call
// returned.
struct ControlObject::Session {
    Session(IDispatch* serviceObject, ServiceSource made, CallbackSink* callbackSink)
        : service(serviceObject), source(made), sink(callbackSink) {}
    ~Session() {
        sink->detach();
        sink->Release();
        service->Release();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    HRESULT invoke(DISPID id, DispParams params, Variant* result = nullptr) const {
        return service->Invoke(id, params, result);
    }

    IDispatch* const service;
    const ServiceSource source;
    CallbackSink* const sink;
    std::vector<DISPID> methodIds;  // parallel to methods(deviceClass)
    DISPID openService = platform::DISPID_UNKNOWN;
    DISPID closeService = platform::DISPID_UNKNOWN;
    DISPID getOpenResult = platform::DISPID_UNKNOWN;  // the drawer has none
    DISPID freezeEvents = platform::DISPID_UNKNOWN;
    DISPID getNumber = platform::DISPID_UNKNOWN;
    DISPID setNumber = platform::DISPID_UNKNOWN;
    DISPID getString = platform::DISPID_UNKNOWN;
    DISPID setString = platform::DISPID_UNKNOWN;
};

std::string_view eventName(EventKind kind) {
    switch (kind) {
    case EventKind::StatusUpdate:
        return "StatusUpdate";
    case EventKind::OutputComplete:
        return "OutputComplete";
    case EventKind::Error:
        return "Error";
    case EventKind::DirectIO:
        return "DirectIO";
    case EventKind::Data:
        return "Data";
    }
    return "";
}

ControlObject::ControlObject(DeviceClass deviceClass)
    : m_class(deviceClass), m_events(std::make_shared<EventHub>()), m_resultCode(common::OPOS_E_CLOSED) {}

ControlObject::~ControlObject() {
    close();
    // A sink the service object still holds may outlive this object; the
    // host's handler must not be reached through it.
    m_events->setHandler({});
}

LONG ControlObject::open(std::string_view deviceName) {
    {
        std::lock_guard lock(m_mutex);
        if (m_session || m_opening) {
            m_openResult = common::OPOS_OR_ALREADYOPEN;
            return refuseLocked(common::OPOS_E_ILLEGAL);
        }
        m_opening = true;
    }
    LONG openResult = common::OPOS_SUCCESS;
    LONG rc = common::OPOS_SUCCESS;
    std::shared_ptr<Session> session = connect(deviceName, &openResult, &rc);
    std::lock_guard lock(m_mutex);
    m_opening = false;
    m_openResult = openResult;
    m_resultCode = rc;
    m_heldResultCode.reset();
    m_session = std::move(session);
    return rc;
}

std::shared_ptr<ControlObject::Session> ControlObject::connect(std::string_view deviceName, LONG* openResult,
                                                               LONG* rc) {
    auto fail = [&](LONG result, LONG code) -> std::shared_ptr<Session> {
        *openResult = result;
        *rc = code;
        return nullptr;
    };

    std::string deviceKey;
    IDispatch* service = nullptr;
    ServiceSource source = ServiceSource::None;
    const LONG created = createServiceObject(m_class, deviceName, &deviceKey, &service, &source);
    if (created != common::OPOS_SUCCESS) {
        return fail(created, created == common::OPOS_OR_REGBADNAME ? common::OPOS_E_NOEXIST : common::OPOS_E_NOSERVICE);
    }
    auto session = std::make_shared<Session>(service, source, new CallbackSink(m_events));

    auto lookUp = [&](std::string_view name, DISPID* id) {
        return platform::succeeded(service->GetIDsOfNames(platform::toWide(name), id));
    };
    bool complete = lookUp(service::OpenService, &session->openService) &&
                    lookUp(service::CloseService, &session->closeService) &&
                    lookUp(service::COFreezeEvents, &session->freezeEvents) &&
                    lookUp(service::GetPropertyNumber, &session->getNumber) &&
                    lookUp(service::SetPropertyNumber, &session->setNumber) &&
                    lookUp(service::GetPropertyString, &session->getString) &&
                    lookUp(service::SetPropertyString, &session->setString);
    if (complete && m_class == DeviceClass::PosPrinter) {
        complete = lookUp(service::GetOpenResult, &session->getOpenResult);
    }
    for (const MethodInfo& method : methods(m_class)) {
        DISPID id = platform::DISPID_UNKNOWN;
        complete = complete && (method.serviceName.empty() || lookUp(method.serviceName, &id));
        session->methodIds.push_back(id);
    }
    if (!complete) {
        return fail(common::OPOS_OR_BADIF, common::OPOS_E_NOSERVICE);
    }

    LONG opened = common::OPOS_E_FAILURE;
    const HRESULT status = session->invoke(
        session->openService, {Variant(platform::toWide(schema::deviceClassName(m_class))),
                               Variant(platform::toWide(deviceKey)), Variant(session->sink),
                               Variant::byRef(&opened)});
    // S_FALSE is a failure here: the service object returns it when it
    // gives up after logging, sometimes without setting pRC.
    if (status != platform::S_OK || opened != common::OPOS_SUCCESS) {
        LONG reported = common::OPOS_SUCCESS;
        if (session->getOpenResult != platform::DISPID_UNKNOWN) {
            session->invoke(session->getOpenResult, {Variant::byRef(&reported)});
        }
        return fail(reported != common::OPOS_SUCCESS ? reported : common::OPOS_OR_FAILEDOPEN,
                    opened != common::OPOS_SUCCESS ? opened : common::OPOS_E_FAILURE);
    }

    LONG version = 0;
    session->invoke(session->getNumber, {Variant(common::PIDX_ServiceObjectVersion), Variant::byRef(&version)});
    if (version / 1000000 != CVOPOS_VERSION_MAJOR) {
        LONG closed = common::OPOS_E_FAILURE;
        session->invoke(session->closeService, {Variant::byRef(&closed)});
        return fail(common::OPOS_OR_BADVERSION, common::OPOS_E_NOSERVICE);
    }
    return session;
}

CallResult ControlObject::close() {
    std::shared_ptr<Session> session;
    {
        std::lock_guard lock(m_mutex);
        session = std::move(m_session);
        m_heldResultCode.reset();
        if (!session) {
            m_resultCode = common::OPOS_E_CLOSED;
            return {platform::S_OK, m_resultCode, {}};
        }
    }
    LONG rc = common::OPOS_E_FAILURE;
    const HRESULT status = session->invoke(session->closeService, {Variant::byRef(&rc)});
    std::lock_guard lock(m_mutex);
    m_resultCode = rc;
    return {status, rc, {}};
}

bool ControlObject::isOpen() const {
    std::lock_guard lock(m_mutex);
    return m_session != nullptr;
}

std::shared_ptr<ControlObject::Session> ControlObject::useSession() {
    std::lock_guard lock(m_mutex);
    m_heldResultCode.reset();
    if (!m_session) {
        m_resultCode = common::OPOS_E_CLOSED;
    }
    return m_session;
}

LONG ControlObject::refuse(LONG rc) {
    std::lock_guard lock(m_mutex);
    return refuseLocked(rc);
}

LONG ControlObject::refuseLocked(LONG rc) {
    if (m_session) {
        m_heldResultCode = rc;
    } else {
        m_resultCode = rc;
    }
    return rc;
}

CallResult ControlObject::call(std::string_view name, const std::vector<Value>& arguments) {
    const MethodInfo* method = findMethod(m_class, name);
    if (method == nullptr) {
        return {platform::DISP_E_UNKNOWNNAME, refuse(common::OPOS_E_ILLEGAL), {}};
    }
    const std::size_t count = method->parameters.size();
    if (arguments.size() != count) {
        return {platform::DISP_E_BADPARAMCOUNT, refuse(common::OPOS_E_ILLEGAL), {}};
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!holdsKind(arguments[i], method->parameters[i].kind)) {
            return {platform::DISP_E_TYPEMISMATCH, refuse(common::OPOS_E_ILLEGAL), {}};
        }
    }
    if (method->serviceName.empty()) {
        if (count == 0) {
            return close();
        }
        const LONG rc = open(platform::toNarrow(std::get<std::wstring>(arguments[0])));
        return {platform::S_OK, rc, {}};
    }

    const std::shared_ptr<Session> session = useSession();
    if (!session) {
        return {platform::S_OK, common::OPOS_E_CLOSED, {}};
    }
    // By-reference arguments point into `numbers`, which is sized once and
    // never reallocated while the call runs.
    std::vector<LONG> numbers(count);
    LONG rc = common::OPOS_E_FAILURE;
    DispParams params;
    for (std::size_t i = 0; i < count; ++i) {
        const Value& argument = arguments[i];
        switch (method->parameters[i].kind) {
        case ParameterKind::Number:
            params.arguments.emplace_back(std::get<LONG>(argument));
            break;
        case ParameterKind::NumberInOut:
            numbers[i] = std::get<LONG>(argument);
            params.arguments.push_back(Variant::byRef(&numbers[i]));
            break;
        case ParameterKind::Text:
        case ParameterKind::TextInOut:
            params.arguments.emplace_back(std::get<std::wstring>(argument));
            break;
        }
    }
    params.arguments.push_back(Variant::byRef(&rc));
    Variant result;
    const std::size_t index = static_cast<std::size_t>(method - methods(m_class).data());
    CallResult answer{session->invoke(session->methodIds[index], std::move(params), &result), 0, {}};
    answer.rc = rc;
    for (std::size_t i = 0; i < count; ++i) {
        const Parameter& parameter = method->parameters[i];
        if (parameter.kind == ParameterKind::NumberInOut) {
            answer.outputs.emplace_back(parameter.name, numbers[i]);
        } else if (parameter.kind == ParameterKind::TextInOut) {
            std::wstring text;
            if (platform::failed(result.getString(&text))) {
                text = std::get<std::wstring>(arguments[i]);
            }
            answer.outputs.emplace_back(parameter.name, std::move(text));
        }
    }
    return answer;
}

LONG ControlObject::get(std::string_view name, Value* value) {
    const PropertyInfo* property = findProperty(m_class, name);
    if (property == nullptr) {
        return refuse(common::OPOS_E_ILLEGAL);
    }
    if (property->owner == PropertyOwner::ControlObject) {
        switch (property->index) {
        case ControlProperty::OpenResult:
            *value = openResult();
            break;
        case ControlProperty::ControlObjectDescription:
            *value = platform::toWide(description(m_class));
            break;
        default:
            *value = kVersion;
            break;
        }
        return common::OPOS_SUCCESS;
    }
    if (property->index == common::PIDX_ResultCode) {
        std::lock_guard lock(m_mutex);
        if (m_heldResultCode || !m_session) {
            *value = m_heldResultCode.value_or(m_resultCode);
            m_heldResultCode.reset();
            return common::OPOS_SUCCESS;
        }
    }

    if (property->index == common::PIDX_State && !isOpen()) {
        *value = common::OPOS_S_CLOSED;
        return common::OPOS_SUCCESS;
    }
    const std::shared_ptr<Session> session = useSession();
    if (!session) {
        *value = property->isText ? Value(std::wstring()) : Value(LONG{0});
        return common::OPOS_E_CLOSED;
    }
    if (property->isText) {
        Variant result;
        session->invoke(session->getString, {Variant(property->index)}, &result);
        std::wstring text;
        result.getString(&text);
        *value = std::move(text);
        return common::OPOS_SUCCESS;
    }
    LONG number = std::holds_alternative<LONG>(*value) ? std::get<LONG>(*value) : 0;
    session->invoke(session->getNumber, {Variant(property->index), Variant::byRef(&number)});
    *value = number;
    return common::OPOS_SUCCESS;
}

LONG ControlObject::set(std::string_view name, const Value& value) {
    const PropertyInfo* property = findProperty(m_class, name);
    if (property == nullptr || property->owner == PropertyOwner::ControlObject ||
        std::holds_alternative<std::wstring>(value) != property->isText) {
        return refuse(common::OPOS_E_ILLEGAL);
    }
    const std::shared_ptr<Session> session = useSession();
    if (!session) {
        return common::OPOS_E_CLOSED;
    }
    if (property->index == common::PIDX_FreezeEvents) {
        LONG rc = common::OPOS_E_FAILURE;
        session->invoke(session->freezeEvents, {Variant(std::get<LONG>(value)), Variant::byRef(&rc)});
        return rc;
    }
    if (property->isText) {
        session->invoke(session->setString, {Variant(property->index), Variant(std::get<std::wstring>(value))});
    } else {
        session->invoke(session->setNumber, {Variant(property->index), Variant(std::get<LONG>(value))});
    }
    LONG rc = common::OPOS_SUCCESS;
    session->invoke(session->getNumber, {Variant(common::PIDX_ResultCode), Variant::byRef(&rc)});
    std::lock_guard lock(m_mutex);
    if (m_session == session) {
        m_heldResultCode = rc;
    }
    return rc;
}

LONG ControlObject::getNumber(std::string_view property, LONG* value) {
    Value answer(*value);
    const LONG rc = get(property, &answer);
    if (const LONG* number = std::get_if<LONG>(&answer)) {
        *value = *number;
        return rc;
    }
    return rc == common::OPOS_SUCCESS ? common::OPOS_E_ILLEGAL : rc;
}

LONG ControlObject::getText(std::string_view property, std::wstring* value) {
    Value answer(*value);
    const LONG rc = get(property, &answer);
    if (const std::wstring* text = std::get_if<std::wstring>(&answer)) {
        *value = *text;
        return rc;
    }
    return rc == common::OPOS_SUCCESS ? common::OPOS_E_ILLEGAL : rc;
}

ServiceSource ControlObject::serviceSource() const {
    std::lock_guard lock(m_mutex);
    return m_session ? m_session->source : ServiceSource::None;
}

LONG ControlObject::openResult() const {
    std::lock_guard lock(m_mutex);
    return m_openResult;
}

LONG ControlObject::resultCode() {
    LONG rc = common::OPOS_SUCCESS;
    getNumber("ResultCode", &rc);
    return rc;
}

LONG ControlObject::directIO(LONG command, LONG* data, std::wstring* text) {
    CallResult result = call("DirectIO", {command, *data, *text});
    for (auto& [name, value] : result.outputs) {
        if (const LONG* number = std::get_if<LONG>(&value)) {
            *data = *number;
        } else {
            *text = std::move(std::get<std::wstring>(value));
        }
    }
    return result.rc;
}

void ControlObject::setEventHandler(EventHandler handler) {
    m_events->setHandler(std::move(handler));
}

void ControlObject::setErrorResponse(std::optional<LONG> response) {
    m_events->setErrorResponse(response);
}

void ControlObject::setEventQueueCapacity(std::size_t capacity) {
    m_events->setQueueCapacity(capacity);
}

bool ControlObject::waitForEvent(Event* event, std::chrono::milliseconds timeout) {
    return m_events->waitForEvent(event, timeout);
}

std::size_t ControlObject::droppedEvents() const {
    return m_events->dropped();
}

}  // namespace opos
