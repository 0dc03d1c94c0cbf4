#pragma once

#include "display/outputs/BarOutput.h"
#include "display/outputs/BarPlacement.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

namespace lumora {

class LayerShellBar;

// A virtual Touch Bar on the desktop: a frameless tool window that stays above other windows,
// has no taskbar entry, never takes the focus, and sits at the bottom centre of the primary
// screen's available area, exactly as large as the container it holds. On Wayland the
// compositor does the placing when it offers layer-shell (`placement` layerShell); a
// layer-shell that cannot be had after all costs one line on stderr and leaves it unplaced.
class WindowBarOutput : public QObject, public BarOutput {
    Q_OBJECT
public:
    explicit WindowBarOutput(BarPlacement placement = BarPlacement::x11, QObject* parent = nullptr);
    // A bar given its layer role by `layer` (tests hand in a stand-in).
    explicit WindowBarOutput(std::unique_ptr<LayerShellBar> layer, QObject* parent = nullptr);
    ~WindowBarOutput() override;

    void show(QWidget* container) override;
    void hide() override;
    bool isShown() const override;
    std::optional<double> barWidth() const override;
    std::optional<Window> window() const override;

    // The top-level widget that holds the container.
    QWidget* windowWidget() const { return m_window.get(); }
    // How the bar is placed now.
    BarPlacement placement() const { return m_placement; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowBarOutput(BarPlacement placement, std::unique_ptr<LayerShellBar> layer, QObject* parent);
    void place();
    void release();
    void showOnLayer();

    BarPlacement m_placement;
    std::unique_ptr<LayerShellBar> m_layer;
    std::unique_ptr<QWidget> m_window;
    QPointer<QWidget> m_container;
    QRect m_placedFrame;
    // Shown until hide(), even while the compositor has taken the bar away.
    bool m_wanted = false;
};

} // namespace lumora
