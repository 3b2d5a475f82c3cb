#include "PortTestFixture.h"

#include <windows.h>
#include <winternl.h>

#include <vector>

namespace porttest {

namespace {

// SystemExtendedHandleInformation: every handle of the system with its
// process. GetProcessHandleCount would be simpler, but Wine answers 0.
constexpr auto kExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG attributes;
    ULONG reserved;
};

struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

}  // namespace

std::size_t openDescriptorCount() {
    std::vector<char> buffer(1 << 20);
    ULONG length = 0;
    NTSTATUS status;
    while ((status = ::NtQuerySystemInformation(kExtendedHandleInformation, buffer.data(),
                                                static_cast<ULONG>(buffer.size()), &length)) == kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) {
        ADD_FAILURE() << "the system's handle table cannot be read: " << std::hex << status;
        return 0;
    }
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    const ULONG_PTR self = ::GetCurrentProcessId();
    std::size_t count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
        count += table->entries[i].processId == self ? 1 : 0;
    }
    return count;
}

}  // namespace porttest
