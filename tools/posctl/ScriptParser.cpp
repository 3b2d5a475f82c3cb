#include "ScriptParser.h"

#include <algorithm>
#include <cstdint>

#include "platform/strings.h"

namespace posctl {

namespace {

struct Token {
    enum class Type { Word, Number, Text };
    Type type = Type::Word;
    std::string word;  // Word: as written
    LONG number = 0;
    std::wstring text;
    std::size_t end = 0;  // where the token ends in its line
};

bool fail(std::string* error, std::string message) {
    *error = std::move(message);
    return false;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Exactly `count` hexadecimal digits at `at`.
bool readHex(std::string_view text, std::size_t at, std::size_t count, std::uint32_t* value) {
    if (text.size() - at < count) {
        return false;
    }
    *value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int digit = hexDigit(text[at + i]);
        if (digit < 0) {
            return false;
        }
        *value = *value * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
}

// Decimal within LONG's range; 0x hexadecimal up to 32 bits, taken as the
// bit pattern (0xFFFFFFFF is -1), or with a minus sign up to 0x80000000.
bool parseInteger(std::string_view word, LONG* number) {
    const bool negative = word.starts_with('-');
    std::string_view digits = negative ? word.substr(1) : word;
    const bool hex = digits.starts_with("0x") || digits.starts_with("0X");
    if (hex) {
        digits.remove_prefix(2);
    }
    if (digits.empty()) {
        return false;
    }
    const std::uint64_t base = hex ? 16 : 10;
    const std::uint64_t limit = hex && !negative ? 0xFFFFFFFFu : negative ? 0x80000000u : 0x7FFFFFFFu;
    std::uint64_t magnitude = 0;
    for (char c : digits) {
        const int digit = hexDigit(c);
        if (digit < 0 || static_cast<std::uint64_t>(digit) >= base) {
            return false;
        }
        magnitude = magnitude * base + static_cast<std::uint64_t>(digit);
        if (magnitude > limit) {
            return false;
        }
    }
    const auto bits = static_cast<std::uint32_t>(negative ? 0 - magnitude : magnitude);
    *number = static_cast<LONG>(bits);
    return true;
}

// One UTF-8 sequence at `at`; advances past it.
bool decodeUtf8(std::string_view text, std::size_t* at, std::wstring* out) {
    const auto lead = static_cast<unsigned char>(text[*at]);
    std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || text.size() - *at < length) {
        return false;
    }
    std::uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[*at + i]);
        if ((next & 0xC0) != 0x80) {
            return false;
        }
        code = code << 6 | (next & 0x3Fu);
    }
    static constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kShortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return false;
    }
    out->push_back(static_cast<wchar_t>(code));
    *at += length;
    return true;
}

bool decodeWord(std::string_view word, std::wstring* text) {
    for (std::size_t i = 0; i < word.size();) {
        if (!decodeUtf8(word, &i, text)) {
            return false;
        }
    }
    return true;
}

// A quoted string starting at `at` (the opening quote); leaves `at` after
// the closing one.
bool readString(std::string_view line, std::size_t* at, std::wstring* text, std::string* error) {
    std::size_t i = *at + 1;
    while (i < line.size() && line[i] != '"') {
        if (line[i] != '\\') {
            if (!decodeUtf8(line, &i, text)) {
                return fail(error, "the string is not UTF-8 text");
            }
            continue;
        }
        if (++i == line.size()) {
            break;
        }
        const char escape = line[i++];
        std::uint32_t code = 0;
        switch (escape) {
        case 'n':
            text->push_back(L'\n');
            break;
        case 'r':
            text->push_back(L'\r');
            break;
        case 't':
            text->push_back(L'\t');
            break;
        case 'e':
            text->push_back(L'\x1b');
            break;
        case '\\':
        case '"':
            text->push_back(static_cast<wchar_t>(escape));
            break;
        case 'x':
            if (!readHex(line, i, 2, &code)) {
                return fail(error, "\\x needs two hexadecimal digits");
            }
            i += 2;
            if (code < 0x80) {
                text->push_back(static_cast<wchar_t>(code));
            } else {
                *text += platform::toWide(std::string(1, static_cast<char>(code)));
            }
            break;
        case 'u':
            if (!readHex(line, i, 4, &code)) {
                return fail(error, "\\u needs four hexadecimal digits");
            }
            i += 4;
            text->push_back(static_cast<wchar_t>(code));
            break;
        default:
            return fail(error, std::string("unknown escape \\") + escape);
        }
    }
    if (i >= line.size()) {
        return fail(error, "the string has no closing quote");
    }
    *at = i + 1;
    if (*at < line.size() && !isBlank(line[*at]) && line[*at] != '#') {
        return fail(error, "a blank must follow the closing quote");
    }
    return true;
}

