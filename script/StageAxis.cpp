#include "script/StageAxis.h"

#include <cstring>

#include "devices/Zaber.h"

int32_t ScriptStageAxis(const Tovanix::String& name)
{
    if (std::strcmp(name.c_str(), "X") == 0)
        return Zaber::kXAxis;
    if (std::strcmp(name.c_str(), "Z") == 0)
        return Zaber::kFocusAxis;
    return -1;
}

bool InitializeStageForCommand(const char* command, CString& error)
{
    CString initError;
    if (Zaber::Initialize(&initError))
        return true;
    // The driver stays silent when the stage was meant to be there but was
    // not found; the script still learns what failed.
    if (initError.IsEmpty())
        error.Format("%s() Zaber is not initialized.", command);
    else
        error = initError;
    return false;
}
