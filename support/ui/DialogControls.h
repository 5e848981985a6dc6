#pragma once

// Control ids of dialog windows: each control of a dialog carries the id the
// dialog's code knows it by, so code that is handed a dialog and an id (the
// colour buttons, the tests) finds the control the same way.

#include <QString>

class QWidget;

namespace Tovanix {

// Gives the control its id within its dialog.
void SetDlgCtrlID(QWidget* control, int id);
// The control's id, 0 when it has none.
int GetDlgCtrlID(const QWidget* control);
// The dialog's control with the id (searched among all its descendants), or null.
QWidget* GetDlgItem(const QWidget* dialog, int id);
// The control's caption: a button's or label's text, an edit's contents;
// empty for other controls.
QString GetControlText(const QWidget* control);

}  // namespace Tovanix
