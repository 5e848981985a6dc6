#include "support/ui/ColorButton.h"

#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <QWidget>

#include "support/ui/DialogControls.h"
#include "support/ui/SelectColor.h"

namespace Tovanix {

namespace {

constexpr int kMaxCaptionLength = 62;
const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kGrey(128, 128, 128);
const QColor kLightGrey(192, 192, 192);

// Pixel-exact drawing with the end-point rules of the frame: fills are
// right/bottom exclusive, lines leave out their end point.
class FramePainter {
public:
    explicit FramePainter(QPainter& painter) : m_painter(painter) {}

    void Fill(int left, int top, int right, int bottom, const QColor& color) {
        if (right > left && bottom > top) m_painter.fillRect(QRect(left, top, right - left, bottom - top), color);
    }
    void Pixel(int x, int y, const QColor& color) { Fill(x, y, x + 1, y + 1, color); }
    void MoveTo(int x, int y) {
        m_x = x;
        m_y = y;
    }
    // Horizontal or vertical lines only, which is all the frame needs.
    void LineTo(int x, int y, const QColor& color) {
        if (y == m_y) {
            if (x > m_x) Fill(m_x, y, x, y + 1, color);
            if (x < m_x) Fill(x + 1, y, m_x + 1, y + 1, color);
        } else if (x == m_x) {
            if (y > m_y) Fill(x, m_y, x + 1, y, color);
            if (y < m_y) Fill(x, y + 1, x + 1, m_y + 1, color);
        }
        MoveTo(x, y);
    }
    void Line(int x0, int y0, int x1, int y1, const QColor& color) {
        MoveTo(x0, y0);
        LineTo(x1, y1, color);
    }

private:
    QPainter& m_painter;
    int m_x = 0;
    int m_y = 0;
};

void DrawFrame(FramePainter& frame, QRect rect, bool pressed, bool focused) {
    int left = rect.left();
    int top = rect.top();
    int right = rect.left() + rect.width();
    int bottom = rect.top() + rect.height();

    frame.Line(left + 1, top, right - 1, top, kBlack);
    frame.Line(right - 1, top + 1, right - 1, bottom - 1, kBlack);
    frame.Line(right - 2, bottom - 1, left, bottom - 1, kBlack);
    frame.Line(left, bottom - 2, left, top, kBlack);
    frame.Pixel(left, top, kLightGrey);
    frame.Pixel(right - 1, top, kLightGrey);
    frame.Pixel(right - 1, bottom - 1, kLightGrey);
    frame.Pixel(left, bottom - 1, kLightGrey);

    if (focused) {
        ++left;
        ++top;
        --right;
        --bottom;
        frame.Fill(left, top, right, top + 1, kBlack);
        frame.Fill(left, bottom - 1, right, bottom, kBlack);
        frame.Fill(left, top, left + 1, bottom, kBlack);
        frame.Fill(right - 1, top, right, bottom, kBlack);
    }

    if (pressed) {
        frame.MoveTo(left + 1, bottom - 2);
        frame.LineTo(left + 1, top + 1, kLightGrey);
        frame.LineTo(right - 2, top + 1, kLightGrey);
    } else {
        frame.Fill(right - 3, top + 1, right - 1, bottom - 1, kGrey);
        frame.Fill(left + 1, bottom - 3, right - 1, bottom - 1, kGrey);
        frame.MoveTo(left + 1, bottom - 3);
        frame.LineTo(left + 1, top + 1, kWhite);
        frame.LineTo(right - 2, top + 1, kWhite);
    }
}

void DrawButton(QPainter& painter, const QRect& rect, bool pressed, bool focused, const QString& caption,
                uint32_t color) {
    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(kBlack);
    painter.setRenderHint(QPainter::Antialiasing, false);

    FramePainter frame(painter);
    const int left = rect.left();
    const int top = rect.top();
    const int right = rect.left() + rect.width();
    const int bottom = rect.top() + rect.height();
    frame.Fill(left + 1, top + 1, right - 1, bottom - 1, SelectColor::ToQColor(color));

    const QString text = caption.left(kMaxCaptionLength);
    if (!text.isEmpty()) {
        const QFontMetrics metrics(painter.font());
        const int cx = metrics.horizontalAdvance(text);
        const int cy = metrics.height();
        const int y = top + (rect.height() - cy + 1) / 2;
        const int x = left + (rect.width() - cx + 1) / 2;
        const QPoint at = pressed ? QPoint(x + 1, y) : QPoint(x, y - 1);
        painter.drawText(QRect(at, QSize(cx, cy)), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine,
                         text);
    }

    DrawFrame(frame, rect, pressed, focused);
    painter.restore();
}

}  // namespace

bool DrawColorButton(QWidget* dialog, int controlId, const DrawItemStruct* item, uint32_t color) {
    if (!dialog) return false;
    QWidget* control = GetDlgItem(dialog, controlId);
    const QString caption = GetControlText(control);

    if (item) {
        if (!item->painter || !item->painter->isActive()) return false;
        DrawButton(*item->painter, item->rcItem, (item->itemState & ODS_SELECTED) != 0,
                   (item->itemState & ODS_FOCUS) != 0, caption, color);
        return true;
    }

    if (!control) return false;
    QPainter painter;
    if (!painter.begin(control)) return false;
    painter.setFont(control->font());
    DrawButton(painter, control->rect(), false, false, caption, color);
    return true;
}

}  // namespace Tovanix
