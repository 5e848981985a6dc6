#include "analysis/BGImages.h"

#include "analysis/FolderListing.h"
#include "platform/Files.h"

#include <opencv2/imgcodecs.hpp>

#include <cstring>
#include <exception>

namespace {

constexpr char kBackgroundSuffix[] = ".bg.tif";
constexpr char kManualPrefix[] = "ManualCapture.";

}  // namespace

bool LoadBGImages(const char* folder, std::vector<cv::Mat>& images, std::vector<Tovanix::String>& typeNames,
                  Tovanix::String& error)
{
    Tovanix::String trimmed(folder);
    trimmed.Trim();  // also cuts the text at its first line end
    std::vector<FolderEntry> entries;
    if (!ListFolderEntriesEndingWith(trimmed.c_str(), kBackgroundSuffix, entries) || entries.empty())
        return false;

    for (const FolderEntry& entry : entries) {
        if (entry.isDirectory)
            continue;
        Tovanix::String typeName(entry.name.c_str());
        if (typeName.Replace(kBackgroundSuffix, "", 1000) != 1)
            continue;
        const std::string path = trimmed.HasText()
                                     ? platform::JoinPath(platform::NativePath(trimmed.c_str()), entry.name)
                                     : entry.name;
        cv::Mat image;
        try {
            image = cv::imread(path, cv::IMREAD_ANYDEPTH);
        } catch (const std::exception&) {
            error = (std::string("LoadBGImages() - Problem trying to open image: ") + path).c_str();
            return false;
        }
        // The name goes in with its image, so the two lists stay paired even
        // when a later file fails.
        typeNames.push_back(typeName);
        images.push_back(image);
    }
    return true;
}

bool GetImageTypeNameFromFileName(const char* fileName, Tovanix::String& typeName)
{
    if (!fileName)
        return false;
    const char* lastSeparator = std::strrchr(fileName, '_');
    if (!lastSeparator)
        return false;
    const ptrdiff_t last = lastSeparator - fileName;
    if (std::strncmp(fileName, kManualPrefix, std::strlen(kManualPrefix)) == 0) {
        // A manual capture has no index: the type runs to the extension.
        const size_t rest = std::strlen(lastSeparator + 1);
        if (rest < 4)
            return false;
        if (rest == 4)
            typeName = "";
        else
            typeName.Assign(lastSeparator + 1, static_cast<int32_t>(rest - 4));
        return true;
    }
    // The earlier '_' is looked for from two characters before the last one
    // down to the second character of the name.
    for (ptrdiff_t i = last - 2; i > 0; --i)
        if (fileName[i] == '_') {
            typeName.Assign(fileName + i + 1, static_cast<int32_t>(last - i - 1));
            return true;
        }
    return false;
}
