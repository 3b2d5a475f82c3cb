// The delivery thread against a fake control object: order, freezing,
// disabling, the answer to error events, and what happens at the end.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

#include "common/OposConstants.h"
#include "printer/WorkerShared.h"
#include "support/TempRegistry.h"

namespace printer {
namespace {

using namespace std::chrono_literals;
using platform::HRESULT;
using platform::LONG;

struct Call {
    platform::DISPID id;
    std::vector<LONG> numbers;
};

class FakeControl : public platform::RefCountedDispatch {
public:
    HRESULT GetIDsOfNames(std::wstring_view, platform::DISPID*) override { return platform::DISP_E_UNKNOWNNAME; }

    HRESULT Invoke(platform::DISPID id, platform::DispParams& params, platform::Variant*) override {
        Call call{id, {}};
        for (std::size_t i = 0; i < params.arguments.size(); ++i) {
            LONG value = 0;
            params.getI4(i, &value);
            call.numbers.push_back(value);
        }
        std::lock_guard lock(m_mutex);
        if (id == kError && m_errorAnswer) {
            params.arguments[3].setByRefI4(*m_errorAnswer);
        }
        m_calls.push_back(call);
        m_changed.notify_all();
        return platform::S_OK;
    }

    void answerErrors(std::optional<LONG> answer) {
        std::lock_guard lock(m_mutex);
        m_errorAnswer = answer;
    }

    // Waits until `count` calls arrived; returns what arrived by then.
    std::vector<Call> waitForCalls(std::size_t count, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, timeout, [&] { return m_calls.size() >= count; });
        return m_calls;
    }

    static constexpr platform::DISPID kError = 21, kOutputComplete = 22, kStatusUpdate = 23;

private:
    ~FakeControl() override = default;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Call> m_calls;
    std::optional<LONG> m_errorAnswer;
};

class EventDeliveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_shared = std::make_shared<WorkerShared>(
            std::make_shared<common::ModuleLog>(common::LogModule::Printer),
            CallbackIds{FakeControl::kError, FakeControl::kOutputComplete, FakeControl::kStatusUpdate});
        m_shared->eventQueue.reset();
        const std::shared_ptr<WorkerShared> shared = m_shared;
        m_thread = platform::WorkerThread::create([shared] { lpSendP(shared); },
                                                  platform::WorkerThread::Start::Suspended);
        ASSERT_TRUE(m_thread);
    }

    void TearDown() override {
        stop();
        m_control->Release();
    }

    // What enabling does: hand over the marshalled dispatch, start the
    // thread and wait until it has the pointer.
    void enable() {
        ASSERT_EQ(platform::coInitialize(), platform::S_OK);
        platform::MarshalStream* stream = nullptr;
        ASSERT_EQ(platform::marshalInterThreadInterface(m_control, &stream), platform::S_OK);
        m_shared->handOverStream(stream);
        platform::coUninitialize();
        m_thread->resume();
        ASSERT_EQ(m_shared->SynPrnEvent.wait(5000), platform::WAIT_OBJECT_0);
        m_shared->setDeviceEnabled(true);
    }

    void stop() {
        if (m_thread) {
            m_shared->setExit(true);
            m_thread->resume();
            EXPECT_EQ(m_shared->SndExitEvent.wait(5000), platform::WAIT_OBJECT_0);
            EXPECT_EQ(m_thread->join(5000), platform::WAIT_OBJECT_0);
            m_thread.reset();
        }
    }

    testsupport::TempRegistry m_registry;
    FakeControl* m_control = new FakeControl;
    std::shared_ptr<WorkerShared> m_shared;
    std::unique_ptr<platform::WorkerThread> m_thread;
};

