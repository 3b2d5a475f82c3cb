#include "PrinterNode.h"

// clang-format off
#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>
#include <initguid.h>
#include <usbprint.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cwctype>

#include "DeviceId.h"

namespace usblink {

namespace {

// IEEE 1284 device IDs are short; this leaves room for the longest seen.
constexpr DWORD kDeviceIdBufferSize = 1024;

// usbprint may complete a read at once with nothing when the printer has
// nothing to say; a read that waits for input then looks again this often.
constexpr int kIdleReadPollMs = 10;

constexpr std::string_view kLocalDevicePrefix = "\\\\?\\";

using Clock = std::chrono::steady_clock;

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1'000'000));
}

std::string narrow(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string result(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.resize(static_cast<std::size_t>(size - 1));
    return result;
}

std::wstring widen(const std::string& text) {
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 1) {
        return {};
    }
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), size);
    result.resize(static_cast<std::size_t>(size - 1));
    return result;
}

HANDLE openDevice(const std::string& path, DWORD flags) {
    const std::wstring wide = widen(path);
    if (wide.empty()) {
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, flags, nullptr);
}

std::string_view withoutLocalPrefix(std::string_view path) {
    return path.starts_with(kLocalDevicePrefix) ? path.substr(kLocalDevicePrefix.size()) : path;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::towlower(static_cast<unsigned char>(x)) == std::towlower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::vector<std::string> listPrinterNodes() {
    std::vector<std::string> paths;
    const HDEVINFO set =
        ::SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return paths;
    }
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD index = 0; ::SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, index, &interfaceData);
         ++index) {
        DWORD size = 0;
        ::SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            continue;
        }
        // DWORD storage keeps the structure's alignment.
        std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (::SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, size, nullptr, nullptr)) {
            paths.push_back(narrow(detail->DevicePath));
        }
    }
    ::SetupDiDestroyDeviceInfoList(set);
    std::sort(paths.begin(), paths.end());
    return paths;
}

bool namesNode(const std::string& path, const std::string& name) {
    return sameIgnoringCase(withoutLocalPrefix(path), withoutLocalPrefix(name));
}

std::optional<std::string> readDeviceId(const std::string& path) {
    const HANDLE device = openDevice(path, 0);
    if (device == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::uint8_t buffer[kDeviceIdBufferSize] = {};
    DWORD returned = 0;
    const BOOL asked =
        ::DeviceIoControl(device, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, buffer, sizeof buffer, &returned, nullptr);
    ::CloseHandle(device);
    if (!asked) {
        return std::nullopt;
    }
    return deviceIdFromReply(std::span<const std::uint8_t>(buffer, std::min<DWORD>(returned, sizeof buffer)));
}

std::unique_ptr<PrinterNode> PrinterNode::open(const std::string& path) {
    const HANDLE device = openDevice(path, FILE_FLAG_OVERLAPPED);
    return device == INVALID_HANDLE_VALUE ? nullptr : std::unique_ptr<PrinterNode>(new PrinterNode(device));
}

PrinterNode::~PrinterNode() { ::CloseHandle(m_handle); }

int32_t PrinterNode::transfer(bool reading, std::uint8_t* data, std::uint32_t length, int waitMs) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) {
        return -1;
    }
    const BOOL started = reading ? ::ReadFile(m_handle, data, length, nullptr, &overlapped)
                                 : ::WriteFile(m_handle, data, length, nullptr, &overlapped);
    if (!started && ::GetLastError() != ERROR_IO_PENDING) {
        ::CloseHandle(overlapped.hEvent);
        return -1;
    }
    if (!started && ::WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(waitMs)) != WAIT_OBJECT_0) {
        // What moved before the cancel still counts.
        ::CancelIoEx(m_handle, &overlapped);
    }
    DWORD moved = 0;
    const BOOL finished = ::GetOverlappedResult(m_handle, &overlapped, &moved, TRUE);
    const DWORD error = ::GetLastError();
    ::CloseHandle(overlapped.hEvent);
    if (!finished && error != ERROR_OPERATION_ABORTED) {
        return -1;
    }
    return static_cast<int32_t>(moved);
}

int32_t PrinterNode::write(const std::uint8_t* data, int32_t length, int stallMs) {
    int32_t done = 0;
    while (done < length) {
        // The driver only reads from the buffer.
        const int32_t count = transfer(false, const_cast<std::uint8_t*>(data + done),
                                       static_cast<std::uint32_t>(length - done), stallMs);
        if (count < 0) {
            return -1;
        }
        if (count == 0) {
            break;
        }
        done += count;
    }
    return done;
}

bool PrinterNode::discardInput() {
    std::lock_guard lock(m_inputMutex);
    m_pending.clear();
    std::uint8_t stale[256];
    for (;;) {
        const int32_t count = transfer(true, stale, sizeof stale, 0);
        if (count <= 0) {
            return count == 0;
        }
    }
}

int32_t PrinterNode::read(std::uint8_t* buffer, int32_t length, int waitMs) {
    std::lock_guard lock(m_inputMutex);
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    const auto early = static_cast<int32_t>(std::min<std::size_t>(m_pending.size(), static_cast<std::size_t>(length)));
    std::copy_n(m_pending.begin(), early, buffer);
    m_pending.erase(m_pending.begin(), m_pending.begin() + early);
    int32_t done = early;
    while (done < length) {
        const int32_t count =
            transfer(true, buffer + done, static_cast<std::uint32_t>(length - done), millisecondsUntil(deadline));
        if (count < 0) {
            return -1;
        }
        done += count;
        const int left = millisecondsUntil(deadline);
        if (left == 0) {
            break;
        }
        if (count == 0) {
            ::Sleep(static_cast<DWORD>(std::min(left, kIdleReadPollMs)));
        }
    }
    return done;
}

int32_t PrinterNode::waitForInput(int waitMs) {
    std::lock_guard lock(m_inputMutex);
    if (!m_pending.empty()) {
        return 1;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    std::uint8_t arrived[64];
    for (;;) {
        const int32_t count = transfer(true, arrived, sizeof arrived, millisecondsUntil(deadline));
        if (count < 0) {
            return -1;
        }
        if (count > 0) {
            m_pending.assign(arrived, arrived + count);
            return 1;
        }
        const int left = millisecondsUntil(deadline);
        if (left == 0) {
            return 0;
        }
        ::Sleep(static_cast<DWORD>(std::min(left, kIdleReadPollMs)));
    }
}

}  // namespace usblink
