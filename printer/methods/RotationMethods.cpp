// TransactionPrint and RotatePrint: the methods that make PrintJob collect
// output (a transaction, a rotated-90 page-mode block) or turn it upside
// down, and that end the collecting again.
#include <vector>

#include "PosPrinter.h"
#include "common/OposConstants.h"

namespace printer {

using namespace common;
using platform::S_FALSE;
using platform::S_OK;

namespace {

constexpr const char* kEnd = "";
using Command = std::vector<std::uint8_t>;

bool keySeries(std::int32_t number) {
    return number == model::K90 || number == model::K91 || number == model::K92;
}

// These models end a page with ESC S, back to standard mode.
bool endsPageWithStandardMode(std::int32_t number) { return number == model::B21 || number == model::B20; }

Command pageEnd(std::int32_t number) {
    Command command{0x0C, 0x1B, 0x54, 0x00};
    if (endsPageWithStandardMode(number)) {
        command.insert(command.end(), {0x1B, 0x53});
    }
    return command;
}

}  // namespace

HRESULT PosPrinter::TransactionPrint(LONG station, LONG control, LONG* pRC) {
    m_log->debug("TransactionPrint(%d,%d,0x%02x)", station, control, 0);
    if (!enabledFor("TransactionPrint", "is FALSE", pRC)) {
        return S_FALSE;
    }
    if (!receiptOrF60Station(station)) {
        m_log->error("TransactionPrint %d:Station(%d) != PTR_S_RECEIPT(%d)%s", 1, station, PTR_S_RECEIPT, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (slipNotReady(station)) {
        m_log->error("TransactionPrint %d:slip not inserted%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    std::int32_t result = 0;
    if (control == PTR_TP_TRANSACTION) {
        m_log->debug("TransactionPrint:%d begin PrintJob", control);
        result = PrintJob({}, job_mode::ENTERTRANS);
        m_log->debug("TransactionPrint:TP_TRANSACTION:%d", result);
    } else {
        Command ending;
        if (m_model.number == model::F60) {
            ending = {0x1B, 0x63, 0x30, static_cast<std::uint8_t>(station)};
        }
        if (m_transBuf.pageMode()) {
            m_log->debug("TransactionPrint PageMode");
            ending.push_back(0x0C);
            if (endsPageWithStandardMode(m_model.number)) {
                ending.insert(ending.end(), {0x1B, 0x53});
            }
        } else {
            m_log->debug("TransactionPrint LineMode");
            ending.insert(ending.end(), {0x1B, 0x7B, 0x00});
        }
        if (m_transBuf.transactionState() != kTransactionOpen) {
            m_log->debug("TransactionPrint not PTR_CV_TRANSACTION");
            m_log->debug("TransactionPrint:%d%s", OPOS_SUCCESS, kEnd);
            return answer(pRC, OPOS_SUCCESS, S_OK);
        }
        m_log->debug("TransactionPrint:%d begin PrintJob", control);
        result = PrintJob(ending, job_mode::EXITTRANS);
        m_log->debug("TransactionPrint:PTR_CV_EXITTRANS:%d", result);
    }
    if (result != 0) {
        m_log->error("TransactionPrint %d:PrintJob fail%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    m_log->debug("TransactionPrint:%d%s", OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::RotatePrint(LONG station, LONG rotation, LONG* pRC) {
    m_log->debug("RotatePrint(%d,%d,0x%02x)", station, rotation, 0);
    if (!enabledFor("RotatePrint", "fail", pRC)) {
        return S_FALSE;
    }
    if (!receiptOrF60Station(station)) {
        m_log->error("RotatePrint %d:Station(%d) != PTR_S_RECEIPT(%d)%s", 1, station, PTR_S_RECEIPT, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (slipNotReady(station)) {
        m_log->error("RotatePrint %d:slip not inserted%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (m_transBuf.rotationState() == kRotationNormal && rotation == PTR_RP_NORMAL) {
        m_log->debug("RotatePrint:%d%s", OPOS_SUCCESS, kEnd);
        return answer(pRC, OPOS_SUCCESS, S_OK);
    }
    const std::int32_t result = DoRotationPrint(rotation);
    if (result != 0) {
        m_log->error("RotatePrint %d:DoRotationPrint is %d%s", 1, result, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    m_log->debug("RotatePrint:%d%s", OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

std::int32_t PosPrinter::DoRotationPrint(LONG rotation) {
    m_log->debug("DoRotationPrint(%d)", rotation);
    // Barcodes on the K series and F60 print upright inside rotated text.
    const bool barcodeRotates = !keySeries(m_model.number) && m_model.number != model::F60;
    const bool barcodeFlag = (rotation & PTR_RP_BARCODE) != 0;
    const bool bitmapFlag = (rotation & PTR_RP_BITMAP) != 0;
    const auto applyFlags = [&] {
        if (barcodeFlag) {
            m_transBuf.setBarcodeRotation(barcodeRotates);
        }
        if (bitmapFlag) {
            m_transBuf.setBitmapRotation(true);
        }
    };
    applyFlags();
    rotation &= ~(PTR_RP_BARCODE | PTR_RP_BITMAP);
    std::int32_t result = 0;
    switch (rotation) {
    case PTR_RP_NORMAL:
        if (m_transBuf.pageMode()) {
            result = PrintJob(pageEnd(m_model.number), job_mode::EXITTROTATE);
        } else {
            m_transBuf.endRotation(m_translator->metrics());
            m_translator->encoder().setPageMode(false);
            static constexpr std::uint8_t kLineEnd[] = {0x0A, 0x1B, 0x7B, 0x00};
            result = PrintJob(kLineEnd, job_mode::NORMAL);
        }
        m_transBuf.setRotationDirection(kDirectionNone);
        break;
    case PTR_RP_RIGHT90:
    case PTR_RP_LEFT90: {
        if (keySeries(m_model.number) || m_model.number == model::F60) {
            m_log->error("DoRotationPrint %d:Printer can not support%s", 1, kEnd);
            result = -1;
            break;
        }
        // A block already open is finished first, with its own size and
        // direction: the printer's page mode holds one area and one
        // direction at a time.
        if (m_transBuf.pageMode()) {
            result = PrintJob(pageEnd(m_model.number), job_mode::EXITTROTATE);
            applyFlags();
        }
        if (result != 0) {
            break;
        }
        const std::int32_t direction = rotation == PTR_RP_RIGHT90 ? kDirectionRight : kDirectionLeft;
        m_transBuf.setRotationDirection(direction);
        result = PrintJob(pageModeHeader(direction), job_mode::ROTATE_90);
        break;
    }
    case PTR_RP_ROTATE180:
        if (m_model.number == model::K90) {
            m_log->error("DoRotationPrint %d:RX-K90 can not support%s", 1, kEnd);
            result = -1;
            break;
        }
        if (m_transBuf.rotationState() == kRotation90) {
            static constexpr std::uint8_t kEndPage[] = {0x0C, 0x1B, 0x54, 0x00};
            result = PrintJob(kEndPage, job_mode::EXITTROTATE);
            // Ending the rotated block cleared the flags this call asked for.
            applyFlags();
        }
        if (result == 0) {
            result = PrintJob({}, job_mode::ROTATE_180);
        }
        break;
    default:
        break;
    }
    m_log->debug("DoRotationPrint:%d", result);
    return result;
}

}  // namespace printer
