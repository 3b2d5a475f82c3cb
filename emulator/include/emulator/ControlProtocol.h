#pragma once
// The emulator's control language: one command per line, one reply line per
// command, either `ok` (with a result for the queries) or `error <text>`.
//
//   [@NAME] cover open|close
//   [@NAME] paper end|near-end|ok [receipt|journal|slip]   (receipt if none)
//   [@NAME] power off|on
//   [@NAME] drawer open|close
//   [@NAME] drawer auto-close MS          (0: the drawer stays open)
//   [@NAME] drawer sensor high|low        (high: the sensor reads high while open)
//   [@NAME] character-mode asian|us       (the F60's answer to its query)
//   [@NAME] slip insert|remove
//   [@NAME] error cutter|motor|resume|autostatus on|off
//   [@NAME] link down|up
//   [@NAME] status delay MS
//   [@NAME] status silent on|off
//   [@NAME] status                        -> ok 14 00 00 0F
//   [@NAME] transcript                    -> ok <transcript, escaped>
//   [@NAME] png PATH
//   [@NAME] received                      -> ok 1234 (every byte, also those no longer kept)
//   [@NAME] received FROM                 -> ok 1B40... (the kept bytes from FROM, in hex)
//   [@NAME] clear                         (received bytes, paper and unknown commands)
//   [@NAME] inject HEX                    (bytes as if the host had sent them; 2047 a line)
//   [@NAME] state                         -> ok cover open; paper end receipt
//   [@NAME] autostatus                    -> ok on|off
//   [@NAME] line                          -> ok up|down (serial and parallel
//                                            printers: whether the line is
//                                            there for a host to open)
//   [@NAME] unknown                       -> ok <lines, escaped like the transcript>
//   [@NAME] unplug | plug                 (USB printers)
//   quit                                  (stops the emulator)
//
// `@NAME` picks a printer when several run; with one it may be left out.
// "paper end" also sets near-end, since a roll that has run out has passed
// the near-end sensor too; "paper ok" clears both. Words are lower case;
// times are milliseconds, at most an hour.
//
// `state` answers with the commands that rebuild the present state from the
// one a printer starts in, so a program in another process can keep a copy
// of it (parseStateReply); `received FROM` lets it fetch only what is new.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <span>
#include <string_view>
#include <vector>

#include "emulator/PrinterState.h"

namespace emulator {

struct ControlCommand {
    enum class Kind {
        ChangeState,
        Status,
        Transcript,
        Png,
        Unplug,
        Plug,
        Quit,
        ReceivedCount,
        ReceivedBytes,
        Clear,
        State,
        AutoStatus,
        UnknownCommands,
        Line,
        Inject
    };

    // The @NAME selector without the '@'; empty when none was given.
    std::string printer;
    Kind kind = Kind::Status;
    // For ChangeState: the change, to be applied through changeState().
    std::function<void(PrinterState&)> change;
    // For Png: where to write the picture.
    std::string path;
    // For ReceivedBytes: the first kept byte wanted.
    std::size_t from = 0;
    // For Inject.
    Bytes bytes;
};

// Parses one line (without its line end; a trailing CR is ignored).
// Nothing, with `error` set to the reply text, for an empty line or one the
// language does not have.
std::optional<ControlCommand> parseControlLine(std::string_view line, std::string* error);

// "14 00 00 0F".
std::string formatStatusBlock(const StatusBlock& block);

// Makes multi-line text fit one reply line: backslash, line feed, carriage
// return and tab become \\ \n \r \t, other control bytes \xHH.
std::string escapeForLine(std::string_view text);

// The inverse of escapeForLine.
std::string unescapeLine(std::string_view line);

// Two upper-case hex digits per byte, nothing between them.
std::string formatHex(std::span<const std::uint8_t> bytes);
// Nothing for an odd length or a character that is not a hex digit.
std::optional<Bytes> parseHex(std::string_view text);

// The `state` reply without its `ok`: the commands that lead from a fresh
// PrinterState to `state`, separated by "; ".
std::string formatStateReply(const PrinterState& state);
// Rebuilds the state from such a reply; nothing, with `error`, when a part
// is not a state command.
std::optional<PrinterState> parseStateReply(std::string_view reply, std::string* error);

// What changed from `before` to `after`, in the commands that would make
// that change ("cover open", "paper near-end journal", "drawer auto-close
// 500"), in a fixed order.
std::vector<std::string> describeStateChanges(const PrinterState& before, const PrinterState& after);

}  // namespace emulator
