#pragma once
// The virtual printer for Windows test programs: the Linux printer-emulator
// program runs the printer, and this stand-in offers the members the tests
// call on emulator::VirtualPrinter, carried over the emulator's control
// connection (TCP on loopback). Windows programs under Wine reach the
// printer's own transports directly: a network printer on a loopback
// address of its own, a serial printer on a COM port whose Wine device link
// points at the emulator's pseudo-terminal.
//
// The emulator program is the one named by the environment variable
// CVOPOS_PRINTER_EMULATOR (a Linux path); it is started with /dev/null on
// its standard streams and in a session of its own, and told to quit when
// the stand-in goes.
//
// Every member may be called from any thread; each call is one exchange
// with the emulator, so a printer-side change made by the emulator between
// two calls is seen by the second. Failures to reach the emulator are test
// failures (ADD_FAILURE) and answer as an empty printer would.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/PrinterState.h"

namespace testsupport {

class RemotePrinter {
public:
    static constexpr const char* kProgramVariable = "CVOPOS_PRINTER_EMULATOR";

    // modelCode as for emulator::VirtualPrinter. Nothing runs until a start.
    explicit RemotePrinter(const std::string& modelCode, std::uint32_t internalId = 0);
    ~RemotePrinter();
    RemotePrinter(const RemotePrinter&) = delete;
    RemotePrinter& operator=(const RemotePrinter&) = delete;

    // Runs the printer on the network at 127.x.y.1 (ports 9100 and 4000).
    // A printer already running moves there with its state; what it
    // received and printed is not carried over.
    bool startNetwork(std::string* error = nullptr);
    // Runs it on serial port `portName` ("COM3"), as startNetwork moves it.
    bool startSerial(const std::string& portName, std::string* error = nullptr);

    // The Port value of a device key for the printer where it runs:
    // "NET127.x.y.1" or "COM3".
    std::string portSetting() const;
    // The device the port map names for portSetting() (a COM port is its
    // own device here); empty for a network printer.
    std::string portDevice() const;
    // The network printer's address; empty for a serial one.
    std::string address() const { return m_address; }
    // Whether the serial line is there for a host to open: it goes while
    // the printer is off.
    bool lineUp() const;

    const std::string& modelCode() const { return m_model; }
    std::uint32_t internalId() const { return m_internalId; }

    // As on emulator::VirtualPrinter.
    emulator::Bytes receivedBytes() const;
    std::uint64_t receivedCount() const;
    bool waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    emulator::StatusBlock statusBlock() const;
    bool automaticStatusEnabled() const;
    emulator::PrinterState state() const;
    // Fetches the state, applies `change` to a copy and sends the commands
    // that make the difference. Not atomic with changes the printer makes
    // by itself meanwhile (a drawer that shuts on its own).
    void changeState(const std::function<void(emulator::PrinterState&)>& change);
    std::string transcript() const;
    std::vector<std::string> unknownCommands() const;
    void clearOutput();
    // Bytes interpreted as if the host had sent them.
    void receive(std::span<const std::uint8_t> bytes);
    // `path` is a Windows path; the emulator writes the file through its
    // Linux name.
    bool writePng(const std::string& path, std::string* error = nullptr) const;

private:
    struct Process;

    bool start(const std::string& transport, const std::string& extraArguments, std::string* error);
    void stop();
    // One control line out, the reply after "ok" back; nothing on "error"
    // or a broken connection, with the test failed.
    bool ask(const std::string& line, std::string* reply) const;

    const std::string m_model;
    const std::uint32_t m_internalId;
    std::string m_address;
    std::string m_portName;
    // The Linux path of the serial port's device link in the Wine prefix.
    std::string m_linkPath;
    mutable std::mutex m_mutex;
    std::unique_ptr<Process> m_process;
};

}  // namespace testsupport
