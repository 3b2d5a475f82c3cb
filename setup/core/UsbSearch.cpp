#include "setup/core/UsbSearch.h"

#include "MessageTexts.h"
#include "Text.h"
#include "UsbLink.h"
#include "UsbPorts.h"
#include "setup/core/DeviceCatalogue.h"

namespace setup {

namespace {

// The port library has eight USB slots; a ninth printer could never open.
constexpr int kMostUsbPrinters = 8;

}  // namespace

std::string usbLinkLibraryIn(const std::string& directory) {
    std::string path = directory;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    return path + kUsbLinkLibrary;
}

UsbSearch::UsbSearch(std::string model, std::string library)
    : m_model(std::move(model)), m_library(std::move(library)) {}

Outcome UsbSearch::open() {
    m_foundName.clear();
    return countUsbPrinters() >= kMostUsbPrinters ? Outcome::refused(text::UsbLimit) : Outcome::done();
}

Outcome UsbSearch::search() {
    m_foundName.clear();
    UsbLink link;
    if (Outcome loaded = link.load(m_library); !loaded.success) {
        return loaded;
    }
    int device = link.openDeviceX(0);
    if (device == UsbLink::kNoDevice) {
        device = link.openDeviceX(1);
    } else if (const int second = link.openDeviceX(1); second != UsbLink::kNoDevice) {
        link.closeDevice(device);
        link.closeDevice(second);
        return Outcome::refused(text::UsbOnlyOne);
    }
    if (device == UsbLink::kNoDevice) {
        return Outcome::refused(text::UsbNotFound);
    }
    const DWORD id = link.printerInternalId(device);
    link.closeDevice(device);
    // Models without an ID block have no USB interface of their own; no
    // printer found can be one of them.
    const std::optional<UsbIdBlock> block = usbIdBlockFor(m_model);
    if (!block || id < block->base || id - block->base >= kUsbIdBlockSize) {
        return Outcome::refused(text::UsbNotFound);
    }
    m_foundId = id;
    m_foundName = fillIn(block->nameFormat, {std::to_string(id - block->base + 1)});
    return Outcome::done();
}

Outcome UsbSearch::confirm() {
    if (m_foundName.empty()) {
        return Outcome::done();
    }
    m_printer.name = m_foundName;
    m_printer.internalId = m_foundId;
    m_printer.ready = false;
    UsbLink link;
    if (Outcome loaded = link.load(m_library); !loaded.success) {
        return loaded;
    }
    const int device = link.openFirstDevice();
    if (device == UsbLink::kNoDevice) {
        return Outcome::done();
    }
    link.closeDevice(device);
    m_printer.ready = true;
    return Outcome::done(text::UsbPowerCycle, MessageIcon::Warning);
}

}  // namespace setup