bool tokenize(std::string_view line, std::vector<Token>* tokens, std::string* error) {
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && isBlank(line[i])) {
            ++i;
        }
        if (i == line.size() || line[i] == '#') {
            return true;
        }
        Token token;
        if (line[i] == '"') {
            token.type = Token::Type::Text;
            if (!readString(line, &i, &token.text, error)) {
                return false;
            }
        } else {
            const std::size_t start = i;
            while (i < line.size() && !isBlank(line[i]) && line[i] != '#' && line[i] != '"') {
                ++i;
            }
            token.word = std::string(line.substr(start, i - start));
            const char first = token.word[0];
            if ((first >= '0' && first <= '9') || first == '-') {
                if (!parseInteger(token.word, &token.number)) {
                    return fail(error, "not a 32-bit integer: " + token.word);
                }
                token.type = Token::Type::Number;
            }
        }
        token.end = i;
        tokens->push_back(std::move(token));
    }
}

bool isWord(const Token& token) {
    return token.type == Token::Type::Word;
}

bool toValue(const Token& token, opos::Value* value, std::string* error) {
    switch (token.type) {
    case Token::Type::Number:
        *value = token.number;
        return true;
    case Token::Type::Text:
        *value = token.text;
        return true;
    case Token::Type::Word:
        break;
    }
    return fail(error, "not an integer or a quoted string: " + token.word);
}

constexpr std::string_view kEvents[] = {"StatusUpdate", "OutputComplete", "Error", "DirectIO"};

bool parseWait(const std::vector<Token>& tokens, Command* command, std::string* error) {
    if (tokens.size() < 3 || tokens.size() > 5 || !isWord(tokens[1]) || !isWord(tokens[2])) {
        return fail(error, "usage: wait ALIAS EVENT [VALUE] [TIMEOUT_MS]");
    }
    if (std::find(std::begin(kEvents), std::end(kEvents), tokens[2].word) == std::end(kEvents)) {
        return fail(error, "unknown event " + tokens[2].word + " (StatusUpdate, OutputComplete, Error or DirectIO)");
    }
    command->kind = Command::Kind::Wait;
    command->alias = tokens[1].word;
    command->name = tokens[2].word;
    command->milliseconds = Command::kDefaultWaitMs;
    if (tokens.size() >= 4) {
        if (tokens[3].type == Token::Type::Number) {
            command->value = tokens[3].number;
        } else if (!(isWord(tokens[3]) && tokens[3].word == "*")) {
            return fail(error, "the value to wait for is an integer or *");
        }
    }
    if (tokens.size() == 5) {
        if (tokens[4].type != Token::Type::Number || tokens[4].number < 0) {
            return fail(error, "the time-out is a number of milliseconds");
        }
        command->milliseconds = tokens[4].number;
    }
    return true;
}

// on ALIAS EVENT [VALUE|*] COMMAND...: the command is the rest of the line,
// parsed as a line of its own.
bool parseOn(std::string_view line, const std::vector<Token>& tokens, Command* command, std::string* error) {
    static const std::string kUsage = "usage: on ALIAS EVENT [VALUE|*] COMMAND...";
    if (tokens.size() < 4 || !isWord(tokens[1]) || !isWord(tokens[2])) {
        return fail(error, kUsage);
    }
    if (std::find(std::begin(kEvents), std::end(kEvents), tokens[2].word) == std::end(kEvents)) {
        return fail(error, "unknown event " + tokens[2].word + " (StatusUpdate, OutputComplete, Error or DirectIO)");
    }
    command->kind = Command::Kind::On;
    command->alias = tokens[1].word;
    command->name = tokens[2].word;
    std::size_t rest = tokens[2].end;
    if (tokens[3].type == Token::Type::Number) {
        command->value = tokens[3].number;
        rest = tokens[3].end;
    } else if (isWord(tokens[3]) && tokens[3].word == "*") {
        rest = tokens[3].end;
    }
    auto action = std::make_shared<Command>();
    if (!parseLine(line.substr(rest), action.get(), error)) {
        return false;
    }
    if (action->kind == Command::Kind::None) {
        return fail(error, kUsage);
    }
    command->action = std::move(action);
    return true;
}

