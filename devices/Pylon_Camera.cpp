#include "devices/Pylon_Camera.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <opencv2/imgproc.hpp>

#include "app/VelloraApp.h"
#include "devices/CameraFrame.h"
#include "devices/CameraSettings.h"
#include "platform/Time.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

uint64_t g_PylonLastInitAttempt = 0;
uint64_t g_PylonInitCount = 0;

namespace {

constexpr int kSubstituteWidth = 2448;
constexpr int kSubstituteHeight = 2048;
constexpr uint64_t kMinUnitsBetweenAttempts = 10000;  // 5 s in 0.5 ms units
constexpr unsigned kGrabTimeoutMs = 5000;

CString WithDescription(const char* message, const GenICam::GenericException& e) {
    return CString(message) + e.GetDescription();
}

CString Formatted(const char* format, const char* text) {
    CString result;
    result.Format(format, text);
    return result;
}

GenApi::INodeMap& NodeMap(Pylon::CInstantCamera* camera) { return camera->GetNodeMap(); }

// The value of a text-valued parameter, written with verification.
void WriteText(Pylon::CInstantCamera* camera, const char* node, const char* value) {
    GenApi::CEnumerationPtr parameter(NodeMap(camera).GetNode(node));
    parameter->FromString(value, true);
}

void ReportInitializationProblem(const CString& error) {
    LogErrAndInfo(__FILE__, __LINE__, error, nullptr);
    platform::ShowMessageBox(error.str());
}

}  // namespace

Pylon_Camera::Pylon_Camera() = default;

Pylon_Camera::~Pylon_Camera() {
    if (!camera) return;
    try {
        camera->Close();
    } catch (const GenICam::GenericException&) {
        // Nothing more can be done for a camera that will not close.
    }
    delete camera;
}

bool Pylon_Camera::EnsureInitialized(CString* error) { return initialised || Initialize(error, false); }

bool Pylon_Camera::Initialize(CString* error, bool retry) {
    if (initialising) return true;
    if (initFailed) {
        if (!retry) return true;
        initFailed = false;
    }
    if (initialised) return true;
    initialising = true;

    SYSTEMTIME now;
    GetLocalTime(&now);
    const uint64_t attempt = platform::SystemTimeToFileTime100ns(now) / 5000;
    if (attempt < g_PylonLastInitAttempt + kMinUnitsBetweenAttempts) {
        initialising = false;
        return false;
    }
    g_PylonLastInitAttempt = attempt;

    CString model;
    try {
        // A camera left from a failed attempt goes before the runtime restarts.
        delete camera;
        camera = nullptr;
        if (g_PylonInitCount != 0) Pylon::PylonTerminate(true);
        Pylon::PylonInitialize();
        ++g_PylonInitCount;

        camera = new Pylon::CInstantCamera(Pylon::CTlFactory::GetInstance().CreateFirstDevice(Pylon::CDeviceInfo()),
                                           Pylon::Cleanup_Delete);
        model = ReadModelName();

        camera->MaxNumBuffer.SetValue(5);
        GenApi::INodeMap& nodes = camera->GetNodeMap();
        camera->Open();

        for (const char* name : {"GainAuto", "ExposureTimeAuto"}) {
            GenApi::CEnumerationPtr automatic(nodes.GetNode(name));
            if (GenApi::IsWritable(automatic)) automatic->FromString("Off", true);
        }
        for (const char* name : {"OffsetX", "OffsetY"}) {
            GenApi::CIntegerPtr offset(nodes.GetNode(name));
            if (GenApi::IsWritable(offset)) offset->SetValue(offset->GetMin(), true);
        }
    } catch (const GenICam::GenericException& e) {
        initFailed = true;
        *error = WithDescription("Pylon_Camera::Initialize () : Error : ", e);
        initialising = false;
        return false;
    }

    flipHorizontal = true;
    flipVertical = false;

    const CString section = CameraSettingsSection(model);
    char buffer[32];
    int depth = 12;
    if (!Tovanix::E_GetPrivateProfileString(section, CameraSettingsKey::kPixelDepth, "", buffer, sizeof buffer, g_IniPath) ||
        std::sscanf(buffer, "%d", &depth) != 1) {
        depth = 12;
    }
    double gain = 1.0;
    if (!Tovanix::E_GetPrivateProfileString(section, CameraSettingsKey::kGain, "", buffer, sizeof buffer, g_IniPath) ||
        std::sscanf(buffer, "%lf", &gain) != 1) {
        gain = 1.0;
    }
    CString problem;
    if (!SetPixelDepth(depth, &problem)) ReportInitializationProblem(problem);
    problem.Empty();
    if (!SetGain(static_cast<float>(gain), &problem)) ReportInitializationProblem(problem);

    initialised = true;
    initialising = false;
    return true;
}

