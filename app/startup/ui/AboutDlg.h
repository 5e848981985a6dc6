#pragma once

// The About box: the program's name, its version and build, and a notice.

#include <QDialog>

class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* NameLabel() const { return m_name; }
    QLabel* VersionLabel() const { return m_version; }
    QLabel* BuildLabel() const { return m_build; }

private:
    QLabel* m_name;
    QLabel* m_version;
    QLabel* m_build;
};
