#pragma once

// "ROI Manager": creates, changes and (for the administrator) deletes the
// named regions of the main settings file and previews the one being edited
// on every image view. One modeless window for the program; it also shows
// the active region's numbers while it exists.

#include <QDialog>

#include "imaging/NamedROIEditing.h"

class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

class ROIManager : public QDialog {
    Q_OBJECT
public:
    enum {
        IDD = 353,
        IDC_NAME = 1075,
        IDC_LEFT = 1040,
        IDC_RIGHT = 1209,
        IDC_TOP = 1042,
        IDC_BOTTOM = 1210,
        IDC_SAVE = 1361,
        IDC_LIST = 1360,
        ID_DELETE = 1000,
    };
    static constexpr int kEditDelayMs = 1000;

    explicit ROIManager(QWidget* parent = nullptr);

    // Puts the active region into the four edits; false when there is none.
    bool ShowCurrentROI();
    // Looks a name up in section [ROI] of the main settings file.
    static bool SelectROIByName(const char* name, ROIRect& rect, CString& error) {
        return ROIManagerModel::SelectROIByName(name, rect, error);
    }

    // Handlers, public for the tests.
    void ReloadList();
    void OnEditChange();
    void OnTimer();
    void UpdateSaveButton();
    void UpdatePreview();
    void OnSelChange();
    void OnSaveChanges();
    // The Delete command for a list row (administrator only).
    void OnDelete(int row);

    QListWidget* List() const { return m_listBox; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    ROIEdits Edits() const;
    void ShowListContextMenu(const QPoint& position);

    bool m_bLoading = false;
    bool m_bPreviewShown = false;
    int m_nRightClickedRow = -1;
    ROIManagerModel m_model;
    QLineEdit* m_name;
    QLineEdit* m_left;
    QLineEdit* m_right;
    QLineEdit* m_top;
    QLineEdit* m_bottom;
    QPushButton* m_save;
    QListWidget* m_listBox;
    QTimer* m_editTimer;
};

// The program's ROI manager window, created hidden on first use.
ROIManager* GetROIManager(QWidget* parent);
// The window when it exists, else null.
ROIManager* FindROIManager();
