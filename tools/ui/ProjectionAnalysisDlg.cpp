#include "tools/ui/ProjectionAnalysisDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/VelloraApp.h"
#include "imaging/RenderOverlays.h"
#include "support/AppLogs.h"
#include "support/ui/DialogControls.h"

ProjectionAnalysisDlg* g_ProjectionAnalysisDlg = nullptr;

namespace {

// Refills its list with the sets each time it opens; tells when it closes.
class SetNameCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> closedUp;
    void showPopup() override {
        const QString text = currentText();
        clear();
        for (const std::string& name : ListProjectionParamSets()) addItem(QString::fromStdString(name));
        setEditText(text);
        QComboBox::showPopup();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        if (closedUp) closedUp();
    }
};

}  // namespace

QTimer* ProjectionAnalysisDlg::OneShot(int milliseconds, std::function<void()> action) {
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(milliseconds);
    connect(timer, &QTimer::timeout, this, std::move(action));
    return timer;
}

ProjectionAnalysisDlg::ProjectionAnalysisDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Projection Analysis Params");
    auto* grid = new QGridLayout(this);
    auto* combo = new SetNameCombo(this);
    combo->setEditable(true);
    m_set = combo;
    Tovanix::SetDlgCtrlID(m_set, 1344);
    m_save = new QPushButton("Save", this);
    m_save->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(m_save, 1080);
    grid->addWidget(m_set, 0, 0, 1, 2);
    grid->addWidget(m_save, 0, 2);
    auto edit = [this, grid](int row, const char* label, int id) {
        auto* e = new QLineEdit(this);
        Tovanix::SetDlgCtrlID(e, id);
        auto* l = new QLabel(label, this);
        grid->addWidget(l, row, 0);
        grid->addWidget(e, row, 1, 1, 2);
        connect(e, &QLineEdit::textChanged, this, [this] {
            UpdateViewTexts();
            OnParamChanged();
        });
        return std::make_pair(e, l);
    };
    m_smoothing = edit(1, "Smoothing Window (um)", 1339).first;
    auto peaks = edit(2, "Num Peaks to Find", 1340);
    m_peaks = peaks.first;
    m_peaksLabel = peaks.second;
    Tovanix::SetDlgCtrlID(m_peaksLabel, 1347);
    m_area = edit(3, "Stdev Integration Area", 1341).first;
    m_samples = edit(4, "Integration Samples", 1342).first;
    m_valleys = new QCheckBox("Find Valleys", this);
    Tovanix::SetDlgCtrlID(m_valleys, 1346);
    grid->addWidget(m_valleys, 5, 1);
    connect(m_valleys, &QCheckBox::toggled, this, [this] { UpdateViewTexts(); });
    connect(m_valleys, &QCheckBox::clicked, this, [this] { OnParamChanged(); });
    connect(m_save, &QPushButton::clicked, this, [this] { SaveParams(false); });

    m_reloadTimer = OneShot(100, [this] {
        if (!RememberProjectionSet(m_set->currentText().toStdString()))
            LogErrAndInfo(__FILE__, __LINE__, "ProjectionAnalysisDlg - could not remember the parameter set");
        LoadParams();
    });
    m_redrawTimer = OneShot(1000, [] { theApp.InvalidateAllImageViews(); });
    combo->closedUp = [this] {
        m_reloadTimer->start(100);
        m_redrawTimer->start(300);
    };
    LoadParams();
    UpdateViewTexts();
    m_redrawTimer->start(1000);

    // While visible the image views draw their projection curves with the
    // values being edited.
    ProjectionParamsSources sources = GetProjectionParamsSources();
    sources.parameterEditor = [this](ProjectionAnalysisParams& params) {
        if (!m_shown) return false;
        std::lock_guard<std::mutex> lock(m_viewMutex);
        ApplyProjectionParamTexts(m_viewTexts, params);
        return true;
    };
    SetProjectionParamsSources(sources);
}

// The controls outlive this object's members and may signal while they are
// destroyed: cut them off first.
ProjectionAnalysisDlg::~ProjectionAnalysisDlg() {
    ProjectionParamsSources sources = GetProjectionParamsSources();
    sources.parameterEditor = nullptr;
    SetProjectionParamsSources(sources);
    for (QObject* child : findChildren<QObject*>()) disconnect(child, nullptr, this, nullptr);
    static_cast<SetNameCombo*>(m_set)->closedUp = nullptr;
}

ProjectionParamTexts ProjectionAnalysisDlg::Texts() const {
    ProjectionParamTexts texts;
    texts.smoothingWindowMicrons = m_smoothing->text().toStdString();
    texts.numPeaksToFind = m_peaks->text().toStdString();
    texts.stdevIntegrationArea = m_area->text().toStdString();
    texts.integrationSamples = m_samples->text().toStdString();
    texts.findValleys = m_valleys->isChecked();
    return texts;
}

void ProjectionAnalysisDlg::UpdatePeaksLabel() {
    m_peaksLabel->setText(m_valleys->isChecked() ? "Num Valleys to Find" : "Num Peaks to Find");
}

void ProjectionAnalysisDlg::LoadParams() {
    m_loading = true;
    m_set->setEditText(QString::fromStdString(RememberedProjectionSet()));
    const std::string name = m_set->currentText().toStdString();
    if (name.empty()) {
        m_loading = false;
        return;
    }
    ProjectionParamTexts texts;
    texts.findValleys = m_valleys->isChecked();
    LoadProjectionParamTexts(ProjectionSetReadPath(name), texts);
    m_smoothing->setText(QString::fromStdString(texts.smoothingWindowMicrons));
    m_peaks->setText(QString::fromStdString(texts.numPeaksToFind));
    m_area->setText(QString::fromStdString(texts.stdevIntegrationArea));
    m_samples->setText(QString::fromStdString(texts.integrationSamples));
    m_valleys->setChecked(texts.findValleys);
    UpdatePeaksLabel();
    m_save->setEnabled(false);
    m_loading = false;
}

void ProjectionAnalysisDlg::SaveParams(bool toMainSettings) {
    if (m_loading) return;
    const std::string name = m_set->currentText().toStdString();
    RememberProjectionSet(name);
    if (name.empty()) return;
    const std::string file = ProjectionSetWritePath(name, toMainSettings);
    if (!SaveProjectionParamTexts(file, Texts())) {
        LogErrAndInfo(__FILE__, __LINE__, ("ProjectionAnalysisDlg - could not write " + file).c_str());
    }
    UpdatePeaksLabel();
    m_save->setEnabled(false);
}

void ProjectionAnalysisDlg::UpdateViewTexts() {
    const ProjectionParamTexts texts = Texts();
    std::lock_guard<std::mutex> lock(m_viewMutex);
    m_viewTexts = texts;
}

void ProjectionAnalysisDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_shown = isVisible();
}

void ProjectionAnalysisDlg::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    m_shown = isVisible();
}

bool ProjectionAnalysisDlg::GetParamsFromControls(ProjectionAnalysisParams& params) const {
    ApplyProjectionParamTexts(Texts(), params);
    return true;
}

void ProjectionAnalysisDlg::OnParamChanged() {
    if (m_loading) return;
    m_redrawTimer->start(1000);
    m_save->setEnabled(true);
}
