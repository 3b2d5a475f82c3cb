#pragma once
// The commands the interpreter passed over, one line each, newest last.
// Only the latest kMaxLines are kept; a stream of garbage cannot grow it.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace emulator {

class UnknownCommandLog {
public:
    static constexpr std::size_t kMaxLines = 1000;
    // A line shows at most this many of the command's bytes.
    static constexpr std::size_t kMaxBytesShown = 16;

    // "1B 5E", "07", "1D 28 6B 03 00 (+3 bytes skipped)".
    void add(const std::uint8_t* bytes, std::size_t count, std::uint64_t skipped = 0) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string line;
        const std::size_t shown = count < kMaxBytesShown ? count : kMaxBytesShown;
        for (std::size_t i = 0; i < shown; ++i) {
            if (i > 0) line.push_back(' ');
            line.push_back(kHex[bytes[i] >> 4]);
            line.push_back(kHex[bytes[i] & 0x0F]);
        }
        if (shown < count) line += " ...";
        if (skipped > 0) line += " (+" + std::to_string(skipped) + " bytes skipped)";
        if (m_lines.size() == kMaxLines) m_lines.pop_front();
        m_lines.push_back(std::move(line));
    }

    std::vector<std::string> lines() const { return {m_lines.begin(), m_lines.end()}; }
    void clear() { m_lines.clear(); }

    // An upper bound of the memory the lines hold.
    static constexpr std::size_t kMaxRetainedBytes = kMaxLines * 128;

private:
    std::deque<std::string> m_lines;
};

}  // namespace emulator
