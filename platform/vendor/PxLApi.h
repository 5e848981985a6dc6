#pragma once

// Camera library of the PixeLINK make: the functions, feature ids, result codes
// and records the PixeLINK camera driver uses. On this platform the calls are
// served by the virtual instrument's camera (sim/VirtualPixelink.cpp).
//
// Packed 12-bit mono (pixel format 13): two pixels in three bytes,
//   byte 0 = pixel 0 bits 11..4, byte 1 = pixel 0 bits 3..0 in its low nibble
//   and pixel 1 bits 3..0 in its high nibble, byte 2 = pixel 1 bits 11..4.
// 16-bit mono (pixel format 1) is big-endian: the high byte comes first.

#include <cstdint>

using U32 = uint32_t;
using PXL_RETURN_CODE = int32_t;
using HANDLE = void*;

inline bool API_SUCCESS(PXL_RETURN_CODE rc) { return rc >= 0; }

// Result codes (failures are negative).
constexpr PXL_RETURN_CODE ApiSuccess = 0;
constexpr PXL_RETURN_CODE ApiUnknownError = static_cast<PXL_RETURN_CODE>(0x80000001u);
constexpr PXL_RETURN_CODE ApiInvalidHandleError = static_cast<PXL_RETURN_CODE>(0x80000002u);
constexpr PXL_RETURN_CODE ApiInvalidParameterError = static_cast<PXL_RETURN_CODE>(0x80000003u);
constexpr PXL_RETURN_CODE ApiBufferTooSmall = static_cast<PXL_RETURN_CODE>(0x80000004u);
constexpr PXL_RETURN_CODE ApiNoCameraError = static_cast<PXL_RETURN_CODE>(0x80000010u);
constexpr PXL_RETURN_CODE ApiStreamStopped = static_cast<PXL_RETURN_CODE>(0x80000020u);
constexpr PXL_RETURN_CODE ApiNoStreamError = static_cast<PXL_RETURN_CODE>(0x80000021u);
constexpr PXL_RETURN_CODE ApiCameraTimeoutError = static_cast<PXL_RETURN_CODE>(0x80000022u);

// Feature ids.
constexpr U32 FEATURE_SHUTTER = 7;
constexpr U32 FEATURE_GAIN = 8;
constexpr U32 FEATURE_SENSOR_TEMPERATURE = 11;
constexpr U32 FEATURE_TRIGGER = 12;
constexpr U32 FEATURE_ROI = 19;
constexpr U32 FEATURE_PIXEL_ADDRESSING = 21;
constexpr U32 FEATURE_PIXEL_FORMAT = 22;

// Feature flags.
constexpr U32 FEATURE_FLAG_MANUAL = 2;

// Pixel format codes.
constexpr U32 PIXEL_FORMAT_MONO8 = 0;
constexpr U32 PIXEL_FORMAT_MONO16 = 1;
constexpr U32 PIXEL_FORMAT_MONO12_PACKED = 13;

// Stream states.
constexpr U32 START_STREAM = 0;
constexpr U32 STOP_STREAM = 2;

struct CAMERA_INFO {
    char VendorName[33];
    char ModelName[33];
    char Description[256];
    char SerialNumber[33];
    char FirmwareVersion[12];
    char CameraName[256];
};

// Frame descriptor; the caller sets uSize to the record's size before a fetch.
struct FRAME_DESC {
    U32 uSize;
    float fFrameTime;
    U32 uFrameNumber;
    U32 uPixelFormat;
    U32 uWidth;
    U32 uHeight;
    char reserved[600];
};
static_assert(sizeof(FRAME_DESC) == 624, "the frame descriptor is 624 bytes");

// serialNumber 0 opens the first camera found.
PXL_RETURN_CODE PxLInitialize(U32 serialNumber, HANDLE* hCamera);
PXL_RETURN_CODE PxLUninitialize(HANDLE hCamera);
PXL_RETURN_CODE PxLGetCameraInfo(HANDLE hCamera, CAMERA_INFO* info);
// numberParams: in, the room in `params`; out, the feature's parameter count.
PXL_RETURN_CODE PxLGetFeature(HANDLE hCamera, U32 featureId, U32* flags, U32* numberParams, float* params);
PXL_RETURN_CODE PxLSetFeature(HANDLE hCamera, U32 featureId, U32 flags, U32 numberParams, const float* params);
PXL_RETURN_CODE PxLSetStreamState(HANDLE hCamera, U32 streamState);
PXL_RETURN_CODE PxLGetNextFrame(HANDLE hCamera, U32 bufferSize, void* frameBuffer, FRAME_DESC* frameDesc);
