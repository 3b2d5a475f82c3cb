#include "printer/TransactionBuffer.h"

namespace printer {

namespace {

// Offsets of the print area's size in the page-mode header.
constexpr std::size_t kHeaderDx = 8;
constexpr std::size_t kHeaderDy = 10;

void putLittleEndian16(std::uint8_t* at, std::int32_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

const char* jobModeName(std::int32_t mode) {
    switch (mode) {
    case job_mode::EXITTRANS: return "EXITTRANS";
    case job_mode::IMMEDIATE: return "IMMEDIATE";
    case job_mode::NORMAL: return "NORMAL";
    case job_mode::CLEAROUTPUT: return "CLEAROUTPUT";
    case job_mode::EXITTROTATE: return "EXITTROTATE";
    case job_mode::ROTATE_90: return "ROTATE_90";
    case job_mode::ROTATE_180: return "ROTATE_180";
    case job_mode::ENTERTRANS: return "ENTERTRANS";
    default: return "UNKNOWN";
    }
}

std::vector<std::uint8_t> pageModeHeader(std::int32_t direction) {
    const std::uint8_t n = direction == kDirectionLeft ? 1 : 3;
    return {0x1B, 0x4C, 0x1B, 0x57, 0, 0, 0, 0, 0, 0, 0, 0, 0x1B, 0x54, n};
}

TransactionBuffer::TransactionBuffer(const common::ModuleLog* log) : m_log(log) {}

void TransactionBuffer::allocate() {
    m_buffer.clear();
    m_buffer.reserve(TRANSBUFSIZE);
    m_hasBuffer = true;
    m_pageBlockStart = 0;
}

void TransactionBuffer::release() {
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_hasBuffer = false;
    m_pageBlockStart = 0;
}

bool TransactionBuffer::append(std::span<const std::uint8_t> data) {
    if (!m_hasBuffer || m_buffer.size() + data.size() > TRANSBUFSIZE) {
        return false;
    }
    m_buffer.insert(m_buffer.end(), data.begin(), data.end());
    return true;
}

void TransactionBuffer::clearRotationFlags() {
    m_barcodeRotation = false;
    m_bitmapRotation = false;
}

Collected TransactionBuffer::fail(const char* text) {
    if (m_log != nullptr) {
        m_log->error("%s", text);
    }
    return Collected::Failed;
}

void TransactionBuffer::reset() {
    release();
    m_transactionState = kTransactionNormal;
    m_rotationState = kRotationNormal;
    m_pageMode = false;
    m_direction = kDirectionNone;
    clearRotationFlags();
}

void TransactionBuffer::endRotation(LineMetrics& metrics) {
    m_rotationState = kRotationNormal;
    clearRotationFlags();
    m_pageMode = false;
    metrics = LineMetrics{};
}

// A block that received nothing after its header is dropped rather than
// printed as an empty page.
void TransactionBuffer::closePageBlock(LineMetrics& metrics, bool doubleWidestOnly) {
    if (m_buffer.size() <= m_pageBlockStart + kPageHeaderSize) {
        m_buffer.resize(m_buffer.size() >= kPageHeaderSize ? m_buffer.size() - kPageHeaderSize : 0);
    } else {
        if (doubleWidestOnly || m_rotationState == kRotation90) {
            metrics.widestLine *= 2;
        } else {
            metrics.totalHeight *= 2;
        }
        const std::int32_t dy = m_rotationState == kRotation90 ? metrics.widestLine : metrics.totalHeight;
        putLittleEndian16(m_buffer.data() + m_pageBlockStart + kHeaderDx, m_printWidth);
        putLittleEndian16(m_buffer.data() + m_pageBlockStart + kHeaderDy, dy);
    }
    m_pageMode = false;
    metrics.widestLine = 0;
    metrics.totalHeight = 0;
}

Collected TransactionBuffer::collect(std::int32_t mode, std::span<const std::uint8_t> data, LineMetrics& metrics,
                                     std::vector<std::uint8_t>* job) {
    if (data.size() + m_buffer.size() > TRANSBUFSIZE) {
        const auto total = static_cast<int>(data.size() + m_buffer.size());
        if (m_log != nullptr) {
            m_log->error("PrintJob (TransSize + BuffSize)(%d) > TRANSBUFSIZE begin", total);
        }
        release();
        m_pageMode = false;
        if (m_log != nullptr) {
            m_log->error("PrintJob (TransSize + BuffSize)(%d) > TRANSBUFSIZE end", total);
        }
        return Collected::Failed;
    }
    switch (mode) {
    case job_mode::NORMAL:
        if (m_transactionState == kTransactionOpen || m_pageMode) {
            return append(data) ? Collected::Held
                                : fail("PrintJob_NORMAL TRANSACTION or PageMode TransBuf NULL end");
        }
        job->assign(data.begin(), data.end());
        return Collected::Print;
    case job_mode::IMMEDIATE:
        job->assign(data.begin(), data.end());
        return Collected::Print;
    case job_mode::ENTERTRANS:
        if (m_transactionState == kTransactionOpen) {
            if (m_log != nullptr) {
                m_log->debug("PrintJob_ENTERTRANS TranscationMode end:%d%s", 0, "");
            }
            return Collected::Held;
        }
        m_transactionState = kTransactionOpen;
        // A rotated-90 block already open becomes the transaction's first
        // block.
        if (!m_pageMode) {
            allocate();
        }
        return Collected::Held;
    case job_mode::EXITTRANS:
        return exitTransaction(data, metrics, job);
    case job_mode::CLEAROUTPUT:
        // Whatever was collected goes, and so does every queued job: the
        // application asked for no more output from before this call.
        m_rotationState = kRotationNormal;
        m_transactionState = kTransactionNormal;
        clearRotationFlags();
        release();
        m_pageMode = false;
        return Collected::Discard;
    case job_mode::EXITTROTATE:
        return exitRotation(data, metrics, job);
    case job_mode::ROTATE_90:
        return rotate90(data, metrics);
    case job_mode::ROTATE_180:
        m_rotationState = kRotation180;
        return Collected::Held;
    default:
        return fail("PrintJob unknown mode");
    }
}

Collected TransactionBuffer::exitTransaction(std::span<const std::uint8_t> data, LineMetrics& metrics,
                                             std::vector<std::uint8_t>* job) {
    if (!m_hasBuffer) {
        m_transactionState = kTransactionNormal;
        m_pageMode = false;
        return fail("PrintJob_EXITTRANS TransBuf NULL end");
    }
    if (m_buffer.empty()) {
        m_transactionState = kTransactionNormal;
        m_pageMode = false;
        release();
        if (m_log != nullptr) {
            m_log->error("PrintJob_EXITTRANS TransSize(%d)<=0 end", 0);
        }
        return Collected::Failed;
    }
    if (m_pageMode) {
        closePageBlock(metrics, false);
    } else {
        metrics.widestLine = 0;
        metrics.totalHeight = 0;
    }
    // The size check above leaves room for the ending bytes.
    append(data);
    *job = std::move(m_buffer);
    release();
    m_transactionState = kTransactionNormal;
    m_pageMode = false;
    if (m_rotationState == kRotation90) {
        // Rotated printing goes on after the transaction: its next block
        // starts at once.
        allocate();
        const auto header = pageModeHeader(m_direction);
        append(header);
        m_pageMode = true;
    }
    return Collected::Print;
}

Collected TransactionBuffer::exitRotation(std::span<const std::uint8_t> data, LineMetrics& metrics,
                                          std::vector<std::uint8_t>* job) {
    if (!m_pageMode) {
        if (!append(data)) {
            return fail("PrintJob_EXITTROTATE LineMode TransBuf NULL");
        }
        m_rotationState = kRotationNormal;
        clearRotationFlags();
        return Collected::Held;
    }
    if (!m_hasBuffer) {
        return fail("PrintJob_EXITTROTATE PageMode TransBuf NULL end");
    }
    closePageBlock(metrics, true);
    append(data);
    m_rotationState = kRotationNormal;
    clearRotationFlags();
    metrics = LineMetrics{};
    m_pageMode = false;
    if (m_transactionState == kTransactionOpen) {
        if (m_log != nullptr) {
            m_log->debug("PrintJob_EXITTROTATE PageMode not EXITTRANS end");
        }
        return Collected::Held;
    }
    m_direction = kDirectionNone;
    *job = std::move(m_buffer);
    release();
    return Collected::Print;
}

Collected TransactionBuffer::rotate90(std::span<const std::uint8_t> data, LineMetrics& metrics) {
    // A second rotated block outside a transaction would replace the one
    // being collected and lose its output: it is refused instead.
    if (m_pageMode && m_transactionState != kTransactionOpen && m_buffer.size() > m_pageBlockStart + kPageHeaderSize) {
        return fail("PrintJob_ROTATE_90 PageMode block not ended");
    }
    if (m_transactionState == kTransactionOpen) {
        if (!m_hasBuffer) {
            return fail("PrintJob_ROTATE_90 TRANSACTION TransBuf NULL end");
        }
        const std::size_t start = m_buffer.size();
        if (!append(data)) {
            return fail("PrintJob_ROTATE_90 TRANSACTION TransBuf NULL end");
        }
        m_pageBlockStart = start;
    } else {
        allocate();
        if (!append(data)) {
            return fail("PrintJob_ROTATE_90 not TRANSACTION TransBuf NULL end");
        }
    }
    m_rotationState = kRotation90;
    m_pageMode = true;
    metrics.widestLine = 0;
    metrics.totalHeight = 0;
    return Collected::Held;
}

}  // namespace printer
