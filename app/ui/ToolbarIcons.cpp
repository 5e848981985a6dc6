#include "app/ui/ToolbarIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/FrameCommands.h"

namespace {

const QColor kInk(40, 44, 52);
const QColor kRecord(210, 30, 30);
const QColor kAccent(30, 110, 200);

void Label(QPainter& p, const QString& text) {
    QFont font = p.font();
    font.setPixelSize(10);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kInk);
    p.drawText(QRect(0, 36, 66, 13), Qt::AlignCenter, text);
}

void Magnifier(QPainter& p, bool plus) {
    p.setPen(QPen(kInk, 3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(20, 4, 20, 20));
    p.drawLine(QPointF(37, 21), QPointF(45, 30));
    p.setPen(QPen(kAccent, 3));
    p.drawLine(QPointF(25, 14), QPointF(35, 14));
    if (plus) p.drawLine(QPointF(30, 9), QPointF(30, 19));
}

void Histogram(QPainter& p) {
    const int heights[] = {6, 14, 24, 28, 20, 12, 8, 4};
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    for (int i = 0; i < 8; ++i) p.drawRect(QRect(15 + i * 5, 32 - heights[i], 4, heights[i]));
    p.setPen(QPen(kInk, 1));
    p.drawLine(13, 32, 54, 32);
}

void Camera(QPainter& p) {
    p.setPen(QPen(kInk, 2));
    p.setBrush(QColor(220, 224, 230));
    p.drawRoundedRect(QRectF(16, 9, 34, 22), 3, 3);
    p.drawRect(QRectF(24, 5, 10, 4));
    p.setBrush(kAccent);
    p.drawEllipse(QRectF(26, 12, 15, 15));
}

void Draw(QPainter& p, int id) {
    switch (id) {
        case cmd::RunUserInterface: {
            p.setPen(QPen(kInk, 2));
            p.setBrush(QColor(230, 236, 244));
            p.drawRoundedRect(QRectF(14, 4, 38, 26), 3, 3);
            p.setPen(Qt::NoPen);
            p.setBrush(kAccent);
            QPainterPath play;
            play.moveTo(28, 10);
            play.lineTo(40, 17);
            play.lineTo(28, 24);
            play.closeSubpath();
            p.drawPath(play);
            Label(p, "Run UI");
            break;
        }
        case cmd::ID_FILE_OPEN: {
            p.setPen(QPen(kInk, 2));
            p.setBrush(QColor(240, 200, 90));
            QPainterPath folder;
            folder.moveTo(14, 8);
            folder.lineTo(26, 8);
            folder.lineTo(30, 12);
            folder.lineTo(52, 12);
            folder.lineTo(52, 32);
            folder.lineTo(14, 32);
            folder.closeSubpath();
            p.drawPath(folder);
            Label(p, "Open");
            break;
        }
        case cmd::LiveImage:
            Camera(p);
            p.setPen(Qt::NoPen);
            p.setBrush(kRecord);
            p.drawEllipse(QRectF(44, 3, 8, 8));
            Label(p, "Live");
            break;
        case cmd::StartExperimentWorkflow:
            p.setPen(QPen(kInk, 1));
            p.setBrush(kRecord);
            p.drawEllipse(QRectF(20, 3, 26, 26));
            Label(p, "Start");
            break;
        case cmd::StopExperimentWorkflow:
            p.setPen(QPen(kInk, 1));
            p.setBrush(kInk);
            p.drawRect(QRectF(21, 4, 24, 24));
            Label(p, "Stop");
            break;
        case cmd::SingleWorkflowCapture:
            Camera(p);
            p.setPen(Qt::white);
            {
                QFont font = p.font();
                font.setPixelSize(11);
                font.setBold(true);
                p.setFont(font);
            }
            p.drawText(QRectF(26, 12, 15, 15), Qt::AlignCenter, "1");
            Label(p, "Capture");
            break;
        case cmd::AutoScaleIntensities:
            Histogram(p);
            Label(p, "Auto");
            break;
        case cmd::ScaleIntensities:
            Histogram(p);
            p.setPen(QPen(kRecord, 2));
            p.drawLine(20, 2, 20, 33);
            p.drawLine(46, 2, 46, 33);
            Label(p, "Scale");
            break;
        case cmd::ZoomIn:
            Magnifier(p, true);
            Label(p, "Zoom in");
            break;
        case cmd::ZoomOut:
            Magnifier(p, false);
            Label(p, "Zoom out");
            break;
        case cmd::FullScale:
            p.setPen(QPen(kInk, 2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(17, 5, 32, 24));
            p.setPen(QPen(kAccent, 2));
            p.drawLine(21, 9, 29, 9);
            p.drawLine(21, 9, 21, 15);
            p.drawLine(45, 25, 37, 25);
            p.drawLine(45, 25, 45, 19);
            Label(p, "Full");
            break;
        case cmd::Manual:
            p.setPen(QPen(kInk, 2));
            p.setBrush(QColor(250, 250, 245));
            p.drawRect(QRectF(20, 3, 26, 30));
            p.setPen(kAccent);
            {
                QFont font = p.font();
                font.setPixelSize(18);
                font.setBold(true);
                p.setFont(font);
            }
            p.drawText(QRectF(20, 3, 26, 30), Qt::AlignCenter, "?");
            Label(p, "Manual");
            break;
        default:
            break;
    }
}

}  // namespace

QIcon ToolbarIcon(int commandId) {
    QPixmap picture(kToolbarButtonSize);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        Draw(painter, commandId);
    }
    QIcon icon(picture);
    return icon;
}
