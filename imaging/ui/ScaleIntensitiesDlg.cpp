#include "imaging/ui/ScaleIntensitiesDlg.h"

#include <cstdio>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "imaging/DisplayWindowEdits.h"
#include "imaging/ImageView.h"
#include "imaging/ui/ImageViewWidget.h"
#include "platform/UiBridge.h"
#include "support/ui/DialogControls.h"

namespace {

QTimer* OneShot(QObject* owner, int ms) {
    auto* timer = new QTimer(owner);
    timer->setSingleShot(true);
    timer->setInterval(ms);
    return timer;
}

}  // namespace

ScaleIntensitiesDlg::ScaleIntensitiesDlg(uint16_t maximum, uint16_t minimum, ImageViewWidget* view, QWidget* parent)
    : QDialog(parent),
      m_nMax(maximum),
      m_nMin(minimum),
      m_nStartMax(maximum),
      m_nStartMin(minimum),
      m_view(view),
      m_max(new QLineEdit(QString::number(maximum), this)),
      m_min(new QLineEdit(QString::number(minimum), this)),
      m_maxTimer(OneShot(this, kPreviewDelayMs)),
      m_minTimer(OneShot(this, kPreviewDelayMs)) {
    setWindowTitle("Scale Intensities");
    Tovanix::SetDlgCtrlID(m_max, IDC_MAX);
    Tovanix::SetDlgCtrlID(m_min, IDC_MIN);
    auto* form = new QFormLayout;
    form->addRow("Max Intensity", m_max);
    form->addRow("Min Intensity", m_min);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* setDefault = buttons->addButton("Set Default", QDialogButtonBox::ActionRole);
    Tovanix::SetDlgCtrlID(buttons->button(QDialogButtonBox::Ok), platform::IDOK);
    Tovanix::SetDlgCtrlID(buttons->button(QDialogButtonBox::Cancel), platform::IDCANCEL);
    Tovanix::SetDlgCtrlID(setDefault, IDC_SET_DEFAULT);
    connect(buttons, &QDialogButtonBox::accepted, this, &ScaleIntensitiesDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &ScaleIntensitiesDlg::OnCancel);
    connect(setDefault, &QPushButton::clicked, this, &ScaleIntensitiesDlg::OnSetDefault);

    // A preview follows half a second after the last keystroke.
    connect(m_max, &QLineEdit::textEdited, m_maxTimer, qOverload<>(&QTimer::start));
    connect(m_min, &QLineEdit::textEdited, m_minTimer, qOverload<>(&QTimer::start));
    connect(m_maxTimer, &QTimer::timeout, this, [this] { OnTimer(IDC_MAX); });
    connect(m_minTimer, &QTimer::timeout, this, [this] { OnTimer(IDC_MIN); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

int ScaleIntensitiesDlg::DoModal() { return exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL; }

void ScaleIntensitiesDlg::PostToView(uintptr_t which, intptr_t value) {
    if (m_view) m_view->PostUserMessage(kViewUserMessage, which, value);
}

void ScaleIntensitiesDlg::OnTimer(int id) {
    QLineEdit* edit = id == IDC_MAX ? m_max : m_min;
    (id == IDC_MAX ? m_maxTimer : m_minTimer)->stop();
    int value = 0;
    // A text that is not a number yet (an empty edit while retyping) shows
    // nothing new.
    if (std::sscanf(edit->text().toLocal8Bit().constData(), "%d", &value) != 1) return;
    PostToView(id == IDC_MAX ? kSetDisplayMax : kSetDisplayMin, value);
}

void ScaleIntensitiesDlg::OnOK() {
    uint16_t maximum = 0;
    uint16_t minimum = 0;
    CString error;
    if (!ReadIntensityEdit(m_max->text().toLocal8Bit().constData(), "Max Intensity", maximum, error) ||
        !ReadIntensityEdit(m_min->text().toLocal8Bit().constData(), "Min Intensity", minimum, error)) {
        platform::ShowMessageBox(error.str(), "Scale Intensities", platform::MB_OK | platform::MB_ICONERROR);
        return;
    }
    m_nMax = maximum;
    m_nMin = minimum;
    m_maxTimer->stop();
    m_minTimer->stop();
    accept();
}

void ScaleIntensitiesDlg::OnCancel() {
    m_maxTimer->stop();
    m_minTimer->stop();
    PostToView(kSetDisplayMax, m_nStartMax);
    PostToView(kSetDisplayMin, m_nStartMin);
    QDialog::reject();
}

void ScaleIntensitiesDlg::SaveDefaults() {
    SaveDisplayWindowDefaults(m_max->text().toLocal8Bit().constData(), m_min->text().toLocal8Bit().constData());
}

void ScaleIntensitiesDlg::OnSetDefault() {
    uint16_t value = 0;
    CString error;
    if (!ReadIntensityEdit(m_max->text().toLocal8Bit().constData(), "Max Intensity", value, error) ||
        !ReadIntensityEdit(m_min->text().toLocal8Bit().constData(), "Min Intensity", value, error)) {
        platform::ShowMessageBox(error.str(), "Scale Intensities", platform::MB_OK | platform::MB_ICONERROR);
        return;
    }
    SaveDefaults();
    OnOK();
}
