#include "imaging/ui/ImageViewCommands.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>

#include "app/FrameCommands.h"
#include "app/FrameHooks.h"
#include "imaging/NamedROIEditing.h"
#include "imaging/ui/ChildFrame.h"
#include "imaging/ui/ImageViewWidget.h"
#include "imaging/ui/ROIManager.h"

namespace {

// The readout follows the last click while the program is idle.
constexpr int kReadoutPeriodMs = 250;

QPointer<QTimer> g_readoutTimer;

constexpr int kViewCommands[] = {cmd::ScaleIntensities, cmd::AutoScaleIntensities, cmd::ZoomIn,
                                 cmd::ZoomOut,          cmd::FullScale,            cmd::SaveAs,
                                 cmd::SaveImageToExperiment, cmd::SaveReferenceImage,
                                 cmd::ChannelAndMagnetPositions, cmd::FlattenRows};

}  // namespace

ImageViewWidget* ActiveImageView(QMdiArea* area) {
    if (!area) return nullptr;
    auto* frame = qobject_cast<CChildFrame*>(area->activeSubWindow());
    return frame ? frame->View() : nullptr;
}

void InstallImageViewCommands(CommandRouter& commands, QMdiArea* area, QLabel* readoutPane, QWidget* parent) {
    QPointer<QMdiArea> guardedArea(area);
    for (int id : kViewCommands) {
        commands.SetHandler(id, [guardedArea, id] {
            if (ImageViewWidget* view = ActiveImageView(guardedArea)) view->View().OnCommand(id);
        });
    }
    QPointer<QWidget> owner(parent);
    // The command shows a hidden manager and hides a shown one.
    commands.SetHandler(cmd::ROIManager, [owner] {
        ROIManager* manager = GetROIManager(owner);
        manager->setVisible(!manager->isVisible());
        if (manager->isVisible()) manager->raise();
    });

    FrameHooks hooks = GetFrameHooks();
    hooks.selectROIByName = [](const char* name, ROIRect* rect, CString* error) {
        CString ignored;
        return rect && ROIManager::SelectROIByName(name, *rect, error ? *error : ignored);
    };
    hooks.showCurrentROI = [] {
        if (ROIManager* manager = FindROIManager()) manager->ShowCurrentROI();
    };
    SetFrameHooks(hooks);

    if (readoutPane) {
        QPointer<QLabel> pane(readoutPane);
        g_readoutTimer = new QTimer(readoutPane);
        QObject::connect(g_readoutTimer, &QTimer::timeout, readoutPane, [guardedArea, pane] {
            ImageViewWidget* view = ActiveImageView(guardedArea);
            CString text;
            if (pane && view && view->View().GetPixelReadout(text)) pane->setText(QString::fromLocal8Bit(text.GetString()));
        });
        g_readoutTimer->start(kReadoutPeriodMs);
    }
}

void RemoveImageViewCommands(CommandRouter& commands) {
    for (int id : kViewCommands) commands.SetHandler(id, nullptr);
    commands.SetHandler(cmd::ROIManager, [] {});
    FrameHooks hooks = GetFrameHooks();
    hooks.selectROIByName = nullptr;
    hooks.showCurrentROI = nullptr;
    SetFrameHooks(hooks);
    delete g_readoutTimer;
}
