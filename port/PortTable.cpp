#include "PortTable.h"

#include <cstring>

namespace port {

namespace {

std::atomic<int> g_modelClass{2};
std::atomic<int> g_writeClass{3};

std::array<PortRecord, kFirstNet>& records() {
    static std::array<PortRecord, kFirstNet> table;
    return table;
}

}  // namespace

StatusBlock defaultStatusBlock(int modelClass) {
    return modelClass == 1 ? StatusBlock{0x14, 0x00, 0x60, 0x6F} : StatusBlock{0x14, 0x00, 0x00, 0x0F};
}

void setClassesFrom(const char* deviceName) {
    g_modelClass = std::strstr(deviceName, "F60") != nullptr ? 1 : 2;
    if (std::strstr(deviceName, "B20") != nullptr) {
        g_writeClass = 1;
    } else if (std::strstr(deviceName, "A10X") != nullptr) {
        g_writeClass = 2;
    } else {
        g_writeClass = 3;
    }
}

int modelClass() { return g_modelClass; }

int writeClass() { return g_writeClass; }

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
