#include <gtest/gtest.h>

#include <QDialog>
#include <QImage>
#include <QPainter>
#include <QPushButton>

#include <string>
#include <vector>

#include "platform/testsupport/QtTestApplication.h"
#include "support/ui/ColorButton.h"
#include "support/ui/DialogControls.h"

namespace {

using testsupport::EnsureApplication;

constexpr uint32_t kRed = 0x000000FF;  // 0x00BBGGRR

// One letter per pixel: K black, W white, G grey, L light grey, C the button colour.
QColor ColorOf(char code) {
    switch (code) {
        case 'K': return QColor(0, 0, 0);
        case 'W': return QColor(255, 255, 255);
        case 'G': return QColor(128, 128, 128);
        case 'L': return QColor(192, 192, 192);
        case 'C': return QColor(255, 0, 0);
        default: return QColor(0, 0, 255);
    }
}

char CodeOf(QRgb pixel) {
    for (char code : std::string("KWGLC")) {
        if (ColorOf(code).rgb() == pixel) return code;
    }
    return '?';
}

// Paints an 8 x 6 button without caption in the given state onto an image
// and returns it as rows of pixel letters.
std::vector<std::string> Paint(unsigned state) {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(QColor(0, 0, 255));
    QDialog dialog;
    {
        QPainter painter(&image);
        Tovanix::DrawItemStruct item;
        item.painter = &painter;
        item.rcItem = QRect(0, 0, 8, 6);
        item.itemState = state;
        EXPECT_TRUE(Tovanix::DrawColorButton(&dialog, 1001, &item, kRed));
    }
    std::vector<std::string> rows;
    for (int y = 0; y < image.height(); ++y) {
        std::string row;
        for (int x = 0; x < image.width(); ++x) row += CodeOf(image.pixel(x, y));
        rows.push_back(row);
    }
    return rows;
}

TEST(DrawColorButtonTest, FramesArePixelExactForEveryState) {
    EnsureApplication();
    struct Case {
        const char* name;
        unsigned state;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"raised", 0,
         {"LKKKKKKL",
          "KWWWWWGK",
          "KWCCCGGK",
          "KWGGGGGK",
          "KGGGGGGK",
          "LKKKKKKL"}},
        {"pressed", Tovanix::ODS_SELECTED,
         {"LKKKKKKL",
          "KLLLLLCK",
          "KLCCCCCK",
          "KLCCCCCK",
          "KLCCCCCK",
          "LKKKKKKL"}},
        // The focus frame lies just inside the outline; the shading moves in by one.
        {"raised with focus", Tovanix::ODS_FOCUS,
         {"LKKKKKKL",
          "KKKKKKKK",
          "KKWWWGKK",
          "KKGGGGKK",
          "KKKKKKKK",
          "LKKKKKKL"}},
        {"pressed with focus", Tovanix::ODS_SELECTED | Tovanix::ODS_FOCUS,
         {"LKKKKKKL",
          "KKKKKKKK",
          "KKLLLCKK",
          "KKLCCCKK",
          "KKKKKKKK",
          "LKKKKKKL"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Paint(c.state), c.expected) << c.name;
    }
}

// The bounding box of the caption's dark pixels inside the frame.
QRect CaptionBox(unsigned state) {
    EnsureApplication();
    QDialog dialog;
    auto* button = new QPushButton("W", &dialog);
    Tovanix::SetDlgCtrlID(button, 1001);
    QImage image(60, 30, QImage::Format_RGB32);
    image.fill(Qt::blue);
    {
        QPainter painter(&image);
        Tovanix::DrawItemStruct item{&painter, QRect(0, 0, 60, 30), state};
        EXPECT_TRUE(Tovanix::DrawColorButton(&dialog, 1001, &item, 0x00FFFFFF));
    }
    QRect box;
    for (int y = 3; y < 27; ++y) {
        for (int x = 3; x < 57; ++x) {
            if (qGray(image.pixel(x, y)) < 100) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

TEST(DrawColorButtonTest, PressingMovesTheCaptionRightAndDownByOnePixel) {
    const QRect raised = CaptionBox(0);
    const QRect pressed = CaptionBox(Tovanix::ODS_SELECTED);
    ASSERT_FALSE(raised.isEmpty()) << "the caption was not drawn";
    EXPECT_EQ(pressed, raised.translated(1, 1));
}

// A button that paints itself through the draw call without a request.
class SelfPaintingButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    bool drawn = false;

protected:
    void paintEvent(QPaintEvent*) override { drawn = Tovanix::DrawColorButton(parentWidget(), 1002, nullptr, kRed); }
};

TEST(DrawColorButtonTest, WithoutARequestPaintsTheControlOnlyFromItsPaintEvent) {
    EnsureApplication();
    QDialog dialog;
    auto* button = new SelfPaintingButton("", &dialog);
    Tovanix::SetDlgCtrlID(button, 1002);
    button->resize(40, 20);

    const QImage shown = button->grab().toImage();
    EXPECT_TRUE(button->drawn);
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(192, 192, 192));
    EXPECT_EQ(shown.pixelColor(20, 5), QColor(255, 0, 0));
    EXPECT_EQ(shown.pixelColor(20, 19), QColor(0, 0, 0));

    // Outside a paint event the control cannot be painted on.
    EXPECT_FALSE(Tovanix::DrawColorButton(&dialog, 1002, nullptr, kRed));
    EXPECT_FALSE(Tovanix::DrawColorButton(&dialog, 4711, nullptr, kRed));
    EXPECT_FALSE(Tovanix::DrawColorButton(nullptr, 1002, nullptr, kRed));
}

}  // namespace
