// talpor-instance.so: the running instance's local server and a second start's request
// to it (qt/InstanceModule.h). One line each way: the request "raise", the answer
// "raised" once the window has been brought forward.
#include "qt/InstanceModule.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cstdio>
#include <string>

namespace {

constexpr char kRequest[] = "raise\n";
constexpr char kAnswer[] = "raised\n";
// Between two tries to reach an instance that does not listen yet.
constexpr int kRetryMs = 50;
// What an instance that took the request has to answer in.
constexpr int kAnswerMs = 2000;

// A folder at the socket's path, which no server can bind over and every later start would
// fail to reach: removed when empty, else renamed aside with what it holds, as
// "NAME.apartado" (or "NAME.apartado2", ...: a name not taken).
void SetFolderAside(const char* path) {
    struct stat st {};
    if (::lstat(path, &st) != 0 || !S_ISDIR(st.st_mode) || ::rmdir(path) == 0) return;
    for (int n = 1; n <= 100; ++n) {
        const std::string aside = std::string(path) + ".apartado" + (n > 1 ? std::to_string(n) : "");
        if (::lstat(aside.c_str(), &st) == 0) continue;
        if (::rename(path, aside.c_str()) == 0) return;
        break;
    }
    std::fprintf(stderr, "Talpor: no se puede apartar la carpeta %s, que ocupa el lugar del socket.\n", path);
}

TalporInstanceServer* Listen(const char* path, void (*raise)(void*), void* context) {
    const QString name = QString::fromLocal8Bit(path);
    // Whatever stands at the path, the caller holds the lock, so it is nobody's: a socket
    // file left by an instance that was killed, or any other file, is removed (Qt also
    // replaces a socket, binding beside it and renaming over it); a folder is set aside.
    SetFolderAside(path);
    QLocalServer::removeServer(name);
    auto* server = new QLocalServer;
    server->setSocketOptions(QLocalServer::UserAccessOption);  // this user's starts only
    if (!server->listen(name)) {
        delete server;
        return nullptr;
    }
    QObject::connect(server, &QLocalServer::newConnection, server, [server, raise, context] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, raise, context] {
                if (!socket->canReadLine()) return;
                if (socket->readLine() == kRequest) {
                    raise(context);
                    socket->write(kAnswer);
                }
                socket->disconnectFromServer();
            });
        }
    });
    return reinterpret_cast<TalporInstanceServer*>(server);
}

void Close(TalporInstanceServer* server) {
    delete reinterpret_cast<QLocalServer*>(server);
}

int Ask(const char* path, int waitMs) {
    const QString name = QString::fromLocal8Bit(path);
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(kAnswerMs)) {
            socket.write(kRequest);
            const QDeadlineTimer answer(kAnswerMs);
            while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState &&
                   socket.waitForReadyRead(static_cast<int>(answer.remainingTime()))) {
            }
            return socket.readLine() == kAnswer ? 1 : 0;
        }
        // Nobody listens there (yet): an instance listens once its window has painted.
        if (deadline.hasExpired()) return 0;
        QThread::msleep(kRetryMs);
    }
}

constexpr TalporInstanceFunctions kFunctions = {kTalporInstanceVersion, Listen, Close, Ask};

}  // namespace

extern "C" __attribute__((visibility("default"))) const TalporInstanceFunctions*
talpor_instance_functions() {
    return &kFunctions;
}
