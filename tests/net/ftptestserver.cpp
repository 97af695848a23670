#include "ftptestserver.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

FtpTestServer::FtpTestServer(const QStringList& extraArgs) : m_extraArgs(extraArgs)
{
    start(0);
}

void FtpTestServer::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool FtpTestServer::restart()
{
    const quint16 port = m_port;
    stop();
    m_port = 0;
    return start(port);
}

bool FtpTestServer::start(quint16 wantedPort)
{
    const QString script = qEnvironmentVariable("LUMIVARK_TEST_SOURCE_DIR") + QStringLiteral("/tests/net/ftpserver.py");
    QStringList args{script, QStringLiteral("--home"), m_home.path(), QStringLiteral("--user"), QLatin1String(User),
                     QStringLiteral("--password"), QLatin1String(Password)};
    args += m_extraArgs;
    if (wantedPort != 0)
        args += {QStringLiteral("--port"), QString::number(wantedPort)};
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    // The system python: it has pyftpdlib.
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(20000);
    while (!m_process.canReadLine() && !deadline.hasExpired() && m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(200);
    const QByteArray line = m_process.readLine().trimmed();
    const quint16 port = static_cast<quint16>(line.toUInt());
    if (port == 0) {
        m_error = QStringLiteral("no port from the server: ") + QString::fromUtf8(m_process.readAllStandardError());
        return false;
    }
    // Ready when it accepts a connection.
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (probe.waitForConnected(500)) {
            probe.disconnectFromHost();
            m_port = port;
            return true;
        }
        QThread::msleep(50);
    }
    m_error = QStringLiteral("server does not accept connections");
    return false;
}

FtpTestServer::~FtpTestServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray b = f.readAll();
    if (b.isNull())
        b = QByteArray("");
    return b;
}
