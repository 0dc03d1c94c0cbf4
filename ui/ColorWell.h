#pragma once

#include "engine/RGB.h"

#include <QAbstractButton>
#include <QPointer>

class QColorDialog;

namespace lumora {

// The "any other colour" button of the colour row: shows the current colour inside a
// colour-wheel ring and opens a colour dialog (opaque colours only). While the dialog is open
// every colour passed over is reported by colorPreviewed; OK emits colorChosen, Cancel
// previewEnded. The well itself shows whatever setColor gives it.
class ColorWell : public QAbstractButton {
    Q_OBJECT
public:
    explicit ColorWell(QWidget* parent = nullptr);

    RGB color() const { return m_color; }
    void setColor(RGB color);

    // The open dialog, if any (tests choose through it).
    QColorDialog* dialog() const;

    QSize sizeHint() const override { return {32, 32}; }

signals:
    void colorPreviewed(lumora::RGB color);
    void colorChosen(lumora::RGB color);
    void previewEnded();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void openDialog();

    RGB m_color;
    QPointer<QColorDialog> m_dialog;
};

} // namespace lumora
