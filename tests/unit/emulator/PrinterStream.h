#pragma once
// Builds printer byte streams for the emulator tests: command bytes and
// text mixed in the order they are written.
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "emulator/VirtualPrinter.h"

namespace emulatortest {

class PrinterStream {
public:
    PrinterStream& operator()(std::initializer_list<int> bytes) {
        for (const int b : bytes) m_bytes.push_back(static_cast<std::uint8_t>(b));
        return *this;
    }
    PrinterStream& operator()(std::string_view text) {
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
        return *this;
    }
    PrinterStream& repeat(std::size_t count, std::uint8_t byte) {
        m_bytes.insert(m_bytes.end(), count, byte);
        return *this;
    }
    const emulator::Bytes& bytes() const { return m_bytes; }
    operator std::span<const std::uint8_t>() const { return m_bytes; }

private:
    emulator::Bytes m_bytes;
};

}  // namespace emulatortest
