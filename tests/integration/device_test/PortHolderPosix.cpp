// Holds a serial line the way another application on the till does: opened
// and locked exclusively, until its standard input closes. Waits for the
// lock rather than failing, so a test probing the lock cannot make it miss.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <line>\n", argv[0]);
        return 2;
    }
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::perror("open");
        return 1;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            std::perror("flock");
            return 1;
        }
    }
    char byte = 0;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
        if (got == 0 || (got < 0 && errno != EINTR)) {
            break;
        }
    }
    ::close(fd);
    return 0;
}
