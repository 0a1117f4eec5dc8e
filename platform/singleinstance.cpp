#include "platform/singleinstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <memory>
#include <unistd.h>

namespace platform {

static constexpr int socketWaitMs = 2000;

std::string instanceName()
{
    return "Quillobrand.exe-" + std::to_string(::getuid());
}

bool sendToRunningInstance(const std::string& name, int command)
{
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(name));
    if (!socket.waitForConnected(socketWaitMs))
        return false;
    socket.write(QByteArray::number(command) + '\n');
    const bool sent = socket.waitForBytesWritten(socketWaitMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(socketWaitMs);
    return sent;
}

InstanceServer::~InstanceServer()
{
    close();
}

bool InstanceServer::listen(const std::string& name, std::function<void(int)> onCommand)
{
    close();
    m_server = new QLocalServer();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString serverName = QString::fromStdString(name);
    if (!m_server->listen(serverName)) {
        // Nobody answered on the name, so the socket file is a crashed instance's leftover.
        QLocalServer::removeServer(serverName);
        if (!m_server->listen(serverName)) {
            close();
            return false;
        }
    }
    QLocalServer* server = m_server;
    QObject::connect(server, &QLocalServer::newConnection, server, [server, onCommand] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, onCommand] {
                while (socket->canReadLine()) {
                    bool ok = false;
                    const int command = socket->readLine().trimmed().toInt(&ok);
                    if (ok && onCommand)
                        onCommand(command);
                }
            });
        }
    });
    return true;
}

void InstanceServer::close()
{
    delete m_server;
    m_server = nullptr;
}

bool becomeFirstInstance(InstanceServer& server, const std::string& name, int commandForRunning,
                         std::function<void(int)> onCommand)
{
    // Two starts at the same moment must not both decide they are first.
    QLockFile lock(QDir::tempPath() + "/" + QString::fromStdString(name) + ".lock");
    lock.setStaleLockTime(10000);
    lock.tryLock(socketWaitMs * 2);

    if (sendToRunningInstance(name, commandForRunning))
        return false;
    // If the name can't be taken the program still runs, only without the single-instance guard.
    server.listen(name, std::move(onCommand));
    return true;
}

} // namespace platform
