#pragma once

// The experiment settings copy that belongs to an image folder.

#include "support/String.h"

// The folder's "ExperimentSettings.ini" when it exists, else the parent
// folder's (the path keeps the "<folder>/../ExperimentSettings.ini" form),
// else the empty text. The folder may be written with '\' or '/'.
Tovanix::String FindExperimentSettingsIni(Tovanix::String directory);
