#pragma once

// The password prompt: a prompt line and a password field. It only collects
// the typed text; the caller compares it.

#include <QDialog>

#include "platform/CString.h"

class QLabel;
class QLineEdit;

class PasswordDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 323, IDC_PASSWORD = 1200, IDC_PROMPT = 1201 };

    explicit PasswordDlg(QWidget* parent = nullptr);

    // Runs the dialog modally: platform::IDOK or platform::IDCANCEL.
    int DoModal();

    CString m_strPrompt;    // shown above the field; set before the dialog runs
    CString m_strPassword;  // the typed text, set by OK (at most 1022 characters)

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOK();

    QLabel* m_prompt;
    QLineEdit* m_password;
};
