#pragma once
// The busy animation of the main windows: a picture control that plays the
// program's busy GIF (a Qt resource) while a push or a batch runs. The
// window loads it once, starts it and shows or hides it; Qt draws the
// frames on the window's thread from a timer.

#include <QLabel>
#include <QMovie>
#include <QString>

#include <memory>

namespace ui {

class BusyAnimation : public QLabel {
public:
    explicit BusyAnimation(QWidget* parent = nullptr);
    ~BusyAnimation() override;

    // Loads the animation from a file or resource path (":/..."). False
    // when it cannot be read as an animation.
    bool Load(const QString& path);
    // Starts playing (does nothing until loaded).
    void Start();

    bool Loaded() const { return m_movie != nullptr; }
    bool Playing() const;
    int FrameCount() const;

private:
    std::unique_ptr<QMovie> m_movie;
};

}  // namespace ui
