// Holds a serial port the way another application on the till does: opened
// for its own use, until its standard input closes. Waits for the port
// rather than failing, so a test probing it cannot make it miss.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <port device>\n", argv[0]);
        return 2;
    }
    HANDLE port = INVALID_HANDLE_VALUE;
    while ((port = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) ==
           INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) {
            std::fprintf(stderr, "cannot open %s: error %lu\n", argv[1], error);
            return 1;
        }
        ::Sleep(5);
    }
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    char byte = 0;
    DWORD got = 0;
    while (::ReadFile(input, &byte, 1, &got, nullptr) && got > 0) {
    }
    ::CloseHandle(port);
    return 0;
}
