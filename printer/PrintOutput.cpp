// The print path: PrintNormal and PrintImmediate turn the application's
// text with escape sequences into printer commands and hand them to
// PrintJob, which queues them for the printer thread and, for synchronous
// output, waits until they are written.
#include <algorithm>

#include "PosPrinter.h"
#include "common/OposConstants.h"
#include "platform/strings.h"
#include "printer/JobQueue.h"
#include "printer/encode/BinaryCode.h"

namespace printer {

using namespace common;
using platform::S_FALSE;
using platform::S_OK;

namespace {

constexpr const char* kEnd = "";
constexpr std::size_t kMaxPrintChars = 16384;
// TransBuf's size: no job may be larger.
constexpr std::size_t TRANSBUFSIZE = 65536;
// Between two attempts at a full queue in asynchronous mode: the printer
// thread frees a slot with every job it writes.
constexpr platform::DWORD kQueueRetryMs = 100;
constexpr std::size_t kLogDataChars = 1024;
// F60's station select: ESC c 0 n.
constexpr std::size_t kStationSelectSize = 4;

const char* modeName(std::int32_t mode) { return mode == 3 ? "IMMEDIATE" : "NORMAL"; }

}  // namespace

void PosPrinter::configureTranslator() {
    TranslatorSettings settings;
    settings.model = m_model.number;
    settings.subType = m_model.subType;
    settings.charWidth = m_model.charWidth;
    settings.recLineChars = m_model.recLineChars;
    settings.recLineSpacing = m_model.recLineSpacing;
    settings.jrnLineChars = m_model.jrnLineChars;
    settings.slpLineChars = m_model.slpLineChars;
    settings.mapMode = m_mapMode;
    settings.asianCharMode = m_asiaCharacter;
    m_translator->setSettings(settings);
}

bool PosPrinter::stageText(const std::wstring& data, std::size_t offset, std::int32_t* staged) {
    std::size_t written = 0;
    auto& staging = *m_staging;
    if (platform::toNarrow(data, reinterpret_cast<char*>(staging.data() + offset), staging.size() - offset,
                           &written) != 0) {
        return false;
    }
    *staged = TranslateBinaryCode(m_binaryConversion, staging.data() + offset, static_cast<std::int32_t>(written));
    return true;
}

bool PosPrinter::stagePrintData(const char* method, LONG station, const std::wstring& data, std::size_t offset,
                                std::int32_t* staged) {
    if (data.size() > kMaxPrintChars) {
        m_log->error("%s %d:length(\"%s\") %d%s", method, 1, platform::toNarrow(data).c_str(),
                     static_cast<int>(data.size()), kEnd);
        return false;
    }
    // Slip output needs an ended insertion, and no insertion can be made
    // with this module yet: refusing beats printing onto no slip.
    if (m_model.number == model::F60 && station == PTR_S_SLIP) {
        m_log->error("%s %d:slip not inserted%s", method, 1, kEnd);
        return false;
    }
    if (!stageText(data, offset, staged)) {
        m_log->error("%s %d:narrow text exceeds %d bytes%s", method, 1,
                     static_cast<int>(kStagingBufferSize - offset), kEnd);
        return false;
    }
    return true;
}

HRESULT PosPrinter::submitJob(const char* method, std::span<const std::uint8_t> job, std::int32_t mode,
                              LONG* pRC) {
    if (PrintJob(job, mode) != 0) {
        m_log->error("%s %d:PrintJob fail%s", method, 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    m_log->debug("%s:%d%s", method, OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

LONG PosPrinter::checkPrintStation(LONG station) {
    if (m_model.number == model::F60) {
        return station == PTR_S_JOURNAL || station == PTR_S_RECEIPT || station == PTR_S_SLIP ? OPOS_SUCCESS
                                                                                            : OPOS_E_FAILURE;
    }
    return station == PTR_S_RECEIPT ? OPOS_SUCCESS : OPOS_E_FAILURE;
}

HRESULT PosPrinter::PrintNormal(LONG station, const std::wstring& data, LONG* pRC) {
    m_log->debug("PrintNormal Begin%s", kEnd);
    if (m_log->debugEnabled()) {
        m_log->debug("PrintNormal(%d,\"%s\")", station, platform::toNarrow(data).c_str());
    }
    if (!CheckSOStatus(3)) {
        *pRC = m_resultCode;
        m_log->error("PrintNormal %d:CheckSOStatus(3) failed%s", 1, kEnd);
        return S_FALSE;
    }
    if (checkPrintStation(station) != OPOS_SUCCESS) {
        m_log->error("PrintNormal %d:Station(%d) != PTR_S_RECEIPT(%d)%s", 1, station, PTR_S_RECEIPT, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    const bool selectStation = m_model.number == model::F60;
    const std::size_t offset = selectStation ? kStationSelectSize : 0;
    std::int32_t staged = 0;
    if (!stagePrintData("PrintNormal", station, data, offset, &staged)) {
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (staged < 0) {
        m_log->error("PrintNormal %d:TranslateBinaryCode fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    auto& staging = *m_staging;
    if (selectStation) {
        const std::uint8_t select[kStationSelectSize] = {0x1B, 0x63, 0x30, static_cast<std::uint8_t>(station)};
        std::copy(std::begin(select), std::end(select), staging.begin());
    }
    configureTranslator();
    const std::int32_t count =
        m_translator->translate(station, std::span<const std::uint8_t>(staging.data(), offset + staged));
    if (count <= 0) {
        m_log->error("PrintNormal %d:TranslateCtlCode fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    // The job carries the zero that follows the commands in the cleared
    // command buffer; it is copied here, not read past a full buffer.
    std::vector<std::uint8_t> job(m_translator->commands().begin(), m_translator->commands().end());
    job.push_back(0);
    return submitJob("PrintNormal", job, kJobModeNormal, pRC);
}

HRESULT PosPrinter::PrintImmediate(LONG station, const std::wstring& data, LONG* pRC) {
    m_log->debug("PrintImmediate Begin%s", kEnd);
    if (m_log->debugEnabled()) {
        m_log->debug("PrintImmediate(%d,\"%s\",0x%02x)", station, platform::toNarrow(data).c_str(), 0);
    }
    if (!CheckSOStatus(3)) {
        *pRC = m_resultCode;
        m_log->error("PrintImmediate %d:CheckSOStatus(3) is FALSE%s", 1, kEnd);
        return S_FALSE;
    }
    if (checkPrintStation(station) != OPOS_SUCCESS) {
        m_log->error("Station(%d) != PTR_S_RECEIPT(%d)", station, PTR_S_RECEIPT);
        m_log->error("PrintImmediate %d:Station != PTR_S_RECEIPT%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    const bool selectStation = m_model.number == model::F60;
    const std::size_t offset = selectStation ? kStationSelectSize : 0;
    std::int32_t staged = 0;
    if (!stagePrintData("PrintImmediate", station, data, offset, &staged)) {
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (staged <= 0) {
        m_log->error("PrintImmediate %d:TranslateBinaryCode fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    auto& staging = *m_staging;
    if (selectStation) {
        const std::uint8_t select[kStationSelectSize] = {0x1B, 0x63, 0x30, static_cast<std::uint8_t>(station)};
        std::copy(std::begin(select), std::end(select), staging.begin());
    }
    configureTranslator();
    // A page-mode block being collected must not take this text's page
    // commands: the text is translated as line-mode output.
    CommandEncoder& encoder = m_translator->encoder();
    const bool pageMode = encoder.pageMode();
    encoder.setPageMode(false);
    const std::int32_t count =
        m_translator->translate(station, std::span<const std::uint8_t>(staging.data(), offset + staged));
    encoder.setPageMode(pageMode);
    if (count <= 0) {
        m_log->error("PrintImmediate %d:TranslateCtlCode fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    return submitJob("PrintImmediate", m_translator->commands(), kJobModeImmediate, pRC);
}

std::int32_t PosPrinter::PrintJob(std::span<const std::uint8_t> data, std::int32_t mode) {
    const auto length = static_cast<std::int32_t>(data.size());
    m_log->debug("PrintJob Begin:%d,%d", length, mode);
    if (m_log->debugEnabled()) {
        m_log->debug("PrintJob(\"%s\",%d,%s)", jobText(data, kLogDataChars).c_str(), length, modeName(mode));
    }
    if (data.size() > TRANSBUFSIZE) {
        m_log->error("PrintJob (TransSize + BuffSize)(%d) > TRANSBUFSIZE begin", length);
        m_log->error("PrintJob (TransSize + BuffSize)(%d) > TRANSBUFSIZE end", length);
        return -1;
    }
    PrintJobRecord job;
    job.data.assign(data.begin(), data.end());

    m_log->debug("PrintJob begin print");
    m_shared->state.store(OPOS_S_BUSY);
    const bool async = m_asyncMode != 0;
    if (async && mode != kJobModeImmediate) {
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
    if (async) {
        if (m_shared->IsJobInQue(&job, 2, kJobImmediate, true) < 0) {
            m_log->error("PrintJob AsyncMode IMMEDIATE fail end");
            return -1;
        }
        // Immediate output waits for the printer however long it takes;
        // only a release ends the wait early.
        if (!m_shared->waitSynchronous(job.ticket, platform::INFINITE, &printOk)) {
            printOk = false;
        }
        m_log->debug("PrintJob AsyMode end:%d", printOk ? 0 : -1);
        return printOk ? 0 : -1;
    }
    if (m_shared->IsJobInQue(&job, 0, kJobNormal, false) < 0) {
        m_log->error("PrintJob SynMode once end");
        return -1;
    }
    if (!m_shared->waitSynchronous(job.ticket, synchronousTimeoutMs(m_model.number, length), &printOk)) {
        // The job stays queued and is still written; this caller is told
        // it failed.
        std::lock_guard lock(m_shared->CriSectionQue);
        m_shared->prnRunning.store(0);
        printOk = false;
    }
    m_log->debug("PrintJob SynMode end:%d", printOk ? 0 : -1);
    return printOk ? 0 : -1;
}

}  // namespace printer
