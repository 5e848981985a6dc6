#include "operator/CustomerScreenPictures.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/Files.h"

namespace {

// Writes the bytes beside the target first, so that an interrupted write
// never leaves a broken picture under the real name.
bool WriteWhole(const std::string& path, const SuppliedFile& file) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.data), static_cast<std::streamsize>(file.size));
        if (!out.flush()) {
            out.close();
            std::filesystem::remove(temporary, ec);
            return false;
        }
    }
    std::filesystem::rename(temporary, path, ec);
    if (ec) std::filesystem::remove(temporary, ec);
    return !ec;
}

}  // namespace

bool InstallCustomerScreenPictures(const std::string& programFolder, const std::string& customerFolder,
                                   std::string* error) {
    bool ok = true;
    for (size_t i = 0; i < kCustomerScreenPicturesCount; ++i) {
        const SuppliedFile& file = kCustomerScreenPictures[i];
        if (!file.path) continue;
        const std::string name = file.path;
        const std::string& folder = name == "LogoDarkBackground_sm.png" ? programFolder : customerFolder;
        const std::string path = platform::JoinPath(folder, name);
        if (!platform::FindFileIgnoringCase(path).empty()) continue;
        if (!WriteWhole(path, file)) {
            ok = false;
            if (error) *error += "Unable to write " + path + "\n";
        }
    }
    return ok;
}
