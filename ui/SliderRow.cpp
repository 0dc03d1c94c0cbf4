#include "SliderRow.h"

#include "Style.h"

#include <QBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QWheelEvent>
#include <cmath>
#include <utility>

namespace lumora {

namespace {

// Takes the wheel only with keyboard focus, so scrolling the page past it never edits a
// setting; the ignored wheel goes on to the scroll area.
class ScrollSafeSlider : public QSlider {
public:
    ScrollSafeSlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void wheelEvent(QWheelEvent* event) override {
        if (!hasFocus()) {
            event->ignore();
            return;
        }
        QSlider::wheelEvent(event);
    }
};

} // namespace

SliderRow::SliderRow(const QString& title, double minimum, double maximum, Formatter format,
                     QWidget* parent)
    : QWidget(parent), m_title(title), m_minimum(minimum), m_maximum(maximum), m_value(minimum),
      m_format(std::move(format)), m_slider(new ScrollSafeSlider(Qt::Horizontal, this)),
      m_titleLabel(new QLabel(title, this)), m_valueLabel(new QLabel(this)) {
    QFont titleFont = style::subheadline();
    titleFont.setWeight(QFont::Medium);
    m_titleLabel->setFont(titleFont);
    m_valueLabel->setFont(style::subheadline());
    m_valueLabel->setForegroundRole(QPalette::PlaceholderText);
    m_valueLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_slider->setRange(0, steps);
    m_slider->setSingleStep(steps / 100);
    m_slider->setPageStep(steps / 10);
    m_slider->setAccessibleName(title);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(m_titleLabel);
    header->addStretch(1);
    header->addWidget(m_valueLabel);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addLayout(header);
    column->addWidget(m_slider);

    setValue(minimum);
    connect(m_slider, &QSlider::valueChanged, this, &SliderRow::moved);
}

void SliderRow::setValue(double value) {
    m_value = value;
    m_valueLabel->setText(m_format(value));
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(positionFor(value));
}

double SliderRow::valueAt(int position) const {
    if (position <= 0) {
        return m_minimum;
    }
    if (position >= steps) {
        return m_maximum;
    }
    const double t = static_cast<double>(position) / steps;
    return m_minimum + (m_maximum - m_minimum) * t;
}

int SliderRow::positionFor(double value) const {
    if (std::isnan(value) || value <= m_minimum) {
        return 0;
    }
    if (value >= m_maximum) {
        return steps;
    }
    return static_cast<int>(std::lround((value - m_minimum) / (m_maximum - m_minimum) * steps));
}

void SliderRow::moved(int position) {
    // Only a user's move gets here: setValue blocks the slider's signals.
    const double value = valueAt(position);
    m_value = value;
    m_valueLabel->setText(m_format(value));
    emit valueEdited(value);
}

} // namespace lumora
