#include "ui/EffectCard.h"

#include "ui/EffectPreview.h"
#include "ui/Style.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

namespace lumora {

namespace {

constexpr int padding = 12;
constexpr int minHeight = 92;
constexpr double radius = 12.0;

QLabel* makeLabel(const QString& text, const QFont& font, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    // The whole card takes the clicks.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

} // namespace

EffectCard::EffectCard(Effect effect, Settings& settings, QWidget* parent)
    : QAbstractButton(parent), m_effect(effect), m_settings(settings),
      m_preview(new EffectPreview(effect, 240, 30, settings, this)) {
    const QString titleText = QString::fromUtf8(title(effect));
    const QString blurbText = QString::fromUtf8(blurb(effect));
    setText(titleText);
    setAccessibleName(titleText + QStringLiteral(", ") + blurbText);
    setCheckable(true);
    // Keyboard focus only: a clicked card is marked by its border already.
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    m_preview->setFixedHeight(24);
    m_preview->setAttribute(Qt::WA_TransparentForMouseEvents);
    // The preview stands on the card's face: opaque, its frames repaint nothing behind it.
    m_preview->view()->setBackdrop(style::controlBackground(palette()));

    QFont titleFont = style::subheadline();
    titleFont.setWeight(QFont::DemiBold);
    m_title = makeLabel(titleText, titleFont, this);
    m_blurb = makeLabel(blurbText, style::caption(), this);
    m_blurb->setForegroundRole(QPalette::PlaceholderText);
    m_blurb->setWordWrap(true);
    m_blurb->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(8);
    layout->addWidget(m_preview);
    layout->addWidget(m_title);
    layout->addWidget(m_blurb);
    layout->addStretch(1);

    connect(this, &QAbstractButton::clicked, this, [this] { m_settings.setEffect(m_effect); });
    observe(settings, &Settings::effectChanged, &Settings::effectiveEffect, this,
            [this](Effect current) {
                setChecked(current == m_effect);
                update();
            });
}

bool EffectCard::hasHeightForWidth() const {
    return true;
}

int EffectCard::heightForWidth(int width) const {
    return std::max(minHeight, layout()->heightForWidth(width));
}

QSize EffectCard::sizeHint() const {
    const int width = 240 + 2 * padding;
    return {width, heightForWidth(width)};
}

QSize EffectCard::minimumSizeHint() const {
    return {60, minHeight};
}

void EffectCard::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        m_preview->view()->setBackdrop(style::controlBackground(palette()));
    }
}

void EffectCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF bounds = QRectF(rect());

    painter.setPen(Qt::NoPen);
    painter.setBrush(style::controlBackground(pal));
    painter.drawRoundedRect(bounds, radius, radius);

    // Borders lie inside the rectangle: inset by half the pen.
    const bool current = isChecked();
    const double pen = current ? 2.5 : 1.0;
    QColor border = current ? style::accent(pal) : style::hairline(pal);
    if (!current && (isDown() || hasFocus())) {
        border = style::accent(pal);
        border.setAlphaF(isDown() ? 0.6f : 0.45f);
    }
    const double inset = pen / 2.0;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(border, pen));
    painter.drawRoundedRect(bounds.adjusted(inset, inset, -inset, -inset), radius - inset,
                            radius - inset);
}

} // namespace lumora
