#pragma once

#include "engine/RGB.h"

#include <QAbstractButton>

namespace lumora {

// One preset colour of the colour row: a glowing disc with a ring when it is the current
// colour. It is checkable only so that accessibility reports the selection; the check follows
// the store (setSelected), never the click.
class ColorSwatch : public QAbstractButton {
    Q_OBJECT
public:
    ColorSwatch(const QString& name, RGB color, QWidget* parent = nullptr);

    QString name() const { return m_name; }
    RGB color() const { return m_color; }
    bool isSelected() const { return isChecked(); }
    void setSelected(bool selected) { setChecked(selected); }

    QSize sizeHint() const override { return {32, 32}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override {}

private:
    QString m_name;
    RGB m_color;
};

// Qt's own channels of an RGB, for drawing and for the colour dialog.
QColor toQColor(RGB color);
// The colour as the store keeps it, converted to RGB first when given in another model.
RGB fromQColor(const QColor& color);

} // namespace lumora
