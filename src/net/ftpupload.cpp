#include "net/ftpupload.h"

#include "base/settingsstore.h"
#include "base/textnumber.h"
#include "net/dialup.h"
#include "net/netlog.h"

#include <QFileInfo>
#include <QMetaMethod>

#include <algorithm>

namespace lv {

namespace curl {
void ensureGlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
} // namespace curl

namespace {

// One upload at a time in the process: a series that shoots again while an
// upload still runs must not start a second one on top of it.
std::atomic<bool> g_uploadRunning{false};

QString cancelledText() { return QStringLiteral("The upload was cancelled."); }

} // namespace

FtpUpload::FtpUpload(FtpSettings settings, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)), m_hangUp([] { HangUpDialUp(); })
{
    curl::ensureGlobalInit();
    m_status = QStringLiteral("Connecting...");
}

FtpUpload::~FtpUpload()
{
    // The signals still owed are dropped with the object.
    cancel();
    join();
}

QString FtpUpload::RemoteNameFor(const QString& localPath, const QString& callerName)
{
    // A separator in the last position does not count: "dir/" keeps the caller's name.
    const qsizetype slash = localPath.size() >= 2 ? localPath.lastIndexOf(QLatin1Char('/'), localPath.size() - 2) : -1;
    return slash >= 0 ? localPath.mid(slash + 1) : callerName;
}

QString FtpUpload::TransferText(qint64 sent, qint64 total)
{
    return QStringLiteral("Transfering: %1 bytes  of%2 bytes").arg(sent).arg(total);
}

QString FtpUpload::statusText() const
{
    const std::lock_guard lock(m_mutex);
    return m_statusKind == StatusKind::Transfer ? TransferText(m_sent, m_total) : m_status;
}

QString FtpUpload::lastError() const
{
    const std::lock_guard lock(m_mutex);
    return m_error;
}

bool FtpUpload::anyRunning() { return g_uploadRunning; }

bool FtpUpload::hangUpWanted() const
{
    const QString v = settings::get(QStringLiteral("LV"), QStringLiteral("NET"), QStringLiteral("HANGUP"),
                                    QStringLiteral("1"));
    return leadingNumber(v) == 1.0;
}

bool FtpUpload::tlsRequired()
{
    return settings::get(QStringLiteral("LV"), QStringLiteral("NET"), QStringLiteral("TLS"), QStringLiteral("0"))
        == QLatin1String("1");
}

void FtpUpload::setTlsRequired(bool on)
{
    settings::save(QStringLiteral("LV"), QStringLiteral("NET"), QStringLiteral("TLS"),
                   on ? QStringLiteral("1") : QStringLiteral("0"));
}

QString FtpUpload::tlsAuthorityFile()
{
    return settings::get(QStringLiteral("LV"), QStringLiteral("NET"), QStringLiteral("TLSCA"), QString());
}

void FtpUpload::setTlsAuthorityFile(const QString& path)
{
    settings::save(QStringLiteral("LV"), QStringLiteral("NET"), QStringLiteral("TLSCA"), path);
}

bool FtpUpload::passiveMode()
{
    // Passive unless active was chosen: settings made before the choice existed too.
    return settings::get(QStringLiteral("LV"), QStringLiteral("NET"), QStringLiteral("PASSIVE"), QStringLiteral("1"))
           != QLatin1String("0");
}

void FtpUpload::setPassiveMode(bool on)
{
    settings::save(QStringLiteral("LV"), QStringLiteral("NET"), QStringLiteral("PASSIVE"),
                   on ? QStringLiteral("1") : QStringLiteral("0"));
}

QString FtpUpload::sshKeyFile()
{
    return settings::get(QStringLiteral("LV"), QStringLiteral("NET"), QStringLiteral("SSHKEY"), QString());
}

void FtpUpload::setSshKeyFile(const QString& path)
{
    settings::save(QStringLiteral("LV"), QStringLiteral("NET"), QStringLiteral("SSHKEY"), path);
}

FtpUpload::Options FtpUpload::storedOptions()
{
    Options o;
    o.requireTls = tlsRequired();
    o.caFile = tlsAuthorityFile();
    o.passive = passiveMode();
    o.keyFile = sshKeyFile();
    return o;
}

// --- the owner's side -------------------------------------------------------

