#include <gtest/gtest.h>

#include <cmath>

#include <QImage>
#include <QPainter>

#include "analysis/ui/ProjectionPainter.h"
#include "platform/testsupport/QtTestApplication.h"

// A band drawn through the painter canvas lands in the view's pixels: the
// yellow frame and the red profile beside the region, at the right place.
TEST(ProjectionPainter, DrawsFrameAndProfileOntoTheView)
{
    testsupport::EnsureApplication();
    cv::Mat image(200, 80, CV_16UC1);
    for (int r = 0; r < image.rows; ++r)
        image.row(r).setTo(cv::Scalar(1000 + std::lround(3000 * std::exp(-0.5 * (r - 100) * (r - 100) / 100.0))));
    ProjectionAnalysisParams p;
    p.image_pixels_per_mm = 500;
    p.numPeaksToFind = 1;
    p.stdevIntegrationArea = 1.0;
    p.integrationSamples = 11;
    p.left = 0;
    p.right = 39;
    p.top = 0;
    p.bottom = 199;

    QImage view(400, 1000, QImage::Format_RGB32);
    view.fill(Qt::black);
    {
        QPainter painter(&view);
        PainterProjectionCanvas canvas(painter);
        ProjectionDrawTarget target{&canvas, 0, 0, 400, 1000, 0, 1, 0, 1};
        std::vector<ProjectionPeak> peaks;
        int32_t elapsed = 0;
        CString error;
        ASSERT_TRUE(ComputeAndPlotProjection(image, p, peaks, elapsed, error, &target, nullptr));
        ASSERT_EQ(peaks.size(), 1u);
    }
    // Frame: X0 = column 40 (device 200), X1 = column 48 (240), drawn one pixel right.
    EXPECT_EQ(view.pixelColor(201, 10), QColor(192, 192, 0));
    EXPECT_EQ(view.pixelColor(241, 10), QColor(192, 192, 0));
    // Row 80 (device y 400) holds exp(-2) of the band: the profile passes
    // 40 x 0.135 = 5.4 pixels right of the box's left edge there.
    bool red = false;
    for (int x = 203; x <= 208 && !red; ++x)
        red = view.pixelColor(x, 400) == QColor(255, 0, 0);
    EXPECT_TRUE(red);
    // At the band's row the fitted curve, drawn last, covers the peak marker,
    // whose vertical stroke still shows above it.
    EXPECT_EQ(view.pixelColor(240, 498), QColor(60, 160, 100));
    EXPECT_EQ(view.pixelColor(240, 495), QColor(100, 255, 150));
    EXPECT_EQ(view.pixelColor(100, 498), QColor(Qt::black));  // nothing over the image itself
}
