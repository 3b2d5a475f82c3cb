#pragma once
// What a claimed service object shares with its three worker threads (the
// printer thread lpPrn, the status monitor lpEvent and the event delivery
// thread lpSendP): the exit and running flags, the flags the delivery thread
// honours, the five events, the queues and the callback identifiers.
//
// Owned jointly by the object and each thread body through a shared
// pointer. Release and close wait for the threads only for a bounded time;
// a thread stuck in a control object that never answers keeps this state
// (and only this state) alive until it returns, so it cannot touch an
// object that has gone.
//
// Every value two threads share is atomic or kept under the lock named
// with it.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "common/ModuleLog.h"
#include "platform/com.h"
#include "platform/threads.h"
#include "portlink/portlink.h"
#include "printer/EventQueue.h"
#include "printer/JobQueue.h"
#include "printer/status/PrinterStatus.h"

namespace printer {

struct CallbackIds {
    platform::DISPID error = platform::DISPID_UNKNOWN;
    platform::DISPID outputComplete = platform::DISPID_UNKNOWN;
    platform::DISPID statusUpdate = platform::DISPID_UNKNOWN;
};

// portlink's WritePort, or a stand-in with its contract.
using WritePortFunction = std::int32_t (*)(std::int32_t portIndex, std::int32_t handle, const std::uint8_t* data,
                                           std::int32_t length, std::int32_t timeoutMs, std::int32_t modelParam,
                                           std::int32_t* stepCode, std::int32_t* sysError);

// Where and how the worker threads reach the printer: fixed from claim to
// release.
struct PrinterPort {
    std::int32_t number = 0;
    std::int32_t handle = 0;
    std::int32_t protocol = 0;
    std::int32_t model = 0;
    std::int32_t kind = 0;  // PORT_COM, PORT_PAR, PORT_USB or PORT_ETH
    // The printer thread's writes go through this; tests replace it.
    WritePortFunction write = &WritePort;
};

// The mechanism conditions the status monitor reads from each status block
// and the on-line state it keeps, for the printer thread's error gate. A
// claim starts with a printer that is on line and has no error: the claim
// has just checked it.
struct PrinterConditions {
    std::atomic<bool> cutterError{false};
    std::atomic<bool> locomotiveError{false};
    std::atomic<bool> asbResumeError{false};
    std::atomic<bool> resumeError{false};
    std::atomic<bool> online{true};
};

// The application's answer to the latest error event: OPOS_ER_RETRY until
// an answer came. The delivery thread stores one answer per error event it
// took from the queue; the printer thread, which must not act on an answer
// meant for an earlier event, waits for the answer to its own.
class ErrorResponse {
public:
    explicit ErrorResponse(std::int32_t initial) : m_value(initial) {}
    ErrorResponse(const ErrorResponse&) = delete;
    ErrorResponse& operator=(const ErrorResponse&) = delete;

    // One more error event answered with `response`.
    void store(std::int32_t response);
    std::int32_t load() const { return m_value.load(); }
    // Blocks until `count` error events were answered in all (true),
    // `exitFlag` is set, a wake() came or timeoutMs passed (false).
    bool waitForAnswers(std::uint64_t count, const std::atomic<std::int32_t>& exitFlag,
                        std::uint32_t timeoutMs) const;
    void wake();

private:
    std::atomic<std::int32_t> m_value;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::uint64_t m_answered = 0;
    std::uint64_t m_wakes = 0;
};

// The bound on the delivery thread's waits: a wait ends early on every
// change it depends on, this only limits how long it goes unchecked.
inline constexpr std::uint32_t kDeliveryIdleWaitMs = 200;
// The status monitor's cycle.
inline constexpr std::uint32_t kStatusCycleMs = 100;

class WorkerShared {
public:
    // `status` is the object's, shared with every claim; a test may leave
    // it to a fresh one.
    WorkerShared(std::shared_ptr<const common::ModuleLog> log, CallbackIds ids,
                 std::shared_ptr<PrinterStatus> status = std::make_shared<PrinterStatus>());
    ~WorkerShared();
    WorkerShared(const WorkerShared&) = delete;
    WorkerShared& operator=(const WorkerShared&) = delete;

    // fEventJob's queueing operations: 0 output complete (a = OutputID),
    // 2 status update (a = status), 3 error (a = result code, b = extended
    // code). Dropped while the exit flag is set, and dropped and logged when
    // the queue is full. Always 0.
    std::int32_t fEventJob(std::int32_t operation, std::int32_t a, std::int32_t b);
    // fEventJob(3, resultCode, extended) for a caller that waits for the
    // answer: the number of error events queued up to and including this
    // one (0 when it was dropped), for errorResponse.waitForAnswers.
    std::uint64_t queueErrorEvent(std::int32_t resultCode, std::int32_t extended);

    // Hands the delivery thread the control object's dispatch marshalled on
    // the enabling thread; a stream not yet collected is replaced.
    void handOverStream(platform::MarshalStream* stream);
    // The stream waiting for the delivery thread, or null.
    platform::MarshalStream* collectStream();