bool parseDeviceCommand(const std::vector<Token>& tokens, Command* command, std::string* error) {
    if (tokens.size() < 2 || !isWord(tokens[1])) {
        return fail(error, "expected ALIAS METHOD, get, set or answer-errors");
    }
    command->alias = tokens[0].word;
    const std::string& verb = tokens[1].word;
    if (verb == "get") {
        if (tokens.size() != 3 || !isWord(tokens[2])) {
            return fail(error, "usage: ALIAS get PROPERTY");
        }
        command->kind = Command::Kind::Get;
        command->name = tokens[2].word;
        return true;
    }
    if (verb == "set") {
        if (tokens.size() != 4 || !isWord(tokens[2])) {
            return fail(error, "usage: ALIAS set PROPERTY VALUE");
        }
        command->kind = Command::Kind::Set;
        command->name = tokens[2].word;
        command->arguments.resize(1);
        return toValue(tokens[3], &command->arguments[0], error);
    }
    if (verb == "answer-errors") {
        if (tokens.size() != 3 || !isWord(tokens[2]) || (tokens[2].word != "retry" && tokens[2].word != "clear")) {
            return fail(error, "usage: ALIAS answer-errors retry|clear");
        }
        command->kind = Command::Kind::AnswerErrors;
        command->name = tokens[2].word;
        return true;
    }
    command->kind = Command::Kind::Call;
    command->name = verb;
    command->arguments.resize(tokens.size() - 2);
    for (std::size_t i = 2; i < tokens.size(); ++i) {
        if (!toValue(tokens[i], &command->arguments[i - 2], error)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool parseLine(std::string_view line, Command* command, std::string* error) {
    *command = Command();
    std::vector<Token> tokens;
    if (!tokenize(line, &tokens, error)) {
        return false;
    }
    if (tokens.empty()) {
        return true;
    }
    if (!isWord(tokens[0])) {
        return fail(error, "a command starts with a word");
    }
    const std::string& first = tokens[0].word;
    if (first == "open") {
        if (tokens.size() != 4 || !isWord(tokens[1]) || !isWord(tokens[2]) || tokens[3].type == Token::Type::Number) {
            return fail(error, "usage: open ALIAS CLASS NAME");
        }
        if (tokens[2].word != "POSPrinter" && tokens[2].word != "CashDrawer") {
            return fail(error, "unknown class " + tokens[2].word + " (POSPrinter or CashDrawer)");
        }
        std::wstring name = tokens[3].text;
        if (isWord(tokens[3]) && !decodeWord(tokens[3].word, &name)) {
            return fail(error, "the name is not UTF-8 text");
        }
        command->kind = Command::Kind::Open;
        command->alias = tokens[1].word;
        command->name = tokens[2].word;
        command->arguments.emplace_back(std::move(name));
        return true;
    }
    if (first == "wait") {
        return parseWait(tokens, command, error);
    }
    if (first == "on") {
        return parseOn(line, tokens, command, error);
    }
    if (first == "sleep") {
        if (tokens.size() != 2 || tokens[1].type != Token::Type::Number || tokens[1].number < 0) {
            return fail(error, "usage: sleep MS");
        }
        command->kind = Command::Kind::Sleep;
        command->milliseconds = tokens[1].number;
        return true;
    }
    if (first == "close") {
        if (tokens.size() != 2 || !isWord(tokens[1])) {
            return fail(error, "usage: close ALIAS");
        }
        command->kind = Command::Kind::Close;
        command->alias = tokens[1].word;
        return true;
    }
    return parseDeviceCommand(tokens, command, error);
}

}  // namespace posctl
