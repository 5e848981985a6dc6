#include "app/ui/PasswordDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/UiBridge.h"
#include "support/ui/DialogControls.h"

namespace {
// The edit's text is read into a 1023-byte buffer.
constexpr int kMaxPasswordLength = 1022;
}  // namespace

PasswordDlg::PasswordDlg(QWidget* parent)
    : QDialog(parent), m_prompt(new QLabel(this)), m_password(new QLineEdit(this)) {
    setWindowTitle("Password");
    m_password->setEchoMode(QLineEdit::Password);
    Tovanix::SetDlgCtrlID(m_password, IDC_PASSWORD);
    Tovanix::SetDlgCtrlID(m_prompt, IDC_PROMPT);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Tovanix::SetDlgCtrlID(buttons->button(QDialogButtonBox::Ok), platform::IDOK);
    Tovanix::SetDlgCtrlID(buttons->button(QDialogButtonBox::Cancel), platform::IDCANCEL);
    connect(buttons, &QDialogButtonBox::accepted, this, &PasswordDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addWidget(m_password);
    layout->addWidget(buttons);
    setMinimumWidth(280);
}

int PasswordDlg::DoModal() { return exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL; }

void PasswordDlg::showEvent(QShowEvent* event) {
    m_prompt->setText(QString::fromLocal8Bit(m_strPrompt.GetString()));
    m_password->setFocus();
    QDialog::showEvent(event);
}

void PasswordDlg::OnOK() {
    const QByteArray typed = m_password->text().toLocal8Bit().left(kMaxPasswordLength);
    m_strPassword = typed.constData();
    accept();
}
