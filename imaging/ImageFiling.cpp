#include "imaging/ImageFiling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <strings.h>

#include <opencv2/imgcodecs.hpp>

// The metadata library still hands its images out as std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include "app/FlowSplit.h"
#include "app/ImageCaptureLogHeader.h"
#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/TecanCentris.h"
#include "imaging/ExperimentFolders.h"
#include "platform/Files.h"
#include "platform/Sync.h"
#include "platform/Time.h"
#include "support/AppLogs.h"
#include "support/CachedLog.h"
#include "support/Profile.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

const char* const kSection = "ExperimentSettings";
const char* const kManualPrefix = "ManualCapture.";

std::mutex g_sourcesMutex;
std::function<double()> g_flowSplitSource;
bool g_cameraKnown = false;
CString g_cameraModel;
CString g_cameraSerial;

std::string ReadSetting(const char* key, size_t characters) {
    std::string buffer(characters + 1, '\0');
    Tovanix::E_GetPrivateProfileString(kSection, key, "", buffer.data(), static_cast<uint32_t>(buffer.size()),
                                       g_IniPath);
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

int ReadIntSetting(const char* key, int fallback) {
    int value = 0;
    return std::sscanf(ReadSetting(key, 30).c_str(), "%d", &value) == 1 ? value : fallback;
}

double ReadRealSetting(const char* key, double fallback) {
    double value = 0;
    return std::sscanf(ReadSetting(key, 30).c_str(), "%lf", &value) == 1 ? value : fallback;
}

// The XMP toolkit needs one initialisation, and a lock to be shared by
// threads that file images at the same time.
std::mutex g_xmpMutex;
void XmpLock(void* data, bool lock) {
    auto* mutex = static_cast<std::mutex*>(data);
    if (lock) {
        mutex->lock();
    } else {
        mutex->unlock();
    }
}
void InitializeXmp() {
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::XmpParser::initialize(XmpLock, &g_xmpMutex); });
}

// The camera that took the frames, remembered by the capture; the current
// camera object when nothing was remembered yet.
void CameraIdentity(CString& model, CString& serial) {
    {
        std::lock_guard<std::mutex> lock(g_sourcesMutex);
        if (g_cameraKnown) {
            model = g_cameraModel;
            serial = g_cameraSerial;
            return;
        }
    }
    CString ignored;
    if (theApp.m_pCamera) {
        if (!theApp.m_pCamera->GetModelName(&model, &ignored)) model.Empty();
        if (!theApp.m_pCamera->GetSerialNumber(&serial, &ignored)) serial.Empty();
    }
}

double FlowSplitFraction() {
    std::lock_guard<std::mutex> lock(g_sourcesMutex);
    return g_flowSplitSource ? g_flowSplitSource() : GetFlowSplit().FlowSplitFraction;
}

std::string LocalStamp(const char* format) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[64];
    std::snprintf(text, sizeof text, format, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds);
    return text;
}

// Counts, in one pass, the pixels at or below the dark threshold and at or
// above the saturation threshold (a negative or >= 65536 threshold counts none).
void CountDarkAndSaturated(const cv::Mat& image, int darkThreshold, int satThreshold, uint64_t& dark,
                           uint64_t& saturated) {
    dark = saturated = 0;
    const bool checkDark = darkThreshold >= 0;
    const bool checkSat = satThreshold < 65536;
    if (!checkDark && !checkSat) return;
    const int darkLimit = checkDark ? std::min(darkThreshold, 65535) : -1;
    const int satLimit = checkSat ? std::max(satThreshold, 0) : 65536;
    for (int y = 0; y < image.rows; ++y) {
        const uint16_t* row = image.ptr<uint16_t>(y);
        uint64_t rowDark = 0;
        uint64_t rowSat = 0;
        for (int x = 0; x < image.cols; ++x) {
            rowDark += row[x] <= darkLimit;
            rowSat += row[x] >= satLimit;
        }
        dark += rowDark;
        saturated += rowSat;
    }
}

std::string ErrorText(const FiledImage& filed) {
    std::string text;
    if (filed.dark) text = "dark";
    if (filed.saturated) text += text.empty() ? "saturation" : " saturation";
    // A frame that did not reach the disk is recorded as such, so that the
    // log never claims an image the folder does not hold.
    if (!filed.saved) text += text.empty() ? "not saved" : " not saved";
    return text;
}

