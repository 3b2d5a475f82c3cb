#pragma once
// A settings file in the private-profile ("ini") form the suite's settings
// have always been written in:
//
//   ; comment
//   [Section]
//   key = value
//
// Section and key names match without regard to ASCII case; surrounding
// blanks are ignored, and one pair of matching quotes around a value is
// removed. Where a section or a key appears twice, the first one counts.
// Lines outside any section, and lines that are neither a section nor a
// key=value pair, are ignored.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace common {

class ProfileFile {
public:
    // The buffer every value is read into, terminator included: a longer
    // value is cut to one byte less.
    static constexpr std::size_t kValueSize = 260;

    // Reads the whole file. A missing or unreadable file reads as empty, so
    // every value takes its default.
    static ProfileFile load(const std::string& path);
    static ProfileFile parse(std::string_view text);

    // The value of `key` in `section`, at most kValueSize - 1 bytes; "" when
    // either is missing.
    std::string value(std::string_view section, std::string_view key) const;

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
    };
    std::vector<Section> m_sections;
};

}  // namespace common
