#pragma once
/*
 * portlink: the port library through which both service objects reach a
 * printer. A logical device (device class "POSPrinter" or "CashDrawer" and
 * device name) is looked up in the OPOS service registry; its Port value
 * names the physical port: COM1-COM40 (serial), LPT1-LPT4 (parallel), a
 * value beginning with U (a USB printer found by its InternalID), or
 * NET<dotted IPv4 address> (a network printer, print data on TCP port 9100,
 * status on port 4000).
 *
 * The library keeps one process-wide table of physical ports, indexed by the
 * port index that OpenPort returns:
 *   0-39    COM1-COM40          44-51   USB slots (8)
 *   40-43   LPT1-LPT4           52-101  network slots (50)
 * Logical devices on the same physical port (a drawer hanging on its
 * printer) share one open connection through a reference count; the port
 * closes with its last ClosePort.
 *
 * Results. OpenPort returns the port's handle (1 for a network port) or -1;
 * ReadPort, WritePort and ReOpenNetPort return 1 or 0; ClosePort always
 * returns 1; GetPortStatus returns a status value. Every call reports the
 * step that ended it through stepCode (success and failure alike) and the
 * operating system's error through sysError: a Win32 error code or a
 * Winsock error number where a system call failed, -2 on success (-22 and
 * -44 for a parallel status read), -1 for a failure without a system error.
 * The step codes are listed per call below. WaitPortStatus and
 * WakePortStatus, which let a status reader wake when the printer sends,
 * report no step codes.
 *
 * Arguments. Every out-parameter may be null (nothing is stored there). The
 * second argument of ReadPort, WritePort, ClosePort and GetPortStatus (the
 * handle OpenPort returned) is ignored: the port index alone selects the
 * port. Arguments named ...Ignored are accepted for compatibility and have
 * no effect. A port index outside 0-101, a null buffer, or a negative
 * length is refused with stepCode 0 and sysError -1 (result 0; ClosePort 1).
 *
 * Threads. WritePort, ReadPort, GetPortStatus, ReOpenNetPort,
 * ReSetPrintWork, WaitPortStatus and WakePortStatus may be called from any
 * thread at any time, also at once on one port: writes and status reads of a serial, USB or network port hold
 * different locks, so a status read runs beside a long write; everything on
 * a parallel port takes turns. OpenPort and ClosePort take one process-wide
 * lock, so a printer and its drawer may open and close from two threads at
 * once. The model class and write class (below) describe the device opened
 * last.
 *
 * Model class and write class, set by every OpenPort from the device name:
 * model class 1 if the name contains "F60", else 2 (class 2 repairs
 * misaligned serial status blocks); write class 1 if it contains "B20", 2
 * if it contains "A10X", else 3 (classes 1 and 2 get longer serial write
 * time-outs).
 *
 * Status block: the printer's 4 bytes of automatic status. A port opened
 * afresh starts with 14 00 00 0F, or 14 00 60 6F for model class 1.
 *
 * No call throws; a failure inside (out of memory) is a failed result.
 */
#include <stdint.h>

#if defined(_WIN32)
#define PORTLINK_API __declspec(dllexport)
#else
#define PORTLINK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Port kinds. */
#define PORT_COM 1
#define PORT_PAR 2
#define PORT_USB 3
#define PORT_ETH 4

/* The shortest portName buffer GetCurrentPort accepts, in bytes. */
#define PORTLINK_PORT_NAME_SIZE 255

