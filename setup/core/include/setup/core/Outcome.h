#pragma once
// What an action of the setup tool reports back to the person at the till:
// whether it was done, and the one message (if any) the front end shows.
// Front ends show the text unchanged, in a box captioned kMessageCaption
// with the icon given, or print it.
#include <functional>
#include <string>

namespace setup {

inline constexpr const char* kMessageCaption = "tillsetup";

// None is a plain box without an icon, the tool's usual way of reporting.
enum class MessageIcon { None, Information, Warning, Error, Question };

struct Message {
    std::string text;
    MessageIcon icon = MessageIcon::None;
};

struct Outcome {
    bool success = false;
    Message message;  // empty text: nothing to show

    bool hasMessage() const { return !message.text.empty(); }

    static Outcome done(std::string text = {}, MessageIcon icon = MessageIcon::None) {
        return {true, {std::move(text), icon}};
    }
    static Outcome refused(std::string text = {}, MessageIcon icon = MessageIcon::None) {
        return {false, {std::move(text), icon}};
    }
};

// An OK/Cancel question the front end puts to the user; true means OK.
using Confirm = std::function<bool(const Message& question)>;

}  // namespace setup
