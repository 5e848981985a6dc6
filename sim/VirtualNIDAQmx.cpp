// The digital I/O device library, served by the virtual digital I/O device.

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/vendor/NIDAQmx.h"
#include "sim/VirtualDaq.h"

namespace {

sim::VirtualDaq& Daq() { return sim::VirtualDaq::Instance(); }

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

int32 DAQmxCreateTask(const char*, TaskHandle* taskHandle) {
    if (int32 status = Daq().Enter("DAQmxCreateTask")) return status;
    if (!taskHandle) return DAQmxErrorInvalidTask;
    return Daq().CreateTask(taskHandle);
}

int32 DAQmxClearTask(TaskHandle taskHandle) {
    if (int32 status = Daq().Enter("DAQmxClearTask")) return status;
    return Daq().ClearTask(taskHandle);
}

int32 DAQmxResetDevice(const char* deviceName) {
    if (int32 status = Daq().Enter("DAQmxResetDevice")) return status;
    return Daq().ResetDevice(Text(deviceName));
}

int32 DAQmxGetDeviceAttribute(const char* deviceName, int32 attribute, char* value, uInt32 bufferSize) {
    if (int32 status = Daq().Enter("DAQmxGetDeviceAttribute")) return status;
    if (attribute != DAQmx_Dev_ProductType) return DAQmxErrorInvalidAttribute;
    std::string type;
    if (int32 status = Daq().ProductType(Text(deviceName), &type)) return status;
    if (!value || bufferSize <= type.size()) return DAQmxErrorBufferTooSmall;
    std::memcpy(value, type.c_str(), type.size() + 1);
    return DAQmxSuccess;
}

int32 DAQmxCreateDIChan(TaskHandle taskHandle, const char* lines, const char* nameToAssignToLines,
                        int32 lineGrouping) {
    if (int32 status = Daq().Enter("DAQmxCreateDIChan")) return status;
    return Daq().AddChannel(taskHandle, sim::DaqChannelKind::DigitalInput, Text(lines), Text(nameToAssignToLines),
                            lineGrouping == DAQmx_Val_ChanPerLine);
}

int32 DAQmxCreateDOChan(TaskHandle taskHandle, const char* lines, const char* nameToAssignToLines,
                        int32 lineGrouping) {
    if (int32 status = Daq().Enter("DAQmxCreateDOChan")) return status;
    return Daq().AddChannel(taskHandle, sim::DaqChannelKind::DigitalOutput, Text(lines), Text(nameToAssignToLines),
                            lineGrouping == DAQmx_Val_ChanPerLine);
}

int32 DAQmxGetDONumLines(TaskHandle taskHandle, const char* channel, uInt32* data) {
    if (int32 status = Daq().Enter("DAQmxGetDONumLines")) return status;
    if (!data) return DAQmxErrorBufferTooSmall;
    return Daq().ChannelLineCount(taskHandle, Text(channel), data);
}

int32 DAQmxReadRaw(TaskHandle taskHandle, int32 numSampsPerChan, float64, void* readArray, uInt32 arraySizeInBytes,
                   int32* sampsRead, int32* numBytesPerSamp, bool32*) {
    if (int32 status = Daq().Enter("DAQmxReadRaw")) return status;
    if (numSampsPerChan != 1 || !readArray || arraySizeInBytes < 2) return DAQmxErrorBufferTooSmall;
    uint16_t bits = 0;
    if (int32 status = Daq().ReadLines(taskHandle, &bits)) return status;
    std::memcpy(readArray, &bits, 2);
    if (sampsRead) *sampsRead = 1;
    if (numBytesPerSamp) *numBytesPerSamp = 2;
    return DAQmxSuccess;
}

int32 DAQmxWriteRaw(TaskHandle taskHandle, int32 numSamps, bool32, float64, const void* writeArray,
                    int32* sampsPerChanWritten, bool32*) {
    if (int32 status = Daq().Enter("DAQmxWriteRaw")) return status;
    if (numSamps != 1 || !writeArray) return DAQmxErrorBufferTooSmall;
    if (int32 status = Daq().WriteLines(taskHandle, *static_cast<const uInt8*>(writeArray))) return status;
    if (sampsPerChanWritten) *sampsPerChanWritten = 1;
    return DAQmxSuccess;
}

int32 DAQmxReadDigitalU8(TaskHandle taskHandle, int32 numSampsPerChan, float64, bool32, uInt8 readArray[],
                         uInt32 arraySizeInSamps, int32* sampsPerChanRead, bool32*) {
    if (int32 status = Daq().Enter("DAQmxReadDigitalU8")) return status;
    if (numSampsPerChan != 1 || !readArray || arraySizeInSamps < 1) return DAQmxErrorBufferTooSmall;
    if (int32 status = Daq().ReadOutputLatch(taskHandle, &readArray[0])) return status;
    if (sampsPerChanRead) *sampsPerChanRead = 1;
    return DAQmxSuccess;
}

int32 DAQmxWriteDigitalU8(TaskHandle taskHandle, int32 numSampsPerChan, bool32, float64, bool32,
                          const uInt8 writeArray[], int32* sampsPerChanWritten, bool32*) {
    if (int32 status = Daq().Enter("DAQmxWriteDigitalU8")) return status;
    if (numSampsPerChan != 1 || !writeArray) return DAQmxErrorBufferTooSmall;
    if (int32 status = Daq().WriteLines(taskHandle, writeArray[0])) return status;
    if (sampsPerChanWritten) *sampsPerChanWritten = 1;
    return DAQmxSuccess;
}

int32 DAQmxGetErrorString(int32 errorCode, char* errorString, uInt32 bufferSize) {
    if (!errorString || bufferSize == 0) return DAQmxErrorBufferTooSmall;
    const char* text = nullptr;
    switch (errorCode) {
        case DAQmxSuccess: text = ""; break;
        case DAQmxErrorDeviceNotFound: text = "Device identifier is invalid or the device is not present."; break;
        case DAQmxErrorInvalidTask: text = "Task specified is invalid or does not exist."; break;
        case DAQmxErrorPhysicalChanDoesNotExist: text = "Physical channel specified does not exist on this device."; break;
        case DAQmxErrorInvalidAttribute: text = "Requested attribute is not valid for this device."; break;
        case DAQmxErrorBufferTooSmall: text = "Buffer is too small for the requested data."; break;
        case DAQmxErrorTimeout: text = "Wait until done did not indicate that the task was done within the timeout."; break;
        case DAQmxErrorWrongChannelType: text = "The task has no channel of the type this operation needs."; break;
        default: break;
    }
    char unknown[64];
    if (!text) {
        std::snprintf(unknown, sizeof unknown, "Error %d occurred.", static_cast<int>(errorCode));
        text = unknown;
    }
    std::snprintf(errorString, bufferSize, "%s", text);
    return DAQmxSuccess;
}
