#include "platform/widgets/dialogunits.h"

#include <QApplication>
#include <QFontMetrics>
#include <QString>

#include "platform/muldiv.h"

namespace win {

QSize BaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((letters / 26 + 1) / 2, metrics.height());
}

QRect DialogUnitsToPixels(QRect dialogUnits, QSize baseUnits) {
    return QRect(MulDiv(dialogUnits.x(), baseUnits.width(), 4),
                 MulDiv(dialogUnits.y(), baseUnits.height(), 8),
                 MulDiv(dialogUnits.width(), baseUnits.width(), 4),
                 MulDiv(dialogUnits.height(), baseUnits.height(), 8));
}

QFont DialogFont(const DialogTemplate& dialog) {
    QFont font = QApplication::font();
    if (!dialog.hasFont) {
        return font;
    }
    const bool shellFont =
        dialog.fontName.compare(QLatin1String("MS Shell Dlg"), Qt::CaseInsensitive) == 0 ||
        dialog.fontName.compare(QLatin1String("MS Shell Dlg 2"), Qt::CaseInsensitive) == 0;
    if (!shellFont) {
        font.setFamilies({dialog.fontName});
    }
    font.setPointSize(dialog.pointSize);
    if (dialog.weight > 0) {
        font.setWeight(static_cast<QFont::Weight>(dialog.weight));
    }
    font.setItalic(dialog.italic);
    return font;
}

}  // namespace win
