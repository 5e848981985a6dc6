#pragma once

// What the tool window tests share: an image document with a view on a
// window-free view window, installed as the active image view, waits with
// deadlines, a recording bridge for message boxes, and screenshots.

#include <QTest>
#include <QWidget>

#include <memory>
#include <string>

#include "imaging/ImageDoc.h"
#include "imaging/ImageView.h"
#include "platform/UiBridge.h"
#include "support/ShellUtils.h"
#include "tools/tests/ToolTestSupport.h"
#include "tools/ui/ActiveImageView.h"

namespace tools_testing {

class PlainViewWindow : public ImageViewWindow {
public:
    RECT GetClientRect() const override {
        RECT rect;
        rect.right = 400;
        rect.bottom = 300;
        return rect;
    }
    HWND GetRenderTarget() const override { return 0; }
    void Invalidate() override { ++invalidations; }
    void SetScrollPositions(int, int) override {}
    void TitleChanged() override {}
    int invalidations = 0;
};

// An image file opened in a document whose view is the active image view.
class OpenImage {
public:
    explicit OpenImage(const std::string& path) {
        document.SetPathName(path.c_str());
        document.OnOpenDocument(path.c_str());
        view = std::make_unique<CImageView>(&document, &window);
        SetActiveImageViewSource([this] { return view.get(); });
    }
    ~OpenImage() {
        SetActiveImageViewSource(nullptr);
        view.reset();
    }
    CImageDoc document;
    PlainViewWindow window;
    std::unique_ptr<CImageView> view;
};

// Message boxes answered from a queue; programs are not started.
class RecordingUi {
public:
    RecordingUi() : m_installed(bridge) {
        Tovanix::SetProcessStarter([this](const std::vector<std::string>& arguments, const std::string&) {
            started.push_back(arguments);
            return true;
        });
    }
    ~RecordingUi() { Tovanix::SetProcessStarter(nullptr); }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : bridge.ShownBoxes()) texts.push_back(box.text);
        return texts;
    }
    platform::ScriptedUiBridge bridge;
    std::vector<std::vector<std::string>> started;

private:
    platform::ScopedUiBridge m_installed;
};

template <class Condition>
bool WaitFor(Condition condition, int milliseconds = 20000) {
    return QTest::qWaitFor(condition, milliseconds);
}

// Keeps a picture of the window for a look by eye (VELLORA_TEST_ROOT).
inline void SaveScreenshot(QWidget& widget, const std::string& name) {
    widget.grab().save(QString::fromStdString((TestRoot() / (name + ".png")).string()));
}

}  // namespace tools_testing
