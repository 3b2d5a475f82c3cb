#pragma once
// The printer command builders: each appends one command of the printers'
// ESC/GS/FS language to the command buffer (three of them to the staging
// buffer) and writes one debug line. Pure code, no I/O.
//
// Every write is bounded. A builder whose bytes do not all fit writes none
// of them, returns OPOS_E_FAILURE, logs an error line and marks the buffer
// overflowed until the next clearCommands()/SelectStation(), so a caller
// that checks only at the end still never hands on a half-built command
// sequence. Builders that fit return 0.
//
// Not thread-safe: one encoder belongs to one service object and is used
// under its print lock.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "printer/encode/EncodeLog.h"

namespace printer {

inline constexpr std::size_t kCommandBufferSize = 65536;
inline constexpr std::size_t kStagingBufferSize = 16384;
inline constexpr std::size_t kLogoSize = 512;

// The file name a stored bitmap gets in the bitmap directory, followed by
// its number in decimal, unless the device gives a prefix of its own (two
// devices must not share their stored bitmaps). SetBitmap stores under this
// name, PrintBMP reads it.
inline constexpr std::string_view kBitmapFilePrefix = "cvopos_bmp";

class CommandEncoder;

// Appends the raster commands of the bitmap file at `path` to the encoder's
// command buffer and reports the bitmap's width in dots. Negative on failure.
using BitmapToCommands = std::function<std::int32_t(CommandEncoder& encoder, const std::string& path,
                                                    std::int32_t number, std::int32_t rotate180,
                                                    std::int32_t* width)>;

class CommandEncoder {
public:
    // `log` may be null (no lines) and must outlive the encoder.
    explicit CommandEncoder(EncodeLog* log = nullptr);

    // The open device's model; only SetColor (silent on K93) depends on it.
    void setModel(std::int32_t number, std::int32_t subType);

    // Command buffer builders.
    std::int32_t SetLineHigh(std::int32_t spacing);
    std::int32_t PrintnLine(std::int32_t lines);
    std::int32_t PrintnDot(std::int32_t dots);  // clamped to 0-2000
    std::int32_t SelectFont(std::int32_t font);
    std::int32_t UnderLine(std::int32_t mode);
    std::int32_t Bold(std::int32_t on);
    std::int32_t Inversion(std::int32_t on);
    std::int32_t Reverse(std::int32_t on);
    std::int32_t Extend(std::int32_t size);  // with the page-mode pre-feed
    std::int32_t ExtendSpec(std::int32_t size);
    std::int32_t SetAlign(std::int32_t align);
    std::int32_t SetColor(std::int32_t colour);
    std::int32_t ThermalEnterColorMode(std::int32_t on);
    std::int32_t ThermalSelectColor(std::int32_t colour);
    std::int32_t SetBackPaper(std::int32_t lines);
    std::int32_t SetAsiaChar(std::int32_t mode);
    std::int32_t SetASCChar(std::int32_t mode);
    // The data's size is the length byte's value; more than 255 bytes is
    // refused, the printer could not be told the length.
    std::int32_t SetBarCode(std::int32_t width, std::int32_t height, std::int32_t system, std::string_view data);
    std::int32_t SetHRI(std::int32_t position, std::int32_t font);
    // A QR code through the two-dimensional symbol commands (GS ( k): model
    // 2, module size `moduleSize` dots, error correction `level` (0 L, 1 M,
    // 2 Q, 3 H), the data stored, then printed. Refused as a whole when the
    // data does not fit the store command's 16-bit length or the buffer.
    std::int32_t SetQrCode(std::int32_t moduleSize, std::int32_t level, std::string_view data);
    std::int32_t Cut(std::int32_t mode, std::int32_t feed);
    std::int32_t PrintLogo(std::int32_t which);  // 0 top, else bottom
    // Finishes a pending text line, then has the bitmap pipeline append the
    // bitmap; -1 when no pipeline is attached or it fails. `outWidth`
    // receives the bitmap's width.
    std::int32_t PrintBMP(std::int32_t number, std::int32_t rotate180, std::int32_t* outWidth);

