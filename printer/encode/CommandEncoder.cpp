#include "printer/encode/CommandEncoder.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"

namespace printer {

namespace {

constexpr std::uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C;

std::uint8_t low(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

void vlog(EncodeLog* log, bool isError, const char* format, va_list args)
{
    char text[512];
    const int n = std::vsnprintf(text, sizeof text, format, args);
    if (n < 0) return;
    const std::string_view line(text, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1));
    if (isError)
        log->error(line);
    else
        log->debug(line);
}

}  // namespace

void logDebug(EncodeLog* log, const char* format, ...)
{
    if (log == nullptr || !log->debugEnabled()) return;
    va_list args;
    va_start(args, format);
    vlog(log, false, format, args);
    va_end(args);
}

void logError(EncodeLog* log, const char* format, ...)
{
    if (log == nullptr) return;
    va_list args;
    va_start(args, format);
    vlog(log, true, format, args);
    va_end(args);
}

CommandEncoder::CommandEncoder(EncodeLog* log) : m_log(log) {}

void CommandEncoder::setModel(std::int32_t number, std::int32_t subType)
{
    m_model = number;
    m_subType = subType;
}

void CommandEncoder::clearCommands()
{
    std::memset(m_commands.data(), 0, m_dirty);
    m_dirty = 0;
    m_fill = 0;
    m_overflow = false;
    m_preFeedHere = false;
}

CommandEncoder::LineState CommandEncoder::lineState() const
{
    return {m_lineStart, m_lineTerminated, m_preFeed, m_preFeedPosition, m_preFeedHere};
}

void CommandEncoder::setLineState(const LineState& state)
{
    m_lineStart = state.lineStart;
    m_lineTerminated = state.lineTerminated;
    m_preFeed = state.preFeed;
    m_preFeedPosition = state.preFeedPosition;
    m_preFeedHere = state.preFeedHere;
}

void CommandEncoder::refuse(const char* builder, std::int32_t argument)
{
    m_overflow = true;
    logError(m_log, "%s(%d) fail:command buffer full(%zu)", builder, argument, m_fill);
}

bool CommandEncoder::putSpan(std::span<const std::uint8_t> bytes, const char* builder, std::int32_t argument)
{
    if (m_overflow || bytes.size() > kCommandBufferSize - m_fill) {
        refuse(builder, argument);
        return false;
    }
    if (!bytes.empty()) std::memcpy(m_commands.data() + m_fill, bytes.data(), bytes.size());
    m_fill += bytes.size();
    m_dirty = std::max(m_dirty, m_fill);
    return true;
}

bool CommandEncoder::put(std::initializer_list<std::uint8_t> bytes, const char* builder, std::int32_t argument)
{
    return putSpan({bytes.begin(), bytes.size()}, builder, argument);
}

std::int32_t CommandEncoder::simple(std::uint8_t b0, std::uint8_t b1, std::int32_t n, const char* builder)
{
    if (!put({b0, b1, low(n)}, builder, n)) return common::OPOS_E_FAILURE;
    logDebug(m_log, "%s(%d) ok", builder, n);
    return 0;
}

std::int32_t CommandEncoder::SetLineHigh(std::int32_t spacing)
{
    // The printers count line spacing in half dots.
    if (!put({ESC, 0x33, low(2 * spacing)}, "SetLineHigh", spacing)) return common::OPOS_E_FAILURE;
    logDebug(m_log, "SetLineHigh(%d) ok", spacing);
    return 0;
}

std::int32_t CommandEncoder::PrintnLine(std::int32_t lines) { return simple(ESC, 0x64, lines, "PrintnLine"); }

std::int32_t CommandEncoder::PrintnDot(std::int32_t dots)
{
    // ESC J feeds at most 255 dots; longer feeds are split.
    const std::int32_t clamped = std::clamp(dots, 0, 2000);
    std::uint8_t bytes[3 * 8];
    std::size_t n = 0;
    for (std::int32_t i = 0; i < clamped / 255; ++i) {
        bytes[n++] = ESC;
        bytes[n++] = 0x4A;
        bytes[n++] = 0xFF;
    }
    bytes[n++] = ESC;
    bytes[n++] = 0x4A;
    bytes[n++] = static_cast<std::uint8_t>(clamped % 255);
    if (!putSpan({bytes, n}, "PrintnDot", dots)) return common::OPOS_E_FAILURE;
    logDebug(m_log, "PrintnDot(%d) ok", dots);
    return 0;
}

std::int32_t CommandEncoder::SelectFont(std::int32_t font) { return simple(ESC, 0x4D, font, "SelectFont"); }

std::int32_t CommandEncoder::UnderLine(std::int32_t mode)
{
    // ESC - for single-byte characters, FS - for double-byte ones.
    if (!put({ESC, 0x2D, low(mode), FS, 0x2D, low(mode)}, "UnderLine", mode)) return common::OPOS_E_FAILURE;
    logDebug(m_log, "UnderLine(%d) ok", mode);
    return 0;
}

std::int32_t CommandEncoder::Bold(std::int32_t on) { return simple(ESC, 0x45, on, "Bold"); }
std::int32_t CommandEncoder::Inversion(std::int32_t on) { return simple(ESC, 0x7B, on, "Inversion"); }
std::int32_t CommandEncoder::Reverse(std::int32_t on) { return simple(GS, 0x42, on, "Reverse"); }
std::int32_t CommandEncoder::ExtendSpec(std::int32_t size) { return simple(GS, 0x21, size, "ExtendSpec"); }

std::int32_t CommandEncoder::Extend(std::int32_t size)
{
    // In page mode the printer positions a line by its baseline, so a tall
    // character would overprint the line above: each line starts with a
    // feed, grown in place to the tallest character met on the line.
    if (m_pageMode) {
        const std::int32_t h = size & 0x0F;
        const auto c = static_cast<std::uint8_t>((h * 22) & 0xFF);
        if (!m_lineStart) {
            if (c != 0 && c > m_preFeed && m_preFeedHere && m_preFeedPosition < m_fill) {
                m_preFeed = c;
                m_commands[m_preFeedPosition] = c;
            }
        } else {
            if (!put({ESC, 0x4A, c, GS, 0x21, low(size)}, "Extend", size)) return common::OPOS_E_FAILURE;
            m_preFeed = c;
            m_preFeedPosition = m_fill - 4;
            m_preFeedHere = true;
            m_lineStart = false;
            logDebug(m_log, "Extend(%d) ok", size);
            return 0;
        }
    }
    return simple(GS, 0x21, size, "Extend");
}

std::int32_t CommandEncoder::SetAlign(std::int32_t align) { return simple(ESC, 0x61, align, "SetAlign"); }

std::int32_t CommandEncoder::SetColor(std::int32_t colour)
{
    logDebug(m_log, "SetColor(%d)", colour);
    // K93 has a single-colour head and takes ESC r as data.
    if (m_model == model::K92 && m_subType == model::K93SubType) {
        logError(m_log, "SetColor fail:RX_K93%s", "");
        return 0;
    }
    if (!put({ESC, 0x72, low(colour)}, "SetColor", colour)) return common::OPOS_E_FAILURE;
    logDebug(m_log, "SetColor ok%s", "");
    return 0;
}

std::int32_t CommandEncoder::ThermalEnterColorMode(std::int32_t on)
{
    logDebug(m_log, "ThermalEnterColorMode(%d)", on);
    if (!put({ESC, 0x72, low(on)}, "ThermalEnterColorMode", on)) return common::OPOS_E_FAILURE;
    logDebug(m_log, "ThermalEnterColorMode ok%s", "");
    return 0;
}

std::int32_t CommandEncoder::ThermalSelectColor(std::int32_t colour)
{
    logDebug(m_log, "ThermalSelectColor(%d)", colour);
    if (!put({ESC, 0x43, low(colour)}, "ThermalSelectColor", colour)) return common::OPOS_E_FAILURE;
    logDebug(m_log, "ThermalSelectColor ok%s", "");
    return 0;
}

std::int32_t CommandEncoder::SetBackPaper(std::int32_t lines) { return simple(ESC, 0x65, lines, "SetBackPaper"); }
std::int32_t CommandEncoder::SetAsiaChar(std::int32_t mode) { return simple(FS, 0x21, mode, "SetAsiaChar"); }
std::int32_t CommandEncoder::SetASCChar(std::int32_t mode) { return simple(ESC, 0x21, mode, "SetASCChar"); }

std::int32_t CommandEncoder::SetBarCode(std::int32_t width, std::int32_t height, std::int32_t system,
                                        std::string_view data)
{
    const auto length = static_cast<std::int32_t>(data.size());
    if (data.size() > 255) {
        logError(m_log, "SetBarCode(%d,%d,%d,%d) fail:data too long", width, height, system, length);
        return common::OPOS_E_FAILURE;
    }
    if (m_overflow || 11 + data.size() > kCommandBufferSize - m_fill) {
        refuse("SetBarCode", length);
        return common::OPOS_E_FAILURE;
    }
    put({GS, 0x77, low(width), GS, 0x68, low(height), GS, 0x6B, low(system + 0x41), low(length)}, "SetBarCode", length);
    putSpan({reinterpret_cast<const std::uint8_t*>(data.data()), data.size()}, "SetBarCode", length);
    logDebug(m_log, "SetBarCode(%d,%d,%d,%d,\"%.*s\") ok", width, height, system, length, length, data.data());
    return 0;
}

std::int32_t CommandEncoder::SetQrCode(std::int32_t moduleSize, std::int32_t level, std::string_view data)
{
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(data.size(), 0x7FFFFFFF));
    // The store command counts its data and its three function bytes in 16 bits.
    constexpr std::size_t kMaxStoredData = 0xFFFF - 3;
    if (data.size() > kMaxStoredData) {
        logError(m_log, "SetQrCode(%d,%d,%d) fail:data too long", moduleSize, level, length);
        return common::OPOS_E_FAILURE;
    }
    constexpr std::size_t kFixedBytes = 9 + 8 + 8 + 8 + 8;
    if (m_overflow || kFixedBytes + data.size() > kCommandBufferSize - m_fill) {
        refuse("SetQrCode", length);
        return common::OPOS_E_FAILURE;
    }
    const std::size_t stored = data.size() + 3;
    put({GS, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00}, "SetQrCode", length);  // model 2
    put({GS, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, low(moduleSize)}, "SetQrCode", length);
    put({GS, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, low(0x30 + level)}, "SetQrCode", length);
    put({GS, 0x28, 0x6B, low(static_cast<std::int32_t>(stored)), low(static_cast<std::int32_t>(stored >> 8)), 0x31,
         0x50, 0x30},
        "SetQrCode", length);
    putSpan({reinterpret_cast<const std::uint8_t*>(data.data()), data.size()}, "SetQrCode", length);
    put({GS, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30}, "SetQrCode", length);  // print the stored symbol
    logDebug(m_log, "SetQrCode(%d,%d,%d) ok", moduleSize, level, length);
    return 0;
}

