#pragma once
// SOCvCash: the CashDrawer service object behind the ISOCvCash dispatch
// interface. One instance per control object; all state lives here.
//
// Threads. The caller's thread runs the methods; the status thread
// lpEventProc polls the printer's status block and decodes the drawer
// sensor; the event thread lpSendProc delivers queued status values to the
// control object's SOStatusUpdate through its own unmarshalled pointer.
// Both are created suspended when the service opens and when a release
// ends them, and run from enabling until the next release or close.
//
// Locks. m_lifecycleLock serialises open, claim, release, close and
// enabling (the paths that create, start and end the threads); it is never
// held while a method waits for the drawer. m_queueLock covers one queue
// operation, m_waitLock the waitForDrawerClose hand-over (any number of
// callers, each with its own wait) and the beep counters. Neither is held while calling portlink or the control object,
// and neither is taken while holding the other.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>

#include "common/ModuleLog.h"
#include "drawer/DrawerModel.h"
#include "drawer/EventRing.h"
#include "platform/com.h"
#include "platform/threads.h"

namespace drawer {

using platform::DispParams;
using platform::DISPID;
using platform::HRESULT;
using platform::IDispatch;
using platform::Variant;

inline constexpr const char* kCashClsid = "{6B1D2E84-3C57-4A9F-8E20-71D4C5A39B16}";
inline constexpr const char* kCashProgId = "SOCorvaneCash.SOCvCash.1";
inline constexpr const char* kCashIndependentProgId = "SOCorvaneCash.SOCvCash";
inline constexpr const char* kCashDescription = "SOCvCash Class";

class SOCvCash : public platform::RefCountedDispatch {
public:
    SOCvCash();

    HRESULT GetIDsOfNames(std::wstring_view name, DISPID* dispid) override;
    HRESULT Invoke(DISPID dispid, DispParams& params, Variant* result) override;

    // The ISOCvCash methods, in slot order. Each returns S_OK, or S_FALSE
    // when it failed after logging an error; the OPOS result is in *pRC.
    HRESULT CheckHealth(LONG level, LONG* pRC);
    HRESULT ClaimDevice(LONG timeout, LONG* pRC);
    HRESULT ClearInput(LONG* pRC);
    HRESULT ClearOutput(LONG* pRC);
    HRESULT CloseService(LONG* pRC);
    HRESULT DirectIO(LONG command, LONG* pData, const std::wstring& text, LONG* pRC);
    HRESULT OpenService(const std::wstring& deviceClass, const std::wstring& deviceName, IDispatch* dispatch,
                        LONG* pRC);
    HRESULT ReleaseDevice(LONG* pRC);
    HRESULT openDrawer(LONG* pRC);
    HRESULT waitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration, LONG beepDelay, LONG* pRC);
    HRESULT GetPropertyNumber(LONG index, LONG* pNumber);
    HRESULT SetPropertyNumber(LONG index, LONG number);
    HRESULT GetPropertyString(LONG index, std::wstring* text);
    HRESULT SetPropertyString(LONG index, const std::wstring& text);
    HRESULT COFreezeEvents(LONG freeze, LONG* pRC);

private:
    ~SOCvCash() override;

    // The device names are kept in buffers of this many bytes, terminator
    // included.
    static constexpr std::size_t kNameSize = 255;

    void setResult(LONG code);
    void traceState();
    void setDeviceEnabled(LONG enable);
    bool sendPulse(std::int32_t* stepCode, std::int32_t* sysError);

    // fEventJob: kind 0 puts `value`, kind 1 takes the oldest value into
    // *value. Returns whether a value was stored or taken.
    bool fEventJob(int kind, LONG* value);

    void createThreads();
    // Ends both threads (they are never left running without the port).
    void endThreads();
    // Wakes a blocked waitForDrawerClose with a failure: the device went away.
    void abortWait();
    void closeAll();

    // What one pair of threads shares with the object: their exit request
    // and exit events. A pair that a release ended from inside an event
    // handler still runs on the delivery thread while the next pair starts;
    // each sees only its own request.
    struct ThreadRun {
        std::atomic<bool> exit{false};
        platform::Event eventExit{false, false};
        platform::Event sendExit{false, false};
    };

    void lpEventProc(const std::shared_ptr<ThreadRun>& run);
    void lpSendProc(const std::shared_ptr<ThreadRun>& run);
    // One status block's drawer state, on the status thread: events, the
    // hand-over to blocked methods and the beep countdown.
    void decodeDrawer(const StatusBlock& status);
    DWORD statusPause(DWORD pause) const;
    void statusWait(DWORD ms);
    void wakeStatusThread();

    const common::ModuleLog m_log{common::LogModule::Cash};

    platform::CriticalSection m_lifecycleLock;
    std::atomic<LONG> m_opened{0};
    std::atomic<LONG> m_claimed{0};
    std::atomic<LONG> m_deviceEnabled{0};
    std::atomic<LONG> m_freezeEvents{0};
    std::atomic<LONG> m_resultCode{0};
    std::atomic<LONG> m_state{2};
    std::atomic<LONG> m_powerState{2000};
    std::atomic<LONG> m_drawerOpened{0};
    std::atomic<bool> m_drawerOpenSeen{false};
    std::atomic<bool> m_networkReopened{true};
    // An openDrawer waits for the sensor: the status thread polls briskly.
    std::atomic<bool> m_openPending{false};

    std::array<char, kNameSize> m_deviceClass{};
    std::array<char, kNameSize> m_deviceName{};
    IDispatch* m_controlObject = nullptr;
    DISPID m_directIOId = platform::DISPID_UNKNOWN;
    DISPID m_statusUpdateId = platform::DISPID_UNKNOWN;
    std::int32_t m_portKind = 0;
    std::int32_t m_portIndex = -1;
    std::int32_t m_portHandle = -1;
    int m_drawerModelValue = 4;
    DWORD m_polarity = 0;
    DWORD m_pin = 0;
    PulseCommand m_pulse{};
    std::string m_healthText;

    mutable platform::CriticalSection m_waitLock;
    LONG m_beepTimeout = 0;
    LONG m_beepFrequency = 0;
    LONG m_beepDuration = 0;
    LONG m_beepDelay = 100;
    LONG m_beepCountdown = 0;
    LONG m_elapsed = 0;
    // Blocked waitForDrawerClose calls; the closes the status thread saw
    // and the releases and closes that ended waits, each counted, so that
    // every waiter sees the change it waits for however many there are.
    int m_waiters = 0;
    std::uint64_t m_closes = 0;
    std::uint64_t m_aborts = 0;
    std::condition_variable_any m_waitChanged;

    platform::CriticalSection m_queueLock;
    EventRing m_queue;
    bool m_queueBusy = false;

    std::unique_ptr<platform::WorkerThread> m_hEventThread;
    std::unique_ptr<platform::WorkerThread> m_hSendThread;
    bool m_sendThreadStarted = false;
    bool m_eventThreadStarted = false;
    platform::MarshalStream* m_stream = nullptr;
    std::shared_ptr<ThreadRun> m_run;
    platform::Event m_sendStartEvent{false, false};
    platform::Event m_drawerOpenEvent{true, false};
    // Cut the threads' pauses short: a queued event, a thawed freeze, an exit.
    // The status thread's WaitPortStatus mark; the thread's own.
    std::uint64_t m_statusMark = 0;
    platform::Event m_sendWake{false, false};
};

}  // namespace drawer
