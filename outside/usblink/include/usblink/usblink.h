#pragma once
/*
 * usblink: the USB interface library for the suite's USB printers. The port
 * library and the setup tool load it at run time by name and call these
 * entry points; nothing else of it is public.
 *
 * Devices on Linux. A USB printer is a device node of the kernel's USB
 * printer class driver (usblp): the nodes matching the glob pattern in the
 * environment variable CVOPOS_USB_DEVICES, or /dev/usb/lp* when it is not
 * set (read at every open). Nodes are taken in the pattern's sorted order; a
 * node whose internal ID cannot be learnt is not a printer to this library.
 *
 * Devices on Windows. A USB printer is a device interface of the USB
 * printing class (GUID_DEVINTERFACE_USBPRINT, the usbprint driver) that
 * SetupAPI lists as present, taken in the sorted order of the interface
 * paths; OpenDeviceByName takes such a path (letter case ignored, the
 * leading "\\?\" optional). Transfers are overlapped and bounded by the
 * same time-outs as on Linux.
 *
 * Internal ID. Every printer of the range reports a 32-bit internal ID in
 * its IEEE 1284 device ID ("MFG:Corvane;MDL:RX-K92;CMD:ESC/POS;
 * CLS:PRINTER;IID:90;"), key IID, in decimal. On Linux the device ID of node
 * P is the text of the file P.ieee1284_id when that exists (a virtual
 * printer publishes it there), else the kernel's copy, asked with
 * LPIOC_GET_DEVICE_ID on the opened node; on Windows the driver's copy,
 * asked with IOCTL_USBPRINT_GET_1284_ID. Both come as two big-endian length
 * bytes, then the text. A printer without a decimal IID is identified by
 * its serial number (key SN) when that is a decimal number; with neither it
 * is skipped.
 *
 * Handles. An open device is a positive handle, never reused within a
 * process; -1 means none. A handle stays valid until CloseDevice, also after
 * the printer is unplugged (calls on it then fail).
 *
 * Time-outs (SetUSBTimeouts). The write time-out bounds how long uWrite
 * waits while the printer takes nothing (default 5000 ms); a printer that
 * keeps taking data is never cut off. The read time-out bounds how long
 * GetSpecStatus waits for the status answer (default 1000 ms).
 *
 * Thread safety: every entry point may be called from any thread, also at
 * once on one handle: a write and a status request run side by side, and a
 * CloseDevice waits for neither (the node closes when the last of them
 * returns). No entry point throws.
 */
#include <stdint.h>

#if defined(_WIN32)
#define USBLINK_API __declspec(dllexport)
#else
#define USBLINK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The first attached printer (as OpenDeviceX(0)), or -1. */
USBLINK_API int32_t OpenDevice(void);

/* The printer numbered `number` (0, 1, ...) among those attached, or -1. */
USBLINK_API int32_t OpenDeviceX(int32_t number);

/* The printer at node `name`: a path, or a node name such as "lp0" looked
 * for among the nodes of the pattern (on Windows an interface path); -1
 * when there is none. */
USBLINK_API int32_t OpenDeviceByName(const char* name);

/* The first attached printer whose internal ID is `internalId`, or -1. */
USBLINK_API int32_t OpenDeviceByInternalID(uint32_t internalId);

/* The internal ID of an open device; 0xFFFFFFFF for a handle that is not
 * open. */
USBLINK_API uint32_t GetPrinterInternalID(int32_t device);

/* Sets the device's write and read time-outs in milliseconds (values below
 * 1 keep the current one). 1 on success, 0 for a handle that is not open. */
USBLINK_API int32_t SetUSBTimeouts(int32_t device, int32_t writeTimeoutMs, int32_t readTimeoutMs);

/* Sends `length` bytes on the printer's data pipe (`pipe` must be 0).
 * Returns the number of bytes the printer took: fewer than `length` when it
 * stopped taking data for the write time-out, less than 1 when it took
 * nothing, the device is gone (unplugged, switched off) or the arguments
 * are refused. Blocks. */
USBLINK_API int32_t uWrite(int32_t device, int32_t pipe, const uint8_t* data, int32_t length);

/* Asks the printer for its status block: drops bytes that were waiting
 * (stale answers, automatic status), sends 1B 76 and reads up to `length`
 * bytes (at most 4, the block) within the read time-out. Returns 1 with the
 * count in *bytesRead (bytes not answered in time are 0), or 0 when the
 * device is gone or the arguments are refused (*bytesRead 0). Blocks. */
USBLINK_API int32_t GetSpecStatus(int32_t device, uint8_t* buffer, int32_t length, int32_t* bytesRead);

/* Waits at most timeoutMs for the printer to send something by itself (its
 * automatic status), leaving it to be read: 1 when bytes wait, 0 when the
 * time ran out, -1 when the device is gone or the handle is not open.
 * Blocks. */
USBLINK_API int32_t WaitDeviceInput(int32_t device, int32_t timeoutMs);

/* Closes the handle. 1, or 0 for a handle that is not open. */
USBLINK_API int32_t CloseDevice(int32_t device);

typedef int32_t (*USBLINK_OPENDEVICE)(void);
typedef int32_t (*USBLINK_OPENDEVICEX)(int32_t);
typedef int32_t (*USBLINK_OPENDEVICEBYNAME)(const char*);
typedef int32_t (*USBLINK_OPENDEVICEBYINTERNALID)(uint32_t);
typedef uint32_t (*USBLINK_GETPRINTERINTERNALID)(int32_t);
typedef int32_t (*USBLINK_SETUSBTIMEOUTS)(int32_t, int32_t, int32_t);
typedef int32_t (*USBLINK_UWRITE)(int32_t, int32_t, const uint8_t*, int32_t);
typedef int32_t (*USBLINK_GETSPECSTATUS)(int32_t, uint8_t*, int32_t, int32_t*);
typedef int32_t (*USBLINK_CLOSEDEVICE)(int32_t);
typedef int32_t (*USBLINK_WAITDEVICEINPUT)(int32_t, int32_t);

#ifdef __cplusplus
}
#endif
