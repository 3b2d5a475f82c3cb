#include "printer/encode/EscapeTranslator.h"

#include <algorithm>
#include <climits>
#include <new>
#include <string>

#include "common/OposConstants.h"
#include "printer/encode/BinaryCode.h"

namespace printer {

namespace {

constexpr std::uint8_t ESC = 0x1B, LF = 0x0A, CR = 0x0D;

bool isCommandLetter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || c == 'p'; }

bool anyDoubleByte(std::span<const std::uint8_t> data)
{
    return std::any_of(data.begin(), data.end(), [](std::uint8_t b) { return b >= 0x80; });
}

}  // namespace

// One ESC '|' ... letter sequence: the letter, the digits met on the way
// as a number, and the two bytes just before the letter.
struct EscapeTranslator::Sequence {
    std::uint8_t letter;
    std::int32_t number;
    std::size_t prefixLength;
    std::uint8_t prefix;   // byte before the letter, 0 without a prefix
    std::uint8_t prefix2;  // byte before that, 0 when the prefix is shorter
};

EscapeTranslator::EscapeTranslator(EncodeLog* log) : m_log(log), m_encoder(log) {}

void EscapeTranslator::setSettings(const TranslatorSettings& settings)
{
    m_settings = settings;
    m_encoder.setModel(settings.model, settings.subType);
}

std::int32_t EscapeTranslator::translate(std::int32_t station, std::span<const std::uint8_t> data)
{
    switch (m_settings.model) {
    case model::K92:
    case model::K91:
    case model::K90:
        return TranslateCtlCodeK92(data);
    case model::F60:
        return TranslateCtlCodeF60(station, data);
    default:
        return TranslateCtlCode(data);
    }
}

bool EscapeTranslator::twoColour() const
{
    switch (m_settings.model) {
    case model::A14:
    case model::A15:
    case model::G70:
    case model::A14X:
    case model::A17:
    case model::A18:
    case model::D40:
        return true;
    default:
        return false;
    }
}

std::int32_t EscapeTranslator::defaultFont(bool doubleByte) const
{
    const std::int32_t m = m_settings.model;
    return doubleByte && (m == model::B20 || m == model::A10X || m == model::H80) ? 3 : 0;
}

void EscapeTranslator::sendLineSpacing()
{
    if (m_settings.recLineSpacing == m_lastSpacing) return;
    if (m_encoder.SetLineHigh(m_settings.recLineSpacing) == 0) m_lastSpacing = m_settings.recLineSpacing;
}

std::int32_t EscapeTranslator::feedDots(std::int32_t number) const
{
    std::int32_t dots = 0;
    SetLinParInDot2(m_log, &dots, m_settings.mapMode, number == 0 ? 1 : number);
    return dots;
}

void EscapeTranslator::logData(const char* name, const char* beginText, std::int32_t tag,
                               std::span<const std::uint8_t> data)
{
    if (m_log == nullptr || !m_log->debugEnabled()) return;
    logDebug(m_log, "%s", beginText);
    const auto length = static_cast<std::int32_t>(data.size());
    const unsigned first = data.empty() ? 0u : data.front();
    if (data.empty()) {
        logDebug(m_log, "%s(0x%02x,0x%02x,%d)", name, first, static_cast<unsigned>(tag), length);
        return;
    }
    try {
        std::string text;
        text.reserve(data.size() * 5);
        char hex[8];
        for (const std::uint8_t b : data) {
            if (b < 0x20 || b > 0x7E) {
                std::snprintf(hex, sizeof hex, "0x%02x ", b);
                text += hex;
            } else {
                text += static_cast<char>(b);
            }
        }
        std::string line = std::string(name) + "(\"" + text + "\",0x";
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned>(tag & 0xFF));
        line += hex;
        line += ", " + std::to_string(length) + ")";
        m_log->debug(line);
    } catch (const std::bad_alloc&) {
        const char* malloc = std::string_view(name) == "TranslateCtlCodeF60" ? "TranslateCtlCodeF60station" : name;
        logDebug(m_log, "%s(0x%02x,0x%02x,%d) malloc failed", malloc, first, static_cast<unsigned>(tag), length);
    }
}

