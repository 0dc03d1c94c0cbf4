#include "ColorWell.h"

#include "ColorSwatch.h"

#include <QColorDialog>
#include <QConicalGradient>
#include <QPainter>
#include <QSignalBlocker>

namespace lumora {

ColorWell::ColorWell(QWidget* parent) : QAbstractButton(parent) {
    setAccessibleName(tr("Color"));
    setFixedSize(32, 32);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, this, &ColorWell::openDialog);
}

void ColorWell::setColor(RGB color) {
    if (color == m_color) {
        return;
    }
    m_color = color;
    update();
}

QColorDialog* ColorWell::dialog() const {
    return m_dialog;
}

void ColorWell::openDialog() {
    if (!m_dialog) {
        m_dialog = new QColorDialog(this);
        m_dialog->setOption(QColorDialog::ShowAlphaChannel, false);
        // A desktop's own dialog may not report the colour until OK; ours does at once.
        m_dialog->setOption(QColorDialog::DontUseNativeDialog, true);
        m_dialog->setWindowTitle(tr("Color"));
        connect(m_dialog, &QColorDialog::currentColorChanged, this, [this](const QColor& color) {
            if (m_dialog->isVisible()) {
                emit colorPreviewed(fromQColor(color));
            }
        });
        connect(m_dialog, &QColorDialog::colorSelected, this,
                [this](const QColor& chosen) { emit colorChosen(fromQColor(chosen)); });
        connect(m_dialog, &QDialog::rejected, this, &ColorWell::previewEnded);
    }
    {
        // Opening on the current colour is no preview.
        const QSignalBlocker quiet(m_dialog);
        m_dialog->setCurrentColor(toQColor(m_color));
    }
    m_dialog->open();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void ColorWell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0, 0, 32, 32);
    const QPointF centre = box.center();

    // A hue ring says "any colour" where the swatches say "this colour".
    QConicalGradient hues(centre, 90);
    for (int i = 0; i <= 6; ++i) {
        hues.setColorAt(i / 6.0, QColor::fromHsvF((i % 6) / 6.0f, 0.85f, 1.0f));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(hues);
    painter.drawEllipse(centre, 14, 14);
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawEllipse(centre, 11, 11);
    painter.setBrush(toQColor(m_color));
    painter.drawEllipse(centre, 9, 9);

    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        painter.drawEllipse(centre, 15.25, 15.25);
    }
}

} // namespace lumora
