#include "operator/ui/ControlPanelDlg.h"

#include <QContextMenuEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <strings.h>

#include "app/VelloraApp.h"
#include "script/Script.h"
#include "support/ui/ColorButton.h"
#include "support/ui/DialogControls.h"
#include "support/ui/SelectColor.h"

ControlPanelDlg* g_ControlPanelDlg = nullptr;

namespace {

constexpr const char* kCaption = "Control Panel";
constexpr const char* kRunningCaption = "Control Panel - Script Running";
constexpr int kGaugeIds[2] = {1206, 1207};
constexpr int kGaugeLabelIds[2] = {1208, 1209};

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The owner-drawn colour swatch of the properties dialog.
class ColorSwatch : public QPushButton {
public:
    ColorSwatch(uint32_t* color, QWidget* parent) : QPushButton(parent), m_color(color) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Tovanix::DrawItemStruct item{&painter, rect(), isDown() ? unsigned(Tovanix::ODS_SELECTED) : 0u};
        Tovanix::DrawColorButton(parentWidget(), Tovanix::GetDlgCtrlID(this), &item, *m_color);
    }

private:
    const uint32_t* m_color;
};

}  // namespace

ControlPanelButton::ControlPanelButton(uint32_t* color, QWidget* parent) : QPushButton("[Empty]", parent), m_color(color) {}

void ControlPanelButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    unsigned state = hasFocus() ? unsigned(Tovanix::ODS_FOCUS) : 0u;
    if (isDown()) state |= Tovanix::ODS_SELECTED;
    Tovanix::DrawItemStruct item{&painter, rect(), state};
    Tovanix::DrawColorButton(parentWidget(), Tovanix::GetDlgCtrlID(this), &item, *m_color);
}

void ControlPanelButton::mousePressEvent(QMouseEvent* event) {
    // The press runs the button at once; the button never shows pressed.
    if (event->button() == Qt::LeftButton) {
        event->accept();
        emit runRequested();
        return;
    }
    QPushButton::mousePressEvent(event);
}

void ControlPanelButton::contextMenuEvent(QContextMenuEvent* event) {
    emit propertiesRequested(event->globalPos());
    event->accept();
}

void ControlPanelNameBox::showPopup() {
    emit listOpening();
    QComboBox::showPopup();
}

void ControlPanelNameBox::hidePopup() {
    // Hiding the window hides the list too; only a list that was open closes.
    const bool listShown = view() != nullptr && view()->window()->isVisible();
    QComboBox::hidePopup();
    if (listShown) emit listClosed();
}

