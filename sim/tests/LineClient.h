#pragma once

// The program's end of a simulated serial line, opened with plain termios so
// the simulators are tested without the program's own serial layer.

#include <chrono>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace sim::testing {

class LineClient {
public:
    LineClient(const std::string& path, speed_t speed) {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0) return;
        termios tio{};
        tcgetattr(m_fd, &tio);
        cfmakeraw(&tio);
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tcsetattr(m_fd, TCSANOW, &tio);
    }
    ~LineClient() {
        if (m_fd >= 0) ::close(m_fd);
    }
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    bool IsOpen() const { return m_fd >= 0; }

    // Writes the bytes and reads until the reply ends with `end` or the time
    // passes; returns what arrived.
    std::string Transact(const std::string& bytes, const std::string& end = "\r\n",
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(1000)) {
        tcflush(m_fd, TCIFLUSH);
        if (::write(m_fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return {};
        return Read(end, timeout);
    }

    std::string Read(const std::string& end, std::chrono::milliseconds timeout) {
        std::string reply;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, 5) > 0) {
                char buffer[256];
                ssize_t n = ::read(m_fd, buffer, sizeof(buffer));
                if (n > 0) reply.append(buffer, static_cast<size_t>(n));
                if (reply.size() >= end.size() && reply.compare(reply.size() - end.size(), end.size(), end) == 0) break;
            }
        }
        return reply;
    }

private:
    int m_fd = -1;
};

}  // namespace sim::testing
