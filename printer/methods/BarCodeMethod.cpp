// PrintBarCode: the barcode encoder's bytes handed to PrintJob, fitted into
// whatever rotated block is being collected.
#include <string>
#include <string_view>
#include <vector>

#include "PosPrinter.h"
#include "common/OposConstants.h"
#include "platform/strings.h"
#include "printer/encode/BarCodeEncoder.h"

namespace printer {

using namespace common;
using platform::S_FALSE;
using platform::S_OK;

namespace {

constexpr const char* kEnd = "";

}  // namespace

HRESULT PosPrinter::PrintBarCode(LONG station, const std::wstring& data, LONG symbology, LONG height, LONG width,
                                 LONG alignment, LONG textPosition, LONG* pRC) {
    m_log->debug("PrintBarCode Begin%s", kEnd);
    if (m_log->debugEnabled()) {
        m_log->debug("PrintBarCode(%d,\"%s\",%d,%d,%d,%d,%d,0x%02x)", station, platform::toNarrow(data).c_str(),
                     symbology, height, width, alignment, textPosition, 0);
    }
    if (!printsBarCodes(m_model.number)) {
        m_log->error("PrintBarCode:%d%s", 0, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (!enabledFor("PrintBarCode", "is FALSE", pRC)) {
        return S_FALSE;
    }
    if (station != PTR_S_RECEIPT) {
        m_log->error("Station(%d) != PTR_S_RECEIPT(%d)", station, PTR_S_RECEIPT);
        m_log->error("PrintBarCode %d:Station != PTR_S_RECEIPT%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    std::vector<std::uint8_t> narrow;
    std::int32_t length = 0;
    if (!convertText(data, &narrow, &length) || length <= 0) {
        m_log->error("PrintBarCode %d:TranslateBinaryCode fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    // Data the symbology cannot carry, or a symbology this printer has no
    // command for, would print nothing or an unreadable barcode.
    const std::string_view barCodeData(reinterpret_cast<const char*>(narrow.data()), narrow.size());
    if (!printsSymbology(m_model.number, symbology) || !validBarCodeData(symbology, barCodeData)) {
        m_log->error("PrintBarCode %d:Symbology(%d) Data(\"%s\") not printable%s", 1, symbology,
                     std::string(barCodeData).c_str(), kEnd);
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    if (refusedForPaper("PrintBarCode", station, job_mode::NORMAL, pRC)) {
        return S_FALSE;
    }
    BarCodeContext context;
    context.model = m_model.number;
    context.dpi = m_model.dpi;
    context.mapMode = m_mapMode;
    context.rotateSpecial = m_rotateSpecial;
    context.rotationState = m_transBuf.rotationState();
    context.pageMode = m_transBuf.pageMode();
    context.barcodeRotation = m_transBuf.barcodeRotation();
    BarCodeRequest request;
    request.data = barCodeData;
    request.symbology = symbology;
    request.height = height;
    request.width = width;
    request.alignment = alignment;
    request.textPosition = textPosition;
    configureTranslator();
    CommandEncoder& encoder = m_translator->encoder();
    std::int32_t mode = job_mode::NORMAL;
    if (DoPrintBarCode(context, request, encoder, m_translator->metrics(), &mode) <= 0) {
        m_log->error("PrintBarCode %d:DoPrintBarCode fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    return submitJob("PrintBarCode", encoder.commands(), mode, pRC);
}

}  // namespace printer
