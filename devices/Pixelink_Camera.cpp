#include "devices/Pixelink_Camera.h"

#include <cstring>
#include <new>

#include "devices/CameraFrame.h"
#include "platform/Clock.h"

namespace {

constexpr U32 kFrameDescSize = 624;

// Bytes per pixel of a pixel format code, in halves (packed 12-bit is 1.5).
int HalfBytesPerPixel(U32 code) {
    switch (code) {
        case 0: case 3: case 7: case 8: case 9: return 2;
        case 1: case 2: case 4: case 10: case 11: case 12: return 4;
        case 5: return 6;
        case 6: return 12;
        default: return code <= 17 ? 3 : 0;  // 13..17: 1.5 bytes; above: no buffer
    }
}

}  // namespace

Pixelink_Camera::Pixelink_Camera() = default;

Pixelink_Camera::~Pixelink_Camera() {
    const bool hadCamera = initialised;
    initialised = false;
    if (!hadCamera) return;
    // Stop the stream while the handle is still valid, then release the camera.
    CString ignored;
    StopStream(&ignored);
    PxLUninitialize(cameraHandle);
    cameraHandle = nullptr;
}

bool Pixelink_Camera::Initialize(CString* error, bool /*retry*/) {
    if (initialised) return true;
    PXL_RETURN_CODE rc = PxLInitialize(0, &cameraHandle);
    if (!API_SUCCESS(rc)) {
        ::Sleep(15000);
        rc = PxLInitialize(0, &cameraHandle);
        if (!API_SUCCESS(rc)) {
            error->Format("PxLInitialize   returned 0x%8.8X (%s)\n", static_cast<uint32_t>(rc), "Error");
            return false;
        }
    }
    initialised = true;

    CAMERA_INFO info;
    std::memset(&info, 0, sizeof info);
    if (!API_SUCCESS(PxLGetCameraInfo(cameraHandle, &info))) return true;
    info.CameraName[sizeof info.CameraName - 1] = '\0';
    info.SerialNumber[sizeof info.SerialNumber - 1] = '\0';
    modelName = info.CameraName;
    serialNumber = info.SerialNumber;

    CString ignored;
    int bits = 0;
    if (!GetPixelDepth(&bits, &ignored) || bits != 16) {
        SetPixelDepth(16, &ignored);
        GetPixelDepth(&bits, &ignored);
    }
    // Frames come turned by 180 degrees until start-up applies the configured flips.
    flipVertical = true;
    flipHorizontal = true;
    return true;
}

bool Pixelink_Camera::IsInitialized() { return initialised; }

bool Pixelink_Camera::GetModelName(CString* model, CString* error) {
    if (!initialised && !Initialize(error, false)) return false;
    *model = modelName;
    return true;
}

bool Pixelink_Camera::GetSerialNumber(CString* serial, CString* error) {
    if (!initialised && !Initialize(error, false)) return false;
    *serial = serialNumber;
    return true;
}

bool Pixelink_Camera::GetImageSize(int* width, int* height, CString* error) {
    if (!initialised && !Initialize(error, false)) return false;
    U32 flags = 0, count = 4;
    float params[4] = {0, 0, 0, 0};
    const PXL_RETURN_CODE rc = PxLGetFeature(cameraHandle, FEATURE_ROI, &flags, &count, params);
    if (!API_SUCCESS(rc)) {
        error->Format("PxLGetFeature returned 0x%8.8X (%s)\n", static_cast<uint32_t>(rc), "Error");
        return false;
    }
    *width = static_cast<int>(params[2]);
    *height = static_cast<int>(params[3]);
    return true;
}

bool Pixelink_Camera::SetImageSize(int width, int height, CString* error) {
    if (!initialised && !Initialize(error, false)) return false;
    if (streaming) StopStream(error);
    const float params[4] = {0, 0, static_cast<float>(width), static_cast<float>(height)};
    if (!API_SUCCESS(PxLSetFeature(cameraHandle, FEATURE_ROI, FEATURE_FLAG_MANUAL, 4, params))) {
        *error = "Error: Unable to set the ROI";
        return false;
    }
    return true;
}

bool Pixelink_Camera::StartStream(CString* error) {
    // Software trigger: mode 0, type 1, polarity 0, delay 0, parameter 0.
    const float trigger[5] = {0, 1, 0, 0, 0};
    if (!API_SUCCESS(PxLSetFeature(cameraHandle, FEATURE_TRIGGER, FEATURE_FLAG_MANUAL, 5, trigger))) return false;
    if (!API_SUCCESS(PxLSetStreamState(cameraHandle, START_STREAM))) {
        *error = "Can't start pixelink camera capture stream.";
        return false;
    }
    streaming = true;
    return true;
}

