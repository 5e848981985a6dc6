#pragma once

// What the settings windows' tests share: a camera that reports a model, a
// key file loaded for the test and cleared after it, and reading one key.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "app/tests/AppTestSupport.h"
#include "devices/Camera.h"
#include "support/EncryptedProfile.h"
#include "support/Profile.h"

namespace settingstest {

// A camera that is open (or not) and names its model; nothing else works.
class ModelCamera : public Camera {
public:
    ModelCamera(const char* model, bool initialized) : m_model(model), m_initialized(initialized) {}
    bool Initialize(CString*, bool) override { return m_initialized; }
    bool IsInitialized() override { return m_initialized; }
    bool GetModelName(CString* model, CString*) override {
        *model = m_model;
        return true;
    }
    bool GetSerialNumber(CString*, CString*) override { return false; }
    bool GetImageSize(int*, int*, CString*) override { return false; }
    bool SetImageSize(int, int, CString*) override { return false; }
    bool StartStream(CString*) override { return false; }
    bool StopStream(CString*) override { return false; }
    bool CaptureSingleFrame(cv::Mat*, CString*) override { return false; }
    bool SetPixelDepth(int, CString*) override { return false; }
    bool GetPixelDepth(int*, CString*) override { return false; }
    bool GetGain(float*, CString*) override { return false; }
    bool SetGain(float, CString*) override { return false; }
    bool GetExposureTime(float*, CString*) override { return false; }
    bool SetExposureTime(float, CString*) override { return false; }
    bool GetDigitalOutput(int, bool*, CString*) override { return false; }
    bool SetDigitalOutput(int, bool, CString*) override { return false; }
    void SetFlipHorizontal(bool) override {}
    void SetFlipVertical(bool) override {}
    bool GetTemperature(double*, CString*) override { return false; }

private:
    CString m_model;
    bool m_initialized;
};

// Installs a camera for one test.
class ScopedCamera {
public:
    explicit ScopedCamera(Camera* camera) : m_camera(camera) { theApp.m_pCamera = camera; }
    ~ScopedCamera() {
        theApp.m_pCamera = nullptr;
        delete m_camera;
    }

private:
    Camera* m_camera;
};

// A key file of random bytes in `folder`, loaded; the store forgets it (and
// every registration) when the object goes.
class ScopedKeyFile {
public:
    explicit ScopedKeyFile(const std::filesystem::path& folder) {
        std::mt19937 random(7);
        std::string bytes(64000, '\0');
        for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
        apptest::Put(folder / "rand.bin", bytes);
        Tovanix::String error;
        EXPECT_TRUE(Tovanix::E_LoadRandomFile((folder / "rand.bin").c_str(), error)) << error.c_str();
    }
    ~ScopedKeyFile() { Forget(); }
    static void Forget() {
        Tovanix::g_RandomFileData.clear();
        Tovanix::g_RandomFileFingerprint.clear();
        Tovanix::g_EncryptedProfileFiles.clear();
    }
};

// The key's value; "<missing>" when the file or the key is missing.
inline std::string Value(const char* section, const char* key, const std::filesystem::path& file) {
    char buffer[2048] = {};
    Tovanix::E_GetPrivateProfileString(section, key, "<missing>", buffer, sizeof buffer, file.c_str());
    return buffer;
}

}  // namespace settingstest
