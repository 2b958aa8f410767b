#pragma once

// THXSingleInstance: one Harbex per user and program folder. The first start
// listens on a local socket; a second start finds it, hands its command-line
// parameters over as a list of lines ("PARAM", then one line per parameter) and
// ends without showing a window. The running program gets the parameters through
// the ParametersReceived signal.
//
// The socket's name holds the user's id and, when HARBEX_HOME is set, a digest of
// it, so two users, or a test's program folder and the user's own, never meet. A
// socket left behind by a program that crashed answers no connection: the first
// start then removes it and listens anew.
//
// Threads: window thread only.

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

namespace hx
{

class THXSingleInstance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(THXSingleInstance)

public:
    // The first line of a hand-over: the lines after it are parameters, one each.
    static constexpr const char* kParamLine = "PARAM";

    // `serverName` empty: the name for the current user and HARBEX_HOME.
    explicit THXSingleInstance(QString serverName = {}, QObject* parent = nullptr);
    ~THXSingleInstance() override;

    // The socket name for the current user and the HARBEX_HOME of the environment.
    static QString DefaultServerName();

    // Hands `parameters` to a running program and returns true, or, when none
    // answers, becomes the running program (listens) and returns false. A running
    // program that takes longer than `timeoutMilliseconds` counts as none.
    bool HandOverOrListen(const QStringList& parameters, int timeoutMilliseconds = 2000);

    bool Listening() const { return m_server.isListening(); }

signals:
    // A second start's parameters (possibly none), in their order.
    void ParametersReceived(const QStringList& parameters);

private:
    bool HandOver(const QStringList& parameters, int timeoutMilliseconds);
    bool Listen();
    void AcceptConnection();

    QString m_serverName;
    QLocalServer m_server;
};

} // namespace hx
