#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>

namespace ui {

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogBaseUnits base;
    base.x = (alphabet / 26 + 1) / 2;
    base.y = metrics.height();
    return base;
}

int MulDivRound(int a, int b, int c) {
    if (c == 0) {
        return 0;
    }
    const long long product = static_cast<long long>(a) * b;
    const long long half = (c > 0 ? c : -c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const long long magnitude = ((product < 0 ? -product : product) + half) / (c > 0 ? c : -c);
    return static_cast<int>(negative ? -magnitude : magnitude);
}

QFont DialogFont(int pointSize) {
    // "MS Shell Dlg" is a Windows alias; elsewhere the nearest in width of
    // the usual free fonts, so that texts fit their template boxes.
    QFont font;
    font.setFamilies(QStringList{QStringLiteral("MS Shell Dlg"),
                                 QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Tahoma"),
                                 QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                 QStringLiteral("DejaVu Sans Condensed")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    return font;
}

}  // namespace ui
