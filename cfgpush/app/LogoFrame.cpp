#include "cfgpush/app/LogoFrame.h"

#include <QPalette>
#include <QPixmap>

namespace cfgpush {

LogoFrame::LogoFrame(QWidget* parent) : QLabel(parent) {
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    QPalette white = palette();
    white.setColor(QPalette::WindowText, Qt::white);
    setPalette(white);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void LogoFrame::ShowBitmap(const QImage& image) {
    m_bitmapControl = true;
    setFrameShape(QFrame::NoFrame);
    m_bitmap = image;
    if (image.isNull()) {
        clear();
    } else {
        setPixmap(QPixmap::fromImage(image));
    }
}

void LogoFrame::RemoveBitmap() {
    m_bitmapControl = true;
    setFrameShape(QFrame::NoFrame);
    m_bitmap = QImage();
    clear();
}

}  // namespace cfgpush