void EscapeTranslator::text(const std::uint8_t* bytes, std::size_t count)
{
    if (m_encoder.appendCommands({bytes, count}) != 0) return;
    m_metrics.currentWidth += static_cast<std::int32_t>(count) * m_metrics.widthScale * m_settings.charWidth;
    // Text on the line: a picture after it must first finish the line,
    // whether it comes later in this call or in a later one.
    if (count > 0) m_encoder.setLineTerminated(false);
}

EscapeTranslator::Snapshot EscapeTranslator::snapshot() const
{
    // Taken as a call starts: the call restarts the command buffer, so no
    // pre-feed of an earlier buffer can be patched after it.
    Snapshot saved{m_line, m_metrics, m_encoder.lineState(), m_lastSpacing};
    saved.encoder.preFeedHere = false;
    return saved;
}

std::int32_t EscapeTranslator::translateApart(std::int32_t station, std::span<const std::uint8_t> data)
{
    const Snapshot saved = snapshot();
    const std::int32_t count = translate(station, data);
    restore(saved);
    return count;
}

void EscapeTranslator::restore(const Snapshot& saved)
{
    m_line = saved.line;
    m_metrics = saved.metrics;
    m_encoder.setLineState(saved.encoder);
    m_lastSpacing = saved.lastSpacing;
}

void EscapeTranslator::restoreAfterBitmap()
{
    m_encoder.SetAlign(m_line.alignment);
    if (m_settings.rotate180) m_encoder.Inversion(1);
    // The bit image's bands leave the printer at its default line spacing.
    if (m_lastSpacing >= 0) m_encoder.SetLineHigh(m_lastSpacing);
}

void EscapeTranslator::printBitmap(std::int32_t number)
{
    if (m_encoder.PrintBMP(number, m_settings.rotate180 ? 1 : 0, &m_metrics.currentWidth) < 0) {
        m_bitmapFailed = true;
        return;
    }
    m_metrics.widestLine = std::max(m_metrics.widestLine, 2 * m_metrics.currentWidth);
    restoreAfterBitmap();
}

template <typename OnSequence, typename OnLineFeed>
void EscapeTranslator::walk(std::span<const std::uint8_t> data, bool keepStationSelect, OnSequence onSequence,
                            OnLineFeed onLineFeed)
{
    const std::size_t n = data.size();
    std::size_t i = 0;
    while (i < n && !m_encoder.overflowed() && !m_bitmapFailed) {
        const std::uint8_t b = data[i];
        if (b == LF) {
            m_encoder.appendCommands({&data[i], 1});
            m_lineFeedSeen = true;
            m_metrics.closeLine();
            m_metrics.currentWidth = 0;
            onLineFeed();
            m_encoder.setLineStart(true);
            m_encoder.setLineTerminated(true);
            ++i;
            continue;
        }
        if (b != ESC) {
            std::size_t end = i + 1;
            while (end < n && data[end] != ESC && data[end] != LF) ++end;
            text(&data[i], end - i);
            i = end;
            continue;
        }
        if (i + 1 >= n || data[i + 1] != '|') {
            // F60's station selects in the data (ESC c 0 n, ESC z n) go to
            // the printer whole; they select, they print nothing.
            if (keepStationSelect && i + 1 < n && (data[i + 1] == 'c' || data[i + 1] == 'z')) {
                const std::size_t end = std::min(n, i + (data[i + 1] == 'c' ? 4 : 3));
                m_encoder.appendCommands({&data[i], end - i});
                i = end;
                continue;
            }
            ++i;
            continue;
        }
        std::size_t j = i + 2;
        std::int64_t number = 0;
        while (j < n && !isCommandLetter(data[j])) {
            if (data[j] >= '0' && data[j] <= '9') number = std::min<std::int64_t>(number * 10 + (data[j] - '0'), INT32_MAX);
            ++j;
        }
        if (j >= n) break;  // the data ended inside the sequence
        Sequence s{data[j], static_cast<std::int32_t>(number), j - (i + 2), 0, 0};
        if (s.prefixLength >= 1) s.prefix = data[j - 1];
        if (s.prefixLength >= 2) s.prefix2 = data[j - 2];
        onSequence(s);
        i = j + 1;
    }
}

