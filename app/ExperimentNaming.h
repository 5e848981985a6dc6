#pragma once

// The cartridge choice and the experiment name that the engineer gives before
// a live view or a timed experiment, without their windows: the four
// cartridge choices with their type codes, the checks of a typed experiment
// name, and what accepting it does.

#include <functional>
#include <string>

#include "platform/CString.h"

constexpr int kCartridgeChoiceCount = 4;
// Names are cut to this many characters.
constexpr size_t kMaxExperimentNameLength = 32;

// The type code of a choice (0..3); any other index gives the first code.
const char* CartridgeTypeCodeOfChoice(int index);
// The choice whose type code starts with the code's first three characters;
// 0 for a code of three characters or fewer, or one that matches none.
int CartridgeChoiceOfCode(const char* code);
// A radio's label: the type code's first three digits and the cartridge's
// label in parentheses. The experiment-name window labels the fourth
// cartridge differently from the cartridge choice window.
std::string CartridgeChoiceLabel(int index, bool experimentNameWindow);

// Stores the chosen type code as the application's cartridge and writes its
// channel offsets into the main settings file; false with the catalogue's
// message when the code matches no cartridge type.
bool ApplyCartridgeChoice(int index, CString& error);

// What a press of OK does with the typed name.
enum class ExperimentNameCheck {
    CharactersReplaced,  // characters a file name may not hold became '_'
    Truncated,           // cut to its first 32 characters
    Accepted,            // 0 to 32 allowed characters
};
// Checks the name and corrects it in place; the message for the user is set
// for a correction ("Invalid characters removed from file name." or
// "Experiment name truncated at 32 characters."). Every character is
// examined, however long the name.
ExperimentNameCheck CheckExperimentName(std::string& name, std::string& message);

// Makes the experiment folder of a name (the imaging layer installs the
// real one at start-up).
using ExperimentCreator = std::function<bool(const std::string& name, CString& error)>;

// Starts a named experiment with the chosen cartridge: the flow split goes
// back to its middle, the cartridge choice is applied to the main settings
// file, then the experiment is created. True when the experiment was
// created; a cartridge code that matches no type only fills `cartridgeError`
// (the offsets stay as they were) and the experiment is created all the same.
bool AcceptExperimentName(const std::string& name, int cartridgeIndex, const ExperimentCreator& create,
                          CString& cartridgeError, CString& createError);
