#pragma once
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "printer/encode/EncodeLog.h"

namespace encodetest {

struct CapturingLog : printer::EncodeLog {
    bool debugEnabled() const override { return true; }
    void debug(std::string_view text) override { debugs.emplace_back(text); }
    void error(std::string_view text) override { errors.emplace_back(text); }
    bool hasDebug(std::string_view text) const
    {
        for (const auto& d : debugs)
            if (d == text) return true;
        return false;
    }
    std::vector<std::string> debugs;
    std::vector<std::string> errors;
};

inline std::vector<std::uint8_t> bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

inline std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

inline std::vector<std::uint8_t> tail(std::span<const std::uint8_t> all, std::size_t from)
{
    return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
}

}  // namespace encodetest
