// The print path: PrintNormal, PrintImmediate and PrintTwoNormal turn the
// application's text with escape sequences into printer commands and hand
// them to PrintJob.
#include <algorithm>
#include <string_view>
#include <vector>

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
// F60's station select: ESC c 0 n.
constexpr std::size_t kStationSelectSize = 4;

// The two data side by side in one pass: both stations selected, the
// journal's text, a tab to the receipt's half, the receipt's text; a line of
// its own, so every line break inside is dropped.
std::vector<std::uint8_t> composeTwoStations(const std::vector<std::uint8_t>& first,
                                             const std::vector<std::uint8_t>& second, std::int32_t jrnLineChars) {
    static constexpr std::uint8_t kSelectBoth[] = {0x1B, 0x63, 0x30, 0x03};
    static constexpr std::uint8_t kJournalTab = 0x1E;
    static constexpr std::uint8_t kBothOff[] = {0x1B, 0x7A, 0x00};
    static constexpr std::string_view kHalfWidthFont = "\x1b|2fT";
    static constexpr std::string_view kNormal = "\x1b|N";
    std::vector<std::uint8_t> bytes(std::begin(kSelectBoth), std::end(kSelectBoth));
    if (!first.empty() && !second.empty()) {
        bytes.insert(bytes.end(), first.begin(), first.end());
        bytes.push_back(kJournalTab);
        const std::string_view style = jrnLineChars == 40 ? kHalfWidthFont : kNormal;
        bytes.insert(bytes.end(), style.begin(), style.end());
        bytes.insert(bytes.end(), second.begin(), second.end());
    } else if (!second.empty()) {
        bytes.push_back(kJournalTab);
        bytes.insert(bytes.end(), second.begin(), second.end());
    } else {
        bytes.insert(bytes.end(), {0x1B, 0x7A, 0x01});
        bytes.insert(bytes.end(), first.begin(), first.end());
    }
    std::erase_if(bytes, [](std::uint8_t byte) { return byte == '\r' || byte == '\n'; });
    if (!second.empty()) {
        bytes.push_back('\n');
        return bytes;
    }
    const bool printable = std::any_of(first.begin(), first.end(), [](std::uint8_t byte) {
        return (byte >= 0x20 && byte <= 0x7E) || byte >= 0x80;
    });
    if (printable) {
        bytes.push_back('\n');
    }
    bytes.insert(bytes.end(), std::begin(kBothOff), std::end(kBothOff));
    return bytes;
}

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
    settings.rotate180 = m_transBuf.rotationState() == kRotation180;
    m_translator->setSettings(settings);
    m_translator->encoder().setPageMode(m_transBuf.pageMode());
    m_transBuf.setPrintWidth(m_model.printWidth);
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
    // Slip output needs an ended insertion: refusing beats printing onto
    // no slip, and the caller learns why nothing was printed.
    if (slipNotReady(station)) {
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

bool PosPrinter::refusedForPaper(const char* method, LONG station, std::int32_t mode, LONG* pRC) {
    // Collected output and asynchronous jobs meet the paper state when they
    // print: the printer thread holds them and raises the error event.
    const bool collected = m_transBuf.transactionState() == kTransactionOpen || m_transBuf.pageMode();
    if (m_asyncMode != 0 || (mode != job_mode::IMMEDIATE && collected)) {
        return false;
    }
    const bool f60 = m_model.number == model::F60;
    const bool receipt = station == PTR_S_RECEIPT || station == PTR_S_JOURNAL_RECEIPT || station == PTR_TWO_RECEIPT_JOURNAL;
    const bool journal = f60 && station != PTR_S_RECEIPT && station != PTR_S_SLIP;
    LONG extended = 0;
    if (receipt && (f60 ? m_status->f60Receipt.load() : m_status->receipt.load()) == PTR_SUE_REC_EMPTY) {
        extended = OPOS_EPTR_REC_EMPTY;
    } else if (journal && m_status->journal.load() == PTR_SUE_JRN_EMPTY) {
        extended = OPOS_EPTR_JRN_EMPTY;
    }
    if (extended == 0) {
        return false;
    }
    m_log->error("%s %d:paper empty(%d)%s", method, 1, extended, kEnd);
    m_resultCodeExtended = extended;
    answer(pRC, OPOS_E_EXTENDED, S_FALSE);
    return true;
}

HRESULT PosPrinter::submitJob(const char* method, std::span<const std::uint8_t> job, std::int32_t mode,
                              LONG* pRC, LONG station) {
    if (refusedForPaper(method, station, mode, pRC)) {
        return S_FALSE;
    }
    if (PrintJob(job, mode) != 0) {
        m_log->error("%s %d:PrintJob fail%s", method, 1, kEnd);
        return answerPrintFailure(pRC);
    }
    m_log->debug("%s:%d%s", method, OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

bool PosPrinter::receiptOrF60Station(LONG station) const {
    if (m_model.number == model::F60) {
        return station == PTR_S_JOURNAL || station == PTR_S_RECEIPT || station == PTR_S_SLIP;
    }
    return station == PTR_S_RECEIPT;
}

bool PosPrinter::slipNotReady(LONG station) const {
    return m_model.number == model::F60 && station == PTR_S_SLIP && m_insertionState != 2;
}

HRESULT PosPrinter::PrintNormal(LONG station, const std::wstring& data, LONG* pRC) {
    m_log->debug("PrintNormal Begin%s", kEnd);
    if (m_log->debugEnabled()) {
        m_log->debug("PrintNormal(%d,\"%s\")", station, platform::toNarrow(data).c_str());
    }
    if (!enabledFor("PrintNormal", "failed", pRC)) {
        return S_FALSE;
    }
    if (!receiptOrF60Station(station)) {
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
    if (refusedForPaper("PrintNormal", station, job_mode::NORMAL, pRC)) {
        return S_FALSE;
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
    return submitJob("PrintNormal", job, job_mode::NORMAL, pRC, station);
}

HRESULT PosPrinter::PrintImmediate(LONG station, const std::wstring& data, LONG* pRC) {
    m_log->debug("PrintImmediate Begin%s", kEnd);
    if (m_log->debugEnabled()) {
        m_log->debug("PrintImmediate(%d,\"%s\",0x%02x)", station, platform::toNarrow(data).c_str(), 0);
    }
    if (!enabledFor("PrintImmediate", "is FALSE", pRC)) {
        return S_FALSE;
    }
    if (!receiptOrF60Station(station)) {
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
    if (refusedForPaper("PrintImmediate", station, job_mode::IMMEDIATE, pRC)) {
        return S_FALSE;
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
    return submitJob("PrintImmediate", m_translator->commands(), job_mode::IMMEDIATE, pRC, station);
}

bool PosPrinter::convertText(const std::wstring& data, std::vector<std::uint8_t>* bytes, std::int32_t* staged) {
    bytes->assign(kStagingBufferSize, 0);
    std::size_t written = 0;
    if (platform::toNarrow(data, reinterpret_cast<char*>(bytes->data()), bytes->size(), &written) != 0) {
        return false;
    }
    *staged = TranslateBinaryCode(m_binaryConversion, bytes->data(), static_cast<std::int32_t>(written));
    bytes->resize(*staged > 0 ? static_cast<std::size_t>(*staged) : 0);
    return true;
}

HRESULT PosPrinter::PrintTwoNormal(LONG stations, const std::wstring& data1, const std::wstring& data2, LONG* pRC) {
    m_log->debug("PrintTwoNormal Begin%s", kEnd);
    if (m_log->debugEnabled()) {
        m_log->debug("Enter PrintTwoNormal(%d,\"%s\",\"%s\",0x%02x)", stations, platform::toNarrow(data1).c_str(),
                     platform::toNarrow(data2).c_str(), 0);
    }
    if (!enabledFor("PrintTwoNormal", "fail", pRC)) {
        return S_FALSE;
    }
    if (stations != PTR_S_JOURNAL_RECEIPT && stations != PTR_TWO_RECEIPT_JOURNAL) {
        m_log->error("PrintTwoNormal %d:Station(%d) != PTR_S_RECEIPT(%d)%s", 1, stations, PTR_S_RECEIPT, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (m_model.number != model::F60) {
        m_log->error("PrintTwoNormal %d:Printertype(%d) != RX_F60(%d)%s", 1, m_model.number, model::F60, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    std::vector<std::uint8_t> first;
    std::vector<std::uint8_t> second;
    std::int32_t firstLength = 0;
    std::int32_t secondLength = 0;
    for (const std::wstring* data : {&data1, &data2}) {
        if (data->size() > kMaxPrintChars) {
            m_log->error("PrintTwoNormal %d:length(\"%s\") %d%s", 1, platform::toNarrow(*data).c_str(),
                         static_cast<int>(data->size()), kEnd);
            return answer(pRC, OPOS_E_FAILURE, S_FALSE);
        }
    }
    if (!convertText(data1, &first, &firstLength) || !convertText(data2, &second, &secondLength)) {
        m_log->error("PrintTwoNormal %d:narrow text exceeds %d bytes%s", 1, static_cast<int>(kStagingBufferSize), kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (firstLength < 0 || secondLength < 0) {
        m_log->error("PrintTwoNormal %d:TranslateBinaryCode fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    // Only data1 is cut at its first zero byte, as the printer would stop
    // there anyway.
    if (const auto zero = std::find(first.begin(), first.end(), 0); zero != first.end()) {
        first.erase(zero, first.end());
    }
    if (first.empty() && second.empty()) {
        m_log->debug("PrintTwoNormal %d:Data2==NULL Data1==NULL%s", 0, kEnd);
        return answer(pRC, OPOS_SUCCESS, S_OK);
    }
    if (refusedForPaper("PrintTwoNormal", stations, job_mode::NORMAL, pRC)) {
        return S_FALSE;
    }
    configureTranslator();
    if (!first.empty() && m_translator->CountChar(first) < 0) {
        m_log->error("PrintTwoNormal %d:the first data width is more than 360 %s", 1, kEnd);
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    if (!second.empty() && m_translator->CountChar(second) < 0) {
        m_log->error("PrintTwoNormal %d:the second data width is more than 360 %s", 1, kEnd);
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    const std::vector<std::uint8_t> composed = composeTwoStations(first, second, m_model.jrnLineChars);
    if (composed.size() > kStagingBufferSize) {
        m_log->error("PrintTwoNormal %d:composed data exceeds %d bytes%s", 1, static_cast<int>(kStagingBufferSize),
                     kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (m_translator->TranslateCtlCodeF60(stations, composed) <= 0) {
        m_log->error("PrintTwoNormal %d:TranslateCtlCode fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    return submitJob("PrintTwoNormal", m_translator->commands(), job_mode::NORMAL, pRC, stations);
}

}  // namespace printer
