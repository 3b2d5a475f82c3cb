#pragma once
// One status monitor (the body of lpEvent): each cycle reads the printer's
// automatic status and asks the port whether the printer is on line, keeps
// the status slots, the mechanism conditions, PowerState, ErrorLevel and
// State, and queues the StatusUpdate and Error events that follow from
// them. On network ports it also reconnects a printer that dropped off.
//
// A cycle takes a little over 200 ms when the printer is on line (two
// pauses of 100 ms plus the port calls). Its pauses end early at shutdown,
// and a cycle that sees the exit flag after a pause returns at once, so the
// thread ends within one cycle of the flag being set.
//
// With a watching pause, status bytes the printer sends by itself are read
// as they arrive: they end the pause at a cycle's end (the next cycle reads
// them), and in the pause between the two port status questions they are
// read and reported at once while the pause keeps its length. The cycle's
// pauses stay the upper bound, and the only path for a printer that sends
// nothing by itself.
//
// Runs on the status monitor's thread only. Writes the slots and flags
// without a lock: each is one atomic value that the printer thread and the
// property getters read.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/types.h"
#include "printer/StatusBits.h"
#include "printer/WorkerShared.h"
#include "printer/status/StatusPort.h"

namespace printer {

class StatusMonitor {
public:
    // Waits `ms` milliseconds or until shutdown; false once the exit flag
    // is set.
    using Pause = std::function<bool(platform::DWORD ms)>;
    // How a watching pause ended: its time passed (or a wake-up meant for
    // another reader of the port came), status bytes arrived, or the exit
    // flag is set.
    enum class Woke { Elapsed, Arrived, Exit };
    using WatchingPause = std::function<Woke(platform::DWORD ms)>;

    // Without a watching pause, every pause is `pause`.
    StatusMonitor(WorkerShared& shared, StatusPort& port, Pause pause, WatchingPause watch = {});

    // One cycle; the caller has checked the exit flag and DeviceEnabled.
    // False when the exit flag cut it short.
    bool runCycle();

private:
    enum class Power { Settled, Unsettled, Exit };
    enum class Read { Done, Failed, Unreachable };
    // The per-cycle log lines that are written only when they change.
    enum class Line { Read, ReadFailed, PortStatus, SendError, Count };

    // The status block and what follows from it; Unreachable when a network
    // printer could not be reconnected.
    Read readStatus();
    // The pause that ends a cycle; false once the exit flag is set.
    bool cyclePause();
    // The pause between the two port status questions; false once the exit
    // flag is set.
    bool settlePause();
    // Pauses `ms`, watching the port when it can be watched: status that
    // arrives ends the pause when `endOnArrival`, else it is read at once and
    // the pause keeps its length. False once the exit flag is set.
    bool watchedPause(platform::DWORD ms, bool endOnArrival);
    void readSensors(const StatusBlock& block, bool freshRead);
    void readF60Sensors(const StatusCodes& codes, const StatusBlock& block);
    void readCover(std::int32_t cover, const char* family);
    void readErrors(const StatusBlock& block);
    // False when the printer could not be reconnected.
    bool reconnectNetwork();
    void writeStandardMode(bool freshRead);
    void noteReadFailure(std::int32_t step, std::int32_t sysError);
    Power pollPower();
    // False when the exit flag cut it short.
    bool offToOn(std::int32_t portStatus);
    void onToOff(std::int32_t portStatus);
    void restartAutomaticStatus();
    void recoverState();
    void networkPower(bool readFailed);
    void holdErrorState();

    // A slot whose printer value differs from what was reported last is
    // reported now. True when it was.
    bool report(std::atomic<std::int32_t>& last, std::int32_t value);
    void queueStatus(std::int32_t status);
    void setErrorLevel(std::int32_t level);
    // The condition makes ErrorLevel recoverable for this cycle; the change
    // is logged as "lpEvent <family> <what>" (nothing for a null family).
    void recoverable(const char* family, const char* what);
    bool notify() const;
    bool coverOpen() const;
    // The receipt slot of the model: F60 reads its own sensor bits.
    std::int32_t receipt() const;
    bool anyMechanismError() const;
    // Writes the line unless it is the one written last under `line`; true
    // when it was written.
    bool logChanged(Line line, const char* format, ...) TRACELOG_PRINTF(3, 4);

    WorkerShared& m_shared;
    PrinterStatus& m_status;
    StatusPort& m_port;
    const Pause m_pause;
    const WatchingPause m_watch;
    const common::ModuleLog& m_log;
    const std::int32_t m_model;
    const std::int32_t m_kind;
    const std::int32_t m_protocol;
    bool m_errorSeen = false;
    std::array<std::string, static_cast<std::size_t>(Line::Count)> m_lines;
};

}  // namespace printer
