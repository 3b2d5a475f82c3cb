#include "CommandParser.h"

#include <algorithm>

namespace emulator {

namespace {

constexpr std::uint8_t DLE = 0x10;
constexpr std::uint8_t ESC = 0x1B;
constexpr std::uint8_t FS = 0x1C;
constexpr std::uint8_t GS = 0x1D;

bool startsCommand(std::uint8_t byte) {
    return byte == ESC || byte == GS || byte == FS || byte == DLE;
}

std::size_t escLength(const std::uint8_t* c, std::size_t have) {
    switch (c[1]) {
    case '@': case 'S': case '2': case 'L': case 'v': case '<': case 'i': case 'm': case 'D':
        return 2;
    case '=': case 't': case 'R': case 'M': case '!': case '-': case 'E': case 'G': case '{':
    case 'a': case 'r': case 'C': case '3': case 'd': case 'J': case 'e': case 'j': case 'z':
    case 'T': case ' ': case '%': case '?': case 'U': case 'V': case 'u':
        return 3;
    case '$': case '\\':
        return 4;
    case 'p': case '*':
        return 5;
    case 'W':
        return 10;
    case 'c':
        if (have < 3) return 0;
        return c[2] == 'P' ? 5 : 4;
    default:
        return 2;
    }
}

std::size_t gsLength(const std::uint8_t* c, std::size_t have) {
    switch (c[1]) {
    case 0x0C: case ':':
        return 2;
    case '!': case 'B': case 'w': case 'h': case 'H': case 'f': case 'a': case 'I': case 'r':
    case 'b': case '/': case 'E': case 'T':
        return 3;
    case '$': case '\\': case 'L': case 'W': case 'P': case '*':
        return 4;
    case '^': case '(':
        return 5;
    default:
        break;
    }
    if (c[1] != 'V' && c[1] != 'k' && c[1] != 'v' && c[1] != '8') return 2;
    if (have < 3) return 0;
    const std::uint8_t m = c[2];
    switch (c[1]) {
    case 'V':
        if (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104) return 4;
        return m == 99 ? 5 : 3;
    case 'k':
        return m >= 65 && m <= 79 ? 4 : 3;
    case 'v':
        return m == '0' ? 8 : 3;
    default:  // '8'
        return m == 'L' || m == 'D' ? 7 : 3;
    }
}

std::size_t fsLength(const std::uint8_t* c) {
    switch (c[1]) {
    case '!': case '-': case 'C': case 'W':
        return 3;
    case 'S': case 'p':
        return 4;
    case '(':
        return 5;
    default:
        return 2;
    }
}

std::size_t dleLength(const std::uint8_t* c, std::size_t have) {
    if (c[1] == 0x04 || c[1] == 0x05) return 3;
    if (c[1] != 0x14) return 2;
    if (have < 3) return 0;
    switch (c[2]) {
    case 1: case 2:
        return 5;
    case 7:
        return 4;
    case 8:
        return 10;
    default:
        return 3;
    }
}

// The whole header's length once enough of it is known; 0 while more bytes
// are needed to tell.
std::size_t headerLength(const std::uint8_t* c, std::size_t have) {
    if (have < 2) return 0;
    switch (c[0]) {
    case ESC:
        return escLength(c, have);
    case GS:
        return gsLength(c, have);
    case FS:
        return fsLength(c);
    default:
        return dleLength(c, have);
    }
}

std::uint64_t le16(const std::uint8_t* p) { return p[0] | (std::uint64_t{p[1]} << 8); }

}  // namespace

void CommandParser::reset() {
    m_state = State::Ground;
    m_length = 0;
    m_headerLength = 0;
    m_remaining = 0;
    m_symbol.clear();
}

void CommandParser::headerComplete(CommandSink& sink) {
    const std::uint8_t* c = m_command.data();
    const std::size_t n = m_headerLength;
    m_state = State::Ground;
    if (c[0] == ESC && c[1] == '*') {
        const std::uint8_t m = c[2];
        if (m != 0 && m != 1 && m != 32 && m != 33) {
            sink.skipped(c, n, 0);
            return;
        }
        m_remaining = le16(c + 3) * (m >= 32 ? 3 : 1);
        sink.imageStart(c, n, m_remaining);
        m_state = State::Image;
    } else if (c[0] == ESC && c[1] == 'D') {
        // Tab positions: up to 32 bytes closed by NUL.
        sink.skipped(c, n, 0);
        m_remaining = 33;
        m_state = State::SkipToNul;
    } else if (c[0] == GS && c[1] == 'v' && c[2] == '0') {
        m_remaining = le16(c + 4) * le16(c + 6);
        sink.imageStart(c, n, m_remaining);
        m_state = State::Image;
    } else if (c[0] == GS && c[1] == 'k') {
        m_remaining = n == 4 ? c[3] : kMaxBarcodeData;
        if (n == 3 && c[2] > 6) {
            sink.command(c, n);
            return;
        }
        m_state = State::Barcode;
    } else if (c[0] == GS && c[1] == '(' && c[2] == 'k') {
        m_remaining = le16(c + 3);
        m_symbol.assign(c, c + n);
        if (m_remaining == 0) {
            sink.command(m_symbol.data(), m_symbol.size());
            return;
        }
        m_state = State::Symbol;
        return;
    } else if ((c[0] == GS || c[0] == FS) && c[1] == '(') {
        m_remaining = le16(c + 3);
        sink.skipped(c, n, m_remaining);
        m_state = State::Skip;
    } else if (c[0] == GS && c[1] == '8' && n == 7) {
        m_remaining = le16(c + 3) | (le16(c + 5) << 16);
        sink.skipped(c, n, m_remaining);
        m_state = State::Skip;
    } else if (c[0] == GS && c[1] == '*') {
        m_remaining = std::uint64_t{c[2]} * c[3] * 8;
        sink.skipped(c, n, m_remaining);
        m_state = State::Skip;
    } else {
        sink.command(c, n);
        return;
    }
    if (m_remaining > 0) return;
    // Announced data of length zero: the command is already complete.
    if (m_state == State::Image) sink.imageEnd();
    if (m_state == State::Barcode) sink.command(c, n);
    m_state = State::Ground;
}

void CommandParser::feed(std::span<const std::uint8_t> bytes, CommandSink& sink) {
    const std::uint8_t* p = bytes.data();
    const std::uint8_t* const end = p + bytes.size();
    while (p < end) {
        switch (m_state) {
        case State::Ground: {
            if (*p >= 0x20) {
                const std::uint8_t* run = p;
                while (p < end && *p >= 0x20) ++p;
                sink.text(run, static_cast<std::size_t>(p - run));
            } else if (startsCommand(*p)) {
                m_command[0] = *p++;
                m_length = 1;
                m_state = State::Header;
            } else {
                sink.control(*p++);
            }
            break;
        }
        case State::Header:
            m_command[m_length++] = *p++;
            m_headerLength = headerLength(m_command.data(), m_length);
            if (m_headerLength != 0 && m_length == m_headerLength) headerComplete(sink);
            break;
        case State::Image: {
            const auto take = static_cast<std::size_t>(
                std::min<std::uint64_t>(m_remaining, static_cast<std::uint64_t>(end - p)));
            sink.imageData(p, take);
            p += take;
            m_remaining -= take;
            if (m_remaining == 0) {
                sink.imageEnd();
                m_state = State::Ground;
            }
            break;
        }
        case State::Barcode: {
            const bool functionA = m_headerLength == 3;
            if (functionA && *p == 0x00) {
                ++p;
                sink.command(m_command.data(), m_length);
                m_state = State::Ground;
                break;
            }
            m_command[m_length++] = *p++;
            if (--m_remaining > 0) break;
            if (functionA) {
                // No terminator within the longest barcode a printer takes:
                // what follows is read as ordinary data again.
                sink.skipped(m_command.data(), m_length, 0);
            } else {
                sink.command(m_command.data(), m_length);
            }
            m_state = State::Ground;
            break;
        }
        case State::Symbol: {
            const auto take = static_cast<std::size_t>(
                std::min<std::uint64_t>(m_remaining, static_cast<std::uint64_t>(end - p)));
            m_symbol.insert(m_symbol.end(), p, p + take);
            p += take;
            m_remaining -= take;
            if (m_remaining == 0) {
                m_state = State::Ground;
                sink.command(m_symbol.data(), m_symbol.size());
                m_symbol.clear();
            }
            break;
        }
        case State::Skip: {
            const auto take = static_cast<std::size_t>(
                std::min<std::uint64_t>(m_remaining, static_cast<std::uint64_t>(end - p)));
            p += take;
            m_remaining -= take;
            if (m_remaining == 0) m_state = State::Ground;
            break;
        }
        case State::SkipToNul:
            if (*p++ == 0x00 || --m_remaining == 0) m_state = State::Ground;
            break;
        }
    }
}

}  // namespace emulator
