#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "AnsiCodePage.h"
#include "platform/strings.h"

namespace platform {

namespace {

// Runs iconv over `input`, replacing every unit it cannot convert with
// `replacement` and skipping `skip` input bytes for it: one wide character
// one way, one byte the other, so that one bad character costs one '?' and
// never the rest of the text.
std::string convert(const char* to, const char* from, const char* input, std::size_t inputSize,
                    std::string_view replacement, std::size_t skip) {
    std::string output;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // ansiCharset() only hands out charsets iconv accepted, so this is
        // a system without its conversion modules: replace everything.
        for (std::size_t i = 0; i < inputSize; i += skip) {
            output.append(replacement);
        }
        return output;
    }
    char* in = const_cast<char*>(input);  // iconv's signature, not a write
    std::size_t inLeft = inputSize;
    char chunk[1024];
    while (inLeft > 0) {
        char* out = chunk;
        std::size_t outLeft = sizeof(chunk);
        const std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        output.append(chunk, static_cast<std::size_t>(out - chunk));
        if (result != static_cast<std::size_t>(-1) || error == E2BIG) {
            continue;
        }
        // EILSEQ (not representable) or EINVAL (a sequence cut off at the
        // end): one replacement, then carry on after the offending unit.
        output.append(replacement);
        const std::size_t step = std::min(skip, inLeft);
        in += step;
        inLeft -= step;
    }
    // Return a stateful encoding to its initial shift state.
    char* out = chunk;
    std::size_t outLeft = sizeof(chunk);
    iconv(cd, nullptr, nullptr, &out, &outLeft);
    output.append(chunk, static_cast<std::size_t>(out - chunk));
    iconv_close(cd);
    return output;
}

}  // namespace

std::string toNarrow(std::wstring_view text) {
    const std::string charset = detail::ansiCharset();
    return convert(charset.c_str(), "WCHAR_T", reinterpret_cast<const char*>(text.data()),
                   text.size() * sizeof(wchar_t), "?", sizeof(wchar_t));
}

std::wstring toWide(std::string_view text) {
    const std::string charset = detail::ansiCharset();
    constexpr wchar_t question = L'?';
    const std::string bytes =
        convert("WCHAR_T", charset.c_str(), text.data(), text.size(),
                std::string_view(reinterpret_cast<const char*>(&question), sizeof(question)), 1);
    std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
    return wide;
}

}  // namespace platform