std::int32_t CommandEncoder::SetHRI(std::int32_t position, std::int32_t font)
{
    if (!put({GS, 0x48, low(position), GS, 0x66, low(font)}, "SetHRI", position)) return common::OPOS_E_FAILURE;
    logDebug(m_log, "SetHRI(%d,%d) ok", position, font);
    return 0;
}

std::int32_t CommandEncoder::Cut(std::int32_t mode, std::int32_t feed)
{
    bool fits = true;
    if (mode == 0 || mode == 1)
        fits = put({GS, 0x56, low(mode)}, "Cut", mode);
    else if (mode == 66)
        fits = put({GS, 0x56, 0x42, low(feed)}, "Cut", mode);
    if (!fits) return common::OPOS_E_FAILURE;
    logDebug(m_log, "Cut(%d,%d) ok", mode, feed);
    return 0;
}

std::int32_t CommandEncoder::PrintLogo(std::int32_t which)
{
    const int slot = which == 0 ? 0 : 1;
    if (!putSpan({m_logos[slot].data(), m_logoLength[slot]}, "PrintLogo", which)) return common::OPOS_E_FAILURE;
    logDebug(m_log, "PrintLogo(%d) ok", which);
    return 0;
}

bool CommandEncoder::setLogo(std::int32_t which, std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > kLogoSize) return false;
    const int slot = which == 0 ? 0 : 1;
    std::copy(bytes.begin(), bytes.end(), m_logos[slot].begin());
    m_logoLength[slot] = bytes.size();
    return true;
}

