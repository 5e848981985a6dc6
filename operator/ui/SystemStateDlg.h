#pragma once

// The system state window: the lines of the digital I/O device's two ports
// and the state of both syringe pumps, refreshed at once when the window is
// shown and then every 2.5 seconds while it stays shown. The device queries
// run on a refresh thread of the window's own, which hands each result to
// the window through a queued call, so a busy pump line delays the refresh
// and never the user interface. Every control only displays.

#include <QDialog>
#include <QTimer>

#include <atomic>
#include <thread>

#include "operator/SystemState.h"
#include "platform/Sync.h"

class QCheckBox;
class QLineEdit;

class SystemStateDlg : public QDialog {
    Q_OBJECT
public:
    explicit SystemStateDlg(QWidget* parent = nullptr);
    ~SystemStateDlg() override;

    // Wakes the refresh thread (a wake-up during a refresh is lost).
    void RequestRefresh();
    // Puts a refresh's result into the controls; user-interface thread.
    void ShowState(const SystemStateFields& fields);

    QCheckBox* Port0Line(int line) const { return m_port0[line]; }
    QCheckBox* Port1Line(int line) const { return m_port1[line]; }
    QTimer& Timer() { return m_timer; }

signals:
    // A refresh's result is in the controls.
    void stateShown();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void RefreshThreadProc();
    void OnTimer();

    QCheckBox* m_port0[8] = {};
    QCheckBox* m_port1[4] = {};
    QLineEdit* m_volume[2] = {};
    QLineEdit* m_displacement[2] = {};
    QLineEdit* m_rate[2] = {};
    QLineEdit* m_valve[2] = {};
    QTimer m_timer;
    platform::Event m_refreshEvent{true, false};
    std::atomic<bool> m_stopping{false};
    std::thread m_refreshThread;
};

// The one window of the main window's command; created on first use.
extern SystemStateDlg* g_SystemStateDlg;
