#include "app/ImageTypes.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "app/VelloraApp.h"
#include "platform/UiBridge.h"
#include "support/Profile.h"

bool IsImageTypeNameSet(const std::string& name) {
    return name.find_first_not_of(" \t") != std::string::npos;
}

ImageTypeNames ReadImageTypeNames(const char* settingsFile) {
    ImageTypeNames names;
    for (int type = 0; type < kImageTypeCount; ++type) {
        char key[32];
        std::snprintf(key, sizeof key, "ImageTypeName%d", type + 1);
        char value[1024] = {};
        if (Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "", value, sizeof value, settingsFile)) {
            names[static_cast<size_t>(type)] = value;
        }
    }
    return names;
}

int FirstSetImageType(const ImageTypeNames& names, int from) {
    for (int type = from < 0 ? 0 : from; type < kImageTypeCount; ++type) {
        if (IsImageTypeNameSet(names[static_cast<size_t>(type)])) return type;
    }
    return -1;
}

int ImageTypeIndexOfName(const ImageTypeNames& names, const std::string& text) {
    for (int type = 0; type < kImageTypeCount; ++type) {
        if (names[static_cast<size_t>(type)] == text) return type;
    }
    return -1;
}

namespace ImageTypeBox {

namespace {

struct State {
    std::mutex mutex;
    std::string text;
    bool exists = false;
    std::function<void(const std::string&)> showText;
};

State& TheBox() {
    static State* state = new State;
    return *state;
}

}  // namespace

void Attach(std::function<void(const std::string&)> showText) {
    State& box = TheBox();
    std::lock_guard<std::mutex> lock(box.mutex);
    box.showText = std::move(showText);
    box.exists = true;
}

void Detach() {
    State& box = TheBox();
    std::lock_guard<std::mutex> lock(box.mutex);
    box.showText = nullptr;
    box.exists = false;
    box.text.clear();
}

bool Exists() {
    State& box = TheBox();
    std::lock_guard<std::mutex> lock(box.mutex);
    return box.exists;
}

std::string Text() {
    State& box = TheBox();
    std::lock_guard<std::mutex> lock(box.mutex);
    return box.text;
}

void TextChanged(const std::string& text) {
    State& box = TheBox();
    std::lock_guard<std::mutex> lock(box.mutex);
    box.text = text;
}

bool ShowImageType(int index) {
    if (index < 0 || index > 3) return false;
    const ImageTypeNames names = ReadImageTypeNames(g_IniPath);
    const int type = FirstSetImageType(names, index);
    if (type < 0) return false;
    const std::string& name = names[static_cast<size_t>(type)];

    std::function<void(const std::string&)> showText;
    {
        State& box = TheBox();
        std::lock_guard<std::mutex> lock(box.mutex);
        box.text = name;
        showText = box.showText;
    }
    // The box's own change notice comes back through TextChanged; the lock
    // is not held while the user-interface thread runs it.
    if (showText) platform::RunOnUiThread([&] { showText(name); });
    return true;
}

signed char GetSelectedImageTypeIndex() {
    std::string text;
    {
        State& box = TheBox();
        std::lock_guard<std::mutex> lock(box.mutex);
        if (!box.exists) return 0;
        text = box.text;
    }
    return static_cast<signed char>(ImageTypeIndexOfName(ReadImageTypeNames(g_IniPath), text));
}

}  // namespace ImageTypeBox
