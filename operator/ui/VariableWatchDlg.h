#pragma once

// The variable watch window: up to ten rows, each a variable name (typed, or
// picked from the names of the running script) and the variable's current
// value. The script thread hands its variables over at most once a second
// (VariableWatchFeed); the window shows them 10 ms later on the
// user-interface thread. While no script runs in the console's interpreter
// the rows are disabled.

#include <QComboBox>
#include <QDialog>
#include <QTimer>

#include <atomic>
#include <vector>

#include "operator/VariableWatch.h"

class QLineEdit;
class QPushButton;

// A name combo that says when its list is about to drop down.
class WatchNameCombo : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;

signals:
    void dropDown();
};

class VariableWatchDlg : public QDialog {
    Q_OBJECT
public:
    explicit VariableWatchDlg(QWidget* parent = nullptr);

    // Script thread: the run's variables before a line.
    void SetVariables(const std::vector<Variable>& variables);
    // Safe to ask from any thread.
    bool IsShown() const { return m_shown.load(); }

    // User-interface thread.
    void RefreshValues();
    void OnWatchAll();
    void OnDropDown(int row);

    WatchNameCombo* NameCombo(int row) const { return m_names[static_cast<size_t>(row)]; }
    QLineEdit* ValueEdit(int row) const { return m_values[static_cast<size_t>(row)]; }
    QPushButton* WatchAllButton() const { return m_watchAll; }
    QTimer& Timer() { return m_timer; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void EnableControls(bool enabled);

    VariableWatchFeed m_feed;
    std::vector<WatchNameCombo*> m_names;
    std::vector<QLineEdit*> m_values;
    QPushButton* m_watchAll = nullptr;
    QTimer m_timer;
    std::atomic<bool> m_shown{false};
};

// The one window of the main window's command; created on first use.
extern VariableWatchDlg* g_VariableWatchDlg;
