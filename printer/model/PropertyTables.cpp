#include "printer/PropertyTables.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <utility>

#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"

namespace printer {

namespace {

using namespace common;

bool isOneOf(std::int32_t model, std::initializer_list<std::int32_t> models) {
    return std::find(models.begin(), models.end(), model) != models.end();
}

bool isNarrow(std::int32_t model) { return isOneOf(model, {model::K92, model::K91, model::K90}); }

constexpr std::pair<std::int32_t, std::uint8_t> kWideCodeTables[] = {
    {437, 0},    {711, 13},   {737, 29},   {772, 40},   {774, 37},   {775, 57},   {850, 2},    {851, 42},
    {852, 18},   {855, 36},   {857, 12},   {858, 19},   {860, 3},    {862, 33},   {863, 4},    {864, 28},
    {865, 5},    {866, 17},   {869, 43},   {874, 21},   {928, 38},   {998, 0},    {1001, 72},  {1250, 45},
    {1251, 34},  {1252, 16},  {1253, 35},  {1254, 32},  {1255, 46},  {1256, 47},  {1257, 44},  {2001, 73},
    {3001, 74},  {3002, 75},  {3011, 76},  {3012, 77},  {3021, 78},  {3041, 79},  {3840, 64},  {3841, 65},
    {3843, 66},  {3844, 67},  {3845, 68},  {3846, 69},  {3847, 70},  {3848, 71},  {8859, 80},  {10005, 14},
    {10021, 22}, {20290, 1},  {20424, 15}, {20838, 23}, {28589, 41},
};

constexpr std::pair<std::int32_t, std::uint8_t> kCodeTables[] = {
    {437, 0}, {850, 2}, {852, 18}, {858, 19}, {860, 3}, {863, 4}, {865, 5}, {998, 0},
};

std::string_view characterSetList(std::int32_t model) {
    switch (model) {
    case model::B21:
    case model::B20:
        return "437,850,852,858,860,863,865,866";
    case model::K92:
    case model::E50:
        return "437,850,852,858,860,863,865,866,1252";
    case model::K91:
    case model::K90:
        return "437,850,852,858,860,863,865,866,1252,Katakana,857,1251,1257";
    case model::A14:
    case model::C30:
    case model::A15:
        return "437,850,852,858,860,863,865,866,998,1252,Katakana,Thai";
    case model::A14X:
    case model::A17:
    case model::D40:
        return "437,850,852,858,860,863,865,866,1252,Katakana";
    case model::G70:
    case model::A18:
        return "437,711,737,772,774,775,850,851,852,855,857,858,860,862,863,864,865,866,869,874,928,998,1001,"
               "1250,1251,1252,1253,1254,1255,1256,1257,2001,3001,3002,3011,3012,3021,3041,3840,3841,3843,3844,"
               "3845,3846,3847,3848,8859,10005,10021,20290,20424,20838,28589";
    default:
        return "437,850,852,858,860,863,865,866,998,1252";
    }
}

std::string_view recLineCharsList(std::int32_t model) {
    if (isNarrow(model)) {
        return "33,40";
    }
    switch (model) {
    case model::B21:
        return "37";
    case model::F60:
        return "30,40";
    case model::H80:
    case model::A10X:
        return "32,47";
    case model::B20:
        return "27,38";
    default:
        return "42,56";
    }
}

}  // namespace

std::int32_t dotsToUnits(std::int32_t mapMode, std::int32_t dots, std::int32_t dpi) {
    if (dpi == 0) {
        return dots;
    }
    switch (mapMode) {
    case PTR_MM_TWIPS:
        return dots * 1440 / dpi;
    case PTR_MM_ENGLISH:
        return dots * 1000 / dpi;
    case PTR_MM_METRIC:
        return dots * 2540 / dpi;
    default:
        return dots;
    }
}

std::int32_t unitsToDots(std::int32_t mapMode, std::int32_t value, std::int32_t dpi) {
    switch (mapMode) {
    case PTR_MM_TWIPS:
        return value * dpi / 1440;
    case PTR_MM_ENGLISH:
        return static_cast<std::int32_t>(value * 0.001 * dpi);
    case PTR_MM_METRIC:
        return static_cast<std::int32_t>(value * 0.07);
    default:
        return value;
    }
}

LineChars roundRecLineChars(std::int32_t model, std::int32_t requested) {
    // The model's RecLineCharsList: a listed count is kept, any other goes
    // to the nearer one (from `split` on, the larger). The larger count is
    // the narrow font's.
    struct Pair {
        std::int32_t small, large, split;
    };
    Pair pair{42, 56, 50};
    if (isNarrow(model)) {
        pair = {33, 40, 37};
    } else if (model == model::H80 || model == model::A10X) {
        pair = {32, 47, 40};
    } else if (model == model::F60) {
        pair = {30, 40, 35};
    } else if (model == model::B20) {
        pair = {27, 38, 33};
    } else if (model == model::B21) {
        // One count only, in font A.
        pair = {37, 37, std::numeric_limits<std::int32_t>::max()};
    }
    return requested < pair.split ? LineChars{pair.small, 24} : LineChars{pair.large, 17};
}

LineChars roundJrnLineChars(std::int32_t requested) {
    return requested < 35 ? LineChars{30, 24} : LineChars{40, 17};
}

LineChars roundSlpLineChars(std::int32_t requested) {
    return requested < 79 ? LineChars{68, 24} : LineChars{91, 17};
}

bool isRotationLess(std::int32_t model) { return isNarrow(model) || model == model::F60; }

bool fixedNumberProperty(std::int32_t model, std::int32_t index, std::int32_t* value) {
    const bool f60 = model == model::F60;
    auto answer = [value](std::int32_t number) {
        *value = number;
        return true;
    };
    switch (index) {
    case PIDX_DataEventEnabled:
    case PIDX_ResultCodeExtended:
    case PIDX_AutoDisable:
    case PIDXPtr_CartridgeNotify:
    case PIDXPtr_RecCurrentCartridge:
    case PIDXPtr_RecLetterQuality:
    case PIDXPtr_MapCharacterSet:
    case PIDXPtr_CapConcurrentJrnSlp:
    case PIDXPtr_CapConcurrentRecSlp:
    case PIDXPtr_CapRecItalic:
    case PIDXPtr_CapRecStamp:
    case PIDXPtr_CapSlp2Color:
    case PIDXPtr_CapSlpBarCode:
    case PIDXPtr_CapSlpFullslip:
    case PIDXPtr_CapJrn2Color:
    case PIDXPtr_CapJrnColor:
    case PIDXPtr_CapSlpColor:
    case PIDXPtr_CapMapCharacterSet:
    case PIDXPtr_CapJrnCartridgeSensor:
    case PIDXPtr_CapRecCartridgeSensor:
    case PIDXPtr_CapRecColor:
    case PIDXPtr_CapSlpCartridgeSensor:
        return answer(0);
    case PIDX_DataCount:
    case PIDX_CapPowerReporting:
    case PIDXPtr_CapRecDwide:
    case PIDXPtr_CapRecBitmap:
    case PIDXPtr_CapRecBold:
    case PIDXPtr_CapRecDhigh:
    case PIDXPtr_CapRecDwideDhigh:
    case PIDXPtr_CapRecEmptySensor:
    case PIDXPtr_CapRecPresent:
    case PIDXPtr_CapRecUnderline:
    case PIDXPtr_CapTransaction:
        return answer(1);
    case PIDX_ServiceObjectVersion:
        return answer(1007000);
    case PIDXPtr_ErrorStation:
        return answer(PTR_S_RECEIPT);
    case PIDXPtr_RecCartridgeState:
        // No model senses its cartridge.
        return answer(PTR_CART_UNKNOWN);
    case PIDXPtr_CapCharacterSet:
        return answer(998);
    case PIDXPtr_CapRecBarCode:
    case PIDXPtr_CapRecLeft90:
    case PIDXPtr_CapRecRight90:
        return answer(isRotationLess(model) ? 0 : 1);
    case PIDXPtr_CapRecRotate180:
        return answer(model == model::K90 ? 0 : 1);
    case PIDXPtr_CapRec2Color:
        return answer(isOneOf(model, {model::K92, model::K91, model::A14, model::K90, model::G70, model::A14X,
                                      model::A17, model::A15, model::A18, model::D40})
                          ? 1
                          : 0);
    case PIDXPtr_CapCoverSensor:
        return answer(isOneOf(model, {model::H80, model::A10X}) ? 0 : 1);
    case PIDXPtr_CapRecNearEndSensor:
        return answer(isOneOf(model, {model::H80, model::B20, model::A10X}) ? 0 : 1);
    case PIDXPtr_CapRecPapercut:
        return answer(isOneOf(model, {model::H80, model::K90, model::B20, model::A10X}) ? 0 : 1);
    case PIDXPtr_CapRecMarkFeed:
        return answer(model == model::C30 || model == model::C31 ? 1 : model == model::B20 ? 4 : 0);
    case PIDXPtr_CapConcurrentJrnRec:
    case PIDXPtr_CapJrnPresent:
    case PIDXPtr_CapSlpPresent:
    case PIDXPtr_CapJrnDhigh:
    case PIDXPtr_CapJrnDwide:
    case PIDXPtr_CapJrnDwideDhigh:
    case PIDXPtr_CapJrnUnderline:
    case PIDXPtr_CapSlpBitmap:
    case PIDXPtr_CapSlpDhigh:
    case PIDXPtr_CapSlpDwide:
    case PIDXPtr_CapSlpDwideDhigh:
    case PIDXPtr_CapSlpUnderline:
        return answer(f60 ? 1 : 0);
    case PIDXPtr_JrnLetterQuality:
    case PIDXPtr_SlpLetterQuality:
    case PIDXPtr_SlpPrintSide:
    case PIDXPtr_CapJrnBold:
    case PIDXPtr_CapJrnEmptySensor:
    case PIDXPtr_CapJrnNearEndSensor:
    case PIDXPtr_CapSlpBold:
    case PIDXPtr_CapSlpEmptySensor:
    case PIDXPtr_CapSlpNearEndSensor:
        return f60 && answer(1);
    case PIDXPtr_JrnCartridgeState:
    case PIDXPtr_SlpCartridgeState:
        return f60 && answer(PTR_CART_UNKNOWN);
    case PIDXPtr_JrnCurrentCartridge:
    case PIDXPtr_SlpCurrentCartridge:
    case PIDXPtr_CapSlpBothSidesPrint:
    case PIDXPtr_CapJrnItalic:
    case PIDXPtr_CapSlpItalic:
    case PIDXPtr_CapSlpLeft90:
    case PIDXPtr_CapSlpRight90:
    case PIDXPtr_CapSlpRotate180:
    case PIDXPtr_SlpSidewaysMaxChars:
    case PIDXPtr_SlpSidewaysMaxLines:
        return f60 && answer(0);
    default:
        return false;
    }
}

bool fixedStringProperty(std::int32_t model, std::int32_t index, std::string_view* value) {
    auto answer = [value](std::string_view text) {
        *value = text;
        return true;
    };
    switch (index) {
    case PIDX_DeviceDescription:
        return answer("The Device Of Tessel POS Printer");
    case PIDX_ServiceObjectDescription:
        return answer("OPOS SO For Tessel POS Printer");
    case PIDXPtr_CharacterSetList:
        return answer(characterSetList(model));
    case PIDXPtr_RecLineCharsList:
        return answer(recLineCharsList(model));
    case PIDXPtr_JrnLineCharsList:
        return model == model::F60 && answer("30,40");
    case PIDXPtr_SlpLineCharsList:
        return model == model::F60 && answer("68,91");
    case PIDXPtr_FontTypefaceList:
        return answer(model == model::B20 ? "13x24,9x17" : "12x24,9x17");
    case PIDXPtr_RecBarCodeRotationList:
        return answer(isRotationLess(model) ? "" : "0,R90,L90,180");
    case PIDXPtr_SlpBarCodeRotationList:
        return answer("");
    case PIDXPtr_RecBitmapRotationList:
        return answer(isRotationLess(model) ? "0,180" : "0,R90,L90,180");
    default:
        return false;
    }
}

std::uint8_t codeTableFor(std::int32_t model, std::int32_t codePage) {
    auto lookUp = [codePage](const auto& table) -> std::uint8_t {
        for (const auto& [page, n] : table) {
            if (page == codePage) {
                return n;
            }
        }
        return 0;
    };
    if (model == model::G70 || model == model::A18) {
        return lookUp(kWideCodeTables);
    }
    return lookUp(kCodeTables);
}

}  // namespace printer
