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
// Every flag a thread reads is atomic; the application thread writes them.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "common/ModuleLog.h"
#include "platform/com.h"
#include "platform/threads.h"
#include "printer/EventQueue.h"
#include "printer/JobQueue.h"

namespace printer {

struct CallbackIds {
    platform::DISPID error = platform::DISPID_UNKNOWN;
    platform::DISPID outputComplete = platform::DISPID_UNKNOWN;
    platform::DISPID statusUpdate = platform::DISPID_UNKNOWN;
};

// Where and how the printer thread writes: fixed from claim to release.
struct PrinterPort {
    std::int32_t number = 0;
    std::int32_t handle = 0;
    std::int32_t protocol = 0;
    std::int32_t model = 0;
};

// The printer conditions that hold asynchronous jobs back. The status
// monitor keeps them; until it reads the printer they stay as constructed,
// a printer that is ready.
struct PrinterConditions {
    std::atomic<bool> coverOpen{false};
    std::atomic<bool> receiptEmpty{false};
    std::atomic<bool> journalEmpty{false};
    std::atomic<bool> cutterError{false};
    std::atomic<bool> locomotiveError{false};
    std::atomic<bool> asbResumeError{false};
    std::atomic<bool> resumeError{false};
    std::atomic<bool> online{true};
};

// The bound on the delivery thread's waits: a wait ends early on every
// change it depends on, this only limits how long it goes unchecked.
inline constexpr std::uint32_t kDeliveryIdleWaitMs = 200;
// The status monitor's cycle.
inline constexpr std::uint32_t kStatusCycleMs = 100;

class WorkerShared {
public:
    WorkerShared(std::shared_ptr<const common::ModuleLog> log, CallbackIds ids);
    ~WorkerShared();
    WorkerShared(const WorkerShared&) = delete;
    WorkerShared& operator=(const WorkerShared&) = delete;

    // fEventJob's queueing operations: 0 output complete (a = OutputID),
    // 2 status update (a = status), 3 error (a = result code, b = extended
    // code). Dropped while the exit flag is set, and dropped and logged when
    // the queue is full. Always 0.
    std::int32_t fEventJob(std::int32_t operation, std::int32_t a, std::int32_t b);

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
    // Records the write that answers a synchronous caller and wakes it.
    void completeSynchronous(std::uint64_t ticket, bool printOk);
    // Waits until the job with `ticket` was written (true, *printOk set), the
    // time-out passed or the exit flag was set (false).
    bool waitSynchronous(std::uint64_t ticket, platform::DWORD timeoutMs, bool* printOk);

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
    // The application's answer to the latest error event, for the printer
    // thread: OPOS_ER_RETRY until an answer came.
    std::atomic<std::int32_t> errorResponse;

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
    PrinterConditions conditions;
    // The State property while claimed: the printer thread moves it
    // between busy, idle and error.
    std::atomic<std::int32_t> state{2};
    std::atomic<std::int32_t> ErrorEventErrorOcuured{0};
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
    bool m_printOk = false;
    std::mutex m_streamMutex;
    platform::MarshalStream* m_stream = nullptr;
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
