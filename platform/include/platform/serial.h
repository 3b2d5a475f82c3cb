#pragma once
// Serial and parallel ports as the port library drives them on Windows:
// CreateFile on "COMn" / "LPTn", GetCommState / SetCommState with a DCB,
// GetCommTimeouts / SetCommTimeouts, overlapped WriteFile / ReadFile with an
// event, PurgeComm, ClearCommError, GetCommModemStatus, and DeviceIoControl
// with IOCTL_PAR_QUERY_INFORMATION on a parallel port.
//
// Port names. "COMn" and "LPTn" (any case) map to device files through the
// registry key HKLM\SOFTWARE\CVOPOS\Ports: a REG_SZ value named after the
// port holds the path (COM3 = /dev/ttyUSB0, or the stable symlink of a
// virtual printer). Without a value, COMn is /dev/ttyS<n-1> and LPTn is
// /dev/lp<n-1>. The map is read at every open and reopen, so a changed
// value takes effect at the next one.
//
// Sharing. A port is opened without sharing, as Windows opens a COM port:
// while one handle holds the device file, a second open of the same file
// (from this or another process) fails with ERROR_ACCESS_DENIED. The lock
// is an advisory flock, so programs outside the suite are not kept out.
//
// Raw line. Every open puts a terminal device in raw mode (no echo, no line
// editing, no newline translation, 8 bits through), as a Windows COM port
// always is; the DCB then sets speed, framing and flow control on top.
//
// A device that vanishes and comes back. A USB-serial adapter pulled out,
// or a virtual printer switched off, leaves the open descriptor hung up.
// Each call that touches the line first checks for that and, if so, opens
// the same path again (taking the current registry value), restores the
// last line settings and carries on with the new descriptor. While the path
// cannot be opened the call fails with ERROR_DEVICE_NOT_CONNECTED, except
// getModemStatus, which reports no lines, as for a printer switched off.
//
// Errors are Win32 codes (platform/types.h): ERROR_FILE_NOT_FOUND (no such
// device file or no such port name), ERROR_ACCESS_DENIED (in use, or no
// permission), ERROR_TOO_MANY_OPEN_FILES, ERROR_NOT_ENOUGH_MEMORY,
// ERROR_INVALID_PARAMETER (a setting the device cannot take),
// ERROR_INVALID_FUNCTION (a request the device does not support),
// ERROR_DEVICE_NOT_CONNECTED (hung up or gone), ERROR_SEM_TIMEOUT (a
// synchronous transfer ran out of time), ERROR_GEN_FAILURE (any other
// failure of the device).
//
// Thread safety: every member may be called from any thread, also at the
// same time on one port: a write and a read run side by side, and a reopen
// by one call never pulls the descriptor from under another. A port must
// outlive every call on it.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/inputwait.h"
#include "platform/threads.h"
#include "platform/types.h"

namespace platform {

// HKLM key of the port map; each value is named after a port.
inline constexpr const char* kPortMapKeyPath = "SOFTWARE\\CVOPOS\\Ports";

// The device file a port name opens (the map above). Empty (a path that
// opens nothing) for a name that is neither COMn nor LPTn with n from 1, and
// for a map value that is not a usable path. Reads the registry.
std::string portDevicePath(std::string_view portName);

// The DCB fields the suite sets. Every field keeps its Win32 name and
// meaning; bit fields are plain members.
struct DCB {
    DWORD DCBlength = 28;
    DWORD BaudRate = 9600;
    DWORD fBinary = 1;
    DWORD fParity = 0;
    DWORD fOutxCtsFlow = 0;
    DWORD fOutxDsrFlow = 0;
    DWORD fDtrControl = 1;
    DWORD fDsrSensitivity = 0;
    DWORD fTXContinueOnXoff = 0;
    DWORD fOutX = 0;
    DWORD fInX = 0;
    DWORD fRtsControl = 1;
    BYTE ByteSize = 8;
    BYTE Parity = 0;
    BYTE StopBits = 0;
    char XonChar = 0x11;
    char XoffChar = 0x13;
};

constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;
constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_TOGGLE = 3;

// COMMTIMEOUTS, in milliseconds. A read waits for all its bytes at most
// ReadTotalTimeoutMultiplier x length + ReadTotalTimeoutConstant (no limit
// when both are 0); a SerialPort read also returns early once bytes have
// arrived and the line then stayed quiet for ReadIntervalTimeout (0: not
// used). ReadIntervalTimeout MAXDWORD with both read totals 0 makes a read
// return at once with what is buffered, possibly nothing. A ParallelPort
// write is bounded by WriteTotalTimeoutMultiplier x length +
// WriteTotalTimeoutConstant (no limit when both are 0); a SerialPort write
// is overlapped, and the caller's wait bounds it.
struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};

// ClearCommError's queue counts.
struct COMSTAT {
    DWORD cbInQue = 0;   // bytes received and not yet read
    DWORD cbOutQue = 0;  // bytes written and not yet sent
};

