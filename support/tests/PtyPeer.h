#pragma once

// The device end of a pseudo-terminal pair, registered as a COM port, for
// exercising the serial layer without hardware.

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

#include "platform/PortTable.h"

class PtyPeer {
public:
    explicit PtyPeer(int comPort) : m_comPort(comPort) {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0) {
            m_devicePath = ptsname(m_master);
            platform::RegisterComPort(comPort, m_devicePath);
        }
    }
    ~PtyPeer() {
        platform::UnregisterComPort(m_comPort);
        CloseMaster();
    }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool IsOpen() const { return !m_devicePath.empty(); }
    const std::string& DevicePath() const { return m_devicePath; }

    // Reads until `last` arrives or the time is up; returns what came.
    std::string ReadUntil(char last, int timeoutMs = 2000) {
        std::string received;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            pollfd pfd{m_master, POLLIN, 0};
            if (poll(&pfd, 1, 10) <= 0) {
                continue;
            }
            char ch;
            if (read(m_master, &ch, 1) != 1) {
                break;
            }
            received += ch;
            if (ch == last) {
                break;
            }
        }
        return received;
    }

    void Write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                return;
            }
            done += static_cast<size_t>(n);
        }
    }

    void CloseMaster() {
        if (m_master >= 0) {
            close(m_master);
            m_master = -1;
        }
    }

private:
    int m_comPort;
    int m_master = -1;
    std::string m_devicePath;
};
