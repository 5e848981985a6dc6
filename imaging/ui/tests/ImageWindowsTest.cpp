#include <gtest/gtest.h>

#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QTest>

#include <chrono>
#include <thread>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/RowFlattening.h"
#include "app/ActiveROI.h"
#include "app/FrameCommands.h"
#include "imaging/ImageDoc.h"
#include "imaging/ReferenceImage.h"
#include "imaging/tests/ImagingTestSupport.h"
#include "imaging/ui/ChildFrame.h"
#include "imaging/ui/DocTemplate.h"
#include "imaging/ui/ImageViewCommands.h"
#include "imaging/ui/ImageViewWidget.h"
#include "imaging/ui/RenderImage.h"
#include "platform/UiBridge.h"
#include "platform/testsupport/QtTestApplication.h"

namespace {

using imagingtest::ImagingTest;

class ImageWindowsTest : public ImagingTest {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        ImagingTest::SetUp();
        area = std::make_unique<QMdiArea>();
        area->resize(900, 700);
        area->show();
        docTemplate = std::make_unique<CMultiDocTemplate>(area.get());
        installed = std::make_unique<ScopedImageDocTemplate>(docTemplate.get());
    }

    void TearDown() override {
        installed.reset();
        docTemplate.reset();
        area.reset();
        ImagingTest::TearDown();
    }

    // Waits (for the render thread) until the document's window shows a picture.
    static cv::Mat ShownPicture(CImageDoc* document, CMultiDocTemplate& docTemplate) {
        ImageViewWidget* view = docTemplate.GetFrame(document)->View();
        const bool shown = QTest::qWaitFor([view] { return !view->Picture().empty(); }, 10000);
        EXPECT_TRUE(shown);
        return view->Picture();
    }

    std::unique_ptr<QMdiArea> area;
    std::unique_ptr<CMultiDocTemplate> docTemplate;
    std::unique_ptr<ScopedImageDocTemplate> installed;
};

// Cells on a sloping background, as a 16-bit camera frame (12-bit values
// shifted left by 4).
cv::Mat CameraLikeImage(int cols, int rows) {
    cv::Mat image(rows, cols, CV_16UC1);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            image.at<uint16_t>(r, c) = static_cast<uint16_t>((600 + 1800 * c / cols) << 4);
        }
    }
    for (int i = 0; i < 40; ++i) {
        const cv::Point centre((i * 97) % cols, (i * 61 + 40) % rows);
        cv::circle(image, centre, 12, cv::Scalar(3900 << 4), cv::FILLED);
        cv::circle(image, centre, 12, cv::Scalar(200 << 4), 3);
    }
    return image;
}