bool Pylon_Camera::IsInitialized() { return initialised; }

CString Pylon_Camera::ReadModelName() {
    const CString name = camera->GetDeviceInfo().GetFriendlyName().c_str();
    const int open = name.ReverseFind('(');
    return open >= 1 ? name.Left(open - 1) : name;
}

CString Pylon_Camera::ReadSerialNumber() {
    const CString name = camera->GetDeviceInfo().GetFriendlyName().c_str();
    const int open = name.ReverseFind('(');
    if (open < 0) return "n/a";
    CString serial = name.Mid(open);
    serial.Replace("(", "");
    serial.Replace(")", "");
    return serial;
}

bool Pylon_Camera::ReadNamePart(CString (Pylon_Camera::*read)(), const char* substitute, const char* failure,
                                CString* text, CString* error) {
    if (!EnsureInitialized(error)) return false;
    if (!camera) {
        *text = substitute;
        return true;
    }
    try {
        *text = (this->*read)();
        return true;
    } catch (const GenICam::GenericException& e) {
        *error = WithDescription(failure, e);
        return false;
    }
}

bool Pylon_Camera::GetModelName(CString* model, CString* error) {
    return ReadNamePart(&Pylon_Camera::ReadModelName, "None", "Pylon_Camera::GetModelName() : Error : ", model, error);
}

bool Pylon_Camera::GetSerialNumber(CString* serial, CString* error) {
    return ReadNamePart(&Pylon_Camera::ReadSerialNumber, "n/a", "Pylon_Camera::GetSerialNumber() : Error : ", serial,
                        error);
}

bool Pylon_Camera::GetImageSize(int* width, int* height, CString* error) {
    if (!EnsureInitialized(error)) return false;
    if (!camera) {
        *width = kSubstituteWidth;
        *height = kSubstituteHeight;
        return true;
    }
    try {
        GenApi::CIntegerPtr widthNode(NodeMap(camera).GetNode("Width"));
        GenApi::CIntegerPtr heightNode(NodeMap(camera).GetNode("Height"));
        const int64_t w = widthNode->GetValue();
        const int64_t h = heightNode->GetValue();
        *width = static_cast<int>(w);
        *height = static_cast<int>(h);
        return true;
    } catch (const GenICam::GenericException& e) {
        *error = WithDescription("Pylon_Camera::GetImageSize() : Error : ", e);
        return false;
    }
}

bool Pylon_Camera::SetImageSize(int width, int height, CString* error) {
    if (!EnsureInitialized(error)) return false;
    if (!camera) {
        *error = "Camera can not be instantiated.";
        return false;
    }
    try {
        GenApi::CIntegerPtr widthNode(NodeMap(camera).GetNode("Width"));
        GenApi::CIntegerPtr heightNode(NodeMap(camera).GetNode("Height"));
        if (widthNode && heightNode && widthNode->GetValue() == width && heightNode->GetValue() == height) {
            return true;
        }
        if (!GenApi::IsWritable(widthNode)) {
            error->Format("%s(%ld) : Can't modify camera parameter Width.", "Pylon_Camera::SetImageSize", 292L);
            return false;
        }
        if (!GenApi::IsWritable(heightNode)) {
            error->Format("%s(%ld) : Can't modify camera parameter Height.", "Pylon_Camera::SetImageSize", 299L);
            return false;
        }
        if (widthNode->GetValue() != width) {
            try {
                widthNode->SetValue(width, true);
            } catch (const GenICam::GenericException&) {
                error->Format("%s(%ld) : Error trying to set camera width to: %ld", "Pylon_Camera::SetImageSize", 311L,
                              static_cast<long>(width));
                return false;
            }
        }
        if (heightNode->GetValue() != height) {
            try {
                heightNode->SetValue(height, true);
            } catch (const GenICam::GenericException&) {
                error->Format("%s(%ld) : Error trying to set camera height to: %ld", "Pylon_Camera::SetImageSize",
                              324L, static_cast<long>(height));
                return false;
            }
        }
    } catch (const GenICam::GenericException& e) {
        *error = WithDescription("Pylon_Camera::SetImageSize() : Error : ", e);
        return false;
    }
    int newWidth = 0, newHeight = 0;
    if (!GetImageSize(&newWidth, &newHeight, error)) return false;
    if (newWidth == width && newHeight == height) return true;
    error->Format("%s(%ld) : Failed to set camera [width,height] to [%ld,%ld]. The new camera [width,height] is: "
                  "[%ld,%ld].",
                  "Pylon_Camera::SetImageSize", 335L, static_cast<long>(width), static_cast<long>(height),
                  static_cast<long>(newWidth), static_cast<long>(newHeight));
    return false;
}

