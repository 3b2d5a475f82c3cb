// PrintJob: the one way out to the printer. Output is collected into
// TransBuf while a transaction or a rotated block is open; everything else
// becomes a job for the printer thread, and synchronous and immediate
// callers wait until it was written.
#include <mutex>

#include "PosPrinter.h"
#include "common/OposConstants.h"
#include "printer/JobQueue.h"

namespace printer {

using namespace common;

namespace {

// Between two attempts at a full queue in asynchronous mode: the printer
// thread frees a slot with every job it writes.
constexpr platform::DWORD kQueueRetryMs = 100;
constexpr std::size_t kLogDataChars = 1024;

}  // namespace

std::int32_t PosPrinter::PrintJob(std::span<const std::uint8_t> data, std::int32_t mode) {
    const auto length = static_cast<std::int32_t>(data.size());
    m_log->debug("PrintJob Begin:%d,%d", length, mode);
    if (m_log->debugEnabled()) {
        m_log->debug("PrintJob(\"%s\",%d,%s)", jobText(data, kLogDataChars).c_str(), length, jobModeName(mode));
    }
    PrintJobRecord job;
    const Collected collected = m_transBuf.collect(mode, data, m_translator->metrics(), &job.data);
    // The translators follow the page mode of what is being collected.
    m_translator->encoder().setPageMode(m_transBuf.pageMode());
    switch (collected) {
    case Collected::Held:
        return 0;
    case Collected::Failed:
        return -1;
    case Collected::Discard:
        if (m_shared) {
            m_shared->IsJobInQue(nullptr, 0, kJobDiscard, m_asyncMode != 0);
        }
        return 0;
    case Collected::Print:
        break;
    }

    m_log->debug("PrintJob begin print");
    m_shared->state.store(OPOS_S_BUSY);
    const bool async = m_asyncMode != 0;
    if (async && mode != job_mode::IMMEDIATE) {
        std::int32_t outputId = 0;
        const char* const retryTexts[] = {"PrintJob AsyncMode EXITTRANS once", "PrintJob AsyncMode EXITTRANS twice"};
        for (int attempt = 0;; ++attempt) {
            if (m_shared->IsJobInQue(&job, 0, kJobNormal, true, &outputId) >= 0) {
                break;
            }
            if (attempt == 2) {
                m_log->error("PrintJob AsyncMode EXITTRANS 3 times");
                m_log->error("PrintJob AsyncMode EXITTRANS 3 times fail end");
                return -1;
            }
            platform::sleepMs(kQueueRetryMs);
            m_log->debug("%s", retryTexts[attempt]);
        }
        m_outputId = outputId;
        trace(PIDX_OutputID, outputId);
        m_log->debug("PrintJob End");
        return 0;
    }
    bool printOk = false;
    // The time-out follows what goes to the printer: a transaction's
    // closing bytes carry everything collected before them.
    const auto jobLength = static_cast<std::int32_t>(job.data.size());
    if (async) {
        if (m_shared->IsJobInQue(&job, 2, kJobImmediate, true) < 0) {
            m_log->error("PrintJob AsyncMode IMMEDIATE fail end");
            return -1;
        }
        printOk = awaitSynchronous(job.ticket, jobLength);
        m_log->debug("PrintJob AsyMode end:%d", printOk ? 0 : -1);
        return printOk ? 0 : -1;
    }
    if (m_shared->IsJobInQue(&job, 0, kJobNormal, false) < 0) {
        m_log->error("PrintJob SynMode once end");
        return -1;
    }
    printOk = awaitSynchronous(job.ticket, jobLength);
    m_log->debug("PrintJob SynMode end:%d", printOk ? 0 : -1);
    return printOk ? 0 : -1;
}

bool PosPrinter::awaitSynchronous(std::uint64_t ticket, std::int32_t length) {
    bool printOk = false;
    if (m_shared->waitSynchronous(ticket, synchronousTimeoutMs(m_model.number, length), &printOk)) {
        return printOk;
    }
    // A caller told that its job failed must never see it printed later:
    // a job still queued goes. One the printer thread is writing already
    // cannot be called back; its write (bounded by the port) decides.
    if (m_shared->withdrawJob(ticket)) {
        m_log->debug("PrintJob time-out: job withdrawn");
        return false;
    }
    return m_shared->waitSynchronous(ticket, platform::INFINITE, &printOk) && printOk;
}

}  // namespace printer