const char* kColumns8 = "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tSplit";
const char* kColumns14 =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\tPump2ValvePos\t"
    "Pump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL\tSplit";

std::string SplitText() {
    if (!theApp.m_bWorkflowRunning) return "NaN";
    const double value = 100.0 * FlowSplitFraction() - 50.0;
    if (!std::isfinite(value)) return "NaN";
    char text[32];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(std::round(value)));  // half away from zero
    return text;
}

// The pump columns 8..13: valve letters, speeds and plunger volumes.
std::string PumpColumns(int comPort) {
    std::string speed[2];
    std::string volume[2];
    for (int pump = 1; pump <= 2; ++pump) {
        Tovanix::String reply;
        Tovanix::String error;
        const bool stopped = TecanCentris::SendCommand(comPort, pump, "?29", 200, &reply, &error) &&
                             std::strcmp(reply.c_str(), "0") == 0;
        char text[64];
        std::snprintf(text, sizeof text, "%4.2lf", stopped ? 0.0 : g_PumpTopSpeed[pump - 1]);
        speed[pump - 1] = text;
    }
    for (int pump = 1; pump <= 2; ++pump) {
        double value = 0;
        Tovanix::String error;
        if (TecanCentris::QueryDouble(comPort, pump, "?18", &value, &error)) {
            char text[64];
            std::snprintf(text, sizeof text, "%4.2lf", value);
            volume[pump - 1] = text;
        } else {
            volume[pump - 1] = "NaN";  // unknown, never a made-up volume
        }
    }
    std::string columns;
    columns += g_PumpValveState[0] ? g_PumpValveState[0] : ' ';
    columns += '\t';
    columns += g_PumpValveState[1] ? g_PumpValveState[1] : ' ';
    columns += '\t' + speed[0] + '\t' + speed[1] + '\t' + volume[0] + '\t' + volume[1];
    return columns;
}

void LogError(const CString& error) { LogErrAndInfo(__FILE__, __LINE__, error); }

}  // namespace

void SetFlowSplitFractionSource(std::function<double()> source) {
    std::lock_guard<std::mutex> lock(g_sourcesMutex);
    g_flowSplitSource = std::move(source);
}

void RememberCameraIdentity(const CString& model, const CString& serialNumber) {
    std::lock_guard<std::mutex> lock(g_sourcesMutex);
    g_cameraKnown = true;
    g_cameraModel = model;
    g_cameraSerial = serialNumber;
}

void ForgetCameraIdentity() {
    std::lock_guard<std::mutex> lock(g_sourcesMutex);
    g_cameraKnown = false;
}

void BuildImageMetadata(const char* typeName, int exposureUs, int captureIndex, std::vector<std::string>& keys,
                        std::vector<std::string>& values) {
    CString model;
    CString serial;
    CameraIdentity(model, serial);
    char software[256];
    std::snprintf(software, sizeof software, "Tessaly %s V%s", theApp.m_strDisplayName.GetString(),
                  theApp.m_strFileVersion.GetString());
    keys = {"CreationTime", "Software", "Computer", "CameraModel", "CameraSN", "ImageType", "ExposureUS", "ImageIndex"};
    values = {LocalStamp("%04u/%02u/%02u %02u:%02u:%02u.%03u"),
              software,
              platform::GetComputerName().substr(0, 15),
              model.str(),
              serial.str(),
              typeName ? typeName : "",
              std::to_string(static_cast<long>(exposureUs)),
              std::to_string(static_cast<long>(captureIndex))};
}

