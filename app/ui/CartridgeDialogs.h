#pragma once

// The two windows that fix the cartridge type the instrument works with:
// CSelectCartridgeDlg asks only for the type (before live view), and
// PromptForExperimentNameDlg ("Update Experiment Name") asks for the
// experiment's name and the type before a timed experiment, and creates the
// experiment when the name is accepted.

#include <QDialog>

#include <array>
#include <cstdint>
#include <string>

#include "app/ExperimentNaming.h"

class QButtonGroup;
class QLineEdit;
class QRadioButton;

namespace CartridgeDialogId {
enum : int {
    // The four cartridge radios, in choice order.
    Radio0 = 1408,
    Radio1 = 1358,
    Radio2 = 1409,
    Radio3 = 1410,
    ExperimentName = 1013,
};
}

class CSelectCartridgeDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 365 };
    explicit CSelectCartridgeDlg(QWidget* parent = nullptr);

    // Shows the preset choice, runs modally; platform::IDOK or IDCANCEL.
    int DoModal();
    // The type code of the chosen cartridge.
    const char* GetCartridgeTypeCode() const;

    int32_t m_nCartridgeTypeIndex = 0;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOK();

    QButtonGroup* m_radios;
};

class PromptForExperimentNameDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 337 };
    // `create` makes the experiment folder once a name is accepted.
    explicit PromptForExperimentNameDlg(ExperimentCreator create, QWidget* parent = nullptr);

    int DoModal();
    // Checks the typed name: a corrected name is shown with its message and
    // the window stays; an accepted one starts the experiment and closes it.
    void OnOK();

    int32_t m_nCartridgeTypeIndex = 0;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ExperimentCreator m_create;
    QLineEdit* m_name;
    QButtonGroup* m_radios;
};

// The Live Image command's question: the cartridge choice preset from the
// application's cartridge code; OK stores the chosen code and writes its
// offsets into the main settings file. False when the user cancels.
bool ChooseCartridgeForLiveImage(QWidget* parent);