std::int32_t EscapeTranslator::finish(const char* name, const Snapshot& saved)
{
    if (m_encoder.overflowed() || m_bitmapFailed) {
        if (m_bitmapFailed)
            logError(m_log, "%s fail:a stored bitmap could not be printed", name);
        else
            logError(m_log, "%s fail:commands exceed the command buffer", name);
        m_encoder.clearCommands();
        restore(saved);
        return -1;
    }
    m_metrics.closeLine();
    const std::int32_t count = m_encoder.fillCount();
    logDebug(m_log, "%s:%d", name, count);
    return count;
}

std::int32_t EscapeTranslator::TranslateCtlCode(std::span<const std::uint8_t> data)
{
    logData("TranslateCtlCode", "TranslateCtlCode Begin", data.empty() ? 0 : data.front(), data);
    CommandEncoder& e = m_encoder;
    const Snapshot saved = snapshot();
    e.clearCommands();
    m_bitmapFailed = false;
    const bool doubleByte = anyDoubleByte(data);
    const std::int32_t m = m_settings.model;
    if (m == model::B20 || m == model::A10X || m == model::H80)
        e.SelectFont(doubleByte ? 3 : (m_settings.recLineChars == 38 ? 1 : 0));
    else
        e.SelectFont(m_settings.recLineChars == 56 ? 1 : 0);
    sendLineSpacing();
    e.Inversion(m_settings.rotate180 ? 1 : 0);
    if (twoColour()) e.ThermalEnterColorMode(0);

    LineState& reset = m_line;
    std::uint8_t& sizeByte = m_line.sizeByte;
    const bool pageMode = e.pageMode();

    auto onLineFeed = [&] {
        if (reset.size) e.Extend(0);
        if (reset.font) e.SelectFont(defaultFont(doubleByte));
        if (reset.align) e.SetAlign(0);
        if (reset.bold) e.Bold(0);
        if (reset.reverse) e.Reverse(0);
        if (reset.underline) e.UnderLine(0);
        reset = {};
    };

    auto onSequence = [&](const Sequence& s) {
        const std::int32_t num = s.number;
        switch (s.letter) {
        case 'A':
            if (s.prefix == 'c' || s.prefix == 'r') {
                reset.alignment = s.prefix == 'c' ? 1 : 2;
                e.SetAlign(reset.alignment);
                reset.align = true;
            }
            break;
        case 'B':
            if (s.prefixLength > 0 && num >= 1 && num <= 20) printBitmap(num);
            break;
        case 'C':
            switch (s.prefix) {
            case '1':
                e.Extend(0);
                break;
            case '2':
                m_metrics.widthScale = 2;
                e.Extend(0x10);
                reset.size = true;
                break;
            case '3':
                m_metrics.heightScale = 2;
                e.Extend(0x01);
                reset.size = true;
                break;
            case '4':
                m_metrics.widthScale = m_metrics.heightScale = 2;
                e.Extend(0x11);
                reset.size = true;
                break;
            case 'b':
                e.Bold(1);
                reset.bold = true;
                break;
            case 'u':
                e.UnderLine(num >= 2 ? 2 : 1);
                reset.underline = true;
                break;
            case 'r':
                if (twoColour()) {
                    e.ThermalEnterColorMode(1);
                    e.ThermalSelectColor(s.prefixLength == 1 || num == 1 ? 0 : 1);
                }
                break;
            case 'h': {
                const std::int32_t scale = std::clamp(num, 1, 6);
                m_metrics.widthScale = scale;
                if (scale >= 2) sizeByte |= static_cast<std::uint8_t>((scale - 1) << 4);
                e.Extend(sizeByte);
                reset.size = true;
                break;
            }
            case 'v':
                if (s.prefix2 == 'r') {
                    e.Reverse(1);
                    reset.reverse = true;
                } else {
                    const std::int32_t scale = std::clamp(num, 1, 6);
                    m_metrics.heightScale = scale;
                    if (scale >= 2) sizeByte |= static_cast<std::uint8_t>(scale - 1);
                    e.Extend(sizeByte);
                    reset.size = true;
                }
                break;
            default:
                break;
            }
            break;
        case 'F':
            if (pageMode) break;
            if (s.prefix == 'l')
                e.PrintnLine(std::clamp(num, 1, 255));
            else if (s.prefix == 'u')
                e.PrintnDot(static_cast<std::int32_t>(std::min<std::int64_t>(2LL * feedDots(num), INT32_MAX)));
            break;
        case 'L':
            if (s.prefix == 't' || s.prefix == 'b') e.PrintLogo(s.prefix == 't' ? 0 : 1);
            break;
        case 'N':
            m_metrics.widthScale = m_metrics.heightScale = 1;
            e.ExtendSpec(0);
            e.SelectFont(defaultFont(doubleByte));
            e.SetAlign(0);
            reset.alignment = 0;
            e.Bold(0);
            e.Reverse(0);
            if (twoColour()) e.ThermalEnterColorMode(0);
            e.UnderLine(0);
            reset = {.size = reset.size};
            break;
        case 'P':
        case 'p':
            if (pageMode || s.prefix == 's') break;
            if (s.prefix == 'f')
                e.Cut(66, num);
            else
                e.Cut(1, 0);
            break;
        case 'T':
            if (s.prefix == 'f') {
                const std::int32_t font = std::clamp(num, 0, 3);
                if (font >= 1) reset.font = true;
                e.SelectFont(doubleByte && defaultFont(true) == 3 ? 3 : font);
            }
            break;
        default:
            break;
        }
    };

    walk(data, false, onSequence, onLineFeed);
    logDebug(m_log, "TranslateCtlCode Take data finish");
    return finish("TranslateCtlCode", saved);
}

