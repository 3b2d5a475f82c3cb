#include "printer/WorkerShared.h"

#include "common/OposConstants.h"

namespace printer {

WorkerShared::WorkerShared(std::shared_ptr<const common::ModuleLog> sharedLog, CallbackIds callbackIds)
    : log(std::move(sharedLog)), ids(callbackIds), errorResponse(common::OPOS_ER_RETRY) {}

WorkerShared::~WorkerShared() { platform::releaseMarshalStream(m_stream); }

std::int32_t WorkerShared::fEventJob(std::int32_t operation, std::int32_t a, std::int32_t b) {
    if (exitFlag.load() != 0) {
        log->debug("fEventJob begin2");
        return 0;
    }
    EventEntry entry;
    entry.value = a;
    switch (operation) {
    case 0:
        entry.kind = EventKind::OutputComplete;
        break;
    case 2:
        entry.kind = EventKind::StatusUpdate;
        break;
    case 3:
        entry.kind = EventKind::Error;
        entry.resultCode = a;
        entry.extendedCode = b;
        break;
    default:
        return 0;
    }
    if (!eventQueue.push(entry)) {
        log->error("fEventJob queue full, event %d (%d, %d) dropped", operation, a, b);
    }
    return 0;
}

void WorkerShared::handOverStream(platform::MarshalStream* stream) {
    platform::MarshalStream* replaced = nullptr;
    {
        std::lock_guard lock(m_streamMutex);
        replaced = m_stream;
        m_stream = stream;
    }
    platform::releaseMarshalStream(replaced);
    eventQueue.wake();
}

platform::MarshalStream* WorkerShared::collectStream() {
    std::lock_guard lock(m_streamMutex);
    platform::MarshalStream* stream = m_stream;
    m_stream = nullptr;
    return stream;
}

void WorkerShared::setExit(bool exit) {
    exitFlag.store(exit ? 1 : 0);
    eventQueue.wake();
}

void WorkerShared::setDeviceEnabled(bool enabled) {
    deviceEnabled.store(enabled ? 1 : 0);
    eventQueue.wake();
}

void WorkerShared::setFreezeEvents(std::int32_t freeze) {
    freezeEvents.store(freeze);
    eventQueue.wake();
}

}  // namespace printer
