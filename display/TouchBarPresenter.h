#pragma once

#include "display/CloseButton.h"
#include "display/EffectView.h"
#include "display/outputs/BarOutput.h"
#include "settings/Settings.h"

#include <QObject>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

namespace lumora {

// Puts the effect on the Touch Bar: a container holding an effect view that fills it and a
// close button at its right end, shown through a bar output. The effect ticks only while the
// bar is presented.
class TouchBarPresenter : public QObject {
    Q_OBJECT
public:
    // The bar's nominal size in points, and the effect's resolution in pixels.
    static constexpr QSize barSize{1085, 30};
    // After presenting: when the width is fitted to the output, and when the geometry dump
    // (asked for with LUMORA_DEBUG) is written.
    static constexpr int widthFitDelayMs = 300;
    static constexpr int geometryDumpDelayMs = 1200;

    explicit TouchBarPresenter(std::unique_ptr<BarOutput> output,
                               Settings& settings = Settings::shared(), QObject* parent = nullptr);
    ~TouchBarPresenter() override;

    // Starts the effect and shows the bar. The caller decides whether that is needed: neither
    // call looks at isPresented().
    void present();
    // Hides the bar and stops the effect. The fitted width is kept for the next presentation.
    void dismiss();
    void setCloseVisible(bool visible);
    bool isPresented() const { return m_presented; }

    EffectView& view() { return *m_view; }
    QWidget& container() { return *m_container; }
    CloseButton& closeButton() { return *m_closeButton; }
    BarOutput& output() { return *m_output; }
    // The container's width in points: 1085 until fitted to what the output gives the bar.
    double width() const { return m_width; }

    // Called on every click of the close button. The presenter itself neither dismisses nor
    // changes a setting: that is for the owner of the callback.
    std::function<void()> onClose;

    // A rectangle as the geometry dump writes it: "(0.0, 0.0, 1085.0, 30.0)".
    static QString describe(const QRectF& rect);
    // The diagnostic text: the container and its ancestors, the window and the screens.
    QString geometryDescription() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitWidth();
    void dumpGeometry(const QString& path) const;
    void layoutContainer();

    // Declared before the container, so the container goes first and the output never
    // holds a destroyed widget.
    std::unique_ptr<BarOutput> m_output;
    std::unique_ptr<QWidget> m_container;
    EffectView* m_view = nullptr;         // owned by the container
    CloseButton* m_closeButton = nullptr; // owned by the container, above the view
    double m_width = barSize.width();
    bool m_presented = false;
};

} // namespace lumora
