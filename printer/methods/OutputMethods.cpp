// The output methods built from small fixed command sequences (CutPaper,
// MarkFeed), SetLogo, which stores translated commands for later ESC|tL
// and ESC|bL sequences instead of printing them, and the two methods that
// print nothing (ValidateData, ChangePrintSide).
#include <algorithm>
#include <cstdint>
#include <vector>

#include "PosPrinter.h"
#include "common/OposConstants.h"
#include "platform/strings.h"

namespace printer {

using namespace common;
using platform::S_FALSE;
using platform::S_OK;

namespace {

constexpr const char* kEnd = "";
using Command = std::vector<std::uint8_t>;

bool sensesMarks(std::int32_t number) {
    return number == model::C30 || number == model::C31 || number == model::F60;
}

}  // namespace

HRESULT PosPrinter::CutPaper(LONG percentage, LONG* pRC) {
    m_log->debug("CutPaper(%d,0x%02x)", percentage, 0);
    if (!enabledFor("CutPaper", "is FALSE", pRC)) {
        return S_FALSE;
    }
    const bool full = percentage == PTR_CP_FULLCUT;
    Command command;
    if (m_model.number == model::C30) {
        command = {0x1D, 0x56, static_cast<std::uint8_t>(full ? 0x00 : 0x01)};
    } else if (m_model.number == model::C31) {
        command = {0x1D, 0x56, static_cast<std::uint8_t>(full ? 0x41 : 0x42), 0x00};
    } else {
        // These cutters take no percentage; the paper is first fed past the
        // print head to the blade.
        const auto lines = static_cast<std::uint8_t>(std::clamp<LONG>(m_model.recLinesToPaperCut, 0, 255));
        command = {0x1B, 0x64, lines, 0x00, 0x00, 0x00, 0x1D, 0x56, 0x01};
    }
    m_log->debug("DoCutPaper(%d) ok", percentage);
    return submitJob("CutPaper", command, job_mode::NORMAL, pRC);
}

HRESULT PosPrinter::MarkFeed(LONG type, LONG* pRC) {
    m_log->debug("MarkFeed(%d,0x%02x)", type, 0);
    if (!enabledFor("MarkFeed", "is FALSE", pRC)) {
        return S_FALSE;
    }
    m_log->debug("DoMakePaper(%d)", type);
    const bool marks = sensesMarks(m_model.number);
    Command command;
    switch (type) {
    case PTR_MF_TO_TAKEUP:
        command = marks ? Command{0x1B, 0x63, 0x50, 0x30, 0x01, 0x1D, 0x0C} : Command{0x1D, 0x0C};
        break;
    case PTR_MF_TO_CUTTER:
        command = marks ? Command{0x1D, 0x56, 0x63, 0x03, 0x00, 0x1D, 0x56, 0x6D} : Command{0x1D, 0x0C};
        break;
    case PTR_MF_TO_CURRENT_TOF:
    case PTR_MF_TO_NEXT_TOF:
        command = {0x1D, 0x0C};
        break;
    default:
        m_log->debug("DoMakePaper:%d", 0);
        break;
    }
    const auto length = static_cast<int>(command.size());
    m_log->debug("DoMakePaper:%d%s", length, kEnd);
    if (length == 0) {
        m_log->error("MarkFeed %d:DoMakePaper fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    return submitJob("MarkFeed", command, job_mode::NORMAL, pRC);
}

HRESULT PosPrinter::SetLogo(LONG location, const std::wstring& data, LONG* pRC) {
    m_log->debug("SetLogo Begin%s", kEnd);
    if (m_log->debugEnabled()) {
        m_log->debug("SetLogo(%d,\"%s\",0x%02x)", location, platform::toNarrow(data).c_str(), 0);
    }
    if (!enabledFor("SetLogo", "fail", pRC)) {
        return S_FALSE;
    }
    if (location != PTR_L_TOP && location != PTR_L_BOTTOM) {
        m_log->error("SetLogo %d:Location(%d)%s", 1, location, kEnd);
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    // Each failure below reports its own result: a caller must not read a
    // result left over from an earlier call as this logo's success.
    std::int32_t staged = 0;
    if (!stageText(data, 0, &staged) || staged <= 0) {
        m_log->error("SetLogo %d:TranslateBinaryCode %d%s", 1, staged, kEnd);
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    configureTranslator();
    const std::int32_t count =
        m_translator->translateApart(PTR_S_RECEIPT, std::span<const std::uint8_t>(m_staging->data(), staged));
    if (count < 1 || static_cast<std::size_t>(count) > kLogoSize ||
        !m_translator->encoder().setLogo(location == PTR_L_TOP ? 0 : 1, m_translator->commands())) {
        m_log->error("SetLogo %d:TranslateCtlCode %d%s", 1, count, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    m_log->debug("SetLogo:%d%s", OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::ValidateData(LONG station, const std::wstring& data, LONG* pRC) {
    m_log->debug("ValidateData Begin%s", kEnd);
    if (m_log->debugEnabled()) {
        m_log->debug("ValidateData(%d,\"%s\",0x%02x)", station, platform::toNarrow(data).c_str(), 0);
    }
    if (!enabledFor("ValidateData", "fail", pRC)) {
        return S_FALSE;
    }
    if (!receiptOrF60Station(station)) {
        m_log->error("ValidateData %d:Station(%d) != PTR_S_RECEIPT(%d)%s", 1, station, PTR_S_RECEIPT, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (slipNotReady(station)) {
        m_log->error("ValidateData %d:slip not inserted%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    // Every escape sequence the translators know prints; unknown ones are
    // dropped, so there is nothing the data could hold that fails.
    m_log->debug("ValidateData:%d%s", OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::ChangePrintSide(LONG side, LONG* pRC) {
    m_log->debug("ChangePrintSide(%d,0x%02x)", side, 0);
    if (!enabledFor("ChangePrintSide", "is FALSE", pRC)) {
        return S_FALSE;
    }
    // No model of the family prints on both sides of a form.
    m_log->debug("ChangePrintSide:%d%s", 0, kEnd);
    return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
}
}  // namespace printer
