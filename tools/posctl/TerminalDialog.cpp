#include "TerminalDialog.h"

#include <cctype>
#include <string>

namespace posctl {

namespace {

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The whole label or its first letter, without regard to case.
bool chooses(const std::string& answer, const std::string& label) {
    const std::string wanted = lower(label);
    return !wanted.empty() && (answer == wanted || answer == wanted.substr(0, 1));
}

}  // namespace

platform::DialogProvider terminalDialogProvider(std::istream& in, std::ostream& out) {
    return [&in, &out](const platform::DialogDescription& dialog, const platform::DialogStart& pressStart) {
        out << "-- " << dialog.title << " --\n";
        for (const std::string& text : dialog.texts) {
            out << text << '\n';
        }
        std::string line;
        while (true) {
            out << '[' << dialog.startButton << "] [" << dialog.closeButton << "] > " << std::flush;
            if (!std::getline(in, line)) {
                out << '\n';
                return;
            }
            const std::string answer = lower(trimmed(line));
            if (chooses(answer, dialog.startButton)) {
                out << dialog.resultLabel << ": " << pressStart() << '\n';
            } else if (chooses(answer, dialog.closeButton)) {
                return;
            }
        }
    };
}

}  // namespace posctl
