// Fuzz target for .reg import: the input is the file's text. The parser
// must accept or refuse it without leaving its input, refuse with a line
// number, and what it accepts must survive export and a second import
// unchanged, since tillsetup and regsweep exchange entries that way.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "RegFileFormat.h"

namespace {

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

bool sameValues(const platform::RegFileKey& a, const platform::RegFileKey& b)
{
    if (a.path != b.path || a.values.size() != b.values.size()) return false;
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        const auto& x = a.values[i];
        const auto& y = b.values[i];
        if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<platform::RegFileKey> keys;
    std::string error;
    if (platform::regParseFile(text, &keys, &error) != platform::ERROR_SUCCESS) {
        require(error.rfind("line ", 0) == 0, "a refusal names its line");
        return 0;
    }
    // Export writes what an import would set: no removals.
    std::vector<platform::RegFileKey> kept;
    for (auto& key : keys) {
        if (key.remove) continue;
        std::erase_if(key.values, [](const platform::RegFileValue& value) { return value.remove; });
        kept.push_back(key);
    }
    const std::string exported = platform::regFormatFile(kept);
    std::vector<platform::RegFileKey> again;
    require(platform::regParseFile(exported, &again, &error) == platform::ERROR_SUCCESS, "exported text imports");
    require(again.size() == kept.size(), "every key survives");
    for (std::size_t i = 0; i < kept.size(); ++i) require(sameValues(kept[i], again[i]), "values survive");
    return 0;
}
