#pragma once

// "Scale Intensities": the display window of one view, typed. Each change
// of an edit is previewed on the view half a second after the last
// keystroke; Cancel gives the view back its former window; "Set Default"
// also stores the typed pair for new views.

#include <cstdint>

#include <QDialog>
#include <QPointer>

class QLineEdit;
class QTimer;
class ImageViewWidget;

class ScaleIntensitiesDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 310, IDC_MAX = 1000, IDC_MIN = 1001, IDC_SET_DEFAULT = 3 };
    static constexpr int kPreviewDelayMs = 500;

    // `view` receives the previews; it may close meanwhile.
    ScaleIntensitiesDlg(uint16_t maximum, uint16_t minimum, ImageViewWidget* view, QWidget* parent = nullptr);

    // platform::IDOK or platform::IDCANCEL.
    int DoModal();

    uint16_t m_nMax;
    uint16_t m_nMin;

    // Handlers, public for the tests.
    void OnTimer(int id);
    void OnOK();
    void OnCancel();
    void OnSetDefault();
    void SaveDefaults();

protected:
    void reject() override { OnCancel(); }

private:
    void PostToView(uintptr_t which, intptr_t value);

    uint16_t m_nStartMax;
    uint16_t m_nStartMin;
    QPointer<ImageViewWidget> m_view;
    QLineEdit* m_max;
    QLineEdit* m_min;
    QTimer* m_maxTimer;
    QTimer* m_minTimer;
};
