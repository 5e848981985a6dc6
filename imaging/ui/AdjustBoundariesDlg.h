#pragma once

// "Adjust Boundaries": sets the spacing of the magnet lines, or of the
// channel lines, in millimetres by moving the line opposite the anchor. One
// modeless window for the program, attached to the view it was last shown
// for; the view may close while the window stays open.

#include <QDialog>
#include <QPointer>

class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class ImageViewWidget;

class AdjustBoundariesDlg : public QDialog {
    Q_OBJECT
public:
    enum {
        IDD = 336,
        IDC_MAGNET_SPACING = 1226,
        IDC_MAGNET_ANCHOR_TOP = 1227,
        IDC_MAGNET_ANCHOR_BOTTOM = 1228,
        IDC_UPDATE_MAGNET = 1229,
        IDC_CHANNEL_SPACING = 1230,
        IDC_CHANNEL_ANCHOR_TOP = 1231,
        IDC_CHANNEL_ANCHOR_BOTTOM = 1232,
        IDC_UPDATE_CHANNEL = 1233,
    };
    static constexpr int kTimerMs = 1000;

    explicit AdjustBoundariesDlg(QWidget* parent = nullptr);

    // Attaches the window to the view, shows the spacings, anchors both
    // pairs at the bottom and starts the timer.
    void ShowForView(ImageViewWidget* view);

    // Handlers, public for the tests.
    void OnTimer();
    void OnUpdateMagnetSpacing();
    void OnUpdateChannelSpacing();

private:
    void RedrawView();

    QPointer<ImageViewWidget> m_view;
    QLineEdit* m_magnetSpacing;
    QRadioButton* m_magnetTop;
    QRadioButton* m_magnetBottom;
    QPushButton* m_updateMagnet;
    QLineEdit* m_channelSpacing;
    QRadioButton* m_channelTop;
    QRadioButton* m_channelBottom;
    QPushButton* m_updateChannel;
    QTimer* m_timer;
};

// The program's one Adjust Boundaries window, created on first use.
AdjustBoundariesDlg* GetAdjustBoundariesDlg(QWidget* parent);
// The window when it has been created, else null.
AdjustBoundariesDlg* FindAdjustBoundariesDlg();
