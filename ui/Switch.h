#pragma once

#include <QAbstractButton>

namespace lumora {

// An on/off switch with its label on the leading side and the track at the trailing edge.
// It is a checkable button, so keyboard and accessibility tools treat it as one; bind it to
// a setting through clicked(bool), which only the user triggers.
class Switch : public QAbstractButton {
    Q_OBJECT
public:
    explicit Switch(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF trackRect() const;
};

} // namespace lumora
