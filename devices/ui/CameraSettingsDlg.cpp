#include "devices/ui/CameraSettingsDlg.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/VelloraApp.h"
#include "support/ui/DialogControls.h"

namespace {

constexpr int kFirstTimer = 1000;
// Delays of timers 1000 (pixel depth), 1001 (gain), 1002 (exposure),
// 1003 (refresh period) and 1004 (limits and default exposure).
constexpr int kTimerDelayMs[5] = {0, 250, 250, 1000, 1000};

QString Text(const std::string& text) { return QString::fromStdString(text); }
std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

void CameraPixelDepthBox::hidePopup() {
    // Hiding the box hides its list too; only a list that was open closes.
    const bool listShown = view() != nullptr && view()->window()->isVisible();
    QComboBox::hidePopup();
    if (listShown) emit listClosed();
}

CameraSettingsDlg::CameraSettingsDlg(Camera* camera, QWidget* parent) : QDialog(parent), m_form(camera) {
    setWindowTitle("Camera Settings");

    auto edit = [this](int id, bool readOnly) {
        auto* control = new QLineEdit(this);
        control->setReadOnly(readOnly);
        Tovanix::SetDlgCtrlID(control, id);
        return control;
    };
    m_model = edit(1003, true);
    m_serial = edit(1010, true);
    m_width = edit(1004, true);
    m_height = edit(1005, true);
    m_pixelDepth = new CameraPixelDepthBox(this);
    m_pixelDepth->setEditable(true);
    m_pixelDepth->addItems({"8", "12"});
    m_pixelDepth->setInsertPolicy(QComboBox::NoInsert);
    m_pixelDepth->setCurrentIndex(-1);
    Tovanix::SetDlgCtrlID(m_pixelDepth, 1006);
    m_gain = edit(1008, false);
    m_exposure = edit(1009, false);
    m_defaultExposure = edit(1011, false);
    m_output1 = new QCheckBox("Digital Output 1", this);
    m_output2 = new QCheckBox("Digital Output 2", this);
    Tovanix::SetDlgCtrlID(m_output1, 1014);
    Tovanix::SetDlgCtrlID(m_output2, 1015);
    m_refreshPeriod = edit(1016, false);
    m_minTime = edit(1275, false);
    m_minExposure = edit(1276, false);
    m_maxExposure = edit(1277, false);
    auto* close = new QPushButton("Close", this);
    Tovanix::SetDlgCtrlID(close, 1007);

    auto* cameraGroup = new QGroupBox("Camera", this);
    auto* cameraForm = new QFormLayout(cameraGroup);
    cameraForm->addRow("Model", m_model);
    cameraForm->addRow("S/N", m_serial);
    cameraForm->addRow("Image Width (pixels)", m_width);
    cameraForm->addRow("Image Height (pixels)", m_height);
    cameraForm->addRow("Pixel Depth (bits)", m_pixelDepth);
    cameraForm->addRow("Gain", m_gain);
    cameraForm->addRow("Exposure (us)", m_exposure);
    cameraForm->addRow(m_output1);
    cameraForm->addRow(m_output2);

    auto* settingsGroup = new QGroupBox("Settings", this);
    auto* settingsForm = new QFormLayout(settingsGroup);
    settingsForm->addRow("Default Exposure (us)", m_defaultExposure);
    settingsForm->addRow("Refresh Period (ms)", m_refreshPeriod);
    settingsForm->addRow("Min Time Between Exp (ms)", m_minTime);
    settingsForm->addRow("Min Exposure (us)", m_minExposure);
    settingsForm->addRow("Max Exposure (us)", m_maxExposure);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cameraGroup);
    layout->addWidget(settingsGroup);
    layout->addLayout(buttons);

