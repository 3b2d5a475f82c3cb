#include "printer/status/StatusMonitor.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <iterator>

#include "common/CorvaneCodes.h"
#include "common/OposConstants.h"
#include "portlink/portlink.h"
#include "printer/ModelCatalogue.h"

namespace printer {

namespace {

using namespace common;

constexpr platform::DWORD kPowerSettleMs = 100;
// A parallel printer that has just come back needs a moment before it
// takes commands again.
constexpr platform::DWORD kParallelWakeMs = 400;
constexpr std::size_t kLogLineSize = 256;

bool answers(std::int32_t portStatus) { return (portStatus & 0x30) != 0; }

// A mechanism condition from this cycle's block: logs its change, and
// raises its error event once when it sets in, when it has one. Raised in
// every cycle it stood, a lasting error would bury the application (and,
// with events frozen, the status updates queued behind it).
void follow(WorkerShared& shared, std::atomic<bool>& flag, bool now, const char* setText, const char* clearText,
            std::int32_t extended) {
    if (now) {
        if (!flag.exchange(true)) {
            shared.log->debug("%s", setText);
            if (extended != 0) {
                shared.fEventJob(3, OPOS_E_EXTENDED, extended);
            }
        }
    } else if (flag.exchange(false)) {
        shared.log->debug("%s", clearText);
    }
}

}  // namespace

StatusMonitor::StatusMonitor(WorkerShared& shared, StatusPort& port, Pause pause, WatchingPause watch)
    : m_shared(shared),
      m_status(*shared.status),
      m_port(port),
      m_pause(std::move(pause)),
      m_watch(std::move(watch)),
      m_log(*shared.log),
      m_model(shared.port.model),
      m_kind(shared.port.kind),
      m_protocol(shared.port.protocol) {}

bool StatusMonitor::runCycle() {
    const Read read = readStatus();
    if (read == Read::Unreachable) {
        return cyclePause();
    }
    if (m_kind != PORT_ETH) {
        const Power power = pollPower();
        if (power == Power::Exit) {
            return false;
        }
        if (power == Power::Unsettled) {
            return m_pause(kPowerSettleMs);
        }
    }
    recoverState();
    if (m_kind == PORT_ETH) {
        networkPower(read == Read::Failed);
    }
    holdErrorState();
    return cyclePause();
}

StatusMonitor::Read StatusMonitor::readStatus() {
    StatusBlock block{};
    std::int32_t step = 0, sysError = 0;
    if (m_port.readStatus(&block, &step, &sysError) != 1) {
        m_lines[static_cast<std::size_t>(Line::Read)].clear();
        noteReadFailure(step, sysError);
        return Read::Failed;
    }
    m_lines[static_cast<std::size_t>(Line::ReadFailed)].clear();
    const bool fresh = logChanged(Line::Read, "lpEvent ReadPort true:0x%x 0x%x 0x%x 0x%x,%d %d", block[0], block[1],
                                  block[2], block[3], step, sysError);
    readSensors(block, fresh);
    readErrors(block);
    if (m_kind == PORT_ETH) {
        if (!reconnectNetwork()) {
            return Read::Unreachable;
        }
        if (m_model == model::B21) {
            writeStandardMode(fresh);
        }
        m_shared.conditions.online.store(true);
    }
    if (fresh) {
        m_log.debug("lpEvent ReadPort end");
    }
    return Read::Done;
}

bool StatusMonitor::cyclePause() { return watchedPause(kStatusCycleMs, true); }

bool StatusMonitor::settlePause() { return watchedPause(kPowerSettleMs, false); }

bool StatusMonitor::watchedPause(platform::DWORD ms, bool endOnArrival) {
    if (!m_watch) {
        return m_pause(ms);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return true;
        }
        switch (m_watch(static_cast<platform::DWORD>(left.count()))) {
        case Woke::Exit: return false;
        case Woke::Arrived:
            if (endOnArrival) {
                return true;
            }
            readStatus();
            break;
        case Woke::Elapsed: break;
        }
    }
}

void StatusMonitor::readSensors(const StatusBlock& block, bool freshRead) {
    const StatusCodes codes = decodeStatus(m_model, block);
    m_errorSeen = false;
    if (m_model == model::F60) {
        readF60Sensors(codes, block);
    } else {
        if (m_model == model::E50 && freshRead) {
            m_log.debug("lpEvent E50 Read");
        }
        const char* family = m_model == model::B20 ? "B20" : "Other";
        readCover(codes.cover, family);
        m_status.receipt.store(codes.receipt);
        if (codes.receipt == PTR_SUE_REC_EMPTY) {
            recoverable(family, "RECRECOVERABLE");
        }
        if (report(m_status.lastReceipt, codes.receipt)) {
            const char* what = codes.receipt == PTR_SUE_REC_EMPTY       ? "RECEMPTY"
                               : codes.receipt == PTR_SUE_REC_NEAREMPTY ? "NEAREMPTY"
                                                                        : "PAPEROK";
            m_log.debug("lpEvent %s %s", family, what);
        }
    }
    if (!m_errorSeen) {
        setErrorLevel(PTR_EL_NONE);
    }
}

