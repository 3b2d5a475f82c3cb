#pragma once
// Status bytes a printer sends by itself, as a count that status readers
// wait on. Several readers may wait on one port (a printer and the drawer
// on it): one of them watches the line at a time and the others wait for
// its news, so bytes a watcher takes off the line (or a reader or writer
// drains) are news for every reader, not only for the one that saw them.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/inputwait.h"

namespace port {

class StatusArrivals {
public:
    // Watches the line once for up to `ms`: Arrived when status bytes came,
    // Woken when `wake` was set. Must end by the time or the wake-up.
    using Watch = std::function<platform::InputWait(platform::DWORD ms, platform::InputWake& wake)>;

    // WaitPortStatus: 1 when bytes arrived since *mark was taken, 0 when the
    // time ran out or wake() was called since. Updates *mark either way.
    int32_t wait(std::uint64_t* mark, platform::DWORD timeoutMs, const Watch& watch);
    // WakePortStatus: ends every wait on the port, and the next one of a
    // reader whose mark is older.
    void wake();
    // Status bytes were taken off the line outside a watch.
    void arrived();

private:
    std::uint64_t markLocked() const { return (std::uint64_t{m_wakes} << 32) | m_arrivals; }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint32_t m_arrivals = 0;
    std::uint32_t m_wakes = 0;
    bool m_watching = false;
    int m_waiters = 0;
    // Exists while a reader waits, so that a port nobody waits on holds no
    // system event. Null also when the system had none to give: the waits
    // then only wait out their time.
    std::unique_ptr<platform::InputWake> m_wake;
};

}  // namespace port
