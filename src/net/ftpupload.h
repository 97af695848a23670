#pragma once

#include "net/curlhandles.h"
#include "net/ftpsettings.h"
#include "net/serveraddress.h"
#include "net/sshhostkey.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lv {

// One upload of one local file to the FTP or SFTP server, step by step: connect and
// log in, change to the remote directory, send the file in 100-byte pieces,
// close, and hang up a dial-up link when the preference asks for it.
//
// No widgets: the upload window and lumivark-cli drive it, tests too. start()
// returns at once; the whole upload runs on a worker thread of its own, and
// what it has to say comes back by queued signal on the thread that owns the
// object, in the order it happened: every status text, the main window's
// status texts, the per cent sent and at last finished(). "Cancel" sets a
// flag that libcurl's progress poll reads, so the running step ends through
// its failure path. Only one upload runs at a time in the process. The
// public functions belong to the owner's thread; a slot of its signals may
// start the next upload, and ends the object with deleteLater(), not delete.
//
// The password is handed to libcurl as an option, never placed in a URL, and
// never appears in a status text, a log line or an error text.
//
// With "require TLS" set in the settings store (LV/NET/TLS "1") the upload
// uses explicit FTP over TLS: the control connection is secured with AUTH TLS
// before the user name and password are sent, the data connection too, and a
// server that offers no TLS is left before anything is sent in plain. The
// server's certificate is checked against the system's authorities, or
// against the file LV/NET/TLSCA names (a server with its own certificate).
// A server field "ftps://..." asks for the same whatever the store says.
//
// A server field "sftp://..." uploads over SSH: the user's key (the chosen
// file, else ~/.ssh/id_ed25519, else id_rsa) and the password; the server's
// host key must be in ~/.ssh/known_hosts, an unknown or changed one is
// refused before the login with a message that names its fingerprint.
//
// FTP and FTPS use passive mode (the client opens the data connection, which
// passes a home router's NAT) unless LV/NET/PASSIVE is "0".
class FtpUpload final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FtpUpload)

public:
    using StatusSink = std::function<void(const QString&)>;

    static constexpr int PieceSize = 100;

    // What the upload takes from the settings store besides FtpSettings.
    struct Options {
        bool requireTls = false; // plain ftp:// servers too must speak TLS
        QString caFile;          // the authorities that sign the FTPS certificate
        bool passive = true;
        QString keyFile;         // SSH key; empty: ~/.ssh/id_ed25519, else id_rsa
        QString knownHostsFile;  // empty: ~/.ssh/known_hosts
    };
    // The store's options (UI thread, like the store).
    static Options storedOptions();
    static bool passiveMode();
    static void setPassiveMode(bool on);
    static QString sshKeyFile();
    static void setSshKeyFile(const QString& path);

    // The TLS settings in the settings store.
    static bool tlsRequired();
    static void setTlsRequired(bool on);
    static QString tlsAuthorityFile();
    static void setTlsAuthorityFile(const QString& path);

    explicit FtpUpload(FtpSettings settings, QObject* parent = nullptr);
    // Cancels a running upload and waits for its worker.
    ~FtpUpload() override;

    // Starts the upload on the worker. False when it is refused at once
    // (another upload runs, a field is unsafe, this one already ran);
    // finished() follows in every case, so a caller has one path. The local
    // file is only ever read.
    bool start(const QString& localPath, const QString& remoteName);
    // start() and wait for the worker without an event loop (a program
    // without windows); the signals have all been emitted when it returns.
    // True when the server confirmed the complete file.
    bool run(const QString& localPath, const QString& remoteName);

    // "Cancel": the running step ends at libcurl's next poll of the flag and
    // the upload unwinds through its failure path. Any number of times;
    // nothing when none runs. The owner's thread, like everything public.
    void cancel();
    bool isCancelled() const { return m_cancelled; }
    // Cancels and waits for the worker; the signals still owed are emitted.
    // Safe twice and when nothing runs.
    void stop();

    // Started and finished() not yet emitted.
    bool isRunning() const { return m_running; }
    // Some upload of this process still has its worker.
    static bool anyRunning();

    // The current status line and the whole per cent of the file sent.
    QString statusText() const;
    int progressPercent() const { return m_percent; }
    // The "Error:..." text of the last failure, empty after a success.
    QString lastError() const;

    // The remote name as given to start(), not the local file's name (a copy
    // in the upload spool has a name of its own).
    void setExactRemoteName(bool on) { m_exactRemoteName = on; }
    // Options instead of the store's; set before start().
    void setOptions(const Options& options)
    {
        m_options = options;
        m_optionsSet = true;
    }
    // After a failure: true when the server could not be reached or lost the
    // connection (worth trying again later), false when it refused (login,
    // host key, certificate, permission) or the local file was the fault.
    bool failureIsTemporary() const { return m_temporary; }

    // The dial-up hang-up, called on the worker; default HangUpDialUp().
    // Set it before start().
    void setHangUp(std::function<void()> hangUp) { m_hangUp = std::move(hangUp); }

    // The name used on the server: the local file's name without its folder;
    // a path without a folder keeps the caller's name.
    static QString RemoteNameFor(const QString& localPath, const QString& callerName);
    // "Transfering: 100 bytes  of250 bytes".
    static QString TransferText(qint64 sent, qint64 total);

