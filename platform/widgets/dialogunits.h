// Dialog units and the dialog font.
//
// A dialog template measures in dialog units: a quarter of the dialog font's average character
// width across, an eighth of its height down. These base units come from the font as the
// platform computes them, and positions and sizes are converted one value at a time with
// MulDiv, so they round as the platform rounds.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "platform/qt/dialogtemplate.h"

namespace win {

// The font's base units: the width is the average advance of the 52 letters A-Z and a-z,
// rounded to the nearest pixel the platform's way (((width of all 52) / 26) + 1) / 2; the
// height is the font's line height.
QSize BaseUnits(const QFont& font);

// Position and size in dialog units to pixels: x and width times base width / 4, y and height
// times base height / 8, each rounded half away from zero.
QRect DialogUnitsToPixels(QRect dialogUnits, QSize baseUnits);

// The font a dialog made from the template shows its controls in. "MS Shell Dlg" (and
// "MS Shell Dlg 2"), the platform's alias for its user-interface font, is not a font that Linux
// has: it becomes the application's default font (QApplication::font(), the desktop's sans
// font) at the template's point size. Any other name is asked for as it stands, Qt choosing
// the nearest installed family. A template without a font gets the application's font.
QFont DialogFont(const DialogTemplate& dialog);

}  // namespace win
