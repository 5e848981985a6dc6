#pragma once

// "Choose ROI": makes a named region of the main settings file the active
// region. Selecting a name previews its rectangle on every image view.

#include <QDialog>

#include "app/NamedROIList.h"

class QListWidget;

class ChooseROI : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 354, IDC_LIST = 1360 };

    explicit ChooseROI(QWidget* parent = nullptr);

    int DoModal();

    // Handlers, public for the tests.
    void OnSelChange();
    void OnOK();
    void OnCancel();

    QListWidget* List() const { return m_listBox; }

protected:
    void reject() override { OnCancel(); }

private:
    NamedROIList m_list;
    QListWidget* m_listBox;
};