void StatusMonitor::readF60Sensors(const StatusCodes& codes, const StatusBlock& block) {
    m_shared.slipSensorState.store(slipSensorState(block, m_shared.slipSensorState.load()));
    // No slip in the slip station is its normal state, not an error.
    m_status.slip.store(codes.slip);
    report(m_status.lastSlip, codes.slip);
    readCover(codes.cover, "Other");
    m_status.journal.store(codes.journal);
    if (codes.journal == PTR_SUE_JRN_EMPTY) {
        recoverable(nullptr, nullptr);
    }
    report(m_status.lastJournal, codes.journal);
    m_status.f60Receipt.store(codes.f60Receipt);
    if (codes.f60Receipt == PTR_SUE_REC_EMPTY) {
        recoverable(nullptr, nullptr);
    }
    report(m_status.lastF60Receipt, codes.f60Receipt);
}

void StatusMonitor::readCover(std::int32_t cover, const char* family) {
    if (m_status.cover.exchange(cover) != cover) {
        m_log.traceProperty(level::debug, PIDXPtr_CoverOpen, cover == PTR_SUE_COVER_OPEN ? 1 : 0);
    }
    if (cover == PTR_SUE_COVER_OPEN) {
        recoverable(family, "COVERRECOVERABLE");
    }
    if (report(m_status.lastCover, cover)) {
        m_log.debug("lpEvent %s %s", family, cover == PTR_SUE_COVER_OPEN ? "COVEROPEN" : "COVEROK");
    }
}

void StatusMonitor::readErrors(const StatusBlock& block) {
    const MechanismErrors errors = decodeErrors(m_model, block, m_kind == PORT_PAR);
    PrinterConditions& c = m_shared.conditions;
    follow(m_shared, c.locomotiveError, errors.motor, "lpEvent PinPrinter LocomotiveError",
           "lpEvent PinPrinter LocomotiveNormal", CV_EMOTOR_ERROR);
    follow(m_shared, c.asbResumeError, errors.asbResume, "lpEvent Other ASBResumeError",
           "lpEvent Other ASBResumeNormal", CV_EAUTOSTATUS_RESUME_ERROR);
    follow(m_shared, c.resumeError, errors.resume, "lpEvent Other ResumeError", "lpEvent Other ResumeNormal",
           CV_ERESUME_ERROR);
    // The printer thread reports cutter errors when a job meets one.
    const bool e50 = m_model == model::E50;
    follow(m_shared, c.cutterError, errors.cutter, e50 ? "lpEvent E50 CutterError" : "lpEvent Other CutterError",
           e50 ? "lpEvent E50 CutterNormal" : "lpEvent Other CutterNormal", 0);
}

bool StatusMonitor::reconnectNetwork() {
    if (m_shared.conditions.online.load()) {
        return true;
    }
    m_log.debug("lpEvent PORT_ETH OnLineStat");
    std::int32_t step = 0, sysError = 0;
    if (m_port.reopen(&step, &sysError) != 1) {
        m_log.debug("lpEvent PORT_ETH ReOpenNetPort %d %d", step, sysError);
        return false;
    }
    m_shared.setPowerState(notify() ? OPOS_PS_ONLINE : OPOS_PS_UNKNOWN);
    if (notify()) {
        queueStatus(OPOS_SUE_POWER_ONLINE);
    }
    return true;
}

// B21 falls back to its native mode on its own; every cycle that reaches
// it puts it back into standard mode.
void StatusMonitor::writeStandardMode(bool freshRead) {
    if (freshRead) {
        m_log.debug("lpEvent PORT_ETH B21");
    }
    const std::uint8_t standardMode[] = {0x1B, 0x53};
    std::int32_t step = 0, sysError = 0;
    if (m_port.write(standardMode, &step, &sysError) != 1) {
        m_log.debug("lpEvent PORT_ETH B21 WritePort %d %d", step, sysError);
        if (notify()) {
            queueStatus(OPOS_SUE_POWER_OFF_OFFLINE);
        }
    }
}

