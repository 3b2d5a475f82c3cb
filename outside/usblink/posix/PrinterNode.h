#pragma once
// A USB printer-class device node, as the kernel's usblp driver (or a
// virtual printer standing in for it) presents one. This is the only part
// of usblink that talks to the operating system.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace usblink {

// The attached printer nodes: the paths matching the glob pattern in the
// environment variable CVOPOS_USB_DEVICES (/dev/usb/lp* when it is not set)
// that are character devices (symbolic links followed), in sorted order.
// Never blocks.
std::vector<std::string> listPrinterNodes();

// Whether `name` names the node at `path`: a name with a '/' is the path
// itself, one without it the path's last component ("lp0").
bool namesNode(const std::string& path, const std::string& name);

// The IEEE 1284 device ID of the node at `path`: the text of
// `path`.ieee1284_id when that file exists, else the kernel's copy
// (LPIOC_GET_DEVICE_ID on a fresh descriptor). None when neither can be had.
std::optional<std::string> readDeviceId(const std::string& path);

class PrinterNode {
public:
    // Null when the node cannot be opened.
    static std::unique_ptr<PrinterNode> open(const std::string& path);
    ~PrinterNode();
    PrinterNode(const PrinterNode&) = delete;
    PrinterNode& operator=(const PrinterNode&) = delete;

    // Sends the bytes, waiting while the device takes nothing for at most
    // stallMs at a time. The count taken, or -1 when the device is gone.
    int32_t write(const std::uint8_t* data, int32_t length, int stallMs);

    // Discards what the device has sent and nobody read. False when the
    // device is gone.
    bool discardInput();

    // Reads up to `length` bytes, waiting at most waitMs for all of them.
    // The count read, or -1 when the device is gone.
    int32_t read(std::uint8_t* buffer, int32_t length, int waitMs);

    // Waits at most waitMs for the device to send something: 1 when bytes
    // wait to be read, 0 when the time ran out, -1 when the device is gone.
    int32_t waitForInput(int waitMs);

private:
    explicit PrinterNode(int fd) : m_fd(fd) {}
    int m_fd;
};

}  // namespace usblink
