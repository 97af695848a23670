#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A real FTP server (pyftpdlib, tests/net/ftpserver.py) on 127.0.0.1 with its
// own home folder, started on a free port and stopped with the object.
class FtpTestServer {
public:
    static constexpr const char* User = "lumi";
    static constexpr const char* Password = "Pw-9q7!zX#secret";

    // extraArgs: "--throttle", "20000" or "--drop-after", "65536".
    explicit FtpTestServer(const QStringList& extraArgs = {});
    ~FtpTestServer();

    // Stops the server (connections refused from now on) and starts it again
    // on the same port with the same home.
    void stop();
    bool restart();

    bool isRunning() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString home() const { return m_home.path(); }
    QString pathOnServer(const QString& relative) const { return m_home.filePath(relative); }
    QString errorText() const { return m_error; }

private:
    bool start(quint16 port);

    QStringList m_extraArgs;
    QTemporaryDir m_home;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort();

// The file's bytes, or a null array when it cannot be read.
QByteArray fileBytes(const QString& path);
