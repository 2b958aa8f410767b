#include "shell/ui/HXSingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QLockFile>

#include <memory>

namespace hx
{

namespace
{

// How long a start waits for another start that is deciding at the same moment.
constexpr int kDecisionLockMilliseconds = 5000;

QByteArray HandOverMessage(const QStringList& parameters)
{
    QByteArray message = QByteArray(THXSingleInstance::kParamLine) + '\n';
    for (const QString& parameter : parameters)
        message += parameter.toUtf8() + '\n';
    return message;
}

// The parameters of a received message; nothing when it is not a hand-over.
std::optional<QStringList> ParseHandOver(const QByteArray& message)
{
    QStringList lines = QString::fromUtf8(message).split(QLatin1Char('\n'));
    if (lines.isEmpty() || lines.front() != QLatin1String(THXSingleInstance::kParamLine))
        return std::nullopt;
    lines.removeFirst();
    // Every line ends with a line break: the text after the last one is empty.
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

THXSingleInstance::THXSingleInstance(QString serverName, QObject* parent)
    : QObject(parent)
    , m_serverName(serverName.isEmpty() ? DefaultServerName() : std::move(serverName))
{
    // Only the same user may hand parameters over.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &THXSingleInstance::AcceptConnection);
}

THXSingleInstance::~THXSingleInstance()
{
    m_server.close();
}

QString THXSingleInstance::DefaultServerName()
{
    QString name = QStringLiteral("harbex-%1").arg(::getuid());
    const QString home = qEnvironmentVariable("HARBEX_HOME");
    if (!home.isEmpty())
    {
        const QByteArray digest =
            QCryptographicHash::hash(QDir::cleanPath(QDir(home).absolutePath()).toUtf8(), QCryptographicHash::Sha256);
        name += QLatin1Char('-') + QString::fromLatin1(digest.toHex().left(16));
    }
    return name;
}

bool THXSingleInstance::HandOverOrListen(const QStringList& parameters, int timeoutMilliseconds)
{
    // Two starts at the same moment decide one after the other, so exactly one listens.
    QLockFile decision(QDir::temp().filePath(m_serverName + QStringLiteral(".lock")));
    const bool locked = decision.tryLock(kDecisionLockMilliseconds);
    if (HandOver(parameters, timeoutMilliseconds))
        return true;
    Listen();
    if (locked)
        decision.unlock();
    return false;
}

bool THXSingleInstance::HandOver(const QStringList& parameters, int timeoutMilliseconds)
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(timeoutMilliseconds))
        return false;
    socket.write(HandOverMessage(parameters));
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(timeoutMilliseconds))
            return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMilliseconds);
    return true;
}

bool THXSingleInstance::Listen()
{
    if (m_server.listen(m_serverName))
        return true;
    // Nobody answered on the name, so a socket file left by a program that ended
    // without closing it is all that stands in the way.
    QLocalServer::removeServer(m_serverName);
    return m_server.listen(m_serverName);
}

void THXSingleInstance::AcceptConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection())
    {
        socket->setParent(this);
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [socket, received] { *received += socket->readAll(); });
        // The sender closes its end when the whole list is written.
        connect(socket, &QLocalSocket::disconnected, this,
                [this, socket, received]
                {
                    *received += socket->readAll();
                    socket->deleteLater();
                    if (const std::optional<QStringList> parameters = ParseHandOver(*received))
                        emit ParametersReceived(*parameters);
                });
    }
}

} // namespace hx
