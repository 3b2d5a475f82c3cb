#include "common/PropertyTexts.h"

#include <cstdio>

#include "common/OposConstants.h"

namespace common {
namespace {

constexpr const char* kResultNames[] = {
    "OPOS_E_CLOSED",  "OPOS_E_CLAIMED", "OPOS_E_NOTCLAIMED", "OPOS_E_NOSERVICE", "OPOS_E_DISABLED",
    "OPOS_E_ILLEGAL", "OPOS_E_NOHARDWARE", "OPOS_E_OFFLINE", "OPOS_E_NOEXIST",   "OPOS_E_EXISTS",
    "OPOS_E_FAILURE", "OPOS_E_TIMEOUT", "OPOS_E_BUSY",       "OPOS_E_EXTENDED",
};

constexpr const char* kStateNames[] = {"OPOS_S_CLOSED", "OPOS_S_IDLE", "OPOS_S_BUSY", "OPOS_S_ERROR"};

constexpr const char* kPrinterErrorNames[] = {
    "OPOS_EPTR_COVER_OPEN",
    "OPOS_EPTR_JRN_EMPTY",
    "OPOS_EPTR_REC_EMPTY",
    "OPOS_EPTR_SLP_EMPTY",
    "OPOS_EPTR_SLP_FORM",
    "OPOS_EPTR_TOOBIG",
    "OPOS_EPTR_BADFORMAT",
    "OPOS_EPTR_JRN_CARTRIDGE_REMOVED",
    "OPOS_EPTR_JRN_CARTRIDGE_EMPTY",
    "OPOS_EPTR_JRN_HEAD_CLEANING",
    "OPOS_EPTR_REC_CARTRIDGE_REMOVED",
    "OPOS_EPTR_REC_CARTRIDGE_EMPTY",
    "OPOS_EPTR_REC_HEAD_CLEANING",
    "OPOS_EPTR_SLP_CARTRIDGE_REMOVED",
    "OPOS_EPTR_SLP_CARTRIDGE_EMPTY",
    "OPOS_EPTR_SLP_HEAD_CLEANING",
};

constexpr const char* kOpenResultNames[] = {"OPOS_OR_ALREADYOPEN", "OPOS_OR_REGBADNAME", "OPOS_OR_REGPROGID",
                                            "OPOS_OR_CREATE",      "OPOS_OR_BADIF",      "OPOS_OR_FAILEDOPEN",
                                            "OPOS_OR_BADVERSION"};

constexpr const char* kPowerEventNames[] = {"OPOS_SUE_POWER_ONLINE", "OPOS_SUE_POWER_OFF",
                                            "OPOS_SUE_POWER_OFFLINE", "OPOS_SUE_POWER_OFF_OFFLINE"};

constexpr const char* kPowerStateNames[] = {"OPOS_PS_UNKNOWN", "OPOS_PS_ONLINE", "OPOS_PS_OFF",
                                            "OPOS_PS_OFFLINE", "OPOS_PS_OFF_OFFLINE"};

constexpr const char* kBinaryConversionNames[] = {"OPOS_BC_NONE", "OPOS_BC_NIBBLE", "OPOS_BC_DECIMAL"};

// names[code - first] when `code` lies in [first, first + N), else `otherwise`.
template <std::size_t N>
const char* nameIn(const char* const (&names)[N], std::int32_t first, std::int32_t code, const char* otherwise) {
    const std::int64_t offset = static_cast<std::int64_t>(code) - first;
    return offset >= 0 && offset < static_cast<std::int64_t>(N) ? names[offset] : otherwise;
}

const char* resultCodeName(std::int32_t code) {
    return code == OPOS_SUCCESS ? "OPOS_SUCCESS" : nameIn(kResultNames, OPOS_E_CLOSED, code, "NONE");
}

const char* booleanName(std::int32_t value) {
    return value == 0 ? "FALSE" : value == 1 ? "TRUE" : "NONE";
}

const char* powerNotifyName(std::int32_t value) {
    // The leading blank of the enabled text is how the suite has always
    // logged it; log readers match on it.
    return value == OPOS_PN_DISABLED ? "OPOS_PN_DISABLED" : value == OPOS_PN_ENABLED ? " OPOS_PN_ENABLED" : "";
}

// "(0x<value in two or more hex digits>)"
std::string hexValue(std::int32_t value) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "(0x%02x)", static_cast<unsigned>(value));
    return hex;
}

