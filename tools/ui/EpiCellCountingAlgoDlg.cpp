#include "tools/ui/EpiCellCountingAlgoDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ActiveROI.h"
#include "app/VelloraApp.h"
#include "imaging/ImageDoc.h"
#include "imaging/ImageView.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/ui/DialogControls.h"
#include "tools/ToolFrame.h"
#include "tools/ui/ActiveImageView.h"
#include "tools/ui/ParamSetCombo.h"

EpiCellCountingAlgoDlg* g_EpiCellCountingAlgoDlg = nullptr;

namespace {

constexpr int kRoiIds[4] = {1040, 1042, 1209, 1210};
constexpr int kValueIds[5] = {1235, 1236, 1237, 1238, 1239};

void LogAndShow(const std::string& message) {
    LogErrAndInfo(__FILE__, __LINE__, message.c_str());
    platform::ShowMessageBox(message, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
}

}  // namespace

EpiCellCountingAlgoDlg::EpiCellCountingAlgoDlg(QWidget* parent) : ToolWindow("Epi Cell Counting Algo", parent) {
    auto* layout = new QVBoxLayout(this);
    auto* setRow = new QHBoxLayout;
    m_setName = new ParamSetCombo(kEpiCountingExtension, 1075, this);
    m_save = new QPushButton("Save", this);
    m_save->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(m_save, 1080);
    setRow->addWidget(m_setName, 1);
    setRow->addWidget(m_save);
    layout->addLayout(setRow);

    auto* roi = new QGroupBox(" Region of Interest", this);
    auto* roiGrid = new QGridLayout(roi);
    const char* roiLabels[4] = {"Left", "Top", "Right", "Bottom"};
    for (int i = 0; i < 4; ++i) {
        m_roi[i] = new QLineEdit(this);
        m_roi[i]->setEnabled(false);
        m_roi[i]->setMaximumWidth(64);
        Tovanix::SetDlgCtrlID(m_roi[i], kRoiIds[i]);
        roiGrid->addWidget(new QLabel(roiLabels[i], this), i / 2, (i % 2) * 2);
        roiGrid->addWidget(m_roi[i], i / 2, (i % 2) * 2 + 1);
        connect(m_roi[i], &QLineEdit::textChanged, this, [this] {
            RestartTimer(1003, 350);
            RestartTimer(1004, 500);
        });
    }
    layout->addWidget(roi);

    m_useBackground = new QCheckBox("Use background image (if available)", this);
    Tovanix::SetDlgCtrlID(m_useBackground, 1234);
    layout->addWidget(m_useBackground);
    connect(m_useBackground, &QCheckBox::clicked, this, [this] { RestartTimer(1003, 350); });

    auto* values = new QGridLayout;
    const char* labels[5] = {"Dark percentile threshold 0", "Dark percentile threshold 1", "Min pixel count", "Min size",
                             "Max ratio"};
    const char* hints[5] = {
        "At least one pixel must be this dark.",
        "All pixels must be this dark.",
        "Objects must have at least this many pixels.",
        "Objects must be at least this many pixels tall or wide.",
        "Maximum fraction of the area within a square which the object fits inside of, which is covered by the object.",
    };
    for (int i = 0; i < 5; ++i) {
        m_values[i] = new QLineEdit(this);
        m_values[i]->setMaximumWidth(72);
        m_values[i]->setToolTip(hints[i]);
        Tovanix::SetDlgCtrlID(m_values[i], kValueIds[i]);
        auto* hint = new QLabel(hints[i], this);
        hint->setWordWrap(true);
        values->addWidget(new QLabel(labels[i], this), i, 0);
        values->addWidget(m_values[i], i, 1);
        values->addWidget(hint, i, 2);
        connect(m_values[i], &QLineEdit::textChanged, this, [this] { RestartTimer(1003, 350); });
    }
    values->setColumnStretch(2, 1);
    layout->addLayout(values);

    auto* debug = new QGroupBox(" Debug ", this);
    auto* debugRow = new QHBoxLayout(debug);
    const char* debugLabels[3] = {"Show threshold 0 pixels", "Show threshold 1 pixels", "Show found object pixels"};
    for (int i = 0; i < 3; ++i) {
        m_debug[i] = new QCheckBox(debugLabels[i], this);
        Tovanix::SetDlgCtrlID(m_debug[i], 1241 + i);
        debugRow->addWidget(m_debug[i]);
        connect(m_debug[i], &QCheckBox::clicked, this, [this] { RestartTimer(1003, 350); });
    }
    layout->addWidget(debug);

    auto* buttons = new QHBoxLayout;
    m_runButton = new QPushButton("Run", this);
    m_runButton->setDefault(true);
    Tovanix::SetDlgCtrlID(m_runButton, 1219);
    auto* done = new QPushButton("Done", this);
    done->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(done, 2);
    buttons->addStretch(1);
    buttons->addWidget(m_runButton);
    buttons->addWidget(done);
    layout->addLayout(buttons);
    resize(620, 480);

    connect(m_save, &QPushButton::clicked, this, [this] { OnBnClickedSave(); });
    connect(m_runButton, &QPushButton::clicked, this, [this] { RestartTimer(1001, 100); });
    connect(done, &QPushButton::clicked, this, [this] { OnBnClickedCancel(); });
    connect(m_setName, &ParamSetCombo::closedUp, this, [this] { OnCbnCloseupParamSet(); });

    std::string error;
    if (!LoadParamSet(&error)) LogAndShow(error);
}

QLineEdit* EpiCellCountingAlgoDlg::Edit(int id) const {
    for (QLineEdit* edit : m_roi) {
        if (Tovanix::GetDlgCtrlID(edit) == id) return edit;
    }
    for (QLineEdit* edit : m_values) {
        if (Tovanix::GetDlgCtrlID(edit) == id) return edit;
    }
    return nullptr;
}

EpiControlTexts EpiCellCountingAlgoDlg::Texts() const {
    EpiControlTexts texts;
    texts.left = m_roi[0]->text().toStdString();
    texts.top = m_roi[1]->text().toStdString();
    texts.right = m_roi[2]->text().toStdString();
    texts.bottom = m_roi[3]->text().toStdString();
    texts.darkPct0 = m_values[0]->text().toStdString();
    texts.darkPct1 = m_values[1]->text().toStdString();
    texts.minPixelCount = m_values[2]->text().toStdString();
    texts.minSize = m_values[3]->text().toStdString();
    texts.maxRatio = m_values[4]->text().toStdString();
    texts.useBgImageIfAvail = m_useBackground->isChecked();
    return texts;
}

void EpiCellCountingAlgoDlg::ParamsToControls() {
    const EpiControlTexts texts = EpiParamsToControls(m_params);
    const std::string* roi[4] = {&texts.left, &texts.top, &texts.right, &texts.bottom};
    for (int i = 0; i < 4; ++i) m_roi[i]->setText(QString::fromStdString(*roi[i]));
    const std::string* values[5] = {&texts.darkPct0, &texts.darkPct1, &texts.minPixelCount, &texts.minSize,
                                    &texts.maxRatio};
    for (int i = 0; i < 5; ++i) m_values[i]->setText(QString::fromStdString(*values[i]));
    m_useBackground->setChecked(texts.useBgImageIfAvail);
}

void EpiCellCountingAlgoDlg::ControlsToParams() { EpiControlsToParams(Texts(), m_params); }

void EpiCellCountingAlgoDlg::SetRoiEdits(int left, int top, int right, int bottom) {
    m_roi[0]->setText(QString::number(left));
    m_roi[1]->setText(QString::number(top));
    m_roi[2]->setText(QString::number(right));
    m_roi[3]->setText(QString::number(bottom));
}

bool EpiCellCountingAlgoDlg::LoadParamSet(std::string* error) {
    LoadingGuard guard(m_loading);
    std::string name = m_setName->Text();
    if (name.find_first_not_of(" \t") == std::string::npos) {
        char buffer[1024] = "";
        if (!Tovanix::E_GetPrivateProfileString("EpiCellCountingAlgoDlg", "ParamSetName", "Default", buffer, 1023,
                                                g_IniPath.GetString())) {
            std::snprintf(buffer, sizeof buffer, "Default");
        }
        name = buffer;
        m_setName->SetText(name);
    }
    std::string path;
    if (!GetEpiParamSetPath(name, &path, error)) return false;
    m_params.LoadFromFile(path.c_str());
    ParamsToControls();
    RestartTimer(1003, 350);
    m_currentSetName = name;
    return true;
}

bool EpiCellCountingAlgoDlg::SaveParamSet(std::string* error, const std::string& name) {
    if (m_loading) return false;
    if (name.empty()) {
        Tovanix::E_WritePrivateProfileString("EpiCellCountingAlgoDlg", "ParamSetName", m_setName->Text().c_str(),
                                             g_IniPath.GetString());
    }
    ControlsToParams();
    if (!SaveEpiParamSet(name.empty() ? m_setName->Text() : name, m_params, error)) return false;
    RestartTimer(1003, 350);
    return true;
}

void EpiCellCountingAlgoDlg::UpdateSaveButton(bool defer) {
    KillTimer(1003);
    if (defer) {
        RestartTimer(1003, 350);
        return;
    }
    ControlsToParams();
    m_save->setEnabled(EpiParamsChanged(m_params));
}

void EpiCellCountingAlgoDlg::OnBnClickedSave() {
    std::string error;
    if (!CheckParamSetName(m_setName->Text(), &error)) {
        platform::ShowMessageBox(error, "Vellora", platform::MB_OK);
        return;
    }
    if (!SaveParamSet(&error)) LogErrAndInfo(__FILE__, __LINE__, error.c_str());
}

void EpiCellCountingAlgoDlg::OnCbnCloseupParamSet() {
    ControlsToParams();
    if (EpiParamsChanged(m_params)) {
        const std::string question = "Save changes to " + m_currentSetName + "?";
        if (platform::ShowMessageBox(question, "Vellora", platform::MB_YESNO | platform::MB_ICONQUESTION) ==
            platform::IDYES) {
            std::string error;
            if (!SaveParamSet(&error, m_currentSetName)) LogAndShow(error);
        }
    }
    RestartTimer(1002, 100);
}

bool EpiCellCountingAlgoDlg::RunOnCurrentImage(std::string* error) {
    error->clear();
    CImageView* view = ActiveImageView();
    if (!view || !view->GetDocument()) return true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ControlsToParams();
    EpiCellCountingAlgoParams params = m_params;
    params.showThreshold0Pixels = m_debug[0]->isChecked();
    params.showThreshold1Pixels = m_debug[1]->isChecked();
    params.showFoundObjectPixels = m_debug[2]->isChecked();
    EpiRunResult result;
    const bool counted = RunEpiCountingOnDocument(*view->GetDocument(), params, result, error);
    if (counted) {
        delete view->m_pOverlayCodes;
        view->m_pOverlayCodes = result.debugImage.empty() ? nullptr : new cv::Mat(result.debugImage);
        view->m_EpiDetections = std::move(result.detections);
        view->m_bRedraw = true;
        view->Invalidate();
    }
    QApplication::restoreOverrideCursor();
    return counted;
}

void EpiCellCountingAlgoDlg::OnBnClickedCancel() {
    ControlsToParams();
    if (EpiParamsChanged(m_params)) {
        const int answer = platform::ShowMessageBox("Save changes?", "Vellora",
                                                    platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION);
        if (answer == platform::IDCANCEL) return;
        if (answer == platform::IDYES) OnBnClickedSave();
    }
    g_EpiOverlayROI = ROIRect{};
    InvalidateImageViews();
    hide();
}

void EpiCellCountingAlgoDlg::OnToolTimer(int id) {
    switch (id) {
    case 1001: {
        std::string error;
        const bool counted = RunOnCurrentImage(&error);
        if (!counted) LogAndShow(error);
        emit processed(counted);
        break;
    }
    case 1002: {
        std::string ignored;
        LoadParamSet(&ignored);
        break;
    }
    case 1003:
        if (isVisible()) UpdateSaveButton(false);
        break;
    case 1004: {
        // A side whose text does not read keeps what the views show now.
        PublishEpiRegion(Texts(), g_EpiOverlayROI);
        InvalidateImageViews();
        break;
    }
    default:
        break;
    }
}

void EpiCellCountingAlgoDlg::showEvent(QShowEvent* event) {
    ToolWindow::showEvent(event);
    RestartTimer(1003, 350);
    RestartTimer(1004, 500);
}