    // Staging buffer builders. SelectStation restarts the fill count.
    std::int32_t SelectStation(std::int32_t station);
    std::int32_t AddData2(std::span<const std::uint8_t> data);
    std::int32_t Journaltab();

    // Raw bytes for the bitmap and barcode encoders, bounded like a builder.
    std::int32_t appendCommands(std::span<const std::uint8_t> bytes);

    // Zeroes the command buffer, restarts the fill count, clears overflow.
    void clearCommands();
    std::span<const std::uint8_t> commands() const { return {m_commands.data(), m_fill}; }
    std::span<const std::uint8_t> staging() const { return {m_staging.data(), m_fill}; }
    std::int32_t fillCount() const { return static_cast<std::int32_t>(m_fill); }
    bool overflowed() const { return m_overflow; }

    // False (and the old logo kept) for more than 512 bytes.
    bool setLogo(std::int32_t which, std::span<const std::uint8_t> bytes);

    // Where the current line stands: the translators save it before a call
    // and put it back when the call's output is dropped.
    struct LineState {
        bool lineStart = true;
        bool lineTerminated = false;
        std::uint8_t preFeed = 0;
        std::size_t preFeedPosition = 0;
        bool preFeedHere = false;  // the pre-feed is in the current buffer
    };
    LineState lineState() const;
    void setLineState(const LineState& state);

    // Rotated-90 output is being collected as one page-mode block.
    void setPageMode(bool on) { m_pageMode = on; }
    bool pageMode() const { return m_pageMode; }
    void setLineStart(bool on) { m_lineStart = on; }
    bool lineStart() const { return m_lineStart; }
    void setLineTerminated(bool on) { m_lineTerminated = on; }
    bool lineTerminated() const { return m_lineTerminated; }

    // Where stored bitmaps live (ends in '/'), and the pipeline PrintBMP calls.
    void setBitmapDirectory(std::string directory, std::string prefix = std::string(kBitmapFilePrefix)) {
        m_bitmapDirectory = std::move(directory);
        m_bitmapPrefix = std::move(prefix);
    }
    void setBitmapToCommands(BitmapToCommands pipeline) { m_bitmapToCommands = std::move(pipeline); }
    const std::string& currentBitmapPath() const { return m_currentBitmapPath; }

    EncodeLog* log() const { return m_log; }

private:
    bool put(std::initializer_list<std::uint8_t> bytes, const char* builder, std::int32_t argument);
    bool putSpan(std::span<const std::uint8_t> bytes, const char* builder, std::int32_t argument);
    void refuse(const char* builder, std::int32_t argument);
    std::int32_t simple(std::uint8_t b0, std::uint8_t b1, std::int32_t n, const char* builder);

    EncodeLog* m_log;
    std::array<std::uint8_t, kCommandBufferSize> m_commands{};
    std::array<std::uint8_t, kStagingBufferSize> m_staging{};
    std::size_t m_fill = 0;
    std::size_t m_dirty = 0;  // bytes beyond this are zero already
    bool m_overflow = false;

    std::array<std::uint8_t, kLogoSize> m_logos[2]{};
    std::size_t m_logoLength[2]{};

    std::int32_t m_model = 0;
    std::int32_t m_subType = 0;
    bool m_pageMode = false;
    bool m_lineStart = true;
    bool m_lineTerminated = false;
    std::uint8_t m_preFeed = 0;
    std::size_t m_preFeedPosition = 0;
    // A line begun in an earlier call has its pre-feed in a buffer already
    // handed on: it cannot grow any more, and its position means nothing
    // in this one.
    bool m_preFeedHere = false;

    std::string m_bitmapDirectory;
    std::string m_bitmapPrefix{kBitmapFilePrefix};
    std::string m_currentBitmapPath;
    BitmapToCommands m_bitmapToCommands;
};

// Shared by the encoder and the translators: formats only when the line
// will be written.
void logDebug(EncodeLog* log, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
void logError(EncodeLog* log, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

}  // namespace printer
