#include "daemontestservers.h"

#include "ftptestserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>

#include <unistd.h>
#include <pwd.h>

namespace {

bool writeText(const QString& path, const QString& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) >= 0;
}

// Waits until the port takes a connection or the process ends.
bool waitForPort(QProcess& process, quint16 port, QString* error)
{
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (process.state() != QProcess::Running) {
            *error = QStringLiteral("the server ended: ") + QString::fromUtf8(process.readAllStandardError())
                     + QString::fromUtf8(process.readAllStandardOutput());
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (probe.waitForConnected(300)) {
            probe.disconnectFromHost();
            return true;
        }
        QThread::msleep(50);
    }
    *error = QStringLiteral("the server does not accept connections");
    return false;
}

void end(QProcess& p)
{
    if (p.state() != QProcess::NotRunning) {
        p.terminate();
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished(3000);
        }
    }
}

} // namespace

QByteArray runTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    QByteArray out = p.readAllStandardOutput();
    return out.isNull() ? QByteArray("") : out;
}

// --- sshd -------------------------------------------------------------------------

SshTestServer::SshTestServer()
{
    const QString sshd = QStringLiteral("/usr/sbin/sshd");
    if (!QFileInfo(sshd).isExecutable()) {
        m_error = QStringLiteral("no /usr/sbin/sshd (openssh-server)");
        return;
    }
    const QDir d(m_dir.path());
    d.mkpath(QStringLiteral("root"));
    d.mkpath(QStringLiteral("home/.ssh"));
    const QString hostKey = d.filePath(QStringLiteral("hostkey"));
    const QString userKey = d.filePath(QStringLiteral("home/.ssh/id_ed25519"));
    for (const QString& key : {hostKey, userKey}) {
        if (runTool(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                                                   QStringLiteral("-N"), QString(), QStringLiteral("-C"),
                                                   QStringLiteral("lumivark-test"), QStringLiteral("-f"), key})
                .isNull()) {
            m_error = QStringLiteral("ssh-keygen failed");
            return;
        }
    }
    QFile::copy(userKey + QStringLiteral(".pub"), d.filePath(QStringLiteral("authorized_keys")));
    // sshd's privilege separation wants its empty folder, as the package's service makes it.
    QDir().mkpath(QStringLiteral("/run/sshd"));

    const quint16 port = closedPort();
    const QString config = d.filePath(QStringLiteral("sshd_config"));
    writeText(config, QStringLiteral("ListenAddress 127.0.0.1\nPort %1\nHostKey %2\nPidFile none\nUsePAM no\n"
                                     "StrictModes no\nPermitRootLogin yes\nPasswordAuthentication yes\n"
                                     "KbdInteractiveAuthentication no\nPubkeyAuthentication yes\n"
                                     "AuthorizedKeysFile %3\nForceCommand internal-sftp -d %4\n"
                                     "Subsystem sftp internal-sftp -d %4\nMaxStartups 50\nLogLevel INFO\n")
                          .arg(port)
                          .arg(hostKey, d.filePath(QStringLiteral("authorized_keys")), root()));
    m_process.start(sshd, {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config});
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return;
    }
    if (waitForPort(m_process, port, &m_error))
        m_port = port;
}

SshTestServer::~SshTestServer() { end(m_process); }

QString SshTestServer::userName() const
{
    const passwd* pw = getpwuid(getuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

QString SshTestServer::knownHostsLine() const
{
    QFile f(m_dir.filePath(QStringLiteral("hostkey.pub")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> parts = f.readAll().trimmed().split(' ');
    return QStringLiteral("[127.0.0.1]:%1 %2 %3").arg(m_port).arg(QString::fromLatin1(parts.value(0)),
                                                                  QString::fromLatin1(parts.value(1)));
}

QString SshTestServer::hostKeyFingerprint() const
{
    const QByteArray out = runTool(QStringLiteral("ssh-keygen"),
                                   {QStringLiteral("-lf"), m_dir.filePath(QStringLiteral("hostkey.pub"))});
    return QString::fromLatin1(out.split(' ').value(1));
}

// --- vsftpd -----------------------------------------------------------------------

VsftpdTestServer::VsftpdTestServer(bool tls)
{
    const QString vsftpd = QStringLiteral("/usr/sbin/vsftpd");
    if (!QFileInfo(vsftpd).isExecutable()) {
        m_error = QStringLiteral("no /usr/sbin/vsftpd");
        return;
    }
    const QDir d(m_dir.path());
    d.mkpath(QStringLiteral("anon/incoming"));
    d.mkpath(QStringLiteral("empty"));
    // vsftpd refuses an anonymous root it could write to; the upload folder is open.
    QFile::setPermissions(root(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                      | QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(root() + QStringLiteral("/incoming"), QFileDevice::Permissions(0x7777));
    if (tls
        && runTool(QStringLiteral("openssl"),
                   {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                    QStringLiteral("-nodes"), QStringLiteral("-keyout"), d.filePath(QStringLiteral("key.pem")),
                    QStringLiteral("-out"), certificate(), QStringLiteral("-days"), QStringLiteral("1"),
                    QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                    QStringLiteral("subjectAltName=IP:127.0.0.1")})
               .isNull()) {
        m_error = QStringLiteral("openssl could not make a certificate");
        return;
    }
    const quint16 port = closedPort();
    QString conf = QStringLiteral("listen=YES\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
                                  "anonymous_enable=YES\nanon_root=%2\nno_anon_password=YES\nanon_upload_enable=YES\n"
                                  "anon_mkdir_write_enable=YES\nanon_other_write_enable=YES\nanon_umask=022\n"
                                  "local_enable=NO\nwrite_enable=YES\npasv_enable=YES\npasv_address=127.0.0.1\n"
                                  "port_enable=NO\nsecure_chroot_dir=%3\nseccomp_sandbox=NO\n"
                                  "run_as_launching_user=YES\nxferlog_enable=NO\n")
                       .arg(port)
                       .arg(root(), d.filePath(QStringLiteral("empty")));
    if (tls)
        conf += QStringLiteral("ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                               "rsa_cert_file=%1\nrsa_private_key_file=%2\n")
                    .arg(certificate(), d.filePath(QStringLiteral("key.pem")));
    const QString config = d.filePath(QStringLiteral("vsftpd.conf"));
    writeText(config, conf);
    m_process.start(vsftpd, {config});
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return;
    }
    if (waitForPort(m_process, port, &m_error))
        m_port = port;
}

VsftpdTestServer::~VsftpdTestServer() { end(m_process); }
