#include "tools/ui/CountingAlgorithmDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>

#include <filesystem>

#include "app/ActiveROI.h"
#include "app/VelloraApp.h"
#include "imaging/ImageDoc.h"
#include "imaging/ImageView.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/ShellUtils.h"
#include "support/ui/DialogControls.h"
#include "tools/CountingRun.h"
#include "tools/ToolFrame.h"
#include "tools/ui/ActiveImageView.h"
#include "tools/ui/ParamSetCombo.h"

#include <opencv2/core.hpp>

CountingAlgorithmDlg* g_CountingAlgorithmDlg = nullptr;

namespace {

struct SpinnerSpec {
    const char* key;
    int id;
};
constexpr SpinnerSpec kSpinners[] = {
    {"ObjectRadius1", 1248},     {"ObjectRadius2", 1249},     {"ObjectRadiusSweep1", 1261}, {"ObjectRadiusSweep2", 1262},
    {"MFilterSamples1", 1250},   {"MFilterSamples2", 1251},   {"MFilterThreshold1", 1252},  {"MFilterThreshold2", 1253},
    {"CFilterThreshold1", 1254}, {"CFilterThreshold2", 1255}, {"CFilterMinSize1", 1256},    {"CFilterMinSize2", 1257},
};

const char* kBoxCaptions[][2] = {
    {"EdgeProcessing", "Edge processing"},
    {"MFilter1", "M Filter 1"},
    {"MFilter2", "M Filter 2"},
    {"CFilter1", "C Filter 1"},
    {"CFilter2", "C Filter 2"},
    {"RestoreImage", "Restore Image"},
    {"UseInnerRing1", ""},
    {"UseInnerRing2", ""},
    {"ProximityFilteringWithinType1", "Proximity Filtering Within Type 1"},
    {"ProximityFilteringWithinType2", "Proximity Filtering Within Type 2"},
    {"ProximityFilteringBetweenType1_2", "Proximity Filtering Between Type 1,2"},
};

std::string SetNameOfPath(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ReadMagnet(const char* key, const char* fallback) {
    char buffer[1024] = "";
    if (!Tovanix::E_GetPrivateProfileString("CalibrationSettings", key, fallback, buffer, 1023, g_IniPath.GetString()))
        return fallback;
    return buffer;
}

}  // namespace

CountingAlgorithmDlg::CountingAlgorithmDlg(QWidget* parent) : ToolWindow("Counting Algorithm", parent) {
    auto* layout = new QVBoxLayout(this);

    auto* setRow = new QHBoxLayout;
    m_setName = new ParamSetCombo(kCountingParamsExtension, 1214, this);
    m_save = new QPushButton("Save", this);
    m_save->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(m_save, 1080);
    setRow->addWidget(new QLabel("Parameter Set", this));
    setRow->addWidget(m_setName, 1);
    setRow->addWidget(m_save);
    layout->addLayout(setRow);

    for (const auto& [key, caption] : kBoxCaptions) {
        auto* box = new QCheckBox(caption, this);
        Tovanix::SetDlgCtrlID(box, kCountingParamKeys[static_cast<size_t>(CountingParamIndex(key))].controlId);
        m_boxes[key] = box;
    }
    for (const CountingParamKey& key : kCountingParamKeys) {
        if (key.kind != CountingParamKind::Number) continue;
        auto* edit = new QLineEdit(this);
        edit->setMaximumWidth(64);
        Tovanix::SetDlgCtrlID(edit, key.controlId);
        m_edits[key.key] = edit;
    }

    // The two cell types side by side, one column per option.
    auto* types = new QGroupBox(" Cell Types ", this);
    auto* grid = new QGridLayout(types);
    const char* columns[] = {"Radius (um)", "+/-", "Samples", "Threshold", "Use Inner"};
    for (int c = 0; c < 5; ++c) grid->addWidget(new QLabel(columns[c], this), 0, c + 1);
    grid->addWidget(new QLabel("C Threshold", this), 0, 6);
    grid->addWidget(new QLabel("Min Size", this), 0, 7);
    for (int type = 1; type <= 2; ++type) {
        const std::string n = std::to_string(type);
        grid->addWidget(new QLabel(QString("Type %1").arg(type), this), type, 0);
        const std::string keys[] = {"ObjectRadius" + n, "ObjectRadiusSweep" + n, "MFilterSamples" + n,
                                    "MFilterThreshold" + n, "", "CFilterThreshold" + n, "CFilterMinSize" + n};
        for (int c = 0; c < 7; ++c) {
            if (keys[c].empty()) {
                grid->addWidget(m_boxes["UseInnerRing" + n], type, c + 1, Qt::AlignCenter);
                continue;
            }
            auto* cell = new QHBoxLayout;
            cell->setSpacing(0);
            cell->addWidget(m_edits[keys[c]]);
            auto* spin = new QScrollBar(Qt::Vertical, this);
            spin->setFixedSize(14, 22);
            spin->setRange(0, 2);
            spin->setValue(1);
            for (const SpinnerSpec& spec : kSpinners) {
                if (keys[c] == spec.key) Tovanix::SetDlgCtrlID(spin, spec.id);
            }
            const std::string key = keys[c];
            connect(spin, &QScrollBar::actionTriggered, this, [this, spin, key](int action) {
                if (action == QAbstractSlider::SliderSingleStepSub) Spin(key.c_str(), true);
                if (action == QAbstractSlider::SliderSingleStepAdd) Spin(key.c_str(), false);
                QMetaObject::invokeMethod(spin, [spin] { spin->setValue(1); }, Qt::QueuedConnection);
            });
            cell->addWidget(spin);
            grid->addLayout(cell, type, c + 1);
        }
    }
    layout->addWidget(types);

    auto* filters = new QGridLayout;
    const char* filterKeys[] = {"EdgeProcessing", "MFilter1", "MFilter2", "CFilter1", "CFilter2", "RestoreImage"};
    for (int i = 0; i < 6; ++i) filters->addWidget(m_boxes[filterKeys[i]], i / 3, i % 3);
    filters->addWidget(m_boxes["ProximityFilteringWithinType1"], 2, 0);
    filters->addWidget(m_boxes["ProximityFilteringWithinType2"], 2, 1);
    filters->addWidget(m_boxes["ProximityFilteringBetweenType1_2"], 2, 2);
    layout->addLayout(filters);

    auto* regionRow = new QHBoxLayout;
    auto* roi = new QGroupBox(" Region of Interest", this);
    auto* roiGrid = new QGridLayout(roi);
    const char* roiKeys[] = {"Left", "Right", "Top", "Bottom"};
    for (int i = 0; i < 4; ++i) {
        roiGrid->addWidget(new QLabel(roiKeys[i], this), i / 2, (i % 2) * 2);
        roiGrid->addWidget(m_edits[roiKeys[i]], i / 2, (i % 2) * 2 + 1);
        m_edits[roiKeys[i]]->setEnabled(false);
    }
    regionRow->addWidget(roi);
    auto* magnets = new QGroupBox(" Magnet Height ", this);
    auto* magnetGrid = new QGridLayout(magnets);
    m_upperMagnet = new QLineEdit(this);
    m_lowerMagnet = new QLineEdit(this);
    Tovanix::SetDlgCtrlID(m_upperMagnet, 1211);
    Tovanix::SetDlgCtrlID(m_lowerMagnet, 1212);
    for (QLineEdit* edit : {m_upperMagnet, m_lowerMagnet}) {
        edit->setEnabled(false);
        edit->setMaximumWidth(64);
    }
    magnetGrid->addWidget(new QLabel("Upper", this), 0, 0);
    magnetGrid->addWidget(m_upperMagnet, 0, 1);
    magnetGrid->addWidget(new QLabel("Lower", this), 1, 0);
    magnetGrid->addWidget(m_lowerMagnet, 1, 1);
    regionRow->addWidget(magnets);
    layout->addLayout(regionRow);

    auto* runRow = new QHBoxLayout;
    m_autoRun = new QCheckBox("Auto Run On Change", this);
    m_createResults = new QCheckBox("Create Results Files", this);
    m_openSummary = new QCheckBox("Open Summary", this);
    Tovanix::SetDlgCtrlID(m_autoRun, 1041);
    Tovanix::SetDlgCtrlID(m_createResults, 1215);
    Tovanix::SetDlgCtrlID(m_openSummary, 1216);
    auto* run = MakeRunButton();
    auto* done = new QPushButton("Done", this);
    done->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(done, 1043);
    runRow->addWidget(m_autoRun);
    runRow->addWidget(m_createResults);
    runRow->addWidget(m_openSummary);
    runRow->addStretch(1);
    runRow->addWidget(run);
    runRow->addWidget(done);
    layout->addLayout(runRow);

    // Change notifications.
    connect(m_boxes["EdgeProcessing"], &QCheckBox::clicked, this, [this] { OnParamChanged(); });
    for (const auto& [key, box] : m_boxes) {
        if (key != "EdgeProcessing") connect(box, &QCheckBox::clicked, this, [this] { OnParamControlChanged(); });
    }
    for (const auto& [key, edit] : m_edits) {
        const bool roiEdit = key == "Left" || key == "Right" || key == "Top" || key == "Bottom";
        connect(edit, &QLineEdit::textChanged, this, [this, roiEdit] { roiEdit ? OnEnChangeRoi() : OnParamControlChanged(); });
    }
    connect(m_setName, &QComboBox::editTextChanged, this, [this] { OnParamControlChanged(); });
    connect(m_setName, &ParamSetCombo::closedUp, this, [this] {
        RestartTimer(1001, 1000);
        RestartTimer(1002, 1100);
    });
    for (QCheckBox* box : {m_createResults, m_openSummary}) {
        connect(box, &QCheckBox::clicked, this, [this] { RestartTimer(1001, 10); });
    }
    connect(m_save, &QPushButton::clicked, this, [this] { OnBnClickedSave(); });
    connect(run, &QPushButton::clicked, this, [this] { RestartTimer(1000, 0); });
    connect(done, &QPushButton::clicked, this, [this] { OnBnClickedDone(); });

    // The set of the last session.
    CountingToolChoices choices;
    ReadCountingToolChoices(choices);
    const std::string path = ParamSetPath(choices.paramSetName, kCountingParamsExtension);
    if (!choices.paramSetName.empty() && std::filesystem::exists(path)) {
        LoadParams(path);
        RestartTimer(1003, 350);
    }
}

QLineEdit* CountingAlgorithmDlg::Edit(const char* key) const {
    auto found = m_edits.find(key);
    return found == m_edits.end() ? nullptr : found->second;
}

QCheckBox* CountingAlgorithmDlg::Box(const char* key) const {
    auto found = m_boxes.find(key);
    return found == m_boxes.end() ? nullptr : found->second;
}

CountingParamValues CountingAlgorithmDlg::ControlValues() const {
    CountingParamValues values;
    for (const CountingParamKey& key : kCountingParamKeys) {
        if (key.kind == CountingParamKind::Number) {
            values.Set(key.key, Edit(key.key)->text().toStdString());
        } else {
            values.SetFlag(key.key, Box(key.key)->isChecked());
        }
    }
    return values;
}

void CountingAlgorithmDlg::SetControlValues(const CountingParamValues& values) {
    for (const CountingParamKey& key : kCountingParamKeys) {
        if (key.kind == CountingParamKind::Number) {
            Edit(key.key)->setText(QString::fromStdString(values.Get(key.key)));
        } else {
            Box(key.key)->setChecked(values.Flag(key.key));
        }
    }
}

bool CountingAlgorithmDlg::LoadParams(const std::string& path) {
    LoadingGuard guard(m_loading);
    m_setName->SetText(SetNameOfPath(path));
    CountingToolChoices choices;
    choices.createResultsFiles = m_createResults->isChecked();
    choices.openSummary = m_openSummary->isChecked();
    ReadCountingToolChoices(choices);
    m_createResults->setChecked(choices.createResultsFiles);
    m_openSummary->setChecked(choices.openSummary);
    UpdateLowerMagnetDisplay();
    UpdateUpperMagnetDisplay();
    CountingParamValues values = ControlValues();
    ReadCountingParams(path, values);
    SetControlValues(values);
    return true;
}

bool CountingAlgorithmDlg::SaveParams(const std::string& path) {
    if (m_loading) return false;
    CountingToolChoices choices;
    choices.paramSetName = m_setName->Text();
    choices.createResultsFiles = m_createResults->isChecked();
    choices.openSummary = m_openSummary->isChecked();
    WriteCountingToolChoices(choices);
    WriteCountingParams(path.empty() ? g_IniPath.str() : path, ControlValues());
    InvalidateImageViews();
    return true;
}

void CountingAlgorithmDlg::UpdateSaveButton() {
    KillTimer(1003);
    const std::string name = m_setName->Text();
    if (name.find_first_not_of(" \t") == std::string::npos || m_loading) return;
    m_save->setEnabled(CountingParamSetDiffers(name, ControlValues()));
}

void CountingAlgorithmDlg::OnBnClickedSave() {
    std::string error;
    if (!SaveCountingParamSet(m_setName->Text(), ControlValues(), &error)) {
        platform::ShowMessageBox(error, "Vellora", platform::MB_OK);
        return;
    }
    SaveParams();  // the main settings file follows the saved set
    RestartTimer(1003, 350);
}

void CountingAlgorithmDlg::UpdateLowerMagnetDisplay() {
    m_lowerMagnet->setText(QString::fromStdString(ReadMagnet("LowerMagnet", "1800")));
}

void CountingAlgorithmDlg::UpdateUpperMagnetDisplay() {
    m_upperMagnet->setText(QString::fromStdString(ReadMagnet("UpperMagnet", "100")));
}

void CountingAlgorithmDlg::SetRoiEdits(int left, int top, int right, int bottom) {
    Edit("Left")->setText(QString::number(left));
    Edit("Right")->setText(QString::number(right));
    Edit("Top")->setText(QString::number(top));
    Edit("Bottom")->setText(QString::number(bottom));
}

void CountingAlgorithmDlg::OnParamChanged() {
    RestartTimer(1003, 350);
    if (m_autoRun->isChecked()) RestartTimer(1000, 600);
}

void CountingAlgorithmDlg::OnParamControlChanged() {
    OnParamChanged();
    RestartTimer(1001, 1000);
}

void CountingAlgorithmDlg::OnEnChangeRoi() {
    OnParamChanged();
    RestartTimer(1001, 1000);
    RestartTimer(1004, 500);
}

void CountingAlgorithmDlg::Spin(const char* key, bool up) {
    QLineEdit* edit = Edit(key);
    if (!edit) return;
    const std::optional<std::string> text = SpinCountingParam(key, edit->text().toStdString(), up);
    if (text) edit->setText(QString::fromStdString(*text));
}

void CountingAlgorithmDlg::OnToolTimer(int id) {
    switch (id) {
    case 1000:
        RestartTimer(1003, 350);
        process_image();
        break;
    case 1001:
        SaveParams();
        RestartTimer(1003, 350);
        break;
    case 1002:
        LoadParams(ParamSetPath(m_setName->Text(), kCountingParamsExtension));
        RestartTimer(1003, 350);
        break;
    case 1003:
        if (isVisible()) UpdateSaveButton();
        break;
    case 1004: {
        auto read = [this](const char* key) { return Edit(key)->text().toInt(); };
        g_ActiveROI = ROIRect{read("Left"), read("Top"), read("Right"), read("Bottom")};
        InvalidateImageViews();
        break;
    }
    default:
        break;
    }
}

void CountingAlgorithmDlg::showEvent(QShowEvent* event) {
    ToolWindow::showEvent(event);
    RestartTimer(1003, 350);
    RestartTimer(1004, 500);
}

void CountingAlgorithmDlg::process_image() {
    CImageView* view = ActiveImageView();
    if (!view || !view->GetDocument()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct CursorRestorer {
        ~CursorRestorer() { QApplication::restoreOverrideCursor(); }
    } restorer;
    CImageDoc* document = view->GetDocument();
    // Every run starts from the stored image, not from an earlier output.
    CString reloadError;
    if (!document->ReloadFromFile(reloadError) || !document->m_pImage) return;

    const CountingRequest request = CountingRequest::FromControls(
        ControlValues(), m_upperMagnet->text().toStdString(), m_lowerMagnet->text().toStdString(),
        m_createResults->isChecked(), m_openSummary->isChecked());
    const std::vector<std::string> problems = request.Validate(document->m_pImage->rows);
    if (!problems.empty()) {
        const std::string message = JoinMessageLines(problems);
        LogErrAndInfo(__FILE__, __LINE__, message.c_str());
        const bool sweep = message == "Radius sweep must be between 0 and 20";
        platform::ShowMessageBox(message, "Vellora", sweep ? platform::MB_OK | platform::MB_ICONERROR : platform::MB_OK);
        emit processed(false);
        return;
    }

    CountingResult result;
    RunCounting(*document->m_pImage, request, result);
    if (!result.outputImage.empty()) {
        cv::Mat shown;
        result.outputImage.convertTo(shown, document->m_pImage->type());
        *document->m_pImage = shown;
    }
    view->SetCellDetections(result.detections[0], result.detections[1]);
    view->m_bRedraw = true;
    view->Invalidate();

    if (request.createResultsFiles) {
        const std::string reportPath = ChooseCountingReportPath(document->GetPathName().str());
        std::string error;
        if (!WriteCountingReports(document->GetPathName().str(), request, result, reportPath, &error)) {
            LogErrAndInfo(__FILE__, __LINE__, error.c_str());
            platform::ShowMessageBox(error, "Vellora", platform::MB_OK);
            emit processed(true);
            return;
        }
        if (request.openSummary) Tovanix::OpenUsingDefaultApp(CountingSummaryPath(reportPath).c_str(), ".xls");
    }
    emit processed(true);
}

void CountingAlgorithmDlg::OnBnClickedDone() {
    if (m_save->isEnabled()) {
        const int answer = platform::ShowMessageBox("Save changes?", "Vellora",
                                                    platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION);
        if (answer == platform::IDCANCEL) return;
        if (answer == platform::IDYES) OnBnClickedSave();
    }
    g_ActiveROI = ROIRect{};
    InvalidateImageViews();
    hide();
}
