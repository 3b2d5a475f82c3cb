#include "drawer/EventRing.h"

namespace drawer {

void EventRing::reset() {
    m_writeIndex = -1;
    m_readIndex = -1;
    m_count = 0;
}

bool EventRing::put(LONG value) {
    if (m_count == kCapacity) {
        return false;
    }
    m_writeIndex = (m_writeIndex + 1) % static_cast<int>(kCapacity);
    m_values[static_cast<std::size_t>(m_writeIndex)] = value;
    ++m_count;
    return true;
}

bool EventRing::take(LONG* value) {
    if (m_count == 0) {
        return false;
    }
    m_readIndex = (m_readIndex + 1) % static_cast<int>(kCapacity);
    *value = m_values[static_cast<std::size_t>(m_readIndex)];
    --m_count;
    return true;
}

}  // namespace drawer
