#include "emulator/VirtualPrinter.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "Canvas.h"
#include "DeadlineTimer.h"
#include "PaperRenderer.h"
#include "PngWriter.h"
#include "PrintEngine.h"
#include "ReceivedLog.h"
#include "TranscriptWriter.h"
#include "emulator/ModelCatalogue.h"

namespace emulator {

namespace {

using Clock = DeadlineTimer::Clock;

// Answers a host keeps asking for while replies are held back (slow status
// replies) wait here; a printer's output buffer is not endless either, so
// beyond this many the newest are lost.
constexpr std::size_t kMaxQueuedReplies = 1024;

const ModelInfo& modelFor(const std::string& code) {
    const ModelInfo* model = findModel(code);
    if (model == nullptr) throw std::invalid_argument("unknown printer model \"" + code + "\"");
    return *model;
}

}  // namespace

static_assert(VirtualPrinter::kReceivedBytesKept + Paper::kMaxRetainedBytes +
                      UnknownCommandLog::kMaxRetainedBytes <=
                  VirtualPrinter::kMaxRetainedBytes,
              "the parts must fit the whole");

// Lock order: the printer's mutex, then the timer's. Host sink and state
// listeners are called with neither held; whoever finds the outbound queue
// not being delivered delivers it, so callbacks never run at the same time
// and keep the order the events happened in.
struct VirtualPrinter::Impl final : HostEvents {
    struct Outbound {
        bool toHost = false;
        Bytes bytes;
        Clock::time_point due;
        PrinterState state;
    };

    Impl(const ModelInfo& model, std::uint32_t id)
        : model(model), code(model.code), internalId(id), paper(model), engine(model, paper, *this) {}

    // HostEvents, all called with the mutex held (from receive()).
    void statusRequested() override {
        if (state.statusSilent) return;
        const StatusBlock block = encodeStatusBlock(model.statusLayout, state);
        queueForHost(Bytes(block.begin(), block.end()), Clock::now() + state.statusReplyDelay);
    }
    void characterModeQueried() override {
        queueForHost(Bytes{static_cast<std::uint8_t>(state.asianCharacterMode ? 0x01 : 0x00)}, Clock::now());
    }
    void automaticStatusSet(bool enabled) override {
        automaticStatus = enabled;
        if (!enabled) return;
        // A printer reports its status at once when automatic status is
        // switched on, and from then on whenever it changes.
        lastSent = encodeStatusBlock(model.statusLayout, state);
        queueForHost(Bytes(lastSent.begin(), lastSent.end()), Clock::now());
    }
    // One drawer hangs on the printer: a pulse on either connector pin, of
    // any length, opens it.
    void drawerPulse(int, std::chrono::milliseconds) override {
        PrinterState changed = state;
        changed.drawerOpen = true;
        apply(changed);
        if (state.drawerClosesAfter.count() > 0) {
            drawerClosesAt = Clock::now() + state.drawerClosesAfter;
            armDrawerTimer();
        }
    }

    void queueForHost(Bytes bytes, Clock::time_point due) {
        std::size_t queued = 0;
        for (const auto& item : outbound) queued += item.toHost ? 1 : 0;
        if (queued >= kMaxQueuedReplies) return;
        Outbound item;
        item.toHost = true;
        item.bytes = std::move(bytes);
        item.due = due;
        outbound.push_back(std::move(item));
    }

    void apply(const PrinterState& changed) {
        const PrinterState before = state;
        state = changed;
        if (before == state) return;
        if (before.powerOn != state.powerOn) {
            // Power cycling forgets every setting, automatic status included;
            // data half-sent is lost.
            engine.reset();
            automaticStatus = false;
        }
        if (!state.drawerOpen) drawerClosesAt.reset();
        if (automaticStatus && state.powerOn) {
            const StatusBlock block = encodeStatusBlock(model.statusLayout, state);
            if (block != lastSent) {
                lastSent = block;
                queueForHost(Bytes(block.begin(), block.end()), Clock::now());
            }
        }
        Outbound item;
        item.state = state;
        outbound.push_back(std::move(item));
    }

    void armDrawerTimer() {
        if (drawerTimerArmed || !drawerClosesAt) return;
        drawerTimerArmed = true;
        timer.schedule(*drawerClosesAt, [this] { drawerTimerFired(); });
    }

    void drawerTimerFired() {
        {
            std::lock_guard lock(mutex);
            drawerTimerArmed = false;
            if (!drawerClosesAt) return;
            if (Clock::now() < *drawerClosesAt) {
                armDrawerTimer();
                return;
            }
            PrinterState changed = state;
            changed.drawerOpen = false;
            apply(changed);
        }
        deliver();
    }

    // The drawing is made under the lock; encoding and writing it are not.
    bool draw(Canvas* picture, std::string* error) const {
        std::lock_guard lock(mutex);
        return renderPaper(paper, picture, error);
    }