bool FtpUpload::start(const QString& localPath, const QString& remoteName)
{
    if (m_running) {
        qCWarning(lcNet) << "ftp: start of an upload that is still running ignored";
        return false;
    }
    join(); // the worker of an earlier upload has ended; collect it
    m_running = true;
    m_cancelled = false;
    m_temporary = false;
    m_everyStatus = isSignalConnected(QMetaMethod::fromSignal(&FtpUpload::statusChanged));
    m_percent = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_error.clear();
        m_status = QStringLiteral("Connecting...");
        m_statusKind = StatusKind::Text;
    }

    bool idle = false;
    if (!g_uploadRunning.compare_exchange_strong(idle, true)) {
        m_temporary = true; // the other one ends soon
        setError(QStringLiteral("Error:Another upload is still running."));
        setStatus(lastError());
        post({Note::Kind::Finished, {}, 0});
        return false;
    }
    if (const QString field = m_settings.unsafeField(); !field.isEmpty()) {
        // Nothing of it may reach the server.
        g_uploadRunning = false;
        setError(QStringLiteral("Error:The FTP ") + field
                 + QStringLiteral(" holds a line break or NUL character; nothing was sent."));
        setStatus(lastError());
        setMainStatus(lastError());
        post({Note::Kind::Finished, {}, 0});
        return false;
    }
    // The settings store is read here, not on the worker.
    const bool hangUp = hangUpWanted();
    if (!m_optionsSet)
        m_options = storedOptions();
    m_address = ServerAddress::parse(m_settings.server, m_settings.port, m_settings.directory);
    m_tls = m_address.protocol == UploadProtocol::Ftps
            || (m_address.protocol == UploadProtocol::Ftp && m_options.requireTls);
    m_temporary = false;
    m_worker = std::thread([this, localPath, remoteName, hangUp] { work(localPath, remoteName, hangUp); });
    return true;
}

bool FtpUpload::run(const QString& localPath, const QString& remoteName)
{
    bool ok = false;
    const QMetaObject::Connection c = connect(this, &FtpUpload::finished, this, [&ok](bool result) { ok = result; });
    start(localPath, remoteName);
    join();
    deliver();
    disconnect(c);
    return ok;
}

void FtpUpload::cancel()
{
    if (!m_cancelled.exchange(true) && m_running)
        qCInfo(lcNet) << "ftp: upload cancelled";
}

void FtpUpload::stop()
{
    cancel();
    join();
    deliver();
}

void FtpUpload::join()
{
    if (m_worker.joinable())
        m_worker.join();
}

void FtpUpload::post(Note note)
{
    bool first = false;
    {
        const std::lock_guard lock(m_mutex);
        first = m_notes.empty();
        m_notes.push_back(std::move(note));
    }
    // One delivery for every batch: the notes that pile up meanwhile go along.
    if (first)
        QMetaObject::invokeMethod(this, &FtpUpload::deliver, Qt::QueuedConnection);
}

void FtpUpload::deliver()
{
    std::vector<Note> notes;
    {
        const std::lock_guard lock(m_mutex);
        notes.swap(m_notes);
    }
    for (const Note& n : notes) {
        switch (n.kind) {
        case Note::Kind::Status:
            emit statusChanged(n.text);
            break;
        case Note::Kind::Main:
            emit mainStatusChanged(n.text);
            break;
        case Note::Kind::Percent:
            emit progressChanged(n.value);
            break;
        case Note::Kind::Finished:
            // The worker posts this last and ends right after.
            join();
            m_running = false;
            emit finished(n.value != 0);
            break;
        }
    }
}

// --- either side --------------------------------------------------------------

void FtpUpload::setStatus(const QString& text)
{
    qCInfo(lcNet).noquote() << "ftp:" << text;
    {
        const std::lock_guard lock(m_mutex);
        m_statusKind = StatusKind::Text;
        m_status = text;
    }
    post({Note::Kind::Status, text, 0});
}

void FtpUpload::setMainStatus(const QString& text) { post({Note::Kind::Main, text, 0}); }

void FtpUpload::setError(const QString& text)
{
    const std::lock_guard lock(m_mutex);
    m_error = text;
}

void FtpUpload::setPercent(int percent)
{
    if (m_percent.exchange(percent) != percent)
        post({Note::Kind::Percent, {}, percent});
}

// --- the worker ---------------------------------------------------------------

