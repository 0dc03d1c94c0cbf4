// A Lumora-like process around the single-instance guard, for tests that need a second
// process or a descriptor limit of its own.
//   host NAME LIMIT   listens with at most LIMIT open descriptors, prints "listening", and
//                     prints "activated" and exits 0 at the first request (4 after a minute)
//   host NAME         starts as a later Lumora would: exits 0 when it handed over
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

using lumora::SingleInstance;

int main(int argc, char** argv) {
    if (argc == 3) {
        const rlimit limit{static_cast<rlim_t>(QByteArray(argv[2]).toLong()),
                           static_cast<rlim_t>(QByteArray(argv[2]).toLong())};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            std::perror("setrlimit");
            return 2;
        }
    } else if (argc != 2) {
        std::fprintf(stderr, "usage: %s NAME [LIMIT]\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    SingleInstance guard(QString::fromLocal8Bit(argv[1]));
    const SingleInstance::Role role = guard.start();
    if (argc == 2) {
        return role == SingleInstance::Role::secondary ? 0 : 1;
    }
    if (role != SingleInstance::Role::primary) {
        std::fprintf(stderr, "not primary: %s\n", qPrintable(guard.errorString()));
        return 3;
    }
    QObject::connect(&guard, &SingleInstance::activationRequested, &app, [] {
        std::printf("activated\n");
        std::fflush(stdout);
        // The answer is on its way; let the event loop send it.
        QTimer::singleShot(100, qApp, [] { QCoreApplication::exit(0); });
    });
    QTimer::singleShot(60000, &app, [] { QCoreApplication::exit(4); });
    std::printf("listening\n");
    std::fflush(stdout);
    return app.exec();
}
