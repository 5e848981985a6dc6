#include "tools/ui/ImageSelectionDlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <opencv2/imgcodecs.hpp>

#include "imaging/ReferenceImage.h"
#include "platform/Files.h"
#include "platform/UiBridge.h"
#include "support/ui/DialogControls.h"
#include "tools/ToolFrame.h"
#include "tools/ui/ToolWindow.h"

namespace {

QComboBox* MakeCountCombo(int id, const std::string& value, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    for (int n = 3; n <= 7; ++n) combo->addItem(QString::number(n));
    combo->setEditText(QString::fromStdString(value));
    Tovanix::SetDlgCtrlID(combo, id);
    return combo;
}

int ComboNumber(const QComboBox* combo) {
    bool ok = false;
    const int n = combo->currentText().trimmed().toInt(&ok);
    return ok ? n : 1;
}

cv::Mat LoadImage16(const std::string& path) {
    cv::Mat image;
    try {
        image = cv::imread(platform::NativePath(path), cv::IMREAD_ANYDEPTH | cv::IMREAD_GRAYSCALE);
        if (!image.empty() && image.depth() != CV_16U) image.convertTo(image, CV_16U);
    } catch (const cv::Exception&) {
        image.release();
    }
    return image;
}

// Frame band of a cell: grown by one pixel for the outline of width three.
QRect FrameRect(const GridRect& r) { return QRect(QPoint(r.left - 1, r.top - 1), QPoint(r.right + 1, r.bottom + 1)); }

}  // namespace

ImageSelectionDlg::ImageSelectionDlg(ImageSelectionList* list, QWidget* parent) : QDialog(parent), m_list(list) {
    setWindowTitle("Image Selection");
    setSizeGripEnabled(true);
    resize(760, 640);
    ToolSettings settings("ImageSelectionDlg", {{"NHI", "5"}, {"NVI", "5"}});
    settings.Load();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 5, 5, 5);
    auto* row = new QHBoxLayout;
    layout->addLayout(row);
    layout->addStretch(1);
    m_clear = new QPushButton("Clear", this);
    Tovanix::SetDlgCtrlID(m_clear, 1368);
    m_selected = new QLineEdit(this);
    m_selected->setReadOnly(true);
    m_selected->setMaximumWidth(40);
    Tovanix::SetDlgCtrlID(m_selected, 1369);
    auto* pageDown = new QPushButton("pg down", this);
    auto* pageUp = new QPushButton("pg up", this);
    Tovanix::SetDlgCtrlID(pageDown, 1370);
    Tovanix::SetDlgCtrlID(pageUp, 1371);
    pageDown->setEnabled(false);
    pageUp->setEnabled(false);
    m_columns = MakeCountCombo(1372, settings.Get("NHI"), this);
    m_rows = MakeCountCombo(1373, settings.Get("NVI"), this);
    m_openSel = new QPushButton("Open Sel ", this);
    Tovanix::SetDlgCtrlID(m_openSel, 1374);
    auto* ok = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    Tovanix::SetDlgCtrlID(ok, 1);
    Tovanix::SetDlgCtrlID(cancel, 2);
    row->addWidget(m_clear);
    row->addWidget(new QLabel("Selected", this));
    row->addWidget(m_selected);
    row->addWidget(pageDown);
    row->addWidget(pageUp);
    row->addWidget(new QLabel("NHorz", this));
    row->addWidget(m_columns);
    row->addWidget(new QLabel("NVert", this));
    row->addWidget(m_rows);
    row->addWidget(m_openSel);
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    for (QPushButton* b : {m_clear, pageDown, pageUp, m_openSel, cancel}) b->setAutoDefault(false);

    m_repaintTimer = new QTimer(this);
    m_repaintTimer->setSingleShot(true);
    connect(m_repaintTimer, &QTimer::timeout, this, [this] {
        m_paintSuppressed = false;
        Rebuild();
        update();
    });
    connect(m_columns, &QComboBox::currentTextChanged, this, [this] { RestartRepaintTimer(); });
    connect(m_rows, &QComboBox::currentTextChanged, this, [this] { RestartRepaintTimer(); });
    connect(m_clear, &QPushButton::clicked, this, [this] { OnBnClickedClear(); });
    connect(m_openSel, &QPushButton::clicked, this, [this] { OnBnClickedOpenSel(); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    UpdateSelectionControls();
}

void ImageSelectionDlg::RestartRepaintTimer() { m_repaintTimer->start(500); }

void ImageSelectionDlg::UpdateSelectionControls() {
    const int count = CountSelected(m_list);
    m_clear->setEnabled(count > 0);
    m_openSel->setEnabled(count > 0);
    m_selected->setText(QString::number(count));
}

void ImageSelectionDlg::Rebuild() {
    m_cells = LayoutSelectionGrid(width(), height(), ComboNumber(m_columns), ComboNumber(m_rows));
    m_thumbnails.assign(m_cells.size(), {});
    const int items = m_list ? static_cast<int>(m_list->size()) : 0;
    for (size_t i = 0; i < m_cells.size(); ++i) {
        const GridCell& cell = m_cells[i];
        if (cell.item >= items) continue;
        const cv::Mat image = LoadImage16((*m_list)[static_cast<size_t>(cell.item)].path.c_str());
        if (image.empty()) continue;
        const GridRect where = FitIntoCell(cell.rect, image.cols, image.rows);
        const cv::Mat thumb = SampleThumbnail(image, where.Width(), where.Height());
        if (thumb.empty()) continue;
        // Every thumbnail uses the range of the first image's thumbnail.
        if (cell.item == 0) m_mapping = MappingFromThumbnail(thumb);
        const cv::Mat grey = MapThumbnailToGrey(thumb, m_mapping);
        QImage picture(grey.data, grey.cols, grey.rows, static_cast<qsizetype>(grey.step), QImage::Format_Grayscale8);
        m_thumbnails[i] = {picture.copy(), where};
    }
}

void ImageSelectionDlg::paintEvent(QPaintEvent*) {
    UpdateSelectionControls();
    if (m_paintSuppressed) return;
    QPainter painter(this);
    const GridRect area = SelectionGridArea(width(), height());
    const QRect areaRect(QPoint(area.left, area.top), QPoint(area.right, area.bottom));
    painter.fillRect(areaRect, QColor(0, 0, 50));
    painter.setPen(QColor(0, 0, 50));
    painter.drawRect(areaRect);
    const int items = m_list ? static_cast<int>(m_list->size()) : 0;
    const QPen empty(QColor(100, 100, 100), 1, Qt::DashDotDotLine);
    const QPen marked(QColor(255, 100, 100), 3);
    const QPen unmarked(QColor(100, 100, 100), 3);
    for (size_t i = 0; i < m_cells.size(); ++i) {
        const GridCell& cell = m_cells[i];
        const QRect r(QPoint(cell.rect.left, cell.rect.top), QPoint(cell.rect.right, cell.rect.bottom));
        if (cell.item >= items) {
            painter.setPen(empty);
            painter.drawRect(r);
            continue;
        }
        if (i < m_thumbnails.size() && !m_thumbnails[i].image.isNull()) {
            const GridRect& w = m_thumbnails[i].where;
            painter.drawImage(QPoint(w.left, w.top), m_thumbnails[i].image);
        }
        painter.setPen((*m_list)[static_cast<size_t>(cell.item)].selected ? marked : unmarked);
        painter.drawRect(r);
    }
}

void ImageSelectionDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    m_paintSuppressed = true;
    RestartRepaintTimer();
}

void ImageSelectionDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_repaintTimer->stop();
    m_paintSuppressed = false;
    Rebuild();
}

void ImageSelectionDlg::mousePressEvent(QMouseEvent* event) {
    ClickAt(event->position().toPoint());
    QDialog::mousePressEvent(event);
}

void ImageSelectionDlg::ClickAt(const QPoint& point) {
    const int index = HitTestCell(m_cells, point.x(), point.y());
    if (index < 0 || m_list == nullptr) return;
    const GridCell& cell = m_cells[static_cast<size_t>(index)];
    if (cell.item >= static_cast<int>(m_list->size())) return;
    auto& item = (*m_list)[static_cast<size_t>(cell.item)];
    item.selected = !item.selected;
    UpdateSelectionControls();
    update(FrameRect(cell.rect));
}

void ImageSelectionDlg::OnBnClickedClear() {
    if (m_list == nullptr) return;
    const bool anyMarked = CountSelected(m_list) > 0;
    for (auto& item : *m_list) item.selected = false;
    UpdateSelectionControls();
    if (!anyMarked) return;
    for (const GridCell& cell : m_cells) {
        if (cell.item < static_cast<int>(m_list->size())) update(FrameRect(cell.rect));
    }
}

void ImageSelectionDlg::OnBnClickedOpenSel() {
    if (m_list == nullptr) return;
    for (const auto& item : *m_list) {
        if (item.selected) OpenImageDocument(item.path.c_str());
    }
}

ImageSelectionList SelectedFileItems(const ToolWindow& tool) {
    ImageSelectionList list;
    for (const std::string& name : tool.SelectedFileNames()) {
        ImageSelectionItem item;
        item.path = JoinToolFolder(tool.FolderEdit()->text().toStdString(), name).c_str();
        list.push_back(item);
    }
    return list;
}

void PreviewSelectedFiles(ToolWindow& tool) {
    ImageSelectionList list = SelectedFileItems(tool);
    if (list.empty()) {
        platform::ShowMessageBox(kSelectAtLeastOneFile, "Vellora", platform::MB_OK);
        return;
    }
    ImageSelectionDlg grid(&list, &tool);
    grid.exec();
}
