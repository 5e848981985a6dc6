// The PixeLINK-make camera library, served by the virtual camera.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/vendor/PxLApi.h"
#include "sim/VirtualCamera.h"

namespace {

sim::VirtualCamera& Camera() { return sim::VirtualCamera::Instance(); }

// The one handle the library hands out while the camera is initialised.
int g_handleTag = 0;
HANDLE const kHandle = &g_handleTag;
bool g_initialised = false;

bool TakeFault(int& count) {
    if (count == 0) return false;
    if (count > 0) --count;
    return true;
}

void CopyText(char* to, size_t size, const std::string& text) {
    std::memset(to, 0, size);
    std::memcpy(to, text.data(), std::min(size - 1, text.size()));
}

U32 ParameterCount(U32 featureId) {
    switch (featureId) {
        case FEATURE_SHUTTER:
        case FEATURE_GAIN:
        case FEATURE_SENSOR_TEMPERATURE:
        case FEATURE_PIXEL_FORMAT:
            return 1;
        case FEATURE_TRIGGER:
            return 5;
        case FEATURE_ROI:
        case FEATURE_PIXEL_ADDRESSING:
            return 4;
        default:
            return 0;
    }
}

int BitsOfFormat(U32 code) { return code == PIXEL_FORMAT_MONO8 ? 8 : code == PIXEL_FORMAT_MONO16 ? 16 : 12; }

// Bytes a frame of the format takes; 0 for formats the camera cannot deliver.
size_t FrameBytes(U32 code, size_t pixels) {
    switch (code) {
        case PIXEL_FORMAT_MONO8: return pixels;
        case PIXEL_FORMAT_MONO16: return pixels * 2;
        case PIXEL_FORMAT_MONO12_PACKED: return pixels * 3 / 2;  // an odd last pixel keeps its high byte only
        default: return 0;
    }
}

}  // namespace

PXL_RETURN_CODE PxLInitialize(U32 serialNumber, HANDLE* hCamera) {
    if (!hCamera) return ApiInvalidParameterError;
    {
        auto lock = Camera().Lock();
        auto& state = Camera().State();
        ++state.counters.initializations;
        if (TakeFault(state.faults.failedInitializations)) return ApiNoCameraError;
        if (serialNumber != 0 && std::to_string(serialNumber) != state.identity.serialNumber) {
            return ApiNoCameraError;
        }
    }
    if (!Camera().IsPresent(sim::CameraMake::Pixelink)) return ApiNoCameraError;
    auto lock = Camera().Lock();
    auto& state = Camera().State();
    if (state.open) return ApiUnknownError;  // in use by another handle
    state.open = true;
    ++state.counters.opens;
    g_initialised = true;
    *hCamera = kHandle;
    return ApiSuccess;
}

PXL_RETURN_CODE PxLUninitialize(HANDLE hCamera) {
    auto lock = Camera().Lock();
    if (hCamera != kHandle || !g_initialised) return ApiInvalidHandleError;
    auto& state = Camera().State();
    state.open = false;
    state.streaming = false;
    ++state.counters.closes;
    g_initialised = false;
    return ApiSuccess;
}

PXL_RETURN_CODE PxLGetCameraInfo(HANDLE hCamera, CAMERA_INFO* info) {
    auto lock = Camera().Lock();
    if (hCamera != kHandle || !g_initialised) return ApiInvalidHandleError;
    if (!info) return ApiInvalidParameterError;
    const auto& id = Camera().State().identity;
    CopyText(info->VendorName, sizeof info->VendorName, "PixeLINK");
    CopyText(info->ModelName, sizeof info->ModelName, id.pixelinkName);
    CopyText(info->Description, sizeof info->Description, id.pixelinkName);
    CopyText(info->SerialNumber, sizeof info->SerialNumber, id.serialNumber);
    CopyText(info->FirmwareVersion, sizeof info->FirmwareVersion, "1.0.0");
    CopyText(info->CameraName, sizeof info->CameraName, id.pixelinkName);
    return ApiSuccess;
}

PXL_RETURN_CODE PxLGetFeature(HANDLE hCamera, U32 featureId, U32* flags, U32* numberParams, float* params) {
    // A camera unplugged (or switched off with the instrument) after it was opened answers no more.
    if (!Camera().IsPresent(sim::CameraMake::Pixelink)) return ApiNoCameraError;
    auto lock = Camera().Lock();
    if (hCamera != kHandle || !g_initialised) return ApiInvalidHandleError;
    const U32 count = ParameterCount(featureId);
    if (count == 0 || !flags || !numberParams || !params || *numberParams < count) return ApiInvalidParameterError;
    const auto& state = Camera().State();
    const auto& p = state.parameters;
    switch (featureId) {
        case FEATURE_SHUTTER: params[0] = static_cast<float>(p.exposureUs / 1e6); break;
        case FEATURE_GAIN: params[0] = static_cast<float>(p.gain); break;
        case FEATURE_SENSOR_TEMPERATURE: params[0] = static_cast<float>(state.identity.temperatureC); break;
        case FEATURE_PIXEL_FORMAT: params[0] = static_cast<float>(p.pixelinkFormat); break;
        case FEATURE_TRIGGER: std::copy(p.trigger, p.trigger + 5, params); break;
        case FEATURE_ROI:
            params[0] = static_cast<float>(p.left);
            params[1] = static_cast<float>(p.top);
            params[2] = static_cast<float>(p.width);
            params[3] = static_cast<float>(p.height);
            break;
        case FEATURE_PIXEL_ADDRESSING:
            params[0] = 0;
            params[1] = 0;
            params[2] = static_cast<float>(p.decimation);
            params[3] = static_cast<float>(p.decimation);
            break;
    }
    *flags = FEATURE_FLAG_MANUAL;
    *numberParams = count;
    return ApiSuccess;
}