bool Pylon_Camera::StartStream(CString* error) {
    error->Empty();
    return true;
}

bool Pylon_Camera::StopStream(CString* error) {
    error->Empty();
    return true;
}

bool Pylon_Camera::CaptureSingleFrame(cv::Mat* frame, CString* error) {
    if (!EnsureInitialized(error)) return false;
    if (!camera) {
        int width = kSubstituteWidth, height = kSubstituteHeight;
        GetImageSize(&width, &height, error);
        if (frame->rows != height || frame->cols != width || frame->type() != CV_16UC1) {
            frame->create(height, width, CV_16UC1);
            frame->setTo(0);
        }
        const char* text = "The camera is not connected.";
        int baseline = 0;
        const cv::Size size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, 2.0, 4, &baseline);
        cv::putText(*frame, text, cv::Point((frame->cols - size.width) / 2, (frame->rows - size.height) / 2),
                    cv::FONT_HERSHEY_SIMPLEX, 2.0, cv::Scalar(40000, 40000, 40000, 0), 4, 8);
        return true;
    }

    const char* prefix = "Pylon_Camera::CaptureSingleFrame () : Error : ";
    try {
        camera->StartGrabbing(1, Pylon::GrabStrategy_OneByOne, Pylon::GrabLoop_ProvidedByUser);
        Pylon::CGrabResultPtr result;
        while (camera->IsGrabbing()) {
            camera->RetrieveResult(kGrabTimeoutMs, result, Pylon::TimeoutHandling_ThrowException);
            if (!result->GrabSucceeded()) {
                camera->StopGrabbing();
                *error = CString(prefix) + result->GetErrorDescription().c_str();
                return false;
            }
            const Pylon::EPixelType type = result->GetPixelType();
            const size_t bytesPerSample = type == Pylon::PixelType_Mono8 ? 1 : 2;
            if (type != Pylon::PixelType_Mono8 && type != Pylon::PixelType_Mono10 &&
                type != Pylon::PixelType_Mono12 && type != Pylon::PixelType_Mono16) {
                camera->StopGrabbing();
                *error = CString(prefix) + "Unsupported image time returned from camera.";
                return false;
            }
            const int width = static_cast<int>(result->GetWidth());
            const int height = static_cast<int>(result->GetHeight());
            const size_t samples = static_cast<size_t>(width) * static_cast<size_t>(height);
            // Never read past the delivered buffer.
            if (samples * bytesPerSample > result->GetBufferSize()) {
                camera->StopGrabbing();
                *error = CString(prefix) + "The image buffer is smaller than the image.";
                return false;
            }
            frame->create(height, width, CV_16UC1);
            const auto* in = static_cast<const uint8_t*>(result->GetBuffer());
            // Samples arrive little-endian; 8-, 10- and 12-bit ones are
            // moved up to the top of the 16 bits.
            const int shift = type == Pylon::PixelType_Mono16 ? 0 : 4;
            for (int y = 0; y < height; ++y) {
                uint16_t* row = frame->ptr<uint16_t>(y);
                const uint8_t* src = in + static_cast<size_t>(y) * static_cast<size_t>(width) * bytesPerSample;
                if (type == Pylon::PixelType_Mono8) {
                    for (int x = 0; x < width; ++x) row[x] = static_cast<uint16_t>(src[x] << 4);
                    continue;
                }
                if constexpr (std::endian::native == std::endian::little) {
                    std::memcpy(row, src, static_cast<size_t>(width) * 2);
                } else {
                    for (int x = 0; x < width; ++x) row[x] = static_cast<uint16_t>(src[2 * x] | (src[2 * x + 1] << 8));
                }
                if (shift != 0) {
                    for (int x = 0; x < width; ++x) row[x] = static_cast<uint16_t>(row[x] << shift);
                }
            }
        }
        camera->StopGrabbing();
    } catch (const GenICam::GenericException& e) {
        try {
            camera->StopGrabbing();
        } catch (const GenICam::GenericException&) {
        }
        *error = WithDescription(prefix, e);
        return false;
    }
    ApplyFrameFlips(*frame, flipVertical, flipHorizontal);
    return true;
}

