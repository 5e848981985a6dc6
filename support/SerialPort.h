#pragma once

// The serial port layer: every COM port the program has open, and one command
// transaction at a time on a port (write a command, read until the reply ends
// with its terminator(s) or the time allowed has passed).
//
// Ports are addressed by their COM number only. A COM number maps to a device
// path through the platform's port table; the port is opened exclusively and
// set to 8 data bits, no parity, one stop bit, raw (binary) at the given rate.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>

#include "support/SortedPtrList.h"
#include "support/String.h"

// Result codes of a transaction (SerialPortRecord::errorCode and the caller's
// optional code out-parameter).
enum : int32_t {
    SERIAL_OK = 0,
    SERIAL_NO_HANDLE = 8,        // the record has no open handle
    SERIAL_WRITE_FAILED = 9,     // writing the command failed
    SERIAL_NO_REPLY = 10,        // read passes ran out or the buffer filled up
    SERIAL_READ_FAILED = 1010,   // a read call failed
    SERIAL_NOT_SET_UP = 2000,    // no port with that number is set up
};

// One open port, owned by g_SerialPorts.
struct SerialPortRecord {
    int32_t readIntervalMs = 0;  // length of one read pass; 10 once set up
    int32_t comPort = 0;         // COM number, the table's sort key
    int32_t errorCode = 0;       // result of the last operation on the record
    char errorText[256] = {};
    int handle = -1;             // open file descriptor; -1 when closed
    int32_t baudRate = 0;
    int32_t byteSize = 8;
    int32_t parity = 0;          // none
    int32_t stopBits = 1;

    SerialPortRecord() = default;
    ~SerialPortRecord() { Close(); }
    SerialPortRecord(const SerialPortRecord&) = delete;
    SerialPortRecord& operator=(const SerialPortRecord&) = delete;

    // One transaction: discard what is pending, write the command, read the
    // reply in passes of readIntervalMs. secondTerminator 0: the reply ends
    // with `terminator` alone. errorCode (may be null) receives the result code.
    bool SendCommand(const char* command, char terminator, Tovanix::String* reply, unsigned int timeoutMs,
                     char secondTerminator, int* errorCode);
    void Close();

    // Order of the port table: by COM number.
    static int Compare(const SerialPortRecord& a, const SerialPortRecord& b) {
        return a.comPort < b.comPort ? -1 : (a.comPort > b.comPort ? 1 : 0);
    }

private:
    // One transaction at a time on a port, so that threads sharing a port
    // (script threads and the stage panel on the stage port) never swap replies.
    std::mutex m_transactionLock;
};

// The port table: owns its records, sorted by COM number. Setting up and
// releasing take g_SerialPortsLock exclusively; a transaction holds it shared,
// so a record is never freed while a transaction runs on it.
extern Tovanix::SortedPtrList<SerialPortRecord> g_SerialPorts;
extern std::shared_mutex g_SerialPortsLock;

// Called with the COM number when a transaction on an open port fails.
using SerialPortFailureHook = void (*)(int comPort);
extern std::atomic<SerialPortFailureHook> g_SerialPortFailureHook;

bool SetupSerialPort(int comPort, int baudRate, Tovanix::String* error);
bool ReleaseSerialPort(int comPort);
bool SendSerialCommand(int comPort, const char* command, char terminator, Tovanix::String* reply,
                       unsigned int timeoutMs, char secondTerminator, int* errorCode);
