#pragma once
// What the receiptso integration tests share: a temporary registry with the
// module registered in it, device keys for printers under test on a loopback
// network address or a serial line, the module's own exports for tests
// that drive a service object without a control object, and a callback sink
// that records what a service object sends.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "opos/ControlObject.h"
#include "platform/com.h"
#include "support/PrinterUnderTest.h"
#include "support/SystemComRegistration.h"
#include "support/TempRegistry.h"

namespace printertest {

using namespace std::chrono_literals;
using platform::HRESULT;
using platform::LONG;
using testsupport::PrinterUnderTest;

// Answers the four callback names a service object looks up and records
// every status update it receives.
class RecordingSink : public platform::RefCountedDispatch {
public:
    HRESULT GetIDsOfNames(std::wstring_view name, platform::DISPID* dispid) override;
    HRESULT Invoke(platform::DISPID dispid, platform::DispParams& params, platform::Variant* result) override;
    std::vector<LONG> statusUpdates() const;

private:
    ~RecordingSink() override = default;
    mutable std::mutex m_mutex;
    std::vector<LONG> m_statusUpdates;
};

// A service object created straight from the module, called by name.
class DirectObject {
public:
    DirectObject();
    ~DirectObject();
    DirectObject(const DirectObject&) = delete;
    DirectObject& operator=(const DirectObject&) = delete;

    // Calls a method whose arguments end in pRC; returns pRC, the COM status
    // in *status.
    LONG call(std::wstring_view method, std::vector<platform::Variant> arguments, HRESULT* status = nullptr);
    LONG open(const std::wstring& deviceClass, const std::wstring& deviceName, const wchar_t* method = L"OpenService",
              HRESULT* status = nullptr);
    LONG number(LONG index, LONG initial = 0);
    LONG openResult();

    RecordingSink* sink() const { return m_sink; }

private:
    platform::IDispatch* m_object = nullptr;
    RecordingSink* m_sink = nullptr;
};

class ReceiptSoTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string path(const std::string& name) const { return m_registry.directory() + "/" + name; }

    // A device key for `keyName` on `port`, naming the printer service object.
    void addDevice(const std::string& keyName, const std::string& port);
    // A printer of `model` on its own loopback address, configured as
    // `keyName`.
    PrinterUnderTest& addNetworkPrinter(const std::string& model, const std::string& keyName);
    // A printer of `model` on serial port COM3.
    PrinterUnderTest& addSerialPrinter(const std::string& model, const std::string& keyName);

    // Opens `keyName` through a control object that queues its events.
    std::unique_ptr<opos::PosPrinter> openPrinter(const std::string& keyName);

    static LONG number(opos::ControlObject& control, const char* property);
    static std::wstring text(opos::ControlObject& control, const char* property);
    // Waits until the printer has read what was written to it so far (no
    // new bytes for 100 ms, 2 s at most): a write returns before the
    // printer reads, so a test that counts bytes from here starts clean.
    static void settle(const PrinterUnderTest& printer);
    // Calls a method by name with its arguments; its result code.
    static LONG call(opos::PosPrinter& control, const char* method, std::vector<opos::Value> arguments);
    // Where `pattern` first stands in `bytes` at or after `from`, or npos.
    static std::size_t find(const emulator::Bytes& bytes, const emulator::Bytes& pattern, std::size_t from = 0);
    static emulator::Bytes text(const std::string& s) { return emulator::Bytes(s.begin(), s.end()); }
    // A written job is not yet read by the printer: waits (5 s at most)
    // until `pattern` arrived at or after `from`.
    static bool arrives(const PrinterUnderTest& printer, const emulator::Bytes& pattern, std::size_t from = 0);
    // Collects events until `count` arrived or `timeout` passed.
    static std::vector<opos::Event> events(opos::ControlObject& control, std::size_t count,
                                           std::chrono::milliseconds timeout = 5s);

private:
    testsupport::TempRegistry m_registry;
    // Registered with the system as well, so control objects take COM where
    // there is COM.
    testsupport::SystemComRegistration m_com{{RECEIPTSO_PATH}};
    std::vector<std::unique_ptr<PrinterUnderTest>> m_printers;
};

}  // namespace printertest
