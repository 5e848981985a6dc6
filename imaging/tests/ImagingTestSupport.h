#pragma once

// Shared set-up of the imaging tests: a data root and main settings file of
// the test's own, the render objects start-up makes, an empty render list
// before and after each test, and a window without Qt for views.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "app/VelloraApp.h"
#include "imaging/ImageView.h"
#include "imaging/RenderList.h"
#include "platform/CString.h"
#include "support/AppLogs.h"

namespace imagingtest {

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// Deletes every pending request.
inline void ClearRenderList() {
    while (RenderRequest* request = TakeRenderListHead()) {
        delete request;
    }
}

// The pending requests' paths, head first.
inline std::vector<std::string> PendingPaths() {
    std::vector<std::string> paths;
    for (RenderRequest* request : g_RenderList) {
        if (request) paths.push_back(request->m_strImagePath.str());
    }
    return paths;
}

class ImagingTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_MatAccessSemaphore) g_MatAccessSemaphore = std::make_unique<platform::Semaphore>(1, 1);
        if (!g_RenderEvent) g_RenderEvent = std::make_unique<platform::Event>(true, true);
        if (!_render_list_semaphore) _render_list_semaphore = std::make_unique<platform::Semaphore>(1, 1);
        ClearRenderList();
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::path(std::getenv("VELLORA_TEST_ROOT")) / test->test_suite_name() / test->name();
        std::filesystem::create_directories(root / "LOG");
        dataRoot = root.c_str();
        g_IniPath = (root / "Vellora.ini").c_str();
        theApp.m_strIniPath = g_IniPath;
        SetAppLogSources({&dataRoot, &fileVersion, &displayName, &g_IniPath});
    }

    void TearDown() override {
        ClearRenderList();
        g_CloseDocumentRequests.clear();
        g_LastDrawnIniPath.Empty();
        for (auto& row : g_ChannelMagnetLines) row = -1;
        SetRenderImageFunction(nullptr);
        SetAppLogSources({});
    }

    // Everything written to the error-and-info log in this test.
    std::string LogText() const {
        std::string text;
        for (const auto& entry : std::filesystem::directory_iterator(root / "LOG")) {
            std::ifstream file(entry.path(), std::ios::binary);
            std::stringstream content;
            content << file.rdbuf();
            text += content.str();
        }
        return text;
    }

    std::string Path(const std::string& relative) const { return (root / relative).string(); }

    std::filesystem::path root;
    CString dataRoot;
    CString fileVersion = "1.0.0.0";
    CString displayName = "Vellora";
};

// A view's window without Qt: a fixed client size, registered as a render
// target that keeps the pictures it receives.
class FakeViewWindow : public ImageViewWindow, public RenderTarget {
public:
    FakeViewWindow(int width, int height) : m_width(width), m_height(height) {
        m_handle = RegisterRenderTarget(this);
    }
    ~FakeViewWindow() override { Close(); }
    // Unregisters, as a closed window does; the handle is kept for checks.
    void Close() { UnregisterRenderTarget(m_handle); }

    RECT GetClientRect() const override {
        RECT rect;
        rect.right = m_width;
        rect.bottom = m_height;
        return rect;
    }
    HWND GetRenderTarget() const override { return m_handle; }
    void Invalidate() override { ++invalidations; }
    void SetScrollPositions(int horizontal, int vertical) override {
        scrollH = horizontal;
        scrollV = vertical;
    }
    void TitleChanged() override { ++titleChanges; }
    void StartOneShotTimer(int id, int milliseconds) override { timers.emplace_back(id, milliseconds); }
    void PresentPicture(const cv::Mat& picture) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        pictures.push_back(picture);
    }
    std::vector<cv::Mat> Pictures() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return pictures;
    }

    std::atomic<int> invalidations{0};
    int scrollH = -1;
    int scrollV = -1;
    int titleChanges = 0;
    std::vector<std::pair<int, int>> timers;  // id and milliseconds of each started timer

private:
    int m_width;
    int m_height;
    HWND m_handle = 0;
    std::mutex m_mutex;
    std::vector<cv::Mat> pictures;
};

// A 16-bit image of one value.
inline cv::Mat Flat16(int rows, int cols, int value) {
    return cv::Mat(rows, cols, CV_16UC1, cv::Scalar(value));
}

}  // namespace imagingtest