void FtpUpload::work(QString localPath, QString remoteName, bool hangUp)
{
    const QString remote = m_exactRemoteName ? remoteName : RemoteNameFor(localPath, remoteName);
    setMainStatus(QStringLiteral("Uploading Image..."));

    bool ok = false;
    if (!m_cancelled && openSession() && OpenFtpConnection()) {
        if (!m_address.directory.isEmpty() && !m_cancelled)
            ChangeDirectory();
        if (!m_cancelled)
            ok = UploadFile(localPath, remote);
        setMainStatus(QStringLiteral("Disconnecting..."));
    }
    if (m_cancelled && !ok && lastError().isEmpty())
        ShowInternetError(CURLE_ABORTED_BY_CALLBACK);
    CloseFtpConnection();

    if (hangUp && m_hangUp)
        m_hangUp();

    // A failure stays on the main status line: the window closes at once, so
    // this is where the user can still read why.
    setMainStatus(ok ? QString() : lastError());
    g_uploadRunning = false;
    post({Note::Kind::Finished, {}, ok ? 1 : 0});
}

bool FtpUpload::openSession()
{
    m_hostKey = ssh::HostKeyVerdict::Known;
    m_hostKeyFingerprint.clear();
    m_easy.reset(curl_easy_init());
    if (!m_easy) {
        ShowInternetError(CURLE_FAILED_INIT);
        return false;
    }
    CURL* h = m_easy.get();
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, isSftp() ? "sftp" : "ftp");
    if (m_tls) {
        // AUTH TLS first; without it libcurl gives up before USER and PASS.
        curl_easy_setopt(h, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
        if (!m_options.caFile.isEmpty())
            curl_easy_setopt(h, CURLOPT_CAINFO, QFile::encodeName(m_options.caFile).constData());
    }
    const QString user = m_settings.userName.isEmpty() ? m_address.userName : m_settings.userName;
    if (!user.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, user.toUtf8().constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, m_settings.password.toUtf8().constData());
    }
    if (isSftp()) {
        const QString knownHosts =
            m_options.knownHostsFile.isEmpty() ? ssh::knownHostsFile() : m_options.knownHostsFile;
        // libcurl asks sshKeyCallback about every host key; without a
        // known_hosts file every key is unknown, and refused.
        curl_easy_setopt(h, CURLOPT_SSH_KNOWNHOSTS, QFile::encodeName(knownHosts).constData());
        curl_easy_setopt(h, CURLOPT_SSH_KEYFUNCTION, &FtpUpload::sshKeyCallback);
        curl_easy_setopt(h, CURLOPT_SSH_KEYDATA, this);
        long auth = CURLSSH_AUTH_PASSWORD;
        const QString key = ssh::privateKeyFile(m_options.keyFile);
        if (!key.isEmpty()) {
            auth |= CURLSSH_AUTH_PUBLICKEY;
            curl_easy_setopt(h, CURLOPT_SSH_PRIVATE_KEYFILE, QFile::encodeName(key).constData());
            // libssh2 derives the public half itself only for some key types.
            if (QFileInfo(key + QStringLiteral(".pub")).isFile())
                curl_easy_setopt(h, CURLOPT_SSH_PUBLIC_KEYFILE, QFile::encodeName(key + QStringLiteral(".pub")).constData());
        }
        curl_easy_setopt(h, CURLOPT_SSH_AUTH_TYPES, auth);
    } else if (!m_options.passive && !(m_tls && curl_version_info(CURLVERSION_NOW)->version_num < 0x080000)) {
        // Active mode: the server connects back to the address of the control connection.
        curl_easy_setopt(h, CURLOPT_FTPPORT, "-");
    } else if (!m_options.passive) {
        // libcurl 7.x cannot accept a TLS data connection in active mode.
        qCInfo(lcNet) << "ftp: passive mode for FTP over TLS (this libcurl cannot do active mode with TLS)";
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, 60L);
    curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, 60000L);
    // A server that stops reading for a minute is treated as gone.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 60L);
    // Larger writes: SFTP sends one request per buffer and waits on its acknowledgements.
    curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &FtpUpload::headerCallback);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &FtpUpload::readCallback);
    curl_easy_setopt(h, CURLOPT_READDATA, this);
    // Polled by libcurl at least once a second, also while it waits for the
    // server's answer: that is where "Cancel" reaches a running step.
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &FtpUpload::progressCallback);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    return true;
}

QByteArray FtpUpload::escaped(const QString& text) const
{
    const QByteArray utf8 = text.toUtf8();
    const curl::String e(curl_easy_escape(m_easy.get(), utf8.constData(), static_cast<int>(utf8.size())));
    return e ? QByteArray(e.get()) : QByteArray();
}

QByteArray FtpUpload::serverUrl() const
{
    return m_address.urlBase() + '/';
}

