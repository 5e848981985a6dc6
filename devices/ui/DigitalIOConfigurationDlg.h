#pragma once

// The engineer's window onto the digital I/O device: twelve boxes show the
// live level of every physical line and switch the output lines by hand;
// the lists edit the LED and interlock line assignment, which is reloaded
// after every change.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QTimer;

class DigitalIOConfigurationDlg : public QDialog {
    Q_OBJECT
public:
    explicit DigitalIOConfigurationDlg(QWidget* parent = nullptr);

    // Enables every line box but those of the interlock inputs.
    void RefreshLineButtons();
    // Selects in each list the value of its setting.
    void FillCombos();
    // Reads both ports into the boxes; failures leave the boxes as they are.
    void PollLines();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OnListChanged(QComboBox* list, const char* key, bool interlock);
    void ReloadMapping(unsigned iconType);

    QCheckBox* m_lines[12] = {};
    QTimer* m_poll = nullptr;
};

extern DigitalIOConfigurationDlg* g_DigitalIOConfigurationDlg;
