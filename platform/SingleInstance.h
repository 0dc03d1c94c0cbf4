#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QLocalServer;
class QLocalSocket;

namespace lumora {

// Keeps one Lumora per user. The first process listens on a local socket; a later one hands
// it a "show-settings" request and exits, so starting the program again brings its window
// forward instead of lighting the bar twice.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        primary,    // listening; activationRequested() reports later starts
        secondary,  // a running instance took the request: this process should exit 0
        standalone, // no socket could be set up: run anyway, unguarded
    };

    // serverName is a socket path or a bare name (placed in the temporary folder).
    explicit SingleInstance(QString serverName = defaultServerName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR/lumora.socket, or a per-user name in the temporary folder.
    static QString defaultServerName();

    // Hands the request to a running instance, or becomes the one that listens. Waits at most
    // timeoutMs for each answer. On standalone, errorString() says why.
    Role start(int timeoutMs = 1000);

    // True when a running instance answered the request within timeoutMs.
    bool tryNotifyRunning(int timeoutMs = 1000);
    // Starts listening, taking over a socket left behind by a crashed instance. False when
    // another instance is alive or the socket cannot be made (see errorString()). Once
    // listening, it listens again should the socket ever close.
    bool listen(int timeoutMs = 1000);

    bool isListening() const;
    QString serverName() const { return m_name; }
    QString errorString() const { return m_error; }

    // The request and its answer, one line each.
    static constexpr const char* request = "show-settings\n";
    static constexpr const char* answer = "ok\n";
    // Clients served at once; more are turned away at once, so idle ones cannot use up the
    // process's file descriptors.
    static constexpr int maxClients = 16;
    // A client that has not sent its request within this is dropped.
    static constexpr int requestTimeoutMs = 1000;

signals:
    void activationRequested();

private:
    void accept();
    void readRequest(QLocalSocket* socket);
    void checkListening();
    enum class Probe { alive, gone, unknown };
    Probe probe(int timeoutMs);

    QString m_name;
    QString m_error;
    QLocalServer* m_server = nullptr;
    int m_clients = 0;
    // QLocalServer closes itself, socket file and all, when accept() fails (descriptors used
    // up, for one) and says nothing; this notices.
    QTimer m_watch;
    bool m_reportedRelisten = false;
};

} // namespace lumora
