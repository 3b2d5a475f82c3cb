#pragma once
// Small text helpers shared by the operations of the setup tool.
#include <initializer_list>
#include <string>
#include <string_view>

namespace setup {

std::string toLowerAscii(std::string_view text);
std::string toUpperAscii(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// Replaces each "%s" or "%d" of a fixed message, in order, by the next
// argument. Surplus placeholders stay as they are; the result is only ever
// as long as the pattern and the arguments together.
std::string fillIn(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace setup
