#pragma once

// Installs the main window's commands that open the settings windows:
// Experiment Settings (32788), Profile Encryption (32858), and Start
// Experiment Workflow (32799), which asks for the experiment's name and
// cartridge and starts the workflow once the experiment is created.

#include "app/ExperimentNaming.h"

class CommandRouter;
class QWidget;

void InstallSettingsWindows(CommandRouter& commands, QWidget* parent, ExperimentCreator createExperiment);
