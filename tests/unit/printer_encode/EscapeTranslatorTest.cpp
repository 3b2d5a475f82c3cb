#include "printer/encode/EscapeTranslator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "EncodeTestSupport.h"
#include "printer/ModelCatalogue.h"

using encodetest::bytes;
using encodetest::tail;
using printer::EscapeTranslator;
using printer::TranslatorSettings;

namespace {

TranslatorSettings settingsFor(std::int32_t model, std::int32_t subType = 0)
{
    TranslatorSettings s;
    s.model = model;
    s.subType = subType;
    s.charWidth = model == printer::model::F60 ? 9 : (model == printer::model::B20 ? 13 : 12);
    s.recLineChars = model == printer::model::F60 ? 30 : 42;
    s.jrnLineChars = 30;
    s.slpLineChars = 66;
    return s;
}

std::string esc(std::string_view sequence) { return "\x1b|" + std::string(sequence); }

// Translates once to settle the line spacing, so the second call's prefix
// is only the per-call commands.
struct Translator {
    explicit Translator(std::int32_t model, std::int32_t subType = 0) : t(&log)
    {
        t.setSettings(settingsFor(model, subType));
        t.translate(2, {});
        prefixLength = t.translate(2, {});
    }
    std::vector<std::uint8_t> run(std::string_view data, std::int32_t station = 2)
    {
        const auto in = bytes(data);
        const std::int32_t n = t.translate(station, in);
        EXPECT_EQ(n, static_cast<std::int32_t>(t.commands().size()));
        return tail(t.commands(), static_cast<std::size_t>(prefixLength));
    }
    encodetest::CapturingLog log;
    EscapeTranslator t;
    std::int32_t prefixLength = 0;
};

TEST(TranslateCtlCode, PrefixCommandsInOrder)
{
    encodetest::CapturingLog log;
    EscapeTranslator t(&log);
    t.setSettings(settingsFor(printer::model::A14));
    EXPECT_EQ(t.translate(2, {}), 12);
    const std::vector<std::uint8_t> got(t.commands().begin(), t.commands().end());
    EXPECT_EQ(got, bytes({0x1B, 0x4D, 0x00, 0x1B, 0x33, 0x3C, 0x1B, 0x7B, 0x00, 0x1B, 0x72, 0x00}));
    EXPECT_TRUE(log.hasDebug("TranslateCtlCode:12"));
    // The spacing already sent is not repeated; a single-colour model skips colour.
    EXPECT_EQ(t.translate(2, {}), 9);
    auto s = settingsFor(printer::model::H81);
    s.recLineChars = 56;
    s.rotate180 = true;
    t.setSettings(s);
    t.translate(2, {});
    const std::vector<std::uint8_t> rotated(t.commands().begin(), t.commands().end());
    EXPECT_EQ(rotated, bytes({0x1B, 0x4D, 0x01, 0x1B, 0x7B, 0x01}));
}

TEST(TranslateCtlCode, AlignmentIsResetAtTheLineFeed)
{
    Translator a(printer::model::A14);
    EXPECT_EQ(a.run(esc("cA") + "Hello\n"),
              bytes({0x1B, 0x61, 0x01, 'H', 'e', 'l', 'l', 'o', 0x0A, 0x1B, 0x61, 0x00}));
    // Left alignment and an alignment without prefix do nothing.
    EXPECT_EQ(a.run(esc("lA") + esc("A") + "x"), bytes("x"));
}

TEST(TranslateCtlCode, DoubleWidthLineMetrics)
{
    Translator a(printer::model::A14);
    a.t.resetMetrics();
    EXPECT_EQ(a.run(esc("2C") + "ab"), bytes({0x1D, 0x21, 0x10, 'a', 'b'}));
    EXPECT_EQ(a.t.metrics().currentWidth, 48);
    a.t.resetMetrics();
    a.run(esc("4C") + "ab\ncd");
    EXPECT_EQ(a.t.metrics().widestLine, 48);
    EXPECT_EQ(a.t.metrics().currentWidth, 24);  // back to single width after the feed
    EXPECT_EQ(a.t.metrics().totalHeight, 68 + 34);
    EXPECT_EQ(a.t.metrics().widthScale, 1);
}

TEST(TranslateCtlCode, ResetsInFixedOrderOnlyForChangedAttributes)
{
    Translator a(printer::model::A14);
    EXPECT_EQ(a.run(esc("uC") + esc("bC") + esc("3C") + "x\n"),
              bytes({0x1B, 0x2D, 0x01, 0x1C, 0x2D, 0x01, 0x1B, 0x45, 0x01, 0x1D, 0x21, 0x01, 'x', 0x0A,  //
                     0x1D, 0x21, 0x00, 0x1B, 0x45, 0x00, 0x1B, 0x2D, 0x00, 0x1C, 0x2D, 0x00}));
    // Sizes accumulate in the size byte and scale clamps at 6.
    EXPECT_EQ(a.run(esc("2hC") + esc("9vC")), bytes({0x1D, 0x21, 0x10, 0x1D, 0x21, 0x15}));
    EXPECT_EQ(a.run(esc("2uC") + esc("rvC")), bytes({0x1B, 0x2D, 0x02, 0x1C, 0x2D, 0x02, 0x1D, 0x42, 0x01}));
}

TEST(TranslateCtlCode, CutsPerModel)
{
    Translator a(printer::model::A14);
    EXPECT_EQ(a.run(esc("100P")), bytes({0x1D, 0x56, 0x01}));
    EXPECT_EQ(a.run(esc("P")), bytes({0x1D, 0x56, 0x01}));
    EXPECT_EQ(a.run(esc("5fP")), bytes({0x1D, 0x56, 0x42, 0x05}));
    EXPECT_EQ(a.run(esc("5sP")), bytes(""));
    Translator k(printer::model::K92);
    const std::vector<std::uint8_t> modes = {0x1B, 0x21, 0x00, 0x1C, 0x21, 0x00};
    auto cut = [&](int mode) {
        auto v = bytes({0x1D, 0x56, mode});
        v.insert(v.end(), modes.begin(), modes.end());
        return v;
    };
    EXPECT_EQ(k.run(esc("100P")), cut(0));
    EXPECT_EQ(k.run(esc("99P")), cut(1));
    EXPECT_EQ(k.run(esc("P")), cut(0));
    Translator f(printer::model::F60);
    EXPECT_EQ(f.run(esc("P")), cut(0));
}

TEST(TranslateCtlCode, PageModeSuppressesFeedsAndCuts)
{
    Translator a(printer::model::A14);
    EXPECT_EQ(a.run(esc("3lF")), bytes({0x1B, 0x64, 0x03}));
    EXPECT_EQ(a.run(esc("0lF") + esc("300lF")), bytes({0x1B, 0x64, 0x01, 0x1B, 0x64, 0xFF}));
    EXPECT_EQ(a.run(esc("150uF")), bytes({0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0x2D}));  // doubled
    a.t.encoder().setPageMode(true);
    EXPECT_EQ(a.run(esc("3lF") + esc("P") + esc("20uF")), bytes(""));
}

TEST(TranslateCtlCode, BitmapsOneToTwenty)
{
    Translator a(printer::model::A14);
    std::vector<std::int32_t> printed;
    a.t.encoder().setBitmapToCommands(
        [&](printer::CommandEncoder& e, const std::string&, std::int32_t n, std::int32_t, std::int32_t* w) {
            printed.push_back(n);
            *w = 200;
            return e.appendCommands(bytes({0x1D, 0x76}));
        });
    a.t.resetMetrics();
    // The picture is followed by the line's alignment and line spacing,
    // which its own commands replaced.
    EXPECT_EQ(a.run(esc("5B") + esc("21B") + esc("B")),
              bytes({0x1B, 0x64, 0x01, 0x1D, 0x76, 0x1B, 0x61, 0x00, 0x1B, 0x33, 0x3C}));
    EXPECT_EQ(printed, std::vector<std::int32_t>{5});
    EXPECT_EQ(a.t.metrics().widestLine, 400);
    EXPECT_TRUE(a.t.encoder().lineTerminated());
}

TEST(TranslateCtlCode, MalformedSequences)
{
    Translator a(printer::model::A14);
    EXPECT_EQ(a.run("A\x1b" "B"), bytes("AB"));
    EXPECT_EQ(a.run("A\x1b"), bytes("A"));
    EXPECT_EQ(a.run("A" + esc("12")), bytes("A"));   // the data ended inside the sequence
    EXPECT_EQ(a.run(esc("9Zq") + "x"), bytes("qx"));  // unknown letter: no output
    Translator f(printer::model::F60);
    const auto out = f.run("\x1b" "c0\x02" "ab");
    EXPECT_EQ(out, bytes({0x1B, 'c', '0', 0x02, 'a', 'b'}));
}

TEST(TranslateCtlCode, CommandsThatWouldOverflowAreRefusedWhole)
{
    Translator a(printer::model::A14);
    ASSERT_TRUE(a.t.encoder().setLogo(0, std::vector<std::uint8_t>(512, 0x55)));
    std::string data;
    for (int i = 0; i < 200; ++i) data += esc("tL");  // 800 bytes in, 102,400 out
    EXPECT_EQ(a.t.translate(2, bytes(data)), -1);
    EXPECT_TRUE(a.t.commands().empty());
    EXPECT_FALSE(a.log.errors.empty());
    EXPECT_GT(a.t.translate(2, bytes("ok")), 0);
}

TEST(TranslateCtlCodeK92, PrintModeBytesFollowEverySequence)
{
    Translator k(printer::model::K92);
    EXPECT_EQ(k.run(esc("bC") + esc("4C") + "x\n"),
              bytes({0x1B, 0x45, 0x01, 0x1B, 0x21, 0x08, 0x1C, 0x21, 0x00,  //
                     0x1B, 0x21, 0x38, 0x1C, 0x21, 0x0C, 'x', 0x0A,         //
                     0x1B, 0x21, 0x00, 0x1C, 0x21, 0x00, 0x1B, 0x61, 0x00, 0x1B, 0x72, 0x00,
                     0x1B, 0x65, 0x00, 0x1B, 0x45, 0x00}));
    EXPECT_TRUE(k.t.lineFeedSeen());
    EXPECT_EQ(k.run(esc("uC") + esc("E")), bytes({0x1B, 0x21, 0x80, 0x1C, 0x21, 0x80, 0x1B, 0x21, 0x80, 0x1C, 0x21, 0x80}));
    EXPECT_FALSE(k.t.lineFeedSeen());
}

TEST(TranslateCtlCodeK92, SetColorIsDroppedOnK93)
{
    Translator k93(printer::model::K92, printer::model::K93SubType);
    EXPECT_EQ(k93.run(esc("rC")), bytes({0x1B, 0x21, 0x00, 0x1C, 0x21, 0x00}));
    Translator k92(printer::model::K92);
    EXPECT_EQ(k92.run(esc("rC")), bytes({0x1B, 0x72, 0x01, 0x1B, 0x21, 0x00, 0x1C, 0x21, 0x00}));
}

TEST(TranslateCtlCodeF60, StationRules)
{
    Translator f(printer::model::F60);
    const auto modes = bytes({0x1B, 0x21, 0x00, 0x1C, 0x21, 0x00});
    auto aligned = bytes({0x1B, 0x61, 0x01});
    aligned.insert(aligned.end(), modes.begin(), modes.end());
    EXPECT_EQ(f.run(esc("cA"), 4), aligned);
    EXPECT_EQ(f.run(esc("cA"), 0x8003), modes);  // both stations share one alignment
    EXPECT_EQ(f.run(esc("2fT"), 2), bytes({0x1B, 0x21, 0x01, 0x1C, 0x21, 0x00}));

    auto s = settingsFor(printer::model::F60);
    s.slpLineChars = 91;
    f.t.setSettings(s);
    f.t.translate(4, {});
    const std::vector<std::uint8_t> prefix(f.t.commands().begin(), f.t.commands().end());
    EXPECT_EQ(tail(prefix, prefix.size() - 9), bytes({0x1B, 0x45, 0x00, 0x1B, 0x21, 0x01, 0x1B, 0x7B, 0x00}));
}

TEST(CountChar, RemainingCharactersOnAn360DotLine)
{
    EscapeTranslator t;
    auto s = settingsFor(printer::model::F60);
    s.recLineChars = 30;
    t.setSettings(s);
    EXPECT_EQ(t.CountChar(bytes(std::string(30, 'x'))), 0);
    EXPECT_EQ(t.CountChar(bytes(std::string(31, 'x'))), -1);
    EXPECT_EQ(t.CountChar(bytes(std::string(10, 'x') + "\r\n")), 20);
    EXPECT_EQ(t.CountChar(bytes(esc("2C") + std::string(5, 'x'))), 10);  // 240 dots left at double width
    s.recLineChars = 40;
    t.setSettings(s);
    EXPECT_EQ(t.CountChar(bytes(std::string(4, 'x'))), 36);
    EXPECT_EQ(t.metrics().widthScale, 1);
}

// A line that application calls build piece by piece prints as the same
// line given in one call: each case's calls, and the bytes the last call's
// commands must end with (or hold, for the page-mode case).
TEST(LineAcrossCalls, FinishesAsIfGivenInOneCall)
{
    const auto ending = [](std::initializer_list<int> b) { return bytes(b); };
    struct Case {
        const char* name;
        std::int32_t model;
        bool pageMode;
        std::vector<std::string> calls;
        std::vector<std::uint8_t> lastEndsWith;
    } cases[] = {
        {"centred double-size underlined header ended by a later line feed", printer::model::A14, false,
         {esc("cA") + esc("2C") + esc("uC") + "HEADER", "\n"},
         ending({0x0A, 0x1D, 0x21, 0x00, 0x1B, 0x61, 0x00, 0x1B, 0x2D, 0x00, 0x1C, 0x2D, 0x00})},
        {"bold begun, text in a second call, line feed in a third", printer::model::A14, false,
         {esc("bC") + "TOTAL", "  9.39", "\n"}, ending({0x0A, 0x1B, 0x45, 0x00})},
        {"a size escape after text: the size byte of the line goes on", printer::model::A14, false,
         {esc("2hC") + "a", esc("2vC") + "b\n"}, ending({0x1D, 0x21, 0x11, 'b', 0x0A, 0x1D, 0x21, 0x00})},
        // In page mode the line's pre-feed sits in an earlier call's bytes:
        // the later call must not patch its own bytes at that position.
        {"a rotated line across two calls", printer::model::A14, true,
         {esc("2C") + "abcdef", "ghijklmnop" + esc("4C") + "qrs\n"}, bytes("ghijklmnop")},
    };
    for (const Case& c : cases) {
        Translator t(c.model);
        t.t.encoder().setPageMode(c.pageMode);
        std::vector<std::uint8_t> last;
        for (const auto& call : c.calls) last = t.run(call);
        if (c.pageMode) {
            EXPECT_NE(std::search(last.begin(), last.end(), c.lastEndsWith.begin(), c.lastEndsWith.end()), last.end())
                << c.name;
        } else {
            const std::size_t from = last.size() >= c.lastEndsWith.size() ? last.size() - c.lastEndsWith.size() : 0;
            EXPECT_EQ(tail(last, from), c.lastEndsWith) << c.name;
        }
    }
}

// Stored bitmaps in print data: a picture starts on its own line, leaves
// the text's alignment and upside-down printing as they were, and one that
// cannot be printed fails the call with nothing to print and the line state
// untouched.
TEST(StoredBitmapInText, OwnLineTextStateAndFailure)
{
    const auto band = bytes({0x1B, 0x61, 0x01, 0x1B, 0x7B, 0x00, 0x1B, 0x2A});  // what the pipeline sends
    const auto pipeline = [&](bool ok) {
        return [ok, band](printer::CommandEncoder& e, const std::string&, std::int32_t, std::int32_t,
                          std::int32_t* w) -> std::int32_t {
            if (!ok) return -1;
            *w = 64;
            return e.appendCommands(band) == 0 ? e.fillCount() : -1;
        };
    };

    Translator a(printer::model::A14);
    a.t.encoder().setBitmapToCommands(pipeline(true));
    a.run("\n");
    // Text then picture in one call: the text's line is printed first.
    auto out = a.run(esc("rA") + "abc" + esc("1B") + "def\n");
    auto expected = bytes({0x1B, 0x61, 0x02, 'a', 'b', 'c', 0x1B, 0x64, 0x01});
    expected.insert(expected.end(), band.begin(), band.end());
    for (const std::uint8_t b : bytes({0x1B, 0x61, 0x02, 0x1B, 0x33, 0x3C, 'd', 'e', 'f', 0x0A, 0x1B, 0x61, 0x00}))
        expected.push_back(b);
    EXPECT_EQ(out, expected);
    // Text ending in a picture: the next picture needs no line end of its own.
    a.run("x" + esc("2B"));
    out = a.run(esc("3B"));
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 3), bytes({0x1B, 0x61, 0x01}));

    // Upside down: the text after the picture stays upside down.
    auto upsideDown = settingsFor(printer::model::A14);
    upsideDown.rotate180 = true;
    a.t.setSettings(upsideDown);
    out = a.run("\n" + esc("1B") + "up\n");
    const auto restored = bytes({0x1B, 0x7B, 0x01, 0x1B, 0x33, 0x3C, 'u', 'p'});
    EXPECT_NE(std::search(out.begin(), out.end(), restored.begin(), restored.end()), out.end());

    // A picture that fails: nothing to print, and the centring of the
    // failed call never happened for the line's end.
    Translator f(printer::model::A14);
    f.t.encoder().setBitmapToCommands(pipeline(false));
    f.run("\n");
    EXPECT_EQ(f.t.translate(2, bytes(esc("cA") + "a" + esc("1B") + esc("1B") + "b")), -1);
    EXPECT_TRUE(f.t.commands().empty());
    EXPECT_EQ(f.run("\n"), bytes({0x0A}));
}

// On the print-mode models a size escape names the whole size: 2C then 3C
// is double height only, as on the GS ! models.
TEST(TranslateCtlCodeK92, LaterSizeEscapeReplacesTheEarlier)
{
    for (const std::int32_t model : {printer::model::K92, printer::model::F60}) {
        Translator k(model);
        const auto out = k.run(esc("2C") + esc("3C") + "x");
        const auto tall = bytes({0x1B, 0x21, 0x10, 0x1C, 0x21, 0x08, 'x'});
        ASSERT_GE(out.size(), tall.size()) << model;
        EXPECT_EQ(tail(out, out.size() - tall.size()), tall) << model;
        // Measured at single width too.
        EXPECT_EQ(k.t.metrics().currentWidth, k.t.settings().charWidth) << model;
    }
}

}  // namespace
