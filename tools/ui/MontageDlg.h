#pragma once

// The modal window that asks for a recorded experiment folder and the name
// of the montage image to make from it. OK checks both and stays open with
// a message while they are refused; the folder entered is remembered for
// the next montage, also when it was refused.

#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;

class MontageDlg : public QDialog {
    Q_OBJECT
public:
    explicit MontageDlg(QWidget* parent = nullptr);

    void OnBnClickedBrowse();
    // True when the window closed with OK.
    bool OnBnClickedOk();

    QLineEdit* DirectoryEdit() const { return m_directoryEdit; }
    QLineEdit* NameEdit() const { return m_nameEdit; }

    std::string m_strMontageImageName;
    std::string m_strExperimentDirectory;

private:
    QLineEdit* m_directoryEdit = nullptr;
    QLineEdit* m_nameEdit = nullptr;
};

// The montage command: runs the window and, after OK, makes the montage of
// the folder under a wait cursor and reports the outcome.
void RunMontageCommand(QWidget* parent);
