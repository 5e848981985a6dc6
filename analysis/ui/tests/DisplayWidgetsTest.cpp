#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>

#include <opencv2/imgcodecs.hpp>

#include "platform/testsupport/QtTestApplication.h"
#include "analysis/ui/DisplayBlit.h"
#include "analysis/ui/IntensityControlWidget.h"

namespace {

using testsupport::EnsureApplication;

class DisplayWidgetsTest : public testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }

    static std::filesystem::path TestRoot() { return std::getenv("VELLORA_TEST_ROOT"); }
};

QRgb Rgb(int red, int green, int blue) {
    return qRgb(red, green, blue);
}

TEST_F(DisplayWidgetsTest, BlitConvertsToTheDevicesDepth) {
    struct Case {
        QImage::Format format;
        int depth;
    };
    for (const Case& c : {Case{QImage::Format_RGB32, 32}, Case{QImage::Format_RGB888, 24},
                          Case{QImage::Format_RGB16, 16}}) {
        SCOPED_TRACE(c.depth);
        QImage device(10, 6, c.format);
        device.fill(Qt::black);
        // Odd width, so 24-bit rows carry a padding byte.
        std::vector<uint32_t> pixels{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x808080, 0x000000};
        {
            QPainter painter(&device);
            ASSERT_EQ(painter.device()->depth(), c.depth);
            ASSERT_TRUE(Tovanix::BlitPixelsToDC(painter, 3, 2, pixels.data(), 4, 2));
        }
        EXPECT_EQ(device.pixel(4, 2), Rgb(255, 0, 0));
        EXPECT_EQ(device.pixel(5, 2), Rgb(0, 255, 0));
        EXPECT_EQ(device.pixel(6, 2), Rgb(0, 0, 255));
        EXPECT_EQ(device.pixel(4, 3), Rgb(255, 255, 255));
        EXPECT_EQ(qRed(device.pixel(5, 3)), c.depth == 16 ? 0x84 : 0x80);
        EXPECT_EQ(device.pixel(3, 2), Rgb(0, 0, 0));  // outside the blit
        EXPECT_EQ(device.pixel(7, 2), Rgb(0, 0, 0));
    }
}

TEST_F(DisplayWidgetsTest, BlitRefusesEmptySizes) {
    QImage device(4, 4, QImage::Format_RGB32);
    QPainter painter(&device);
    uint32_t pixel = 0;
    EXPECT_FALSE(Tovanix::BlitPixelsToDC(painter, 0, 1, &pixel, 0, 0));
}

TEST_F(DisplayWidgetsTest, ImageFilesDrawStretchedIntoTheRectangle) {
    // Samples at step 4 hold 1000, 1000, 2000, 2000; the rest is 1500.
    cv::Mat image(8, 8, CV_16UC1, cv::Scalar(1500));
    image.at<uint16_t>(0, 0) = 1000;
    image.at<uint16_t>(0, 4) = 1000;
    image.at<uint16_t>(4, 0) = 2000;
    image.at<uint16_t>(4, 4) = 2000;
    const std::string path = (TestRoot() / "channel.png").string();
    ASSERT_TRUE(cv::imwrite(path, image));

    QImage device(100, 60, QImage::Format_RGB32);
    device.fill(Qt::blue);
    {
        QPainter painter(&device);
        EXPECT_EQ(Tovanix::DrawImageFileTinted(path.c_str(), "green", painter, QRect(10, 10, 80, 40)), 1);
    }
    // 1500 between 1000 and 2000 shows as green 128.
    EXPECT_EQ(device.pixel(35, 22), Rgb(0, 128, 0));  // the middle of source pixel (2, 2)
    EXPECT_EQ(device.pixel(5, 5), Rgb(0, 0, 255));
    EXPECT_EQ(device.pixel(95, 55), Rgb(0, 0, 255));

    device.fill(Qt::blue);
    {
        QPainter painter(&device);
        EXPECT_EQ(Tovanix::DrawImageFileTinted((path + ".missing").c_str(), "red", painter, QRect(0, 0, 100, 60)),
                  1);
        EXPECT_EQ(Tovanix::DrawCompositeImageFiles(path.c_str(), "", "", painter, QRect(0, 0, 50, 60)), 1);
    }
    // Contrast 0..2000 over 180 grey levels: 1500 gives 135.
    EXPECT_EQ(device.pixel(15, 18), Rgb(135, 135, 135));
    EXPECT_EQ(device.pixel(75, 30), Rgb(0, 0, 255));  // nothing drawn for the missing file
}

