#pragma once
// A USB printer as the Linux printer class driver presents one: a device
// node `<directory>/lpN` (a pseudo-terminal in raw mode behind a symbolic
// link) and beside it `<directory>/lpN.ieee1284_id`, the IEEE 1284 device ID
// that carries the printer's internal ID, which is how the host finds the
// printer it was configured for.
//
// Bytes move as on a serial line. The node and its ID file exist while the
// printer is plugged in and powered on (a printer switched off drops off the
// bus as one pulled out does): taking it away removes both files and then
// closes the line, so an open descriptor hangs up; bringing it back makes a
// new line behind the same paths.
//
// The node sets the printer's host sink: one transport per printer. The
// printer must outlive the node. Every member is thread-safe.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "emulator/VirtualPrinter.h"

namespace emulator {

class PtyChannel;

class UsbNode {
public:
    struct Options {
        // Created (one level) when missing.
        std::string directory;
        // N of lpN; negative: the lowest N that no node of this process
        // holds and no file occupies.
        int index = -1;
        // Called on the node's I/O thread after each chunk of host bytes
        // went into receive(); must not block.
        std::function<void()> onReceive;
    };

    static std::unique_ptr<UsbNode> open(VirtualPrinter& printer, Options options,
                                         std::string* error = nullptr);
    ~UsbNode();
    UsbNode(const UsbNode&) = delete;
    UsbNode& operator=(const UsbNode&) = delete;

    // "MFG:Corvane;MDL:RX-<model>;CMD:ESC/POS;CLS:PRINTER;IID:<decimal>;"
    static std::string deviceId(const std::string& modelCode, std::uint32_t internalId);

    const std::string& nodePath() const { return m_nodePath; }
    std::string idFilePath() const { return m_nodePath + ".ieee1284_id"; }

    // Both return once the files are gone or back. plug() fails, with
    // `error`, when the node should appear but cannot; a powered-off
    // printer is plugged in without appearing.
    void unplug();
    bool plug(std::string* error = nullptr);
    bool plugged() const;
    // The I/O thread's last trouble: why the node did not come back when the
    // printer was back, or the printer failing on received bytes. Empty
    // again once the printer's next state change went through cleanly.
    std::string lastError() const;

private:
    UsbNode(std::string nodePath, std::unique_ptr<PtyChannel> channel);

    std::string m_nodePath;
    std::unique_ptr<PtyChannel> m_channel;
};

}  // namespace emulator
