#pragma once
// Every byte the printer received, in order: the last `capacity` bytes
// themselves and the count of all of them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace emulator {

class ReceivedLog {
public:
    explicit ReceivedLog(std::size_t capacity) : m_capacity(capacity) {}

    void append(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> contents() const;
    std::uint64_t total() const { return m_total; }
    std::size_t retainedBytes() const { return m_bytes.capacity(); }
    void clear();

private:
    const std::size_t m_capacity;
    // Filled up to capacity, then used as a ring whose oldest byte is at
    // m_oldest.
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_oldest = 0;
    std::uint64_t m_total = 0;
};

}  // namespace emulator
