#pragma once
// Character code tables (ESC t n) as Unicode, for drawing glyphs and for the
// transcript. Tables the emulator does not carry read as PC437, the
// printers' power-on table; a byte a table leaves undefined is U+FFFD.
#include <cstdint>

namespace emulator {

char32_t codeTableToUnicode(std::uint8_t table, std::uint8_t byte);

}  // namespace emulator
