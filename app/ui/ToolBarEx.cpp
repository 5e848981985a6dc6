#include "app/ui/ToolBarEx.h"

#include <QAbstractItemView>
#include <QAction>

#include "app/FrameCommands.h"
#include "app/ImageTypes.h"
#include "app/VelloraApp.h"

void ImageTypeComboBox::showPopup() {
    emit droppedDown();
    QComboBox::showPopup();
}

void ImageTypeComboBox::hidePopup() {
    // Also called when the box itself hides; only a list that was open closes up.
    const bool open = view() && view()->isVisible();
    QComboBox::hidePopup();
    if (open) emit closedUp();
}

CToolBarEx::CToolBarEx(QWidget* parent) : QToolBar("Standard", parent) {}

CToolBarEx::~CToolBarEx() {
    if (!m_wndImageTypeCombo) return;
    // The box outlives this part of the toolbar: it must not call back into it.
    m_wndImageTypeCombo->disconnect(this);
    ImageTypeBox::Detach();
}

bool CToolBarEx::CreateImageTypeCombo() {
    if (m_wndImageTypeCombo) return false;

    m_wndImageTypeCombo = new ImageTypeComboBox(this);
    m_wndImageTypeCombo->setEditable(true);
    m_wndImageTypeCombo->setInsertPolicy(QComboBox::NoInsert);
    m_wndImageTypeCombo->setFixedWidth(200);
    m_wndImageTypeCombo->setMaxVisibleItems(20);
    m_wndImageTypeCombo->setToolTip("Image type");
    // The original face is a bitmap font whose smallest size is 8 points.
    m_fontImageTypeCombo = m_wndImageTypeCombo->font();
    m_fontImageTypeCombo.setPointSize(8);
    m_wndImageTypeCombo->setFont(m_fontImageTypeCombo);

    // The box takes the placeholder's place in the button row.
    QAction* placeholder = nullptr;
    for (QAction* action : actions()) {
        if (action->data().toInt() == cmd::ImageTypePlaceholder) placeholder = action;
    }
    QAction* box = placeholder ? insertWidget(placeholder, m_wndImageTypeCombo) : addWidget(m_wndImageTypeCombo);
    box->setData(cmd::ImageTypeCombo);
    if (placeholder) {
        removeAction(placeholder);
        placeholder->deleteLater();
    }

    connect(m_wndImageTypeCombo, &QComboBox::currentTextChanged, this,
            [](const QString& text) { ImageTypeBox::TextChanged(text.toLocal8Bit().toStdString()); });
    connect(m_wndImageTypeCombo, &ImageTypeComboBox::droppedDown, this, &CToolBarEx::OnDropDown);
    connect(m_wndImageTypeCombo, &ImageTypeComboBox::closedUp, this, &CToolBarEx::OnCloseUp);
    ImageTypeBox::Attach([this](const std::string& text) {
        if (m_wndImageTypeCombo) m_wndImageTypeCombo->setEditText(QString::fromLocal8Bit(text.c_str()));
    });

    const ImageTypeNames names = ReadImageTypeNames(g_IniPath);
    const int first = FirstSetImageType(names, 0);
    const std::string text = first >= 0 ? names[static_cast<size_t>(first)] : std::string();
    m_wndImageTypeCombo->setEditText(QString::fromLocal8Bit(text.c_str()));
    ImageTypeBox::TextChanged(text);
    m_wndImageTypeCombo->show();
    return true;
}

bool CToolBarEx::ShowImageType(int index) { return ImageTypeBox::ShowImageType(index); }

signed char CToolBarEx::GetSelectedImageTypeIndex() const {
    return m_wndImageTypeCombo ? ImageTypeBox::GetSelectedImageTypeIndex() : 0;
}

void CToolBarEx::OnDropDown() {
    // Names may have changed in the settings since the last look; the text
    // shown stays as it is until a name is picked.
    const QString shown = m_wndImageTypeCombo->currentText();
    const QSignalBlocker quiet(m_wndImageTypeCombo);
    m_wndImageTypeCombo->clear();
    for (const std::string& name : ReadImageTypeNames(g_IniPath)) {
        if (IsImageTypeNameSet(name)) m_wndImageTypeCombo->addItem(QString::fromLocal8Bit(name.c_str()));
    }
    m_wndImageTypeCombo->setCurrentIndex(m_wndImageTypeCombo->findText(shown, Qt::MatchExactly | Qt::MatchCaseSensitive));
    m_wndImageTypeCombo->setEditText(shown);
}

void CToolBarEx::OnCloseUp() {
    // Live view restarts with the chosen type: the Live Image command closes
    // the preview and opens it again.
    if (m_liveImageChecked && m_liveImageChecked() && m_postCommand) {
        m_postCommand(cmd::LiveImage);
        m_postCommand(cmd::LiveImage);
    }
}
