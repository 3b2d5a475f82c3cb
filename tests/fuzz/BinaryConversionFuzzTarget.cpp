// Fuzz target for DirectIO's text path: wide text to narrow bytes in the
// command buffer's size, then BinaryConversion undone in place. Neither
// step may leave the buffer, and the decoded length follows the rule:
// whole pairs or triples shrink, anything else stays as it is.
//
// Input: the conversion (first byte), then UTF-16 code units.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/strings.h"
#include "printer/encode/BinaryCode.h"
#include "printer/encode/CommandEncoder.h"

namespace {

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const std::int32_t conversion = data[0] % 4;  // 3: not a conversion, left alone
    std::wstring text;
    for (std::size_t i = 1; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));

    std::vector<std::uint8_t> bytes(printer::kCommandBufferSize);
    std::size_t written = 0;
    if (platform::toNarrow(text, reinterpret_cast<char*>(bytes.data()), bytes.size(), &written) != 0) return 0;
    require(written <= bytes.size(), "narrow text within the buffer");
    const std::vector<std::uint8_t> before(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(written));
    const auto length = static_cast<std::int32_t>(written);
    const std::int32_t result = printer::TranslateBinaryCode(conversion, bytes.data(), length);
    switch (conversion) {
    case 1:
        require(result == (length % 2 == 0 ? length / 2 : length), "nibble pairs");
        break;
    case 2:
        require(result == (length % 3 == 0 ? length / 3 : length), "decimal triples");
        break;
    default:
        require(result == length, "no conversion keeps the length");
        break;
    }
    if (result == length) {
        require(std::equal(before.begin(), before.end(), bytes.begin()), "unconverted data unchanged");
    }
    return 0;
}
