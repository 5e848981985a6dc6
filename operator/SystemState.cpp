#include "operator/SystemState.h"

#include <cstdio>

#include "devices/DigitalIO.h"
#include "devices/TecanCentris.h"

namespace {

std::string DoubleText(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%lf", value);
    return text;
}

void RefreshPorts(SystemStateFields& fields)
{
    CString error;
    unsigned char value = 0;
    if (!Initialize_DIO(&error, false) || !read_port0(&value, &error))
        return;
    fields.port0 = value;
    if (!Initialize_DIO(&error, false) || !read_port1(&value, &error))
        return;
    fields.port1 = value;
}

void RefreshPumps(SystemStateFields& fields, int port)
{
    Tovanix::String error;
    if (fields.configuredVolume[0].empty()) {
        for (int pump = 1; pump <= 2; ++pump) {
            int32_t volume = 0;
            if (TecanCentris::QueryLong(port, pump, "?17", &volume, &error))
                fields.configuredVolume[pump - 1] = std::to_string(volume);
        }
    }
    double value = 0;
    for (int pump = 1; pump <= 2; ++pump) {
        if (!TecanCentris::QueryDouble(port, pump, "?18", &value, &error))
            return;
        fields.displacement[pump - 1] = DoubleText(value);
    }
    for (int pump = 1; pump <= 2; ++pump) {
        if (!TecanCentris::QueryDouble(port, pump, "?37", &value, &error))
            return;
        fields.rate[pump - 1] = DoubleText(value * 60);
    }
    for (int pump = 1; pump <= 2; ++pump) {
        Tovanix::String reply;
        if (!TecanCentris::SendCommand(port, pump, "?20", 200, &reply, &error))
            return;
        fields.valve[pump - 1] = reply.c_str();
    }
}

}  // namespace

void RefreshSystemState(SystemStateFields& fields, int pumpComPort)
{
    RefreshPorts(fields);
    if (pumpComPort != 0)
        RefreshPumps(fields, pumpComPort);
}