    void deliver() {
        std::unique_lock lock(mutex);
        if (delivering) return;
        delivering = true;
        for (;;) {
            // Bytes for the host wait their turn behind a reply that is held
            // back; state changes do not.
            auto next = outbound.begin();
            if (next != outbound.end() && next->toHost && next->due > Clock::now()) {
                if (!hostTimerArmed) {
                    hostTimerArmed = true;
                    timer.schedule(next->due, [this] {
                        {
                            std::lock_guard inner(mutex);
                            hostTimerArmed = false;
                        }
                        deliver();
                    });
                }
                next = std::find_if(outbound.begin(), outbound.end(),
                                    [](const Outbound& item) { return !item.toHost; });
            }
            if (next == outbound.end()) break;
            Outbound item = std::move(*next);
            outbound.erase(next);
            if (item.toHost) {
                auto hostSink = sink;
                lock.unlock();
                if (hostSink) hostSink(item.bytes);
            } else {
                auto stateListeners = listeners;
                lock.unlock();
                for (const auto& listener : stateListeners) listener(item.state);
            }
            lock.lock();
        }
        delivering = false;
    }

    const ModelInfo& model;
    const std::string code;
    const std::uint32_t internalId;

    mutable std::mutex mutex;
    mutable std::condition_variable receivedMore;
    PrinterState state;
    bool automaticStatus = false;
    StatusBlock lastSent{};
    ReceivedLog received{kReceivedBytesKept};
    Paper paper;
    PrintEngine engine;

    std::function<void(std::span<const std::uint8_t>)> sink;
    std::vector<std::function<void(const PrinterState&)>> listeners;
    std::deque<Outbound> outbound;
    bool delivering = false;
    bool hostTimerArmed = false;
    std::optional<Clock::time_point> drawerClosesAt;
    bool drawerTimerArmed = false;

    // Last, so that it stops (and its actions finish) before the rest goes.
    DeadlineTimer timer;
};

VirtualPrinter::VirtualPrinter(const std::string& modelCode, std::uint32_t internalId)
    : m_impl(std::make_unique<Impl>(modelFor(modelCode), internalId)) {}

VirtualPrinter::~VirtualPrinter() = default;

const std::string& VirtualPrinter::modelCode() const { return m_impl->code; }

std::uint32_t VirtualPrinter::internalId() const { return m_impl->internalId; }

int VirtualPrinter::printWidthDots() const { return m_impl->model.printWidthDots; }

void VirtualPrinter::receive(std::span<const std::uint8_t> bytes) {
    {
        std::lock_guard lock(m_impl->mutex);
        if (!m_impl->state.powerOn || bytes.empty()) return;
        m_impl->received.append(bytes);
        m_impl->engine.feed(bytes);
    }
    m_impl->receivedMore.notify_all();
    m_impl->deliver();
}

StatusBlock VirtualPrinter::statusBlock() const {
    std::lock_guard lock(m_impl->mutex);
    return encodeStatusBlock(m_impl->model.statusLayout, m_impl->state);
}

bool VirtualPrinter::automaticStatusEnabled() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->automaticStatus;
}

PrinterState VirtualPrinter::state() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->state;
}

void VirtualPrinter::changeState(const std::function<void(PrinterState&)>& change) {
    {
        std::lock_guard lock(m_impl->mutex);
        PrinterState changed = m_impl->state;
        change(changed);
        m_impl->apply(changed);
    }
    m_impl->deliver();
}

void VirtualPrinter::setHostSink(std::function<void(std::span<const std::uint8_t>)> sink) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->sink = std::move(sink);
}

void VirtualPrinter::addStateListener(std::function<void(const PrinterState&)> listener) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->listeners.push_back(std::move(listener));
}

Bytes VirtualPrinter::receivedBytes() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->received.contents();
}

std::uint64_t VirtualPrinter::receivedCount() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->received.total();
}

bool VirtualPrinter::waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_impl->mutex);
    return m_impl->receivedMore.wait_for(lock, timeout,
                                         [this, count] { return m_impl->received.total() >= count; });
}

std::string VirtualPrinter::transcript() const {
    std::lock_guard lock(m_impl->mutex);
    return writeTranscript(m_impl->paper);
}

std::vector<std::string> VirtualPrinter::unknownCommands() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->engine.unknownCommands().lines();
}

bool VirtualPrinter::writePng(const std::string& path, std::string* error) const {
    std::string message;
    Canvas picture;
    if (m_impl->draw(&picture, &message) && writePngFile(picture, path, &message)) return true;
    if (error != nullptr) *error = message;
    return false;
}

bool VirtualPrinter::renderPng(Bytes* png, std::string* error) const {
    std::string message;
    Canvas picture;
    if (m_impl->draw(&picture, &message) && encodePng(picture, png, &message)) return true;
    if (error != nullptr) *error = message;
    return false;
}

void VirtualPrinter::clearOutput() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->received.clear();
    m_impl->paper.clear();
    m_impl->engine.clearUnknownCommands();
}

std::size_t VirtualPrinter::retainedBytes() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->received.retainedBytes() + m_impl->paper.retainedBytes() +
           UnknownCommandLog::kMaxRetainedBytes;
}

}  // namespace emulator
