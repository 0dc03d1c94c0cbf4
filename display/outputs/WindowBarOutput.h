#pragma once

#include "display/outputs/BarOutput.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

namespace lumora {

// A virtual Touch Bar on the desktop: a frameless tool window that stays above other windows,
// has no taskbar entry, never takes the focus, and sits at the bottom centre of the primary
// screen's available area, exactly as large as the container it holds.
class WindowBarOutput : public QObject, public BarOutput {
    Q_OBJECT
public:
    explicit WindowBarOutput(QObject* parent = nullptr);
    ~WindowBarOutput() override;

    void show(QWidget* container) override;
    void hide() override;
    bool isShown() const override;
    std::optional<double> barWidth() const override;
    std::optional<Window> window() const override;

    // The top-level widget that holds the container.
    QWidget* windowWidget() const { return m_window.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    void release();

    std::unique_ptr<QWidget> m_window;
    QPointer<QWidget> m_container;
};

} // namespace lumora
