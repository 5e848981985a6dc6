#include "operator/ui/PromptDialogs.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <chrono>

#include "operator/PromptLayout.h"
#include "platform/Clock.h"
#include "support/ui/DialogControls.h"

WaitWithTimerDlg* g_WaitWithTimerDlg = nullptr;
InformOperatorDlg* g_InformOperatorDlg = nullptr;

namespace {

// The dialogs' size: the 364 x 72 units of their common frame.
constexpr int kDialogWidth = 620;
constexpr int kDialogHeight = 170;
constexpr int kButtonTop = 120;
constexpr int kButtonHeight = 32;
constexpr int kMaxValueText = 1023;

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(platform::GetClock().Now().time_since_epoch())
        .count();
}

// An empty caption, a modal frame and no close box.
void SetPromptFrame(QDialog* dialog)
{
    dialog->setWindowTitle(QString());
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog->setFont(PromptFont());
}

QLabel* MessageLabel(const std::string& message, QWidget* parent, int id = promptid::kMessage)
{
    auto* label = new QLabel(QString::fromLocal8Bit(message.c_str()), parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    Tovanix::SetDlgCtrlID(label, id);
    return label;
}

QPushButton* MakeButton(const char* text, int id, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    Tovanix::SetDlgCtrlID(button, id);
    return button;
}

}  // namespace

