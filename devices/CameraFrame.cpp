#include "devices/CameraFrame.h"

void ApplyFrameFlips(cv::Mat& frame, bool flipVertical, bool flipHorizontal) {
    if (frame.empty()) return;
    if (flipVertical) cv::flip(frame, frame, 0);
    if (flipHorizontal) cv::flip(frame, frame, 1);
}
