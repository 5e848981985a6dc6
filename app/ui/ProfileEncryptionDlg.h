#pragma once

// "Profile Encryption": whether the main settings file and Users.ini are
// stored enciphered. Clicking a box brings its file to the box's state a
// moment later (after the box has taken its new state); Edit deciphers an
// enciphered file and opens it in the text editor. A failure is logged and
// shown and leaves the box as the user set it, so the box may disagree with
// the file until the window is opened again.

#include <QDialog>
#include <QTimer>

#include "support/String.h"

class QCheckBox;

class ProfileEncryptionDlg : public QDialog {
    Q_OBJECT
public:
    enum {
        IDD = 352,
        IDC_USERS_INI = 1355,
        IDC_MAIN_INI = 1356,
        IDC_EDIT_USERS_INI = 1357,
        IDC_EDIT_MAIN_INI = 1358,
        IDT_MAIN_INI = 1000,
        IDT_USERS_INI = 1001,
    };
    static constexpr int kToggleDelayMs = 100;

    explicit ProfileEncryptionDlg(QWidget* parent = nullptr);

    int DoModal();

    // Sets the box from the file's state; false with the store's message
    // appended to `messages` (after a line feed when it is not empty).
    bool RefreshCheckBox(const char* path, int checkBoxId, Tovanix::String& messages);
    // Brings the file to the state of its box.
    void ToggleEncryption(int checkBoxId, const char* path);
    // Runs a timer's work at once (1000: main settings file, 1001: Users.ini).
    void OnTimer(int timerId);
    const QTimer& Timer(int timerId) const { return timerId == IDT_MAIN_INI ? m_mainTimer : m_usersTimer; }

    void OnEditMainIni();
    void OnEditUsersIni();

private:
    void Edit(int checkBoxId, const char* path);
    QCheckBox* Box(int checkBoxId) const;

    QCheckBox* m_usersBox;
    QCheckBox* m_mainBox;
    QTimer m_mainTimer;
    QTimer m_usersTimer;
};
