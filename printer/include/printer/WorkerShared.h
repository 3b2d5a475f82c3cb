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

namespace printer {

struct CallbackIds {
    platform::DISPID error = platform::DISPID_UNKNOWN;
    platform::DISPID outputComplete = platform::DISPID_UNKNOWN;
    platform::DISPID statusUpdate = platform::DISPID_UNKNOWN;
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

    // Guards the print job queue and the printer thread's running flag.
    platform::CriticalSection CriSectionQue;
    EventQueue eventQueue;

private:
    std::mutex m_streamMutex;
    platform::MarshalStream* m_stream = nullptr;
};

// The thread bodies; each ends once it sees the exit flag (lpSendP also on
// SndStopEvent) and signals its exit event last.
void lpPrn(const std::shared_ptr<WorkerShared>& shared);
void lpEvent(const std::shared_ptr<WorkerShared>& shared);
void lpSendP(const std::shared_ptr<WorkerShared>& shared);

}  // namespace printer