signals:
    // Every status text, in order ("Connecting...", "Transfering: ...", ...).
    void statusChanged(const QString& text);
    // The main window's status line ("Uploading Image...", "Disconnecting...",
    // empty at the end, or the error text when the upload failed).
    void mainStatusChanged(const QString& text);
    void progressChanged(int percent);
    void finished(bool ok);

private:
    enum class StatusKind { Text, Transfer };
    struct Note {
        enum class Kind { Status, Main, Percent, Finished } kind;
        QString text;
        int value = 0;
    };

    // The worker: the steps of one upload.
    void work(QString localPath, QString remoteName, bool hangUp);
    bool OpenFtpConnection();
    bool ChangeDirectory(); // true when the server accepted the directory
    bool UploadFile(const QString& localPath, const QString& remoteName);
    void CloseFtpConnection();
    void ShowInternetError(CURLcode code);

    bool openSession();
    CURLcode perform();
    void post(Note note);
    void deliver();
    void join();
    void setStatus(const QString& text);
    void setMainStatus(const QString& text);
    void setPercent(int percent);
    void setError(const QString& text);
    bool hangUpWanted() const;
    QByteArray serverUrl() const;
    QByteArray directoryUrlPath() const;
    QByteArray escaped(const QString& text) const;

    size_t readPieces(char* buffer, size_t room);
    void onResponseLine(QByteArrayView line);
    static size_t readCallback(char* buffer, size_t size, size_t count, void* self);
    static size_t headerCallback(char* buffer, size_t size, size_t count, void* self);
    static int progressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static int sshKeyCallback(CURL*, const curl_khkey* known, const curl_khkey* found, curl_khmatch match, void* self);
    bool isSftp() const { return m_address.protocol == UploadProtocol::Sftp; }

    const FtpSettings m_settings;
    std::function<void()> m_hangUp;

    std::thread m_worker;
    bool m_running = false;
    bool m_everyStatus = false; // someone listens to statusChanged
    std::atomic<bool> m_cancelled{false};

    // Shared between the worker and the owner's thread.
    mutable std::mutex m_mutex;
    std::vector<Note> m_notes; // not yet emitted, oldest first
    QString m_status;
    StatusKind m_statusKind = StatusKind::Text;
    qint64 m_sent = 0;
    QString m_error;
    std::atomic<int> m_percent{0};
    std::atomic<bool> m_temporary{false};
    Options m_options;
    bool m_optionsSet = false;
    bool m_exactRemoteName = false;

    // The worker's own.
    ServerAddress m_address;
    bool m_tls = false;
    ssh::HostKeyVerdict m_hostKey = ssh::HostKeyVerdict::Known;
    QString m_hostKeyFingerprint;
    curl::Easy m_easy;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    bool m_directoryChanged = false;
    bool m_inTransfer = false;
    // The server's last complete response of the current step.
    QByteArray m_pendingResponse;
    QByteArray m_lastResponse;
    int m_lastResponseCode = 0;
    // The file being sent, in pieces of PieceSize bytes and one last piece
    // of the rest (possibly empty).
    QFile m_file;
    QString m_localError;
    qint64 m_total = 0;
    qint64 m_read = 0;
    bool m_allRead = false;
};

} // namespace lv
