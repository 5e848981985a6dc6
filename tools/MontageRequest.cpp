#include "tools/MontageRequest.h"

#include "platform/Files.h"
#include "support/String.h"

std::string CheckMontageRequest(const std::string& directory, const std::string& name) {
    if (directory.empty()) return "Please select the experiment directory.";
    // The folder's text with the file name appended, as typed; found in any letter case.
    if (platform::FindFileIgnoringCase(directory + "\\experimentsettings.ini").empty())
        return "The selected directory is not a valid experiment directory.";
    if (name.empty()) return "Please define the montage image filename.";
    if (name.size() <= 256) {
        for (size_t i = 0; i < name.size(); ++i) {
            const char ch[2] = {name[i], '\0'};
            if (!Tovanix::IsValidFileNameChar(ch)) return "Invalid experiment name. Must be valid Windows file name.";
        }
    }
    return std::string();
}

std::string MontageOutcomeMessage(bool made, const std::string& directory, const std::string& name) {
    if (!made) return "Error in Creating Montage.";
    return "Montage image is created successfully and it is saved as " + name + ".png" + " in " + directory +
           " directory.";
}

std::string g_MontageExperimentDirectory;
