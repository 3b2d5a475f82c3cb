#include "ReceivedLog.h"

#include <algorithm>

namespace emulator {

void ReceivedLog::append(std::span<const std::uint8_t> bytes) {
    m_total += bytes.size();
    if (bytes.size() >= m_capacity) {
        bytes = bytes.last(m_capacity);
        m_bytes.assign(bytes.begin(), bytes.end());
        m_oldest = 0;
        return;
    }
    if (m_bytes.size() < m_capacity) {
        const std::size_t fits = std::min(bytes.size(), m_capacity - m_bytes.size());
        if (m_bytes.capacity() < m_bytes.size() + fits) {
            // Grow as a vector would, but never past the capacity.
            m_bytes.reserve(std::min(m_capacity, std::max(m_bytes.size() * 2, m_bytes.size() + fits)));
        }
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(fits));
        bytes = bytes.subspan(fits);
    }
    while (!bytes.empty()) {
        const std::size_t run = std::min(bytes.size(), m_capacity - m_oldest);
        std::copy_n(bytes.begin(), run, m_bytes.begin() + static_cast<std::ptrdiff_t>(m_oldest));
        m_oldest = (m_oldest + run) % m_capacity;
        bytes = bytes.subspan(run);
    }
}

std::vector<std::uint8_t> ReceivedLog::contents() const {
    std::vector<std::uint8_t> out;
    out.reserve(m_bytes.size());
    out.insert(out.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_oldest), m_bytes.end());
    out.insert(out.end(), m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_oldest));
    return out;
}

void ReceivedLog::clear() {
    m_bytes = {};
    m_oldest = 0;
    m_total = 0;
}

}  // namespace emulator