void StatusMonitor::noteReadFailure(std::int32_t step, std::int32_t sysError) {
    logChanged(Line::ReadFailed, "lpEvent Read false %d %d", step, sysError);
    // A network printer that does not answer its status request is gone;
    // the next cycle that reads it reconnects it.
    if (m_kind == PORT_ETH && m_shared.conditions.online.exchange(false) && notify()) {
        m_shared.setPowerState(OPOS_PS_OFF_OFFLINE);
        queueStatus(OPOS_SUE_POWER_OFF_OFFLINE);
    }
    if (m_kind == PORT_USB && m_status.errorLevel.load() != PTR_EL_FATAL) {
        setErrorLevel(PTR_EL_NONE);
    }
}

StatusMonitor::Power StatusMonitor::pollPower() {
    std::int32_t step = 0, sysError = 0;
    const std::int32_t first = m_port.portStatus(&step, &sysError);
    if (!settlePause()) {
        return Power::Exit;
    }
    const std::int32_t second = m_port.portStatus(&step, &sysError);
    // A line that is still changing (a printer being switched) is read
    // again next cycle rather than taken half-way.
    if (first != second) {
        return Power::Unsettled;
    }
    if (answers(first)) {
        logChanged(Line::PortStatus, "lpEventPortStatusT%d %d %d %d", first, second, step, sysError);
        const bool reportsPaper = m_kind == PORT_USB || (m_kind == PORT_PAR && m_protocol == 4) ||
                                  (m_model == model::B20 && m_kind == PORT_COM);
        if (notify() && reportsPaper) {
            const bool stopped = coverOpen() || receipt() == PTR_SUE_REC_EMPTY;
            m_shared.setPowerState(stopped ? OPOS_PS_OFF_OFFLINE : OPOS_PS_ONLINE);
        }
        if (!m_shared.conditions.online.load() && !offToOn(first)) {
            return Power::Exit;
        }
    } else {
        logChanged(Line::PortStatus, "lpEventPortStatusF%d %d %d %d", first, second, step, sysError);
        if (m_shared.conditions.online.load()) {
            onToOff(first);
        }
    }
    return Power::Settled;
}

bool StatusMonitor::offToOn(std::int32_t portStatus) {
    m_log.debug("lpEvent GetPortStatus OffToOn begin:%d", portStatus);
    if (notify()) {
        m_shared.setPowerState(OPOS_PS_ONLINE);
        queueStatus(OPOS_SUE_POWER_ONLINE);
    }
    if (m_kind == PORT_PAR && !m_pause(kParallelWakeMs)) {
        return false;
    }
    restartAutomaticStatus();
    m_shared.conditions.online.store(true);
    m_log.debug("lpEvent GetPortStatus OffToOn end:%d", portStatus);
    return true;
}

void StatusMonitor::onToOff(std::int32_t portStatus) {
    m_log.debug("lpEvent GetPortStatus OnToOff begin:%d", portStatus);
    m_shared.conditions.online.store(false);
    if (notify()) {
        m_shared.setPowerState(OPOS_PS_OFF_OFFLINE);
        queueStatus(OPOS_SUE_POWER_OFF_OFFLINE);
    }
    m_log.debug("lpEvent GetPortStatus OnToOff end");
}

// A printer that was switched off forgot that it should report its status
// by itself. A parallel port of protocol 2 and a network printer are asked
// for their status instead.
void StatusMonitor::restartAutomaticStatus() {
    if ((m_kind == PORT_PAR && m_protocol == 2) || m_kind == PORT_ETH) {
        return;
    }
    const std::uint8_t automaticStatus[] = {0x1D, 0x61, 0xFF};
    // B21 and B20 take commands only in standard mode.
    const std::uint8_t standardThenAutomatic[] = {0x1B, 0x53, 0x1D, 0x61, 0xFF};
    const bool pin = m_model == model::K92 || m_model == model::K90;
    const bool standard = m_model == model::B21 || m_model == model::B20;
    if (pin) {
        m_log.debug("lpEvent PinPrinter ASB");
    } else if (!standard) {
        m_log.debug("lpEvent PosPrinter ASB");
    }
    std::int32_t step = 0, sysError = 0;
    using Bytes = std::span<const std::uint8_t>;
    const Bytes command = standard ? Bytes(standardThenAutomatic) : Bytes(automaticStatus);
    if (m_port.write(command, &step, &sysError) == 1) {
        return;
    }
    if (notify()) {
        queueStatus(OPOS_SUE_POWER_OFF_OFFLINE);
        m_shared.setPowerState(OPOS_PS_OFF_OFFLINE);
    }
    if (pin) {
        m_log.debug("lpEvent PinPrinter WriteASB %d %d", step, sysError);
    } else if (standard) {
        m_log.debug("lpEvent B21 B20 %d WriteASB %d %d", m_model, step, sysError);
    } else {
        m_log.debug("lpEvent PosPrinter WriteASB %d %d", step, sysError);
    }
}