TEST_F(ImageWindowsTest, OpeningTwoImagesGivesTwoWindowsAndOpeningOneAgainActivatesIt) {
    ASSERT_TRUE(cv::imwrite(Path("a.png"), imagingtest::Flat16(10, 10, 1)));
    ASSERT_TRUE(cv::imwrite(Path("b.png"), imagingtest::Flat16(10, 10, 2)));

    CImageDoc* a = docTemplate->OpenDocumentFile(Path("a.png").c_str());
    CImageDoc* b = docTemplate->OpenDocumentFile(Path("b.png").c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(area->subWindowList().size(), 2);
    EXPECT_EQ(area->activeSubWindow(), docTemplate->GetFrame(b));
    EXPECT_EQ(docTemplate->GetFrame(a)->windowTitle(), "a.png");

    // The same path in other letters finds the open window.
    std::string upper = Path("A.PNG");
    EXPECT_EQ(docTemplate->OpenDocumentFile(upper.c_str()), a);
    EXPECT_EQ(area->subWindowList().size(), 2);
    EXPECT_EQ(area->activeSubWindow(), docTemplate->GetFrame(a));

    // Closing a window ends its document.
    docTemplate->CloseDocument(a);
    EXPECT_TRUE(QTest::qWaitFor([&] { return docTemplate->GetDocuments().size() == 1; }, 5000));
    EXPECT_EQ(docTemplate->GetDocuments(), std::vector<CImageDoc*>{b});
    EXPECT_EQ(area->subWindowList().size(), 1);
}

TEST_F(ImageWindowsTest, FileThatCannotBeReadOpensNoWindow) {
    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge installedBridge(bridge);
    imagingtest::WriteText(Path("broken.png"), "no pixels here");
    EXPECT_EQ(docTemplate->OpenDocumentFile(Path("broken.png").c_str()), nullptr);
    EXPECT_TRUE(area->subWindowList().isEmpty());
    EXPECT_EQ(bridge.ShownBoxes().size(), 1u);
}

TEST_F(ImageWindowsTest, WindowShowsTheImageMappedIntoTheOutputLevelsOfItsType) {
    // Left half at the display window's minimum, right half at its maximum.
    cv::Mat image = imagingtest::Flat16(200, 400, 0);
    image(cv::Rect(200, 0, 200, 200)).setTo(40000);
    struct Case {
        const char* name;
        int high;
    };
    const Case cases[] = {
        {"image.png", 200},                  // no type in the name: bright field
        {"Run1_brightfield_0001.png", 200},  // the type compares without regard to case
        {"Run1_GFP_0001.png", 230},
    };
    imagingtest::WriteText(g_IniPath.str(), "[AutoScale]\r\nLowMappingDisplayIntensity=30\r\n"
                                            "FluorescenceHighMappingDisplayIntensity=230\r\n");
    for (const Case& c : cases) {
        ASSERT_TRUE(cv::imwrite(Path(c.name), image));
        CImageDoc* document = docTemplate->OpenDocumentFile(Path(c.name).c_str());
        ASSERT_NE(document, nullptr);
        const cv::Mat picture = ShownPicture(document, *docTemplate);
        ASSERT_FALSE(picture.empty());
        // The whole image fills the picture: far left and far right.
        EXPECT_EQ(picture.at<cv::Vec4b>(picture.rows / 2, 2)[1], 30) << c.name;
        EXPECT_EQ(picture.at<cv::Vec4b>(picture.rows / 2, picture.cols - 3)[1], c.high) << c.name;
        docTemplate->CloseDocument(document);
    }
}

TEST_F(ImageWindowsTest, ScreenshotOfAWindowShowingA16BitImage) {
    imagingtest::WriteText(g_IniPath.str(), "[ScaleIntensitiesDlg]\r\nMinIntensity=8000\r\nMaxIntensity=65000\r\n");
    ASSERT_TRUE(cv::imwrite(Path("Run1_BRIGHTFIELD_0001.png"), CameraLikeImage(2448, 2048)));
    CImageDoc* document = docTemplate->OpenDocumentFile(Path("Run1_BRIGHTFIELD_0001.png").c_str());
    ASSERT_NE(document, nullptr);
    docTemplate->GetFrame(document)->resize(640, 560);
    ImageViewWidget* view = docTemplate->GetFrame(document)->View();
    // The picture for the final size.
    ASSERT_TRUE(QTest::qWaitFor(
        [view] { return view->Picture().cols == view->viewport()->width() + 1; }, 10000));
    QTest::qWait(50);
    const QImage shot = area->grab().toImage();
    ASSERT_TRUE(shot.save(QString::fromStdString(Path("image-window.png"))));

    // Cell rims below the display window map below the low output level
    // ((3200 - 8000) * (200 - 25) / (65000 - 8000) + 25); bright cells show.
    const cv::Mat picture = view->Picture();
    int darkest = 255;
    int brightest = 0;
    for (int r = 0; r < picture.rows; ++r) {
        for (int c = 0; c < picture.cols; ++c) {
            // Grey pixels only: the zoom centre's cross is drawn over the image.
            const cv::Vec4b& pixel = picture.at<cv::Vec4b>(r, c);
            if (pixel[0] != pixel[1] || pixel[1] != pixel[2]) continue;
            darkest = std::min<int>(darkest, pixel[1]);
            brightest = std::max<int>(brightest, pixel[1]);
        }
    }
    EXPECT_EQ(darkest, 10);
    EXPECT_GT(brightest, 150);
}

TEST_F(ImageWindowsTest, ReferenceImageOfAnOpenedFileIsSavedAndItsCloseQueued) {
    const std::string path = Path("Run2_GFP_0001.png");
    ASSERT_TRUE(cv::imwrite(path, imagingtest::Flat16(512, 612, 30000)));
    CString error;
    ASSERT_TRUE(SaveReferenceImage(path.c_str(), error, true)) << error.GetString();
    CImageDoc* document = docTemplate->FindDocument(path.c_str());
    ASSERT_NE(document, nullptr);

    const std::string reference = Path("Run2_GFP_0001.REF.BMP");
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(reference); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            platform::SemaphoreLock lock(*g_IdleRequestSemaphore, 1000);
            return !g_CloseDocumentRequests.empty();
        },
        10000));
    EXPECT_STREQ(g_CloseDocumentRequests[0].c_str(), path.c_str());
    const RECT client = docTemplate->GetFrame(document)->View()->GetClientRect();
    const ReferenceCrop crop = ComputeReferenceCrop(client, 612, 512);
    const cv::Mat saved = cv::imread(reference, cv::IMREAD_COLOR);
    EXPECT_EQ(saved.cols, crop.width);
    EXPECT_EQ(saved.rows, crop.height);
}

