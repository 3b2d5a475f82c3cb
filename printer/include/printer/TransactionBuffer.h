#pragma once
// TransBuf and the state around it: what PrintJob collects instead of
// printing at once. A transaction gathers every output method's bytes until
// it ends; rotated-90 output is gathered into page-mode blocks whose
// 15-byte header is completed with the block's size when it closes.
//
// Pure code, used on the application's thread only (PrintJob's caller).
// Every append is bounded by the 65,536-byte buffer: data that does not fit
// is refused whole and the collected output is dropped, so a half-built
// block never reaches the printer.
#include <cstdint>
#include <span>
#include <vector>

#include "common/ModuleLog.h"
#include "printer/encode/LineMetrics.h"

namespace printer {

inline constexpr std::size_t TRANSBUFSIZE = 65536;
inline constexpr std::size_t kPageHeaderSize = 15;

// PrintJob's modes.
namespace job_mode {
inline constexpr std::int32_t EXITTRANS = 1;
inline constexpr std::int32_t IMMEDIATE = 3;
inline constexpr std::int32_t NORMAL = 4;
inline constexpr std::int32_t CLEAROUTPUT = 5;
inline constexpr std::int32_t EXITTROTATE = 7;
inline constexpr std::int32_t ROTATE_90 = 8;
inline constexpr std::int32_t ROTATE_180 = 9;
inline constexpr std::int32_t ENTERTRANS = 10;
}  // namespace job_mode
const char* jobModeName(std::int32_t mode);

// Transaction states.
inline constexpr std::int32_t kTransactionNormal = 1;
inline constexpr std::int32_t kTransactionOpen = 6;
// Rotation states.
inline constexpr std::int32_t kRotationNormal = 7;
inline constexpr std::int32_t kRotation90 = 8;
inline constexpr std::int32_t kRotation180 = 9;
// Rotation directions of a rotated-90 block.
inline constexpr std::int32_t kDirectionNone = 0;
inline constexpr std::int32_t kDirectionRight = 1;
inline constexpr std::int32_t kDirectionLeft = 2;

// The page-mode header: enter page mode, the print area (x, y, dx, dy, all
// 0 until the block closes) and the print direction n.
std::vector<std::uint8_t> pageModeHeader(std::int32_t direction);

enum class Collected {
    Held,     // kept for later (or nothing to do): PrintJob succeeds
    Print,    // *job holds the bytes to print now
    Discard,  // the queued jobs must be discarded as well
    Failed,   // PrintJob fails; nothing half-written stays behind
};

class TransactionBuffer {
public:
    // `log` may be null.
    explicit TransactionBuffer(const common::ModuleLog* log = nullptr);

    // The model's print width, dx of every closed block.
    void setPrintWidth(std::int32_t dots) { m_printWidth = dots; }

    // PrintJob's collecting step for `mode`. `metrics` are the translators'
    // line metrics, which size (and are reset by) page-mode blocks.
    Collected collect(std::int32_t mode, std::span<const std::uint8_t> data, LineMetrics& metrics,
                      std::vector<std::uint8_t>* job);

    // Back to a device with nothing collected (release, close).
    void reset();
    // RotatePrint's return to normal outside page mode: nothing collected
    // changes, the rotation ends.
    void endRotation(LineMetrics& metrics);

    std::int32_t transactionState() const { return m_transactionState; }
    std::int32_t rotationState() const { return m_rotationState; }
    bool pageMode() const { return m_pageMode; }
    std::int32_t rotationDirection() const { return m_direction; }
    void setRotationDirection(std::int32_t direction) { m_direction = direction; }
    bool barcodeRotation() const { return m_barcodeRotation; }
    void setBarcodeRotation(bool on) { m_barcodeRotation = on; }
    bool bitmapRotation() const { return m_bitmapRotation; }
    void setBitmapRotation(bool on) { m_bitmapRotation = on; }
    std::size_t TransSize() const { return m_buffer.size(); }
    bool hasBuffer() const { return m_hasBuffer; }

private:
    void allocate();
    void release();
    // False (nothing appended) when the data would not fit.
    bool append(std::span<const std::uint8_t> data);
    void closePageBlock(LineMetrics& metrics, bool doubleWidestOnly);
    void clearRotationFlags();
    Collected exitTransaction(std::span<const std::uint8_t> data, LineMetrics& metrics,
                              std::vector<std::uint8_t>* job);
    Collected exitRotation(std::span<const std::uint8_t> data, LineMetrics& metrics, std::vector<std::uint8_t>* job);
    Collected rotate90(std::span<const std::uint8_t> data, LineMetrics& metrics);
    Collected fail(const char* text);

    const common::ModuleLog* m_log;
    std::int32_t m_printWidth = 0;
    std::vector<std::uint8_t> m_buffer;
    bool m_hasBuffer = false;
    std::size_t m_pageBlockStart = 0;
    std::int32_t m_transactionState = kTransactionNormal;
    std::int32_t m_rotationState = kRotationNormal;
    bool m_pageMode = false;
    std::int32_t m_direction = kDirectionNone;
    bool m_barcodeRotation = false;
    bool m_bitmapRotation = false;
};

}  // namespace printer
