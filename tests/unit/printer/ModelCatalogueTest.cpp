#include <gtest/gtest.h>

#include "printer/ModelCatalogue.h"
#include "printer/StatusBits.h"

namespace printer {
namespace {

TEST(ModelCatalogueTest, DetectionFollowsTheCatalogueOrder) {
    struct Case {
        const char* name;
        std::int32_t number;
        std::int32_t subType;
        const char* reported;
    };
    const Case cases[] = {
        {"RX-H81", 1, 0, "RX-H81"},          {"my G72 till", 4, 0, "RX-G72"},
        {"RX-A14XX", 23, 0, "RX-A14X"},      {"RX-A14X", 23, 0, "RX-A14X"},
        {"RX-A14", 9, 0, "RX-A14"},          {"RX-K93", 3, 6, "RX-K93"},
        {"RX-K93 and RX-K92", 3, 0, "RX-K92"}, {"RK-E50", 7, 0, "RK-E50"},
        {"RX-E50", 0, 0, ""},                {"RX-A10X", 28, 0, "RX-A10X"},
        {"F60 with H81", 1, 0, "RX-H81"},    {"rx-h81", 0, 0, ""},
        {"RT-B20", 27, 0, "RT-B20"},         {"RX-D40", 30, 0, "RX-D40"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModelSettings settings;
        loadModelSettings(c.name, OpenEntry::OpenService, &settings);
        EXPECT_EQ(settings.number, c.number);
        EXPECT_EQ(settings.subType, c.subType);
        EXPECT_EQ(settings.deviceName, c.reported);
    }
}

TEST(ModelCatalogueTest, EveryCatalogueTextFindsItsOwnRow) {
    for (const ModelEntry& entry : detectionOrder()) {
        const ModelEntry* found = detectModel(std::string("POS ") + std::string(entry.text) + " 2");
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found, &entry) << entry.text;
    }
}

TEST(ModelCatalogueTest, ValuesMarkedKeepSurviveAnotherModelsOpen) {
    ModelSettings settings;
    loadModelSettings("RX-A14", OpenEntry::OpenService, &settings);
    EXPECT_EQ(settings.dpi, 203);
    loadModelSettings("RX-K92", OpenEntry::OpenService, &settings);
    EXPECT_EQ(settings.dpi, 203);
    EXPECT_EQ(settings.protocol, 2);
    EXPECT_EQ(settings.recLineWidth, 400);
    loadModelSettings("Unknown", OpenEntry::OpenService, &settings);
    EXPECT_EQ(settings.number, 3);
    EXPECT_EQ(settings.protocol, 4);
    EXPECT_EQ(settings.recLineWidth, 400);

    ModelSettings fresh;
    loadModelSettings("RX-K90", OpenEntry::OpenService, &fresh);
    EXPECT_EQ(fresh.dpi, 180);
    EXPECT_EQ(fresh.printWidth, 640);
}

TEST(ModelCatalogueTest, OlderOpenEntryDiffersInThreeValues) {
    ModelSettings a17;
    loadModelSettings("RX-A17", OpenEntry::Open, &a17);
    EXPECT_EQ(a17.dpi, 180);
    EXPECT_EQ(a17.recSidewaysMaxChars, 69);
    ModelSettings d40;
    loadModelSettings("RX-D40", OpenEntry::Open, &d40);
    EXPECT_EQ(d40.dpi, 203);
    EXPECT_EQ(d40.recSidewaysMaxLines, 17);
    ModelSettings f60;
    loadModelSettings("RX-F60", OpenEntry::Open, &f60);
    EXPECT_EQ(f60.slpLineChars, 68);
    loadModelSettings("RX-F60", OpenEntry::OpenService, &f60);
    EXPECT_EQ(f60.slpLineChars, 66);
    EXPECT_EQ(f60.jrnLineWidth, 360);
}

TEST(StatusBitsTest, EachFamilyReadsItsOwnSensorBits) {
    using B = StatusBlock;
    EXPECT_EQ(decodeStatus(model::H81, B{0x20, 0, 0x00, 0}).cover, 11);
    EXPECT_EQ(decodeStatus(model::H81, B{0x00, 0, 0x03, 0}).receipt, 25);
    EXPECT_EQ(decodeStatus(model::H81, B{0x00, 0, 0x0C, 0}).receipt, 24);
    EXPECT_EQ(decodeStatus(model::E50, B{0x20, 0, 0x0C, 0}).cover, 12);
    EXPECT_EQ(decodeStatus(model::E50, B{0x02, 0x06, 0, 0}).receipt, 24);
    EXPECT_EQ(decodeStatus(model::B20, B{0, 0, 0x03, 0}).receipt, 26);
    const StatusCodes f60 = decodeStatus(model::F60, B{0, 0, 0x2A, 0x02});
    EXPECT_EQ(f60.f60Receipt, 24);
    EXPECT_EQ(f60.journal, 23);
    EXPECT_EQ(f60.slip, 28);
    EXPECT_EQ(decodeStatus(model::F60, B{0, 0, 0x65, 0}).slip, 27);
    EXPECT_EQ(decodeStatus(model::F60, B{0, 0, 0x65, 0}).journal, 21);
}

}  // namespace
}  // namespace printer