// Histogram of a smooth two-peaked image, markers at 300 and 12000.
void FillDemoHistogram(Tovanix::IntensityControl& control) {
    cv::Mat image(200, 300, CV_16UC1);
    for (int r = 0; r < image.rows; ++r) {
        for (int c = 0; c < image.cols; ++c) {
            const double peak = c < 150 ? 400.0 : 9000.0;
            const double spread = 1.0 + 0.5 * std::sin(r * 0.37 + c * 0.11);
            image.at<uint16_t>(r, c) = static_cast<uint16_t>(peak * spread);
        }
    }
    CString error;
    ASSERT_TRUE(control.SetHistogramFromImage(image, error));
    ASSERT_TRUE(control.SetLowerAndUpperIntensities(300, 12000, error));
}

QColor ColourOf(Tovanix::ControlColour colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

TEST_F(DisplayWidgetsTest, HistogramControlPaintsBarsFrameAndMarkers) {
    Tovanix::IntensityControlWidget widget;
    widget.resize(248, 92);
    widget.setAutoFillBackground(true);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, Qt::black);
    widget.setPalette(palette);
    widget.show();
    Tovanix::IntensityControl& control = widget.Control();
    // Strip 60 high: markers 30 high and 15 either side.
    EXPECT_EQ(control.m_rect, (Tovanix::ControlRect{15, 0, 232, 60}));
    FillDemoHistogram(control);

    const QImage shot = widget.grab().toImage();
    ASSERT_TRUE(shot.save(QString::fromStdString((TestRoot() / "intensity-control.png").string())));

    EXPECT_EQ(shot.pixelColor(100, 0), ColourOf(control.m_frame_colour));
    EXPECT_EQ(shot.pixelColor(control.m_rect.right, 30), ColourOf(control.m_frame_colour));
    // The tallest bar reaches from just above the bottom inset to row 1.
    int tallest = 0;
    for (size_t k = 1; k < control.m_bars.size(); ++k) {
        if (control.m_bars[k] > control.m_bars[tallest]) {
            tallest = static_cast<int>(k);
        }
    }
    const int barX = control.m_rect.left + control.m_margin + tallest * control.m_bar_width;
    EXPECT_EQ(shot.pixelColor(barX + 1, 58), ColourOf(control.m_bar_colour));
    EXPECT_EQ(shot.pixelColor(barX + 1, 2), ColourOf(control.m_bar_colour));
    EXPECT_EQ(shot.pixelColor(barX + 3, 30), QColor(Qt::black));  // gap between bars

    const int lowerX = control.IntensityToX(300);
    EXPECT_EQ(shot.pixelColor(lowerX, 80), ColourOf(control.m_marker_colour));
    EXPECT_EQ(shot.pixelColor(lowerX - 14, 64), QColor(Qt::black));  // outside the triangle
}

TEST_F(DisplayWidgetsTest, DraggingAMarkerReportsTheNewRange) {
    Tovanix::IntensityControlWidget widget;
    widget.resize(248, 92);
    FillDemoHistogram(widget.Control());
    widget.grab();  // paints once, placing the markers' hit areas
    QSignalSpy changed(&widget, &Tovanix::IntensityControlWidget::markersChanged);

    const Tovanix::IntensityControl& control = widget.Control();
    const QPointF start(control.IntensityToX(12000), 80);
    const QPointF end(control.IntensityToX(30000), 80);
    QMouseEvent press(QEvent::MouseButtonPress, start, start, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    EXPECT_TRUE(control.m_dragging_upper);
    QMouseEvent release(QEvent::MouseButtonRelease, end, end, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &release);

    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toInt(), 300);
    EXPECT_EQ(changed[0][1].toInt(), control.XToIntensity(static_cast<int>(end.x())));
    EXPECT_GT(control.m_upper_intensity, 25000);
    EXPECT_FALSE(control.m_dragging_upper);
}

}  // namespace
