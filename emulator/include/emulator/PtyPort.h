#pragma once
// A serial or parallel printer's line: a pseudo-terminal in raw mode whose
// slave is published through a stable symbolic link, the path a port map
// points at. The host opens the link with open(2) and termios as it would a
// real port.
//
// Bytes from the host go to the printer's receive(); what the printer sends
// (answers, automatic status) is written back on the line. Status requests
// need nothing here: the printer answers them as commands.
//
// Powering the printer off removes the link and closes the line, so the
// host's descriptor hangs up; powering it on opens a new pseudo-terminal and
// points the same link at it, and the host reopens by path.
//
// The port sets the printer's host sink: one transport per printer. The
// printer must outlive the port. Every member is thread-safe.
#include <functional>
#include <memory>
#include <string>

#include "emulator/VirtualPrinter.h"

namespace emulator {

class PtyChannel;

class PtyPort {
public:
    struct Options {
        // Replaced if it is a symbolic link already (a stale one from an
        // earlier run); anything else there makes open() fail.
        std::string linkPath;
        // Called on the port's I/O thread after each chunk of host bytes went
        // into receive(); must not block.
        std::function<void()> onReceive;
        // The line is made the process's controlling terminal, so that no
        // other program opening it adopts it as its own: Wine's server would,
        // and would then be hung up with the line. The process must lead a
        // session of its own without a terminal, and ignore SIGHUP, which it
        // gets each time the line goes.
        bool controllingTerminal = false;
    };

    // Null, with `error` set, when the link cannot be made or no
    // pseudo-terminal is to be had. A powered-off printer gets its link when
    // it is powered on.
    static std::unique_ptr<PtyPort> open(VirtualPrinter& printer, Options options,
                                         std::string* error = nullptr);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    const std::string& linkPath() const { return m_linkPath; }
    // The I/O thread's last trouble: why the line did not come back when the
    // printer was back, or the printer failing on received bytes. Empty
    // again once the printer's next state change went through cleanly.
    std::string lastError() const;

private:
    PtyPort(std::string linkPath, std::unique_ptr<PtyChannel> channel);

    std::string m_linkPath;
    std::unique_ptr<PtyChannel> m_channel;
};

}  // namespace emulator
