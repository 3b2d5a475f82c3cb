#pragma once
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "printer/encode/CommandEncoder.h"
#include "printer/encode/EncodeLog.h"

namespace barcodetest {

struct CapturingLog : printer::EncodeLog {
    bool debugEnabled() const override { return true; }
    void debug(std::string_view text) override { debugs.emplace_back(text); }
    void error(std::string_view text) override { errors.emplace_back(text); }
    bool hasDebug(std::string_view text) const { return std::find(debugs.begin(), debugs.end(), text) != debugs.end(); }
    bool hasError(std::string_view text) const { return std::find(errors.begin(), errors.end(), text) != errors.end(); }
    std::vector<std::string> debugs;
    std::vector<std::string> errors;
};

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytes(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

inline Bytes bytes(std::string_view text) { return {text.begin(), text.end()}; }

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes out(const printer::CommandEncoder& e) { return {e.commands().begin(), e.commands().end()}; }

// The one GS w / GS h / GS k group in a command stream, read back the way
// the printer reads it: module width, height, system byte and exactly as
// many data bytes as the length byte announces.
struct BarCodeCommand {
    std::uint8_t module = 0;
    std::uint8_t height = 0;
    std::uint8_t system = 0;
    std::string data;
};

inline std::optional<BarCodeCommand> findBarCode(std::span<const std::uint8_t> commands)
{
    for (std::size_t i = 0; i + 10 <= commands.size(); ++i) {
        if (commands[i] != 0x1D || commands[i + 1] != 0x77) continue;
        if (commands[i + 3] != 0x1D || commands[i + 4] != 0x68 || commands[i + 6] != 0x1D || commands[i + 7] != 0x6B)
            return std::nullopt;
        BarCodeCommand found{commands[i + 2], commands[i + 5], commands[i + 8], {}};
        const std::size_t length = commands[i + 9];
        if (i + 10 + length > commands.size()) return std::nullopt;
        found.data.assign(commands.begin() + static_cast<std::ptrdiff_t>(i + 10),
                          commands.begin() + static_cast<std::ptrdiff_t>(i + 10 + length));
        return found;
    }
    return std::nullopt;
}

}  // namespace barcodetest
