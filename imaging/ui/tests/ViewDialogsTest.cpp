// The image view driven by the mouse, and the dialogs it opens.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <opencv2/imgcodecs.hpp>

#include "app/ActiveROI.h"
#include "app/FrameCommands.h"
#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "app/ui/ComputePixelsPerMMDlg.h"
#include "imaging/ImageDoc.h"
#include "imaging/tests/ImagingTestSupport.h"
#include "imaging/ui/AdjustBoundariesDlg.h"
#include "imaging/ui/ChildFrame.h"
#include "imaging/ui/ChooseROI.h"
#include "imaging/ui/DocTemplate.h"
#include "imaging/ui/ImageViewCommands.h"
#include "imaging/ui/ImageViewWidget.h"
#include "imaging/ui/ROIManager.h"
#include "imaging/ui/ScaleIntensitiesDlg.h"
#include "platform/UiBridge.h"
#include "platform/testsupport/QtTestApplication.h"
#include "support/ui/DialogControls.h"

namespace {

using imagingtest::ImagingTest;
using imagingtest::ReadText;
using imagingtest::WriteText;

// Keeps a picture of a window where VELLORA_SCREENSHOT_DIR names a folder.
void Screenshot(QWidget* widget, const char* name) {
    QApplication::processEvents();
    if (const char* folder = std::getenv("VELLORA_SCREENSHOT_DIR")) {
        widget->grab().save(QString(folder) + "/" + name);
    }
}

template <typename T>
T* Control(QWidget* dialog, int id) {
    return qobject_cast<T*>(Tovanix::GetDlgItem(dialog, id));
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

class ViewDialogsTest : public ImagingTest {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        ImagingTest::SetUp();
        area = std::make_unique<QMdiArea>();
        area->resize(900, 700);
        area->show();
        docTemplate = std::make_unique<CMultiDocTemplate>(area.get());
        installed = std::make_unique<ScopedImageDocTemplate>(docTemplate.get());
        readoutPane = std::make_unique<QLabel>();
        InstallImageViewCommands(commands, area.get(), readoutPane.get(), nullptr);
        g_LastClickX = g_LastClickY = 0.0;
        g_HideROIOverlays = false;
        *AllocateActiveROI() = ROIRect{};
        g_ActiveROI = ROIRect{};
    }

    void TearDown() override {
        ImageViewWidget::SetDialogRunner(nullptr);
        RemoveImageViewCommands(commands);
        delete FindROIManager();
        delete FindAdjustBoundariesDlg();
        installed.reset();
        docTemplate.reset();
        area.reset();
        readoutPane.reset();
        theApp.m_bAdminMode = false;
        ImagingTest::TearDown();
    }

    // An image window of 400 x 200 pixels shown at 400 x 200 client pixels.
    ImageViewWidget* OpenView(const cv::Mat& image, const char* name = "Run1_GFP_0001.png") {
        EXPECT_TRUE(cv::imwrite(Path(name), image));
        CImageDoc* document = docTemplate->OpenDocumentFile(Path(name).c_str());
        EXPECT_NE(document, nullptr);
        CChildFrame* frame = docTemplate->GetFrame(document);
        ImageViewWidget* view = frame->View();
        frame->resize(frame->size() - view->viewport()->size() + QSize(400, 200));
        QApplication::processEvents();
        EXPECT_EQ(view->viewport()->size(), QSize(400, 200));
        return view;
    }

    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge installedUi{ui};
    CommandRouter commands;
    std::unique_ptr<QLabel> readoutPane;
    std::unique_ptr<QMdiArea> area;
    std::unique_ptr<CMultiDocTemplate> docTemplate;
    std::unique_ptr<ScopedImageDocTemplate> installed;
};

TEST_F(ViewDialogsTest, MouseClicksReadPixelsAndDragsSetTheActiveROI) {
    cv::Mat image = imagingtest::Flat16(200, 400, 100);
    image.at<uint16_t>(50, 120) = 777;
    ImageViewWidget* view = OpenView(image);
    QWidget* viewport = view->viewport();

    SendMouse(viewport, QEvent::MouseButtonPress, {120, 50}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(viewport, QEvent::MouseButtonRelease, {120, 50}, Qt::LeftButton, Qt::NoButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return readoutPane->text() == "pix[120,50]=777"; }, 5000))
        << readoutPane->text().toStdString();

    // Zoom in from the toolbar command: around the click.
    ASSERT_TRUE(commands.Execute(cmd::ZoomIn));
    EXPECT_NEAR(view->View().m_dViewLeft, 0.05, 1e-12);  // half the width around x = 0.3
    EXPECT_NEAR(view->View().m_dViewRight, 0.55, 1e-12);
    view->View().OnCommand(viewcmd::FullScale);

