// SetBitmap and PrintBitmap: the bitmap pipeline's bytes handed to
// PrintJob, and the stored bitmaps PrintBMP and ESC|#B print later.
#include <string>

#include "PosPrinter.h"
#include "common/OposConstants.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "printer/bitmap/BitmapPipeline.h"

namespace printer {

using namespace common;
using platform::S_FALSE;
using platform::S_OK;

namespace {

constexpr const char* kEnd = "";
// The densest bit-image mode prints every dot twice as wide.
constexpr int kDoubleDensityLevel = 48;

// Whether a picture `width` MapMode units wide fits a line of `lineDots`.
// Worked in 64 bits: an application's width may be anything, and doubling
// it for the densest mode must not wrap into a width that looks sensible.
bool widthFits(LONG width, LONG mapMode, std::int32_t dpi, std::int32_t lineDots) {
    if (width == PTR_BM_ASIS) {
        return true;
    }
    const auto value = static_cast<std::int64_t>(width);
    std::int64_t dots = value;
    switch (mapMode) {
    case PTR_MM_TWIPS:
        dots = value * dpi / 1440;
        break;
    case PTR_MM_ENGLISH:
        dots = value * dpi / 1000;
        break;
    case PTR_MM_METRIC:
        dots = value * 7 / 100;
        break;
    default:
        break;
    }
    return width > 0 && dots <= lineDots;
}

}  // namespace

bool PosPrinter::bitmapWidth(const char* method, LONG* width) {
    const std::int32_t lineDots = m_model.recLineWidth > 0 ? m_model.recLineWidth : m_model.printWidth;
    if (!widthFits(*width, m_mapMode, m_model.dpi, lineDots)) {
        m_log->error("%s %d:Width(%d) > RecLineWidth(%d)%s", method, 1, *width, lineDots, kEnd);
        return false;
    }
    if (m_log->bitmapLevel() == kDoubleDensityLevel && *width != PTR_BM_ASIS) {
        *width *= 2;
    }
    return true;
}

BitmapContext PosPrinter::bitmapContext() {
    BitmapContext context;
    context.model = m_model.number;
    context.bitmapLevel = m_log->bitmapLevel();
    context.mapMode = m_mapMode;
    context.dpi = m_model.dpi;
    context.rotationState = m_transBuf.rotationState();
    context.pageMode = m_transBuf.pageMode();
    context.inTransaction = m_transBuf.transactionState() == kTransactionOpen;
    std::string directory;
    if (platform::tempDirectory(&directory) == platform::ERROR_SUCCESS) {
        context.bitmapDirectory = directory;
    }
    // Each logical device keeps its own stored bitmaps.
    const std::string name(m_deviceName.data());
    context.bitmapFilePrefix = std::string(kBitmapFilePrefix) + (name.size() > 4 ? name.substr(4) : std::string());
    context.log = &m_encodeLog;
    return context;
}

void PosPrinter::attachBitmapPipeline() {
    const BitmapContext context = bitmapContext();
    CommandEncoder& encoder = m_translator->encoder();
    encoder.setBitmapDirectory(context.bitmapDirectory, context.bitmapFilePrefix);
    encoder.setBitmapToCommands(makeBitmapToCommands(context));
}

bool PosPrinter::bitmapStation(const char* method, LONG station) {
    if (m_model.number == model::F60 ? (station == PTR_S_RECEIPT || station == PTR_S_SLIP) : station == PTR_S_RECEIPT) {
        if (!slipNotReady(station)) {
            return true;
        }
        m_log->error("%s %d:slip not inserted%s", method, 1, kEnd);
        return false;
    }
    if (std::string(method) == "SetBitmap") {
        m_log->error("SetBitmap %d:Station(%d) != PTR_S_RECEIPT(%d)%s", 1, station, PTR_S_RECEIPT, kEnd);
    } else {
        m_log->error("PrintBitmap:Station(%d) != PTR_S_RECEIPT(%d)", station, PTR_S_RECEIPT);
    }
    return false;
}

HRESULT PosPrinter::SetBitmap(LONG number, LONG station, const std::wstring& fileName, LONG width, LONG alignment,
                              LONG* pRC) {
    m_log->debug("SetBitmap(%d,%d,\"%s\",%d,%d)", number, station, platform::toNarrow(fileName).c_str(), width,
                 alignment);
    if (!enabledFor("SetBitmap", "is FALSE", pRC)) {
        return S_FALSE;
    }
    if (!bitmapStation("SetBitmap", station)) {
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (!bitmapWidth("SetBitmap", &width)) {
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    if (DoSetBmp(bitmapContext(), number, fileName, width, alignment) < 0) {
        m_log->error("SetBitmap %d:DoSetBmp fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    m_log->debug("SetBitmap:%d%s", OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::PrintBitmap(LONG station, const std::wstring& fileName, LONG width, LONG alignment, LONG* pRC) {
    m_log->debug("PrintBitmap(%d,\"%s\",%d,%d)", station, platform::toNarrow(fileName).c_str(), width, alignment);
    if (!enabledFor("PrintBitmap", "is FALSE", pRC)) {
        return S_FALSE;
    }
    if (!bitmapStation("PrintBitmap", station)) {
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (!bitmapWidth("PrintBitmap", &width)) {
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    if (refusedForPaper("PrintBitmap", station, job_mode::NORMAL, pRC)) {
        return S_FALSE;
    }
    configureTranslator();
    CommandEncoder& encoder = m_translator->encoder();
    BitmapJob job;
    if (DoPrintBmp(bitmapContext(), fileName, width, alignment, encoder, &job) < 0) {
        m_log->error("PrintBitmap %d:DoPrintBmp fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    m_translator->restoreAfterBitmap();
    if (encoder.overflowed()) {
        m_log->error("PrintBitmap %d:DoPrintBmp fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    LineMetrics& metrics = m_translator->metrics();
    if (job.widestLineAtLeast > metrics.widestLine) {
        metrics.widestLine = job.widestLineAtLeast;
    }
    return submitJob("PrintBitmap", encoder.commands(), job.jobMode, pRC, station);
}

}  // namespace printer
