#pragma once

#include <QString>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kelvar::test {

// A pseudo-terminal that nobody answers on; `device` is empty if none could
// be had. `keepOpen` holds the device open too, so that the master side never
// reads as hung up (but then this process holds it).
class Pty {
public:
    explicit Pty(bool keepOpen = false) : master(::posix_openpt(O_RDWR | O_NOCTTY)) {
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) {
            device = QString::fromLocal8Bit(::ptsname(master));
            keeper = keepOpen ? ::open(::ptsname(master), O_RDWR | O_NOCTTY) : -1;
        }
    }
    ~Pty() {
        for (const int fd : {keeper, master}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int master;
    int keeper = -1;
    QString device;
};

// What a pseudo-terminal answers to a request only a serial port knows.
inline QString NotATerminal() {
    return QString::fromLocal8Bit(std::strerror(ENOTTY));
}

} // namespace kelvar::test