/*
 * Opens (or shares) the port of a logical device. Blocks while the device is
 * opened: a network connect waits up to 3 s per connection.
 * stepCode on failure: 1 device key, 3 Port value, 7 InternalID, 9 no such
 * port (a name other than COM1-COM40/LPT1-LPT4, or all 8 USB slots taken),
 * 11 TimeOut; serial: 35 BitLength, 37 Baudrate, 39 HandShake, 41 Parity,
 * 43 StopBit, 45 open, 47 reading the line settings, 49 setting them,
 * 51/53 reading/setting the time-outs, 55/57 creating the write/read event;
 * parallel: 29 open, 31/33 reading/setting the time-outs; USB: 13 loading
 * usblink, 15-25 resolving OpenDevice, CloseDevice, uWrite, GetSpecStatus,
 * OpenDeviceByInternalID, SetUSBTimeouts, 27 no device with that
 * InternalID; network: 5 no free slot (or an address text longer than 15
 * characters), 61 WSAStartup, 63/65 data/status socket, 67/69 their
 * time-outs, 71/73 non-blocking mode, 77/79 data connect failed/timed out
 * after 3 s, 83/85 the same for the status connection.
 * stepCode on success: 2 network port already open, 4 port already open,
 * 6 USB, 8 parallel, 10 serial, 60 network.
 * A failed open leaves nothing behind: no handle, event, socket or loaded
 * library from the attempt.
 */
PORTLINK_API int32_t OpenPort(const char* deviceClass, const char* deviceName, int32_t* portKind,
                              int32_t* portIndex, int32_t modelParamIgnored, int32_t* stepCode,
                              int32_t* sysError);

/*
 * Drops one reference; the port closes with the last. Always returns 1.
 * stepCode: 6 (serial, parallel, USB), 2 (network); 4 with sysError = the
 * port index when the port holds no reference (never opened or already
 * closed; a network slot answers 2 with sysError -1). Waits for transfers
 * under way on a network port to end before closing its sockets.
 */
PORTLINK_API int32_t ClosePort(int32_t portIndex, int32_t handleIgnored, int32_t modelParamIgnored,
                               int32_t* stepCode, int32_t* sysError);

/*
 * Reads the 4-byte status block into buffer (which must hold 4 bytes).
 * Serial: the block the printer sent last, with frame repair for model
 * class 2; returns at once when more than 4 bytes are waiting (the previous
 * block), otherwise within about 100 ms per read. stepCode 10 success; 15/17
 * read failed/timed out; 19-29 a repair read failed; 31-39 the block could
 * not be repaired (the buffer receives a marked block, result 0).
 * Parallel: reads from the port (up to 3 s), then reopens it. stepCode 22
 * (sysError -22) block read, 44 (sysError -44) nothing read: the last
 * block; 1 reopen failed, 3/5 time-outs. USB: stepCode 8 success, 9
 * reopen of a lost device failed, 11/13 status read failed (the device is
 * closed and marked lost). Network: asks the status connection (1B 76) and
 * waits up to 100 ms for the answer; stepCode 4 success, 7 no answer or
 * connection lost (both connections are closed; the next calls reconnect),
 * 41-53 re-establishing the status connection failed, 1 the slot holds no
 * open printer. A port never opened: 1 with stepCode 6, sysError = index.
 */
PORTLINK_API int32_t ReadPort(int32_t portIndex, int32_t handleIgnored, uint8_t* buffer, int32_t lengthIgnored,
                              int32_t timeoutMsIgnored, int32_t modelParamIgnored, int32_t* stepCode,
                              int32_t* sysError);

/*
 * Sends `length` bytes. Blocks until they are taken or a time-out runs out.
 * Serial: timeoutMs if 1 or more, else by the device's TimeOut, length and
 * write class; stepCode 12 success, 13 write failed, 15 time-out (the rest
 * is purged). Parallel: bounded by the port's 2 s (3 s after a status read)
 * write time-out; stepCode 2 success, 1 failure (a write the printer did
 * not take in time fails with ERROR_SEM_TIMEOUT). USB: waits up to 5 s for
 * a lost device to come back; stepCode 10/8 sent in one/two transfers, 5
 * device not back, 7/9 transfer failed (the device is closed and marked
 * lost), 11 second transfer short. Network: reconnects the data connection
 * first after more than 120 s without a write; stepCode 4 success, 3 send
 * failed, 5 the printer took nothing for 5 s (sysError WSAETIMEDOUT), 21-33
 * the reconnect failed, 1 the slot holds no open printer. A port never
 * opened: 1 with stepCode 6, sysError = index.
 */
