#include "Session.h"

#include <algorithm>
#include <chrono>

#include "JsonLine.h"
#include "common/OposConstants.h"
#include "platform/strings.h"
#include "platform/threads.h"

namespace posctl {

using opos::EventKind;

namespace {

std::string describeKinds(const opos::MethodInfo& method) {
    std::string text = "usage: ALIAS " + std::string(method.name);
    for (const opos::Parameter& parameter : method.parameters) {
        const bool isText =
            parameter.kind == opos::ParameterKind::Text || parameter.kind == opos::ParameterKind::TextInOut;
        text += " " + std::string(parameter.name) + (isText ? ":string" : ":integer");
    }
    return text;
}

}  // namespace

Session::Session(std::ostream& out) : m_out(out) {}

Session::~Session() {
    std::map<std::string, std::unique_ptr<opos::ControlObject>> devices;
    {
        std::lock_guard lock(m_devicesMutex);
        devices.swap(m_devices);
    }
    devices.clear();
}

bool Session::execute(std::string_view line) {
    Command command;
    std::string error;
    if (parseLine(line, &command, &error) && run(command, &error)) {
        return true;
    }
    write(JsonLine().add("error", error).text());
    return false;
}

bool Session::run(const Command& command, std::string* error) {
    switch (command.kind) {
    case Command::Kind::None:
        return true;
    case Command::Kind::Open:
        return open(command);
    case Command::Kind::Sleep:
        platform::sleepMs(static_cast<platform::DWORD>(command.milliseconds));
        return true;
    default:
        break;
    }
    opos::ControlObject* found = nullptr;
    {
        // A device stays in the map once opened, so the pointer outlives
        // the lock.
        std::lock_guard lock(m_devicesMutex);
        const auto at = m_devices.find(command.alias);
        found = at != m_devices.end() ? at->second.get() : nullptr;
    }
    if (found == nullptr) {
        *error = "no device " + command.alias + " (open it first)";
        return false;
    }
    opos::ControlObject& device = *found;
    switch (command.kind) {
    case Command::Kind::Call:
        return call(command, device, error);
    case Command::Kind::Get:
        return get(command, device, error);
    case Command::Kind::Set:
        return set(command, device, error);
    case Command::Kind::AnswerErrors:
        device.setErrorResponse(command.name == "clear" ? common::OPOS_ER_CLEAR : common::OPOS_ER_RETRY);
        return true;
    case Command::Kind::Wait:
        wait(command);
        return true;
    case Command::Kind::On:
        arm(command);
        return true;
    case Command::Kind::Close: {
        const opos::CallResult result = device.close();
        write(JsonLine().add("dev", command.alias).add("call", "Close").add("status", result.status).add("rc", result.rc).text());
        return true;
    }
    default:
        return true;
    }
}

bool Session::open(const Command& command) {
    const opos::DeviceClass deviceClass =
        command.name == "CashDrawer" ? opos::DeviceClass::CashDrawer : opos::DeviceClass::PosPrinter;
    opos::ControlObject* device = nullptr;
    {
        std::lock_guard lock(m_devicesMutex);
        std::unique_ptr<opos::ControlObject>& slot = m_devices[command.alias];
        if (!slot || (slot->deviceClass() != deviceClass && !slot->isOpen())) {
            slot.reset();
            slot = std::make_unique<opos::ControlObject>(deviceClass);
            slot->setEventHandler([this, alias = command.alias](opos::Event& event) { onEvent(alias, event); });
        }
        device = slot.get();
    }
    const std::wstring& name = std::get<std::wstring>(command.arguments[0]);
    const LONG rc = device->open(platform::toNarrow(name));
    write(JsonLine()
              .add("dev", command.alias)
              .add("open", std::wstring_view(name))
              .add("rc", rc)
              .add("openResult", device->openResult())
              .text());
    return true;
}

bool Session::call(const Command& command, opos::ControlObject& device, std::string* error) {
    const opos::MethodInfo* method = opos::findMethod(device.deviceClass(), command.name);
    if (method == nullptr) {
        *error = "no method " + command.name + " for " + schema::deviceClassName(device.deviceClass());
        return false;
    }
    bool fits = command.arguments.size() == method->parameters.size();
    for (std::size_t i = 0; fits && i < command.arguments.size(); ++i) {
        const opos::ParameterKind kind = method->parameters[i].kind;
        const bool text = kind == opos::ParameterKind::Text || kind == opos::ParameterKind::TextInOut;
        fits = std::holds_alternative<std::wstring>(command.arguments[i]) == text;
    }
    if (!fits) {
        *error = describeKinds(*method);
        return false;
    }
    const opos::CallResult result = device.call(method->name, command.arguments);
    JsonLine line;
    line.add("dev", command.alias).add("call", method->name).add("status", result.status).add("rc", result.rc);
    for (const auto& [name, value] : result.outputs) {
        line.add(name, value);
    }
    write(line.text());
    return true;
}

bool Session::get(const Command& command, opos::ControlObject& device, std::string* error) {
    const opos::PropertyInfo* property = opos::findProperty(device.deviceClass(), command.name);
    if (property == nullptr) {
        *error = "no property " + command.name + " for " + schema::deviceClassName(device.deviceClass());
        return false;
    }
    opos::Value value = property->isText ? opos::Value(std::wstring()) : opos::Value(LONG{0});
    device.get(property->name, &value);
    write(JsonLine().add("dev", command.alias).add("get", property->name).add("value", value).text());
    return true;
}

bool Session::set(const Command& command, opos::ControlObject& device, std::string* error) {
    const opos::PropertyInfo* property = opos::findProperty(device.deviceClass(), command.name);
    if (property == nullptr) {
        *error = "no property " + command.name + " for " + schema::deviceClassName(device.deviceClass());
        return false;
    }
    if (property->owner == opos::PropertyOwner::ControlObject) {
        *error = std::string(property->name) + " is read-only";
        return false;
    }
    const opos::Value& value = command.arguments[0];
    if (std::holds_alternative<std::wstring>(value) != property->isText) {
        *error = std::string(property->name) + (property->isText ? " takes a string" : " takes an integer");
        return false;
    }
    const LONG rc = device.set(property->name, value);
    write(JsonLine().add("dev", command.alias).add("set", property->name).add("value", value).add("rc", rc).text());
    return true;
}

void Session::wait(const Command& command) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(command.milliseconds);
    auto matches = [&](const Received& received) {
        return received.alias == command.alias && opos::eventName(received.kind) == command.name &&
               (!command.value || *command.value == received.value);
    };
    bool found = false;
    {
        std::unique_lock lock(m_eventMutex);
        found = m_eventArrived.wait_until(lock, deadline, [&] {
            const auto match = std::ranges::find_if(m_received, matches);
            if (match == m_received.end()) {
                return false;
            }
            m_received.erase(match);
            return true;
        });
    }
    write(JsonLine().add("wait", command.name).add("ok", found).text());
}

