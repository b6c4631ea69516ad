#pragma once
// The logo frame (control 1012): a white frame at start; once a preview is
// shown it is a bitmap control that draws the preview at the picture's own
// size from its top-left corner (a larger picture is cut at the frame's
// edges, so no other control moves). A bitmap control without a bitmap is
// an empty frame.

#include <QImage>
#include <QLabel>

namespace cfgpush {

class LogoFrame : public QLabel {
public:
    explicit LogoFrame(QWidget* parent = nullptr);

    // Turns the frame into a bitmap control showing `image`; a null image
    // leaves it without a bitmap.
    void ShowBitmap(const QImage& image);
    // Takes the bitmap away; the control stays a bitmap control.
    void RemoveBitmap();

    bool IsBitmapControl() const { return m_bitmapControl; }
    bool HasBitmap() const { return !m_bitmap.isNull(); }
    const QImage& Bitmap() const { return m_bitmap; }

private:
    bool m_bitmapControl = false;
    QImage m_bitmap;
};

}  // namespace cfgpush