TEST_F(ImageWindowsTest, LiveFramesHandedOverByAnotherThreadReachTheWindow) {
    CImageDoc* preview = docTemplate->OpenNewDocument();
    ASSERT_NE(preview, nullptr);
    preview->m_bPreview = true;
    ImageViewWidget* view = docTemplate->GetFrame(preview)->View();

    // Frames rise from the display window's minimum to its maximum.
    std::thread camera([preview] {
        for (int value = 0; value <= 40000; value += 4000) {
            auto* frame = new cv::Mat(imagingtest::Flat16(300, 400, value));
            CString error;
            preview->SetMat(frame, error);
            delete frame;  // left with the caller only when the lock timed out
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    camera.join();
    // The last frame is shown at the bright-field high level.
    EXPECT_TRUE(QTest::qWaitFor(
        [view] { return !view->Picture().empty() && view->Picture().at<cv::Vec4b>(10, 10)[1] == 200; }, 10000));
}

TEST_F(ImageWindowsTest, InvertingAnOutlineTwiceRestoresThePixels) {
    struct Case {
        void (*invert)(CDC*, const RECT*);
        int changed;
    };
    const RECT rect{2, 3, 10, 8};  // 9 x 6 pixels, edges included
    const Case cases[] = {{InvertRectOutline, 2 * 9 + 2 * 6 - 4}, {InvertRectTopBottom, 2 * 9}};
    for (const Case& c : cases) {
        QImage image(20, 20, QImage::Format_RGB32);
        image.fill(qRgb(10, 100, 200));
        const QImage before = image.copy();
        {
            QPainter painter(&image);
            CDC dc(painter, nullptr);
            c.invert(&dc, &rect);
        }
        int changed = 0;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                if (image.pixel(x, y) != before.pixel(x, y)) {
                    ++changed;
                    EXPECT_EQ(image.pixel(x, y), qRgb(245, 155, 55));
                }
            }
        }
        EXPECT_EQ(changed, c.changed);
        EXPECT_EQ(image.pixel(2, 3), qRgb(245, 155, 55));
        EXPECT_EQ(image.pixel(10, 8), qRgb(245, 155, 55));
        {
            QPainter painter(&image);
            CDC dc(painter, nullptr);
            c.invert(&dc, &rect);
        }
        EXPECT_EQ(image, before);
    }
}

// Row flattening (32856) works on the active window's image inside the
// active region, and only when there are both.
TEST_F(ImageWindowsTest, FlattenRowsEvensTheRowsOfTheActiveImageInsideTheActiveRegion) {
    CommandRouter commands;
    InstallImageViewCommands(commands, area.get(), nullptr, nullptr);
    ROIRect* const kept = g_pActiveROI;
    g_pActiveROI = nullptr;

    // No image window: nothing to do.
    EXPECT_TRUE(commands.Execute(cmd::FlattenRows));

    // Rows of rising brightness with a dimmer column band.
    cv::Mat image(40, 60, CV_16UC1);
    for (int r = 0; r < image.rows; ++r) image.row(r).setTo(1000 + 100 * r);
    image.colRange(10, 20) /= 2;
    ASSERT_TRUE(cv::imwrite(Path("rows.png"), image));
    CImageDoc* document = docTemplate->OpenDocumentFile(Path("rows.png").c_str());
    ASSERT_NE(document, nullptr);
    auto pixels = [document] { return cv::Mat(*document->m_pImage).clone(); };

    // No active region: the image stays as it is.
    EXPECT_TRUE(commands.Execute(cmd::FlattenRows));
    EXPECT_EQ(cv::norm(pixels(), image, cv::NORM_INF), 0);

    ROIRect region{5, 8, 44, 30};
    g_pActiveROI = &region;
    // While another user holds the image, it is left alone.
    ASSERT_TRUE(g_MatAccessLock->Wait(0));
    EXPECT_FALSE(docTemplate->GetFrame(document)->View()->View().OnFlattenRows());
    g_MatAccessLock->Release();
    EXPECT_EQ(cv::norm(pixels(), image, cv::NORM_INF), 0);

    EXPECT_TRUE(commands.Execute(cmd::FlattenRows));
    cv::Mat expected = image.clone();
    const Tovanix::Roi roi{5, 8, 44, 30};
    std::vector<uint16_t> profile;
    ASSERT_TRUE(ComputeRowPercentileProfile(expected, roi, 0.99, profile));
    ASSERT_TRUE(FlattenRows(expected, roi, profile));
    const cv::Mat flattened = pixels();
    EXPECT_EQ(cv::norm(flattened, expected, cv::NORM_INF), 0);
    // Inside the region every row now peaks alike; outside nothing moved.
    EXPECT_EQ(flattened.at<uint16_t>(8, 30), flattened.at<uint16_t>(30, 30));
    EXPECT_NE(flattened.at<uint16_t>(8, 30), image.at<uint16_t>(8, 30));
    EXPECT_EQ(flattened.at<uint16_t>(31, 30), image.at<uint16_t>(31, 30));
    EXPECT_EQ(flattened.at<uint16_t>(8, 45), image.at<uint16_t>(8, 45));

    g_pActiveROI = kept;
    RemoveImageViewCommands(commands);
}

}  // namespace
