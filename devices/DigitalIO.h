#pragma once

// Driver of the instrument's digital I/O device (a USB-6001): port 0 with
// eight lines, each an input or an output, and port 1 with four outputs.
// Above the ports sits the table of thirteen logical lines mapped from
// [DIO_Config] of the main settings file: 3..6 are the LEDs LED0..LED3 (image
// type n uses line n + 3), 7 the cartridge sensor and 8 the clamp sensor.
//
// Every call into the device library holds g_DIOSemaphore (1 s wait). The
// line-level operations start the device lazily through Initialize_DIO.

#include <array>
#include <vector>

#include "platform/CString.h"
#include "platform/Sync.h"
#include "platform/vendor/NIDAQmx.h"
#include "support/String.h"

struct DIOPortLine {
    int is_input;  // 0 output, 1 input
    int state;     // last value written to the line, 0 or 1
};

constexpr int kDIOLogicalLines = 13;

// Port 0 (8 entries) and port 1 (4 entries).
extern std::array<std::vector<DIOPortLine>, 2> g_DIOPortTable;
extern int g_DIOLinePort[kDIOLogicalLines];
extern int g_DIOLineNumber[kDIOLogicalLines];
extern int g_DIOLineStateForLogicHigh[kDIOLogicalLines];
extern TaskHandle g_DIOPort0InputTask;
extern TaskHandle g_DIOPort0OutputTask;
extern TaskHandle g_DIOPort1Task;
// The device name for the port-0 tasks [0] and for the port-1 task [1].
extern Tovanix::String g_DIODeviceName[2];
extern CString g_DIOPort1Channel;
extern platform::Semaphore* g_DIOSemaphore;

bool Initialize_DIO(CString* error, bool forceReset);
bool LoadDIOMapping(CString* error);
bool LoadInterlockMapping();
bool configure_DIO_hw_line_type(int port, int line, CString* error);
// type: 1 output, 0 input.
bool ConfigureDIOLineType(int port, int line, int type, CString* error);
bool GetDIOLineType(int port, int line, int* type, CString* error);
bool GetDIOInputLineState(int port, int line, bool* state, CString* error);
bool SetDIOOutputLineState(int port, int line, bool on, CString* error);
bool read_port0(unsigned char* value, CString* error);
bool set_port0(unsigned char value, CString* error);
bool read_port1(unsigned char* value, CString* error);
bool set_port1(unsigned char value, CString* error);
bool ReadDIOLines(int port, unsigned char* value, CString* error);
bool SetDIOLines(int port, unsigned char value, CString* error);
bool SetDIOLine(int logicalLine, CString* error);
bool ClearDIOLine(int logicalLine, CString* error);
