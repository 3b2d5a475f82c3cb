#pragma once
// A USB printing-class device as Windows' usbprint driver presents one: a
// device interface of GUID_DEVINTERFACE_USBPRINT, opened by its interface
// path. This is the only part of usblink that talks to the operating
// system.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace usblink {

// The interface paths (UTF-8) of the USB printing-class devices present, in
// sorted order. Never blocks.
std::vector<std::string> listPrinterNodes();

// Whether `name` names the device at `path`: its interface path, with or
// without the leading "\\?\", letter case ignored as Windows ignores it.
bool namesNode(const std::string& path, const std::string& name);

// The IEEE 1284 device ID the driver holds for the device
// (IOCTL_USBPRINT_GET_1284_ID). None when it cannot be had.
std::optional<std::string> readDeviceId(const std::string& path);

class PrinterNode {
public:
    // Null when the device cannot be opened.
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
    explicit PrinterNode(void* handle) : m_handle(handle) {}

    // One overlapped transfer of at most `length` bytes, ended after waitMs
    // when it has not completed: the count moved, or -1 when the device is
    // gone.
    int32_t transfer(bool reading, std::uint8_t* data, std::uint32_t length, int waitMs);

    void* m_handle;
    // The driver cannot be asked whether input waits without reading it, so
    // waitForInput reads, and what it read is handed out first by read.
    // The three input calls take turns on it.
    std::mutex m_inputMutex;
    std::vector<std::uint8_t> m_pending;
};

}  // namespace usblink