    // The job queue's entry point, under CriSectionQue. Operations: 0 queue
    // a normal job (kind 1), an idle marker (kind 11), or with kind 5
    // discard every queued job; 1 take the next job into *job; 2 queue an
    // immediate job. Queueing takes over job's data only on success and
    // gives a synchronous job its ticket. Results: operations 0 and 2 the
    // jobs queued (-1 when full), operation 1 1 or 0. *outputId receives an
    // asynchronous job's OutputID (may be null).
    std::int32_t IsJobInQue(PrintJobRecord* job, std::int32_t operation, std::int32_t kind, bool asyncMode,
                            std::int32_t* outputId = nullptr);
    // Takes a synchronous or immediate job its caller gave up on out of the
    // queue, so that a call that reported failure never prints later. False
    // when the printer thread has already taken it.
    bool withdrawJob(std::uint64_t ticket);
    // True when ClearOutput discarded output since the printer thread took
    // its current job: that job, held at an error, must not be written.
    bool currentJobCleared();
    // Records the write that answers a synchronous caller and wakes it.
    void completeSynchronous(std::uint64_t ticket, bool printOk);
    // Waits until the job with `ticket` was written (true, *printOk set), the
    // time-out passed or the exit flag was set (false).
    bool waitSynchronous(std::uint64_t ticket, platform::DWORD timeoutMs, bool* printOk);
    // The application answered an error with OPOS_ER_CLEAR: every queued
    // asynchronous print job goes unwritten. Synchronous and immediate jobs
    // stay (their callers wait for them), and so do idle markers, which now
    // report idle. Returns the dropped jobs' OutputIDs in queue order.
    std::vector<std::int32_t> discardAsynchronousJobs();

    // The status monitor's PowerState: ignored once the device was disabled,
    // so that a cycle still under way cannot overwrite the value disabling
    // leaves. Writes a trace line when the value changes.
    void setPowerState(std::int32_t powerState);
    // State, with a trace line when it changes.
    void setState(std::int32_t newState);

    // Sets a flag the delivery thread watches and wakes it.
    void setExit(bool exit);
    void setDeviceEnabled(bool enabled);
    void setFreezeEvents(std::int32_t freeze);

    const std::shared_ptr<const common::ModuleLog> log;
    const CallbackIds ids;

    std::atomic<std::int32_t> exitFlag{0};
    std::atomic<std::int32_t> deviceEnabled{0};
    std::atomic<std::int32_t> freezeEvents{0};
    std::atomic<std::int32_t> prnRunning{0};
    std::atomic<std::int32_t> evtRunning{0};
    std::atomic<std::int32_t> sndRunning{0};
    ErrorResponse errorResponse;
    // PowerNotify as it was when the device was enabled; it cannot change
    // while enabled.
    std::atomic<std::int32_t> powerNotify{0};

    // All auto-reset, created unsignalled.
    platform::Event SynPrnEvent{false, false};
    platform::Event PrnExitEvent{false, false};
    platform::Event EvtExitEvent{false, false};
    platform::Event SndStopEvent{false, false};
    platform::Event SndExitEvent{false, false};
    // Cuts the status monitor's cycle short at shutdown.
    platform::Event statusWake{false, false};

    // Guards the print job queue, the printer thread's running flag and the
    // synchronous tickets.
    platform::CriticalSection CriSectionQue;
    JobQueue jobs;
    // Set once at claim, before any job can be queued; the printer thread
    // is resumed through it.
    platform::WorkerThread* printerThread = nullptr;
    PrinterPort port;
    const std::shared_ptr<PrinterStatus> status;
    PrinterConditions conditions;
    // The State property while claimed: the printer thread moves it
    // between busy, idle and error, the status monitor back from error.
    std::atomic<std::int32_t> state{2};
    // 1 once an error event was raised for the asynchronous job the
    // printer thread holds: only then does the application's answer decide
    // whether the job is written or dropped.
    std::atomic<std::int32_t> ErrorEventErrorOcuured{0};
    // Set by the printer thread while a job waits on an error; the status
    // monitor then keeps State at error while any condition stands.
    std::atomic<std::int32_t> sendError{0};
    // The error that holds the printer thread's asynchronous job (result
    // code and extended code, 0 when none): what a call that timed out
    // behind that job reports.
    std::atomic<std::int32_t> heldBy{0};
    std::atomic<std::int32_t> heldByExtended{0};
    // F60's slip sensor, kept by the status monitor: 2 no slip, 3 slip
    // inserted, 4 slip out of the path; 0 before the first status read.
    // The slip insertion and removal methods wait on it.
    std::atomic<std::int32_t> slipSensorState{0};
    // Cuts the printer thread's pauses between error events short at exit.
    platform::Event prnWake{false, false};
    EventQueue eventQueue;

private:
    std::uint64_t m_nextTicket = 0;
    std::uint64_t m_writtenTicket = 0;
    // ClearOutput's discards, and their count when the current job was taken.
    std::uint64_t m_clears = 0;
    std::uint64_t m_clearsAtTake = 0;
    bool m_printOk = false;
    std::mutex m_streamMutex;
    platform::MarshalStream* m_stream = nullptr;
    // Error events are counted in queue order: queueing and counting
    // happen under one lock.
    std::mutex m_errorMutex;
    std::uint64_t m_errorsQueued = 0;
    // Orders the monitor's PowerState writes against disabling.
    std::mutex m_powerMutex;
};

// The clock the synchronous wait measures its time-out with. Test support
// only: a test steps over minutes of time-out without waiting them. Null
// restores platform::tickCount; takes effect for the next wait.
using TickSource = platform::DWORD (*)();
void setSynchronousClockForTesting(TickSource source);

// The thread bodies; each ends once it sees the exit flag (lpSendP also on
// SndStopEvent) and signals its exit event last.
void lpPrn(const std::shared_ptr<WorkerShared>& shared);
void lpEvent(const std::shared_ptr<WorkerShared>& shared);
void lpSendP(const std::shared_ptr<WorkerShared>& shared);

}  // namespace printer
