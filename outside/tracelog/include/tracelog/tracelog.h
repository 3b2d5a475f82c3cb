#pragma once
/*
 * tracelog: the diagnostic log library the service objects write through.
 * A plain C interface so that any module, whatever its compiler or language,
 * can call it; no exception and no C++ type crosses it.
 *
 * A log module is one log file (or family of files) with its own level,
 * rollover rule and line format. LOG_MODULE_INIT_Ex creates one and stores
 * its handle; every LOG_* call names the handle it writes to; one handle may
 * be shared by any number of objects and threads of a process. Two live
 * modules must not name the same file: each rolls its files over on its own.
 *
 * Handles are opaque numbers, never reused within a process. A zero handle,
 * a handle never issued and a handle already destroyed are all accepted by
 * every call and write nothing, so a caller whose initialisation failed can
 * keep calling without checks.
 *
 * Thread safety: every function may be called from any thread at any time,
 * including while another thread destroys the handle in use (the entry is
 * then either written whole or not at all). Lines from concurrent callers
 * never interleave.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TRACELOG_PATH_SIZE 260
#define TRACELOG_FORMAT_SIZE 64

/* The longest message text of one entry, in bytes; the formatted text of a
 * LOG_* call is cut at this length (the line is still written). */
#define TRACELOG_MAX_MESSAGE 4096

/* Entry levels. An entry is written when its level is at or above the
 * module's configured level; TRACELOG_LEVEL_DISABLE writes nothing. */
#define TRACELOG_LEVEL_TRACE 1
#define TRACELOG_LEVEL_DEBUG 2
#define TRACELOG_LEVEL_INFO 3
#define TRACELOG_LEVEL_NOTICE 4
#define TRACELOG_LEVEL_WARN 5
#define TRACELOG_LEVEL_ERROR 6
#define TRACELOG_LEVEL_CRIT 7
#define TRACELOG_LEVEL_FATAL 8
#define TRACELOG_LEVEL_DISABLE 9

/* Modes:
 * SIMPLE   one file, log_file_path, appended to without limit.
 * ROLLBACK log_file_path grows to max_file_size bytes, then becomes
 *          <name>.1<ext>, the previous .1 becomes .2 and so on; at most
 *          max_backup_index old files are kept, the oldest is deleted.
 *          max_file_size <= 0 means 10 MiB; max_backup_index <= 0 means 5
 *          (a configuration that names neither still keeps a bounded,
 *          useful history), at most 200000.
 * DATE     one file a day, <name>_YYYY-MM-DD<ext> beside log_file_path,
 *          starting at local midnight. max_backup_index > 0 keeps that many
 *          day files, deleting the oldest when the day turns; <= 0 keeps
 *          them all. max_file_size is not used.
 * Any other mode value is taken as ROLLBACK. */
#define TRACELOG_MODE_SIMPLE 1
#define TRACELOG_MODE_ROLLBACK 2
#define TRACELOG_MODE_DATE 3

/* Results of LOG_MODULE_INIT_Ex and LOG_MODULE_DESTORY. */
#define TRACELOG_OK 0
#define TRACELOG_E_PARAMETER (-1) /* null record or handle address, empty path */
#define TRACELOG_E_OPEN (-2)      /* the log file or its directory cannot be created */
#define TRACELOG_E_HANDLE (-3)    /* DESTORY of a handle that is not live */

typedef uintptr_t TraceLogHandle;

/* The configuration record. Its layout is fixed: callers build it field by
 * field in this order. */
typedef struct TraceLogConfig {
    /* Full path of the log file, NUL-terminated. Missing directories on the
     * path are created. Read to its first NUL or its 260th byte. */
    char log_file_path[TRACELOG_PATH_SIZE];
    int32_t mode;
    int32_t level;
    int32_t max_file_size;
    int32_t max_backup_index;
    /* Entries written between two flushes to the file: 0 or 1 flushes every
     * entry. Entries at ERROR level and above are always flushed at once so
     * that the last words before a crash reach the file. */
    int32_t flush_size;
    /* Line layout as a pattern: literal text with %-fields, read to its first
     * NUL or its 64th byte, whichever comes first (the field need not be
     * terminated). Empty: "[%Y-%m-%d %H:%M:%S.%e] [%t] [%l] %v".
     * Fields: %v the message, %l the level name (TRACE DEBUG INFO NOTICE
     * WARN ERROR CRIT FATAL), %L its first letter, %t the thread id, %P the
     * process id, %Y %m %d %H %M %S date and time, %e milliseconds,
     * %f microseconds, %z the UTC offset, %% a percent sign. A line always
     * ends with a newline. */
    char format[TRACELOG_FORMAT_SIZE];
} TraceLogConfig;

#if defined(_WIN32)
#define TRACELOG_API __declspec(dllexport)
#define TRACELOG_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define TRACELOG_API __attribute__((visibility("default")))
#define TRACELOG_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TRACELOG_API
#define TRACELOG_PRINTF(fmt, args)
#endif

/* Creates a log module from `config` and stores its handle in *handle
 * (0 on failure). A level at or above TRACELOG_LEVEL_DISABLE creates a live
 * handle that writes nothing and opens no file; a level below TRACE counts
 * as TRACE. Any handle already in *handle is overwritten, not destroyed:
 * the caller that created it still owns it. */
TRACELOG_API int LOG_MODULE_INIT_Ex(const TraceLogConfig* config, TraceLogHandle* handle);

/* Flushes and closes the module of *handle and sets *handle to 0. Calls
 * still in progress on other threads finish first; later calls with a copy
 * of the old value write nothing. */
TRACELOG_API int LOG_MODULE_DESTORY(TraceLogHandle* handle);

/* Write one entry, formatted as printf does, at the level of the function's
 * name. Return 1 when the entry was written, 0 when it was filtered out or
 * the handle is not live, -1 when the file could not be written. */
TRACELOG_API int LOG_DEBUG(TraceLogHandle handle, const char* format, ...) TRACELOG_PRINTF(2, 3);
TRACELOG_API int LOG_INFO(TraceLogHandle handle, const char* format, ...) TRACELOG_PRINTF(2, 3);
TRACELOG_API int LOG_NOTICE(TraceLogHandle handle, const char* format, ...) TRACELOG_PRINTF(2, 3);
TRACELOG_API int LOG_WARN(TraceLogHandle handle, const char* format, ...) TRACELOG_PRINTF(2, 3);
TRACELOG_API int LOG_ERROR(TraceLogHandle handle, const char* format, ...) TRACELOG_PRINTF(2, 3);
TRACELOG_API int LOG_CRIT(TraceLogHandle handle, const char* format, ...) TRACELOG_PRINTF(2, 3);
TRACELOG_API int LOG_FATAL(TraceLogHandle handle, const char* format, ...) TRACELOG_PRINTF(2, 3);

#ifdef __cplusplus
}
#endif
