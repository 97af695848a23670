#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Real servers on 127.0.0.1 for the upload tests, each with throwaway keys or
// certificates in a folder of its own, started on a free port and stopped
// with the object. isRunning() false (errorText() says why) when the server
// cannot start here: the test then exits with CTest's skip code.

// OpenSSH's sshd with a fresh host key; logins as the user running the test
// with a fresh user key (in clientHome()/.ssh, where a client looks) or a
// password. SFTP only, starting in root().
class SshTestServer {
public:
    SshTestServer();
    ~SshTestServer();

    bool isRunning() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }
    // The folder the SFTP session starts in: its "home".
    QString root() const { return m_dir.filePath(QStringLiteral("root")); }
    // A HOME for the client: .ssh/id_ed25519(.pub); known_hosts is the test's.
    QString clientHome() const { return m_dir.filePath(QStringLiteral("home")); }
    QString userName() const;
    // The host key's known_hosts line ("[127.0.0.1]:PORT ssh-ed25519 AAAA...").
    QString knownHostsLine() const;
    // `ssh-keygen -lf` of the host key: "SHA256:...".
    QString hostKeyFingerprint() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

// vsftpd, anonymous uploads into "incoming"; with tls, explicit TLS required
// for the login and the data (a made certificate, certificate() is its file).
// Active mode is refused: only a passive client can send.
class VsftpdTestServer {
public:
    explicit VsftpdTestServer(bool tls);
    ~VsftpdTestServer();

    bool isRunning() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }
    // The anonymous login's folder on disk.
    QString root() const { return m_dir.filePath(QStringLiteral("anon")); }
    QString certificate() const { return m_dir.filePath(QStringLiteral("cert.pem")); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

// Runs a program to its end; its standard output, or a null array on failure.
QByteArray runTool(const QString& program, const QStringList& args);