namespace {

const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const char kXmpKeyword[] = "XML:com.adobe.xmp";

uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc = 0xFFFFFFFFu) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t ReadBigEndian(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void AppendBigEndian(std::vector<unsigned char>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

// Where an XMP chunk can go into a PNG that holds none yet: right after its
// header chunk. 0 when the bytes are not such a PNG (the caller then lets the
// metadata library rewrite the whole image).
size_t XmpInsertPosition(const std::vector<unsigned char>& png) {
    if (png.size() < 33 || std::memcmp(png.data(), kPngSignature, 8) != 0 ||
        std::memcmp(png.data() + 12, "IHDR", 4) != 0) {
        return 0;
    }
    const size_t afterHeader = 8 + 12 + ReadBigEndian(png.data() + 8);
    for (size_t at = 8; at + 12 <= png.size();) {
        const size_t length = ReadBigEndian(png.data() + at);
        if (length > png.size() - at - 12) return 0;  // damaged: leave it to the library
        if (std::memcmp(png.data() + at + 4, "iTXt", 4) == 0 && length >= sizeof kXmpKeyword &&
            std::memcmp(png.data() + at + 8, kXmpKeyword, sizeof kXmpKeyword) == 0) {
            return 0;
        }
        if (std::memcmp(png.data() + at + 4, "IEND", 4) == 0) return afterHeader;
        at += 12 + length;
    }
    return 0;
}

}  // namespace

bool AddXmpMetadataInMemory(std::vector<unsigned char>& encoded, const std::vector<std::string>& keys,
                            const std::vector<std::string>& values, CString& error) {
    const char* function = "Add_XMP_MetaData";
    if (keys.size() != values.size()) {
        error.Format("%s() - %zu keys but %zu values", function, keys.size(), values.size());
        return false;
    }
    InitializeXmp();
    // A freshly encoded PNG gets its packet as one new chunk: the library
    // makes the packet, and the image data is copied once instead of being
    // parsed and rewritten.
    if (const size_t position = XmpInsertPosition(encoded)) {
        try {
            Exiv2::XmpData xmp;
            for (size_t i = 0; i < keys.size(); ++i) {
                char key[64];
                std::snprintf(key, sizeof key, "Xmp.dc.%s", keys[i].c_str());
                Exiv2::Xmpdatum datum{Exiv2::XmpKey(key)};
                datum.setValue(values[i]);
                xmp.add(datum);
            }
            std::string packet;
            if (Exiv2::XmpParser::encode(packet, xmp,
                                         Exiv2::XmpParser::useCompactFormat | Exiv2::XmpParser::omitAllFormatting) != 0) {
                error.Format("%s() - Can't encode the XMP packet", function);
                return false;
            }
            std::vector<unsigned char> chunk;
            AppendBigEndian(chunk, 0);  // length, set below
            for (const char c : std::string("iTXt")) chunk.push_back(static_cast<unsigned char>(c));
            chunk.insert(chunk.end(), kXmpKeyword, kXmpKeyword + sizeof kXmpKeyword);  // with its NUL
            for (int i = 0; i < 4; ++i) chunk.push_back(0);  // uncompressed, no method, no language, no translation
            chunk.insert(chunk.end(), packet.begin(), packet.end());
            const uint32_t length = static_cast<uint32_t>(chunk.size() - 8);
            for (int i = 0; i < 4; ++i) chunk[static_cast<size_t>(i)] = static_cast<unsigned char>(length >> (24 - 8 * i));
            AppendBigEndian(chunk, Crc32(chunk.data() + 4, chunk.size() - 4) ^ 0xFFFFFFFFu);

            std::vector<unsigned char> tagged;
            tagged.reserve(encoded.size() + chunk.size());
            tagged.insert(tagged.end(), encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(position));
            tagged.insert(tagged.end(), chunk.begin(), chunk.end());
            tagged.insert(tagged.end(), encoded.begin() + static_cast<std::ptrdiff_t>(position), encoded.end());
            encoded.swap(tagged);
            return true;
        } catch (const std::exception& e) {
            error.Format("%s() - %s", function, e.what());
            return false;
        }
    }
    try {
        Exiv2::Image::AutoPtr image =
            Exiv2::ImageFactory::open(encoded.data(), static_cast<long>(encoded.size()));
        if (!image.get()) {
            error.Format("%s() - Can't open image in memory", function);
            return false;
        }
        image->readMetadata();
        Exiv2::XmpData xmp = image->xmpData();
        for (size_t i = 0; i < keys.size(); ++i) {
            char key[64];
            std::snprintf(key, sizeof key, "Xmp.dc.%s", keys[i].c_str());
            Exiv2::Xmpdatum datum{Exiv2::XmpKey(key)};
            datum.setValue(values[i]);
            xmp.add(datum);
        }
        image->setXmpData(xmp);
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        io.seek(0, Exiv2::BasicIo::beg);
        const long size = static_cast<long>(io.size());
        std::vector<unsigned char> tagged(static_cast<size_t>(size));
        if (size > 0 && io.read(tagged.data(), size) != size) {
            error.Format("%s() - Can't read the tagged image back", function);
            return false;
        }
        encoded.swap(tagged);
        return true;
    } catch (const std::exception& e) {
        error.Format("%s() - %s", function, e.what());
        return false;
    }
}

bool Add_XMP_MetaData(const char* path, const std::vector<std::string>& keys, const std::vector<std::string>& values,
                      CString& error) {
    std::string content;
    if (!path || !platform::ReadWholeFile(path, &content)) {
        error.Format("Add_XMP_MetaData() - Can't open image file: %s", path ? path : "");
        return false;
    }
    std::vector<unsigned char> encoded(content.begin(), content.end());
    if (!AddXmpMetadataInMemory(encoded, keys, values, error)) return false;
    if (!platform::WriteFileAtomically(path, encoded.data(), encoded.size())) {
        error.Format("Add_XMP_MetaData() - Can't write image file: %s", path);
        return false;
    }
    return true;
}

bool AddImageMetadata(const char* path, const char* typeName, int exposureUs, int captureIndex) {
    std::vector<std::string> keys;
    std::vector<std::string> values;
    BuildImageMetadata(typeName, exposureUs, captureIndex, keys, values);
    CString error;
    if (!Add_XMP_MetaData(path, keys, values, error)) {
        LogError(error);
        return false;
    }
    return true;
}

bool WriteExperimentImage(const cv::Mat& image, const char* typeName, int captureIndex, int typeIndex, int exposureUs,
                          CString& error, const char* extraPrefix, FiledImage& filed) {
    const std::string prefix = ReadSetting("ExperimentImageNamePrefix", 1022);
    const std::string directory = ReadSetting("ExperimentDirectory", 1022);
    const std::string fullName = ReadSetting("ExperimentFullName", 1022);
    const double darkMaxFraction = ReadRealSetting("DarkPixelsMaxFraction", 0.0);
    const int darkThreshold = ReadIntSetting("DarkPixelThreshold", -1);
    const double satMaxFraction = ReadRealSetting("SatPixelsMaxFraction", 0.01);
    const int satThreshold = ReadIntSetting("SatPixelThreshold", 65536);

    filed = FiledImage{};
    filed.captureIndex = captureIndex;
    filed.typeIndex = typeIndex;
    filed.exposureUs = exposureUs;
    filed.logPath = JoinExperimentPath(directory.c_str(), (fullName + ".log").c_str());

    const std::string base = std::string(extraPrefix ? extraPrefix : "") + prefix;
    std::string name = base;
    if (typeName) name += std::string("_") + typeName;
    if (captureIndex >= 0 && base.compare(0, std::strlen(kManualPrefix), kManualPrefix) != 0) {
        char index[32];
        std::snprintf(index, sizeof index, "_%04ld", static_cast<long>(captureIndex));
        name += index;
    }
    name += ".png";
    filed.imageFile = name;
    filed.imagePath = JoinExperimentPath(JoinExperimentPath(directory.c_str(), "Images").c_str(), name.c_str());

    if (image.empty() || image.type() != CV_16UC1) {
        error.Format("Problem saving image to file: %s", filed.imagePath.c_str());
        return false;
    }
    const double pixels = static_cast<double>(image.total());
    uint64_t dark = 0;
    uint64_t saturated = 0;
    CountDarkAndSaturated(image, darkThreshold, satThreshold, dark, saturated);
    filed.dark = darkThreshold >= 0 && static_cast<double>(dark) / pixels > darkMaxFraction;
    filed.saturated = satThreshold < 65536 && static_cast<double>(saturated) / pixels > satMaxFraction;

    // The background of the type goes beside the first images of a series.
    // Its failure is logged; the frame itself is still filed.
    if (captureIndex == 1 && !theApp.WriteBackgroundImage(typeName, directory.c_str())) {
        CString message;
        message.Format("SaveImageToExperiment() - Problem writing the background image of %s into %s",
                       typeName ? typeName : "", directory.c_str());
        LogError(message);
    }

    // Room for the whole image up front: the encoder appends its output
    // piece by piece, and regrowing a frame-sized buffer costs more than
    // the compression itself.
    std::vector<unsigned char> encoded;
    encoded.reserve(image.total() * image.elemSize() + static_cast<size_t>(image.rows) + 65536);
    try {
        if (!cv::imencode(".png", image, encoded)) {
            error.Format("Problem saving image to file: %s", filed.imagePath.c_str());
            return false;
        }
    } catch (const std::exception&) {
        error.Format("Problem saving image to file: %s", filed.imagePath.c_str());
        return false;
    }
    std::vector<std::string> keys;
    std::vector<std::string> values;
    BuildImageMetadata(typeName, exposureUs, captureIndex, keys, values);
    // The buffer is left as it was when tagging fails.
    CString tagError;
    if (!AddXmpMetadataInMemory(encoded, keys, values, tagError)) {
        LogError(tagError);  // the image is filed untagged
    }
    if (!platform::WriteFileAtomically(filed.imagePath, encoded.data(), encoded.size())) {
        error.Format("Problem saving image to file: %s", filed.imagePath.c_str());
        return false;
    }
    filed.saved = true;

    if (captureIndex == 1 && base.compare(0, std::strlen(kManualPrefix), kManualPrefix) != 0 &&
        g_IdleRequestSemaphore) {
        platform::SemaphoreLock lock(*g_IdleRequestSemaphore, 1000);
        if (lock.Held()) g_ReferenceImageRequests.emplace_back(filed.imagePath.c_str());
    }
    return true;
}

bool AddCaptureLogRow(const FiledImage& filed, CString& error, CString* logPathOut) {
    if (logPathOut && logPathOut->IsEmpty()) *logPathOut = filed.logPath.c_str();

    std::vector<Tovanix::String> scriptLines;
    TakeImageCaptureLogHeaderLines(scriptLines);

    // What the header block says is gathered before the log is held.
    CString model;
    CString serial;
    CameraIdentity(model, serial);
    char line[1200];
    std::vector<std::string> header;
    std::snprintf(line, sizeof line, "%s_Version=%s", theApp.m_strDisplayName.GetString(),
                  theApp.m_strFileVersion.GetString());
    header.emplace_back(line);
    std::snprintf(line, sizeof line, "CameraModel=%s\tSN=%s", model.GetString(), serial.GetString());
    header.emplace_back(line);
    header.emplace_back("# ComputerName=" + platform::GetComputerName().substr(0, 15));
    for (const Tovanix::String& text : scriptLines) header.emplace_back(text.c_str());

    bool scriptLinesInHeader = false;
    {
        // Testing for an empty record and writing the header under one hold
        // keeps two threads filing the first images from both writing one.
        if (!_CachedLog_semaphore || !_CachedLog_semaphore->Wait(kCachedLogWaitMs)) {
            error = "GetNLines () - timeout waiting for _CachedLog_semaphore.";
            return false;
        }
        CachedLog* log = GetCachedLogObj(filed.logPath.c_str());
        if (log->lines.empty()) {
            for (const std::string& text : header) log->AppendLine(text.c_str());
            log->headerInsertPos = static_cast<int32_t>(log->lines.size());
            log->AppendLine(theApp.m_nPumpComPort != 0 ? kColumns14 : kColumns8);
            scriptLinesInHeader = true;
        }
        _CachedLog_semaphore->Release();
    }

    SYSTEMTIME now;
    GetLocalTime(&now);
    const int comPort = theApp.m_nPumpComPort;
    std::string row;
    std::snprintf(line, sizeof line, "%s\t%d/%02d/%02d\t%02d:%02d:%02d.%03d\t%ld\t%ld\t%s\t%ld\t",
                  filed.imageFile.c_str(), now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds, static_cast<long>(filed.exposureUs),
                  static_cast<long>(filed.dark || filed.saturated || !filed.saved ? 1 : 0), ErrorText(filed).c_str(),
                  static_cast<long>(filed.typeIndex));
    row = line;
    if (comPort != 0) row += PumpColumns(comPort) + "\t";
    row += SplitText();

    Tovanix::String logError;
    if (!scriptLinesInHeader) {
        for (const Tovanix::String& text : scriptLines) AddAHeaderLine(filed.logPath.c_str(), text.c_str(), &logError);
    }
    if (!AddALine(filed.logPath.c_str(), row.c_str(), &logError)) {
        error = logError.c_str();
        LogError(error);
        return false;
    }
    return true;
}

bool SaveImageToExperiment(const cv::Mat& image, const char* typeName, int captureIndex, int typeIndex,
                           int exposureUs, CString& error, const char* extraPrefix, CString* logPathOut) {
    FiledImage filed;
    const bool saved = WriteExperimentImage(image, typeName, captureIndex, typeIndex, exposureUs, error, extraPrefix,
                                            filed);
    CString logError;
    const bool logged = AddCaptureLogRow(filed, logError, logPathOut);
    if (!saved) return false;
    if (!logged) {
        error = logError;
        return false;
    }
    return true;
}
