#pragma once

// "Compute image vertical pixels / millimeter": the user types the real
// height of an object measured on an image; Save stores the scale of the
// camera image. The typed height is re-read once a second.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class ComputePixelsPerMMDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 335, IDC_HEIGHT_MM = 1222, IDC_HEIGHT_PIXELS = 1223, IDC_MESSAGE = 1225 };
    static constexpr int kTimerMs = 1000;

    explicit ComputePixelsPerMMDlg(QWidget* parent = nullptr);

    // Runs modally: platform::IDOK when saved.
    int DoModal();

    double m_dObjectHeightPixels = 0.0;  // set before the dialog runs
    double m_dPixelsPerMM = 0.0;

    // Handlers, public for the tests.
    void OnInitDialog();
    void OnTimer();
    void OnOK();

private:
    QLineEdit* m_heightMM;
    QLineEdit* m_heightPixels;
    QLabel* m_message;
    QPushButton* m_save;
    QTimer* m_timer;
};
