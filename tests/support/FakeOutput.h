#pragma once

#include "display/outputs/BarOutput.h"

#include <QStringList>
#include <QWidget>
#include <optional>
#include <utility>

namespace lumora {

// A bar output that puts the bar on no screen and notes what it is asked.
class FakeOutput : public BarOutput {
public:
    // `log`, if given, gets "take panel" and "release panel" as the bar comes and goes.
    explicit FakeOutput(std::optional<double> width = {}, QStringList* log = nullptr)
        : width(width), m_log(log) {}

    void show(QWidget* container) override {
        container->show();
        ++shows;
        if (!std::exchange(shown, true) && m_log) {
            *m_log << "take panel";
        }
    }
    void hide() override {
        if (std::exchange(shown, false) && m_log) {
            *m_log << "release panel";
        }
    }
    bool isShown() const override { return shown; }
    std::optional<double> barWidth() const override { return shown ? width : std::nullopt; }
    std::optional<Window> window() const override { return std::nullopt; }

    std::optional<double> width; // given to the bar while shown
    bool shown = false;
    int shows = 0; // repeats included

private:
    QStringList* m_log;
};

} // namespace lumora
