#pragma once

#include <QImage>
#include <QString>
#include <functional>

class QTextStream;
class QWidget;

namespace lumora {

// The settings window exactly as the running application opens it: `open` asks the
// application to show it, the window is given a moment to lay out and paint, and then it is
// grabbed from the widget itself, so no display or capture tool is needed.
class OpenedWindowSnapshot {
public:
    static constexpr int settleMs = 300;

    // The first top-level widget titled `title`, in the application's order; nullptr if none.
    static QWidget* findWindow(const QString& title);

    // Runs `open`, lets events settle, and grabs the window titled "Lumora". A null image
    // means there was no such window.
    static QImage grab(const std::function<void()>& open);

    // Writes grab() to `path`. Returns the exit status: 0 when written, 1 with one line on
    // `err` when there is no such window or the file cannot be written.
    static int write(const QString& path, const std::function<void()>& open, QTextStream& err);
};

} // namespace lumora
