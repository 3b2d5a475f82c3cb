#include "ReceiptSoTestSupport.h"

#include <algorithm>

#include "platform/module.h"
#include "platform/serial.h"
#include "schema/DeviceEntry.h"

namespace printertest {

namespace {

platform::HModule module() {
    static platform::HModule loaded = platform::loadLibrary(RECEIPTSO_PATH);
    return loaded;
}

template <typename Function>
Function exported(const char* name) {
    return platform::getProcAddressAs<Function>(module(), name);
}

}  // namespace

HRESULT RecordingSink::GetIDsOfNames(std::wstring_view name, platform::DISPID* dispid) {
    const wchar_t* names[] = {L"SODirectIO", L"SOError", L"SOOutputComplete", L"SOStatusUpdate"};
    for (int i = 0; i < 4; ++i) {
        if (name == names[i]) {
            *dispid = 10 + i;
            return platform::S_OK;
        }
    }
    return platform::DISP_E_UNKNOWNNAME;
}

HRESULT RecordingSink::Invoke(platform::DISPID dispid, platform::DispParams& params, platform::Variant*) {
    if (dispid == 13) {
        LONG status = 0;
        params.getI4(0, &status);
        std::lock_guard lock(m_mutex);
        m_statusUpdates.push_back(status);
    }
    return platform::S_OK;
}

std::vector<LONG> RecordingSink::statusUpdates() const {
    std::lock_guard lock(m_mutex);
    return m_statusUpdates;
}

DirectObject::DirectObject() : m_sink(new RecordingSink) {
    auto create = exported<platform::DllGetObjectFunction>(platform::kDllGetObjectExport);
    EXPECT_NE(create, nullptr);
    if (create != nullptr) {
        EXPECT_EQ(create("{0353f054-4d22-44c1-bd26-0f0fe4360036}", &m_object), platform::S_OK);
    }
}

DirectObject::~DirectObject() {
    if (m_object != nullptr) {
        call(L"CloseService", {});
        m_object->Release();
    }
    m_sink->Release();
}

LONG DirectObject::call(std::wstring_view method, std::vector<platform::Variant> arguments, HRESULT* status) {
    platform::DISPID id = 0;
    EXPECT_EQ(m_object->GetIDsOfNames(method, &id), platform::S_OK);
    LONG rc = -1;
    platform::DispParams params;
    params.arguments = std::move(arguments);
    params.arguments.push_back(platform::Variant::byRef(&rc));
    const HRESULT result = m_object->Invoke(id, params, nullptr);
    if (status != nullptr) {
        *status = result;
    }
    return rc;
}

LONG DirectObject::open(const std::wstring& deviceClass, const std::wstring& deviceName, const wchar_t* method,
                        HRESULT* status) {
    return call(method, {platform::Variant(deviceClass), platform::Variant(deviceName), platform::Variant(m_sink)},
                status);
}

LONG DirectObject::number(LONG index, LONG initial) {
    platform::DISPID id = 0;
    EXPECT_EQ(m_object->GetIDsOfNames(L"GetPropertyNumber", &id), platform::S_OK);
    LONG value = initial;
    platform::DispParams params{platform::Variant(index), platform::Variant::byRef(&value)};
    EXPECT_EQ(m_object->Invoke(id, params, nullptr), platform::S_OK);
    return value;
}

LONG DirectObject::openResult() { return call(L"GetOpenResult", {}); }

void ReceiptSoTest::SetUp() {
    auto registerServer = exported<platform::DllRegisterServerFunction>(platform::kDllRegisterServerExport);
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(RECEIPTSO_PATH), platform::S_OK);
}

void ReceiptSoTest::TearDown() { m_printers.clear(); }

void ReceiptSoTest::addDevice(const std::string& keyName, const std::string& port) {
    schema::RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, schema::deviceKeyPath(schema::kPosPrinterClass, keyName)),
              platform::ERROR_SUCCESS);
    schema::PrinterValues values;
    values.settings.port = port;
    values.settings.baudrate = 19200;
    values.settings.timeOut = 5000;
    values.logicalName = keyName;
    ASSERT_EQ(schema::writePrinterValues(key, values), platform::ERROR_SUCCESS);
}

PrinterUnderTest& ReceiptSoTest::addNetworkPrinter(const std::string& model, const std::string& keyName) {
    auto& printer = *m_printers.emplace_back(testsupport::makePrinterUnderTest(model, m_registry.directory()));
    std::string error;
    EXPECT_TRUE(printer.startNetwork(&error)) << error;
    addDevice(keyName, printer.portSetting());
    return printer;
}

PrinterUnderTest& ReceiptSoTest::addSerialPrinter(const std::string& model, const std::string& keyName) {
    auto& printer = *m_printers.emplace_back(testsupport::makePrinterUnderTest(model, m_registry.directory()));
    std::string error;
    EXPECT_TRUE(printer.startSerial("COM3", &error)) << error;
    if (!printer.portDevice().empty()) {
        schema::RegKey key;
        EXPECT_EQ(key.create(platform::HKLM, platform::kPortMapKeyPath), platform::ERROR_SUCCESS);
        EXPECT_EQ(key.writeString("COM3", printer.portDevice()), platform::ERROR_SUCCESS);
    }
    addDevice(keyName, "COM3");
    return printer;
}

std::unique_ptr<opos::PosPrinter> ReceiptSoTest::openPrinter(const std::string& keyName) {
    auto control = std::make_unique<opos::PosPrinter>();
    control->setEventQueueCapacity(64);
    EXPECT_EQ(control->open(keyName), 0) << "OpenResult " << control->openResult();
    return control;
}

void ReceiptSoTest::settle(const PrinterUnderTest& printer) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (printer.waitForReceived(printer.receivedBytes().size() + 1, 100ms) &&
           std::chrono::steady_clock::now() < deadline) {
    }
}

LONG ReceiptSoTest::number(opos::ControlObject& control, const char* property) {
    LONG value = -12345;
    EXPECT_EQ(control.getNumber(property, &value), 0) << property;
    return value;
}

std::wstring ReceiptSoTest::text(opos::ControlObject& control, const char* property) {
    std::wstring value;
    EXPECT_EQ(control.getText(property, &value), 0) << property;
    return value;
}

std::vector<opos::Event> ReceiptSoTest::events(opos::ControlObject& control, std::size_t count,
                                               std::chrono::milliseconds timeout) {
    std::vector<opos::Event> received;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    opos::Event event;
    while (received.size() < count) {
        const auto left = std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                                     deadline - std::chrono::steady_clock::now()));
        if (!control.waitForEvent(&event, left)) {
            break;
        }
        received.push_back(event);
    }
    return received;
}

LONG ReceiptSoTest::call(opos::PosPrinter& control, const char* method, std::vector<opos::Value> arguments) {
    return control.call(method, arguments).rc;
}

std::size_t ReceiptSoTest::find(const emulator::Bytes& bytes, const emulator::Bytes& pattern, std::size_t from) {
    if (from > bytes.size()) {
        return std::string::npos;
    }
    const auto at =
        std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), pattern.begin(), pattern.end());
    return at == bytes.end() ? std::string::npos : static_cast<std::size_t>(at - bytes.begin());
}

bool ReceiptSoTest::arrives(const PrinterUnderTest& printer, const emulator::Bytes& pattern, std::size_t from) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (find(printer.receivedBytes(), pattern, from) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        printer.waitForReceived(printer.receivedBytes().size() + 1, 50ms);
    }
    return true;
}

}  // namespace printertest
