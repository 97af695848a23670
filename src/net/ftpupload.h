#pragma once

#include "net/curlhandles.h"
#include "net/ftpsettings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>

namespace lv {

// One upload of one local file to the FTP server, step by step: connect and
// log in, change to the remote directory, send the file in 100-byte pieces,
// close, and hang up a dial-up link when the preference asks for it.
//
// No widgets: the upload window drives it and polls statusText() and
// progressPercent(); tests drive it directly. run() is called on the UI
// thread and returns when the upload is over; each network step runs on a
// short-lived worker thread (libcurl blocks while the server drains the last
// data of a slow transfer), and the UI thread meanwhile lets pending events
// run (hooks.processEvents) every few milliseconds, so "Cancel" and the
// window's timer stay alive. All hooks are called on the UI thread, status
// texts in the order they happened. Only one upload runs at a time.
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
class FtpUpload final {
public:
    using StatusSink = std::function<void(const QString&)>;

    struct Hooks {
        // Lets pending window events run; default QCoreApplication::processEvents().
        std::function<void()> processEvents;
        // The main window's status line ("Uploading Image...", "Disconnecting...",
        // cleared at the end, or the error text when the upload failed).
        StatusSink mainStatus;
        // Every new upload status text, in order (optional).
        StatusSink statusChanged;
        // The dial-up hang-up; default HangUpDialUp().
        std::function<void()> hangUp;
    };

    static constexpr int PieceSize = 100;

    // The TLS settings in the settings store.
    static bool tlsRequired();
    static void setTlsRequired(bool on);
    static QString tlsAuthorityFile();
    static void setTlsAuthorityFile(const QString& path);
    // Pending events run no more often than this while the network is busy.
    static constexpr int PumpIntervalMs = 5;

    explicit FtpUpload(FtpSettings settings, Hooks hooks = {});
    ~FtpUpload();
    Q_DISABLE_COPY_MOVE(FtpUpload)

    // The whole upload. True when the server confirmed the complete file.
    // Every failure leaves "Error:" and its reason in lastError() and on the
    // main status line; the local file is only ever read.
    bool run(const QString& localPath, const QString& remoteName);

    // "Cancel": closes the connection under a running step, which then ends
    // through its failure path. UI thread, also from inside processEvents.
    void cancel();
    bool isCancelled() const { return m_cancelled; }

    // The current status line and the whole per cent of the file sent.
    // UI thread.
    QString statusText() const;
    int progressPercent() const { return m_percent; }
    // The "Error:..." text of the last failure, empty after a success.
    QString lastError() const { return m_error; }

    // The name used on the server: the local file's name without its folder;
    // a path without a folder keeps the caller's name.
    static QString RemoteNameFor(const QString& localPath, const QString& callerName);
    // "Transfering: 100 bytes  of250 bytes".
    static QString TransferText(qint64 sent, qint64 total);

    // The steps, public so each can be exercised on its own.
    bool OpenFtpConnection();
    bool ChangeDirectory(); // true when the server accepted the directory
    bool UploadFile(const QString& localPath, const QString& remoteName);
    void CloseFtpConnection();
    void ShowInternetError(CURLcode code);

private:
    enum class StatusKind { Text, Transfer };

    bool openSession();
    CURLcode perform();
    void deliverStatus();
    void pumpEvents(bool force);
    void setStatus(const QString& text);
    void setMainStatus(const QString& text);
    bool hangUpWanted() const;
    QByteArray serverUrl() const;
    QByteArray directoryUrlPath() const;
    QByteArray escaped(const QString& text) const;

    size_t readPieces(char* buffer, size_t room);
    void onResponseLine(QByteArrayView line);
    static size_t readCallback(char* buffer, size_t size, size_t count, void* self);
    static size_t headerCallback(char* buffer, size_t size, size_t count, void* self);
    static int progressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    FtpSettings m_settings;
    Hooks m_hooks;

    curl::Easy m_easy;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    bool m_directoryChanged = false;
    bool m_inTransfer = false;
    std::atomic<bool> m_cancelled{false};

    // Written by the worker during a step, read by the UI thread.
    mutable std::mutex m_statusMutex;
    QString m_status;
    StatusKind m_statusKind = StatusKind::Text;
    QStringList m_undelivered; // for hooks.statusChanged, oldest first
    std::atomic<int> m_percent{0};
    QString m_error;

    // The server's last complete response of the current step.
    QByteArray m_pendingResponse;
    QByteArray m_lastResponse;
    int m_lastResponseCode = 0;

    // The file being sent, in pieces of PieceSize bytes and one last piece
    // of the rest (possibly empty). The worker reads it during the transfer.
    QFile m_file;
    QString m_localError;
    qint64 m_total = 0;
    qint64 m_sent = 0; // guarded by m_statusMutex
    qint64 m_read = 0;
    bool m_allRead = false;

    QElapsedTimer m_sincePump;
};

} // namespace lv