// PurgeComm flags.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// GetCommModemStatus bits.
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// IOCTL_PAR_QUERY_INFORMATION and the bits of its one-byte answer.
constexpr DWORD IOCTL_PAR_QUERY_INFORMATION = 0x00160004;
constexpr BYTE PARALLEL_INIT = 0x01;
constexpr BYTE PARALLEL_AUTOFEED = 0x02;
constexpr BYTE PARALLEL_PAPER_EMPTY = 0x04;
constexpr BYTE PARALLEL_OFF_LINE = 0x08;
constexpr BYTE PARALLEL_POWER_OFF = 0x10;
constexpr BYTE PARALLEL_NOT_CONNECTED = 0x20;
constexpr BYTE PARALLEL_BUSY = 0x40;
constexpr BYTE PARALLEL_SELECTED = 0x80;

// The event of an OVERLAPPED structure: CreateEvent(auto-reset, initially
// not signalled). Starting an overlapped transfer resets it, as WriteFile
// and ReadFile reset the event they are given; set() from another thread
// wakes a wait on the transfer. Thread-safe; set() never blocks.
class IoEvent {
public:
    // Null when the system has no event object to give (the error in
    // *error: ERROR_TOO_MANY_OPEN_FILES or ERROR_NOT_ENOUGH_MEMORY).
    static std::unique_ptr<IoEvent> create(LONG* error);
    ~IoEvent();
    IoEvent(const IoEvent&) = delete;
    IoEvent& operator=(const IoEvent&) = delete;

    void set();
    void reset();

private:
    friend class SerialPort;
    explicit IoEvent(int descriptor);
    // Takes the signal if there is one; true when there was.
    bool consume();
    int m_descriptor;
};

struct SerialLine;

// A COM port opened with FILE_FLAG_OVERLAPPED.
//
// Overlapped transfers. Windows runs an overlapped WriteFile in the
// background and signals its event when it completes; here the caller's wait
// drives the transfer: write() sends what the device takes at once and
// either completes (ERROR_SUCCESS) or leaves the rest pending
// (ERROR_IO_PENDING); waitWrite() then sends the rest until it is all gone
// (WAIT_OBJECT_0), the event is set by another thread (WAIT_OBJECT_0, the
// transfer is over: the rest is dropped, as nothing would wait for it any
// more), the time runs out (WAIT_TIMEOUT, the rest stays pending until
// purge() or the next write drops it) or the device fails (WAIT_FAILED).
// Reads work the same way with read() and waitRead(). One transfer of each
// direction may be under way at a time; a new one drops what an earlier one
// left pending.
class SerialPort {
public:
    // CreateFile(portName, GENERIC_READ | GENERIC_WRITE, no sharing,
    // OPEN_EXISTING, FILE_FLAG_OVERLAPPED). Null on failure, with the error
    // in *error. Never blocks on the line (no wait for carrier).
    static std::unique_ptr<SerialPort> open(std::string_view portName, LONG* error);
    ~SerialPort();  // CloseHandle: drops any pending transfer
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // The line as set last (or as found at open). Never fails on an open
    // port.
    LONG getCommState(DCB* dcb);
    // Speed (the standard rates from 50 to 4000000 bits per second;
    // others: ERROR_INVALID_PARAMETER), 5-8 data bits, parity (none, odd,
    // even, mark, space), 1 or 2 stop bits (1.5 counts as 2), CTS output
    // flow control (fOutxCtsFlow or RTS_CONTROL_HANDSHAKE: the line's
    // hardware flow control), XON/XOFF in both directions with their
    // characters, and the DTR and RTS levels (DISABLE drops the line, ENABLE
    // raises it). No POSIX line discipline offers DSR output flow control,
    // DSR sensitivity or "continue on XOFF": those fields are kept and read
    // back but do not act on the line; a printer that drops DSR is seen
    // through getModemStatus. A device without modem lines (a
    // pseudo-terminal) takes the settings and ignores the DTR and RTS levels.
    LONG setCommState(const DCB& dcb);

    LONG getCommTimeouts(COMMTIMEOUTS* timeouts);
    LONG setCommTimeouts(const COMMTIMEOUTS& timeouts);

    // PURGE_TXABORT / PURGE_RXABORT drop the pending transfer of that
    // direction; PURGE_TXCLEAR / PURGE_RXCLEAR discard what the driver holds
    // unsent / unread. Never blocks.
    LONG purge(DWORD flags);

    // The input and output queue counts (FIONREAD / TIOCOUTQ). Line errors
    // are not reported separately.
    LONG clearCommError(COMSTAT* status);

    // The modem status word (MS_* bits). A device without modem lines (a
    // pseudo-terminal) reports MS_CTS_ON | MS_DSR_ON while its peer holds
    // the other end, and 0 once the peer hung up; a vanished device reports
    // 0. Never blocks.
    LONG getModemStatus(DWORD* status);

