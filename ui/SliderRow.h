#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QSlider;

namespace lumora {

// A titled slider for a double setting: the title and the value text on one line, the slider
// under them. The slider is integer, so the row maps its range onto fixed steps; the value it
// shows is kept exactly as given and only a user's move produces an edit.
class SliderRow : public QWidget {
    Q_OBJECT
public:
    using Formatter = std::function<QString(double)>;

    static constexpr int steps = 1000;

    SliderRow(const QString& title, double minimum, double maximum, Formatter format,
              QWidget* parent = nullptr);

    QString title() const { return m_title; }
    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }
    double value() const { return m_value; }
    // Shows `value` without emitting valueEdited; values outside the range put the slider at
    // the nearer end but the text tells the real value.
    void setValue(double value);

    QSlider* slider() const { return m_slider; }
    QLabel* titleLabel() const { return m_titleLabel; }
    QLabel* valueLabel() const { return m_valueLabel; }

    // The value at a slider position; the two ends are the range's ends exactly.
    double valueAt(int position) const;
    int positionFor(double value) const;

signals:
    void valueEdited(double value);

private:
    void moved(int position);

    QString m_title;
    double m_minimum;
    double m_maximum;
    double m_value;
    Formatter m_format;
    QSlider* m_slider;
    QLabel* m_titleLabel;
    QLabel* m_valueLabel;
};

} // namespace lumora