std::int32_t CommandEncoder::PrintBMP(std::int32_t number, std::int32_t rotate180, std::int32_t* outWidth)
{
    const std::int32_t width = outWidth != nullptr ? *outWidth : 0;
    logDebug(m_log, "PrintBMP(%d,%d,%d(0x%02x)", number, rotate180, width, static_cast<unsigned>(width));
    if (!m_lineTerminated) {
        if (!put({ESC, 0x64, 0x01}, "PrintBMP", number)) return -1;
        m_lineTerminated = true;
    }
    m_currentBitmapPath = m_bitmapDirectory;
    m_currentBitmapPath += m_bitmapPrefix;
    m_currentBitmapPath += std::to_string(number);
    std::int32_t result = -1;
    std::int32_t bitmapWidth = 0;
    if (m_bitmapToCommands) result = m_bitmapToCommands(*this, m_currentBitmapPath, number, rotate180, &bitmapWidth);
    if (result < 0) {
        logError(m_log, "PrintBMP %d:PrintBitmapToRAM fail%s", -1, "");
        return -1;
    }
    if (outWidth != nullptr) *outWidth = bitmapWidth;
    logDebug(m_log, "PrintBMP:%d%s", result, "");
    return result;
}

std::int32_t CommandEncoder::appendCommands(std::span<const std::uint8_t> bytes)
{
    return putSpan(bytes, "appendCommands", static_cast<std::int32_t>(bytes.size())) ? 0 : common::OPOS_E_FAILURE;
}