QByteArray FtpUpload::directoryUrlPath() const
{
    return m_address.directoryPath([this](const QString& part) { return escaped(part); });
}

CURLcode FtpUpload::perform()
{
    m_errorBuffer[0] = '\0';
    m_pendingResponse.clear();
    m_lastResponse.clear();
    m_lastResponseCode = 0;
    if (m_cancelled)
        return CURLE_ABORTED_BY_CALLBACK;
    // The easy handle keeps its connection between steps.
    return curl_easy_perform(m_easy.get());
}

bool FtpUpload::OpenFtpConnection()
{
    setStatus(QStringLiteral("Connecting..."));
    QString refused = m_address.error;
    if (refused.isEmpty() && isSftp() && m_settings.userName.isEmpty() && m_address.userName.isEmpty())
        refused = QStringLiteral("An SFTP server needs a user name (the Username field, or sftp://user@host).");
    if (!refused.isEmpty()) {
        setStatus(QStringLiteral("Cannot connect to FTP Server"));
        setError(QStringLiteral("Error:") + refused);
        setStatus(lastError());
        return false;
    }
    // Connecting and logging in: the server's root listing is not fetched
    // (SFTP: the home directory is looked up, not listed).
    curl_easy_setopt(m_easy.get(), CURLOPT_URL, (serverUrl() + (isSftp() ? QByteArray("~/") : QByteArray())).constData());
    curl_easy_setopt(m_easy.get(), CURLOPT_NOBODY, 1L);
    curl_easy_setopt(m_easy.get(), CURLOPT_UPLOAD, 0L);
    const CURLcode rc = perform();
    if (rc == CURLE_OK) {
        setStatus(QStringLiteral("Connected"));
        return true;
    }
    setStatus(QStringLiteral("Cannot connect to FTP Server"));
    ShowInternetError(rc);
    return false;
}

bool FtpUpload::ChangeDirectory()
{
    m_directoryChanged = false;
    const QByteArray path = directoryUrlPath();
    if (path.isEmpty() || path == "~/")
        return true;
    if (isSftp()) {
        // libcurl does not look at an SFTP directory it is not asked to
        // list; the upload itself finds out, and goes home when it is missing.
        m_directoryChanged = true;
        return true;
    }
    curl_easy_setopt(m_easy.get(), CURLOPT_URL, (serverUrl() + path).constData());
    curl_easy_setopt(m_easy.get(), CURLOPT_NOBODY, 1L);
    curl_easy_setopt(m_easy.get(), CURLOPT_UPLOAD, 0L);
    const CURLcode rc = perform();
    if (rc == CURLE_OK) {
        m_directoryChanged = true;
        setStatus(QStringLiteral("Directory changed"));
        return true;
    }
    // The file then goes to the login directory.
    qCWarning(lcNet).noquote() << "ftp: directory change refused:"
                               << (m_lastResponse.isEmpty() ? QString::fromUtf8(m_errorBuffer)
                                                            : QString::fromUtf8(m_lastResponse));
    setStatus(QStringLiteral("Can't change directory."));
    return false;
}

bool FtpUpload::UploadFile(const QString& localPath, const QString& remoteName)
{
    // The local file is opened before the server is asked to create the remote
    // one, so an unreadable file leaves nothing behind on the server.
    m_localError.clear();
    m_file.setFileName(localPath);
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_localError = QStringLiteral("Cannot read %1: %2").arg(QFileInfo(localPath).fileName(), m_file.errorString());
        ShowInternetError(CURLE_READ_ERROR);
        return false;
    }
    struct CloseFile {
        QFile& f;
        ~CloseFile() { f.close(); }
    } closeFile{m_file};

    {
        const std::lock_guard lock(m_mutex);
        m_total = m_file.size();
        m_sent = 0;
    }
    m_read = 0;
    m_allRead = false;
    setPercent(0);

    // Else the login directory (SFTP's home, "~/").
    const QByteArray dir = m_directoryChanged ? directoryUrlPath() : isSftp() ? QByteArray("~/") : QByteArray();
    curl_easy_setopt(m_easy.get(), CURLOPT_URL, (serverUrl() + dir + escaped(remoteName)).constData());
    curl_easy_setopt(m_easy.get(), CURLOPT_NOBODY, 0L);
    curl_easy_setopt(m_easy.get(), CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m_easy.get(), CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(m_easy.get(), CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(m_total));

    // libcurl's first error text of a transfer wins, and accepting the
    // active-mode data connection leaves a harmless one behind; the code's
    // own text says what went wrong there.
    m_inTransfer = true;
    CURLcode rc = perform();
    if (isSftp() && m_directoryChanged && rc == CURLE_REMOTE_FILE_NOT_FOUND && m_read == 0) {
        qCWarning(lcNet).noquote() << "sftp: directory missing:" << QString::fromUtf8(m_errorBuffer);
        setStatus(QStringLiteral("Can't change directory."));
        m_directoryChanged = false;
        curl_easy_setopt(m_easy.get(), CURLOPT_URL, (serverUrl() + "~/" + escaped(remoteName)).constData());
        rc = perform();
    }
    if (rc != CURLE_OK || !m_allRead) {
        ShowInternetError(rc == CURLE_OK ? CURLE_PARTIAL_FILE : rc);
        m_inTransfer = false;
        return false;
    }
    m_inTransfer = false;
    setStatus(QStringLiteral("File Transfered."));
    return true;
}

