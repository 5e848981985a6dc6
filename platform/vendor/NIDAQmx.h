#pragma once

// Digital I/O device library: the calls the digital I/O driver makes, with the
// argument lists it uses. Every call returns a status; a negative status is a
// failure whose text DAQmxGetErrorString gives. On this platform the calls are
// served by the virtual instrument's digital I/O device (sim/VirtualDaq).
//
// Raw sample layout of a port's line-per-channel tasks: one 16-bit sample per
// read, bit n being line n of the port (lines outside the task read 0); a raw
// write takes one byte, bit n driving line n when the task has that line.

#include <cstdint>

using int32 = int32_t;
using uInt8 = uint8_t;
using uInt32 = uint32_t;
using float64 = double;
using bool32 = uInt32;
using TaskHandle = void*;

// Line grouping of a digital channel.
constexpr int32 DAQmx_Val_ChanPerLine = 0;
constexpr int32 DAQmx_Val_ChanForAllLines = 1;
// Data layout and fill mode of the U8 reads and writes.
constexpr bool32 DAQmx_Val_GroupByChannel = 0;
// Device attribute: the product type, as text.
constexpr int32 DAQmx_Dev_ProductType = 0x0631;

// Status codes the device reports (all failures are negative).
constexpr int32 DAQmxSuccess = 0;
constexpr int32 DAQmxErrorDeviceNotFound = -200220;
constexpr int32 DAQmxErrorInvalidTask = -200088;
constexpr int32 DAQmxErrorPhysicalChanDoesNotExist = -200170;
constexpr int32 DAQmxErrorInvalidAttribute = -200197;
constexpr int32 DAQmxErrorBufferTooSmall = -200229;
constexpr int32 DAQmxErrorTimeout = -200474;
constexpr int32 DAQmxErrorWrongChannelType = -200452;

int32 DAQmxCreateTask(const char* taskName, TaskHandle* taskHandle);
int32 DAQmxClearTask(TaskHandle taskHandle);
int32 DAQmxResetDevice(const char* deviceName);
// Text attributes only (the product type): fills `value` up to `bufferSize`.
int32 DAQmxGetDeviceAttribute(const char* deviceName, int32 attribute, char* value, uInt32 bufferSize);

int32 DAQmxCreateDIChan(TaskHandle taskHandle, const char* lines, const char* nameToAssignToLines,
                        int32 lineGrouping);
int32 DAQmxCreateDOChan(TaskHandle taskHandle, const char* lines, const char* nameToAssignToLines,
                        int32 lineGrouping);
int32 DAQmxGetDONumLines(TaskHandle taskHandle, const char* channel, uInt32* data);

int32 DAQmxReadRaw(TaskHandle taskHandle, int32 numSampsPerChan, float64 timeout, void* readArray,
                   uInt32 arraySizeInBytes, int32* sampsRead, int32* numBytesPerSamp, bool32* reserved);
int32 DAQmxWriteRaw(TaskHandle taskHandle, int32 numSamps, bool32 autoStart, float64 timeout,
                    const void* writeArray, int32* sampsPerChanWritten, bool32* reserved);
int32 DAQmxReadDigitalU8(TaskHandle taskHandle, int32 numSampsPerChan, float64 timeout, bool32 fillMode,
                         uInt8 readArray[], uInt32 arraySizeInSamps, int32* sampsPerChanRead,
                         bool32* reserved);
int32 DAQmxWriteDigitalU8(TaskHandle taskHandle, int32 numSampsPerChan, bool32 autoStart, float64 timeout,
                          bool32 dataLayout, const uInt8 writeArray[], int32* sampsPerChanWritten,
                          bool32* reserved);

// The text of a status code; always NUL-terminated within `bufferSize`.
int32 DAQmxGetErrorString(int32 errorCode, char* errorString, uInt32 bufferSize);
