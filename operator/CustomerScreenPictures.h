#pragma once

// The pictures of the customer run screen that the installation supplies:
// the logo "LogoDarkBackground_sm.png" in the program's own folder, and in
// its CustomerUI folder the prompt pictures ("PromptInsertFlowcell.png",
// "PipetteSample.png", "PipetteSample_1.png", "SampleEqulibrating_1.png")
// and the arrow images. They are built into the program, so a fresh machine
// gets them at the first start.

#include <cstddef>
#include <string>

#include "app/SuppliedFiles.h"

extern const SuppliedFile kCustomerScreenPictures[];
extern const size_t kCustomerScreenPicturesCount;

// Writes every picture that is missing (letter case aside) into its folder,
// creating the folders; pictures that are there stay as they are. False
// when one could not be written; `error` then names each such file, one per
// line, and the others are still written.
bool InstallCustomerScreenPictures(const std::string& programFolder, const std::string& customerFolder,
                                   std::string* error);
