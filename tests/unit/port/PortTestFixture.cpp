#include "PortTestFixture.h"

#include "platform/registry.h"
#include "platform/serial.h"
#include "portlink/portlink.h"

namespace porttest {

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

void PortTest::TearDown() {
    for (const int32_t index : m_opened) {
        // Close until the port reports it holds no reference.
        for (int attempt = 0; attempt < 10; ++attempt) {
            const Result closed = close(index);
            if (closed.step == 4 || closed.sysError == -1) {
                break;
            }
        }
    }
}

schema::PortSettings PortTest::settingsFor(const std::string& port) {
    schema::PortSettings settings;
    settings.port = port;
    settings.baudrate = 19200;
    settings.timeOut = 5000;
    return settings;
}

void PortTest::addDevice(const char* deviceClass, const std::string& name, const schema::PortSettings& settings) {
    schema::RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, schema::deviceKeyPath(deviceClass, name)), platform::ERROR_SUCCESS);
    schema::PrinterValues values;
    values.settings = settings;
    values.logicalName = "test";
    ASSERT_EQ(schema::writePrinterValues(key, values), platform::ERROR_SUCCESS);
}

void PortTest::deleteValue(const char* deviceClass, const std::string& name, const char* value) {
    schema::RegKey key;
    ASSERT_EQ(key.open(platform::HKLM, schema::deviceKeyPath(deviceClass, name)), platform::ERROR_SUCCESS);
    ASSERT_EQ(key.deleteValue(value), platform::ERROR_SUCCESS);
}

void PortTest::mapPort(const std::string& portName, const std::string& devicePath) {
    schema::RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, platform::kPortMapKeyPath), platform::ERROR_SUCCESS);
    ASSERT_EQ(key.writeString(portName.c_str(), devicePath), platform::ERROR_SUCCESS);
}

Opened PortTest::open(const char* deviceClass, const std::string& name) {
    Opened opened;
    opened.handle = OpenPort(deviceClass, name.c_str(), &opened.kind, &opened.index, 0, &opened.step, &opened.sysError);
    if (opened.handle != -1) {
        m_opened.insert(opened.index);
    }
    return opened;
}

Result PortTest::close(int32_t index) {
    Result result;
    result.value = ClosePort(index, 0, 0, &result.step, &result.sysError);
    return result;
}

Result PortTest::write(int32_t index, const Bytes& data, int32_t timeoutMs) {
    Result result;
    result.value = WritePort(index, 0, data.data(), static_cast<int32_t>(data.size()), timeoutMs, 0, &result.step,
                             &result.sysError);
    return result;
}

Result PortTest::read(int32_t index, Block* block) {
    Result result;
    result.value = ReadPort(index, 0, block->data(), 4, 100, 0, &result.step, &result.sysError);
    return result;
}

Result PortTest::status(int32_t index) {
    Result result;
    result.value = GetPortStatus(index, 0, nullptr, 1000, 0, &result.step, &result.sysError);
    return result;
}

}  // namespace porttest
