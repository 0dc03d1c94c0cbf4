#include "ui/NamingPopover.h"

#include "settings/Limits.h"
#include "ui/Style.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace lumora {

namespace {

// Only spaces and tabs count as blank here; the store trims the name once more when saving.
bool isBlank(const QString& text) {
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); });
}

} // namespace

NamingPopover::NamingPopover(Settings& settings, QWidget* parent)
    : QFrame(parent, Qt::Popup), m_settings(settings) {
    setAutoFillBackground(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);

    auto* heading = new QLabel(tr("Name"), this);
    heading->setFont(style::headline());
    layout->addWidget(heading);

    m_field = new QLineEdit(this);
    m_field->setPlaceholderText(tr("My look"));
    m_field->setFixedWidth(220);
    m_field->setAccessibleName(tr("Name"));
    m_field->setMaxLength(int(limits::maxNameLength));
    layout->addWidget(m_field);

    m_problem = new QLabel(this);
    m_problem->setFont(style::footnote());
    m_problem->setWordWrap(true);
    m_problem->setFixedWidth(220);
    m_problem->hide();
    layout->addWidget(m_problem);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_save = new QPushButton(tr("Save"), this);
    m_save->setDefault(true);
    m_save->setEnabled(false);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_save);
    layout->addLayout(buttons);

    connect(m_field, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_save->setEnabled(!isBlank(text)); });
    // Return saves even a blank name: the store ignores it and the popover still closes.
    connect(m_field, &QLineEdit::returnPressed, this, &NamingPopover::save);
    connect(m_save, &QPushButton::clicked, this, &NamingPopover::save);
    connect(m_cancel, &QPushButton::clicked, this, &QWidget::close);
}

void NamingPopover::openUnder(QWidget* anchor) {
    m_field->clear();
    m_problem->hide();
    adjustSize();
    QPoint at =
        anchor->mapToGlobal(QPoint(anchor->width() / 2 - width() / 2, anchor->height() + 4));
    if (const QScreen* screen = anchor->screen()) {
        const QRect room = screen->availableGeometry();
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - width())));
        at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - height())));
    }
    move(at);
    show();
    m_field->setFocus(Qt::PopupFocusReason);
}

void NamingPopover::save() {
    // A full store refuses a new name: closing as if it had been saved would lose it unseen.
    if (!m_settings.savePreset(m_field->text()) && !isBlank(m_field->text())) {
        m_problem->setText(tr("No room for another preset. Delete one first."));
        m_problem->show();
        adjustSize();
        return;
    }
    close();
}

void NamingPopover::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    // Return anywhere in the popover acts as the default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_save->isEnabled()) {
        save();
        return;
    }
    QFrame::keyPressEvent(event);
}

void NamingPopover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    painter.fillRect(rect(), pal.color(QPalette::Window));
    QColor border = pal.color(QPalette::WindowText);
    border.setAlphaF(0.18f);
    painter.setPen(QPen(border, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace lumora
