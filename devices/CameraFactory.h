#pragma once

#include "devices/Camera.h"

// The camera object for the [ExperimentSettings] CameraType value: exactly
// "Pixelink" (letter case counts) makes a PixeLINK camera, anything else,
// an empty or missing value included, a Basler camera. Nothing is opened.
Camera* CreateCameraForType(const char* cameraType);
