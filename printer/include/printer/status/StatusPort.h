#pragma once
// The port calls a status monitor cycle makes, behind an interface so that
// a cycle can run against scripted answers. Each has portlink's contract
// and results (1 or 0, stepCode and sysError), bound to one claimed port.
#include <cstdint>
#include <memory>
#include <span>

#include "printer/StatusBits.h"

namespace printer {

struct PrinterPort;

class StatusPort {
public:
    virtual ~StatusPort() = default;

    // ReadPort: the 4 automatic status bytes.
    virtual std::int32_t readStatus(StatusBlock* block, std::int32_t* step, std::int32_t* sysError) = 0;
    // GetPortStatus: the printer answers when bit 0x10 or 0x20 is set.
    virtual std::int32_t portStatus(std::int32_t* step, std::int32_t* sysError) = 0;
    // WritePort with the status monitor's own time-out.
    virtual std::int32_t write(std::span<const std::uint8_t> bytes, std::int32_t* step, std::int32_t* sysError) = 0;
    // ReOpenNetPort.
    virtual std::int32_t reopen(std::int32_t* step, std::int32_t* sysError) = 0;
};

// The calls on a claimed port through portlink.
std::unique_ptr<StatusPort> makePortlinkStatusPort(const PrinterPort& port);

}  // namespace printer