std::int32_t CommandEncoder::SelectStation(std::int32_t station)
{
    m_fill = 0;
    m_overflow = false;
    const std::uint8_t s = station == 0x8003 ? 3 : low(station);
    const std::uint8_t bytes[] = {ESC, 0x63, 0x30, s};
    std::memcpy(m_staging.data(), bytes, sizeof bytes);
    m_fill = sizeof bytes;
    logDebug(m_log, "SelectStation(%d) ok", station);
    return 0;
}

std::int32_t CommandEncoder::AddData2(std::span<const std::uint8_t> data)
{
    const auto length = static_cast<std::int32_t>(data.size());
    if (m_overflow || data.size() > kStagingBufferSize - std::min(m_fill, kStagingBufferSize)) {
        m_overflow = true;
        logError(m_log, "AddData2(length=%d) fail:staging buffer full(%zu)", length, m_fill);
        return common::OPOS_E_FAILURE;
    }
    if (!data.empty()) std::memcpy(m_staging.data() + m_fill, data.data(), data.size());
    m_fill += data.size();
    logDebug(m_log, "AddData2(length=%d) ok", length);
    return 0;
}

std::int32_t CommandEncoder::Journaltab()
{
    if (m_overflow || m_fill >= kStagingBufferSize) {
        m_overflow = true;
        logError(m_log, "Journaltab fail:staging buffer full(%zu)", m_fill);
        return common::OPOS_E_FAILURE;
    }
    m_staging[m_fill++] = 0x1E;
    logDebug(m_log, "Journaltab ok%s", "");
    return 0;
}

}  // namespace printer
