#include "PtyChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace emulator {

namespace {

// What the printer may have queued for a host that does not read; a real
// printer's output buffer is smaller still.
constexpr std::size_t kMaxOutputBytes = 64 * 1024;

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool fail(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return false;
}

// A path that already names something other than a symbolic link may be a
// user's file or a real device; the emulator never replaces it.
bool pathIsFreeForLink(const std::string& path, std::string* error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT || fail(error, systemError(path));
    }
    return S_ISLNK(info.st_mode) ||
           fail(error, path + " exists and is not a symbolic link");
}

std::string readLink(const std::string& path) {
    std::array<char, 256> target{};
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size() - 1);
    return length > 0 ? std::string(target.data(), static_cast<std::size_t>(length)) : std::string();
}

// Whole-file replacement through rename, so that a host never reads a
// half-written ID.
bool writeFileAtomically(const std::string& path, const std::string& text, std::string* error) {
    const std::string temporary = path + "." + std::to_string(::getpid()) + ".tmp";
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.valid()) {
        return fail(error, systemError(temporary));
    }
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd.get(), text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const std::string message = systemError(temporary);
            ::unlink(temporary.c_str());
            return fail(error, message);
        }
        written += static_cast<std::size_t>(n);
    }
    fd.reset();
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string message = systemError(path);
        ::unlink(temporary.c_str());
        return fail(error, message);
    }
    return true;
}

}  // namespace

std::unique_ptr<PtyChannel> PtyChannel::open(VirtualPrinter& printer, Options options,
                                             std::string* error) {
    if (options.linkPath.empty()) {
        fail(error, "no link path");
        return nullptr;
    }
    if (!pathIsFreeForLink(options.linkPath, error)) {
        return nullptr;
    }
    auto mailbox = TransportMailbox::attach(printer, error);
    if (!mailbox) {
        return nullptr;
    }
    std::unique_ptr<PtyChannel> channel(new PtyChannel(printer, std::move(options), mailbox));
    // Read the state only after the listener is in place: a change in
    // between then arrives as an event as well, and is applied again.
    channel->m_state = printer.state();
    if (channel->m_state.powerOn && !channel->publish(error)) {
        mailbox->close();
        return nullptr;
    }
    channel->m_thread = std::thread([raw = channel.get()] { raw->run(); });
    return channel;
}

PtyChannel::PtyChannel(VirtualPrinter& printer, Options options,
                       std::shared_ptr<TransportMailbox> mailbox)
    : m_printer(printer), m_options(std::move(options)), m_mailbox(std::move(mailbox)) {}

PtyChannel::~PtyChannel() {
    m_mailbox->close();
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_mailbox->wake();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    withdraw();
}

bool PtyChannel::setPlugged(bool plugged, std::string* error) {
    std::unique_lock lock(m_mutex);
    m_plugged = plugged;
    const std::uint64_t ticket = ++m_requested;
    m_mailbox->wake();
    m_applied.wait(lock, [&] { return m_done >= ticket || m_stop; });
    if (!m_lastOk) {
        return fail(error, m_lastError);
    }
    return true;
}

bool PtyChannel::plugged() const {
    std::lock_guard lock(m_mutex);
    return m_plugged;
}

std::string PtyChannel::lastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

void PtyChannel::run() {
    for (;;) {
        std::array<pollfd, 2> fds{};
        fds[0] = {m_mailbox->wakeFd(), POLLIN, 0};
        nfds_t count = 1;
        if (m_master.valid()) {
            fds[1] = {m_master.get(), static_cast<short>(POLLIN | (m_output.empty() ? 0 : POLLOUT)), 0};
            count = 2;
        }
        const std::uint64_t polledGeneration = m_lineGeneration;
        if (::poll(fds.data(), count, -1) < 0 && errno != EINTR) {
            // Nothing recoverable: poll only fails this way on a bad
            // descriptor or no memory. Leave the line down.
            withdraw();
            std::lock_guard lock(m_mutex);
            m_lastError = systemError("poll");
            return;
        }
        if (fds[0].revents != 0) {
            bool plugged = true;
            std::uint64_t ticket = 0;
            {
                std::lock_guard lock(m_mutex);
                if (m_stop) {
                    return;
                }
                plugged = m_plugged;
                ticket = m_requested;
            }
            for (auto& event : m_mailbox->take()) {
                if (event.isState) {
                    m_state = event.state;
                    std::string error;
                    const bool ok = reconcile(plugged, &error);
                    if (!ok) {
                        std::lock_guard lock(m_mutex);
                        m_lastError = error;
                    }
                } else if (m_master.valid() && m_output.size() < kMaxOutputBytes) {
                    const std::size_t room = kMaxOutputBytes - m_output.size();
                    const std::size_t n = std::min(room, event.bytes.size());
                    m_output.insert(m_output.end(), event.bytes.begin(), event.bytes.begin() + static_cast<std::ptrdiff_t>(n));
                }
            }
            std::string error;
            const bool ok = reconcile(plugged, &error);
            {
                std::lock_guard lock(m_mutex);
                m_lastError = ok ? std::string() : error;
                if (ticket > m_done) {
                    m_done = ticket;
                    m_lastOk = ok;
                }
            }
            m_applied.notify_all();
        }
        // What poll said about the master is stale if the line was replaced
        // meanwhile, even where the new master got the same number.
        if (count == 2 && m_lineGeneration == polledGeneration) {
            if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                readFromMaster();
            }
            if (m_master.valid() && (fds[1].revents & POLLOUT) != 0) {
                writeToMaster();
            }
        }
    }
}