// Worker thread. The file is sent as total / PieceSize full pieces and one
// last piece of the rest (possibly empty); the status and the per cent follow
// each piece. The bytes of all pieces that fit in libcurl's buffer are read in
// one go: the pieces are the unit of progress, not of system calls.
size_t FtpUpload::readPieces(char* buffer, size_t room)
{
    if (m_cancelled)
        return CURL_READFUNC_ABORT;
    if (m_allRead)
        return 0;
    const qint64 n = std::min<qint64>(static_cast<qint64>(room), m_total - m_read);
    if (n > 0) {
        const qint64 got = m_file.read(buffer, n);
        if (got != n) {
            m_localError = QStringLiteral("Cannot read %1: %2")
                               .arg(QFileInfo(m_file.fileName()).fileName(),
                                    got < 0 ? m_file.errorString() : QStringLiteral("the file became shorter"));
            return CURL_READFUNC_ABORT;
        }
        m_read += n;
    }
    QStringList pieces;
    int percent = -1;
    {
        const std::lock_guard lock(m_mutex);
        const qint64 fullPiecesEnd = std::min(m_read, m_total / PieceSize * PieceSize);
        if (m_sent + PieceSize <= fullPiecesEnd) {
            if (m_everyStatus) {
                while (m_sent + PieceSize <= fullPiecesEnd) {
                    m_sent += PieceSize;
                    pieces << TransferText(m_sent, m_total);
                }
            } else {
                m_sent = fullPiecesEnd;
            }
            m_statusKind = StatusKind::Transfer;
            percent = static_cast<int>(m_sent * 100 / m_total);
        }
    }
    for (const QString& text : std::as_const(pieces))
        post({Note::Kind::Status, text, 0});
    if (percent >= 0)
        setPercent(percent);
    if (m_read == m_total) {
        // The last piece: whatever is left, even nothing.
        m_allRead = true;
        {
            const std::lock_guard lock(m_mutex);
            m_sent = m_total;
        }
        setStatus(QString::number(m_total));
    }
    return static_cast<size_t>(n);
}

int FtpUpload::sshKeyCallback(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match, void* self)
{
    auto* up = static_cast<FtpUpload*>(self);
    if (match == CURLKHMATCH_OK) {
        up->m_hostKey = ssh::HostKeyVerdict::Known;
        return CURLKHSTAT_FINE;
    }
    // The key as the server sent it: raw when its length is given, else base64.
    QByteArray blob;
    if (found && found->key)
        blob = found->len > 0 ? QByteArray(found->key, static_cast<qsizetype>(found->len))
                              : QByteArray::fromBase64(QByteArray(found->key));
    up->m_hostKeyFingerprint = ssh::fingerprint(blob);
    up->m_hostKey = match == CURLKHMATCH_MISMATCH ? ssh::HostKeyVerdict::Changed : ssh::HostKeyVerdict::Unknown;
    qCWarning(lcNet).noquote() << "sftp: host key refused:" << up->m_hostKeyFingerprint;
    return CURLKHSTAT_REJECT;
}

int FtpUpload::progressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<FtpUpload*>(self)->m_cancelled ? 1 : 0;
}

size_t FtpUpload::readCallback(char* buffer, size_t size, size_t count, void* self)
{
    return static_cast<FtpUpload*>(self)->readPieces(buffer, size * count);
}