// The print-mode bytes of ESC ! and FS ! that the K9x and F60 printers take
// instead of separate size, underline and emphasis commands.
struct EscapeTranslator::PrintMode {
    bool underline = false;
    bool fontA = true;
    bool emphasis = false;
    bool sized = false;
    std::uint8_t sizeSingle = 0;
    std::uint8_t sizeDouble = 0;

    std::int32_t single() const
    {
        return (underline ? 0x80 : 0) | (fontA ? 0 : 0x01) | (emphasis ? 0x08 : 0) | (sized ? sizeSingle : 0);
    }
    std::int32_t doubleByte() const { return (underline ? 0x80 : 0) | (sized ? sizeDouble : 0); }
    void clearSize()
    {
        sized = false;
        sizeSingle = sizeDouble = 0;
    }
};

std::int32_t EscapeTranslator::TranslateCtlCodeK92(std::span<const std::uint8_t> data)
{
    logData("TranslateCtlCodeK92", "TranslateCtlCodeK92 Begin", data.empty() ? 0 : data.front(), data);
    return translatePrintMode(Kind::K92, 0, data);
}

std::int32_t EscapeTranslator::TranslateCtlCodeF60(std::int32_t station, std::span<const std::uint8_t> data)
{
    logData("TranslateCtlCodeF60", "TranslateCtlCodeF60 Begin:", station, data);
    return translatePrintMode(Kind::F60, station, data);
}