    // Overlapped WriteFile of `length` bytes (see the class comment). The
    // data must stay valid until the transfer is over. Any other result is
    // the device's error, and nothing is pending.
    LONG write(const BYTE* data, DWORD length, IoEvent& event);
    // Waits at most timeoutMs (INFINITE: no limit) for the pending write.
    // On WAIT_FAILED *error holds the reason. Blocks.
    DWORD waitWrite(IoEvent& event, DWORD timeoutMs, LONG* error);

    // Overlapped ReadFile of up to `length` bytes under the read time-outs.
    // ERROR_SUCCESS when it completed at once (*bytesRead set: with the
    // "return at once" time-outs, whatever was buffered, possibly nothing),
    // ERROR_IO_PENDING when it waits for more, else the device's error. The
    // buffer must stay valid until the transfer is over.
    LONG read(BYTE* buffer, DWORD length, IoEvent& event, DWORD* bytesRead);
    // Waits at most timeoutMs for the pending read: WAIT_OBJECT_0 when it
    // completed (*bytesRead set) or the event was set by another thread
    // (*bytesRead: what had arrived), WAIT_TIMEOUT, or WAIT_FAILED with
    // *error.
    DWORD waitRead(IoEvent& event, DWORD timeoutMs, DWORD* bytesRead, LONG* error);

    // Waits up to waitMs for received bytes to wait in the input queue
    // (Arrived), or for `wake` (Woken, the signal taken), without holding
    // the port. A line that hung up or cannot be opened has nothing
    // arriving: the wait then ends only by `wake` or the time.
    InputWait waitForInput(DWORD waitMs, InputWake& wake);

private:
    explicit SerialPort(std::unique_ptr<SerialLine> line);
    std::unique_ptr<SerialLine> m_line;
};

// An LPT port opened for synchronous transfers (CreateFile with
// FILE_ATTRIBUTE_NORMAL, no sharing). The device file is a kernel parallel
// printer (/dev/lpN) or a stand-in terminal device (a pseudo-terminal whose
// far end is a printer).
class ParallelPort {
public:
    // Null on failure, with the error in *error.
    static std::unique_ptr<ParallelPort> open(std::string_view portName, LONG* error);
    ~ParallelPort();
    ParallelPort(const ParallelPort&) = delete;
    ParallelPort& operator=(const ParallelPort&) = delete;

    // Closes the device and opens it again by the same port name (the port
    // library does this after every status read). Bytes the device had
    // sent and not yet been read survive, and a stand-in terminal never sees
    // its line drop: the new descriptor is opened before the old one is
    // closed. The time-outs are kept. On failure the device is closed all
    // the same, and the next call opens it by name again first (failing as
    // long as it is not there).
    LONG reopen();

    LONG getCommTimeouts(COMMTIMEOUTS* timeouts);
    LONG setCommTimeouts(const COMMTIMEOUTS& timeouts);

    // Synchronous WriteFile. Blocks until all bytes are taken or the write
    // time-out (COMMTIMEOUTS) runs out: then ERROR_SEM_TIMEOUT with
    // *written telling how far it got, so a stalled printer is never
    // reported as a finished write.
    LONG write(const BYTE* data, DWORD length, DWORD* written);

    // Synchronous ReadFile under the read time-outs; *bytesRead may be less
    // than length (time-out) without an error.
    LONG read(BYTE* buffer, DWORD length, DWORD* bytesRead);

    // Waits up to waitMs for the device to have something to read (or to
    // hang up), without holding the port: writes and queries on other
    // threads go on meanwhile. True when a read would find bytes or the
    // device is gone. Thread-safe.
    bool waitForInput(DWORD waitMs);

    // DeviceIoControl(IOCTL_PAR_QUERY_INFORMATION): one status byte of
    // PARALLEL_* bits. Blocks at most 500 ms.
    // - /dev/lpN: the status lines (LPGETSTATUS): select in ->
    //   PARALLEL_SELECTED, else PARALLEL_OFF_LINE; paper out ->
    //   PARALLEL_PAPER_EMPTY; busy -> PARALLEL_BUSY; all five status inputs
    //   reading 0 (nothing drives the cable) -> PARALLEL_POWER_OFF as well.
    // - A stand-in terminal has no status lines, so the printer is asked
    //   as on every other transport: the 2 bytes 1B 76, answered by its 4-byte
    //   status block. An answer -> PARALLEL_SELECTED (what the block says
    //   about cover and paper is the model's business and stays with the
    //   status block); no answer within 500 ms -> PARALLEL_OFF_LINE; the far
    //   end hung up or gone -> PARALLEL_POWER_OFF | PARALLEL_NOT_CONNECTED.
    //   Bytes that were waiting before the request (automatic status) are
    //   kept for the next read, in order, ahead of anything after the answer
    //   (at most 4096; beyond that the oldest are dropped).
    LONG queryInformation(BYTE* status);

private:
    struct State;
    explicit ParallelPort(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

}  // namespace platform
