// The status monitor's cycle against a scripted port: what it reports, once
// per change or once per cycle, how it follows power and the network, and
// how it moves PowerState, ErrorLevel and State.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

#include "common/OposConstants.h"
#include "portlink/portlink.h"
#include "printer/ModelCatalogue.h"
#include "printer/status/StatusMonitor.h"
#include "support/TempRegistry.h"

namespace printer {
namespace {

using namespace common;
using Bytes = std::vector<std::uint8_t>;

constexpr StatusBlock kReady{0x10, 0x00, 0x00, 0x0F};
constexpr StatusBlock kCoverOpen{0x30, 0x00, 0x00, 0x0F};
constexpr StatusBlock kNearEnd{0x10, 0x00, 0x03, 0x0F};
constexpr StatusBlock kPaperEnd{0x10, 0x00, 0x0F, 0x0F};
constexpr std::int32_t kOnLine = 0x30;

class ScriptedPort : public StatusPort {
public:
    std::int32_t readStatus(StatusBlock* out, std::int32_t* step, std::int32_t* sysError) override {
        ++reads;
        *step = readOk ? 4 : 7;
        *sysError = readOk ? -2 : 104;
        *out = block;
        return readOk ? 1 : 0;
    }
    std::int32_t portStatus(std::int32_t* step, std::int32_t* sysError) override {
        ++portStatusCalls;
        *step = 5;
        *sysError = -2;
        if (!portStatusScript.empty()) {
            const std::int32_t value = portStatusScript.front();
            portStatusScript.pop_front();
            return value;
        }
        return portStatusValue;
    }
    std::int32_t write(std::span<const std::uint8_t> bytes, std::int32_t* step, std::int32_t* sysError) override {
        writes.emplace_back(bytes.begin(), bytes.end());
        *step = writeOk ? 12 : 15;
        *sysError = writeOk ? -2 : 121;
        return writeOk ? 1 : 0;
    }
    std::int32_t reopen(std::int32_t* step, std::int32_t* sysError) override {
        ++reopens;
        *step = reopenOk ? 24 : 33;
        *sysError = reopenOk ? -2 : 0;
        return reopenOk ? 1 : 0;
    }

    StatusBlock block = kReady;
    bool readOk = true;
    std::int32_t portStatusValue = kOnLine;
    std::deque<std::int32_t> portStatusScript;
    bool writeOk = true;
    bool reopenOk = true;
    std::vector<Bytes> writes;
    int reads = 0;
    int portStatusCalls = 0;
    int reopens = 0;
};

class StatusMonitorTest : public ::testing::Test {
protected:
    void start(std::int32_t model, std::int32_t kind, bool powerNotify = false, std::int32_t protocol = 4) {
        m_shared = std::make_shared<WorkerShared>(std::make_shared<common::ModuleLog>(common::LogModule::Printer),
                                                  CallbackIds{});
        m_shared->port = PrinterPort{0, 1, protocol, model, kind};
        m_shared->powerNotify.store(powerNotify ? OPOS_PN_ENABLED : OPOS_PN_DISABLED);
        m_shared->setDeviceEnabled(true);
        m_monitor = std::make_unique<StatusMonitor>(*m_shared, m_port, [this](platform::DWORD ms) {
            m_pauses.push_back(ms);
            return !m_exitAtPause;
        });
    }

    // Runs `count` cycles and returns the events they queued.
    std::vector<EventEntry> cycles(int count) {
        for (int i = 0; i < count; ++i) {
            EXPECT_TRUE(m_monitor->runCycle());
        }
        std::vector<EventEntry> events;
        EventEntry entry;
        while (m_shared->eventQueue.take(&entry)) {
            events.push_back(entry);
        }
        return events;
    }

    static std::vector<std::int32_t> statusUpdates(const std::vector<EventEntry>& events) {
        std::vector<std::int32_t> values;
        for (const EventEntry& event : events) {
            if (event.kind == EventKind::StatusUpdate) {
                values.push_back(event.value);
            }
        }
        return values;
    }

    static std::vector<std::int32_t> errorCodes(const std::vector<EventEntry>& events) {
        std::vector<std::int32_t> codes;
        for (const EventEntry& event : events) {
            if (event.kind == EventKind::Error) {
                EXPECT_EQ(event.resultCode, OPOS_E_EXTENDED);
                codes.push_back(event.extendedCode);
            }
        }
        return codes;
    }

