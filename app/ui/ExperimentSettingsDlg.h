#pragma once

// "Experiment Settings": the settings of image acquisition and of the
// instrument's start-up, edited straight into [ExperimentSettings],
// [TecanCentris] and [Zaber] of the main settings file. There is no Cancel:
// every change is checked and written shortly after it is made (one timer,
// restarted by each change), and Done writes once more and closes. Closing
// the window otherwise ends it without that last write.
//
// The checks themselves are app/ExperimentSettingsForm.h; a refused value is
// logged and shown, and the control keeps the refused text.

#include <QDialog>
#include <QTimer>

#include <map>

class QCheckBox;
class QGridLayout;
class QLineEdit;
class QWidget;

class ExperimentSettingsDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 313, IDT_SAVE = 1000 };
    // Debounce of the save after a change.
    static constexpr int kEditDelayMs = 1000;
    static constexpr int kCheckDelayMs = 100;
    static constexpr int kActiveTypeDelayMs = 10;

    explicit ExperimentSettingsDlg(QWidget* parent = nullptr);

    // Runs the dialog modally: platform::IDOK after Done, else IDCANCEL.
    int DoModal();

    // Fills every control from the main settings file.
    void LoadSettings();
    // Checks and writes every control; false (nothing done) while loading.
    bool SaveSettings();

    // The save timer (id 1000) and what it does when it runs out.
    const QTimer& SaveTimer() const { return m_saveTimer; }
    void OnTimer();

    bool m_bLoading = false;

private:
    QLineEdit* AddEdit(QGridLayout* grid, int row, int column, const char* label, int id);
    QCheckBox* AddCheck(const char* label, int id, int delayMs);
    QWidget* BuildGeneral();
    QWidget* BuildWarnings();
    QWidget* BuildImageTypes();
    QWidget* BuildRendering();
    QWidget* BuildHardware();
    void RestartSaveTimer(int delayMs);
    void OnBrowse();
    void OnOpenSettingsFile();
    void OnOpenRunLog();
    void OnStageStartupClicked();
    void OnDone();

    std::map<int, QLineEdit*> m_edits;
    std::map<int, QCheckBox*> m_checks;
    QTimer m_saveTimer;
};