bool PtyChannel::reconcile(bool plugged, std::string* error) {
    const bool wanted = plugged && m_state.powerOn;
    if (wanted && !m_master.valid()) {
        return publish(error);
    }
    if (!wanted && m_master.valid()) {
        withdraw();
    }
    return true;
}

bool PtyChannel::publish(std::string* error) {
    if (!pathIsFreeForLink(m_options.linkPath, error)) {
        return false;
    }
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master.valid()) {
        return fail(error, systemError("posix_openpt"));
    }
    std::array<char, 128> name{};
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0 ||
        ::ptsname_r(master.get(), name.data(), name.size()) != 0) {
        return fail(error, systemError("pseudo-terminal set-up"));
    }
    const std::string slaveName(name.data());
    UniqueFd slave(::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.valid()) {
        return fail(error, systemError(slaveName));
    }
    // Raw on the line itself: the host's own settings land on the same
    // terminal, and until it makes them no byte may be altered or echoed.
    termios settings{};
    if (::tcgetattr(slave.get(), &settings) != 0) {
        return fail(error, systemError("tcgetattr"));
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(slave.get(), TCSANOW, &settings) != 0) {
        return fail(error, systemError("tcsetattr"));
    }
    if (m_options.controllingTerminal && ::ioctl(slave.get(), TIOCSCTTY, 0) != 0) {
        return fail(error, systemError("making " + slaveName + " the controlling terminal"));
    }
    if (!m_options.idFilePath.empty() &&
        !writeFileAtomically(m_options.idFilePath, m_options.idText, error)) {
        return false;
    }
    const std::string temporary = m_options.linkPath + "." + std::to_string(::getpid()) + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(slaveName.c_str(), temporary.c_str()) != 0 ||
        ::rename(temporary.c_str(), m_options.linkPath.c_str()) != 0) {
        const std::string message = systemError(m_options.linkPath);
        ::unlink(temporary.c_str());
        if (!m_options.idFilePath.empty()) {
            ::unlink(m_options.idFilePath.c_str());
        }
        return fail(error, message);
    }
    m_master = std::move(master);
    m_slave = std::move(slave);
    m_slaveName = slaveName;
    m_output.clear();
    ++m_lineGeneration;
    return true;
}

void PtyChannel::withdraw() {
    if (!m_master.valid()) {
        return;
    }
    // A link someone re-pointed meanwhile is theirs now.
    if (readLink(m_options.linkPath) == m_slaveName) {
        ::unlink(m_options.linkPath.c_str());
    }
    if (!m_options.idFilePath.empty()) {
        ::unlink(m_options.idFilePath.c_str());
    }
    m_master.reset();
    m_slave.reset();
    m_slaveName.clear();
    m_output.clear();
    ++m_lineGeneration;
}

void PtyChannel::readFromMaster() {
    std::array<std::uint8_t, 4096> buffer{};
    const ssize_t n = ::read(m_master.get(), buffer.data(), buffer.size());
    if (n > 0) {
        const std::string failure = feedPrinter(
            m_printer, std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)), m_options.onReceive);
        if (!failure.empty()) {
            std::lock_guard lock(m_mutex);
            m_lastError = failure;
        }
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    // The line broke although this side still holds the slave; nothing
    // will mend it in place, so take it down until the next power or plug
    // change rather than spin on a dead descriptor.
    const std::string message = n < 0 ? systemError("pseudo-terminal read") : "pseudo-terminal closed";
    withdraw();
    std::lock_guard lock(m_mutex);
    m_lastError = message;
}

void PtyChannel::writeToMaster() {
    const ssize_t n = ::write(m_master.get(), m_output.data(), m_output.size());
    if (n > 0) {
        m_output.erase(m_output.begin(), m_output.begin() + n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        m_output.clear();
    }
}

}  // namespace emulator