    PrinterStatus& status() { return *m_shared->status; }

    testsupport::TempRegistry m_registry;
    ScriptedPort m_port;
    std::shared_ptr<WorkerShared> m_shared;
    std::unique_ptr<StatusMonitor> m_monitor;
    std::vector<platform::DWORD> m_pauses;
    bool m_exitAtPause = false;
};

using V = std::vector<std::int32_t>;

TEST_F(StatusMonitorTest, CoverAndPaperChangesAreReportedOnceEachWithTheirErrorLevel) {
    start(model::A14, PORT_COM);
    EXPECT_TRUE(cycles(2).empty());

    m_port.block = kCoverOpen;
    EXPECT_EQ(statusUpdates(cycles(3)), V{PTR_SUE_COVER_OPEN});
    EXPECT_EQ(status().cover.load(), PTR_SUE_COVER_OPEN);
    EXPECT_EQ(status().errorLevel.load(), PTR_EL_RECOVERABLE);
    m_port.block = kReady;
    EXPECT_EQ(statusUpdates(cycles(3)), V{PTR_SUE_COVER_OK});
    EXPECT_EQ(status().errorLevel.load(), PTR_EL_NONE);

    m_port.block = kNearEnd;
    EXPECT_EQ(statusUpdates(cycles(3)), V{PTR_SUE_REC_NEAREMPTY});
    EXPECT_EQ(status().errorLevel.load(), PTR_EL_NONE) << "near end is no error";
    m_port.block = kPaperEnd;
    EXPECT_EQ(statusUpdates(cycles(3)), V{PTR_SUE_REC_EMPTY});
    EXPECT_EQ(status().errorLevel.load(), PTR_EL_RECOVERABLE);
    EXPECT_EQ(status().lastReceipt.load(), PTR_SUE_REC_EMPTY);
    m_port.block = kReady;
    EXPECT_EQ(statusUpdates(cycles(2)), V{PTR_SUE_REC_PAPEROK});
    EXPECT_EQ(status().errorLevel.load(), PTR_EL_NONE);
}

TEST_F(StatusMonitorTest, WhatEnablingReportedIsNotReportedAgain) {
    start(model::A14, PORT_COM);
    status().lastCover = PTR_SUE_COVER_OPEN;
    status().lastReceipt = PTR_SUE_REC_NEAREMPTY;
    m_port.block = StatusBlock{0x30, 0x00, 0x03, 0x0F};
    EXPECT_TRUE(statusUpdates(cycles(2)).empty());
}

TEST_F(StatusMonitorTest, AMechanismErrorIsRaisedOnceWhenItSetsInNotEveryCycleItStands) {
    start(model::K92, PORT_COM);
    m_port.block = StatusBlock{0x10, 0x04, 0x00, 0x0F};
    EXPECT_EQ(errorCodes(cycles(3)), (V{100021}));
    EXPECT_TRUE(m_shared->conditions.locomotiveError.load());
    m_port.block = kReady;
    EXPECT_TRUE(cycles(2).empty());
    EXPECT_FALSE(m_shared->conditions.locomotiveError.load());

    m_port.block = StatusBlock{0x10, 0x40, 0x00, 0x0F};
    EXPECT_EQ(errorCodes(cycles(2)), (V{100022}));
    // The resume bit is also a cutter error, which the monitor only notes.
    m_port.block = StatusBlock{0x10, 0x20, 0x00, 0x0F};
    EXPECT_EQ(errorCodes(cycles(2)), (V{100023}));
    EXPECT_TRUE(m_shared->conditions.cutterError.load());
    EXPECT_TRUE(m_shared->conditions.resumeError.load());
}

TEST_F(StatusMonitorTest, ModelsAndPortsWithoutASensorRaiseNothingForIt) {
    start(model::A14, PORT_COM);
    m_port.block = StatusBlock{0x10, 0x04, 0x00, 0x0F};
    EXPECT_TRUE(cycles(2).empty()) << "a thermal printer has no motor error";

    start(model::A14, PORT_PAR);
    m_port.block = StatusBlock{0x10, 0x20, 0x00, 0x0F};
    EXPECT_TRUE(errorCodes(cycles(2)).empty()) << "no resume error over a parallel port";

    start(model::E50, PORT_COM);
    m_port.block = StatusBlock{0x00, 0x20, 0x00, 0x0F};
    EXPECT_TRUE(errorCodes(cycles(2)).empty()) << "E50 has no resume error";
}

TEST_F(StatusMonitorTest, NetworkPrinterThatDropsIsReportedOffOnceAndOnAgainOnceAfterReconnecting) {
    start(model::A14, PORT_ETH, true);
    status().powerState = OPOS_PS_ONLINE;
    EXPECT_TRUE(cycles(2).empty());

    m_port.readOk = false;
    EXPECT_EQ(statusUpdates(cycles(4)), V{OPOS_SUE_POWER_OFF_OFFLINE});
    EXPECT_EQ(status().powerState.load(), OPOS_PS_OFF_OFFLINE) << "not back to online while reads fail";
    EXPECT_FALSE(m_shared->conditions.online.load());
    EXPECT_EQ(m_port.reopens, 0);

    // Back, but the data connection cannot be made yet: tried again each cycle.
    m_port.readOk = true;
    m_port.reopenOk = false;
    EXPECT_TRUE(cycles(2).empty());
    EXPECT_EQ(m_port.reopens, 2);
    m_port.reopenOk = true;
    EXPECT_EQ(statusUpdates(cycles(3)), V{OPOS_SUE_POWER_ONLINE});
    EXPECT_EQ(m_port.reopens, 3);
    EXPECT_TRUE(m_shared->conditions.online.load());
    EXPECT_EQ(status().powerState.load(), OPOS_PS_ONLINE);
    EXPECT_EQ(m_port.portStatusCalls, 0) << "a network port has no port status to poll";
}

TEST_F(StatusMonitorTest, WithoutPowerNotifyPowerChangesQueueNothingAndPowerStaysUnknown) {
    start(model::A14, PORT_ETH, false);
    m_port.readOk = false;
    EXPECT_TRUE(cycles(2).empty());
    m_port.readOk = true;
    EXPECT_TRUE(cycles(2).empty());
    EXPECT_EQ(m_port.reopens, 1);
    EXPECT_EQ(status().powerState.load(), OPOS_PS_UNKNOWN);

    start(model::A14, PORT_COM, false);
    m_port.portStatusValue = 0;
    EXPECT_TRUE(cycles(2).empty());
    m_port.portStatusValue = kOnLine;
    EXPECT_TRUE(cycles(2).empty());
    EXPECT_EQ(status().powerState.load(), OPOS_PS_UNKNOWN);
    EXPECT_EQ(m_port.writes, (std::vector<Bytes>{{0x1D, 0x61, 0xFF}})) << "automatic status is restarted anyway";
}

TEST_F(StatusMonitorTest, EveryPowerTransitionIsReportedAlsoAfterStatusUpdates) {
    start(model::A14, PORT_COM, true);
    status().powerState = OPOS_PS_ONLINE;
    m_port.block = kCoverOpen;
    cycles(1);
    m_port.block = kReady;
    EXPECT_EQ(statusUpdates(cycles(1)), V{PTR_SUE_COVER_OK});

    m_port.portStatusValue = 0;
    EXPECT_EQ(statusUpdates(cycles(3)), V{OPOS_SUE_POWER_OFF_OFFLINE});
    EXPECT_EQ(status().powerState.load(), OPOS_PS_OFF_OFFLINE);
    m_port.portStatusValue = kOnLine;
    EXPECT_EQ(statusUpdates(cycles(3)), V{OPOS_SUE_POWER_ONLINE});
    EXPECT_EQ(status().powerState.load(), OPOS_PS_ONLINE);
}

TEST_F(StatusMonitorTest, APrinterBackOnLineIsToldToSendItsStatusAgainInItsOwnWay) {
    struct Case {
        std::int32_t model;
        std::int32_t kind;
        std::int32_t protocol;
        std::vector<Bytes> writes;
    };
    const Case cases[] = {
        {model::A14, PORT_COM, 4, {{0x1D, 0x61, 0xFF}}},
        {model::K92, PORT_COM, 2, {{0x1D, 0x61, 0xFF}}},
        {model::B20, PORT_USB, 4, {{0x1B, 0x53, 0x1D, 0x61, 0xFF}}},
        {model::B21, PORT_PAR, 4, {{0x1B, 0x53, 0x1D, 0x61, 0xFF}}},
        {model::K92, PORT_PAR, 2, {}},
    };
    for (const Case& c : cases) {
        m_port.writes.clear();
        start(c.model, c.kind, true, c.protocol);
        m_port.portStatusValue = 0;
        cycles(1);
        m_port.portStatusValue = kOnLine;
        cycles(2);
        EXPECT_EQ(m_port.writes, c.writes) << c.model << " on kind " << c.kind;
    }
    // A parallel printer gets a moment before the command.
    EXPECT_NE(std::find(m_pauses.begin(), m_pauses.end(), 400u), m_pauses.end());
}

TEST_F(StatusMonitorTest, AutomaticStatusThatCannotBeRestartedLeavesThePrinterOffLine) {
    start(model::A14, PORT_COM, true);
    m_port.portStatusValue = 0;
    cycles(1);
    m_port.writeOk = false;
    m_port.portStatusValue = kOnLine;
    EXPECT_EQ(statusUpdates(cycles(2)), (V{OPOS_SUE_POWER_ONLINE, OPOS_SUE_POWER_OFF_OFFLINE}));
    EXPECT_EQ(status().powerState.load(), OPOS_PS_OFF_OFFLINE);
}

TEST_F(StatusMonitorTest, AnUnsettledLineIsReadAgainNextCycle) {
    start(model::A14, PORT_COM, true);
    m_port.portStatusScript = {kOnLine, 0};
    m_pauses.clear();
    EXPECT_TRUE(cycles(1).empty());
    EXPECT_TRUE(m_shared->conditions.online.load());
    EXPECT_EQ(m_pauses, (std::vector<platform::DWORD>{100, 100}));
    m_port.portStatusScript = {0, 0};
    EXPECT_EQ(statusUpdates(cycles(1)), V{OPOS_SUE_POWER_OFF_OFFLINE});
}

TEST_F(StatusMonitorTest, PaperOrCoverMakeAUsbPrinterReportPowerOffWithoutAnEvent) {
    start(model::A14, PORT_USB, true);
    status().powerState = OPOS_PS_ONLINE;
    m_port.block = kPaperEnd;
    EXPECT_EQ(statusUpdates(cycles(1)), V{PTR_SUE_REC_EMPTY});
    EXPECT_EQ(status().powerState.load(), OPOS_PS_OFF_OFFLINE);
    m_port.block = kReady;
    cycles(1);
    EXPECT_EQ(status().powerState.load(), OPOS_PS_ONLINE);

    // A failed read on USB clears a recoverable ErrorLevel.
    m_port.block = kCoverOpen;
    cycles(1);
    EXPECT_EQ(status().errorLevel.load(), PTR_EL_RECOVERABLE);
    m_port.readOk = false;
    cycles(1);
    EXPECT_EQ(status().errorLevel.load(), PTR_EL_NONE);
}

TEST_F(StatusMonitorTest, NetworkPowerStateFollowsTheConditionsThatStopPrinting) {
    start(model::K92, PORT_ETH, true);
    status().powerState = OPOS_PS_ONLINE;
    m_port.block = kCoverOpen;
    EXPECT_EQ(statusUpdates(cycles(1)), V{PTR_SUE_COVER_OPEN});
    EXPECT_EQ(status().powerState.load(), OPOS_PS_OFF_OFFLINE);
    m_port.block = StatusBlock{0x10, 0x04, 0x00, 0x0F};
    cycles(1);
    EXPECT_EQ(status().powerState.load(), OPOS_PS_OFF_OFFLINE) << "motor error";
    m_port.block = kReady;
    cycles(1);
    EXPECT_EQ(status().powerState.load(), OPOS_PS_ONLINE);
}

TEST_F(StatusMonitorTest, B21OnTheNetworkIsPutInStandardModeEveryCycle) {
    start(model::B21, PORT_ETH, true);
    cycles(3);
    EXPECT_EQ(m_port.writes, (std::vector<Bytes>(3, Bytes{0x1B, 0x53})));
    m_port.writeOk = false;
    EXPECT_EQ(statusUpdates(cycles(1)), V{OPOS_SUE_POWER_OFF_OFFLINE});
}

TEST_F(StatusMonitorTest, StateReturnsFromErrorOnlyWhenNothingHoldsThePrinter) {
    start(model::A14, PORT_COM, true);
    status().powerState = OPOS_PS_ONLINE;
    m_shared->state = OPOS_S_ERROR;
    m_port.block = kCoverOpen;
    cycles(1);
    EXPECT_EQ(m_shared->state.load(), OPOS_S_ERROR);
    m_port.block = StatusBlock{0x10, 0x08, 0x00, 0x0F};
    cycles(1);
    EXPECT_EQ(m_shared->state.load(), OPOS_S_ERROR) << "cutter error";
    m_port.block = kReady;
    cycles(1);
    EXPECT_EQ(m_shared->state.load(), OPOS_S_IDLE);

    // Busy belongs to the printer thread.
    m_shared->state = OPOS_S_BUSY;
    cycles(1);
    EXPECT_EQ(m_shared->state.load(), OPOS_S_BUSY);

    // While a job waits on an error, any standing condition shows as error.
    m_shared->sendError = 1;
    m_port.block = kPaperEnd;
    cycles(1);
    EXPECT_EQ(m_shared->state.load(), OPOS_S_ERROR);
    m_port.block = kReady;
    cycles(1);
    EXPECT_EQ(m_shared->state.load(), OPOS_S_IDLE);
}

TEST_F(StatusMonitorTest, F60ReportsItsThreeStationsAndRecoversByItsOwnReceiptSensor) {
    start(model::F60, PORT_COM);
    // As enabling leaves it when the journal was out: the receipt slot
    // read by the other models' bits shows empty, F60's own receipt is fine.
    status().receipt = PTR_SUE_REC_EMPTY;
    m_port.block = StatusBlock{0x10, 0x00, 0x44, 0x6D};  // journal end, slip inserted
    EXPECT_EQ(statusUpdates(cycles(2)), (V{PTR_SUE_SLP_PAPEROK, PTR_SUE_JRN_EMPTY}));
    EXPECT_EQ(m_shared->slipSensorState.load(), kSlipSensorInserted);
    EXPECT_EQ(status().errorLevel.load(), PTR_EL_RECOVERABLE);

    m_shared->state = OPOS_S_ERROR;
    m_port.block = StatusBlock{0x10, 0x00, 0x44 | 0x08, 0x6D};
    EXPECT_EQ(statusUpdates(cycles(1)), V{PTR_SUE_REC_EMPTY});
    EXPECT_EQ(m_shared->state.load(), OPOS_S_ERROR);
    m_port.block = StatusBlock{0x10, 0x00, 0x60, 0x6F};  // paper back, slip taken out
    EXPECT_EQ(statusUpdates(cycles(1)), (V{PTR_SUE_SLP_EMPTY, PTR_SUE_JRN_PAPEROK, PTR_SUE_REC_PAPEROK}));
    EXPECT_EQ(m_shared->slipSensorState.load(), kSlipSensorNone);
    EXPECT_EQ(m_shared->state.load(), OPOS_S_IDLE);
    EXPECT_EQ(status().errorLevel.load(), PTR_EL_NONE) << "an empty slip station is no error";
    EXPECT_EQ(status().receipt.load(), PTR_SUE_REC_EMPTY) << "F60 leaves the other models' slot alone";
}

TEST_F(StatusMonitorTest, ACycleThatMeetsTheExitFlagEndsAtItsNextPause) {
    start(model::A14, PORT_COM, true);
    m_exitAtPause = true;
    m_pauses.clear();
    EXPECT_FALSE(m_monitor->runCycle());
    EXPECT_EQ(m_pauses.size(), 1u);
    EXPECT_EQ(m_port.portStatusCalls, 1);
}

TEST_F(StatusMonitorTest, ACycleUnderWayCannotOverwriteThePowerStateDisablingLeft) {
    start(model::A14, PORT_COM, true);
    status().powerState = OPOS_PS_ONLINE;
    m_shared->setDeviceEnabled(false);
    status().powerState = OPOS_PS_UNKNOWN;
    m_port.portStatusValue = 0;
    cycles(1);
    EXPECT_EQ(status().powerState.load(), OPOS_PS_UNKNOWN);
}

}  // namespace
}  // namespace printer
