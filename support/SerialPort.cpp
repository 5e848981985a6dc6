#include "support/SerialPort.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/PortTable.h"

Tovanix::SortedPtrList<SerialPortRecord> g_SerialPorts;
std::shared_mutex g_SerialPortsLock;
std::atomic<SerialPortFailureHook> g_SerialPortFailureHook{nullptr};

namespace {

constexpr int kReplyBufferSize = 1024;
constexpr int kReadIntervalMs = 10;

bool BaudRateConstant(int baudRate, speed_t* speed) {
    switch (baudRate) {
    case 1200: *speed = B1200; return true;
    case 2400: *speed = B2400; return true;
    case 4800: *speed = B4800; return true;
    case 9600: *speed = B9600; return true;
    case 19200: *speed = B19200; return true;
    case 38400: *speed = B38400; return true;
    case 57600: *speed = B57600; return true;
    case 115200: *speed = B115200; return true;
    case 230400: *speed = B230400; return true;
    default: return false;
    }
}

// Opens the device exclusively and sets 8N1 raw at the rate. -1 on failure.
int OpenPort(const std::string& device, int baudRate) {
    speed_t speed;
    if (device.empty() || !BaudRateConstant(baudRate, &speed)) {
        return -1;
    }
    int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    // No sharing: a second open of the same device (in this process or
    // another) is refused. The lock comes first, so a port held by someone
    // else is left exactly as they set it.
    termios tio{};
    bool ok = flock(fd, LOCK_EX | LOCK_NB) == 0 && tcgetattr(fd, &tio) == 0;
    if (ok) {
        cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        // Reads never block: every wait is a poll of one read pass.
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        ok = cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0 && tcsetattr(fd, TCSANOW, &tio) == 0;
    }
    if (ok) {
        int flags = fcntl(fd, F_GETFL);
        ok = flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
    }
    // The terminal's exclusive flag outlives our descriptor (the device, or
    // the simulator's side of a pseudo-terminal, keeps the line up), and
    // while it is set every later open by an ordinary user fails. So it is
    // set last, once nothing else can fail, and cleared again on close.
    ok = ok && ioctl(fd, TIOCEXCL) == 0;
    if (!ok) {
        close(fd);
        return -1;
    }
    return fd;
}

// Index in g_SerialPorts.items of the port's record, -1 when none.
int FindIndex(int comPort) {
    SerialPortRecord key;
    key.comPort = comPort;
    const SerialPortRecord* record = g_SerialPorts.Find(key);
    for (int i = 0; record && i < g_SerialPorts.count; ++i) {
        if (g_SerialPorts.items[i] == record) {
            return i;
        }
    }
    return -1;
}

bool EndsReply(const char* buffer, int held, char terminator, char secondTerminator) {
    if (secondTerminator != 0) {
        return held >= 2 && buffer[held - 1] == secondTerminator && buffer[held - 2] == terminator;
    }
    return held >= 1 && buffer[held - 1] == terminator;
}

}  // namespace

void SerialPortRecord::Close() {
    if (handle >= 0) {
        ioctl(handle, TIOCNXCL);
        close(handle);
        handle = -1;
    }
}