ControlPanelButtonProperties::ControlPanelButtonProperties(const std::string& panelPath, const std::string& section,
                                                           QWidget* parent)
    : QDialog(parent), m_section(section), m_panelPath(panelPath) {
    setWindowTitle("Control Panel Button Properties");
    setSizeGripEnabled(true);
    m_title = new QLineEdit(this);
    m_title->setMaxLength(1023);
    Tovanix::SetDlgCtrlID(m_title, 1079);
    auto* swatch = new ColorSwatch(&m_color, this);
    swatch->setMinimumHeight(28);
    Tovanix::SetDlgCtrlID(swatch, 1080);
    m_scripts = new QListWidget(this);
    m_scripts->setSelectionMode(QAbstractItemView::SingleSelection);
    Tovanix::SetDlgCtrlID(m_scripts, 1068);
    auto* ok = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok->setDefault(true);
    Tovanix::SetDlgCtrlID(ok, 1);
    Tovanix::SetDlgCtrlID(cancel, 2);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Name", this), 0, 0);
    grid->addWidget(m_title, 0, 1);
    grid->addWidget(new QLabel("Color", this), 1, 0);
    grid->addWidget(swatch, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(new QLabel("Assigned Script", this));
    layout->addWidget(m_scripts, 1);
    layout->addLayout(buttons);
    resize(320, 320);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(swatch, &QPushButton::clicked, this, [this, swatch] {
        Tovanix::SelectColor dialog(this);
        dialog.m_FirstColor = m_color;
        if (dialog.DoModal() == 1) {
            m_color = dialog.GetColor();
            swatch->update();
        }
    });
}

void ControlPanelButtonProperties::OnInitDialog() {
    const ControlPanel::ButtonProperties properties = ControlPanel::LoadButtonProperties(m_panelPath, m_section);
    m_color = properties.color;
    m_title->setText(Text(properties.title));
    m_scripts->clear();
    for (const std::string& script : ControlPanel::AssignableScripts()) m_scripts->addItem(Text(script));
    // The first item that begins with the stored script, as a list's
    // select-string search finds it.
    for (int row = 0; row < m_scripts->count(); ++row) {
        if (m_scripts->item(row)->text().startsWith(Text(properties.script), Qt::CaseInsensitive)) {
            m_scripts->setCurrentRow(row);
            break;
        }
    }
}

int ControlPanelButtonProperties::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void ControlPanelButtonProperties::accept() {
    const QList<QListWidgetItem*> selected = m_scripts->selectedItems();
    const std::string script = selected.isEmpty() ? std::string() : selected.front()->text().toStdString();
    ControlPanel::SaveButtonProperties(m_panelPath, m_section, m_color, m_title->text().toStdString(),
                                       selected.isEmpty() ? nullptr : &script);
    QDialog::accept();
}

ControlPanelDlg::ControlPanelDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    m_worker.setMaxThreadCount(1);

    m_panelName = new ControlPanelNameBox(this);
    m_panelName->setEditable(true);
    m_panelName->setInsertPolicy(QComboBox::NoInsert);
    m_panelName->setEnabled(false);
    Tovanix::SetDlgCtrlID(m_panelName, 1231);

    auto* gauges = new QGridLayout;
    for (int pump = 0; pump < 2; ++pump) {
        auto* label = new QLabel(QString::number(pump + 1), this);
        label->setAlignment(Qt::AlignCenter);
        m_gauges[pump] = new QProgressBar(this);
        m_gauges[pump]->setOrientation(Qt::Vertical);
        m_gauges[pump]->setTextVisible(false);
        m_gauges[pump]->setRange(0, 100);
        m_gauges[pump]->setValue(0);
        m_gauges[pump]->setFixedSize(27, 124);
        m_gaugeLabels[pump] = new QLabel(this);
        m_gaugeLabels[pump]->setAlignment(Qt::AlignCenter);
        Tovanix::SetDlgCtrlID(m_gauges[pump], kGaugeIds[pump]);
        Tovanix::SetDlgCtrlID(m_gaugeLabels[pump], kGaugeLabelIds[pump]);
        gauges->addWidget(label, 0, pump);
        gauges->addWidget(m_gauges[pump], 1, pump, Qt::AlignHCenter);
        gauges->addWidget(m_gaugeLabels[pump], 2, pump);
    }
    gauges->setRowStretch(3, 1);

    auto* buttons = new QGridLayout;
    buttons->setSpacing(10);
    for (int i = 0; i < ControlPanel::kButtonCount; ++i) {
        const int id = ControlPanel::kFirstButtonId + i;
        m_colors[i] = ControlPanel::kDefaultColor;
        auto* button = new ControlPanelButton(&m_colors[i], this);
        button->setFixedSize(112, 70);
        // A hidden button keeps its place in the grid.
        QSizePolicy policy = button->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        button->setSizePolicy(policy);
        Tovanix::SetDlgCtrlID(button, id);
        m_buttons[i] = button;
        buttons->addWidget(button, i / 5, i % 5);
        connect(button, &ControlPanelButton::runRequested, this, [this, id] { RunButtonScript(id); });
        connect(button, &ControlPanelButton::propertiesRequested, this, [this, id](const QPoint& point) {
            if (!theApp.m_bAdminMode) return;
            m_contextButton = id;
            QMenu menu(Button(id));
            QAction* properties = menu.addAction("Properties");
            if (menu.exec(point) == properties && m_contextButton != 0) EditButtonProperties(m_contextButton);
            m_contextButton = 0;
        });
    }

    auto* right = new QVBoxLayout;
    right->addWidget(m_panelName);
    right->addLayout(buttons);
    right->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(9, 9, 3, 9);
    layout->addLayout(gauges);
    layout->addLayout(right, 1);

    m_captionTimer = new QTimer(this);
    m_captionTimer->setInterval(1000);
    connect(m_captionTimer, &QTimer::timeout, this, &ControlPanelDlg::UpdateCaption);
    m_gaugeTimer = new QTimer(this);
    m_gaugeTimer->setInterval(2000);
    connect(m_gaugeTimer, &QTimer::timeout, this, &ControlPanelDlg::RefreshGauges);
    m_panelTimer = new QTimer(this);
    m_panelTimer->setSingleShot(true);
    connect(m_panelTimer, &QTimer::timeout, this, &ControlPanelDlg::OnPanelNameChosen);
    connect(m_panelName->lineEdit(), &QLineEdit::textEdited, this, [this] { m_panelTimer->start(1000); });
    connect(m_panelName, &ControlPanelNameBox::listClosed, this, [this] { m_panelTimer->start(0); });
    connect(m_panelName, &ControlPanelNameBox::listOpening, this, [this] {
        const QString typed = m_panelName->currentText();
        m_panelName->clear();
        for (const std::string& name : ControlPanel::ListPanelNames()) m_panelName->addItem(Text(name));
        m_panelName->setEditText(typed);
    });

    propertiesPrompt = [this](int buttonId) {
        ControlPanelButtonProperties dialog(ControlPanel::GetActivePanelPath(), ControlPanel::ButtonSection(buttonId),
                                            this);
        return dialog.exec() == QDialog::Accepted;
    };
}

ControlPanelDlg::~ControlPanelDlg() { WaitForWorker(); }

void ControlPanelDlg::WaitForWorker() { m_worker.waitForDone(); }

