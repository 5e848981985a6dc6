#pragma once

// Owner-drawn colour buttons: a swatch of the button's colour with its
// caption in black, inside a classic three-dimensional frame that looks
// raised while the button is up and sunken while it is pressed. The button
// control panel shows each configurable button this way.
//
// Coordinates follow the item rectangle: right and bottom are exclusive, and
// every line leaves out its end point, so a button of any size gets the same
// pixels on every platform.

#include <QRect>
#include <cstdint>

class QPainter;
class QWidget;

namespace Tovanix {

// Item states of a draw request.
enum : unsigned {
    ODS_SELECTED = 0x0001,  // pressed
    ODS_FOCUS = 0x0010,
};

// One draw request of an owner-drawn control: where to paint and in which state.
struct DrawItemStruct {
    QPainter* painter = nullptr;  // open on the control's surface, with the control's font
    QRect rcItem;                 // the item rectangle
    unsigned itemState = 0;       // ODS_* bits
};

// Paints the dialog's control `controlId` in `color` (0x00BBGGRR). With a
// draw request it paints there in the request's state; without one it paints
// on the control itself, up and without focus, which Qt allows only from the
// control's paint event. False when the dialog is null, or (without a
// request) when the control is missing or cannot be painted on now.
bool DrawColorButton(QWidget* dialog, int controlId, const DrawItemStruct* item, uint32_t color);

}  // namespace Tovanix
