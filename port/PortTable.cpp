#include "PortTable.h"

#include <cstring>

namespace port {

namespace {

std::array<PortRecord, kFirstNet>& records() {
    static std::array<PortRecord, kFirstNet> table;
    return table;
}

}  // namespace

StatusBlock defaultStatusBlock(int modelClass) {
    return modelClass == 1 ? StatusBlock{0x14, 0x00, 0x60, 0x6F} : StatusBlock{0x14, 0x00, 0x00, 0x0F};
}

DeviceClasses classesOf(const char* deviceName) {
    DeviceClasses classes;
    if (std::strstr(deviceName, "F60") != nullptr) {
        classes.modelClass = 1;
        classes.frame = StatusFrame::F60;
    } else if (std::strstr(deviceName, "E50") != nullptr) {
        classes.frame = StatusFrame::E50;
    }
    if (std::strstr(deviceName, "B20") != nullptr) {
        classes.writeClass = 1;
    } else if (std::strstr(deviceName, "A10X") != nullptr) {
        classes.writeClass = 2;
    }
    return classes;
}

std::mutex& openLock() {
    static std::mutex lock;
    return lock;
}

int32_t newHandle() {
    // Handle-like values, as the system would hand out: multiples of 4 from
    // 0x100, so 0 ("never opened") and -1 ("closed") never come up.
    static std::atomic<uint32_t> next{0x100};
    for (;;) {
        const int32_t value = static_cast<int32_t>(next.fetch_add(4) & 0x7FFFFFFC);
        if (value != 0) {
            return value;
        }
    }
}

void PortRecord::setClasses(const DeviceClasses& classes) {
    modelClass = classes.modelClass;
    writeClass = classes.writeClass;
    frame = classes.frame;
}

StatusBlock PortRecord::status() const {
    std::lock_guard lock(m_mutex);
    return m_status;
}

void PortRecord::setStatus(const StatusBlock& block) {
    std::lock_guard lock(m_mutex);
    m_status = block;
}

std::shared_ptr<SerialChannel> PortRecord::serial() const {
    std::lock_guard lock(m_mutex);
    return m_serial;
}

std::shared_ptr<ParallelChannel> PortRecord::parallel() const {
    std::lock_guard lock(m_mutex);
    return m_parallel;
}

std::shared_ptr<UsbChannel> PortRecord::usb() const {
    std::lock_guard lock(m_mutex);
    return m_usb;
}

void PortRecord::setSerial(std::shared_ptr<SerialChannel> channel) {
    std::lock_guard lock(m_mutex);
    m_serial = std::move(channel);
}

void PortRecord::setParallel(std::shared_ptr<ParallelChannel> channel) {
    std::lock_guard lock(m_mutex);
    m_parallel = std::move(channel);
}

void PortRecord::setUsb(std::shared_ptr<UsbChannel> channel) {
    std::lock_guard lock(m_mutex);
    m_usb = std::move(channel);
}

PortRecord& portRecord(int32_t index) { return records()[static_cast<std::size_t>(index)]; }

}  // namespace port
