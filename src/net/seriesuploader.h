#pragma once

#include "net/ftpsettings.h"
#include "net/ftpupload.h"
#include "net/serveraddress.h"
#include "net/uploadspool.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace lv {

// Sends the pictures of a series to their server through a spool, so that
// none is lost while the server is away: each picture is first copied into
// the spool folder of its server (UploadSpool), then the waiting pictures go
// out one at a time, oldest first, each removed only once the server has
// confirmed it. A failure that says "later" (no connection, a broken one, a
// busy server) keeps the pictures and tries again after the retry interval
// and with the next picture; a refusal (login, host key, certificate) keeps
// them too but waits for the next picture, not the clock. Pictures left from
// an earlier run of the program go first.
//
// Widget-free; lives on the UI thread (each upload runs on its own worker).
class SeriesUploader final : public QObject {
    Q_OBJECT
public:
    // spoolRoot: the folder that holds one spool folder per server.
    SeriesUploader(const FtpSettings& settings, const QString& spoolRoot, qint64 capBytes, QObject* parent = nullptr);
    ~SeriesUploader() override;

    // <program directory>/upload-spool
    static QString defaultSpoolRoot();
    // The size cap of the spool in the settings store (LV/NET/SPOOLMB), in MB.
    static int spoolLimitMegabytes();
    static void setSpoolLimitMegabytes(int megabytes);
    static constexpr int DefaultSpoolLimitMegabytes = 200;

    const FtpSettings& settings() const { return m_settings; }
    QString spoolFolder() const { return m_spool.folder(); }
    void setOptions(const FtpUpload::Options& options)
    {
        m_options = options;
        m_optionsSet = true;
    }
    void setHangUp(std::function<void()> hangUp) { m_hangUp = std::move(hangUp); }
    void setRetryInterval(int milliseconds) { m_retry.setInterval(milliseconds); }

    // Keeps a copy of the picture and sends what waits. A picture that cannot
    // be kept (the spool folder unwritable, larger than the cap) is sent from
    // where it is, once, and that is said on the status line. False when it
    // was not kept.
    bool add(const QString& localFile, const QString& remoteName);
    // Sends what waits now, unless an upload runs.
    void sendWaiting();
    // Cancels the running upload; its picture keeps waiting.
    void stop();

    // Pictures not yet confirmed by the server, the one being sent included.
    int waiting() const;
    bool isSending() const { return !m_upload.isNull(); }
    // The last failure's text ("Error:..."); empty after a success.
    QString lastError() const { return m_lastError; }
    // "3 pictures wait for the server", empty when none waits.
    QString waitingText() const;

signals:
    // An upload begins (a window may show it); it ends with its finished().
    void uploadStarted(lv::FtpUpload* upload, const QString& remoteName);
    void sent(const QString& remoteName);
    void failed(const QString& remoteName, const QString& error, bool temporary);
    // A waiting picture was given up (the spool's cap), or one could not be kept.
    void dropped(const QString& remoteName, const QString& reason);
    // The main window's status line: the upload's texts, then how many wait.
    void mainStatusChanged(const QString& text);
    // Nothing waits and nothing is being sent.
    void idle();

private:
    struct Item {
        UploadSpool::Entry entry;
        bool spooled = true; // false: the user's own file, sent once and left alone
    };
    void startNext();
    void uploadEnded(bool ok);

    FtpSettings m_settings;
    ServerAddress m_address;
    UploadSpool m_spool;
    FtpUpload::Options m_options;
    bool m_optionsSet = false;
    std::function<void()> m_hangUp;
    QTimer m_retry;
    QPointer<FtpUpload> m_upload;
    Item m_current;
    std::vector<Item> m_unkept; // pictures the spool could not keep, in order
    QString m_lastError;
};

} // namespace lv
