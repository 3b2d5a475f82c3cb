#pragma once
// The print job queue: a ring of 1,200 normal slots and a ring of 128
// immediate slots that the printer thread empties immediate-first, and the
// OutputID counter of asynchronous jobs. Pure data: the caller holds
// CriSectionQue around every call and does the logging, the events and the
// resuming of the printer thread.
#include <array>
#include <cstdint>
#include <string>
#include <span>
#include <vector>

namespace printer {

inline constexpr std::int32_t MAX_PRNJob = 1200;
inline constexpr std::int32_t kImmediateSlots = 128;
inline constexpr std::int32_t kMaxOutputId = 4800;

// IsJobInQue kinds.
inline constexpr std::int32_t kJobNormal = 1;
inline constexpr std::int32_t kJobImmediate = 3;
inline constexpr std::int32_t kJobDiscard = 5;
inline constexpr std::int32_t kJobIdleMarker = 11;

struct PrintJobRecord {
    std::int32_t async = 0;
    std::vector<std::uint8_t> data;
    std::int32_t outputId = 0;  // 0 immediate, -1 idle marker
    // Matches a synchronous caller to the write that answers it; 0 for
    // asynchronous jobs.
    std::uint64_t ticket = 0;
};

class JobQueue {
public:
    // Queues a normal job (an idle marker when `idleMarker`), taking over
    // its data; asynchronous jobs draw the next OutputID. Returns the jobs
    // queued afterwards, or -1 with `job` untouched when the ring is full.
    std::int32_t queueNormal(PrintJobRecord* job, bool asyncMode, bool idleMarker);
    // As queueNormal for the immediate ring; -1 also when all jobs together
    // reach the normal ring's size.
    std::int32_t queueImmediate(PrintJobRecord* job);
    // Moves the next job out of its slot, immediate jobs first; false when
    // none is queued.
    bool takeNext(PrintJobRecord* job);
    // Frees every queued job of both rings and empties them.
    void discardAll();
    // Takes the queued synchronous or immediate job with `ticket` out of
    // its ring, the others keeping their order; false when it is not queued
    // (the printer thread took it).
    bool withdraw(std::uint64_t ticket);

    std::int32_t MyNumJob() const { return m_numJob; }
    std::int32_t NumImPrnJob() const { return m_numImmediate; }
    std::int32_t currentJob() const { return m_current; }
    // The OutputID the last queueNormal gave its job.
    std::int32_t lastOutputId() const { return m_lastOutputId; }

private:
    // Slots 0-1,199 normal, 1,200-1,327 immediate.
    std::array<PrintJobRecord, MAX_PRNJob + kImmediateSlots> m_slots{};
    std::int32_t m_normalWrite = 0;
    std::int32_t m_normalRead = 0;
    std::int32_t m_immediateWrite = MAX_PRNJob;
    std::int32_t m_immediateRead = MAX_PRNJob;
    std::int32_t m_numJob = 0;
    std::int32_t m_numImmediate = 0;
    std::int32_t m_current = 0;
    std::int32_t m_nextOutputId = 1;
    std::int32_t m_lastOutputId = 0;
};

// How long a synchronous caller waits for its job to be written, by model
// and job length: the slow B20 and A10X get far longer.
std::uint32_t synchronousTimeoutMs(std::int32_t modelNumber, std::int32_t length);

// Job bytes for the log: printable ASCII as is, every other byte as
// "0x%02x " (jobText), or every byte as " %02x" (jobHexText). Either stops
// once `limit` characters are reached, the log cuts its lines anyway.
std::string jobText(std::span<const std::uint8_t> data, std::size_t limit);
std::string jobHexText(std::span<const std::uint8_t> data, std::size_t limit);

}  // namespace printer
