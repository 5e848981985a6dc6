#include "devices/CameraFactory.h"

#include <cstring>

#include "devices/Pixelink_Camera.h"
#include "devices/Pylon_Camera.h"

Camera* CreateCameraForType(const char* cameraType) {
    if (cameraType && std::strcmp(cameraType, "Pixelink") == 0) return new Pixelink_Camera();
    return new Pylon_Camera();
}
