#include "sim/Pty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

int SpeedToBaud(speed_t speed) {
    switch (speed) {
        case B1200: return 1200;
        case B2400: return 2400;
        case B4800: return 4800;
        case B9600: return 9600;
        case B19200: return 19200;
        case B38400: return 38400;
        case B57600: return 57600;
        case B115200: return 115200;
        case B230400: return 230400;
        default: return 0;
    }
}

}  // namespace

Pty::~Pty() { Close(); }

bool Pty::Open(std::string* error) {
    Close();
    auto fail = [&](const char* step) {
        if (error) *error = std::string(step) + ": " + std::strerror(errno);
        Close();
        return false;
    };
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) return fail("posix_openpt");
    if (grantpt(m_master) != 0) return fail("grantpt");
    if (unlockpt(m_master) != 0) return fail("unlockpt");
    char name[128];
    if (ptsname_r(m_master, name, sizeof(name)) != 0) return fail("ptsname_r");
    m_slavePath = name;
    // Without a slave descriptor the master sees a hang-up and loses data, so
    // the pair holds one for as long as it lives.
    m_slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveKeeper < 0) return fail("open slave");
    termios tio{};
    if (tcgetattr(m_slaveKeeper, &tio) != 0) return fail("tcgetattr");
    // Raw bytes both ways: no echo, no CR/LF translation, no line editing.
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(m_slaveKeeper, TCSANOW, &tio) != 0) return fail("tcsetattr");
    int flags = fcntl(m_master, F_GETFL);
    if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
    return true;
}

void Pty::Close() {
    if (m_slaveKeeper >= 0) ::close(m_slaveKeeper);
    if (m_master >= 0) ::close(m_master);
    m_slaveKeeper = -1;
    m_master = -1;
    m_slavePath.clear();
}

int Pty::BaudRate() const {
    if (m_slaveKeeper < 0) return 0;
    termios tio{};
    if (tcgetattr(m_slaveKeeper, &tio) != 0) return 0;
    return SpeedToBaud(cfgetospeed(&tio));
}

bool Pty::Write(const std::string& bytes) {
    // A line nobody reads fills up; after a short wait the rest is dropped,
    // as a device's transmitter would not wait for a listener either.
    int waits = 0;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR) && waits++ < 200) {
            usleep(1000);
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace sim
