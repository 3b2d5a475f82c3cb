// usblink's reading of IEEE 1284 device IDs and its choice among the
// attached printers: the part of it that is the same on every system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "DeviceId.h"

namespace porttest {
namespace {

using usblink::Attached;

std::vector<std::uint8_t> reply(unsigned length, const std::string& text) {
    std::vector<std::uint8_t> bytes(text.size() + 2);
    bytes[0] = static_cast<std::uint8_t>(length >> 8);
    bytes[1] = static_cast<std::uint8_t>(length);
    std::copy(text.begin(), text.end(), bytes.begin() + 2);
    return bytes;
}

TEST(UsbDeviceId, TheReplyLengthCountsItsOwnTwoBytesAndIsCutToTheReply) {
    const struct {
        std::vector<std::uint8_t> reply;
        std::optional<std::string> text;
    } cases[] = {
        {reply(9, "IID:90;"), "IID:90;"},
        {reply(7, "IID:90;"), "IID:9"},                    // the driver's buffer holds more than the ID
        {reply(0x0109, "IID:90;"), "IID:90;"},             // the high byte counts, then cut to the reply
        {reply(2, "IID:90;"), ""},
        {reply(1, "IID:90;"), std::nullopt},
        {{0x00}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(usblink::deviceIdFromReply(c.reply), c.text) << c.reply.size();
    }
}

TEST(UsbDeviceId, TheInternalIdIsTheDecimalIidElseADecimalSerialNumber) {
    const struct {
        const char* deviceId;
        std::optional<std::uint32_t> id;
    } cases[] = {
        {"MFG:Corvane;MDL:RX-K92;CMD:ESC/POS;CLS:PRINTER;IID:90;", 90},
        {"MFG:Corvane; IID:352", 352},               // space after the separator, no final ';'
        {"IID:4294967295;", 4294967295u},
        {"IID:4294967296;SN:7;", 7},                 // an IID too large is no number: the serial number counts
        {"MFG:Corvane;MDL:RX-H81;SN:123;", 123},
        {"SN:12AB;", std::nullopt},
        {"IID:9x;", std::nullopt},
        {"IID:-1;", std::nullopt},
        {"IID:;", std::nullopt},
        {"XIID:5;iid:6;", std::nullopt},             // keys match whole and by case
        {"MFG:Corvane;IID", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(usblink::internalIdOf(c.deviceId), c.id) << c.deviceId;
    }
}

TEST(UsbDeviceId, PrintersAreNumberedInNodeOrderSkippingThoseWithoutAnId) {
    const std::map<std::string, std::optional<std::string>> ids = {
        {"a", "MFG:Corvane;IID:90;"}, {"b", std::nullopt},   {"c", "MFG:Other;"},
        {"d", "SN:123;"},             {"e", "IID:90;"},
    };
    const auto printers = usblink::identifyPrinters({"a", "b", "c", "d", "e"},
                                                    [&](const std::string& path) { return ids.at(path); });
    ASSERT_EQ(printers.size(), 3u);

    const auto pathOf = [](const Attached* printer) { return printer != nullptr ? printer->path : "none"; };
    const struct {
        std::int32_t number;
        const char* path;
    } numbered[] = {{0, "a"}, {1, "d"}, {2, "e"}, {3, "none"}, {-1, "none"}};
    for (const auto& c : numbered) {
        EXPECT_EQ(pathOf(usblink::printerNumbered(printers, c.number)), c.path) << c.number;
    }
    const struct {
        std::uint32_t id;
        const char* path;
    } byId[] = {{90, "a"}, {123, "d"}, {91, "none"}};
    for (const auto& c : byId) {
        EXPECT_EQ(pathOf(usblink::printerWithId(printers, c.id)), c.path) << c.id;
    }
}

}  // namespace
}  // namespace porttest
