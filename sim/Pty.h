#pragma once

// A pseudo-terminal pair that stands in for a serial line. The simulator
// reads and writes the master side; the program opens the slave side's path
// like any serial device. The pair keeps one descriptor of its own open on
// the slave, so the line stays up (and keeps its settings) while the program
// closes and reopens its end.

#include <string>

namespace sim {

class Pty {
public:
    Pty() = default;
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Creates the pair in raw 8N1 mode. False with a reason when that fails.
    bool Open(std::string* error);
    void Close();
    bool IsOpen() const { return m_master >= 0; }

    int MasterFd() const { return m_master; }
    // The device path the program opens, such as "/dev/pts/7".
    const std::string& SlavePath() const { return m_slavePath; }

    // The baud rate the program last configured on the line (0 when unknown).
    int BaudRate() const;

    // Writes all bytes to the line; false when the line is gone.
    bool Write(const std::string& bytes);

private:
    int m_master = -1;
    int m_slaveKeeper = -1;
    std::string m_slavePath;
};

}  // namespace sim
