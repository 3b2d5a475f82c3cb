#include "portlink/portlink.h"
#include "printer/WorkerShared.h"
#include "printer/status/StatusPort.h"

namespace printer {

namespace {

// portlink ignores both; they are passed as the calls have always passed
// them.
constexpr std::int32_t kReadTimeoutMs = 100;
constexpr std::int32_t kPortStatusTimeoutMs = 1000;
// Commands to a printer that may just have come back get the long time-out.
constexpr std::int32_t kWriteTimeoutMs = 10000;

class PortlinkStatusPort final : public StatusPort {
public:
    explicit PortlinkStatusPort(const PrinterPort& port) : m_port(port) {}

    std::int32_t readStatus(StatusBlock* block, std::int32_t* step, std::int32_t* sysError) override {
        return ReadPort(m_port.number, m_port.handle, block->data(), static_cast<std::int32_t>(block->size()),
                        kReadTimeoutMs, m_port.protocol, step, sysError);
    }

    std::int32_t portStatus(std::int32_t* step, std::int32_t* sysError) override {
        std::uint8_t buffer[4] = {};
        return GetPortStatus(m_port.number, m_port.handle, buffer, kPortStatusTimeoutMs, m_port.protocol, step,
                             sysError);
    }

    std::int32_t write(std::span<const std::uint8_t> bytes, std::int32_t* step, std::int32_t* sysError) override {
        return WritePort(m_port.number, m_port.handle, bytes.data(), static_cast<std::int32_t>(bytes.size()),
                         kWriteTimeoutMs, m_port.protocol, step, sysError);
    }

    std::int32_t reopen(std::int32_t* step, std::int32_t* sysError) override {
        return ReOpenNetPort(m_port.number, m_port.handle, step, sysError);
    }

private:
    const PrinterPort m_port;
};

}  // namespace

std::unique_ptr<StatusPort> makePortlinkStatusPort(const PrinterPort& port) {
    return std::make_unique<PortlinkStatusPort>(port);
}

}  // namespace printer
