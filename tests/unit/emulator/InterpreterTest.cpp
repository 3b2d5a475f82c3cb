// Byte streams as the service objects send them, checked through the
// transcript the emulator keeps of its paper.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "PrinterStream.h"
#include "emulator/ModelCatalogue.h"
#include "emulator/ReferenceReceipt.h"
#include "emulator/VirtualPrinter.h"

using namespace emulator;
using emulatortest::PrinterStream;

namespace {

std::string transcriptOf(const char* model, const PrinterStream& stream) {
    VirtualPrinter printer(model);
    printer.receive(stream);
    return printer.transcript();
}

// The standard translator's prologue for an A14: font, line spacing,
// upside-down off, two-colour mode off.
PrinterStream a14Prologue() {
    PrinterStream s;
    s({0x1B, 0x4D, 0, 0x1B, 0x33, 60, 0x1B, 0x7B, 0, 0x1B, 0x72, 0});
    return s;
}

TEST(Interpreter, StandardTranslatorOutputBecomesStyledLines) {
    PrinterStream s = a14Prologue();
    s({0x1B, 0x61, 1})("Hello")({0x0A, 0x1B, 0x61, 0});
    s({0x1D, 0x21, 0x11})("TOTAL")({0x0A, 0x1D, 0x21, 0x00});
    s({0x1B, 0x45, 1})("Item")({0x1B, 0x45, 0})(" 2 x ")({0x1B, 0x2D, 2})("9.99")({0x0A, 0x1B, 0x2D, 0});
    s({0x1D, 0x42, 1})("NEG")({0x1D, 0x42, 0, 0x1B, 0x72, 1})("RED")({0x0A, 0x1B, 0x72, 0});
    s({0x1B, 0x4D, 1})("small")({0x0A, 0x1B, 0x4D, 0});
    EXPECT_EQ(transcriptOf("A14", s),
              "[center]Hello\n"
              "[size 2x2]TOTAL\n"
              "[bold]Item[/bold] 2 x [underline 2]9.99\n"
              "[reverse]NEG[/reverse][red]RED\n"
              "[font-b]small\n");
}

TEST(Interpreter, PrintModeBytesOfTheNarrowModelsSetStyleAndSize) {
    PrinterStream s;
    s({0x1B, 0x21, 0x00, 0x1C, 0x21, 0x00, 0x1B, 0x61, 0, 0x1B, 0x72, 0, 0x1B, 0x45, 0});
    s({0x1B, 0x21, 0x38, 0x1C, 0x21, 0x0C})("BIG")({0x1B, 0x21, 0x80, 0x1C, 0x21, 0x80})("under");
    s({0x0A, 0x1B, 0x21, 0x00, 0x1C, 0x21, 0x00, 0x1B, 0x65, 0x00});
    EXPECT_EQ(transcriptOf("K92", s), "[bold][size 2x2]BIG[/bold][/size][underline]under\n");
}

TEST(Interpreter, FeedsAndEveryFormOfCut) {
    PrinterStream s;
    s("A")({0x0A, 0x1B, 0x64, 3})("B")({0x1B, 0x64, 0x01, 0x1D, 0x56, 0x00});
    s({0x1B, 0x4A, 40, 0x1D, 0x56, 0x01, 0x1D, 0x56, 0x42, 5, 0x1D, 0x56, 0x41, 0x00});
    s({0x1D, 0x56, 0x31, 0x1D, 0x56, 0x30, 0x1D, 0x0C, 0x1D, 0x56, 0x63, 0x03, 0x00, 0x1D, 0x56, 0x6D});
    EXPECT_EQ(transcriptOf("C31", s),
              "A\n\n\n\nB\n[cut]\n[cut partial]\n[cut partial]\n[cut]\n"
              "[cut partial]\n[cut]\n[mark-feed]\n[mark-feed cutter]\n");
}

TEST(Interpreter, EveryBarcodeSystemPrintsWithLibzint) {
    struct Case {
        int m;
        const char* data;
        const char* expected;
    };
    const Case cases[] = {
        {0x41, "12345678901", "[barcode UPC-A \"12345678901\"]"},
        {0x42, "0123456", "[barcode UPC-E \"0123456\"]"},
        {0x43, "400638133393", "[barcode EAN13 \"400638133393\"]"},
        {0x44, "1234567", "[barcode EAN8 \"1234567\"]"},
        {0x45, "ABC-12", "[barcode CODE39 \"ABC-12\"]"},
        {0x46, "123456", "[barcode ITF \"123456\"]"},
        {0x47, "A123A", "[barcode CODABAR \"A123A\"]"},
        {0x48, "CODE93", "[barcode CODE93 \"CODE93\"]"},
        {0x49, "{AABC", "[barcode CODE128 \"{AABC\"]"},
        {0x49, "{C\x0c\x22", "[barcode CODE128 \"{C\\x0C\\\"\"]"},
        {0x4B, "PDF DATA", "[barcode PDF417 \"PDF DATA\"]"},
        {0x4D, "MAXI", "[barcode MAXICODE \"MAXI\"]"},
    };
    for (const Case& c : cases) {
        PrinterStream s;
        const std::string data = c.data;
        s({0x1D, 0x77, 2, 0x1D, 0x68, 50, 0x1D, 0x48, 2, 0x1D, 0x66, 0, 0x1B, 0x61, 1});
        s({0x1D, 0x6B, c.m, static_cast<int>(data.size())})(data)({0x1B, 0x61, 0});
        EXPECT_EQ(transcriptOf("A14", s), std::string(c.expected) + "\n") << c.m;
    }
    PrinterStream functionA;
    functionA({0x1D, 0x6B, 4})("CODE")({0x00})("after")({0x0A});
    EXPECT_EQ(transcriptOf("H81", functionA), "[barcode CODE39 \"CODE\"]\nafter\n");
}

TEST(Interpreter, BarcodesThePrinterCannotDrawAreReportedNotDrawn) {
    PrinterStream s;
    s({0x1D, 0x6B, 0x41, 3})("1A2");
    const std::string digits = "{B0123456789012345678901234567890";
    s({0x1D, 0x77, 6, 0x1D, 0x6B, 0x49, static_cast<int>(digits.size())})(digits);
    const std::string transcript = transcriptOf("B20", s);
    EXPECT_NE(transcript.find("[barcode UPC-A \"1A2\"] not printed: UPC-A takes 11 or 12 digits"),
              std::string::npos)
        << transcript;
    EXPECT_NE(transcript.find("not printed: wider than the paper"), std::string::npos) << transcript;
}

// GS ( k: settings and data are kept until the print function draws them;
// the print may be repeated. Functions the printers lack are recorded.
TEST(Interpreter, QrCodesAreStoredThenPrinted) {
    const std::string data = "https://receipts.example/e/1";
    const int stored = static_cast<int>(data.size()) + 3;
    PrinterStream s;
    s({0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00});         // model 2
    s({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x05});               // module 5
    s({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, 0x33});               // level H
    s({0x1D, 0x28, 0x6B, stored, 0x00, 0x31, 0x50, 0x30})(data);
    s({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30, 0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30});
    s({0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x31, 0x00});         // model 1: not on these printers
    VirtualPrinter printer("A14");
    printer.receive(s);
    const std::string line = "[qr \"" + data + "\"]\n";
    EXPECT_EQ(printer.transcript(), line + line);
    EXPECT_EQ(printer.unknownCommands(), (std::vector<std::string>{"1D 28 6B 04 00 (+4 bytes skipped)"}));
}

TEST(Interpreter, BitImagesOfAllFourDensitiesAndTheirWidths) {
    PrinterStream s;
    for (const int m : {0, 1, 32, 33}) {
        s({0x1B, 0x2A, m, 100, 0}).repeat(m >= 32 ? 300 : 100, 0xAA)({0x0A});
    }
    // Wider than the paper: the printer keeps what fits, still taking in
    // all the data announced.
    s({0x1B, 0x2A, 0, 0x90, 0x01}).repeat(400, 0xFF)({0x0A})("next")({0x0A});
    EXPECT_EQ(transcriptOf("H81", s),
              "[image 200x24]\n[image 100x24]\n[image 200x24]\n[image 100x24]\n[image 640x24]\nnext\n");
}

TEST(Interpreter, BandsFedByTheirTrailersJoinIntoOneImage) {
    for (const char* model : {"A14", "K92", "B20"}) {
        const bool narrow = std::string(model) == "K92";
        const bool b20 = std::string(model) == "B20";
        PrinterStream s;
        s({0x1B, 0x61, 1, 0x1B, 0x7B, 0});
        for (int band = 0; band < 5; ++band) {
            s({0x1B, 0x2A, 0, 60, 0}).repeat(60, 0x81);
            if (b20) {
                s({0x1B, 0x33, 0x18, 0x00, 0x0A});
            } else {
                s({0x1B, 0x32, 0x1B, 0x4A, narrow ? 0x10 : 0x18});
            }
        }
        if (b20) s({0x1B, 0x32});
        EXPECT_EQ(transcriptOf(model, s), "[image 120x120]\n") << model;
    }
}

TEST(Interpreter, RasterImagesKeepWhatFitsThePaper) {
    PrinterStream s;
    s({0x1D, 0x76, 0x30, 0, 10, 0, 3, 0}).repeat(30, 0xF0);
    s({0x1D, 0x76, 0x30, 3, 30, 0, 2, 0}).repeat(60, 0x0F)("after")({0x0A});
    EXPECT_EQ(transcriptOf("B20", s), "[image 80x3]\n[image 384x4]\nafter\n");
}

TEST(Interpreter, PageModeBlocksCollectUntilFormFeed) {
    PrinterStream s;
    s({0x1B, 0x4C, 0x1B, 0x57, 0, 0, 0, 0, 0x80, 0x02, 0xF0, 0x03, 0x1B, 0x54, 3});
    s({0x1B, 0x33, 60})("rotated one")({0x0A})("rotated two")({0x0A});
    s({0x1D, 0x56, 0x01});  // a cut inside a page is ignored
    s({0x0C, 0x1B, 0x54, 0})("after")({0x0A});
    EXPECT_EQ(transcriptOf("A14", s),
              "[page-mode 640x1008 dir 3]\nrotated one\nrotated two\n[end page-mode]\nafter\n");

    PrinterStream discarded;
    discarded({0x1B, 0x4C})("lost")({0x0A, 0x1B, 0x53})("kept")({0x0A});
    EXPECT_EQ(transcriptOf("B21", discarded), "kept\n") << "ESC S leaves page mode without printing";
}

TEST(Interpreter, UpsideDownAndAlignmentHoldForTheLineTheyStart) {
    PrinterStream s;
    s({0x1B, 0x7B, 1})("flipped")({0x0A, 0x1B, 0x7B, 0});
    s("mid")({0x1B, 0x61, 2})("line")({0x0A})("right")({0x0A, 0x1B, 0x61, 0});
    EXPECT_EQ(transcriptOf("H81", s), "[upside-down]flipped\nmidline\n[right]right\n");
}

TEST(Interpreter, F60StationsAndTheJournalTab) {
    PrinterStream s;
    s({0x1B, 0x63, 0x30, 0x01})("journal only")({0x0A});
    s({0x1B, 0x63, 0x30, 0x03})("J side")({0x1E})("R side")({0x0A});
    s({0x1B, 0x63, 0x30, 0x03, 0x1B, 0x7A, 0x01})("both")({0x0A, 0x1B, 0x7A, 0x00});
    s({0x1B, 0x63, 0x30, 0x04})("on the slip")({0x0A, 0x1B, 0x3D, 0x01, 0x0C});
    s({0x1B, 0x63, 0x30, 0x02})("receipt")({0x0A});
    EXPECT_EQ(transcriptOf("F60", s),
              "== journal ==\njournal only\nJ side\nboth\n"
              "== receipt ==\nR side\nboth\nreceipt\n"
              "== slip ==\non the slip\n[slip ejected]\n");
}

TEST(Interpreter, LongLinesWrapAtThePaperWidth) {
    PrinterStream s;
    s(std::string(60, 'x'))({0x0A});
    EXPECT_EQ(transcriptOf("H81", s), std::string(53, 'x') + "\n" + std::string(7, 'x') + "\n")
        << "53 font-A characters fill 640 dots";
    PrinterStream narrow;
    narrow({0x1B, 0x21, 0x01})(std::string(50, 'y'))({0x0A});
    EXPECT_EQ(transcriptOf("K93", narrow), "[font-b]" + std::string(46, 'y') + "\n[font-b]yyyy\n");
}

TEST(Interpreter, CodeTablesDecideTheCharactersOfTheUpperHalf) {
    PrinterStream s;
    s({0x9C, 0x0A, 0x1B, 0x74, 16, 0x80, 0x0A, 0x1B, 0x74, 17, 0x80, 0x0A});
    EXPECT_EQ(transcriptOf("H81", s), "\xC2\xA3\n\xE2\x82\xAC\n\xD0\x90\n");
}

TEST(Interpreter, UnknownCommandsAreRecordedAndSkippedByTheLengthRule) {
    VirtualPrinter printer("H81");
    PrinterStream s;
    s("a")({0x1B, 0x5E})("b")({0x07})("c");
    s({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x43, 0x03})("d");  // counted data skipped with it
    s({0x1D, 0x6B, 0x4E, 0x01})("e")({0x0A});  // a barcode system no model has, with its data
    printer.receive(s);
    EXPECT_EQ(printer.transcript(), "abcd\n");
    EXPECT_EQ(printer.unknownCommands(),
              (std::vector<std::string>{"1B 5E", "07", "1D 28 6B 03 00 (+3 bytes skipped)", "1D 6B 4E 01 65"}));
}

TEST(Interpreter, ADeselectedPrinterIgnoresDataUntilSelectedAgain) {
    PrinterStream s;
    s({0x1B, 0x3D, 0x00})("ignored")({0x0A, 0x1B, 0x45, 1, 0x1B, 0x3D, 0x01})("printed")({0x0A});
    EXPECT_EQ(transcriptOf("H81", s), "printed\n");
}

TEST(Interpreter, InitialiseForgetsModesAndUnprintedText) {
    PrinterStream s;
    s({0x1B, 0x45, 1, 0x1D, 0x21, 0x11, 0x1B, 0x61, 2})("dropped")({0x1B, 0x40})("plain")({0x0A});
    EXPECT_EQ(transcriptOf("H81", s), "plain\n");
}

// A stream that touches every kind of framing: fixed commands, counted
// barcode data, NUL-closed barcode data, image data and skipped data.
PrinterStream mixedStream() {
    PrinterStream s;
    s({0x00, 0x00, 0x1B, 0x3D, 0x01, 0x1B, 0x40, 0x1D, 0x61, 0xFF});
    const Bytes reference = referenceReceipt(*findModel("A14"));
    s(std::string_view(reinterpret_cast<const char*>(reference.data()), reference.size()));
    s({0x1D, 0x6B, 0x02})("4006381333931")({0x00});
    s({0x1D, 0x76, 0x30, 0, 4, 0, 4, 0}).repeat(16, 0x3C);
    s({0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00, 0x1B, 0x5E});
    s({0x1D, 0x28, 0x6B, 0x0B, 0x00, 0x31, 0x50, 0x30})("QR 12345")({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30});
    s({0x1B, 0x4C, 0x1B, 0x54, 1})("page")({0x0C, 0x1B, 0x74, 2, 0x82, 0x09})("tab")({0x0A});
    return s;
}

TEST(Interpreter, DataSplitAnywhereReadsAsTheWholeStream) {
    const PrinterStream stream = mixedStream();
    const Bytes& bytes = stream.bytes();
    VirtualPrinter whole("A14");
    whole.receive(bytes);
    ASSERT_NE(whole.transcript().find("PAGE MODE"), std::string::npos);
    ASSERT_NE(whole.transcript().find("[qr \"QR 12345\"]"), std::string::npos);

    VirtualPrinter byByte("A14");
    for (const std::uint8_t b : bytes) byByte.receive(std::span<const std::uint8_t>(&b, 1));
    EXPECT_EQ(byByte.transcript(), whole.transcript());
    EXPECT_EQ(byByte.unknownCommands(), whole.unknownCommands());

    std::mt19937 random(20261207);
    for (int round = 0; round < 20; ++round) {
        VirtualPrinter chunked("A14");
        std::size_t at = 0;
        while (at < bytes.size()) {
            const std::size_t size = std::min<std::size_t>(bytes.size() - at, random() % 700 + 1);
            chunked.receive(std::span<const std::uint8_t>(bytes.data() + at, size));
            at += size;
        }
        ASSERT_EQ(chunked.transcript(), whole.transcript()) << "round " << round;
        ASSERT_EQ(chunked.unknownCommands(), whole.unknownCommands()) << "round " << round;
        ASSERT_EQ(chunked.receivedBytes(), bytes);
    }
}

}  // namespace