TEST_F(EventDeliveryTest, FrozenEventsArriveInQueueOrderAfterTheThaw) {
    enable();
    m_shared->setFreezeEvents(1);
    m_shared->fEventJob(2, 11, 0);
    m_shared->fEventJob(0, 5, 0);
    m_shared->fEventJob(3, 114, 203);
    m_shared->fEventJob(2, 12, 0);
    EXPECT_EQ(m_control->waitForCalls(1, 300ms).size(), 0u);
    m_shared->setFreezeEvents(0);
    const auto calls = m_control->waitForCalls(4);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].id, FakeControl::kStatusUpdate);
    EXPECT_EQ(calls[0].numbers, std::vector<LONG>{11});
    EXPECT_EQ(calls[1].id, FakeControl::kOutputComplete);
    EXPECT_EQ(calls[1].numbers, std::vector<LONG>{5});
    EXPECT_EQ(calls[2].id, FakeControl::kError);
    EXPECT_EQ(calls[2].numbers, (std::vector<LONG>{114, 203, common::OPOS_EL_OUTPUT, common::OPOS_ER_RETRY}));
    EXPECT_EQ(calls[3].numbers, std::vector<LONG>{12});
}

TEST_F(EventDeliveryTest, EventsWaitForTheDeviceToBeEnabled) {
    m_shared->fEventJob(2, 25, 0);
    enable();
    m_shared->setDeviceEnabled(false);
    m_shared->fEventJob(2, 24, 0);
    const auto first = m_control->waitForCalls(1);
    EXPECT_LE(first.size(), 1u);
    EXPECT_EQ(m_control->waitForCalls(2, 300ms).size(), first.size()) << "delivered while disabled";
    m_shared->setDeviceEnabled(true);
    const auto calls = m_control->waitForCalls(2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].numbers, std::vector<LONG>{25});
    EXPECT_EQ(calls[1].numbers, std::vector<LONG>{24});
}

TEST_F(EventDeliveryTest, TheAnswerToAnErrorEventGoesBackToThePrinterThread) {
    enable();
    m_control->answerErrors(common::OPOS_ER_CLEAR);
    m_shared->fEventJob(3, 114, 100021);
    ASSERT_EQ(m_control->waitForCalls(1).size(), 1u);
    // Delivery stores the answer right after the call returns; the next
    // event shows the first is finished.
    m_shared->fEventJob(2, 1, 0);
    ASSERT_EQ(m_control->waitForCalls(2).size(), 2u);
    EXPECT_EQ(m_shared->errorResponse.load(), common::OPOS_ER_CLEAR);

    m_control->answerErrors(std::nullopt);
    m_shared->fEventJob(3, 114, 100021);
    m_shared->fEventJob(2, 2, 0);
    ASSERT_EQ(m_control->waitForCalls(4).size(), 4u);
    EXPECT_EQ(m_shared->errorResponse.load(), common::OPOS_ER_RETRY);
}

TEST_F(EventDeliveryTest, StopEndsTheThreadWithEventsPendingAndLaterEventsAreDropped) {
    enable();
    m_shared->setFreezeEvents(1);
    m_shared->fEventJob(2, 11, 0);
    m_shared->SndStopEvent.set();
    m_shared->eventQueue.wake();
    EXPECT_EQ(m_shared->SndExitEvent.wait(5000), platform::WAIT_OBJECT_0);
    EXPECT_EQ(m_thread->join(5000), platform::WAIT_OBJECT_0);
    m_thread.reset();
    m_shared->setExit(true);
    m_shared->fEventJob(2, 12, 0);
    EXPECT_EQ(m_shared->eventQueue.pending(), 1);
    EXPECT_TRUE(m_control->waitForCalls(1, 0ms).empty());
}

TEST_F(EventDeliveryTest, WithoutAControlObjectPointerEventsAreDiscardedNotDelivered) {
    // Enabling whose marshalling failed: the thread runs with no pointer.
    m_thread->resume();
    m_shared->setDeviceEnabled(true);
    m_shared->fEventJob(2, 11, 0);
    EXPECT_TRUE(m_control->waitForCalls(1, 300ms).empty());
    EXPECT_EQ(m_shared->eventQueue.pending(), 0);
}

}  // namespace
}  // namespace printer
