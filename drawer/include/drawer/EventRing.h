#pragma once
// The drawer's queue of status events waiting for delivery: a ring of 1,024
// status values. A full ring refuses a new value rather than overwrite one
// that has not been delivered, so the events that do arrive are the oldest
// ones, in order. Not thread-safe: the owner holds its queue lock around
// every call.
#include <array>
#include <cstddef>

#include "platform/types.h"

namespace drawer {

using platform::LONG;

class EventRing {
public:
    static constexpr std::size_t kCapacity = 1024;

    // Empties the ring; both indexes start before the first slot.
    void reset();
    // False, and nothing stored, when the ring is full.
    bool put(LONG value);
    // False when the ring is empty.
    bool take(LONG* value);
    std::size_t count() const { return m_count; }

private:
    std::array<LONG, kCapacity> m_values{};
    int m_writeIndex = -1;
    int m_readIndex = -1;
    std::size_t m_count = 0;
};

}  // namespace drawer
