#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/registry.h"
#include "platform/strings.h"
#include "support/TempRegistry.h"

using namespace platform;

namespace {

class AnsiCodePageTest : public ::testing::Test {
protected:
    // Every test starts from an empty registry, so the cached code page of
    // an earlier test must not leak into it.
    void SetUp() override { reloadAnsiCodePage(); }
    void TearDown() override { reloadAnsiCodePage(); }

    void writeAcp(DWORD type, const void* data, DWORD size) {
        HKey key = nullptr;
        ASSERT_EQ(regCreateKeyEx(HKLM, "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage",
                                 KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        ASSERT_EQ(regSetValueEx(key, "ACP", type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        regCloseKey(key);
    }

    void useCodePage(const char* number) {
        writeAcp(REG_SZ, number, static_cast<DWORD>(std::strlen(number) + 1));
        reloadAnsiCodePage();
    }

    testsupport::TempRegistry m_registry;
};

TEST_F(AnsiCodePageTest, MissingValueMeansWindows1252) {
    EXPECT_EQ(ansiCodePage(), 1252u);
    EXPECT_EQ(toNarrow(L"\u20ac"), "\x80");
}

TEST_F(AnsiCodePageTest, Cp1252ConvertsBothWaysAndReplacesEachUnmappableCharacter) {
    useCodePage("1252");
    EXPECT_EQ(toNarrow(L"Caf\u00e9 \u20ac5"), "Caf\xe9 \x80"
                                               "5");
    EXPECT_EQ(toWide("Caf\xe9 \x80"
                     "5"),
              L"Caf\u00e9 \u20ac5");
    // One '?' per character the code page lacks, and the text after it kept.
    EXPECT_EQ(toNarrow(L"a\u65e5b\u0100\u0101c"), "a?b??c");
    // 0x81 is undefined in 1252.
    EXPECT_EQ(toWide("a\x81z"), L"a?z");
    EXPECT_EQ(toNarrow(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(toNarrow(L""), "");
}

TEST_F(AnsiCodePageTest, Cp932UsesDoubleByteCharacters) {
    useCodePage("932");
    EXPECT_EQ(ansiCodePage(), 932u);
    EXPECT_EQ(toNarrow(L"\uff71\u65e5\u672c"), "\xb1\x93\xfa\x96\x7b");
    EXPECT_EQ(toWide("\xb1\x93\xfa\x96\x7b"), L"\uff71\u65e5\u672c");
    EXPECT_EQ(toNarrow(L"x\u00e9y"), "x?y");
    // A lead byte without its trail byte costs itself only.
    EXPECT_EQ(toWide("A\x93"), L"A?");
    EXPECT_EQ(toWide("\x93 B"), L"? B");
}

TEST_F(AnsiCodePageTest, ANewCodePageTakesEffectWhenReloaded) {
    useCodePage("1252");
    EXPECT_EQ(toNarrow(L"\u0416"), "?");
    writeAcp(REG_SZ, "1251", 5);
    EXPECT_EQ(ansiCodePage(), 1252u) << "the code page is fixed until reloaded";
    reloadAnsiCodePage();
    EXPECT_EQ(ansiCodePage(), 1251u);
    EXPECT_EQ(toNarrow(L"\u0416"), "\xc6");
    EXPECT_EQ(toWide("\xc6"), L"\u0416");
}

TEST_F(AnsiCodePageTest, UnusableValuesFallBackTo1252) {
    for (const char* value : {"abc", "", "12x", "99999", "12345", "-1252"}) {
        useCodePage(value);
        EXPECT_EQ(ansiCodePage(), 1252u) << '"' << value << '"';
    }
    const DWORD number = 932;
    writeAcp(REG_DWORD, &number, sizeof(number));
    reloadAnsiCodePage();
    EXPECT_EQ(ansiCodePage(), 1252u) << "a DWORD is not the REG_SZ Windows stores";
}

TEST_F(AnsiCodePageTest, BoundedConversionRefusesRatherThanTruncates) {
    useCodePage("932");
    char buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    std::size_t written = 99;

    EXPECT_EQ(toNarrow(L"A\u65e5", buffer, 3, &written), ERROR_SUCCESS);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(std::string(buffer, 4), "A\x93\xfax") << "no NUL is appended";

    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(toNarrow(L"A\u65e5", buffer, 2, &written), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(written, 3u) << "reports the size needed";
    EXPECT_EQ(std::string(buffer, sizeof(buffer)), std::string(sizeof(buffer), 'x'));

    EXPECT_EQ(toNarrow(L"", nullptr, 0, &written), ERROR_SUCCESS);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(toNarrow(L"A", buffer, sizeof(buffer), nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(toNarrow(L"A", nullptr, 4, &written), ERROR_INVALID_PARAMETER);
}

}  // namespace
