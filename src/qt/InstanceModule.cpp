// talpor-instance.so: the running instance's local server and a second start's request
// to it (qt/InstanceModule.h). One line each way: the request "raise", the answer
// "raised" once the window has been brought forward.
#include "qt/InstanceModule.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace {

constexpr char kRequest[] = "raise\n";
constexpr char kAnswer[] = "raised\n";
// Between two tries to reach an instance that does not listen yet.
constexpr int kRetryMs = 50;
// What an instance that took the request has to answer in.
constexpr int kAnswerMs = 2000;

TalporInstanceServer* Listen(const char* path, void (*raise)(void*), void* context) {
    const QString name = QString::fromLocal8Bit(path);
    // A socket file left by an instance that was killed: the caller holds the lock, so it
    // is nobody's. (Qt also replaces it, binding beside it and renaming over it.)
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