    for (int i = 0; i < 5; ++i) {
        m_timers[i] = new QTimer(this);
        m_timers[i]->setSingleShot(true);
        m_timers[i]->setInterval(kTimerDelayMs[i]);
        const int id = kFirstTimer + i;
        connect(m_timers[i], &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    connect(m_pixelDepth, &CameraPixelDepthBox::listClosed, this, [this] { StartTimer(1000); });
    connect(m_gain, &QLineEdit::textChanged, this, [this] { StartTimer(1001); });
    connect(m_exposure, &QLineEdit::textChanged, this, [this] { StartTimer(1002); });
    connect(m_refreshPeriod, &QLineEdit::textChanged, this, [this] { StartTimer(1003); });
    for (QLineEdit* limit : {m_defaultExposure, m_minExposure, m_maxExposure}) {
        connect(limit, &QLineEdit::textChanged, this, [this] { StartTimer(1004); });
    }
    // The box has already toggled itself; a failure is reported and the box
    // is left as it is.
    connect(m_output1, &QCheckBox::clicked, this, [this] { m_form.ToggleDigitalOutput(1); });
    connect(m_output2, &QCheckBox::clicked, this, [this] { m_form.ToggleDigitalOutput(2); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

bool CameraSettingsDlg::OnInitDialog() {
    CameraSettingsFields fields;
    switch (m_form.Load(&fields)) {
        case CameraSettingsForm::LoadResult::NoCamera:
            return false;
        case CameraSettingsForm::LoadResult::QueryFailed:
            return true;
        case CameraSettingsForm::LoadResult::Loaded:
            break;
    }
    // Filling the edits counts as typing: their timers start as well, so the
    // shown gain and exposure are applied and saved shortly after opening.
    m_gain->setText(Text(fields.gain));
    m_exposure->setText(Text(fields.exposure));
    m_model->setText(Text(fields.model));
    m_serial->setText(Text(fields.serialNumber));
    m_width->setText(Text(fields.width));
    m_height->setText(Text(fields.height));
    m_pixelDepth->setEditText(Text(fields.pixelDepth));
    m_minTime->setText(Text(fields.minTimeBetweenCapturesMs));
    m_refreshPeriod->setText(Text(fields.refreshPeriodMs));
    m_defaultExposure->setText(Text(fields.defaultExposure));
    m_output1->setChecked(fields.digitalOutput1);
    m_output2->setChecked(fields.digitalOutput2);
    m_minExposure->setText(Text(fields.minExposureUs));
    m_maxExposure->setText(Text(fields.maxExposureUs));
    return true;
}

int CameraSettingsDlg::exec() {
    if (!OnInitDialog()) return QDialog::Rejected;
    return QDialog::exec();
}

void CameraSettingsDlg::done(int result) {
    for (QTimer* timer : m_timers) timer->stop();
    // The capture spacing follows what the window saved.
    LoadMinTimeBetweenImageCaptureEvents();
    QDialog::done(result);
}

CameraSettingsFields CameraSettingsDlg::Fields() const {
    CameraSettingsFields fields;
    fields.model = Text(m_model);
    fields.serialNumber = Text(m_serial);
    fields.width = Text(m_width);
    fields.height = Text(m_height);
    fields.pixelDepth = m_pixelDepth->currentText().toStdString();
    fields.gain = Text(m_gain);
    fields.exposure = Text(m_exposure);
    fields.defaultExposure = Text(m_defaultExposure);
    fields.digitalOutput1 = m_output1->isChecked();
    fields.digitalOutput2 = m_output2->isChecked();
    fields.refreshPeriodMs = Text(m_refreshPeriod);
    fields.minTimeBetweenCapturesMs = Text(m_minTime);
    fields.minExposureUs = Text(m_minExposure);
    fields.maxExposureUs = Text(m_maxExposure);
    return fields;
}

bool CameraSettingsDlg::SaveSettings() { return m_form.SaveSettings(Fields()); }

QTimer* CameraSettingsDlg::Timer(int id) const { return m_timers[id - kFirstTimer]; }

void CameraSettingsDlg::StartTimer(int id) { Timer(id)->start(); }

void CameraSettingsDlg::OnTimer(int id) {
    if (id < kFirstTimer || id >= kFirstTimer + 5) return;
    Timer(id)->stop();
    CameraSettingsFields fields = Fields();
    switch (id) {
        case 1000:
            if (!m_form.ApplyPixelDepth(&fields)) m_pixelDepth->setEditText(Text(fields.pixelDepth));
            break;
        case 1001:
            m_form.ApplyGain(fields);
            break;
        case 1002:
            m_form.ApplyExposure(fields);
            break;
        case 1003:
            m_form.CheckRefreshPeriodAndSave(fields);
            break;
        case 1004:
            m_form.SaveSettings(fields);
            break;
    }
}
