#include "opos/ServiceInterface.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "common/OposConstants.h"

namespace opos {

namespace {

using enum ParameterKind;

bool sameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

constexpr PropertyInfo serviceProperty(std::string_view name, LONG index) {
    return {name, index, PropertyOwner::ServiceObject, index >= common::PIDX_STRING};
}

// The name is the constant's own name after its prefix, so the table cannot
// drift from the constants.
#define PROPERTY(prefix, name) serviceProperty(#name, common::prefix##name)

constexpr PropertyInfo kControlProperties[] = {
    {"OpenResult", ControlProperty::OpenResult, PropertyOwner::ControlObject, false},
    {"ControlObjectDescription", ControlProperty::ControlObjectDescription, PropertyOwner::ControlObject, true},
    {"ControlObjectVersion", ControlProperty::ControlObjectVersion, PropertyOwner::ControlObject, false},
};

constexpr PropertyInfo kCommonProperties[] = {
    PROPERTY(PIDX_, Claimed), PROPERTY(PIDX_, DataEventEnabled), PROPERTY(PIDX_, DeviceEnabled),
    PROPERTY(PIDX_, FreezeEvents), PROPERTY(PIDX_, OutputID), PROPERTY(PIDX_, ResultCode),
    PROPERTY(PIDX_, ResultCodeExtended), PROPERTY(PIDX_, ServiceObjectVersion), PROPERTY(PIDX_, State),
    PROPERTY(PIDX_, AutoDisable), PROPERTY(PIDX_, BinaryConversion), PROPERTY(PIDX_, DataCount),
    PROPERTY(PIDX_, PowerNotify), PROPERTY(PIDX_, PowerState), PROPERTY(PIDX_, CapPowerReporting),
    PROPERTY(PIDX_, CapStatisticsReporting), PROPERTY(PIDX_, CapUpdateStatistics),
    PROPERTY(PIDX_, CapCompareFirmwareVersion), PROPERTY(PIDX_, CapUpdateFirmware),
    PROPERTY(PIDX_, CheckHealthText), PROPERTY(PIDX_, DeviceDescription), PROPERTY(PIDX_, DeviceName),
    PROPERTY(PIDX_, ServiceObjectDescription),
};

constexpr PropertyInfo kPrinterProperties[] = {
    PROPERTY(PIDXPtr_, AsyncMode), PROPERTY(PIDXPtr_, CharacterSet), PROPERTY(PIDXPtr_, CoverOpen),
    PROPERTY(PIDXPtr_, ErrorStation), PROPERTY(PIDXPtr_, FlagWhenIdle), PROPERTY(PIDXPtr_, JrnEmpty),
    PROPERTY(PIDXPtr_, JrnLetterQuality), PROPERTY(PIDXPtr_, JrnLineChars), PROPERTY(PIDXPtr_, JrnLineHeight),
    PROPERTY(PIDXPtr_, JrnLineSpacing), PROPERTY(PIDXPtr_, JrnLineWidth), PROPERTY(PIDXPtr_, JrnNearEnd),
    PROPERTY(PIDXPtr_, MapMode), PROPERTY(PIDXPtr_, RecEmpty), PROPERTY(PIDXPtr_, RecLetterQuality),
    PROPERTY(PIDXPtr_, RecLineChars), PROPERTY(PIDXPtr_, RecLineHeight), PROPERTY(PIDXPtr_, RecLineSpacing),
    PROPERTY(PIDXPtr_, RecLinesToPaperCut), PROPERTY(PIDXPtr_, RecLineWidth), PROPERTY(PIDXPtr_, RecNearEnd),
    PROPERTY(PIDXPtr_, RecSidewaysMaxChars), PROPERTY(PIDXPtr_, RecSidewaysMaxLines),
    PROPERTY(PIDXPtr_, SlpEmpty), PROPERTY(PIDXPtr_, SlpLetterQuality), PROPERTY(PIDXPtr_, SlpLineChars),
    PROPERTY(PIDXPtr_, SlpLineHeight), PROPERTY(PIDXPtr_, SlpLinesNearEndToEnd),
    PROPERTY(PIDXPtr_, SlpLineSpacing), PROPERTY(PIDXPtr_, SlpLineWidth), PROPERTY(PIDXPtr_, SlpMaxLines),
    PROPERTY(PIDXPtr_, SlpNearEnd), PROPERTY(PIDXPtr_, SlpSidewaysMaxChars),
    PROPERTY(PIDXPtr_, SlpSidewaysMaxLines), PROPERTY(PIDXPtr_, ErrorLevel),
    PROPERTY(PIDXPtr_, RotateSpecial), PROPERTY(PIDXPtr_, CartridgeNotify),
    PROPERTY(PIDXPtr_, JrnCartridgeState), PROPERTY(PIDXPtr_, JrnCurrentCartridge),
    PROPERTY(PIDXPtr_, RecCartridgeState), PROPERTY(PIDXPtr_, RecCurrentCartridge),
    PROPERTY(PIDXPtr_, SlpPrintSide), PROPERTY(PIDXPtr_, SlpCartridgeState),
    PROPERTY(PIDXPtr_, SlpCurrentCartridge), PROPERTY(PIDXPtr_, MapCharacterSet),
    PROPERTY(PIDXPtr_, PageModeDescriptor), PROPERTY(PIDXPtr_, PageModeHorizontalPosition),
    PROPERTY(PIDXPtr_, PageModePrintDirection), PROPERTY(PIDXPtr_, PageModeStation),
    PROPERTY(PIDXPtr_, PageModeVerticalPosition), PROPERTY(PIDXPtr_, CapConcurrentJrnRec),
    PROPERTY(PIDXPtr_, CapConcurrentJrnSlp), PROPERTY(PIDXPtr_, CapConcurrentRecSlp),
    PROPERTY(PIDXPtr_, CapCoverSensor), PROPERTY(PIDXPtr_, CapJrn2Color), PROPERTY(PIDXPtr_, CapJrnBold),
    PROPERTY(PIDXPtr_, CapJrnDhigh), PROPERTY(PIDXPtr_, CapJrnDwide), PROPERTY(PIDXPtr_, CapJrnDwideDhigh),
    PROPERTY(PIDXPtr_, CapJrnEmptySensor), PROPERTY(PIDXPtr_, CapJrnItalic),
    PROPERTY(PIDXPtr_, CapJrnNearEndSensor), PROPERTY(PIDXPtr_, CapJrnPresent),
    PROPERTY(PIDXPtr_, CapJrnUnderline), PROPERTY(PIDXPtr_, CapRec2Color), PROPERTY(PIDXPtr_, CapRecBarCode),
    PROPERTY(PIDXPtr_, CapRecBitmap), PROPERTY(PIDXPtr_, CapRecBold), PROPERTY(PIDXPtr_, CapRecDhigh),
    PROPERTY(PIDXPtr_, CapRecDwide), PROPERTY(PIDXPtr_, CapRecDwideDhigh),
    PROPERTY(PIDXPtr_, CapRecEmptySensor), PROPERTY(PIDXPtr_, CapRecItalic), PROPERTY(PIDXPtr_, CapRecLeft90),
    PROPERTY(PIDXPtr_, CapRecNearEndSensor), PROPERTY(PIDXPtr_, CapRecPapercut),
    PROPERTY(PIDXPtr_, CapRecPresent), PROPERTY(PIDXPtr_, CapRecRight90), PROPERTY(PIDXPtr_, CapRecRotate180),
    PROPERTY(PIDXPtr_, CapRecStamp), PROPERTY(PIDXPtr_, CapRecUnderline), PROPERTY(PIDXPtr_, CapSlp2Color),
    PROPERTY(PIDXPtr_, CapSlpBarCode), PROPERTY(PIDXPtr_, CapSlpBitmap), PROPERTY(PIDXPtr_, CapSlpBold),
    PROPERTY(PIDXPtr_, CapSlpDhigh), PROPERTY(PIDXPtr_, CapSlpDwide), PROPERTY(PIDXPtr_, CapSlpDwideDhigh),
    PROPERTY(PIDXPtr_, CapSlpEmptySensor), PROPERTY(PIDXPtr_, CapSlpFullslip),
    PROPERTY(PIDXPtr_, CapSlpItalic), PROPERTY(PIDXPtr_, CapSlpLeft90),
    PROPERTY(PIDXPtr_, CapSlpNearEndSensor), PROPERTY(PIDXPtr_, CapSlpPresent),
    PROPERTY(PIDXPtr_, CapSlpRight90), PROPERTY(PIDXPtr_, CapSlpRotate180),
    PROPERTY(PIDXPtr_, CapSlpUnderline), PROPERTY(PIDXPtr_, CapCharacterSet),
    PROPERTY(PIDXPtr_, CapTransaction), PROPERTY(PIDXPtr_, CapJrnCartridgeSensor),
    PROPERTY(PIDXPtr_, CapJrnColor), PROPERTY(PIDXPtr_, CapRecCartridgeSensor),
    PROPERTY(PIDXPtr_, CapRecColor), PROPERTY(PIDXPtr_, CapRecMarkFeed),
    PROPERTY(PIDXPtr_, CapSlpBothSidesPrint), PROPERTY(PIDXPtr_, CapSlpCartridgeSensor),
    PROPERTY(PIDXPtr_, CapSlpColor), PROPERTY(PIDXPtr_, CapMapCharacterSet),
    PROPERTY(PIDXPtr_, CapConcurrentPageMode), PROPERTY(PIDXPtr_, CapRecPageMode),
    PROPERTY(PIDXPtr_, CapSlpPageMode), PROPERTY(PIDXPtr_, CapRecRuledLine),
    PROPERTY(PIDXPtr_, CapSlpRuledLine), PROPERTY(PIDXPtr_, CharacterSetList),
    PROPERTY(PIDXPtr_, JrnLineCharsList), PROPERTY(PIDXPtr_, RecLineCharsList),
    PROPERTY(PIDXPtr_, SlpLineCharsList), PROPERTY(PIDXPtr_, ErrorString),
    PROPERTY(PIDXPtr_, FontTypefaceList), PROPERTY(PIDXPtr_, RecBarCodeRotationList),
    PROPERTY(PIDXPtr_, SlpBarCodeRotationList), PROPERTY(PIDXPtr_, RecBitmapRotationList),
    PROPERTY(PIDXPtr_, SlpBitmapRotationList), PROPERTY(PIDXPtr_, PageModeArea),
    PROPERTY(PIDXPtr_, PageModePrintArea),
};

constexpr PropertyInfo kDrawerProperties[] = {
    PROPERTY(PIDXCash_, DrawerOpened), PROPERTY(PIDXCash_, CapStatus),
    PROPERTY(PIDXCash_, CapStatusMultiDrawerDetect),
};

#undef PROPERTY

constexpr Parameter kLevel[] = {{"Level", Number}};
constexpr Parameter kTimeout[] = {{"Timeout", Number}};
constexpr Parameter kFreeze[] = {{"Freeze", Number}};
constexpr Parameter kDirectIO[] = {{"Command", Number}, {"pData", NumberInOut}, {"pString", TextInOut}};
constexpr Parameter kDeviceName[] = {{"DeviceName", Text}};
constexpr Parameter kPercentage[] = {{"Percentage", Number}};
constexpr Parameter kPrintBarCode[] = {{"Station", Number}, {"Data", Text}, {"Symbology", Number}, {"Height", Number},
                                       {"Width", Number}, {"Alignment", Number}, {"TextPosition", Number}};
constexpr Parameter kPrintBitmap[] = {{"Station", Number}, {"FileName", Text}, {"Width", Number}, {"Alignment", Number}};
constexpr Parameter kStationData[] = {{"Station", Number}, {"Data", Text}};
constexpr Parameter kPrintTwoNormal[] = {{"Stations", Number}, {"Data1", Text}, {"Data2", Text}};
constexpr Parameter kRotatePrint[] = {{"Station", Number}, {"Rotation", Number}};
constexpr Parameter kSetBitmap[] = {{"BitmapNumber", Number}, {"Station", Number}, {"FileName", Text}, {"Width", Number},
                                    {"Alignment", Number}};
constexpr Parameter kSetLogo[] = {{"Location", Number}, {"Data", Text}};
constexpr Parameter kTransactionPrint[] = {{"Station", Number}, {"Control", Number}};
constexpr Parameter kSide[] = {{"Side", Number}};
constexpr Parameter kType[] = {{"Type", Number}};
constexpr Parameter kWaitForDrawerClose[] = {{"beepTimeout", Number}, {"beepFrequency", Number}, {"beepDuration", Number},
                                             {"beepDelay", Number}};

// The old names Claim and Release reach the printer's twin entry points of
// the same name; the drawer has no twins, so there they are its
// ClaimDevice and ReleaseDevice.
constexpr MethodInfo kPrinterMethods[] = {
    {"CheckHealth", "CheckHealth", kLevel},
    {"ClaimDevice", "ClaimDevice", kTimeout},
    {"ClearInput", "ClearInput", {}},
    {"ClearOutput", "ClearOutput", {}},
    {"COFreezeEvents", "COFreezeEvents", kFreeze},
    {"DirectIO", "DirectIO", kDirectIO},
    {"ReleaseDevice", "ReleaseDevice", {}},
    {"BeginInsertion", "BeginInsertion", kTimeout},
    {"BeginRemoval", "BeginRemoval", kTimeout},
    {"CutPaper", "CutPaper", kPercentage},
    {"EndInsertion", "EndInsertion", {}},
    {"EndRemoval", "EndRemoval", {}},
    {"PrintBarCode", "PrintBarCode", kPrintBarCode},
    {"PrintBitmap", "PrintBitmap", kPrintBitmap},
    {"PrintImmediate", "PrintImmediate", kStationData},
    {"PrintNormal", "PrintNormal", kStationData},
    {"PrintTwoNormal", "PrintTwoNormal", kPrintTwoNormal},
    {"RotatePrint", "RotatePrint", kRotatePrint},
    {"SetBitmap", "SetBitmap", kSetBitmap},
    {"SetLogo", "SetLogo", kSetLogo},
    {"TransactionPrint", "TransactionPrint", kTransactionPrint},
    {"ValidateData", "ValidateData", kStationData},
    {"ChangePrintSide", "ChangePrintSide", kSide},
    {"MarkFeed", "MarkFeed", kType},
    {"Claim", "Claim", kTimeout},
    {"Release", "Release", {}},
    {"Open", {}, kDeviceName},
    {"Close", {}, {}},
};

constexpr MethodInfo kDrawerMethods[] = {
    {"CheckHealth", "CheckHealth", kLevel},
    {"ClaimDevice", "ClaimDevice", kTimeout},
    {"ClearInput", "ClearInput", {}},
    {"ClearOutput", "ClearOutput", {}},
    {"DirectIO", "DirectIO", kDirectIO},
    {"ReleaseDevice", "ReleaseDevice", {}},
    {"OpenDrawer", "openDrawer", {}},
    {"WaitForDrawerClose", "waitForDrawerClose", kWaitForDrawerClose},
    {"COFreezeEvents", "COFreezeEvents", kFreeze},
    {"Claim", "ClaimDevice", kTimeout},
    {"Release", "ReleaseDevice", {}},
    {"Open", {}, kDeviceName},
    {"Close", {}, {}},
};

template <typename Table>
const auto* findIn(const Table& table, std::string_view name) {
    const auto found = std::ranges::find_if(table, [&](const auto& entry) { return sameName(entry.name, name); });
    return found == std::ranges::end(table) ? nullptr : &*found;
}

}  // namespace

std::span<const MethodInfo> methods(DeviceClass deviceClass) {
    if (deviceClass == DeviceClass::CashDrawer) {
        return kDrawerMethods;
    }
    return kPrinterMethods;
}

const MethodInfo* findMethod(DeviceClass deviceClass, std::string_view name) {
    return findIn(methods(deviceClass), name);
}

const PropertyInfo* findProperty(DeviceClass deviceClass, std::string_view name) {
    if (const PropertyInfo* found = findIn(kControlProperties, name)) {
        return found;
    }
    if (const PropertyInfo* found = findIn(kCommonProperties, name)) {
        return found;
    }
    if (deviceClass == DeviceClass::CashDrawer) {
        return findIn(kDrawerProperties, name);
    }
    return findIn(kPrinterProperties, name);
}

}  // namespace opos