bool Pixelink_Camera::StopStream(CString* /*error*/) {
    PxLSetStreamState(cameraHandle, STOP_STREAM);
    streaming = false;
    ::Sleep(1000);
    return true;
}

bool Pixelink_Camera::GetFloatFeature(U32 feature, float* value) {
    U32 flags = 0, count = 1;
    float param = 0;
    if (!API_SUCCESS(PxLGetFeature(cameraHandle, feature, &flags, &count, &param))) return false;
    *value = param;
    return true;
}

bool Pixelink_Camera::SetFloatFeature(U32 feature, float value) {
    return API_SUCCESS(PxLSetFeature(cameraHandle, feature, FEATURE_FLAG_MANUAL, 1, &value));
}

bool Pixelink_Camera::GetPixelFormatCode(U32* code) {
    float value = 0;
    if (!GetFloatFeature(FEATURE_PIXEL_FORMAT, &value)) return false;
    *code = static_cast<U32>(value);
    return true;
}

bool Pixelink_Camera::SetPixelDepth(int bits, CString* /*error*/) {
    U32 code = 0;
    switch (bits) {
        case 8: code = PIXEL_FORMAT_MONO8; break;
        case 12: code = PIXEL_FORMAT_MONO12_PACKED; break;
        case 16: code = PIXEL_FORMAT_MONO16; break;
        default: return false;
    }
    return SetFloatFeature(FEATURE_PIXEL_FORMAT, static_cast<float>(code));
}

bool Pixelink_Camera::GetPixelDepth(int* bits, CString* /*error*/) {
    U32 code = 0;
    if (!GetPixelFormatCode(&code)) return false;
    *bits = code == PIXEL_FORMAT_MONO8 ? 8 : code == PIXEL_FORMAT_MONO16 ? 16 : 12;
    return true;
}

bool Pixelink_Camera::GetGain(float* gain, CString* error) {
    if (!initialised && !Initialize(error, false)) return false;
    return GetFloatFeature(FEATURE_GAIN, gain);
}

bool Pixelink_Camera::SetGain(float gain, CString* error) {
    if (!initialised && !Initialize(error, false)) return false;
    return SetFloatFeature(FEATURE_GAIN, gain);
}

bool Pixelink_Camera::GetExposureTime(float* exposure, CString* error) {
    if (!initialised && !Initialize(error, false)) return false;
    float seconds = 0;
    if (!GetFloatFeature(FEATURE_SHUTTER, &seconds)) return false;
    *exposure = seconds * 1000000.0f;
    return true;
}

bool Pixelink_Camera::SetExposureTime(float exposure, CString* error) {
    if (!initialised && !Initialize(error, false)) return false;
    return SetFloatFeature(FEATURE_SHUTTER, static_cast<float>(static_cast<double>(exposure) / 1000000.0));
}

bool Pixelink_Camera::GetDigitalOutput(int /*channel*/, bool* state, CString* /*error*/) {
    *state = true;
    return true;
}

bool Pixelink_Camera::SetDigitalOutput(int /*channel*/, bool /*state*/, CString* /*error*/) { return true; }

void Pixelink_Camera::SetFlipHorizontal(bool on) { flipHorizontal = on; }

void Pixelink_Camera::SetFlipVertical(bool on) { flipVertical = on; }

bool Pixelink_Camera::GetTemperature(double* degrees, CString* error) {
    if (!initialised && !Initialize(error, false)) return false;
    float value = 0;
    if (!GetFloatFeature(FEATURE_SENSOR_TEMPERATURE, &value)) {
        *error = "Error: Unable to get the camera sensor temperature";
        return false;
    }
    *degrees = value;
    return true;
}