    // The ROI drag from the context menu's command.
    std::unique_ptr<QMenu> menu(view->CreateContextMenu());
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) texts << action->text();
    }
    EXPECT_TRUE(texts.contains("Channel and Magnet Positions"));
    EXPECT_TRUE(texts.contains("Edit Active Region Of Interest"));
    for (QAction* action : menu->actions()) {
        if (action->text() == "Edit Active Region Of Interest") action->trigger();
    }
    ASSERT_TRUE(view->View().m_bEditROI);
    SendMouse(viewport, QEvent::MouseButtonPress, {300, 150}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(viewport, QEvent::MouseMove, {200, 100}, Qt::NoButton, Qt::LeftButton);
    SendMouse(viewport, QEvent::MouseMove, {100, 20}, Qt::NoButton, Qt::LeftButton);
    Screenshot(area.get(), "roi-drag.png");
    SendMouse(viewport, QEvent::MouseButtonRelease, {100, 20}, Qt::LeftButton, Qt::NoButton);
    const ROIRect roi = *g_pActiveROI;
    EXPECT_EQ(std::vector<int>({roi.left, roi.top, roi.right, roi.bottom}), std::vector<int>({100, 20, 300, 150}));
    SendMouse(viewport, QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(view->View().m_bEditROI);
}

TEST_F(ViewDialogsTest, MeasuringOpensTheCalibrationDialogWithAPositiveHeight) {
    ImageViewWidget* view = OpenView(imagingtest::Flat16(200, 400, 100));
    QWidget* viewport = view->viewport();
    double shownHeight = 0.0;
    ImageViewWidget::SetDialogRunner([&shownHeight](QDialog* dialog) {
        auto* calibration = qobject_cast<ComputePixelsPerMMDlg*>(dialog);
        if (!calibration) return static_cast<int>(platform::IDCANCEL);
        shownHeight = calibration->m_dObjectHeightPixels;
        auto* heightMM = Control<QLineEdit>(dialog, ComputePixelsPerMMDlg::IDC_HEIGHT_MM);
        auto* save = Control<QPushButton>(dialog, platform::IDOK);
        auto* message = Control<QLabel>(dialog, ComputePixelsPerMMDlg::IDC_MESSAGE);
        EXPECT_EQ(Control<QLineEdit>(dialog, ComputePixelsPerMMDlg::IDC_HEIGHT_PIXELS)->text(), "160.000");
        heightMM->setText("0.4");
        calibration->OnTimer();
        EXPECT_FALSE(save->isEnabled());
        EXPECT_EQ(message->text(), "Enter an object height between 0.5 and 100 mm");
        heightMM->setText("0.5");
        calibration->OnTimer();
        EXPECT_TRUE(save->isEnabled());
        EXPECT_EQ(save->text(), "Save New image_pixels_per_mm = 320.000");
        dialog->show();
        Screenshot(dialog, "pixels-per-mm.png");
        calibration->OnOK();
        return static_cast<int>(platform::IDOK);
    });
    view->View().OnCommand(viewcmd::DefinePixelsPerMM);
    // Dragged upwards: 160 rows.
    SendMouse(viewport, QEvent::MouseButtonPress, {50, 180}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(viewport, QEvent::MouseMove, {55, 20}, Qt::NoButton, Qt::LeftButton);
    SendMouse(viewport, QEvent::MouseButtonRelease, {55, 20}, Qt::LeftButton, Qt::NoButton);
    EXPECT_DOUBLE_EQ(shownHeight, 160.0);
    EXPECT_NE(ReadText(g_IniPath.str()).find("image_pixels_per_mm=320\r\n"), std::string::npos);
}

TEST_F(ViewDialogsTest, ScaleIntensitiesPreviewsAndCancelRestoresTheFormerWindow) {
    ImageViewWidget* view = OpenView(imagingtest::Flat16(200, 400, 100));
    CImageView& state = view->View();
    state.m_nDisplayMax = 30000;
    state.m_nDisplayMin = 200;
    ImageViewWidget::SetDialogRunner([&state](QDialog* dialog) {
        auto* scale = qobject_cast<ScaleIntensitiesDlg*>(dialog);
        auto* maxEdit = Control<QLineEdit>(dialog, ScaleIntensitiesDlg::IDC_MAX);
        auto* minEdit = Control<QLineEdit>(dialog, ScaleIntensitiesDlg::IDC_MIN);
        EXPECT_EQ(maxEdit->text(), "30000");
        dialog->show();
        Screenshot(dialog, "scale-intensities.png");
        // Typed past 16 bits: the preview wraps as the view keeps 16 bits.
        QTest::keyClicks(maxEdit, "");
        maxEdit->setText("70000");
        emit maxEdit->textEdited(maxEdit->text());
        EXPECT_TRUE(QTest::qWaitFor([&state] { return state.m_nDisplayMax == 4464; }, 5000));
        minEdit->setText("-1");
        scale->OnTimer(ScaleIntensitiesDlg::IDC_MIN);
        EXPECT_TRUE(QTest::qWaitFor([&state] { return state.m_nDisplayMin == 65535; }, 5000));
        // A text that is not a number previews nothing.
        minEdit->setText("abc");
        scale->OnTimer(ScaleIntensitiesDlg::IDC_MIN);
        QApplication::processEvents();
        EXPECT_EQ(state.m_nDisplayMin, 65535);
        scale->OnCancel();
        return static_cast<int>(platform::IDCANCEL);
    });
    state.OnCommand(viewcmd::ScaleIntensities);
    EXPECT_TRUE(QTest::qWaitFor([&state] { return state.m_nDisplayMax == 30000 && state.m_nDisplayMin == 200; }, 5000));

    // OK refuses a number that does not parse; Set Default stores the pair.
    ImageViewWidget::SetDialogRunner([this](QDialog* dialog) {
        auto* scale = qobject_cast<ScaleIntensitiesDlg*>(dialog);
        Control<QLineEdit>(dialog, ScaleIntensitiesDlg::IDC_MAX)->setText("");
        scale->OnOK();
        EXPECT_EQ(ui.ShownBoxes().size(), 1u);
        if (!ui.ShownBoxes().empty()) EXPECT_EQ(ui.ShownBoxes()[0].text, "Max Intensity is not a whole number");
        EXPECT_NE(dialog->result(), QDialog::Accepted);
        Control<QLineEdit>(dialog, ScaleIntensitiesDlg::IDC_MAX)->setText("50000");
        Control<QLineEdit>(dialog, ScaleIntensitiesDlg::IDC_MIN)->setText("1000");
        scale->OnSetDefault();
        return dialog->result() == QDialog::Accepted ? static_cast<int>(platform::IDOK)
                                                     : static_cast<int>(platform::IDCANCEL);
    });
    state.OnCommand(viewcmd::ScaleIntensities);
    EXPECT_EQ(state.m_nDisplayMax, 50000);
    EXPECT_EQ(state.m_nDisplayMin, 1000);
    const std::string ini = ReadText(g_IniPath.str());
    EXPECT_NE(ini.find("MaxIntensity=50000"), std::string::npos);
    EXPECT_NE(ini.find("MinIntensity=1000"), std::string::npos);
}

TEST_F(ViewDialogsTest, AdjustBoundariesMovesTheLineOppositeTheAnchor) {
    WriteText(g_IniPath.str(), "[CalibrationSettings]\r\nimage_pixels_per_mm=500\r\n");
    ImageViewWidget* view = OpenView(imagingtest::Flat16(200, 400, 100));
    g_ChannelMagnetLines[0] = 400;
    g_ChannelMagnetLines[1] = 1500;
    g_ChannelMagnetLines[2] = 100;
    g_ChannelMagnetLines[3] = 1800;
    view->View().OnCommand(viewcmd::AdjustBoundaries);
    AdjustBoundariesDlg* dialog = FindAdjustBoundariesDlg();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(dialog->isVisible());
    auto* magnets = Control<QLineEdit>(dialog, AdjustBoundariesDlg::IDC_MAGNET_SPACING);
    auto* update = Control<QPushButton>(dialog, AdjustBoundariesDlg::IDC_UPDATE_MAGNET);
    EXPECT_EQ(magnets->text(), "3.400");
    EXPECT_EQ(Control<QLineEdit>(dialog, AdjustBoundariesDlg::IDC_CHANNEL_SPACING)->text(), "2.200");
    EXPECT_TRUE(Control<QRadioButton>(dialog, AdjustBoundariesDlg::IDC_MAGNET_ANCHOR_BOTTOM)->isChecked());
    dialog->OnTimer();
    EXPECT_FALSE(update->isEnabled());
    Screenshot(dialog, "adjust-boundaries.png");

    magnets->setText("4");
    dialog->OnTimer();
    EXPECT_TRUE(update->isEnabled());
    update->click();
    EXPECT_EQ(g_ChannelMagnetLines[2], -200);
    Control<QRadioButton>(dialog, AdjustBoundariesDlg::IDC_MAGNET_ANCHOR_TOP)->setChecked(true);
    update->click();
    EXPECT_EQ(g_ChannelMagnetLines[3], 1800);
    EXPECT_NE(ReadText(g_IniPath.str()).find("UpperMagnet=-200"), std::string::npos);

    // The view closes; the window stays and its timer stops.
    docTemplate->CloseDocument(view->View().GetDocument());
    ASSERT_TRUE(QTest::qWaitFor([this] { return docTemplate->GetDocuments().empty(); }, 5000));
    dialog->OnTimer();
    update->click();  // no view to redraw: nothing breaks
}

TEST_F(ViewDialogsTest, ROIManagerEditsSavesRefusesAndDeletes) {
    WriteText(g_IniPath.str(), "[ROI]\r\nitem0=\"B\",5,6,7,8\r\nitem1=\"A\",10,300,20,400\r\nitem2=\"C\",1,2,3,4\r\n");
    *AllocateActiveROI() = ROIRect{11, 22, 33, 44};
    ASSERT_TRUE(commands.Execute(cmd::ROIManager));
    ROIManager* manager = FindROIManager();
    ASSERT_NE(manager, nullptr);
    ASSERT_TRUE(manager->isVisible());
    auto* name = Control<QLineEdit>(manager, ROIManager::IDC_NAME);
    auto* left = Control<QLineEdit>(manager, ROIManager::IDC_LEFT);
    auto* top = Control<QLineEdit>(manager, ROIManager::IDC_TOP);
    auto* save = Control<QPushButton>(manager, ROIManager::IDC_SAVE);
    EXPECT_EQ(left->text(), "11");
    EXPECT_EQ(manager->List()->count(), 3);
    EXPECT_EQ(manager->List()->item(0)->text(), "A");

    // The hooks the main window and the scripts use.
    EXPECT_TRUE(SetActiveROIByName("A"));
    EXPECT_EQ(left->text(), "10");
    EXPECT_EQ(top->text(), "20");
    ROIRect rect;
    CString error;
    EXPECT_FALSE(GetFrameHooks().selectROIByName("Z", &rect, &error));
    EXPECT_STREQ(error.GetString(), "There is not ROI with name: Z");

    // Selecting previews; a changed number enables the save.
    manager->List()->setCurrentRow(0);
    EXPECT_EQ(name->text(), "A");
    EXPECT_EQ(g_ActiveROI.right, 300);
    top->setText("25");
    manager->OnTimer();
    EXPECT_TRUE(save->isEnabled());
    EXPECT_EQ(g_ActiveROI.top, 25);
    Screenshot(manager, "roi-manager.png");
    save->click();
    EXPECT_FALSE(save->isEnabled());
    EXPECT_NE(ReadText(g_IniPath.str()).find("item1=\"A\",10,300,25,400"), std::string::npos);

    // A number that does not parse: no preview, no save, the field's message.
    top->setText("x");
    manager->OnTimer();
    EXPECT_FALSE(save->isEnabled());
    EXPECT_EQ(g_ActiveROI.top, 25);
    manager->OnSaveChanges();
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].text, "Top is not a whole number");

    // Delete of the middle entry (in file order), for the administrator.
    theApp.m_bAdminMode = true;
    manager->OnDelete(0);  // "A", stored second
    EXPECT_EQ(manager->List()->count(), 2);
    const std::string ini = ReadText(g_IniPath.str());
    EXPECT_NE(ini.find("[ROI]\r\nitem0=\"B\",5,6,7,8\r\nitem1=\"C\",1,2,3,4\r\n"), std::string::npos);

    // Hiding the window takes its preview away.
    manager->hide();
    EXPECT_EQ(g_ActiveROI.right, 0);
}

TEST_F(ViewDialogsTest, ChooseROIPreviewsAndMakesTheChoiceActive) {
    WriteText(g_IniPath.str(), "[ROI]\r\nitem0=\"Beads\",10,300,20,400\r\nitem1=\"Cells\",1,2,3,4\r\n");
    ChooseROI dialog;
    ASSERT_EQ(dialog.List()->count(), 2);
    dialog.OnOK();  // nothing chosen: stays open
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.List()->setCurrentRow(0);
    EXPECT_EQ(g_ActiveROI.right, 300);
    dialog.show();
    Screenshot(&dialog, "choose-roi.png");
    dialog.OnOK();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(g_ActiveROI.right, 0);
    const ROIRect roi = *g_pActiveROI;
    EXPECT_EQ(std::vector<int>({roi.left, roi.top, roi.right, roi.bottom}), std::vector<int>({10, 20, 300, 400}));
}

}  // namespace
