#pragma once

// The operator's window that moves the stage by hand: jogs in chosen
// increments, home, stop, absolute and constant-velocity moves of the focus
// and X axes, and both positions refreshed once a second. Every exchange with
// the stage runs on the panel's worker thread; the button that started it is
// disabled until it has finished.

#include <QDialog>
#include <QThreadPool>

#include <functional>

#include "devices/StagePanel.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class ZaberControlPanel : public QDialog {
    Q_OBJECT
public:
    explicit ZaberControlPanel(QWidget* parent = nullptr, StagePanel::LogSink log = {});
    ~ZaberControlPanel() override;

    // Writes the four edits to their settings; false while they are being filled.
    bool SaveSettings();
    // Blocks until the worker has run every queued exchange (tests, closing).
    void WaitForWorker();

    StagePanel& Stage() { return m_stage; }

signals:
    // The position edits show the result of a refresh.
    void positionsRefreshed();
    // The identity labels show the controller's answers.
    void identityShown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct AxisControls {
        QComboBox* increment = nullptr;
        QLineEdit* position = nullptr;
        QLineEdit* target = nullptr;
        QLineEdit* velocity = nullptr;
    };
    QWidget* BuildAxis(StagePanel::Axis axis, AxisControls* controls, int firstJogId, int incrementId,
                       int positionId, int homeId, int stopId, int moveAbsId, int targetId, int velocityId,
                       int velocityBackId, int velocityFwdId);
    // Runs `work` on the worker with `button` disabled meanwhile.
    void RunOnWorker(QPushButton* button, std::function<void()> work);
    void QueryIdentity();
    void RefreshPositions();
    void OnEditChanged();

    StagePanel m_stage;
    AxisControls m_focus;
    AxisControls m_x;
    QLabel* m_port = nullptr;
    QLabel* m_baud = nullptr;
    QLabel* m_model = nullptr;
    QLabel* m_serial = nullptr;
    QFrame* m_separator = nullptr;
    QWidget* m_xPart = nullptr;
    QTimer* m_refreshTimer = nullptr;
    QTimer* m_saveTimer = nullptr;
    bool m_loading = false;
    bool m_refreshing = false;
    QThreadPool m_worker;
};

// The one panel of the main window's command; created on first use.
extern ZaberControlPanel* g_ZaberControlPanel;
