#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "JsonLine.h"
#include "ScriptParser.h"
#include "platform/strings.h"
#include "support/TempRegistry.h"

using posctl::Command;
using posctl::parseLine;
using Kind = posctl::Command::Kind;
using platform::LONG;

namespace {

Command parsed(const std::string& line) {
    Command command;
    std::string error;
    EXPECT_TRUE(parseLine(line, &command, &error)) << line << ": " << error;
    return command;
}

std::string refused(const std::string& line) {
    Command command;
    std::string error;
    EXPECT_FALSE(parseLine(line, &command, &error)) << line;
    EXPECT_FALSE(error.empty()) << line;
    return error;
}

TEST(ScriptParser, OnArmsAnyCommandForAnEvent) {
    Command command = parsed("on p Error * p ReleaseDevice");
    EXPECT_EQ(command.kind, Kind::On);
    EXPECT_EQ(command.alias, "p");
    EXPECT_EQ(command.name, "Error");
    EXPECT_FALSE(command.value);
    ASSERT_TRUE(command.action);
    EXPECT_EQ(command.action->kind, Kind::Call);
    EXPECT_EQ(command.action->name, "ReleaseDevice");

    command = parsed("on p StatusUpdate 11 p set DeviceEnabled 0 # cover open");
    EXPECT_EQ(command.value, LONG{11});
    ASSERT_TRUE(command.action);
    EXPECT_EQ(command.action->kind, Kind::Set);
    EXPECT_EQ(command.action->arguments, std::vector<opos::Value>{LONG{0}});
    ASSERT_TRUE(parsed("on p OutputComplete close p").action);
    EXPECT_EQ(parsed("on p OutputComplete close p").action->kind, Kind::Close);
    EXPECT_EQ(parsed("on p DirectIO * p PrintNormal 2 \"a b\"").action->arguments,
              (std::vector<opos::Value>{LONG{2}, std::wstring(L"a b")}));

    refused("on p Error");
    refused("on p Error *");
    refused("on p Nothing * close p");
    refused("on p Error * close");
}

TEST(ScriptParser, ReadsEveryCommand) {
    Command command = parsed("open p POSPrinter RX-A14");
    EXPECT_EQ(command.kind, Kind::Open);
    EXPECT_EQ(command.alias, "p");
    EXPECT_EQ(command.name, "POSPrinter");
    EXPECT_EQ(command.arguments, std::vector<opos::Value>{std::wstring(L"RX-A14")});
    EXPECT_EQ(parsed("open d CashDrawer \"front desk\"").arguments, std::vector<opos::Value>{std::wstring(L"front desk")});

    command = parsed("  p\tPrintNormal 2 \"Hello\"  ");
    EXPECT_EQ(command.kind, Kind::Call);
    EXPECT_EQ(command.alias, "p");
    EXPECT_EQ(command.name, "PrintNormal");
    EXPECT_EQ(command.arguments, (std::vector<opos::Value>{LONG{2}, std::wstring(L"Hello")}));
    EXPECT_TRUE(parsed("p ReleaseDevice").arguments.empty());

    command = parsed("p get RecLineChars");
    EXPECT_EQ(command.kind, Kind::Get);
    EXPECT_EQ(command.name, "RecLineChars");
    command = parsed("p set CharacterSetList \"437\"");
    EXPECT_EQ(command.kind, Kind::Set);
    EXPECT_EQ(command.arguments, std::vector<opos::Value>{std::wstring(L"437")});
    command = parsed("p answer-errors clear");
    EXPECT_EQ(command.kind, Kind::AnswerErrors);
    EXPECT_EQ(command.name, "clear");

    command = parsed("wait p OutputComplete");
    EXPECT_EQ(command.kind, Kind::Wait);
    EXPECT_EQ(command.name, "OutputComplete");
    EXPECT_FALSE(command.value);
    EXPECT_EQ(command.milliseconds, 5000);
    command = parsed("wait p StatusUpdate 2001 250");
    EXPECT_EQ(command.value, 2001);
    EXPECT_EQ(command.milliseconds, 250);
    command = parsed("wait p Error * 100");
    EXPECT_FALSE(command.value);
    EXPECT_EQ(command.milliseconds, 100);

    command = parsed("sleep 20");
    EXPECT_EQ(command.kind, Kind::Sleep);
    EXPECT_EQ(command.milliseconds, 20);
    command = parsed("close p");
    EXPECT_EQ(command.kind, Kind::Close);
    EXPECT_EQ(command.alias, "p");

    EXPECT_EQ(parsed("").kind, Kind::None);
    EXPECT_EQ(parsed("   # just a note").kind, Kind::None);
    command = parsed("p PrintNormal 2 \"a # b\"# trailing");
    EXPECT_EQ(command.arguments[1], opos::Value(std::wstring(L"a # b")));
}

TEST(ScriptParser, ReadsIntegersInTheirThreeForms) {
    const std::vector<std::pair<std::string, LONG>> cases = {
        {"0", 0},           {"-13", -13},          {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
        {"0x1b", 0x1b},     {"0X7FFFFFFF", 0x7FFFFFFF}, {"0xFFFFFFFF", -1},     {"0x80000000", -2147483647 - 1},
        {"-0x10", -16},     {"-0x80000000", -2147483647 - 1},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(parsed("p CutPaper " + text).arguments, std::vector<opos::Value>{value}) << text;
    }
    for (const char* text : {"2147483648", "-2147483649", "0x100000000", "-0x80000001", "12ab", "0x", "-", "0xg1",
                             "1.5", "--1"}) {
        refused(std::string("p CutPaper ") + text);
    }
}

TEST(ScriptParser, DecodesStringEscapesAndUtf8) {
    testsupport::TempRegistry registry;  // the ANSI code page of a store without a setting: 1252
    platform::reloadAnsiCodePage();
    EXPECT_EQ(parsed(R"(p PrintNormal 2 "a\nb\rc\td\\e\"f\eg\x1Bh\x41\u00e9\u20AC")").arguments[1],
              opos::Value(std::wstring(L"a\nb\rc\td\\e\"f\x1bg\x1bh" L"A\u00e9\u20ac")));
    EXPECT_EQ(parsed(R"(p PrintNormal 2 "\x80\xE9")").arguments[1], opos::Value(std::wstring(L"\u20ac\u00e9")))
        << "\\xHH is the character the code page writes as that byte";
    EXPECT_EQ(parsed("p PrintNormal 2 \"Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC\"").arguments[1],
              opos::Value(std::wstring(L"Gr\u00fc\u00df \u20ac")));
    EXPECT_EQ(parsed("p PrintNormal 2 \"\"").arguments[1], opos::Value(std::wstring()));

    refused(R"(p PrintNormal 2 "open)");
    refused(R"(p PrintNormal 2 "ends in a backslash\)");
    refused(R"(p PrintNormal 2 "\q")");
    refused(R"(p PrintNormal 2 "\x4")");
    refused(R"(p PrintNormal 2 "\u12g4")");
    refused(R"(p PrintNormal 2 "a"b)");
    refused("p PrintNormal 2 \"\xFF\"");
    refused("p PrintNormal 2 \"\xC0\x80\"");  // an overlong NUL
    refused("p PrintNormal 2 \"\xED\xA0\x80\"");  // a surrogate
}

TEST(ScriptParser, RefusesMalformedCommands) {
    for (const char* line : {
             "open p Printer RX-A14",       // unknown class
             "open p POSPrinter",           // no name
             "open p POSPrinter 12",        // a number is no name
             "open p POSPrinter a b",       //
             "wait p",                      //
             "wait p Data",                 // not an event one can wait for
             "wait p Error x",              //
             "wait p Error 1 -5",           //
             "wait p Error 1 2 3",          //
             "sleep",                       //
             "sleep -1",                    //
             "sleep soon",                  //
             "close",                       //
             "p",                           //
             "p get",                       //
             "p get \"State\"",             //
             "p set RecLineChars",          //
             "p set RecLineChars 1 2",      //
             "p answer-errors maybe",       //
             "p PrintNormal 2 PTR_S_RECEIPT",  // a bare word is no argument
             "p 12",                        //
             "\"p\" get State",             //
             "12 get State",                //
         }) {
        refused(line);
    }
}

TEST(JsonLine, WritesMembersInOrderWithEscapedUtf8Strings) {
    const std::string line = posctl::JsonLine()
                                 .add("dev", "p")
                                 .add("rc", LONG{-1})
                                 .add("ok", true)
                                 .add("value", opos::Value(std::wstring(L"a\"b\\c\n\x1b\u00e9\u20ac")))
                                 .add("text", "q\"x")
                                 .text();
    EXPECT_EQ(line, "{\"dev\":\"p\",\"rc\":-1,\"ok\":true,\"value\":\"a\\\"b\\\\c\\n\\u001b\xC3\xA9\xE2\x82\xAC\","
                    "\"text\":\"q\\\"x\"}");
    EXPECT_EQ(posctl::jsonString(std::wstring(L"\xD800")), "\"\xEF\xBF\xBD\"") << "a lone surrogate";
}

}  // namespace
