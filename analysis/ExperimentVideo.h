#pragma once

// The video of a recorded experiment: a selection of the frames before the
// sample arrived, then every frame from the first flowing one to the end of
// the capture log, each composed from its bright-field and fluorescence images
// and marked with the flow split line; MP4 (MP4V) at 5 frames per second.
//
// Holds AnalysisEngineLock for the whole run. Leaves the split values of
// g_FlowGeometry and g_MontageDisplaySettings as the run set them.

#include <string>

// Writes folder/videoName.mp4. False with the failed step's text ("Create
// Video: " and the reason for an error inside), or the text the loaders left.
// `owner` and `unused` are not read.
bool CreateExperimentVideo(void* owner, std::string folder, int includeChannel1, int includeChannel2, int unused,
                           std::string videoName, std::string* error);
