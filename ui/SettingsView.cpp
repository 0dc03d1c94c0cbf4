#include "ui/SettingsView.h"

#include "ui/EffectPreview.h"
#include "ui/EffectsPanel.h"
#include "ui/PageContent.h"
#include "ui/Panel.h"
#include "ui/PresetsPanel.h"
#include "ui/Style.h"
#include "ui/Switch.h"
#include "ui/TuningPanel.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace lumora {

namespace {

constexpr int iconSize = 40;

// The application's icon when one is set, otherwise a drawn stand-in: a dark tile with a
// rainbow bar, the strip the program lights up.
QPixmap headerIcon(qreal ratio) {
    const QIcon appIcon = QApplication::windowIcon();
    if (!appIcon.isNull()) {
        return appIcon.pixmap(QSize(iconSize, iconSize), ratio);
    }
    QPixmap pixmap(int(iconSize * ratio), int(iconSize * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(1, 1, iconSize - 2, iconSize - 2);
    QLinearGradient body(tile.topLeft(), tile.bottomLeft());
    body.setColorAt(0, QColor(0x3A, 0x3A, 0x40));
    body.setColorAt(1, QColor(0x14, 0x14, 0x18));
    painter.setPen(QPen(QColor(0, 0, 0, 0x50), 1));
    painter.setBrush(body);
    painter.drawRoundedRect(tile, 9, 9);

    const QRectF bar(7, iconSize / 2.0 - 4, iconSize - 14, 8);
    QLinearGradient rainbow(bar.topLeft(), bar.topRight());
    for (int i = 0; i <= 6; ++i) {
        rainbow.setColorAt(i / 6.0, QColor::fromHsvF(float(i) / 7.0f, 0.85f, 1.0f));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(rainbow);
    painter.drawRoundedRect(bar, 4, 4);
    return pixmap;
}

QLabel* secondaryLabel(const QString& text, const QFont& font, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel* headline(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(style::headline());
    return label;
}

} // namespace

SettingsView::SettingsView(std::optional<SnapshotPart> part, Settings& settings,
                           LoginItem& loginItem, QWidget* parent)
    : QWidget(parent), m_part(part), m_settings(settings), m_loginItem(loginItem),
      m_beep([] { QApplication::beep(); }) {
    setMinimumSize(600, 560);

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setBackgroundRole(QPalette::Window);
    m_scroll->viewport()->setAutoFillBackground(true);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_scroll);

    m_page = new PageContent(settings);
    auto* stack = new QVBoxLayout(m_page);
    stack->setContentsMargins(28, 28, 28, 28);
    stack->setSpacing(26);

    const bool whole = !part;
    const bool top = whole || *part == SnapshotPart::top;
    const bool tuning = whole || *part == SnapshotPart::tuning;
    if (top) {
        m_header = buildHeader();
        stack->addWidget(m_header);
        stack->addWidget(buildPreview());
        m_presets = new PresetsPanel(settings, m_page);
        stack->addWidget(m_presets);
        m_effects = new EffectsPanel(settings, m_page);
        stack->addWidget(m_effects);
    }
    if (tuning) {
        m_tuning = new TuningPanel(settings, m_page);
        stack->addWidget(m_tuning);
        m_general = buildGeneral();
        stack->addWidget(m_general);
    }
    if (whole) {
        // Room for a sponsor notice; it takes no space while empty.
        auto* sponsor = new QWidget(m_page);
        sponsor->setObjectName(QStringLiteral("sponsorSlot"));
        sponsor->hide();
        stack->addWidget(sponsor);
        m_footer = buildFooter();
        stack->addWidget(m_footer);
        addWindowShortcuts();
    }
    stack->addStretch(1);
    m_scroll->setWidget(m_page);
}

QWidget* SettingsView::buildHeader() {
    auto* header = new QWidget(m_page);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);

    auto* icon = new QLabel(header);
    icon->setFixedSize(iconSize, iconSize);
    icon->setPixmap(headerIcon(devicePixelRatioF() > 1.0 ? devicePixelRatioF() : 2.0));
    icon->setScaledContents(true);
    row->addWidget(icon);

    auto* name = new QLabel(QStringLiteral("Lumora"), header);
    QFont nameFont = style::title2();
    nameFont.setWeight(QFont::DemiBold);
    name->setFont(nameFont);
    row->addWidget(name);
    row->addStretch(1);

    m_lighting = new Switch(tr("Lighting"), header);
    row->addWidget(m_lighting);
    connect(m_lighting, &Switch::clicked, this, [this](bool on) { m_settings.setEnabled(on); });
    return header;
}

QWidget* SettingsView::buildPreview() {
    auto* section = new QWidget(m_page);
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    m_preview = new EffectPreview(std::nullopt, 480, 45, m_settings, section);
    m_preview->setFixedHeight(30);
    column->addWidget(m_preview);
    m_page->setGlowTarget(m_preview);

    m_caption = secondaryLabel(QString(), style::footnote(), section);
    m_caption->setWordWrap(true);
    column->addWidget(m_caption);

    // The switch and the caption take the delivered value: the store holds it only afterwards.
    observe(m_settings, &Settings::enabledChanged, &Settings::enabled, this, [this](bool on) {
        m_lighting->setChecked(on);
        m_caption->setText(on ? tr("Live preview matches your Touch Bar.")
                              : tr("Paused. Your Touch Bar is back to normal."));
    });
    return section;
}

QWidget* SettingsView::buildGeneral() {
    auto* panel = new Panel(m_page);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0); // the panel pads itself
    column->setSpacing(10);
    column->addWidget(headline(tr("General"), panel));

    auto* switches = new QVBoxLayout;
    switches->setSpacing(12);
    m_showClose = new Switch(tr("Show a close button on the Touch Bar"), panel);
    m_login = new Switch(tr("Open at login"), panel);
    m_idleDim = new Switch(tr("Dim the Touch Bar when idle"), panel);
    switches->addWidget(m_showClose);
    switches->addWidget(m_idleDim);
    switches->addWidget(m_login);
    column->addLayout(switches);

    auto* rate = new QHBoxLayout;
    rate->addWidget(new QLabel(tr("Frame rate on battery"), panel), 1);
    m_batteryFps = new QComboBox(panel);
    for (const int fps : {60, 30, 15}) {
        m_batteryFps->addItem(tr("%1 fps").arg(fps), fps);
    }
    rate->addWidget(m_batteryFps);
    column->addLayout(rate);

    observe(m_settings, &Settings::dimWhenIdleChanged, &Settings::dimWhenIdle, this,
            [this](bool on) { m_idleDim->setChecked(on); });
    connect(m_idleDim, &Switch::clicked, this, [this](bool on) { m_settings.setDimWhenIdle(on); });
    // A hand-edited rate that is not offered shows as the nearest one; only a choice writes.
    observe(m_settings, &Settings::batteryFpsChanged, &Settings::batteryFps, this,
            [this](double fps) {
                const QSignalBlocker quiet(m_batteryFps);
                m_batteryFps->setCurrentIndex(fps > 45.0 ? 0 : fps > 22.5 ? 1 : 2);
            });
    connect(m_batteryFps, &QComboBox::activated, this, [this](int index) {
        m_settings.setBatteryFps(m_batteryFps->itemData(index).toDouble());
    });

    observe(m_settings, &Settings::showCloseChanged, &Settings::showClose, this,
            [this](bool on) { m_showClose->setChecked(on); });
    connect(m_showClose, &Switch::clicked, this, [this](bool on) { m_settings.setShowClose(on); });

    // Read once here and after each change made with the switch; the switch then shows
    // whatever the desktop really has, also when the change failed.
    m_login->setChecked(m_loginItem.isEnabled());
    connect(m_login, &Switch::clicked, this, &SettingsView::toggleLogin);
    return panel;
}

void SettingsView::toggleLogin(bool on) {
    if (!m_loginItem.setEnabled(on) && m_beep) {
        m_beep();
    }
    m_login->setChecked(m_loginItem.isEnabled());
}

QWidget* SettingsView::buildFooter() {
    auto* footer = new QWidget(m_page);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    m_footerNote = secondaryLabel(footerText(ReturnHint::tray), style::footnote(), footer);
    m_footerNote->setWordWrap(true);
    row->addWidget(m_footerNote, 1);
    m_quit = new QPushButton(tr("Quit"), footer);
    connect(m_quit, &QPushButton::clicked, qApp, &QCoreApplication::quit);
    row->addWidget(m_quit);
    return footer;
}

QString SettingsView::footerText(ReturnHint hint) {
    switch (hint) {
    case ReturnHint::tray:
        return tr("Closing this window keeps the effect running. Find Lumora in the system tray.");
    case ReturnHint::runAgain:
        return tr("Closing this window keeps the effect running. Run lumora again to reopen this "
                  "window.");
    }
    return {};
}

void SettingsView::setReturnHint(ReturnHint hint) {
    if (m_footerNote) {
        m_footerNote->setText(footerText(hint));
    }
}

void SettingsView::addWindowShortcuts() {
    // An open popover is a window of its own and takes Escape first.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, qApp, &QCoreApplication::quit);
    for (const QKeySequence& key :
         {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)}) {
        auto* close = new QShortcut(key, this);
        connect(close, &QShortcut::activated, this, &QWidget::close);
    }
}

} // namespace lumora