bool Pylon_Camera::SetPixelDepth(int bits, CString* error) {
    if (!EnsureInitialized(error)) return false;
    if (!camera) return true;
    const char* name = bits == 8 ? "Mono8" : bits == 12 ? "Mono12" : bits == 16 ? "Mono16" : nullptr;
    if (!name) {
        error->Format("Pylon_Camera::SetPixelDepth() : Error invalid parameter value bits=%ld", static_cast<long>(bits));
        return false;
    }
    try {
        GenApi::CEnumerationPtr format(NodeMap(camera).GetNode("PixelFormat"));
        if (format->ToString() == name) return true;
        GenApi::CEnumEntryPtr entry(format->GetEntryByName(name));
        if (!GenApi::IsAvailable(entry)) {
            error->Format("Pylon_Camera::SetPixelDepth() : Error invalid parameter value bits=%ld",
                          static_cast<long>(bits));
            return false;
        }
        format->FromString(name, true);
        return true;
    } catch (const GenICam::GenericException& e) {
        *error = Formatted("Pylon_Camera::SetPixelDepth() : Error : %s", e.GetDescription());
        return false;
    }
}

bool Pylon_Camera::GetPixelDepth(int* bits, CString* error) {
    if (!EnsureInitialized(error)) return false;
    if (!camera) {
        *bits = 12;
        return true;
    }
    try {
        GenApi::CEnumerationPtr format(NodeMap(camera).GetNode("PixelFormat"));
        const std::string value = format->ToString();
        if (value == "Mono8") *bits = 8;
        else if (value == "Mono10") *bits = 10;
        else if (value == "Mono12") *bits = 12;
        else if (value == "Mono16") *bits = 16;
        else {
            *error = Formatted("Pylon_Camera::GetPixelDepth () Unknown pixel format : %s", value.c_str());
            return false;
        }
        return true;
    } catch (const GenICam::GenericException& e) {
        *error = Formatted("Pylon_Camera::GetPixelDepth() : Error : %s", e.GetDescription());
        return false;
    }
}

bool Pylon_Camera::HasSfnc2() { return camera->GetSfncVersion() >= Pylon::Sfnc_2_0_0; }

bool Pylon_Camera::ReadFloatFeature(const char* node, float substitute, const char* failure, float* value,
                                    CString* error) {
    if (!EnsureInitialized(error)) return false;
    if (!camera) {
        *value = substitute;
        return true;
    }
    try {
        // Cameras with the older feature names are left alone.
        if (!HasSfnc2()) return true;
        GenApi::CFloatPtr parameter(NodeMap(camera).GetNode(node));
        *value = static_cast<float>(parameter->GetValue());
        return true;
    } catch (const GenICam::GenericException& e) {
        *error = Formatted(failure, e.GetDescription());
        return false;
    }
}

bool Pylon_Camera::WriteFloatFeature(const char* node, const char* failure, float value, CString* error) {
    if (!EnsureInitialized(error)) return false;
    if (!camera) return true;
    try {
        if (!HasSfnc2()) return true;
        GenApi::CFloatPtr parameter(NodeMap(camera).GetNode(node));
        parameter->SetValue(value, true);
        return true;
    } catch (const GenICam::GenericException& e) {
        *error = Formatted(failure, e.GetDescription());
        return false;
    }
}

