#pragma once
// One JSON object on one line, members in the order they are added: the
// form of everything posctl writes to its standard output.
#include <string>
#include <string_view>

#include "opos/ControlObject.h"

namespace posctl {

class JsonLine {
public:
    // Narrow texts are UTF-8 (script text, names); wide texts come from the
    // control object.
    JsonLine& add(std::string_view key, std::string_view text);
    JsonLine& add(std::string_view key, const char* text) { return add(key, std::string_view(text)); }
    JsonLine& add(std::string_view key, std::wstring_view text);
    JsonLine& add(std::string_view key, platform::LONG number);
    JsonLine& add(std::string_view key, bool flag);
    JsonLine& add(std::string_view key, const opos::Value& value);

    // The object, without a line end.
    std::string text() const { return m_text + "}"; }

private:
    void key(std::string_view name);

    std::string m_text = "{";
};

// JSON string literals, with quotes, backslashes and control characters
// escaped. The wide form is written as UTF-8; a lone surrogate becomes
// U+FFFD.
std::string jsonString(std::string_view utf8);
std::string jsonString(std::wstring_view text);

}  // namespace posctl
