#pragma once
// Dialog units: window templates give positions and sizes in units of the
// dialog font. As Windows does, the horizontal base unit is the font's
// average character width (the width of the 52 letters A-Z and a-z, divided
// by 26, plus one, halved) and the vertical one the character height; a
// horizontal dialog unit is a quarter of the first, a vertical one an
// eighth of the second. Each of x, y, width and height is converted on its
// own, rounded to the nearest pixel.

#include <QFont>
#include <QRect>
#include <QSize>

namespace ui {

struct DialogBaseUnits {
    int x = 0;  // average character width in pixels
    int y = 0;  // character height in pixels
};

DialogBaseUnits BaseUnitsOf(const QFont& font);

// a * b / c rounded half away from zero.
int MulDivRound(int a, int b, int c);

class DialogUnits {
public:
    explicit DialogUnits(DialogBaseUnits base) : m_base(base) {}
    explicit DialogUnits(const QFont& font) : m_base(BaseUnitsOf(font)) {}

    int X(int du) const { return MulDivRound(du, m_base.x, 4); }
    int Y(int du) const { return MulDivRound(du, m_base.y, 8); }
    QRect Rect(int x, int y, int width, int height) const {
        return QRect(X(x), Y(y), X(width), Y(height));
    }
    QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }
    DialogBaseUnits Base() const { return m_base; }

private:
    DialogBaseUnits m_base;
};

// The font the windows' templates name ("MS Shell Dlg" at the size given),
// falling back to fonts of similar width and then to the system's
// sans-serif font where that family is absent.
QFont DialogFont(int pointSize);

}  // namespace ui
