#pragma once
// What every port test needs: a temporary registry with device keys and a
// port map, the exports called with their out-parameters gathered, and a
// tear-down that releases every port a test opened, so the process-wide
// port table is clean for the next test.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "schema/DeviceEntry.h"
#include "support/TempRegistry.h"

// The serial, parallel and USB printers of these tests sit on
// pseudo-terminals, made with POSIX calls: a Windows test has none, and
// skips those cases with this reason.
#if defined(_WIN32)
#define CVOPOS_PSEUDO_TERMINALS 0
#else
#define CVOPOS_PSEUDO_TERMINALS 1
#endif

namespace porttest {

inline constexpr const char* kNoPseudoTerminals =
    "needs a printer on a pseudo-terminal, made with POSIX calls (under Wine a COM port reaches a pty only "
    "through a link the Linux side makes)";

using Bytes = std::vector<std::uint8_t>;
using Block = std::array<std::uint8_t, 4>;

struct Opened {
    int32_t handle = 0;
    int32_t kind = 0;
    int32_t index = -1;
    int32_t step = 0;
    int32_t sysError = 0;
};

struct Result {
    int32_t value = 0;
    int32_t step = 0;
    int32_t sysError = 0;
};

// The descriptors (on Windows: handles) this process holds, to show a
// failed open left none.
std::size_t openDescriptorCount();

Bytes bytesOf(const std::string& text);

class PortTest : public ::testing::Test {
protected:
    void TearDown() override;

    std::string path(const std::string& name) const { return m_registry.directory() + "/" + name; }
    // The test's own folder, gone after the test.
    const std::string& folder() const { return m_registry.directory(); }

    static schema::PortSettings settingsFor(const std::string& port);
    void addDevice(const char* deviceClass, const std::string& name, const schema::PortSettings& settings);
    void addPrinter(const std::string& name, const schema::PortSettings& settings) {
        addDevice(schema::kPosPrinterClass, name, settings);
    }
    void deleteValue(const char* deviceClass, const std::string& name, const char* value);
    // HKLM\SOFTWARE\CVOPOS\Ports: portName = path.
    void mapPort(const std::string& portName, const std::string& devicePath);

    Opened open(const char* deviceClass, const std::string& name);
    Opened openPrinter(const std::string& name) { return open(schema::kPosPrinterClass, name); }
    Result close(int32_t index);
    Result write(int32_t index, const Bytes& data, int32_t timeoutMs = 10000);
    Result read(int32_t index, Block* block);
    Result status(int32_t index);

private:
    testsupport::TempRegistry m_registry;
    std::set<int32_t> m_opened;
};

using Clock = std::chrono::steady_clock;

inline long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace porttest
