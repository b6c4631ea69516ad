#include "ui/BusyAnimation.h"

namespace ui {

BusyAnimation::BusyAnimation(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

BusyAnimation::~BusyAnimation() {
    // The label keeps a plain pointer to the movie: unhook it first.
    setMovie(nullptr);
}

bool BusyAnimation::Load(const QString& path) {
    auto movie = std::make_unique<QMovie>(path);
    if (!movie->isValid() || movie->frameCount() == 0) {
        return false;
    }
    movie->setCacheMode(QMovie::CacheAll);
    setMovie(nullptr);
    m_movie = std::move(movie);
    setMovie(m_movie.get());
    return true;
}

void BusyAnimation::Start() {
    if (m_movie) {
        m_movie->start();
    }
}

bool BusyAnimation::Playing() const {
    return m_movie && m_movie->state() == QMovie::Running;
}

int BusyAnimation::FrameCount() const {
    return m_movie ? m_movie->frameCount() : 0;
}

}  // namespace ui
