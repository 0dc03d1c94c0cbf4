#pragma once

#include "settings/Settings.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

namespace lumora {

// The scrolling page itself: the window background, and a soft accent glow around one child
// (the live preview). The glow is painted here because it spreads past the child's own bounds.
class PageContent : public QWidget {
    Q_OBJECT
public:
    explicit PageContent(Settings& settings = Settings::shared(), QWidget* parent = nullptr);

    void setGlowTarget(QWidget* target);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Rebuilt only when the target's size, its corners, the accent or the scale change, so the
    // preview's frames, which repaint the page under them, cost a single image draw.
    const QImage& glowFor(QSizeF size, double radius, QColor color, qreal ratio);

    Settings& m_settings;
    QPointer<QWidget> m_glowTarget;
    QImage m_glow;
    QSizeF m_glowSize;
    double m_glowRadius = -1.0;
    QColor m_glowColor;
    qreal m_glowRatio = 0.0;
};

} // namespace lumora
