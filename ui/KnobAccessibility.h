#pragma once

#include <QAccessibleWidget>

class QWidget;

namespace lumora {

// Presents a knob to assistive technologies as one adjustable dial: its name ("Corner radius",
// "Direction"), its value as words ("37 percent", "135 degrees"), and increase/decrease actions
// that edit the value as a user would.
class KnobAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit KnobAccessible(QWidget* knob);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text type) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;
};

// Makes QAccessible hand out KnobAccessible for the knobs; safe to call more than once.
void installKnobAccessibility();

// Tells assistive technologies that a knob's value changed (cheap when none is listening).
void notifyKnobValueChanged(QWidget* knob, double value);

} // namespace lumora