std::int32_t EscapeTranslator::translatePrintMode(Kind kind, std::int32_t station, std::span<const std::uint8_t> data)
{
    const bool f60 = kind == Kind::F60;
    const char* name = f60 ? "TranslateCtlCodeF60" : "TranslateCtlCodeK92";
    CommandEncoder& e = m_encoder;
    const Snapshot saved = snapshot();
    e.clearCommands();
    m_bitmapFailed = false;
    m_lineFeedSeen = false;
    e.SetAsiaChar(0);
    e.SetASCChar(0);
    e.SetAlign(0);
    m_line.alignment = 0;
    e.SetColor(0);
    e.Bold(0);
    PrintMode mode;
    if (f60) {
        bool narrow = false;
        if (station == 1)
            narrow = m_settings.jrnLineChars == 40;
        else if (station == 4)
            narrow = m_settings.slpLineChars == 91;
        else if (station == 2 || station == 3 || station == 0x8003)
            narrow = m_settings.recLineChars == 40;
        e.SetASCChar(narrow ? 1 : 0);
        mode.fontA = !narrow;
    } else {
        e.SelectFont(m_settings.recLineChars == 40 ? 1 : 0);
    }
    sendLineSpacing();
    e.Inversion(m_settings.rotate180 ? 1 : 0);
    const bool pageMode = e.pageMode();
    // Journal and receipt printed together share one alignment; only a
    // single station may be aligned, and only receipt and slip take bitmaps.
    const bool alignable = !f60 || station == 1 || station == 2 || station == 4;
    const bool bitmaps = !f60 || station == 2 || station == 4;

    auto onLineFeed = [&] {
        e.SetASCChar(0);
        e.SetAsiaChar(0);
        e.SetAlign(0);
        m_line.alignment = 0;
        e.SetColor(0);
        e.SetBackPaper(0);
        e.Bold(0);
        mode.fontA = true;
        mode.emphasis = false;
        mode.underline = false;
        mode.clearSize();
    };

    auto onSequence = [&](const Sequence& s) {
        const std::int32_t num = s.number;
        switch (s.letter) {
        case 'A':
            if ((s.prefix == 'c' || s.prefix == 'r') && alignable) {
                m_line.alignment = s.prefix == 'c' ? 1 : 2;
                e.SetAlign(m_line.alignment);
            }
            break;
        case 'B':
            if (bitmaps && s.prefixLength > 0 && num >= 1 && num <= 20) printBitmap(num);
            break;
        case 'C':
            switch (s.prefix) {
            case '1':
                mode.clearSize();
                break;
            case '2':
            case '3':
            case '4': {
                // A size escape names the whole size: it replaces the one
                // before it, as GS ! does on the other models.
                const bool wide = s.prefix != '3', high = s.prefix != '2';
                mode.clearSize();
                m_metrics.widthScale = wide ? 2 : 1;
                m_metrics.heightScale = high ? 2 : 1;
                if (wide) {
                    mode.sizeSingle |= 0x20;
                    mode.sizeDouble |= 0x04;
                }
                if (high) {
                    mode.sizeSingle |= 0x10;
                    mode.sizeDouble |= 0x08;
                }
                mode.sized = true;
                break;
            }
            case 'b':
                e.Bold(1);
                mode.emphasis = true;
                break;
            case 'u':
                mode.underline = true;
                break;
            case 'r':
                e.SetColor(s.prefixLength == 1 || num == 2 || num < 0 ? 1 : 0);
                break;
            case 'h': {
                const std::int32_t scale = std::clamp(num, 1, 2);
                m_metrics.widthScale = scale;
                if (scale == 2) {
                    mode.sizeSingle |= 0x20;
                    mode.sizeDouble |= 0x04;
                    mode.sized = true;
                } else {
                    mode.sized = false;
                }
                break;
            }
            case 'v':
                if (s.prefix2 != 'r') {
                    const std::int32_t scale = std::clamp(num, 1, 2);
                    m_metrics.heightScale = scale;
                    if (scale == 2) {
                        mode.sizeSingle |= 0x10;
                        mode.sizeDouble |= 0x08;
                    }
                    mode.sized = true;
                }
                break;
            default:
                break;
            }
            break;
        case 'F':
            if (pageMode) break;
            if (s.prefix == 'l')
                e.PrintnLine(std::clamp(num, 1, 255));
            else if (s.prefix == 'u')
                e.PrintnDot(feedDots(num));
            else if (s.prefix == 'r')
                e.SetBackPaper(num <= 2 ? 1 : 2);
            break;
        case 'L':
            if (s.prefix == 't' || s.prefix == 'b') e.PrintLogo(s.prefix == 't' ? 0 : 1);
            break;
        case 'N':
            m_metrics.widthScale = m_metrics.heightScale = 1;
            mode.clearSize();
            mode.fontA = true;
            e.SetAlign(0);
            m_line.alignment = 0;
            e.SetColor(0);
            e.SetBackPaper(0);
            e.Bold(0);
            mode.emphasis = false;
            mode.underline = false;
            break;
        case 'P':
        case 'p':
            if (pageMode || s.prefix == 's') break;
            if (s.prefixLength == 0)
                e.Cut(0, 0);
            else if (s.prefix == 'f')
                e.Cut(66, num);
            else
                e.Cut(num < 100 ? 1 : 0, 0);
            break;
        case 'T':
            if (f60 && s.prefix == 'f') mode.fontA = num != 2;
            break;
        default:
            break;
        }
        e.SetASCChar(mode.single());
        e.SetAsiaChar(mode.doubleByte());
    };

    walk(data, f60, onSequence, onLineFeed);
    logDebug(m_log, f60 ? "TranslateCtlCodeF60 Take data finish:" : "TranslateCtlCodeK92 Take data finish");
    return finish(name, saved);
}

