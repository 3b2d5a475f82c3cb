#include "common/ProfileFile.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace common {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\f\v";

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

ProfileFile ProfileFile::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parse(text.str());
}

ProfileFile ProfileFile::parse(std::string_view text) {
    constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        text.remove_prefix(kUtf8Bom.size());
    }
    ProfileFile file;
    Section* current = nullptr;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            const auto close = line.find(']');
            const std::string_view name = trim(line.substr(1, close == std::string_view::npos ? line.size() : close - 1));
            file.m_sections.push_back(Section{std::string(name), {}});
            current = &file.m_sections.back();
            continue;
        }
        const auto equals = line.find('=');
        if (current == nullptr || equals == std::string_view::npos) {
            continue;
        }
        current->entries.emplace_back(std::string(trim(line.substr(0, equals))),
                                      std::string(unquote(trim(line.substr(equals + 1)))));
    }
    return file;
}

std::string ProfileFile::value(std::string_view section, std::string_view key) const {
    const auto s = std::find_if(m_sections.begin(), m_sections.end(),
                                [&](const Section& candidate) { return sameName(candidate.name, section); });
    if (s == m_sections.end()) {
        return {};
    }
    const auto e = std::find_if(s->entries.begin(), s->entries.end(),
                                [&](const auto& entry) { return sameName(entry.first, key); });
    if (e == s->entries.end()) {
        return {};
    }
    return e->second.substr(0, kValueSize - 1);
}

}  // namespace common

