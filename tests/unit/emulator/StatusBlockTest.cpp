// The status blocks are checked by reading them back the way the printer
// service object reads each layout, so every state the emulator can be put
// in must show up as exactly the condition the service object would see.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "emulator/ModelCatalogue.h"
#include "emulator/StatusLayout.h"
#include "emulator/VirtualPrinter.h"

using namespace emulator;

namespace {

struct Seen {
    bool coverOpen = false;
    bool receiptEnd = false;
    bool receiptNearEnd = false;
    bool journalEnd = false;
    bool journalNearEnd = false;
    bool slipEnd = false;
    bool slipNearEnd = false;
    int slipSensor = 0;  // F60: 2 no slip, 3 inserted, 4 out of the path
    bool cutterError = false;
    bool motorError = false;
    bool resumeError = false;
    bool autoStatusResumeError = false;
    bool operator==(const Seen&) const = default;
};

std::string describe(const Seen& s) {
    std::string out;
    auto flag = [&out](bool on, const char* name) {
        if (on) out += std::string(name) + " ";
    };
    flag(s.coverOpen, "cover");
    flag(s.receiptEnd, "receiptEnd");
    flag(s.receiptNearEnd, "receiptNearEnd");
    flag(s.journalEnd, "journalEnd");
    flag(s.journalNearEnd, "journalNearEnd");
    flag(s.slipEnd, "slipEnd");
    flag(s.slipNearEnd, "slipNearEnd");
    flag(s.cutterError, "cutter");
    flag(s.motorError, "motor");
    flag(s.resumeError, "resume");
    flag(s.autoStatusResumeError, "asbResume");
    return out + "slip sensor " + std::to_string(s.slipSensor);
}

Seen read(StatusLayout layout, const StatusBlock& b) {
    Seen s;
    switch (layout) {
    case StatusLayout::General:
        s.coverOpen = b[0] & 0x20;
        s.receiptEnd = b[2] & 0x0C;
        s.receiptNearEnd = b[2] & 0x03;
        s.cutterError = (b[1] & 0x08) || (b[1] & 0x20);
        s.motorError = b[1] & 0x04;
        s.autoStatusResumeError = b[1] & 0x40;
        s.resumeError = b[1] & 0x20;
        break;
    case StatusLayout::E50:
        s.coverOpen = b[0] & 0x02;
        s.receiptEnd = (b[0] & 0x04) || (b[1] & 0x06);
        s.cutterError = b[0] & 0x10;
        s.autoStatusResumeError = b[1] & 0x40;
        break;
    case StatusLayout::B20:
        s.coverOpen = b[0] & 0x20;
        s.receiptEnd = b[2] & 0x0C;
        s.autoStatusResumeError = b[1] & 0x40;
        s.resumeError = b[1] & 0x20;
        break;
    case StatusLayout::F60:
        s.coverOpen = b[0] & 0x20;
        s.receiptEnd = b[2] & 0x08;
        s.receiptNearEnd = b[2] & 0x02;
        s.journalEnd = b[2] & 0x04;
        s.journalNearEnd = b[2] & 0x01;
        s.slipEnd = (b[2] & 0x20) && (b[2] & 0x40);
        s.slipNearEnd = (b[2] & 0x20) && !(b[2] & 0x40) && (b[3] & 0x02);
        s.cutterError = (b[1] & 0x08) || (b[1] & 0x20);
        s.motorError = b[1] & 0x04;
        s.autoStatusResumeError = b[1] & 0x40;
        s.resumeError = b[1] & 0x20;
        if ((b[2] & 0x20) && (b[2] & 0x40) && (b[3] & 0x02)) s.slipSensor = 2;
        if ((b[2] & 0x40) && !(b[2] & 0x20) && !(b[3] & 0x02)) s.slipSensor = 3;
        if ((b[2] & 0x20) && (b[3] & 0x02) && !(b[2] & 0x40)) s.slipSensor = 4;
        break;
    }
    return s;
}

struct Case {
    const char* name;
    std::function<void(PrinterState&)> change;
    std::function<void(Seen&)> expected;
};

// Puts the model into each state of `cases` on top of `base` and checks the
// block reads back as exactly the expected conditions.
void expectReadsBack(const char* code, const PrinterState& base, const Seen& baseSeen,
                     const std::vector<Case>& cases) {
    const StatusLayout layout = findModel(code)->statusLayout;
    for (const Case& c : cases) {
        VirtualPrinter printer(code);
        printer.changeState([&](PrinterState& s) {
            s = base;
            c.change(s);
        });
        Seen expected = baseSeen;
        c.expected(expected);
        const Seen seen = read(layout, printer.statusBlock());
        EXPECT_EQ(seen, expected) << code << " " << c.name << ": read " << describe(seen)
                                  << ", expected " << describe(expected);
    }
}

TEST(StatusBlock, GeneralLayoutStartsAsTheSuitesDefaultBlockAndCarriesEveryCondition) {
    VirtualPrinter printer("H81");
    EXPECT_EQ(printer.statusBlock(), (StatusBlock{0x14, 0x00, 0x00, 0x0F}));
    expectReadsBack("K92", PrinterState{}, Seen{},
                    {
                        {"cover", [](PrinterState& s) { s.coverOpen = true; }, [](Seen& e) { e.coverOpen = true; }},
                        {"near end", [](PrinterState& s) { s.receiptNearEnd = true; },
                         [](Seen& e) { e.receiptNearEnd = true; }},
                        {"end", [](PrinterState& s) { s.receiptEnd = true; }, [](Seen& e) { e.receiptEnd = true; }},
                        {"cutter", [](PrinterState& s) { s.cutterError = true; },
                         [](Seen& e) { e.cutterError = true; }},
                        {"motor", [](PrinterState& s) { s.motorError = true; }, [](Seen& e) { e.motorError = true; }},
                        // The layout shares one bit between a resume error and a cutter error.
                        {"resume", [](PrinterState& s) { s.resumeError = true; },
                         [](Seen& e) { e.resumeError = e.cutterError = true; }},
                        {"asb resume", [](PrinterState& s) { s.autoStatusResumeError = true; },
                         [](Seen& e) { e.autoStatusResumeError = true; }},
                        {"journal and slip, which the model lacks",
                         [](PrinterState& s) { s.journalEnd = s.slipEnd = s.slipInserted = true; }, [](Seen&) {}},
                    });
}

TEST(StatusBlock, DrawerSensorFollowsTheWiringPhase) {
    VirtualPrinter printer("A14");
    auto sensorSet = [&printer] { return (printer.statusBlock()[0] & 0x04) != 0; };
    EXPECT_TRUE(sensorSet()) << "closed, usual phase";
    printer.changeState([](PrinterState& s) { s.drawerOpen = true; });
    EXPECT_FALSE(sensorSet()) << "open, usual phase";
    printer.changeState([](PrinterState& s) { s.drawerOpenReadsHigh = true; });
    EXPECT_TRUE(sensorSet()) << "open, reversed phase";
    printer.changeState([](PrinterState& s) { s.drawerOpen = false; });
    EXPECT_FALSE(sensorSet()) << "closed, reversed phase";
    EXPECT_EQ(read(StatusLayout::General, printer.statusBlock()), Seen{});
}

TEST(StatusBlock, E50LayoutHasItsOwnBitsAndNoNearEnd) {
    expectReadsBack("E50", PrinterState{}, Seen{},
                    {
                        {"nothing", [](PrinterState&) {}, [](Seen&) {}},
                        {"drawer open", [](PrinterState& s) { s.drawerOpen = true; }, [](Seen&) {}},
                        {"cover", [](PrinterState& s) { s.coverOpen = true; }, [](Seen& e) { e.coverOpen = true; }},
                        {"near end", [](PrinterState& s) { s.receiptNearEnd = true; }, [](Seen&) {}},
                        {"end", [](PrinterState& s) { s.receiptEnd = true; }, [](Seen& e) { e.receiptEnd = true; }},
                        {"cutter", [](PrinterState& s) { s.cutterError = true; },
                         [](Seen& e) { e.cutterError = true; }},
                        {"motor and resume", [](PrinterState& s) { s.motorError = s.resumeError = true; },
                         [](Seen&) {}},
                        {"asb resume", [](PrinterState& s) { s.autoStatusResumeError = true; },
                         [](Seen& e) { e.autoStatusResumeError = true; }},
                    });
}

TEST(StatusBlock, B20LayoutReportsNeitherNearEndNorCutterOrMotor) {
    expectReadsBack("B20", PrinterState{}, Seen{},
                    {
                        {"cover", [](PrinterState& s) { s.coverOpen = true; }, [](Seen& e) { e.coverOpen = true; }},
                        {"near end", [](PrinterState& s) { s.receiptNearEnd = true; }, [](Seen&) {}},
                        {"end", [](PrinterState& s) { s.receiptEnd = true; }, [](Seen& e) { e.receiptEnd = true; }},
                        {"cutter and motor", [](PrinterState& s) { s.cutterError = s.motorError = true; },
                         [](Seen&) {}},
                        {"resume", [](PrinterState& s) { s.resumeError = true; },
                         [](Seen& e) { e.resumeError = true; }},
                        {"asb resume", [](PrinterState& s) { s.autoStatusResumeError = true; },
                         [](Seen& e) { e.autoStatusResumeError = true; }},
                    });
}

TEST(StatusBlock, F60LayoutCarriesEachStationAndTheSlipSensors) {
    VirtualPrinter printer("F60");
    EXPECT_EQ(printer.statusBlock(), (StatusBlock{0x14, 0x00, 0x60, 0x6F}))
        << "no slip in: the suite's default block for the F60";

    PrinterState inserted;
    inserted.slipInserted = true;
    Seen ok;
    ok.slipSensor = 3;
    expectReadsBack("F60", inserted, ok,
                    {
                        {"slip inserted", [](PrinterState&) {}, [](Seen&) {}},
                        {"slip out of the path", [](PrinterState& s) { s.slipNearEnd = true; },
                         [](Seen& e) {
                             e.slipNearEnd = true;
                             e.slipSensor = 4;
                         }},
                        {"slip gone", [](PrinterState& s) { s.slipEnd = true; },
                         [](Seen& e) {
                             e.slipEnd = true;
                             e.slipSensor = 2;
                         }},
                        {"no slip at all", [](PrinterState& s) { s.slipInserted = false; },
                         [](Seen& e) {
                             e.slipEnd = true;
                             e.slipSensor = 2;
                         }},
                        {"receipt end", [](PrinterState& s) { s.receiptEnd = true; },
                         [](Seen& e) { e.receiptEnd = true; }},
                        {"receipt near end", [](PrinterState& s) { s.receiptNearEnd = true; },
                         [](Seen& e) { e.receiptNearEnd = true; }},
                        {"journal end", [](PrinterState& s) { s.journalEnd = true; },
                         [](Seen& e) { e.journalEnd = true; }},
                        {"journal near end", [](PrinterState& s) { s.journalNearEnd = true; },
                         [](Seen& e) { e.journalNearEnd = true; }},
                        {"cover", [](PrinterState& s) { s.coverOpen = true; }, [](Seen& e) { e.coverOpen = true; }},
                        {"cutter", [](PrinterState& s) { s.cutterError = true; },
                         [](Seen& e) { e.cutterError = true; }},
                        {"motor", [](PrinterState& s) { s.motorError = true; }, [](Seen& e) { e.motorError = true; }},
                        {"asb resume", [](PrinterState& s) { s.autoStatusResumeError = true; },
                         [](Seen& e) { e.autoStatusResumeError = true; }},
                    });
}

TEST(StatusBlock, EveryModelKeepsTheFramingBitsTheSerialReaderResynchronisesOn) {
    // The port library realigns a serial status stream on a first byte with
    // 0x10 set and 0x83 clear and a fourth byte of 0x0F (F60 excepted).
    PrinterState busy;
    busy.coverOpen = busy.receiptEnd = busy.receiptNearEnd = busy.drawerOpen = true;
    busy.cutterError = busy.motorError = busy.autoStatusResumeError = true;
    for (const ModelInfo& model : modelCatalogue()) {
        if (model.statusLayout != StatusLayout::General && model.statusLayout != StatusLayout::B20) continue;
        for (const PrinterState& state : {PrinterState{}, busy}) {
            const StatusBlock block = encodeStatusBlock(model.statusLayout, state);
            EXPECT_EQ(block[0] & 0x93, 0x10) << model.code;
            EXPECT_EQ(block[3], 0x0F) << model.code;
        }
    }
}

}  // namespace
