// The four property methods of the service object.
#include <algorithm>
#include <cstdio>

#include "PosPrinter.h"
#include "portlink/portlink.h"
#include "common/OposConstants.h"
#include "common/PropertyTexts.h"
#include "platform/strings.h"
#include "printer/PropertyTables.h"

namespace printer {

using namespace common;
using platform::S_FALSE;
using platform::S_OK;

namespace {

// The filler an idle marker job carries; it is never written.
constexpr std::size_t kIdleMarkerSize = 10;

// The log names a property by its index; the name tables belong to the
// control object.
std::string propertyLabel(LONG index) {
    char label[24];
    std::snprintf(label, sizeof label, "PIDX %d", index);
    return label;
}

}  // namespace

std::string PosPrinter::errorStringText() {
    const char* text = common::errorStringText(m_errorCode);
    m_log->debug("ErrorString %d : %s", m_errorCode, text);
    return text;
}

LONG PosPrinter::numberProperty(LONG index, LONG current) {
    const int32_t model = m_model.number;
    const bool f60 = model == model::F60;
    auto units = [this](int32_t dots) { return dotsToUnits(m_mapMode, dots, m_model.dpi); };
    switch (index) {
    case PIDX_Claimed:
        return m_claimed;
    case PIDX_DeviceEnabled:
        return m_deviceEnabled;
    case PIDX_FreezeEvents:
        return m_freezeEvents;
    case PIDX_OutputID:
        return m_outputId;
    case PIDX_ResultCodeExtended:
        return m_resultCodeExtended;
    case PIDX_State:
        return m_shared ? m_shared->state.load() : m_state.load();
    case PIDX_BinaryConversion:
        return m_binaryConversion;
    case PIDX_PowerNotify:
        return m_powerNotify;
    case PIDX_PowerState:
        return m_status->powerState.load();
    case PIDXPtr_AsyncMode:
        return m_asyncMode;
    case PIDXPtr_CharacterSet:
        return m_characterSet;
    case PIDXPtr_FlagWhenIdle:
        return m_flagWhenIdle;
    case PIDXPtr_MapMode:
        return m_mapMode;
    case PIDXPtr_ErrorLevel:
        return m_status->errorLevel.load();
    case PIDXPtr_RotateSpecial:
        return m_rotateSpecial;
    case PIDXPtr_RecLineChars:
        return m_model.recLineChars;
    case PIDXPtr_RecLinesToPaperCut:
        return m_model.recLinesToPaperCut;
    case PIDXPtr_CoverOpen:
        return m_status->lastCover.load() == PTR_SUE_COVER_OPEN ? 1 : 0;
    case PIDXPtr_RecEmpty:
        return (f60 ? m_status->lastF60Receipt.load() : m_status->lastReceipt.load()) == PTR_SUE_REC_EMPTY ? 1 : 0;
    case PIDXPtr_RecNearEnd:
        return (f60 ? m_status->lastF60Receipt.load() : m_status->lastReceipt.load()) == PTR_SUE_REC_NEAREMPTY ? 1 : 0;
    case PIDXPtr_RecLineHeight:
        return units(m_model.recLineHeight);
    case PIDXPtr_RecLineSpacing:
        return units(m_model.recLineSpacing);
    case PIDXPtr_RecLineWidth:
        return units(m_model.recLineWidth);
    case PIDXPtr_RecSidewaysMaxChars:
        return isRotationLess(model) ? 0 : m_model.recSidewaysMaxChars;
    case PIDXPtr_RecSidewaysMaxLines:
        return isRotationLess(model) ? 0 : m_model.recSidewaysMaxLines;
    default:
        break;
    }
    if (f60) {
        switch (index) {
        case PIDXPtr_JrnEmpty:
            return m_status->lastJournal.load() == PTR_SUE_JRN_EMPTY ? 1 : 0;
        case PIDXPtr_JrnNearEnd:
            return m_status->lastJournal.load() == PTR_SUE_JRN_NEAREMPTY ? 1 : 0;
        case PIDXPtr_SlpEmpty:
            return m_status->lastSlip.load() == PTR_SUE_SLP_EMPTY ? 1 : 0;
        case PIDXPtr_SlpNearEnd:
            return m_status->lastSlip.load() == PTR_SUE_SLP_NEAREMPTY ? 1 : 0;
        case PIDXPtr_JrnLineChars:
            return m_model.jrnLineChars;
        case PIDXPtr_SlpLineChars:
            return m_model.slpLineChars;
        case PIDXPtr_JrnLineHeight:
            return units(m_model.jrnLineHeight);
        case PIDXPtr_JrnLineSpacing:
            return units(m_model.jrnLineSpacing);
        case PIDXPtr_JrnLineWidth:
            return units(m_model.jrnLineWidth);
        case PIDXPtr_SlpLineHeight:
            return units(m_model.slpLineHeight);
        case PIDXPtr_SlpLineWidth:
            return units(m_model.slpLineWidth);
        default:
            break;
        }
    }
    LONG value = current;
    fixedNumberProperty(model, index, &value);
    return value;
}

HRESULT PosPrinter::GetPropertyNumber(LONG index, LONG* pNumber) {
    if (index == PIDX_ResultCode) {
        *pNumber = m_resultCode;
        m_log->debug("<%s:%d", "ResultCode", *pNumber);
        m_resultCode = OPOS_SUCCESS;
        return S_OK;
    }
    m_resultCode = OPOS_SUCCESS;
    *pNumber = numberProperty(index, *pNumber);
    m_log->debug("<%s:%d", propertyLabel(index).c_str(), *pNumber);
    return S_OK;
}

HRESULT PosPrinter::SetPropertyNumber(LONG index, LONG number) {
    setResultCode(OPOS_SUCCESS);
    HRESULT status = S_OK;
    setNumberProperty(index, number, &status);
    return status;
}

void PosPrinter::setNumberProperty(LONG index, LONG number, HRESULT* status) {
    const int32_t model = m_model.number;
    const bool f60 = model == model::F60;
    auto accepted = [&] { m_log->debug(">%s:%d", propertyLabel(index).c_str(), number); };
    auto dots = [this](LONG value) { return unitsToDots(m_mapMode, value, m_model.dpi); };
    switch (index) {
    case PIDX_DeviceEnabled:
        if (m_claimed == 0) {
            m_deviceEnabled = 0;
            setResultCode(OPOS_E_NOTCLAIMED);
            m_log->error("Set DeviceEnabled to %d failed:Claimed is FALSE%s", number, "");
            return;
        }
        accepted();
        SetDeviceEnabled(number);
        return;
    case PIDX_FreezeEvents:
        m_freezeEvents = number;
        if (m_shared) {
            m_shared->setFreezeEvents(number);
        }
        trace(PIDX_FreezeEvents, number);
        return accepted();
    case PIDX_BinaryConversion:
        m_binaryConversion = number;
        trace(PIDX_BinaryConversion, number);
        return accepted();
    case PIDXPtr_AsyncMode:
        m_asyncMode = number;
        trace(PIDXPtr_AsyncMode, number);
        return accepted();
    case PIDX_PowerNotify:
        if (m_claimed == 0 || m_deviceEnabled != 0) {
            setResultCode(OPOS_E_FAILURE);
            m_log->error("Set PowerNotify to %d failed:Claimed is FALSE or DeviceEnabled is TRUE", number);
            *status = S_FALSE;
            return;
        }
        m_powerNotify = number;
        trace(PIDX_PowerNotify, number);
        return accepted();
    case PIDXPtr_CharacterSet:
        m_characterSet = number;
        trace(PIDXPtr_CharacterSet, number);
        sendCharacterSet(number);
        return accepted();
    case PIDXPtr_FlagWhenIdle:
        if (m_deviceEnabled == 0) {
            m_log->error("Set FlagWhenIdle to %d failed:DeviceEnabled is FALSE", number);
            return;
        }
        if (number == 1) {
            m_flagWhenIdle = 1;
            trace(PIDXPtr_FlagWhenIdle, 1);
            // The marker goes behind the queued print jobs: the printer
            // thread reports idle when it reaches it, and writes nothing.
            PrintJobRecord marker;
            marker.data.assign(kIdleMarkerSize, 0);
            m_shared->IsJobInQue(&marker, 0, kJobIdleMarker, m_asyncMode != 0);
            m_flagWhenIdle = 0;
            trace(PIDXPtr_FlagWhenIdle, 0);
            accepted();
        }
        return;
    case PIDXPtr_MapMode:
        if (number >= PTR_MM_DOTS && number <= PTR_MM_METRIC) {
            m_mapMode = number;
            accepted();
        }
        return;
    case PIDXPtr_RecLineChars: {
        const LineChars rounded = roundRecLineChars(model, number);
        m_model.recLineChars = rounded.chars;
        m_model.recLineHeight = rounded.height;
        return accepted();
    }
    case PIDXPtr_RecLineHeight:
        m_model.recLineHeight = dots(number);
        return accepted();
    case PIDXPtr_RecLineSpacing:
        m_model.recLineSpacing = dots(std::max(number, m_model.recLineHeight));
        return accepted();
    case PIDXPtr_JrnLineChars:
        if (f60) {
            const LineChars rounded = roundJrnLineChars(number);
            m_model.jrnLineChars = rounded.chars;
            m_model.jrnLineHeight = rounded.height;
            accepted();
        }
        return;
    case PIDXPtr_JrnLineSpacing:
        if (f60) {
            m_model.jrnLineSpacing = dots(std::max(number, m_model.jrnLineHeight));
            accepted();
        }
        return;
    case PIDXPtr_SlpLineChars:
        if (f60) {
            const LineChars rounded = roundSlpLineChars(number);
            m_model.slpLineChars = rounded.chars;
            m_model.slpLineHeight = rounded.height;
            accepted();
        }
        return;
    case PIDXPtr_SlpLineSpacing:
        m_model.slpLineSpacing = dots(std::max(number, m_model.slpLineHeight));
        return accepted();
    case PIDXPtr_RotateSpecial:
        if (isRotationLess(model)) {
            m_log->error("Set RotateSpecial to %d failed:RX_K92,RX_K91,RX_K90 can't support", number);
            return;
        }
        if (number == 1 || number == 257 || number == 258 || number == 259) {
            m_rotateSpecial = number;
            trace(PIDXPtr_RotateSpecial, number);
            accepted();
        }
        return;
    default:
        accepted();
        return;
    }
}

HRESULT PosPrinter::GetPropertyString(LONG index, BSTR* pString) {
    m_resultCode = OPOS_SUCCESS;
    std::string text;
    bool known = true;
    std::string_view fixed;
    if (index == PIDX_CheckHealthText) {
        text = m_checkHealthText;
    } else if (index == PIDX_DeviceName) {
        known = !m_model.deviceName.empty();
        text = m_model.deviceName;
    } else if (index == PIDXPtr_ErrorString) {
        text = errorStringText();
    } else if (fixedStringProperty(m_model.number, index, &fixed)) {
        text = std::string(fixed);
    } else {
        known = false;
    }
    if (known) {
        *pString = platform::sysAllocString(platform::toWide(text));
        m_log->debug("<%s:%s", propertyLabel(index).c_str(), text.c_str());
    }
    return S_OK;
}

HRESULT PosPrinter::SetPropertyString(LONG index, const std::wstring& text) {
    if (index == PIDX_CheckHealthText) {
        m_log->debug(">%s:%s", "CheckHealthText", platform::toNarrow(text).c_str());
    }
    return S_OK;
}

// The code table travels as a print job, in order with the text around it.
// Without an enabled device there is no printer to tell; the value is kept.
void PosPrinter::sendCharacterSet(LONG codePage) {
    if (m_deviceEnabled == 0 || !m_shared) {
        m_log->debug("CharacterSet %d stored, device not enabled", codePage);
        return;
    }
    const std::uint8_t command[] = {0x1B, 0x74, codeTableFor(m_model.number, codePage), 0x1B, 0x52, 0x00};
    if (PrintJob(command, job_mode::NORMAL) != 0) {
        m_log->error("CharacterSet %d:PrintJob fail", codePage);
    }
}

// Written straight to the port before the printer thread is resumed, so it
// goes ahead of any queued text and raises no OutputComplete the
// application never asked for.
void PosPrinter::sendPendingCharacterSet() {
    const std::uint8_t table = codeTableFor(m_model.number, m_characterSet);
    if (table == 0) {
        return;
    }
    const std::uint8_t command[] = {0x1B, 0x74, table, 0x1B, 0x52, 0x00};
    std::int32_t step = 0, sysError = 0;
    if (WritePort(m_portNumber, m_hPort, command, sizeof command, 10000, m_model.protocol, &step, &sysError) != 1) {
        m_log->error("CharacterSet %d:WritePort failed %d %d", m_characterSet, step, sysError);
    }
}
}  // namespace printer
