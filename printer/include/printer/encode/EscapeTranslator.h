#pragma once
// The escape sequence translators: print data with OPOS escape sequences
// (ESC '|' ... letter) in, printer command bytes out, plus the line
// metrics rotated and page-mode printing need. Pure code, no I/O.
//
// Not thread-safe: one translator belongs to one service object and is used
// under its print lock.
#include <cstdint>
#include <span>

#include "printer/ModelCatalogue.h"
#include "printer/encode/CommandEncoder.h"
#include "printer/encode/EncodeLog.h"
#include "printer/encode/LineMetrics.h"

namespace printer {

// The property values the translators follow; the service object keeps
// them in step with its properties.
struct TranslatorSettings {
    std::int32_t model = model::None;
    std::int32_t subType = 0;
    std::int32_t charWidth = 12;  // the model's default character width, dots
    std::int32_t recLineChars = 42;
    std::int32_t recLineSpacing = 30;
    std::int32_t jrnLineChars = 0;
    std::int32_t slpLineChars = 0;
    std::int32_t mapMode = 1;
    bool rotate180 = false;      // the rotation state is upside-down
    bool asianCharMode = false;  // ClaimDevice found the printer in Asian mode
};

class EscapeTranslator {
public:
    // `log` may be null and must outlive the translator.
    explicit EscapeTranslator(EncodeLog* log = nullptr);

    void setSettings(const TranslatorSettings& settings);
    const TranslatorSettings& settings() const { return m_settings; }

    // What PrintNormal calls: the model's translator for `station` (1
    // journal, 2 receipt, 3 or 0x8003 both, 4 slip; only F60 looks at it).
    // Returns the command byte count, commands() holds the bytes. -1, with an
    // error line and an empty command buffer, when the commands would not
    // fit the command buffer or a stored bitmap could not be printed; the
    // line state is then as it was before the call, since nothing of it
    // reaches the printer.
    std::int32_t translate(std::int32_t station, std::span<const std::uint8_t> data);

    // As translate(), for commands kept to print later (a logo): the line
    // state of the device is left as it was, since nothing reached the
    // printer.
    std::int32_t translateApart(std::int32_t station, std::span<const std::uint8_t> data);

    std::int32_t TranslateCtlCode(std::span<const std::uint8_t> data);
    std::int32_t TranslateCtlCodeK92(std::span<const std::uint8_t> data);
    std::int32_t TranslateCtlCodeF60(std::int32_t station, std::span<const std::uint8_t> data);
    // Further characters that fit into F60's 360-dot line after `data`, or
    // -1 when the data alone is wider. The measure starts at the left margin.
    std::int32_t CountChar(std::span<const std::uint8_t> data);

    std::span<const std::uint8_t> commands() const { return m_encoder.commands(); }
    CommandEncoder& encoder() { return m_encoder; }
    const LineMetrics& metrics() const { return m_metrics; }
    // Page-mode blocks size themselves from the metrics and restart them.
    LineMetrics& metrics() { return m_metrics; }
    // A new page-mode block or rotated job measures from scratch.
    void resetMetrics() { m_metrics = LineMetrics{}; }
    bool lineFeedSeen() const { return m_lineFeedSeen; }

    // A bit image sets its own alignment, upright printing and the default
    // line spacing: this appends the commands that give the text after it
    // the line's own back. Called after every picture the encoder printed.
    void restoreAfterBitmap();

private:
    struct Sequence;
    struct PrintMode;
    enum class Kind { Standard, K92, F60 };

    // What an escape sequence changed on the current line and must be
    // switched back at its end. A line may be finished by a later call than
    // the one that began it, so this lives as long as the device.
    struct LineState {
        bool size = false, font = false, align = false, bold = false, reverse = false, underline = false;
        std::uint8_t sizeByte = 0;  // GS ! of the line so far
        std::int32_t alignment = 0;  // ESC a in force: 0 left, 1 centre, 2 right
    };
    // Everything a translation changes besides its output, kept so that a
    // call that fails leaves none of it behind.
    struct Snapshot {
        LineState line;
        LineMetrics metrics;
        CommandEncoder::LineState encoder;
        std::int32_t lastSpacing;
    };
    Snapshot snapshot() const;
    void restore(const Snapshot& saved);
    void printBitmap(std::int32_t number);

    std::int32_t translatePrintMode(Kind kind, std::int32_t station, std::span<const std::uint8_t> data);
    template <typename OnSequence, typename OnLineFeed>
    void walk(std::span<const std::uint8_t> data, bool keepStationSelect, OnSequence onSequence,
              OnLineFeed onLineFeed);
    void text(const std::uint8_t* bytes, std::size_t count);
    void sendLineSpacing();
    std::int32_t defaultFont(bool doubleByte) const;
    bool twoColour() const;
    std::int32_t feedDots(std::int32_t number) const;
    std::int32_t finish(const char* name, const Snapshot& saved);
    void logData(const char* name, const char* beginText, std::int32_t tag, std::span<const std::uint8_t> data);

    EncodeLog* m_log;
    CommandEncoder m_encoder;
    TranslatorSettings m_settings;
    LineMetrics m_metrics;
    std::int32_t m_lastSpacing = -1;  // none sent yet
    bool m_lineFeedSeen = false;
    LineState m_line;
    bool m_bitmapFailed = false;  // this call
};

}  // namespace printer