size_t Pixelink_Camera::FrameBufferSize() {
    U32 flags = 0, count = 4;
    float roi[4] = {0, 0, 0, 0};
    long width = 0, height = 0, decimation = 0;
    if (API_SUCCESS(PxLGetFeature(cameraHandle, FEATURE_ROI, &flags, &count, roi))) {
        width = static_cast<long>(roi[2]);
        height = static_cast<long>(roi[3]);
    }
    count = 4;
    float addressing[4] = {0, 0, 0, 0};
    if (API_SUCCESS(PxLGetFeature(cameraHandle, FEATURE_PIXEL_ADDRESSING, &flags, &count, addressing))) {
        decimation = static_cast<long>(addressing[2]);
    }
    U32 code = 0;
    const int halfBytes = GetPixelFormatCode(&code) ? HalfBytesPerPixel(code) : 0;
    // An unknown decimation gives no buffer rather than a division by zero.
    if (decimation <= 0 || width <= 0 || height <= 0) return 0;
    if (((width | height) & -decimation) != (width | height)) return 0;
    const size_t pixels = static_cast<size_t>(width / decimation) * static_cast<size_t>(height / decimation);
    return pixels * static_cast<size_t>(halfBytes) / 2;
}

bool Pixelink_Camera::NextFrame(std::vector<uint8_t>& buffer) {
    bool startedHere = false;
    if (!streaming) {
        CString ignored;
        if (!StartStream(&ignored)) return false;
        startedHere = true;
    }
    FRAME_DESC desc;
    std::memset(&desc, 0, sizeof desc);
    desc.uSize = kFrameDescSize;
    const U32 size = static_cast<U32>(buffer.size());
    PXL_RETURN_CODE rc = PxLGetNextFrame(cameraHandle, size, buffer.data(), &desc);
    for (int restart = 0; !API_SUCCESS(rc) && restart < 3; ++restart) {
        PxLSetStreamState(cameraHandle, STOP_STREAM);
        ::Sleep(200);
        PxLSetStreamState(cameraHandle, START_STREAM);
        ::Sleep(200);
        desc.uSize = kFrameDescSize;
        rc = PxLGetNextFrame(cameraHandle, size, buffer.data(), &desc);
    }
    if (startedHere) {
        CString ignored;
        StopStream(&ignored);
    }
    return API_SUCCESS(rc);
}

bool Pixelink_Camera::CaptureSingleFrame(cv::Mat* frame, CString* error) {
    if (!initialised && !Initialize(error, false)) return false;
    const size_t bufferSize = FrameBufferSize();
    if (bufferSize == 0) return false;
    std::lock_guard<std::mutex> lock(frameLock);
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(bufferSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    try {
        if (!streaming) {
            CString ignored;
            StartStream(&ignored);
        }
        if (!NextFrame(buffer)) return false;

        int width = 0, height = 0;
        U32 code = 0;
        CString ignored;
        if (!GetImageSize(&width, &height, &ignored) || !GetPixelFormatCode(&code)) return false;
        // With decimation the delivered image is smaller than the region.
        U32 flags = 0, count = 4;
        float addressing[4] = {0, 0, 1, 1};
        if (API_SUCCESS(PxLGetFeature(cameraHandle, FEATURE_PIXEL_ADDRESSING, &flags, &count, addressing)) &&
            addressing[2] >= 1) {
            width /= static_cast<int>(addressing[2]);
            height /= static_cast<int>(addressing[2]);
        }
        if (width <= 0 || height <= 0) return false;
        const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
        // The region may have changed since the buffer was sized: never read past it.
        const int halfBytes = HalfBytesPerPixel(code);
        if (pixels * static_cast<size_t>(halfBytes) / 2 > buffer.size()) return false;

        const uint8_t* in = buffer.data();
        cv::Mat converted(height, width, CV_16UC1);
        uint16_t* out = converted.ptr<uint16_t>(0);
        switch (code) {
            case PIXEL_FORMAT_MONO8:
                for (size_t i = 0; i < pixels; ++i) out[i] = static_cast<uint16_t>(in[i] << 4);
                break;
            case PIXEL_FORMAT_MONO16:
                for (size_t i = 0; i < pixels; ++i) out[i] = static_cast<uint16_t>(in[2 * i] * 256 + in[2 * i + 1]);
                break;
            case PIXEL_FORMAT_MONO12_PACKED:
                for (size_t i = 0; i < pixels; ++i) {
                    const size_t at = i / 2 * 3;
                    // An odd last pixel has no byte for its low bits.
                    const unsigned low = at + 1 < buffer.size() ? in[at + 1] : 0;
                    const unsigned value = i % 2 == 0 ? (in[at] << 4) | (low & 0x0F) : (in[at + 2] << 4) | (low >> 4);
                    out[i] = static_cast<uint16_t>(value << 4);
                }
                break;
            default:
                return false;
        }
        ApplyFrameFlips(converted, flipVertical, flipHorizontal);
        *frame = converted;
        return true;
    } catch (...) {
        return false;
    }
}
