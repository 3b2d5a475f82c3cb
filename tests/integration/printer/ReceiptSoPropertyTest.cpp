// Every model's properties as the application reads them through the
// control object, and the setters' rounding and conversions.
#include "ReceiptSoTestSupport.h"
#include "common/OposConstants.h"

namespace printertest {
namespace {

using namespace common;

constexpr const wchar_t* kDefaultSets = L"437,850,852,858,860,863,865,866,998,1252";
constexpr const wchar_t* kShortSets = L"437,850,852,858,860,863,865,866";
constexpr const wchar_t* kSets1252 = L"437,850,852,858,860,863,865,866,1252";
constexpr const wchar_t* kSetsCyrillic = L"437,850,852,858,860,863,865,866,1252,Katakana,857,1251,1257";
constexpr const wchar_t* kSetsThai = L"437,850,852,858,860,863,865,866,998,1252,Katakana,Thai";
constexpr const wchar_t* kSetsKatakana = L"437,850,852,858,860,863,865,866,1252,Katakana";
constexpr const wchar_t* kSetsAll =
    L"437,711,737,772,774,775,850,851,852,855,857,858,860,862,863,864,865,866,869,874,928,998,1001,1250,1251,1252,"
    L"1253,1254,1255,1256,1257,2001,3001,3002,3011,3012,3021,3041,3840,3841,3843,3844,3845,3846,3847,3848,8859,10005,"
    L"10021,20290,20424,20838,28589";

struct ModelRow {
    const char* key;
    const wchar_t* deviceName;
    LONG lineWidth, lineChars, lineHeight, lineSpacing, toPaperCut, sidewaysChars, sidewaysLines;
    const wchar_t* lineCharsList;
    const wchar_t* characterSets;
    LONG twoColor, barCode, coverSensor, nearEndSensor, paperCut, markFeed, rotate180;
};

const ModelRow kModels[] = {
    {"RX-H81", L"RX-H81", 512, 42, 24, 30, 3, 69, 17, L"42,56", kDefaultSets, 0, 1, 1, 1, 1, 0, 1},
    {"RX-G72", L"RX-G72", 512, 42, 24, 30, 3, 69, 17, L"42,56", kDefaultSets, 0, 1, 1, 1, 1, 0, 1},
    {"RX-G71", L"RX-G71", 512, 42, 24, 30, 3, 69, 17, L"42,56", kDefaultSets, 0, 1, 1, 1, 1, 0, 1},
    {"RX-G70", L"RX-G70", 512, 42, 24, 30, 3, 115, 15, L"42,56", kSetsAll, 1, 1, 1, 1, 1, 0, 1},
    {"RX-A18", L"RX-A18", 512, 42, 24, 30, 3, 115, 15, L"42,56", kSetsAll, 1, 1, 1, 1, 1, 0, 1},
    {"RX-A17", L"RX-A17", 512, 42, 24, 30, 3, 115, 15, L"42,56", kSetsKatakana, 1, 1, 1, 1, 1, 0, 1},
    {"RX-K92", L"RX-K92", 400, 33, 24, 30, 6, 0, 0, L"33,40", kSets1252, 1, 0, 1, 1, 1, 0, 1},
    {"RX-K91", L"RX-K91", 400, 33, 24, 30, 6, 0, 0, L"33,40", kSetsCyrillic, 1, 0, 1, 1, 1, 0, 1},
    {"RX-K90", L"RX-K90", 400, 33, 24, 30, 6, 0, 0, L"33,40", kSetsCyrillic, 1, 0, 1, 1, 0, 0, 0},
    {"RX-A16", L"RX-A16", 512, 42, 24, 30, 3, 69, 17, L"42,56", kDefaultSets, 0, 1, 1, 1, 1, 0, 1},
    {"RT-B21", L"RT-B21", 448, 37, 24, 30, 3, 60, 14, L"37", kShortSets, 0, 1, 1, 1, 1, 0, 1},
    {"RX-H80", L"RX-H80", 448, 37, 24, 30, 3, 60, 14, L"32,47", kDefaultSets, 0, 1, 0, 0, 0, 0, 1},
    {"RX-K93", L"RX-K93", 420, 33, 24, 30, 6, 0, 0, L"33,40", kSets1252, 1, 0, 1, 1, 1, 0, 1},
    {"RK-E50", L"RK-E50", 640, 53, 24, 30, 3, 69, 17, L"42,56", kSets1252, 0, 1, 1, 1, 1, 0, 1},
    {"RX-A14X", L"RX-A14X", 512, 42, 24, 30, 3, 115, 15, L"42,56", kSetsKatakana, 1, 1, 1, 1, 1, 0, 1},
    {"RX-D40", L"RX-D40", 512, 42, 24, 30, 3, 115, 15, L"42,56", kSetsKatakana, 1, 1, 1, 1, 1, 0, 1},
    {"RX-A14", L"RX-A14", 512, 42, 24, 30, 3, 69, 17, L"42,56", kSetsThai, 1, 1, 1, 1, 1, 0, 1},
    {"RX-A15", L"RX-A15", 512, 42, 24, 30, 3, 69, 17, L"42,56", kSetsThai, 1, 1, 1, 1, 1, 0, 1},
    {"RX-C31", L"RX-C31", 512, 42, 24, 30, 3, 69, 17, L"42,56", kDefaultSets, 0, 1, 1, 1, 1, 1, 1},
    {"RX-F60", L"RX-F60", 360, 30, 17, 30, 6, 0, 0, L"30,40", kDefaultSets, 0, 0, 1, 1, 1, 0, 1},
    {"RX-C30", L"RX-C30", 512, 42, 24, 30, 3, 69, 17, L"42,56", kSetsThai, 0, 1, 1, 1, 1, 1, 1},
    {"RX-A12", L"RX-A12", 512, 42, 24, 30, 3, 69, 17, L"42,56", kDefaultSets, 0, 1, 1, 1, 1, 0, 1},
    {"RT-B20", L"RT-B20", 377, 27, 24, 34, 0, 65, 7, L"27,38", kShortSets, 0, 1, 1, 0, 0, 4, 1},
    {"RX-A10X", L"RX-A10X", 448, 37, 24, 30, 3, 60, 14, L"32,47", kDefaultSets, 0, 1, 0, 0, 0, 0, 1},
};

using ReceiptSoPropertyTest = ReceiptSoTest;

TEST_F(ReceiptSoPropertyTest, EveryModelReportsItsOwnValues) {
    for (const ModelRow& row : kModels) {
        SCOPED_TRACE(row.key);
        addDevice(row.key, "COM9");
        auto control = openPrinter(row.key);
        opos::ControlObject& c = *control;
        EXPECT_EQ(text(c, "DeviceName"), row.deviceName);
        EXPECT_EQ(number(c, "RecLineWidth"), row.lineWidth);
        EXPECT_EQ(number(c, "RecLineChars"), row.lineChars);
        EXPECT_EQ(number(c, "RecLineHeight"), row.lineHeight);
        EXPECT_EQ(number(c, "RecLineSpacing"), row.lineSpacing);
        EXPECT_EQ(number(c, "RecLinesToPaperCut"), row.toPaperCut);
        EXPECT_EQ(number(c, "RecSidewaysMaxChars"), row.sidewaysChars);
        EXPECT_EQ(number(c, "RecSidewaysMaxLines"), row.sidewaysLines);
        EXPECT_EQ(text(c, "RecLineCharsList"), row.lineCharsList);
        EXPECT_EQ(text(c, "CharacterSetList"), row.characterSets);
        EXPECT_EQ(number(c, "CapRec2Color"), row.twoColor);
        EXPECT_EQ(number(c, "CapRecBarCode"), row.barCode);
        EXPECT_EQ(number(c, "CapRecLeft90"), row.barCode);
        EXPECT_EQ(number(c, "CapCoverSensor"), row.coverSensor);
        EXPECT_EQ(number(c, "CapRecNearEndSensor"), row.nearEndSensor);
        EXPECT_EQ(number(c, "CapRecPapercut"), row.paperCut);
        EXPECT_EQ(number(c, "CapRecMarkFeed"), row.markFeed);
        EXPECT_EQ(number(c, "CapRecRotate180"), row.rotate180);
        const bool rotationLess = row.barCode == 0;
        EXPECT_EQ(text(c, "RecBitmapRotationList"), rotationLess ? L"0,180" : L"0,R90,L90,180");
        EXPECT_EQ(text(c, "RecBarCodeRotationList"), rotationLess ? L"" : L"0,R90,L90,180");
        EXPECT_EQ(text(c, "FontTypefaceList"), std::string(row.key) == "RT-B20" ? L"13x24,9x17" : L"12x24,9x17");
        const LONG twoStations = std::string(row.key) == "RX-F60" ? 1 : 0;
        EXPECT_EQ(number(c, "CapJrnPresent"), twoStations);
        EXPECT_EQ(number(c, "CapSlpPresent"), twoStations);
        // Common to all: the open-time values and the fixed capabilities.
        EXPECT_EQ(number(c, "State"), OPOS_S_IDLE);
        EXPECT_EQ(number(c, "CharacterSet"), 437);
        EXPECT_EQ(number(c, "MapMode"), PTR_MM_DOTS);
        EXPECT_EQ(number(c, "RotateSpecial"), 1);
        EXPECT_EQ(number(c, "ErrorLevel"), 1);
        EXPECT_EQ(number(c, "PowerState"), OPOS_PS_UNKNOWN);
        EXPECT_EQ(number(c, "CapCharacterSet"), 998);
        EXPECT_EQ(number(c, "ErrorStation"), PTR_S_RECEIPT);
        EXPECT_EQ(number(c, "RecCartridgeState"), PTR_CART_UNKNOWN);
        EXPECT_EQ(text(c, "ErrorString"), L"Idle");
        EXPECT_EQ(text(c, "DeviceDescription"), L"The Device Of Tessel POS Printer");
        EXPECT_EQ(text(c, "ServiceObjectDescription"), L"OPOS SO For Tessel POS Printer");
    }
}

TEST_F(ReceiptSoPropertyTest, StationsOfTheTwoStationModelAndTheirAbsenceElsewhere) {
    addDevice("RX-F60", "COM9");
    addDevice("RX-H81", "COM9");
    auto f60 = openPrinter("RX-F60");
    EXPECT_EQ(number(*f60, "JrnLineChars"), 30);
    EXPECT_EQ(number(*f60, "JrnLineWidth"), 360);
    EXPECT_EQ(number(*f60, "SlpLineChars"), 66);
    EXPECT_EQ(number(*f60, "SlpLineWidth"), 820);
    EXPECT_EQ(number(*f60, "JrnCartridgeState"), PTR_CART_UNKNOWN);
    EXPECT_EQ(text(*f60, "SlpLineCharsList"), L"68,91");
    EXPECT_EQ(f60->setNumber("SlpLineChars", 80), OPOS_SUCCESS);
    EXPECT_EQ(number(*f60, "SlpLineChars"), 91);
    EXPECT_EQ(number(*f60, "SlpLineHeight"), 17);
    EXPECT_EQ(f60->setNumber("RotateSpecial", 257), OPOS_SUCCESS);
    EXPECT_EQ(number(*f60, "RotateSpecial"), 1);

    // A single-station model leaves the caller's value as it was; through
    // COM an [out, retval] number carries no value in, and comes back 0.
    auto h81 = openPrinter("RX-H81");
    const LONG kept = h81->serviceSource() == opos::ServiceSource::Com ? 0 : 4711;
    LONG value = 4711;
    EXPECT_EQ(h81->getNumber("JrnLineChars", &value), OPOS_SUCCESS);
    EXPECT_EQ(value, kept);
    EXPECT_EQ(h81->setNumber("JrnLineChars", 40), OPOS_SUCCESS);
    value = 4711;
    EXPECT_EQ(h81->getNumber("JrnLineChars", &value), OPOS_SUCCESS);
    EXPECT_EQ(value, kept);
}

TEST_F(ReceiptSoPropertyTest, DetectionTakesTheFirstTextOfTheCatalogue) {
    addDevice("POS RX-A14XX", "COM9");
    addDevice("RX-K93 RX-K92", "COM9");
    addDevice("Unknown", "COM9");
    auto a14x = openPrinter("POS RX-A14XX");
    EXPECT_EQ(text(*a14x, "DeviceName"), L"RX-A14X");
    EXPECT_EQ(number(*a14x, "RecSidewaysMaxChars"), 115);
    auto k92 = openPrinter("RX-K93 RX-K92");
    EXPECT_EQ(text(*k92, "DeviceName"), L"RX-K92");
    EXPECT_EQ(number(*k92, "RecLineWidth"), 400);
    auto unknown = openPrinter("Unknown");
    EXPECT_EQ(text(*unknown, "DeviceName"), L"");
    EXPECT_EQ(text(*unknown, "RecLineCharsList"), L"42,56");
}

TEST_F(ReceiptSoPropertyTest, SettersRoundConvertAndRefuseAsTheModelRequires) {
    addDevice("RX-A14", "COM9");
    addDevice("RX-K92", "COM9");
    auto a14 = openPrinter("RX-A14");
    opos::ControlObject& c = *a14;

    EXPECT_EQ(c.setNumber("RecLineChars", 45), OPOS_SUCCESS);
    EXPECT_EQ(number(c, "RecLineChars"), 42);
    EXPECT_EQ(number(c, "RecLineHeight"), 24);
    EXPECT_EQ(c.setNumber("RecLineChars", 50), OPOS_SUCCESS);
    EXPECT_EQ(number(c, "RecLineChars"), 56);
    EXPECT_EQ(number(c, "RecLineHeight"), 17);

    // 203 dpi: 512 dots are 6406 hundredths of a millimetre.
    EXPECT_EQ(c.setNumber("MapMode", PTR_MM_METRIC), OPOS_SUCCESS);
    EXPECT_EQ(number(c, "RecLineWidth"), 6406);
    EXPECT_EQ(c.setNumber("MapMode", 7), OPOS_SUCCESS);
    EXPECT_EQ(number(c, "MapMode"), PTR_MM_METRIC);
    // Metric input uses the fixed factor: 500 * 0.07 = 35 dots.
    EXPECT_EQ(c.setNumber("RecLineHeight", 500), OPOS_SUCCESS);
    EXPECT_EQ(c.setNumber("MapMode", PTR_MM_DOTS), OPOS_SUCCESS);
    EXPECT_EQ(number(c, "RecLineHeight"), 35);
    EXPECT_EQ(c.setNumber("MapMode", PTR_MM_TWIPS), OPOS_SUCCESS);
    EXPECT_EQ(number(c, "RecLineHeight"), 35 * 1440 / 203);

    EXPECT_EQ(c.setNumber("RotateSpecial", 2), OPOS_SUCCESS);
    EXPECT_EQ(number(c, "RotateSpecial"), 1);
    EXPECT_EQ(c.setNumber("RotateSpecial", 258), OPOS_SUCCESS);
    EXPECT_EQ(number(c, "RotateSpecial"), 258);

    EXPECT_EQ(c.setNumber("DeviceEnabled", 1), OPOS_E_NOTCLAIMED);
    EXPECT_EQ(c.setNumber("PowerNotify", 1), OPOS_E_FAILURE);
    EXPECT_EQ(number(c, "PowerNotify"), 0);

    auto k92 = openPrinter("RX-K92");
    EXPECT_EQ(k92->setNumber("RecLineChars", 37), OPOS_SUCCESS);
    EXPECT_EQ(number(*k92, "RecLineChars"), 40);
    EXPECT_EQ(k92->setNumber("RotateSpecial", 257), OPOS_SUCCESS);
    EXPECT_EQ(number(*k92, "RotateSpecial"), 1);
}

TEST_F(ReceiptSoPropertyTest, OlderOpenEntryLoadsItsOwnModelValues) {
    DirectObject a17;
    ASSERT_EQ(a17.open(L"POSPrinter", L"RX-A17", L"Open"), OPOS_SUCCESS);
    EXPECT_EQ(a17.number(PIDXPtr_RecSidewaysMaxChars), 69);
    EXPECT_EQ(a17.number(PIDXPtr_RecSidewaysMaxLines), 17);
    DirectObject f60;
    ASSERT_EQ(f60.open(L"POSPrinter", L"RX-F60", L"Open"), OPOS_SUCCESS);
    EXPECT_EQ(f60.number(PIDXPtr_SlpLineChars), 68);
}

}  // namespace
}  // namespace printertest