std::int32_t EscapeTranslator::CountChar(std::span<const std::uint8_t> data)
{
    logDebug(m_log, "CountChar Begin:");
    const auto length = static_cast<std::int32_t>(data.size());
    if (8LL * length > 65528)
        logDebug(m_log, "CountChar(the data is so long ,%d)", length);
    else
        logData("CountChar", "", data.empty() ? 0 : data.front(), data);

    CommandEncoder& e = m_encoder;
    e.clearCommands();
    std::int32_t charWidth = m_settings.recLineChars == 40 ? 9 : 12;
    sendLineSpacing();
    m_metrics.currentWidth = 0;
    std::int32_t bitmapWidth = 0;

    const std::size_t n = data.size();
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = data[i];
        if (b == LF || b == CR) {
            ++i;
            continue;
        }
        if (b != ESC) {
            e.appendCommands({&data[i], 1});
            m_metrics.currentWidth +=
                m_settings.asianCharMode && b >= 0x80 ? 9 : m_metrics.widthScale * charWidth;
            ++i;
            continue;
        }
        if (i + 1 >= n || data[i + 1] != '|') {
            ++i;
            continue;
        }
        std::size_t j = i + 2;
        std::int64_t number = 0;
        while (j < n && !isCommandLetter(data[j])) {
            if (data[j] >= '0' && data[j] <= '9') number = std::min<std::int64_t>(number * 10 + (data[j] - '0'), INT32_MAX);
            ++j;
        }
        if (j >= n) break;
        const auto num = static_cast<std::int32_t>(number);
        const std::uint8_t letter = data[j];
        const std::uint8_t prefix = j > i + 2 ? data[j - 1] : 0;
        if (letter == 'C' && (prefix == '2' || prefix == '4'))
            m_metrics.widthScale = 2;
        else if ((letter == 'C' && prefix == '1') || letter == 'N')
            m_metrics.widthScale = 1;
        else if (letter == 'C' && prefix == 'h')
            m_metrics.widthScale = std::clamp(num, 1, 2);
        else if (letter == 'T' && prefix == 'f')
            charWidth = num == 2 ? 9 : 12;
        else if (letter == 'B' && prefix != 0 && num >= 1 && num <= 20)
            bitmapWidth = 2 * m_metrics.currentWidth;
        i = j + 1;
    }
    logDebug(m_log, "CountChar Take data finish:");

    const std::int32_t width = std::max(m_metrics.currentWidth, bitmapWidth);
    const std::int32_t scale = m_metrics.widthScale;
    m_metrics.closeLine();
    std::int32_t result = -1;
    if (width <= 360) result = (360 - width) / scale / charWidth;
    m_metrics.widthScale = 1;
    logDebug(m_log, "CountChar:%d%s", result, "");
    return result;
}

}  // namespace printer
