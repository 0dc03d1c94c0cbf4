#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QSize>

class QPainter;

namespace lumora {

// The bar's close button: a flat white "x" with a soft black shadow, so it reads over any
// effect, however bright.
class CloseButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr QSize buttonSize{44, 30};

    explicit CloseButton(QWidget* parent = nullptr);

    QSize sizeHint() const override { return buttonSize; }

    // Paints what paintEvent() shows, in the button's own points, at `ratio` pixels per point.
    void paintButton(QPainter& painter, qreal ratio);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The mark and its shadow at `ratio` device pixels per point, drawn once per scale: the
    // button repaints with every frame of the effect beneath it.
    const QImage& markImage(qreal ratio);

    QImage m_mark;
};

} // namespace lumora
