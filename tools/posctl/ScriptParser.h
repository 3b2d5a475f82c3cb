#pragma once
// The posctl script language, one command a line:
//
//   open ALIAS CLASS NAME              CLASS is POSPrinter or CashDrawer
//   ALIAS METHOD ARG...                an OPOS method by name
//   ALIAS get PROPERTY
//   ALIAS set PROPERTY VALUE
//   ALIAS answer-errors retry|clear    the ErrorResponse error events get back
//   wait ALIAS EVENT [VALUE] [TIMEOUT_MS]
//                                      EVENT is StatusUpdate, OutputComplete,
//                                      Error or DirectIO; VALUE may be * for
//                                      any; the time-out defaults to 5000
//   on ALIAS EVENT [VALUE|*] COMMAND...
//                                      arms a one-shot action: COMMAND (any
//                                      line above) runs inside the handler of
//                                      the next matching event of ALIAS, on
//                                      the thread that delivers it
//   sleep MS
//   close ALIAS
//
// Arguments and values are integers (decimal, 0x hexadecimal, either with a
// leading -) or double-quoted strings with the escapes \n \r \t \\ \" \e
// (ESC), \uHHHH (that character) and \xHH (the character the ANSI code page
// writes as the byte HH, so print data reaches the printer as that byte).
// NAME may also be written bare. A # outside a string starts a comment; a
// line holding only blanks and a comment is no command. Script text is
// UTF-8.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "opos/ControlObject.h"

namespace posctl {

using platform::LONG;

struct Command {
    enum class Kind { None, Open, Call, Get, Set, AnswerErrors, Wait, On, Sleep, Close };

    static constexpr LONG kDefaultWaitMs = 5000;

    Kind kind = Kind::None;
    std::string alias;  // the device, for every kind but None and Sleep
    // Open: the class; Call: the method; Get, Set: the property; Wait: the
    // event; On: the event; AnswerErrors: retry or clear.
    std::string name;
    // Open: the device name (one text); Call: the arguments; Set: the value.
    std::vector<opos::Value> arguments;
    std::optional<LONG> value;  // Wait, On: the value to match, none for any
    LONG milliseconds = 0;      // Wait: the time-out; Sleep: the pause
    std::shared_ptr<const Command> action;  // On: what the handler runs
};

// Parses one line. False, with a message in `error`, for a line that is no
// valid command; *command is then unspecified.
bool parseLine(std::string_view line, Command* command, std::string* error);

}  // namespace posctl
