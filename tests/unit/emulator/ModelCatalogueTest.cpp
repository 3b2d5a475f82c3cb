#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "emulator/ModelCatalogue.h"
#include "emulator/VirtualPrinter.h"

using namespace emulator;

namespace {

TEST(ModelCatalogue, DeviceNamesAreSearchedInTheServiceObjectsOrder) {
    EXPECT_EQ(detectModel("RX-A14XX_2")->code, "A14X");
    EXPECT_EQ(detectModel("RX-A14_3")->code, "A14");
    EXPECT_EQ(detectModel("K93 beside K92")->code, "K92");
    EXPECT_EQ(detectModel("RK-E50")->code, "E50");
    EXPECT_EQ(detectModel("E50"), nullptr) << "the E50 is known by its full prefix";
    EXPECT_EQ(detectModel("RX-Z99"), nullptr);
}

TEST(ModelCatalogue, EveryCodeIsUniqueAndFoundByItself) {
    std::set<std::string_view> codes;
    for (const ModelInfo& model : modelCatalogue()) {
        EXPECT_TRUE(codes.insert(model.code).second) << model.code;
        EXPECT_EQ(findModel(model.code), &model);
        EXPECT_TRUE(model.hasStation(Station::Receipt)) << model.code;
        EXPECT_GE(model.printWidthDots, model.stationWidth(Station::Receipt)) << model.code;
        EXPECT_EQ(VirtualPrinter(std::string(model.code)).printWidthDots(), model.printWidthDots);
    }
    EXPECT_EQ(codes.size(), 24u);
}

TEST(ModelCatalogue, OnlyTheF60HasJournalAndSlip) {
    for (const ModelInfo& model : modelCatalogue()) {
        const bool f60 = model.code == "F60";
        EXPECT_EQ(model.hasStation(Station::Journal), f60) << model.code;
        EXPECT_EQ(model.hasStation(Station::Slip), f60) << model.code;
        EXPECT_EQ(model.statusLayout == StatusLayout::F60, f60) << model.code;
    }
}

TEST(ModelCatalogue, AnUnknownCodeIsRefused) {
    EXPECT_THROW(VirtualPrinter("X99"), std::invalid_argument);
    EXPECT_THROW(VirtualPrinter("RX-H81"), std::invalid_argument) << "a code, not a device name";
}

}  // namespace