void Session::arm(const Command& command) {
    std::lock_guard lock(m_eventMutex);
    m_armed.push_back(command);
}

std::shared_ptr<const Command> Session::takeAction(const Received& received) {
    std::lock_guard lock(m_eventMutex);
    const auto match = std::ranges::find_if(m_armed, [&](const Command& armed) {
        return armed.alias == received.alias && opos::eventName(received.kind) == armed.name &&
               (!armed.value || *armed.value == received.value);
    });
    if (match == m_armed.end()) {
        return nullptr;
    }
    std::shared_ptr<const Command> action = match->action;
    m_armed.erase(match);
    return action;
}

void Session::write(const std::string& line) {
    std::lock_guard lock(m_outMutex);
    m_out << line << '\n';
    m_out.flush();
}

void Session::onEvent(const std::string& alias, const opos::Event& event) {
    JsonLine line;
    line.add("dev", alias).add("event", opos::eventName(event.kind));
    LONG value = event.number;
    switch (event.kind) {
    case EventKind::StatusUpdate:
        line.add("data", event.number);
        break;
    case EventKind::OutputComplete:
        line.add("id", event.number);
        break;
    case EventKind::Error:
        line.add("rc", event.resultCode)
            .add("ext", event.resultCodeExtended)
            .add("locus", event.errorLocus)
            .add("response", event.errorResponse);
        value = event.resultCode;
        break;
    case EventKind::DirectIO:
        line.add("number", event.number).add("data", event.data).add("string", std::wstring_view(event.text));
        break;
    case EventKind::Data:
        line.add("status", event.number);
        break;
    }
    write(line.text());
    const Received received{alias, event.kind, value};
    {
        std::lock_guard lock(m_eventMutex);
        if (m_received.size() == kKeptEvents) {
            m_received.pop_front();
        }
        m_received.push_back(received);
        m_eventArrived.notify_all();
    }
    // The armed action runs here, inside the handler, on the thread that
    // delivers the event: as an application's handler would call back.
    if (const std::shared_ptr<const Command> action = takeAction(received)) {
        std::string error;
        if (!run(*action, &error)) {
            write(JsonLine().add("error", error).text());
        }
    }
}

}  // namespace posctl
