#pragma once

#include <QString>

class QTextStream;

namespace lumora {

class Settings;

// Writes one 1085 x 30 PNG strip per effect, in catalogue order, as the settings stand.
class EffectSnapshots {
public:
    static constexpr double time = 2.3;

    // Creates `directory` with its parents and writes <directory>/<effect>.png for every effect.
    // Each failure is one line on `err`, and the remaining files are still tried. Returns the
    // exit status: 0 when all ten were written, 1 otherwise.
    static int write(const QString& directory, Settings& settings, QTextStream& out,
                     QTextStream& err);
};

} // namespace lumora