// State returns from error once nothing holds the printer back. It leaves
// busy alone: that belongs to the printer thread, which has output to write.
void StatusMonitor::recoverState() {
    if (m_shared.state.load() != OPOS_S_ERROR) {
        return;
    }
    const bool powered = !notify() || m_status.powerState.load() == OPOS_PS_ONLINE;
    if (m_status.cover.load() == PTR_SUE_COVER_OK && receipt() == PTR_SUE_REC_PAPEROK && powered &&
        !anyMechanismError()) {
        m_shared.setState(OPOS_S_IDLE);
    }
}

// A network printer tells nothing through a port status: its PowerState
// follows the conditions that stop it printing.
void StatusMonitor::networkPower(bool readFailed) {
    if (!notify()) {
        return;
    }
    const PrinterConditions& c = m_shared.conditions;
    const char* text = nullptr;
    std::int32_t power = OPOS_PS_OFF_OFFLINE;
    if (coverOpen()) {
        text = "lpEvent ETH COVER_OPEN OFF_OFFLINE";
    } else if (receipt() == PTR_SUE_REC_EMPTY) {
        text = "lpEvent ETH REC_EMPTY OFF_OFFLINE";
    } else if (c.cutterError.load()) {
        text = "lpEvent ETH CUTTER_ERROR OFF_OFFLINE";
    } else if (c.locomotiveError.load()) {
        text = "lpEvent ETH LOCOMOTIVE_ERROR OFF_OFFLINE";
    } else if (readFailed) {
        return;
    } else {
        text = "lpEvent ETH ONLINE";
        power = OPOS_PS_ONLINE;
    }
    if (m_status.powerState.load() != power) {
        m_log.debug("%s", text);
        m_shared.setPowerState(power);
    }
}

// While the printer thread holds a job on an error, State shows error as
// long as any condition stands.
void StatusMonitor::holdErrorState() {
    if (m_shared.sendError.load() == 0) {
        return;
    }
    const std::int32_t powerState = m_status.powerState.load();
    logChanged(Line::SendError, "lpEvent SendError:%x,%x,%x,%x", m_status.cover.load(), receipt(), powerState,
               anyMechanismError() ? 1 : 0);
    const bool powerOff = notify() && powerState == OPOS_PS_OFF_OFFLINE;
    if (coverOpen() || receipt() == PTR_SUE_REC_EMPTY || powerOff || anyMechanismError()) {
        m_shared.setState(OPOS_S_ERROR);
    }
}

bool StatusMonitor::report(std::atomic<std::int32_t>& last, std::int32_t value) {
    if (last.load() == value) {
        return false;
    }
    last.store(value);
    queueStatus(value);
    return true;
}

void StatusMonitor::queueStatus(std::int32_t status) { m_shared.fEventJob(2, status, 0); }

void StatusMonitor::setErrorLevel(std::int32_t level) {
    if (m_status.errorLevel.exchange(level) != level) {
        m_log.traceProperty(level::debug, PIDXPtr_ErrorLevel, level);
    }
}

void StatusMonitor::recoverable(const char* family, const char* what) {
    m_errorSeen = true;
    if (m_status.errorLevel.load() != PTR_EL_RECOVERABLE && family != nullptr) {
        m_log.debug("lpEvent %s %s", family, what);
    }
    setErrorLevel(PTR_EL_RECOVERABLE);
}

bool StatusMonitor::notify() const { return m_shared.powerNotify.load() == OPOS_PN_ENABLED; }

bool StatusMonitor::coverOpen() const { return m_status.cover.load() == PTR_SUE_COVER_OPEN; }

std::int32_t StatusMonitor::receipt() const {
    return m_model == model::F60 ? m_status.f60Receipt.load() : m_status.receipt.load();
}

bool StatusMonitor::anyMechanismError() const {
    const PrinterConditions& c = m_shared.conditions;
    return c.cutterError.load() || c.locomotiveError.load() || c.resumeError.load() || c.asbResumeError.load();
}

bool StatusMonitor::logChanged(Line line, const char* format, ...) {
    if (!m_log.debugEnabled()) {
        return false;
    }
    char text[kLogLineSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::string& last = m_lines[static_cast<std::size_t>(line)];
    if (last == text) {
        return false;
    }
    last = text;
    m_log.debug("%s", text);
    return true;
}

}  // namespace printer