QFont PromptFont(int pointSize)
{
    QFont font;
    font.setFamilies({"Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    return font;
}

PromptInfoDlg::PromptInfoDlg(const std::string& message, QWidget* parent) : PromptInfoDlg(message, false, parent) {}

PromptInfoDlg::PromptInfoDlg(const std::string& message, bool withCancel, QWidget* parent) : QDialog(parent)
{
    SetPromptFrame(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MessageLabel(message, this), 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* next = MakeButton("Continue", promptid::kOk, this);
    next->setDefault(true);
    buttons->addWidget(next);
    connect(next, &QPushButton::clicked, this, &QDialog::accept);
    if (withCancel) {
        QPushButton* cancel = MakeButton("Cancel", promptid::kCancel, this);
        buttons->addWidget(cancel);
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    resize(kDialogWidth, kDialogHeight);
}

PromptContinueCancelDlg::PromptContinueCancelDlg(const std::string& message, QWidget* parent)
    : PromptInfoDlg(message, true, parent)
{
}

PromptForValueDlg::PromptForValueDlg(const std::string& prompt, const std::string& value, QWidget* parent)
    : QDialog(parent), m_value(value)
{
    SetPromptFrame(this);
    setWindowFlags(windowFlags() | Qt::Tool);
    auto* layout = new QVBoxLayout(this);
    m_edit = new QLineEdit(QString::fromLocal8Bit(value.c_str()), this);
    m_edit->setMaxLength(kMaxValueText);
    Tovanix::SetDlgCtrlID(m_edit, promptid::kValue);
    layout->addWidget(MessageLabel(prompt, this, promptid::kPrompt), 1);
    layout->addWidget(m_edit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* ok = MakeButton("OK", promptid::kOk, this);
    ok->setDefault(true);
    QPushButton* cancel = MakeButton("Cancel", promptid::kCancel, this);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &PromptForValueDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(kDialogWidth, kDialogHeight);
}

void PromptForValueDlg::accept()
{
    m_value = m_edit->text().left(kMaxValueText).toLocal8Bit().toStdString();
    QDialog::accept();
}

PromptCustomDlg::PromptCustomDlg(const std::string& message, const std::string& buttonList, QWidget* parent)
    : QDialog(parent)
{
    SetPromptFrame(this);
    setFixedSize(kDialogWidth, kDialogHeight);
    QLabel* text = MessageLabel(message, this);
    text->setGeometry(10, 10, kDialogWidth - 20, kButtonTop - 20);
    // The four buttons of the frame, hidden until they get a label.
    for (int i = 0; i < kMaxCustomButtons; ++i) {
        const std::string caption = "[" + std::to_string(i + 1) + "]";
        QPushButton* button = MakeButton(caption.c_str(), promptid::kButtons[i], this);
        button->setAutoDefault(false);
        button->setGeometry(60 + i * 130, kButtonTop, 100, kButtonHeight);
        button->hide();
        connect(button, &QPushButton::clicked, this, [this, i] {
            m_pressed = i + 1;
            QDialog::accept();
        });
        m_buttons.push_back(button);
    }
    LayOutButtons(SplitButtonLabels(buttonList));
}

void PromptCustomDlg::LayOutButtons(const std::vector<std::string>& labels)
{
    const double scale = ReadMonitorScaleFactor();
    // Measures only; the buttons keep the dialog's font.
    QFont measuring;
    measuring.setFamilies({"Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"});
    measuring.setStyleHint(QFont::SansSerif);
    measuring.setPixelSize(19);
    const QFontMetrics metrics(measuring);
    const int letterW = metrics.horizontalAdvance('W');

    std::vector<RECT> shown;
    std::vector<QPushButton*> shownButtons;
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        QPushButton* button = m_buttons[i];
        if (i >= labels.size()) {
            button->hide();
            continue;
        }
        const QString label = QString::fromLocal8Bit(labels[i].c_str());
        button->setText(label);
        button->show();
        const QRect g = button->geometry();
        RECT box{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
        shown.push_back(SizeButtonToText(box, metrics.horizontalAdvance(label), letterW, scale));
        shownButtons.push_back(button);
    }
    PlaceButtonRow(shown, width(), ButtonGap(scale));
    for (size_t i = 0; i < shown.size(); ++i)
        shownButtons[i]->setGeometry(shown[i].left, shown[i].top, shown[i].right - shown[i].left,
                                     shown[i].bottom - shown[i].top);
}

WaitWithTimerDlg::WaitWithTimerDlg(QWidget* parent) : QDialog(parent)
{
    SetPromptFrame(this);
    auto* layout = new QVBoxLayout(this);
    m_time = new QLabel(this);
    m_time->setAlignment(Qt::AlignCenter);
    Tovanix::SetDlgCtrlID(m_time, promptid::kTime);
    m_text = MessageLabel(std::string(), this);
    layout->addWidget(m_time);
    layout->addWidget(m_text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* next = MakeButton("Continue", promptid::kOk, this);
    next->setDefault(true);
    buttons->addWidget(next);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    resize(kDialogWidth, kDialogHeight);
    connect(next, &QPushButton::clicked, this, &WaitWithTimerDlg::EndWait);
    connect(&m_timer, &QTimer::timeout, this, &WaitWithTimerDlg::OnTimer);
}

void WaitWithTimerDlg::StartWait(const std::string& message, int seconds, int countUp)
{
    m_message = message;
    m_seconds = seconds;
    m_countUp = countUp;
    // A new wait while one is shown starts over.
    if (isVisible())
        hide();
    show();
    raise();
}

void WaitWithTimerDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_message.empty())
        m_text->setText(QString::fromLocal8Bit(m_message.c_str()));
    m_time->setText(QString::fromStdString(m_countdown.Start(m_seconds, m_countUp == 1, NowMs())));
    m_timer.start(950);
    m_shown = true;
}

void WaitWithTimerDlg::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    m_shown = false;
    QDialog::hideEvent(event);
}

void WaitWithTimerDlg::OnTimer()
{
    const WaitCountdown::Tick tick = m_countdown.OnTimer(NowMs());
    m_time->setText(QString::fromStdString(tick.text));
    if (tick.close)
        EndWait();
}

void WaitWithTimerDlg::EndWait()
{
    m_timer.stop();
    done(promptid::kOk);
    hide();
}

InformOperatorDlg::InformOperatorDlg(QWidget* parent) : QDialog(parent)
{
    SetPromptFrame(this);
    auto* layout = new QVBoxLayout(this);
    m_text = MessageLabel(std::string(), this);
    layout->addWidget(m_text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* close = MakeButton("Close", promptid::kOk, this);
    close->setDefault(true);
    buttons->addWidget(close);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    resize(kDialogWidth, kDialogHeight);
    // "Close" hides the notice and leaves the timer alone.
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    connect(&m_timer, &QTimer::timeout, this, &InformOperatorDlg::OnTimer);
}

void InformOperatorDlg::Inform(const std::string& message, int seconds)
{
    const OperatorNotice::Actions actions = m_notice.Inform(seconds);
    if (actions.hideFirst)
        hide();
    m_text->setText(QString::fromLocal8Bit(message.c_str()));
    switch (actions.timer) {
    case OperatorNotice::Timer::Keep: break;
    case OperatorNotice::Timer::Kill: m_timer.stop(); break;
    case OperatorNotice::Timer::StartAtOnce: m_timer.start(0); break;
    case OperatorNotice::Timer::StartEverySecond: m_timer.start(1000); break;
    }
    show();
    raise();
}

void InformOperatorDlg::OnTimer()
{
    if (m_notice.OnTimer()) {
        m_timer.stop();
        hide();
    }
}

void InformOperatorDlg::reject() { hide(); }