PXL_RETURN_CODE PxLSetFeature(HANDLE hCamera, U32 featureId, U32, U32 numberParams, const float* params) {
    if (!Camera().IsPresent(sim::CameraMake::Pixelink)) return ApiNoCameraError;
    auto lock = Camera().Lock();
    if (hCamera != kHandle || !g_initialised) return ApiInvalidHandleError;
    const U32 count = ParameterCount(featureId);
    if (count == 0 || numberParams < count || !params) return ApiInvalidParameterError;
    auto& state = Camera().State();
    auto& p = state.parameters;
    switch (featureId) {
        case FEATURE_SHUTTER:
            if (!(params[0] > 0 && params[0] <= 10.0f)) return ApiInvalidParameterError;
            p.exposureUs = static_cast<double>(params[0]) * 1e6;
            break;
        case FEATURE_GAIN:
            if (!(params[0] >= 0 && params[0] <= 24.0f)) return ApiInvalidParameterError;
            p.gain = params[0];
            break;
        case FEATURE_SENSOR_TEMPERATURE:
            return ApiInvalidParameterError;  // read only
        case FEATURE_PIXEL_FORMAT: {
            const U32 code = static_cast<U32>(params[0]);
            if (FrameBytes(code, 1) == 0) return ApiInvalidParameterError;
            p.pixelinkFormat = code;
            p.pixelBits = BitsOfFormat(code);
            break;
        }
        case FEATURE_TRIGGER:
            std::copy(params, params + 5, p.trigger);
            break;
        case FEATURE_ROI: {
            const int left = static_cast<int>(params[0]), top = static_cast<int>(params[1]);
            const int width = static_cast<int>(params[2]), height = static_cast<int>(params[3]);
            if (left < 0 || top < 0 || width < 16 || height < 16 || left + width > state.identity.sensorWidth ||
                top + height > state.identity.sensorHeight) {
                return ApiInvalidParameterError;
            }
            if (state.streaming) return ApiUnknownError;  // the region cannot change while streaming
            p.left = left;
            p.top = top;
            p.width = width;
            p.height = height;
            break;
        }
        case FEATURE_PIXEL_ADDRESSING: {
            const int value = static_cast<int>(params[2]);
            if (value != 1 && value != 2 && value != 4) return ApiInvalidParameterError;
            p.decimation = value;
            break;
        }
    }
    ++state.counters.parameterWrites;
    return ApiSuccess;
}

PXL_RETURN_CODE PxLSetStreamState(HANDLE hCamera, U32 streamState) {
    auto lock = Camera().Lock();
    if (hCamera != kHandle || !g_initialised) return ApiInvalidHandleError;
    auto& state = Camera().State();
    if (streamState == START_STREAM) {
        state.streaming = true;
        ++state.counters.streamStarts;
    } else if (streamState == STOP_STREAM) {
        state.streaming = false;
        ++state.counters.streamStops;
    } else {
        return ApiInvalidParameterError;
    }
    return ApiSuccess;
}

PXL_RETURN_CODE PxLGetNextFrame(HANDLE hCamera, U32 bufferSize, void* frameBuffer, FRAME_DESC* frameDesc) {
    U32 format = 0;
    {
        auto lock = Camera().Lock();
        if (hCamera != kHandle || !g_initialised) return ApiInvalidHandleError;
        auto& state = Camera().State();
        ++state.counters.frameFetches;
        if (!frameBuffer || !frameDesc || frameDesc->uSize != sizeof(FRAME_DESC)) return ApiInvalidParameterError;
        if (!state.streaming) return ApiNoStreamError;
        if (TakeFault(state.faults.failedFrameFetches)) return ApiCameraTimeoutError;
        format = state.parameters.pixelinkFormat;
    }
    std::vector<uint16_t> samples;
    int width = 0, height = 0, bits = 0;
    Camera().RenderFrame(&samples, &width, &height, &bits);
    const size_t needed = FrameBytes(format, samples.size());
    if (needed == 0) return ApiInvalidParameterError;
    if (bufferSize < needed) return ApiBufferTooSmall;

    auto* out = static_cast<uint8_t*>(frameBuffer);
    if (format == PIXEL_FORMAT_MONO8) {
        for (size_t i = 0; i < samples.size(); ++i) out[i] = static_cast<uint8_t>(samples[i]);
    } else if (format == PIXEL_FORMAT_MONO16) {
        for (size_t i = 0; i < samples.size(); ++i) {
            out[2 * i] = static_cast<uint8_t>(samples[i] >> 8);
            out[2 * i + 1] = static_cast<uint8_t>(samples[i] & 0xFF);
        }
    } else {
        for (size_t i = 0; i < samples.size(); i += 2) {
            const uint16_t p0 = samples[i];
            const uint16_t p1 = i + 1 < samples.size() ? samples[i + 1] : 0;
            uint8_t* at = out + i / 2 * 3;
            at[0] = static_cast<uint8_t>(p0 >> 4);
            if (i + 1 < samples.size()) {
                at[1] = static_cast<uint8_t>((p0 & 0x0F) | ((p1 & 0x0F) << 4));
                at[2] = static_cast<uint8_t>(p1 >> 4);
            }
        }
    }
    auto lock = Camera().Lock();
    auto& state = Camera().State();
    ++state.counters.grabs;
    frameDesc->uFrameNumber = static_cast<U32>(state.counters.grabs);
    frameDesc->fFrameTime = 0;
    frameDesc->uPixelFormat = format;
    frameDesc->uWidth = static_cast<U32>(width);
    frameDesc->uHeight = static_cast<U32>(height);
    return ApiSuccess;
}
