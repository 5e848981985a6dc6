#include "app/ui/ComputePixelsPerMMDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/PixelsPerMMCalibration.h"
#include "platform/UiBridge.h"
#include "support/ui/DialogControls.h"

namespace {
// The edit's text is read into a 1023-byte buffer.
constexpr int kMaxTypedLength = 1022;
}  // namespace

ComputePixelsPerMMDlg::ComputePixelsPerMMDlg(QWidget* parent)
    : QDialog(parent),
      m_heightMM(new QLineEdit(this)),
      m_heightPixels(new QLineEdit(this)),
      m_message(new QLabel(this)),
      m_save(new QPushButton("Save", this)),
      m_timer(new QTimer(this)) {
    setWindowTitle("Compute image vertical pixels / millimeter");
    m_heightPixels->setReadOnly(true);
    Tovanix::SetDlgCtrlID(m_heightMM, IDC_HEIGHT_MM);
    Tovanix::SetDlgCtrlID(m_heightPixels, IDC_HEIGHT_PIXELS);
    Tovanix::SetDlgCtrlID(m_message, IDC_MESSAGE);
    Tovanix::SetDlgCtrlID(m_save, platform::IDOK);
    m_save->setEnabled(false);
    m_save->setMinimumHeight(44);

    auto* form = new QFormLayout;
    form->addRow("Height of selected object  (mm)", m_heightMM);
    form->addRow("Height of selected object (image pixels)", m_heightPixels);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_save, QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    Tovanix::SetDlgCtrlID(cancel, platform::IDCANCEL);
    connect(m_save, &QPushButton::clicked, this, &ComputePixelsPerMMDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_message);
    layout->addWidget(buttons);
    setMinimumWidth(460);

    m_timer->setInterval(kTimerMs);
    connect(m_timer, &QTimer::timeout, this, &ComputePixelsPerMMDlg::OnTimer);
}

int ComputePixelsPerMMDlg::DoModal() {
    OnInitDialog();
    const int result = exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
    m_timer->stop();
    return result;
}

void ComputePixelsPerMMDlg::OnInitDialog() {
    m_heightPixels->setText(QString::asprintf("%5.3lf", m_dObjectHeightPixels));
    m_timer->start();
}

void ComputePixelsPerMMDlg::OnTimer() {
    const QByteArray typed = m_heightMM->text().toLocal8Bit().left(kMaxTypedLength);
    const PixelsPerMMState state = EvaluatePixelsPerMM(m_dObjectHeightPixels, typed.constData());
    m_dPixelsPerMM = state.pixelsPerMM;
    m_save->setText(QString::fromLocal8Bit(state.saveText.GetString()));
    m_save->setEnabled(state.saveEnabled);
    if (state.messageChanged) m_message->setText(QString::fromLocal8Bit(state.message.GetString()));
}

void ComputePixelsPerMMDlg::OnOK() {
    // The button follows the typing a second late; a scale of 0 is never stored.
    OnTimer();
    if (m_dPixelsPerMM == 0.0) return;
    WritePixelsPerMM(m_dPixelsPerMM);
    m_timer->stop();
    accept();
}
