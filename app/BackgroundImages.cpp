// The background images of the four image types: the instrument's set in the
// data root's BgImages folder ("BgImageType.<n>.tif", the replaced file kept
// once as ".old"), and one "<type name>.bg.tif" per type in an experiment's
// image folder. 16-bit TIFF files, written through a temporary file.

#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <strings.h>
#include <system_error>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "support/Profile.h"
#include "support/String.h"

namespace {

constexpr int kImageTypes = 4;

// <data root>\BgImages: the data root trimmed, a separator added when missing.
std::string BackgroundFolder(const CString& dataRoot) {
    Tovanix::String folder;
    folder.SetPath(dataRoot.GetString(), "BgImages");
    return platform::NativePath(folder.c_str());
}

std::string BackgroundFile(const std::string& folder, int type) {
    return platform::JoinPath(folder, "BgImageType." + std::to_string(type) + ".tif");
}

// Creates the folder when it is missing, one level only.
bool EnsureFolder(const std::string& folder) {
    if (platform::DirectoryExists(folder)) return true;
    std::error_code ec;
    return std::filesystem::create_directory(folder, ec) && !ec;
}

// Encodes before anything on disk changes, so an image the library cannot
// write leaves the files as they were.
bool EncodeTiff(const cv::Mat& image, std::vector<uchar>& bytes) {
    try {
        return !image.empty() && cv::imencode(".tif", image, bytes);
    } catch (const std::exception&) {
        return false;
    }
}

bool WriteTiff(const std::string& path, const std::vector<uchar>& bytes) {
    return platform::WriteFileAtomically(path, bytes.data(), bytes.size());
}

}  // namespace

bool CVelloraApp::SaveBackgroundImagesToFile(CString& error) {
    const char* function = "CVelloraApp::SaveBackgroundImagesToFile";
    const std::string folder = BackgroundFolder(m_strDataRoot);
    if (!EnsureFolder(folder)) {
        error.Format("%s() - can't create directory: %s", function, folder.c_str());
        return false;
    }
    for (int type = 1; type <= kImageTypes; ++type) {
        const cv::Mat* image = m_pBackgroundImages[type - 1];
        if (!image) continue;
        const std::string file = BackgroundFile(folder, type);
        std::vector<uchar> bytes;
        if (!EncodeTiff(*image, bytes)) {
            error.Format("%s() - problem saving image to file: %s", function, file.c_str());
            return false;
        }
        if (platform::FileExists(file)) {
            const std::string old = file + ".old";
            std::error_code ec;
            if (platform::FileExists(old) && !std::filesystem::remove(old, ec)) {
                error.Format("%s() - unable to delete file %s.", function, old.c_str());
                return false;
            }
            if (std::rename(file.c_str(), old.c_str()) != 0) {
                error.Format("%s() - unable to move file %s -> %s", function, file.c_str(), old.c_str());
                return false;
            }
        }
        if (!WriteTiff(file, bytes)) {
            error.Format("%s() - problem saving image to file: %s", function, file.c_str());
            return false;
        }
    }
    return true;
}

bool CVelloraApp::WriteBackgroundImage(const char* typeName, const char* folder) {
    const char* name = typeName ? typeName : "";
    Tovanix::String path;
    path.SetPath(folder ? folder : "", (std::string(name) + ".bg.tif").c_str());
    const std::string file = platform::NativePath(path.c_str());
    for (int index = 0; index < kImageTypes; ++index) {
        char key[32];
        std::snprintf(key, sizeof key, "ImageTypeName%d", index + 1);
        char configured[1024] = {};
        Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "", configured, sizeof configured, g_IniPath);
        if (strcasecmp(configured, name) != 0 || !m_pBackgroundImages[index]) continue;
        std::vector<uchar> bytes;
        if (!EncodeTiff(*m_pBackgroundImages[index], bytes) || !WriteTiff(file, bytes)) return false;
    }
    return true;
}

bool CVelloraApp::LoadBackgroundImagesFromFile(CString& error) {
    const char* function = "CVelloraApp::LoadBackgroundImagesFromFile";
    const std::string folder = BackgroundFolder(m_strDataRoot);
    if (!EnsureFolder(folder)) {
        error.Format("%s() - unable to create directory: %s", function, folder.c_str());
        return false;
    }
    for (cv::Mat*& image : m_pBackgroundImages) {
        delete image;
        image = nullptr;
    }
    for (int type = 1; type <= kImageTypes; ++type) {
        std::string file = BackgroundFile(folder, type);
        const std::string found = platform::FindFileIgnoringCase(file);
        if (found.empty()) continue;
        file = found;
        cv::Mat image;
        try {
            image = cv::imread(file, cv::IMREAD_ANYDEPTH);
        } catch (const std::exception&) {
            image.release();
        }
        // A file that does not decode is a failed load, not an empty background.
        if (image.empty()) {
            error.Format("%s() - problem trying to load image: %s", function, file.c_str());
            return false;
        }
        m_pBackgroundImages[type - 1] = new cv::Mat(image);
    }
    return true;
}