bool SerialPortRecord::SendCommand(const char* command, char terminator, Tovanix::String* reply,
                                   unsigned int timeoutMs, char secondTerminator, int* code) {
    std::lock_guard<std::mutex> transaction(m_transactionLock);
    auto finish = [&](int32_t result) {
        errorCode = result;
        if (code) {
            *code = result;
        }
        return result == SERIAL_OK;
    };
    *reply = "";
    errorCode = 0;
    if (code) {
        *code = 0;
    }
    if (handle < 0) {
        return finish(SERIAL_NO_HANDLE);
    }

    // A late reply to an earlier command must not become the start of this one.
    tcflush(handle, TCIFLUSH);

    const char* text = command ? command : "";
    size_t length = std::strlen(text);
    size_t written = 0;
    while (written < length) {
        ssize_t n = write(handle, text + written, length - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return finish(SERIAL_WRITE_FAILED);
        }
        written += static_cast<size_t>(n);
    }

    char buffer[kReplyBufferSize] = {};
    int held = 0;
    int interval = readIntervalMs > 0 ? readIntervalMs : kReadIntervalMs;
    unsigned int passes = timeoutMs / static_cast<unsigned int>(interval);
    if (passes < 1) {
        passes = 1;
    }
    // The passes wait on the device in real time, like the driver's own
    // read time-outs; they are not test-clock sleeps. Each pass is waited out
    // to its end (to the nanosecond, not cut to whole milliseconds), so the
    // passes together never fall short of the time-out.
    using steady = std::chrono::steady_clock;
    for (unsigned int pass = 0; pass < passes; ++pass) {
        if (held >= kReplyBufferSize - 1) {
            break;
        }
        const auto passEnd = steady::now() + std::chrono::milliseconds(interval);
        while (held < kReplyBufferSize - 1) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(passEnd - steady::now()).count();
            if (left <= 0) {
                break;
            }
            const timespec wait{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
            pollfd pfd{handle, POLLIN, 0};
            int ready = ppoll(&pfd, 1, &wait, nullptr);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready == 0) {
                continue;  // the loop ends once the pass's end has come
            }
            ssize_t n = ready < 0 ? -1 : read(handle, buffer + held, static_cast<size_t>(kReplyBufferSize - 1 - held));
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (n < 0 || (n == 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))) {
                // The device went away (or the read failed): keep what came.
                *reply = buffer;
                return finish(SERIAL_READ_FAILED);
            }
            held += static_cast<int>(n);
            if (n > 0 && EndsReply(buffer, held, terminator, secondTerminator)) {
                *reply = buffer;
                return finish(SERIAL_OK);
            }
        }
    }
    *reply = buffer;
    return finish(SERIAL_NO_REPLY);
}

bool SetupSerialPort(int comPort, int baudRate, Tovanix::String* error) {
    std::unique_lock<std::shared_mutex> table(g_SerialPortsLock);
    char message[256];
    if (FindIndex(comPort) >= 0) {
        std::snprintf(message, sizeof message,
                      "SetupSerialPort () - Port %ld is already being used - call ReleaseSerialPort () first.",
                      static_cast<long>(comPort));
        if (error) {
            *error = message;
        }
        return false;
    }
    auto* record = new SerialPortRecord;
    record->comPort = comPort;
    record->baudRate = baudRate;
    record->handle = OpenPort(platform::ComPortDevicePath(comPort), baudRate);
    if (record->handle < 0) {
        delete record;
        std::snprintf(message, sizeof message,
                      "SetupSerialPort () : COM%lu problem trying to setup serial port resource.",
                      static_cast<unsigned long>(static_cast<uint32_t>(comPort)));
        if (error) {
            *error = message;
        }
        return false;
    }
    record->readIntervalMs = kReadIntervalMs;
    g_SerialPorts.flags = Tovanix::SortedPtrList<SerialPortRecord>::kOwnsElements |
                          Tovanix::SortedPtrList<SerialPortRecord>::kSorted;
    g_SerialPorts.Add(record);
    return true;
}

bool ReleaseSerialPort(int comPort) {
    std::unique_lock<std::shared_mutex> table(g_SerialPortsLock);
    int index = FindIndex(comPort);
    if (index < 0) {
        return false;
    }
    return g_SerialPorts.RemoveAt(index);
}

bool SendSerialCommand(int comPort, const char* command, char terminator, Tovanix::String* reply,
                       unsigned int timeoutMs, char secondTerminator, int* errorCode) {
    bool ok;
    {
        std::shared_lock<std::shared_mutex> table(g_SerialPortsLock);
        int index = FindIndex(comPort);
        if (index < 0) {
            if (errorCode) {
                *errorCode = SERIAL_NOT_SET_UP;
            }
            return false;
        }
        ok = g_SerialPorts.items[index]->SendCommand(command, terminator, reply, timeoutMs, secondTerminator,
                                                     errorCode);
    }
    // The hook runs outside the table lock: it may post a recovery that
    // releases and sets up ports again.
    if (!ok) {
        if (SerialPortFailureHook hook = g_SerialPortFailureHook.load()) {
            hook(comPort);
        }
    }
    return ok;
}
