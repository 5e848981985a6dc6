#include "app/ExperimentSettingsIni.h"

#include <string>

#include "platform/Files.h"

Tovanix::String FindExperimentSettingsIni(Tovanix::String directory) {
    const std::string folder = platform::NativePath(directory.c_str());
    for (const char* name : {"ExperimentSettings.ini", "../ExperimentSettings.ini"}) {
        const std::string candidate = platform::JoinPath(folder, name);
        if (platform::FileExists(candidate)) {
            return Tovanix::String(candidate.c_str());
        }
    }
    return Tovanix::String();
}