std::string named(const char* label, const char* name, std::int32_t value) {
    return std::string(label) + ':' + name + hexValue(value);
}

std::string plain(const char* label, std::int32_t value) {
    return std::string(label) + ':' + hexValue(value);
}

}  // namespace

const char* errorStringText(std::int32_t code) {
    switch (code) {
    case 0:
        return "Idle";
    case OPOS_FOREVER:
        return "OPOS_FOREVER";
    case OPOSERR:
        return "OPOSERR";
    case OPOSERREXT:
        return "OPOSERREXT";
    case OPOS_ORS_NOPORT:
        return "OPOS_ORS_NOPORT";
    case OPOS_ORS_NOTSUPPORTED:
        return "OPOS_ORS_NOTSUPPORTED";
    case OPOS_ORS_CONFIG:
        return "OPOS_ORS_CONFIG";
    case OPOS_ORS_SPECIFIC:
        return "OPOS_ORS_SPECIFIC";
    case OPOS_PS_UNKNOWN:
        return "OPOS_PS_UNKNOWN";
    case 9009:
        return "Error When Printing";
    case 100019:
        return "OPOS_PS_OFF_OFFLINE";
    case 100020:
        return "OPOS_PS_CUTTER_ERROR";
    case 100021:
        return "OPOS_PS_LOCOMOTIVE_ERROR";
    default:
        break;
    }
    constexpr const char* kUnknown = "Unknowen Error";
    const char* name = nameIn(kStateNames, OPOS_S_CLOSED, code, nullptr);
    name = name ? name : nameIn(kResultNames, OPOS_E_CLOSED, code, nullptr);
    name = name ? name : nameIn(kPrinterErrorNames, OPOSERREXT + 1, code, nullptr);
    name = name ? name : nameIn(kOpenResultNames, OPOS_OR_ALREADYOPEN, code, nullptr);
    name = name ? name : nameIn(kPowerEventNames, OPOS_SUE_POWER_ONLINE, code, nullptr);
    return name ? name : kUnknown;
}

std::string propertyTraceText(std::int32_t item, std::int32_t number, std::string_view text) {
    switch (item) {
    case PIDX_ResultCode:
        return named("ResultCode", resultCodeName(number), number);
    case PIDX_CheckHealthText:
        return "CheckHealthText:" + std::string(text);
    case PIDX_Claimed:
        return named("Claimed", booleanName(number), number);
    case PIDX_PowerState:
        return named("PowerState", nameIn(kPowerStateNames, OPOS_PS_UNKNOWN, number, "NONE"), number);
    case PIDX_State:
        return named("State", nameIn(kStateNames, OPOS_S_CLOSED, number, "NONE"), number);
    case PIDX_PowerNotify:
        return named("PowerNotify", powerNotifyName(number), number);
    case PIDX_FreezeEvents:
        return plain("FreezeEvents", number);
    case PIDXPtr_CharacterSet:
        return plain("CharacterSet", number);
    case PIDXPtr_ErrorString:
        return "ErrorString:" + std::string(text);
    case PIDXPtr_CoverOpen:
        return plain("CoverOpen", number);
    case PIDX_DeviceEnabled:
        return named("DeviceEnabled", booleanName(number), number);
    case PIDXPtr_FlagWhenIdle:
        return plain("FlagWhenIdle", number);
    case PIDXPtr_AsyncMode:
        return plain("AsyncMode", number);
    case PIDXPtr_RotateSpecial:
        return plain("RotateSpecial", number);
    case PIDX_BinaryConversion:
        return named("BinaryConversion", nameIn(kBinaryConversionNames, OPOS_BC_NONE, number, "NONE"), number);
    case PIDXPtr_ErrorLevel:
        return plain("ErrorLevel", number);
    case PIDX_OutputID:
        return plain("OutputID", number);
    default: {
        char unknown[40];
        std::snprintf(unknown, sizeof unknown, "Code 0x%x not exist", static_cast<unsigned>(item));
        return unknown;
    }
    }
}

}  // namespace common
