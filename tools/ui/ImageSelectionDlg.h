#pragma once

// The image selection grid: a modal window that shows a caller's images as
// thumbnails and lets the user mark them by clicking. The caller keeps the
// list; the window only flips its marks. Thumbnails are loaded on full
// repaints (shown, grid size changed, half a second after a resize); a click
// or Clear repaints frames only.

#include <QDialog>
#include <QImage>

#include <vector>

#include "tools/ImageSelectionGrid.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTimer;
class ToolWindow;

class ImageSelectionDlg : public QDialog {
    Q_OBJECT
public:
    ImageSelectionDlg(ImageSelectionList* list, QWidget* parent = nullptr);

    static int CountSelected(const ImageSelectionList* list) { return ::CountSelected(list); }

    const ImageSelectionList* Items() const { return m_list; }
    const std::vector<GridCell>& Cells() const { return m_cells; }
    const GreyMapping& Mapping() const { return m_mapping; }
    bool PaintSuppressed() const { return m_paintSuppressed; }
    QComboBox* ColumnsCombo() const { return m_columns; }
    QComboBox* RowsCombo() const { return m_rows; }
    QPushButton* ClearButton() const { return m_clear; }
    QPushButton* OpenSelButton() const { return m_openSel; }
    QLineEdit* SelectedEdit() const { return m_selected; }

    // The user's actions, also for tests.
    void ClickAt(const QPoint& point);
    void OnBnClickedClear();
    void OnBnClickedOpenSel();
    // Lays out the cells and loads the thumbnails now.
    void Rebuild();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void RestartRepaintTimer();
    void UpdateSelectionControls();

    struct Thumbnail {
        QImage image;  // empty when the file did not load
        GridRect where;
    };

    ImageSelectionList* m_list;
    bool m_paintSuppressed = false;
    std::vector<GridCell> m_cells;
    std::vector<Thumbnail> m_thumbnails;
    GreyMapping m_mapping;
    QComboBox* m_columns = nullptr;
    QComboBox* m_rows = nullptr;
    QLineEdit* m_selected = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_openSel = nullptr;
    QTimer* m_repaintTimer = nullptr;
};

// What the folder tools show when their grid is asked for without a file
// chosen in the list.
inline constexpr const char* kSelectAtLeastOneFile = "You must select at least one file from the list.";

// The selected files of a tool's list as grid items: the tool's folder
// joined to each name, in list order, none marked.
ImageSelectionList SelectedFileItems(const ToolWindow& tool);

// The Preview handler the folder tools share: the selected files on the
// grid, run modally; the marks are not kept. With none selected it only
// says so.
void PreviewSelectedFiles(ToolWindow& tool);
