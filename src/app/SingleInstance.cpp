#include "app/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {

constexpr int kWaitMs = 2000;
const QByteArray kActivate = QByteArrayLiteral("activate\n");

}  // namespace

bool CSingleInstance::HandOver(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kWaitMs)) return false;
    socket.write(kActivate);
    socket.waitForBytesWritten(kWaitMs);
    // The answer only tells that the request arrived; a copy busy with a long command reads it later.
    socket.waitForReadyRead(kWaitMs);
    socket.disconnectFromServer();
    return true;
}

bool CSingleInstance::Listen(const QString& name) {
    if (!m_server) m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(name);
    if (!m_server->listen(name)) return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) return;
                if (socket->readLine() == kActivate) {
                    socket->write("ok\n");
                    emit activateRequested();
                }
            });
        }
    });
    return true;
}
