#pragma once
// The emulator's control language: one command per line, one reply line per
// command, either `ok` (with a result for the queries) or `error <text>`.
//
//   [@NAME] cover open|close
//   [@NAME] paper end|near-end|ok [receipt|journal|slip]   (receipt if none)
//   [@NAME] power off|on
//   [@NAME] drawer open|close
//   [@NAME] drawer auto-close MS          (0: the drawer stays open)
//   [@NAME] slip insert|remove
//   [@NAME] error cutter|motor|resume|autostatus on|off
//   [@NAME] link down|up
//   [@NAME] status delay MS
//   [@NAME] status silent on|off
//   [@NAME] status                        -> ok 14 00 00 0F
//   [@NAME] transcript                    -> ok <transcript, escaped>
//   [@NAME] png PATH
//   [@NAME] unplug | plug                 (USB printers)
//   quit                                  (stops the emulator)
//
// `@NAME` picks a printer when several run; with one it may be left out.
// "paper end" also sets near-end, since a roll that has run out has passed
// the near-end sensor too; "paper ok" clears both. Words are lower case;
// times are milliseconds, at most an hour.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/VirtualPrinter.h"

namespace emulator {

struct ControlCommand {
    enum class Kind { ChangeState, Status, Transcript, Png, Unplug, Plug, Quit };

    // The @NAME selector without the '@'; empty when none was given.
    std::string printer;
    Kind kind = Kind::Status;
    // For ChangeState: the change, to be applied through changeState().
    std::function<void(PrinterState&)> change;
    // For Png: where to write the picture.
    std::string path;
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

// What changed from `before` to `after`, in the commands that would make
// that change ("cover open", "paper near-end journal", "drawer auto-close
// 500"), in a fixed order.
std::vector<std::string> describeStateChanges(const PrinterState& before, const PrinterState& after);

}  // namespace emulator