ControlPanelButton* ControlPanelDlg::Button(int buttonId) const {
    if (buttonId < ControlPanel::kFirstButtonId || buttonId > ControlPanel::kLastButtonId) return nullptr;
    return m_buttons[buttonId - ControlPanel::kFirstButtonId];
}

const std::string& ControlPanelDlg::Caption(int buttonId) const {
    return m_captions[buttonId - ControlPanel::kFirstButtonId];
}

uint32_t ControlPanelDlg::Color(int buttonId) const { return m_colors[buttonId - ControlPanel::kFirstButtonId]; }

void ControlPanelDlg::SetAdminMode(bool on) {
    m_panelName->setEnabled(on);
    RefreshButtons();
}

void ControlPanelDlg::RefreshButtons() {
    const std::string panel = ControlPanel::GetActivePanelPath();
    for (int i = 0; i < ControlPanel::kButtonCount; ++i) {
        const int id = ControlPanel::kFirstButtonId + i;
        m_colors[i] = ControlPanel::GetButtonColor(panel, id);
        m_captions[i] = ControlPanel::GetButtonTitle(panel, id);
        m_buttons[i]->setText(Text(m_captions[i]));
        // Outside administrator mode only the buttons with a script show.
        m_buttons[i]->setVisible(theApp.m_bAdminMode || m_captions[i] != ControlPanel::kNotAssigned);
        m_buttons[i]->update();
    }
}

void ControlPanelDlg::RunButtonScript(int buttonId) { ControlPanel::RunButtonScript(buttonId); }

void ControlPanelDlg::EditButtonProperties(int buttonId) {
    if (propertiesPrompt(buttonId)) RefreshButtons();
}

void ControlPanelDlg::OnPanelNameChosen() {
    m_panelTimer->stop();
    std::string name = m_panelName->currentText().left(1023).toStdString();
    const std::string typed = name;
    switch (ControlPanel::ChoosePanel(&name)) {
        case ControlPanel::PanelChoice::Refreshed:
        case ControlPanel::PanelChoice::Switched:
            RefreshButtons();
            break;
        case ControlPanel::PanelChoice::Refused:
        case ControlPanel::PanelChoice::Ignored:
            break;
    }
    if (name != typed) m_panelName->setEditText(Text(name));
}

void ControlPanelDlg::UpdateCaption() {
    if (!isVisible()) {
        m_captionTimer->stop();
        return;
    }
    setWindowTitle(Script::IsScriptRunning(0, nullptr) ? kRunningCaption : kCaption);
}

void ControlPanelDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    SetAdminMode(theApp.m_bAdminMode);
    std::string name = ControlPanel::GetActivePanelPath();
    name = name.substr(name.find_last_of("\\/") + 1);
    m_panelName->setEditText(Text(name.substr(0, name.rfind('.'))));
    RefreshButtons();
    m_captionTimer->start();
    m_gaugeTimer->start();
    if (theApp.m_nPumpComPort != 0) QueryPumps(true);
}

void ControlPanelDlg::hideEvent(QHideEvent* event) {
    m_captionTimer->stop();
    m_gaugeTimer->stop();
    QDialog::hideEvent(event);
}

void ControlPanelDlg::RefreshGauges() { QueryPumps(false); }

void ControlPanelDlg::QueryPumps(bool withVolumes) {
    // One query at a time; a slow line skips the refreshes it cannot serve.
    if (m_querying) return;
    m_querying = true;
    m_worker.start([this, withVolumes] {
        ControlPanel::SyringeReading readings[2] = {ControlPanel::ReadSyringe(1, withVolumes),
                                                    ControlPanel::ReadSyringe(2, withVolumes)};
        QMetaObject::invokeMethod(
            this,
            [this, withVolumes, first = readings[0], second = readings[1]] {
                const ControlPanel::SyringeReading both[2] = {first, second};
                ShowReadings(withVolumes, both);
            },
            Qt::QueuedConnection);
    });
}

void ControlPanelDlg::ShowReadings(bool withVolumes, const ControlPanel::SyringeReading readings[2]) {
    m_querying = false;
    for (int pump = 0; pump < 2; ++pump) {
        const ControlPanel::SyringeReading& reading = readings[pump];
        QProgressBar* gauge = m_gauges[pump];
        if (withVolumes) {
            if (!reading.haveVolume) {
                gauge->hide();
                continue;
            }
            gauge->show();
            m_syringeVolume[pump] = reading.volumeUl;
            gauge->setRange(0, reading.volumeUl);
            QPalette palette = gauge->palette();
            palette.setColor(QPalette::Highlight, QColor(128, 128, 128));
            palette.setColor(QPalette::Base, QColor(0, 162, 232));
            palette.setColor(QPalette::Window, QColor(0, 162, 232));
            gauge->setPalette(palette);
        }
        if (reading.haveDisplacement) {
            gauge->setValue(ControlPanel::GaugePosition(m_syringeVolume[pump], reading.displacementUl));
            m_gaugeLabels[pump]->setText(Text(ControlPanel::DisplacementText(reading.displacementUl)));
        }
    }
    emit gaugesUpdated();
}
