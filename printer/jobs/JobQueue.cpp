#include "printer/JobQueue.h"

#include <cstdio>
#include <utility>

#include "printer/ModelCatalogue.h"

namespace printer {

namespace {

std::int32_t nextNormal(std::int32_t index) { return index + 1 >= MAX_PRNJob ? 0 : index + 1; }

std::int32_t nextImmediate(std::int32_t index) {
    return index + 1 >= MAX_PRNJob + kImmediateSlots ? MAX_PRNJob : index + 1;
}

}  // namespace

std::int32_t JobQueue::queueNormal(PrintJobRecord* job, bool asyncMode, bool idleMarker) {
    if (m_numJob >= MAX_PRNJob) {
        return -1;
    }
    // The write index moves before use, the read index after: both rings
    // start empty with equal indexes.
    PrintJobRecord& slot = m_slots[static_cast<std::size_t>(m_normalWrite)];
    m_normalWrite = nextNormal(m_normalWrite);
    slot = std::move(*job);
    slot.async = asyncMode ? 1 : 0;
    slot.outputId = m_nextOutputId;
    m_lastOutputId = m_nextOutputId;
    if (asyncMode) {
        m_nextOutputId = m_nextOutputId >= kMaxOutputId ? 1 : m_nextOutputId + 1;
    }
    if (idleMarker) {
        slot.outputId = -1;
    }
    return ++m_numJob;
}

std::int32_t JobQueue::queueImmediate(PrintJobRecord* job) {
    if (m_numJob >= MAX_PRNJob || m_numImmediate >= kImmediateSlots) {
        return -1;
    }
    PrintJobRecord& slot = m_slots[static_cast<std::size_t>(m_immediateWrite)];
    m_immediateWrite = nextImmediate(m_immediateWrite);
    slot = std::move(*job);
    slot.async = 0;
    slot.outputId = 0;
    ++m_numImmediate;
    return ++m_numJob;
}

bool JobQueue::takeNext(PrintJobRecord* job) {
    if (m_numJob < 1) {
        return false;
    }
    --m_numJob;
    if (m_numImmediate > 0) {
        --m_numImmediate;
        m_current = m_immediateRead;
        m_immediateRead = nextImmediate(m_immediateRead);
    } else {
        m_current = m_normalRead;
        m_normalRead = nextNormal(m_normalRead);
    }
    *job = std::move(m_slots[static_cast<std::size_t>(m_current)]);
    m_slots[static_cast<std::size_t>(m_current)] = PrintJobRecord{};
    return true;
}

// Both rings are emptied: freeing only MyNumJob slots from the normal read
// index would walk into slots never filled while immediate jobs are queued,
// and leave those immediate jobs to be written after the discard.
void JobQueue::discardAll() {
    for (auto& slot : m_slots) {
        slot = PrintJobRecord{};
    }
    m_normalRead = m_normalWrite;
    m_immediateRead = m_immediateWrite;
    m_numJob = 0;
    m_numImmediate = 0;
}

bool JobQueue::withdraw(std::uint64_t ticket) {
    const auto removeFrom = [&](std::int32_t read, std::int32_t* write, std::int32_t count, auto next) {
        std::int32_t at = read;
        for (std::int32_t i = 0; i < count; ++i, at = next(at)) {
            if (m_slots[static_cast<std::size_t>(at)].ticket != ticket) {
                continue;
            }
            std::int32_t to = at;
            for (std::int32_t j = i + 1; j < count; ++j) {
                const std::int32_t from = next(to);
                m_slots[static_cast<std::size_t>(to)] = std::move(m_slots[static_cast<std::size_t>(from)]);
                to = from;
            }
            m_slots[static_cast<std::size_t>(to)] = PrintJobRecord{};
            *write = to;
            return true;
        }
        return false;
    };
    if (removeFrom(m_immediateRead, &m_immediateWrite, m_numImmediate, nextImmediate)) {
        --m_numImmediate;
        --m_numJob;
        return true;
    }
    if (removeFrom(m_normalRead, &m_normalWrite, m_numJob - m_numImmediate, nextNormal)) {
        --m_numJob;
        return true;
    }
    return false;
}

std::uint32_t synchronousTimeoutMs(std::int32_t modelNumber, std::int32_t length) {
    const bool slow = modelNumber == model::B20 || modelNumber == model::A10X;
    if (length <= 100) {
        return 5000;
    }
    if (length <= 10000) {
        return slow ? 43000 : 13000;
    }
    return slow ? static_cast<std::uint32_t>(length / 1000) * 6000 + 63000 : 33000;
}

std::string jobText(std::span<const std::uint8_t> data, std::size_t limit) {
    std::string text;
    for (std::uint8_t byte : data) {
        if (text.size() >= limit) {
            break;
        }
        if (byte >= 0x20 && byte <= 0x7E) {
            text.push_back(static_cast<char>(byte));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02x ", byte);
            text += hex;
        }
    }
    return text;
}

std::string jobHexText(std::span<const std::uint8_t> data, std::size_t limit) {
    std::string text;
    for (std::uint8_t byte : data) {
        if (text.size() >= limit) {
            break;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, " %02x", byte);
        text += hex;
    }
    return text;
}

}  // namespace printer