PORTLINK_API int32_t WritePort(int32_t portIndex, int32_t handleIgnored, const uint8_t* data, int32_t length,
                               int32_t timeoutMs, int32_t modelParamIgnored, int32_t* stepCode,
                               int32_t* sysError);

/*
 * Whether the printer answers. A result with bit 0x10 or 0x20 set means it
 * does. Serial: the modem status word (CTS 0x10, DSR 0x20, RING 0x40, RLSD
 * 0x80), stepCode 5, sysError = the word. Parallel: 0xF0 when a first or
 * second status query finds the printer on line (stepCode 6 / 4), else 0
 * (stepCode 3); sysError = the status byte (PARALLEL_* bits). USB: 0
 * (stepCode 1) while the device is lost, else 0xF0 (stepCode 2), no device
 * traffic. Network and others: 0xF0, stepCode 8, no traffic.
 */
PORTLINK_API int32_t GetPortStatus(int32_t portIndex, int32_t handleIgnored, uint8_t* bufferIgnored,
                                   int32_t timeoutMsIgnored, int32_t modelParamIgnored, int32_t* stepCode,
                                   int32_t* sysError);

/*
 * The Port value of POSPrinter device `deviceName` into portName (at least
 * PORTLINK_PORT_NAME_SIZE bytes; a longer value is not copied) and its kind
 * by the first letter: 1 C/c, 2 L/l, 3 U/u, 4 anything else; 0 when the key
 * or the value cannot be read.
 */
PORTLINK_API int32_t GetCurrentPort(const char* deviceName, char* portName);

/*
 * Re-establishes a network port's data connection if it is closed (waits up
 * to 3 s). stepCode 22 nothing to do, 24 reconnected, 21 WSAStartup, 23
 * socket, 25 time-out option, 27 non-blocking mode, 31/33 connect
 * failed/timed out, 1 the slot holds no open printer.
 */
PORTLINK_API int32_t ReOpenNetPort(int32_t portIndex, int32_t handleIgnored, int32_t* stepCode,
                                   int32_t* sysError);

/*
 * Wakes a serial WritePort or ReadPort that waits on the port: the wait ends
 * as if its transfer had completed. A wake given while nothing waits is
 * dropped by the next transfer's start. Nothing for other port kinds.
 */
PORTLINK_API void ReSetPrintWork(int32_t portIndex, int32_t modeIgnored);

/*
 * Waits up to timeoutMs (at least 0) for the printer to send status bytes
 * by itself (its automatic status), so that a status reader can ReadPort
 * as soon as they arrive instead of on a fixed sleep. `mark` belongs to the
 * caller: 0 before its first wait, then left as the call set it. Returns 1
 * when status bytes arrived since the call that set *mark, and 0 when the
 * time ran out or WakePortStatus was called since (at once when it was
 * called after that call). Several callers may wait on one port at once
 * (a printer and its drawer); bytes that arrive are news for each of them.
 * Serial: bytes received on the line (left there for ReadPort). Network:
 * bytes on the data connection, which are read and dropped here (ReadPort
 * asks the status connection for the block). USB: bytes the device sends
 * (left there; ReadPort asks for the block). Parallel, and a port that is
 * not open: nothing arrives, the call waits out its time. A port index
 * outside 0-101 or a null mark: 0 at once. Blocks.
 */
PORTLINK_API int32_t WaitPortStatus(int32_t portIndex, uint64_t* mark, int32_t timeoutMs);

/*
 * Ends every WaitPortStatus on the port now, and the next one of a caller
 * whose mark was set before this call. Never blocks.
 */
PORTLINK_API void WakePortStatus(int32_t portIndex);

#ifdef __cplusplus
}
#endif
