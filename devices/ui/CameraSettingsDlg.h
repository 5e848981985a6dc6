#pragma once

// The modal "Camera Settings" window: the camera's identity and image size,
// pixel depth, gain and exposure applied to the live camera, its two
// digital outputs, and the camera values of the model's settings section.
// Each edit applies or saves once it has been still for its delay; closing
// the window reloads the minimum time between captures.

#include <QComboBox>
#include <QDialog>

#include "devices/CameraSettingsForm.h"

class Camera;
class QCheckBox;
class QLineEdit;
class QTimer;

// The pixel-depth box tells when its list closes.
class CameraPixelDepthBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void hidePopup() override;

signals:
    void listClosed();
};

class CameraSettingsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CameraSettingsDlg(Camera* camera, QWidget* parent = nullptr);

    // Fills the fields from the camera and the settings; false when there is
    // no initialised camera (reported; the window must not open).
    bool OnInitDialog();
    // Opens the window modally once OnInitDialog has succeeded.
    int exec() override;
    void done(int result) override;

    bool SaveSettings();
    // The timers' actions (ids 1000 to 1004).
    void OnTimer(int id);

    CameraSettingsFields Fields() const;

private:
    void StartTimer(int id);
    QTimer* Timer(int id) const;

    CameraSettingsForm m_form;
    QLineEdit* m_model = nullptr;
    QLineEdit* m_serial = nullptr;
    QLineEdit* m_width = nullptr;
    QLineEdit* m_height = nullptr;
    CameraPixelDepthBox* m_pixelDepth = nullptr;
    QLineEdit* m_gain = nullptr;
    QLineEdit* m_exposure = nullptr;
    QLineEdit* m_defaultExposure = nullptr;
    QCheckBox* m_output1 = nullptr;
    QCheckBox* m_output2 = nullptr;
    QLineEdit* m_refreshPeriod = nullptr;
    QLineEdit* m_minTime = nullptr;
    QLineEdit* m_minExposure = nullptr;
    QLineEdit* m_maxExposure = nullptr;
    QTimer* m_timers[5] = {};
};