bool Pylon_Camera::GetGain(float* gain, CString* error) {
    return ReadFloatFeature("Gain", 1.0f, "Pylon_Camera::GetGain() : Error : %s", gain, error);
}

bool Pylon_Camera::SetGain(float gain, CString* error) {
    return WriteFloatFeature("Gain", "Pylon_Camera::SetGain() : Error : %s", gain, error);
}

bool Pylon_Camera::GetExposureTime(float* exposure, CString* error) {
    return ReadFloatFeature("ExposureTime", 1234.0f, "Pylon_Camera::GetExposureTime() : Error : %s", exposure, error);
}

bool Pylon_Camera::SetExposureTime(float exposure, CString* error) {
    return WriteFloatFeature("ExposureTime", "Pylon_Camera::SetExposureTime() : Error : %s", exposure, error);
}

void Pylon_Camera::SelectOutputLine(const char* line, const char* userOutput) {
    WriteText(camera, "LineSelector", line);
    WriteText(camera, "LineMode", "Output");
    WriteText(camera, "LineSource", userOutput);
    WriteText(camera, "UserOutputSelector", userOutput);
}

bool Pylon_Camera::GetDigitalOutput(int channel, bool* state, CString* error) {
    if (!camera) {
        *state = true;
        return true;
    }
    if (channel != 1 && channel != 2) {
        error->Format("Pylon_Camera::GetDigitalOutput() - ichan=%ld : only ichan=1 or ichan=2 are supported.",
                      static_cast<long>(channel));
        return false;
    }
    if (!EnsureInitialized(error)) return false;
    try {
        SelectOutputLine(channel == 1 ? "Line3" : "Line4", channel == 1 ? "UserOutput2" : "UserOutput3");
        GenApi::CIntegerPtr status(NodeMap(camera).GetNode("LineStatusAll"));
        *state = (status->GetValue() & (channel == 1 ? 4 : 8)) != 0;
        return true;
    } catch (const GenICam::GenericException& e) {
        *error = Formatted("Pylon_Camera::GetDigitalOutput() : Error : %s", e.GetDescription());
        return false;
    }
}

bool Pylon_Camera::SetDigitalOutput(int channel, bool state, CString* error) {
    if (!camera) return true;
    if (channel != 1 && channel != 2) {
        error->Format("Pylon_Camera::SetDigitalOutput() - ichan=%ld : only ichan=1 or ichan=2 are supported.",
                      static_cast<long>(channel));
        return false;
    }
    if (!EnsureInitialized(error)) return false;
    try {
        SelectOutputLine(channel == 1 ? "Line3" : "Line4", channel == 1 ? "UserOutput2" : "UserOutput3");
        // The output stage inverts: the line is high while the user output is low.
        GenApi::CBooleanPtr value(NodeMap(camera).GetNode("UserOutputValue"));
        value->SetValue(!state, true);
        return true;
    } catch (const GenICam::GenericException& e) {
        *error = Formatted("Pylon_Camera::SetDigitalOutput() : Error : %s", e.GetDescription());
        return false;
    }
}

void Pylon_Camera::SetFlipHorizontal(bool on) { flipHorizontal = on; }

void Pylon_Camera::SetFlipVertical(bool on) { flipVertical = on; }

bool Pylon_Camera::GetTemperature(double* degrees, CString* error) {
    for (int attempt = 0; attempt < 2 && !initialised; ++attempt) {
        if (!Initialize(error, false)) return false;
    }
    if (!initialised) {
        *error = "Pylon_Camera::GetTemperatures() Camera is not initialized.";
        return false;
    }
    try {
        if (!HasSfnc2()) return true;
        GenApi::CFloatPtr node(NodeMap(camera).GetNode("DeviceTemperature"));
        *degrees = static_cast<double>(static_cast<float>(node->GetValue()));
    } catch (const GenICam::GenericException& e) {
        *error = Formatted("Pylon_Camera::GetTemperature() : Error : %s", e.GetDescription());
        return false;
    }
    if (*degrees >= 420.0) {
        *error = "No temperature sensor detected.";
        return false;
    }
    return true;
}
