#pragma once

#include <QDBusConnection>
#include <QStringList>
#include <QTextStream>

namespace lumora {

// `lumora ctl`: drives the running Lumora through its D-Bus interface and prints plain lines
// for scripts. It never opens the settings file: the running instance is the only writer.
namespace control {

inline constexpr int exitOk = 0;
inline constexpr int exitError = 1;
inline constexpr int exitNotRunning = 3;

// `args` are the words after "ctl". Returns the exit status: 0 done, 1 an error (one line on
// `err`), 3 Lumora is not running on `bus`.
int run(const QStringList& args, QDBusConnection bus, QTextStream& out, QTextStream& err);

QString usage();

} // namespace control
} // namespace lumora