void FtpUpload::onResponseLine(QByteArrayView line)
{
    // Control-connection replies: "ddd text" ends a reply, "ddd-text" opens a
    // multi-line one. Other header lines curl makes up itself are ignored.
    const QByteArray text = line.trimmed().toByteArray();
    const bool coded = text.size() >= 4 && std::all_of(text.begin(), text.begin() + 3, [](char c) { return c >= '0' && c <= '9'; });
    if (coded && text[3] == ' ') {
        m_pendingResponse += (m_pendingResponse.isEmpty() ? QByteArray() : QByteArray(" ")) + text;
        m_lastResponse = m_pendingResponse;
        m_lastResponseCode = text.left(3).toInt();
        m_pendingResponse.clear();
    } else if ((coded && text[3] == '-') || !m_pendingResponse.isEmpty()) {
        m_pendingResponse += (m_pendingResponse.isEmpty() ? QByteArray() : QByteArray(" ")) + text;
    } else if (text.size() == 3 && coded) {
        m_lastResponse = text;
        m_lastResponseCode = text.toInt();
    }
}

size_t FtpUpload::headerCallback(char* buffer, size_t size, size_t count, void* self)
{
    static_cast<FtpUpload*>(self)->onResponseLine(QByteArrayView(buffer, static_cast<qsizetype>(size * count)));
    return size * count;
}

void FtpUpload::ShowInternetError(CURLcode code)
{
    QString reason;
    bool temporary = false;
    if (m_cancelled && code == CURLE_ABORTED_BY_CALLBACK) {
        reason = cancelledText();
    } else if (!m_localError.isEmpty() && (code == CURLE_ABORTED_BY_CALLBACK || code == CURLE_READ_ERROR)) {
        reason = m_localError;
    } else if (m_hostKey != ssh::HostKeyVerdict::Known) {
        reason = ssh::refusalText(m_hostKey, m_address.host, m_address.port, m_hostKeyFingerprint,
                                  m_options.knownHostsFile.isEmpty() ? ssh::knownHostsFile() : m_options.knownHostsFile);
    } else if (code == CURLE_USE_SSL_FAILED) {
        reason = QStringLiteral("The server offers no encrypted connection (TLS); user name and password were not sent.");
    } else if (code == CURLE_PEER_FAILED_VERIFICATION && !isSftp()) {
        reason = QStringLiteral("The server's TLS certificate is not trusted (%1); nothing was sent. Name the "
                                "authority's file (CA file) in the Internet Settings for a certificate of your own.")
                     .arg(QString::fromUtf8(m_errorBuffer[0] != '\0' ? m_errorBuffer : curl_easy_strerror(code)));
    } else if (code == CURLE_LOGIN_DENIED && isSftp()) {
        reason = QStringLiteral("The SSH server refused the login of \"%1\" (%2); nothing was sent.")
                     .arg(m_settings.userName.isEmpty() ? m_address.userName : m_settings.userName,
                          QString::fromUtf8(m_errorBuffer[0] != '\0' ? m_errorBuffer : curl_easy_strerror(code)));
    } else if (m_lastResponseCode >= 400 && !m_lastResponse.isEmpty()) {
        reason = QString::fromUtf8(m_lastResponse); // the server's own words
    } else if (m_errorBuffer[0] != '\0' && !m_inTransfer) {
        reason = QString::fromUtf8(m_errorBuffer);
    } else {
        reason = QString::fromUtf8(curl_easy_strerror(code));
    }
    if (reason == cancelledText() || !m_localError.isEmpty() || m_hostKey != ssh::HostKeyVerdict::Known) {
        temporary = false;
    } else if (m_lastResponseCode == 421 || m_lastResponseCode == 425 || m_lastResponseCode == 426
               || m_lastResponseCode == 450 || m_lastResponseCode == 451) {
        // "Service not available", "cannot open data connection", "transfer
        // aborted", "busy": the server's own words for "later".
        temporary = true;
    } else if (m_lastResponseCode >= 500) {
        temporary = false;
    } else {
        switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_UPLOAD_FAILED:
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_ACCEPT_TIMEOUT:
        case CURLE_FTP_CANT_GET_HOST:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_WEIRD_227_FORMAT:
        case CURLE_SSH: // libssh2's session failures: the connection broke
        case CURLE_SSL_CONNECT_ERROR:
            temporary = true;
            break;
        default:
            temporary = false;
            break;
        }
    }
    m_temporary = temporary;
    setError(QStringLiteral("Error:") + reason);
    setStatus(lastError());
}

void FtpUpload::CloseFtpConnection()
{
    setStatus(QStringLiteral("FTP Connection Closed."));
    // Dropping the handle says QUIT on a connection still in good order and
    // waits for the answer, here on the worker.
    m_easy.reset();
    m_directoryChanged = false;
}

} // namespace lv
