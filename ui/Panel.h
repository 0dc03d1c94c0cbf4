#pragma once

#include <QWidget>

namespace lumora {

// The card look shared by the page's sections: 16 points of padding, a rounded rectangle of
// radius 12 in the control background with a one-point hairline border drawn inside it.
// Put the section's layout on the panel itself; the margins are already set.
class Panel : public QWidget {
    Q_OBJECT
public:
    explicit Panel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace lumora
