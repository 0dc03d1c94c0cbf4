#include "KnobAccessibility.h"

#include "AngleKnob.h"
#include "SynthKnob.h"

#include <QAccessible>
#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

SynthKnob* asSynth(QObject* object) {
    return qobject_cast<SynthKnob*>(object);
}
Knob* asKnob(QObject* object) {
    return qobject_cast<Knob*>(object);
}

QAccessibleInterface* knobFactory(const QString&, QObject* object) {
    if (Knob* knob = asKnob(object)) {
        return new KnobAccessible(knob);
    }
    return nullptr;
}

} // namespace

KnobAccessible::KnobAccessible(QWidget* knob) : QAccessibleWidget(knob, QAccessible::Dial) {}

void* KnobAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::ValueInterface) {
        return static_cast<QAccessibleValueInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

QString KnobAccessible::text(QAccessible::Text type) const {
    switch (type) {
    case QAccessible::Name:
        if (!widget()->accessibleName().isEmpty()) {
            return widget()->accessibleName();
        }
        return asSynth(object()) ? SynthKnob::tr("Corner radius") : AngleKnob::tr("Direction");
    case QAccessible::Value: {
        Knob* dial = asKnob(object());
        return dial ? dial->accessibleValueText() : QString();
    }
    default: return QAccessibleWidget::text(type);
    }
}

QVariant KnobAccessible::currentValue() const {
    if (Knob* dial = asKnob(object())) {
        return dial->knobValue();
    }
    return {};
}

void KnobAccessible::setCurrentValue(const QVariant& value) {
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok || !std::isfinite(v)) {
        return;
    }
    Knob* dial = asKnob(object());
    if (!dial) {
        return;
    }
    dial->edit(asSynth(dial) ? std::clamp(v, 0.0, 1.0) : knob::wrapDegrees(v));
}

QVariant KnobAccessible::maximumValue() const {
    return asSynth(object()) ? QVariant(1.0) : QVariant(360.0);
}

QVariant KnobAccessible::minimumValue() const {
    return 0.0;
}

QVariant KnobAccessible::minimumStepSize() const {
    return asSynth(object()) ? QVariant(0.1) : QVariant(15.0);
}

QStringList KnobAccessible::actionNames() const {
    return {QAccessibleActionInterface::increaseAction(),
            QAccessibleActionInterface::decreaseAction(),
            QAccessibleActionInterface::setFocusAction()};
}

void KnobAccessible::doAction(const QString& actionName) {
    const bool up = actionName == QAccessibleActionInterface::increaseAction();
    const bool down = actionName == QAccessibleActionInterface::decreaseAction();
    if (!up && !down) {
        QAccessibleWidget::doAction(actionName);
        return;
    }
    if (Knob* dial = asKnob(object())) {
        up ? dial->increment() : dial->decrement();
    }
}

QStringList KnobAccessible::keyBindingsForAction(const QString& actionName) const {
    if (actionName == QAccessibleActionInterface::increaseAction()) {
        return {QStringLiteral("Up")};
    }
    if (actionName == QAccessibleActionInterface::decreaseAction()) {
        return {QStringLiteral("Down")};
    }
    return QAccessibleWidget::keyBindingsForAction(actionName);
}

void installKnobAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(knobFactory);
        return true;
    }();
    (void)installed;
}

void notifyKnobValueChanged(QWidget* knob, double value) {
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleValueChangeEvent event(knob, value);
    QAccessible::updateAccessibility(&event);
}

} // namespace lumora
