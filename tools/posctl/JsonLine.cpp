#include "JsonLine.h"

#include <cstdint>
#include <cstdio>

namespace posctl {

namespace {

// Appends one character that needs no UTF-8 encoding of its own: an
// escape for quotes, backslashes and control characters, else the byte.
void appendByte(std::string* out, unsigned char c) {
    if (c == '"' || c == '\\') {
        *out += '\\';
        *out += static_cast<char>(c);
    } else if (c == '\n') {
        *out += "\\n";
    } else if (c == '\r') {
        *out += "\\r";
    } else if (c == '\t') {
        *out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
        *out += escaped;
    } else {
        *out += static_cast<char>(c);
    }
}

}  // namespace

std::string jsonString(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        appendByte(&out, static_cast<unsigned char>(c));
    }
    return out + "\"";
}

std::string jsonString(std::wstring_view text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        std::uint32_t code = static_cast<std::uint32_t>(c);
        if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            appendByte(&out, static_cast<unsigned char>(code));
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out + "\"";
}

void JsonLine::key(std::string_view name) {
    if (m_text.size() > 1) {
        m_text += ',';
    }
    m_text += jsonString(name);
    m_text += ':';
}

JsonLine& JsonLine::add(std::string_view name, std::string_view text) {
    key(name);
    m_text += jsonString(text);
    return *this;
}

JsonLine& JsonLine::add(std::string_view name, std::wstring_view text) {
    key(name);
    m_text += jsonString(text);
    return *this;
}

JsonLine& JsonLine::add(std::string_view name, platform::LONG number) {
    key(name);
    m_text += std::to_string(number);
    return *this;
}

JsonLine& JsonLine::add(std::string_view name, bool flag) {
    key(name);
    m_text += flag ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::add(std::string_view name, const opos::Value& value) {
    if (const auto* number = std::get_if<platform::LONG>(&value)) {
        return add(name, *number);
    }
    return add(name, std::wstring_view(std::get<std::wstring>(value)));
}

}  // namespace posctl
