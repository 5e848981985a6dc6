#include "app/ExperimentNaming.h"

#include <cstring>

#include "app/CartridgeTypes.h"
#include "app/ExperimentSettingsForm.h"
#include "app/VelloraApp.h"
#include "support/String.h"

namespace {

const char* const kCartridgeLabels[kCartridgeChoiceCount] = {"K4.1", "K4.1-IR", "K4.3", "K4.3-IR"};
const char* const kExperimentNameWindowLabels[kCartridgeChoiceCount] = {"K4.1", "K4.1-IR", "K4.3", "K4.6-IR"};

}  // namespace

const char* CartridgeTypeCodeOfChoice(int index) {
    return index >= 1 && index < kCartridgeChoiceCount ? kCartridgeTypeCodes[index] : kCartridgeTypeCodes[0];
}

int CartridgeChoiceOfCode(const char* code) {
    if (code == nullptr || std::strlen(code) <= 3) return 0;
    for (int index = 0; index < kCartridgeChoiceCount; ++index) {
        if (std::strncmp(code, kCartridgeTypeCodes[index], 3) == 0) return index;
    }
    return 0;
}

std::string CartridgeChoiceLabel(int index, bool experimentNameWindow) {
    if (index < 0 || index >= kCartridgeChoiceCount) index = 0;
    const char* label = experimentNameWindow ? kExperimentNameWindowLabels[index] : kCartridgeLabels[index];
    return std::string(kCartridgeTypeCodes[index], 3) + " (" + label + ")";
}

bool ApplyCartridgeChoice(int index, CString& error) {
    const char* code = CartridgeTypeCodeOfChoice(index);
    theApp.m_strCartridgeTypeCode = code;
    return ImposeCartridgeTypeOffsets(theApp.m_strIniPath, code, error);
}

ExperimentNameCheck CheckExperimentName(std::string& name, std::string& message) {
    const std::string cleaned = CleanFileName(name);
    if (Tovanix::String::CompareNoCase(cleaned.c_str(), name.c_str()) != 0) {
        name = cleaned;
        message = "Invalid characters removed from file name.";
        return ExperimentNameCheck::CharactersReplaced;
    }
    if (name.size() > kMaxExperimentNameLength) {
        name.resize(kMaxExperimentNameLength);
        message = "Experiment name truncated at 32 characters.";
        return ExperimentNameCheck::Truncated;
    }
    message.clear();
    return ExperimentNameCheck::Accepted;
}

bool AcceptExperimentName(const std::string& name, int cartridgeIndex, const ExperimentCreator& create,
                          CString& cartridgeError, CString& createError) {
    ApplyCartridgeChoice(cartridgeIndex, cartridgeError);
    if (!create) {
        createError = "AcceptExperimentName() : experiments cannot be created yet.";
        return false;
    }
    return create(name, createError);
}
