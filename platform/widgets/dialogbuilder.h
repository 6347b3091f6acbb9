// Dialogs made from the program's dialog templates, as the platform makes them.
//
// The builder gives the window the template's caption, font and fixed client size and creates
// every control as a child widget, in template order:
//   button    push button and default push button: QPushButton; check box and radio button
//             with the push-like style: a checkable QPushButton, without it QCheckBox or
//             QRadioButton; group box: QGroupBox
//   static    QLabel: left, centred or right-aligned plain text (a mnemonic moves the focus to
//             the next control in template order that takes it), a bitmap resource, or an
//             empty label with the black, grey, white or etched frame or rectangle the style
//             asks for
//   combobox  QComboBox, editable for the drop-down and simple styles, not for the drop-down
//             list style
//   edit      QLineEdit, or QPlainTextEdit with the multi-line style
// The window styles of each control apply: visible, disabled, tab stop (a control without it
// takes focus by click only), border. As on the platform, the first control in the template is
// on top of the others, the tab order is the template order, and a group box or a static
// without the notify style lets mouse clicks through to what lies under it.
//
// Positions and sizes are the template's, converted with the dialog font's base units, except
// where the platform sizes a control itself: a combo box is as high as its selection field
// (the template's height is that of the field with its list dropped down, which sets how many
// items the list shows), and a bitmap static without the centre-image style takes the size of
// its bitmap when there is one.
#pragma once

#include <QWidget>

#include "platform/qt/dialogtemplate.h"
#include "platform/wintypes.h"

namespace win {

// The dynamic property that holds a control's identifier (-1 for a control without one).
inline constexpr char kControlIdProperty[] = "ctrlId";

// Builds the template into the dialog, which should have no controls yet. False, with the
// dialog left as it was, when the dialog is null or the template names a class of control that
// is not offered here. A missing bitmap leaves its static empty.
bool BuildDialog(QWidget* dialog, const DialogTemplate& dialogTemplate);

// The same with the program's dialog template of that number; false when there is no such
// template or it does not parse.
bool BuildDialog(QWidget* dialog, WORD templateId);

// The control of the dialog with that identifier: the topmost of its direct children that
// carries it. Null when there is none.
QWidget* GetDlgItem(QWidget* dialog, int id);

// The identifier of a control; 0 for a widget that has none.
int GetDlgCtrlID(const QWidget* control);

// Gives a widget an identifier, so that GetDlgItem finds it; for a widget that takes the place
// of a template's control.
void SetDlgCtrlID(QWidget* control, int id);

}  // namespace win
