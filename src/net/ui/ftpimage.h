#pragma once

#include "net/ftpsettings.h"
#include "net/ftpupload.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class QLabel;
class QMovie;
class QProgressBar;
class QPushButton;
class QTimer;

namespace lv {

// The small borderless upload window: remote name, status line, progress bar,
// an animation and "Cancel". Showing it starts the upload (on the upload's
// own worker); it closes itself when the upload is over, whatever the
// outcome, and then emits uploadFinished().
class FTPImage final : public QDialog {
    Q_OBJECT
public:
    explicit FTPImage(const FtpSettings& settings, QWidget* parent = nullptr);
    ~FTPImage() override;

    // FTP_localfile and FTPRemotefile: set before the window is shown.
    void setLocalFile(const QString& path) { m_localFile = path; }
    void setRemoteFile(const QString& name) { m_remoteFile = name; }
    // Shows an upload someone else started (the series uploader) instead of
    // starting one; set before the window is shown.
    void watch(FtpUpload* upload);
    // The main window's status line ("Uploading Image...", the error of a failed upload).
    void setMainStatusSink(FtpUpload::StatusSink sink) { m_mainStatus = std::move(sink); }

    bool succeeded() const { return m_succeeded; }
    QString lastError() const { return upload() ? upload()->lastError() : QString(); }

public slots:
    // Escape and closing act as "Cancel": the window goes at once, the
    // upload ends through its failure path, and uploadFinished() follows.
    void reject() override;

signals:
    // The upload is over and the window closed; the main status has heard
    // the last word.
    void uploadFinished(bool ok);

protected:
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void runUpload();
    void uploadEnded(bool ok);
    void showStatus();
    FtpUpload* upload() const { return m_upload ? m_upload.get() : m_watched.data(); }

    FtpSettings m_settings;
    QString m_localFile;
    QString m_remoteFile;
    FtpUpload::StatusSink m_mainStatus;
    std::unique_ptr<FtpUpload> m_upload;
    QPointer<FtpUpload> m_watched;
    bool m_started = false;
    bool m_succeeded = false;

    QLabel* m_remoteLabel = nullptr;
    QLabel* m_statusLabel = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_animation = nullptr;
    QMovie* m_movie = nullptr;
    QPushButton* m_cancel = nullptr;
    QTimer* m_statusTimer = nullptr;
};

// Uploads one saved image: opens FTPImage, modal over the application, for
// localPath and returns at once; the window deletes itself when the upload is
// over, after its uploadFinished(). The server name is the file's name
// without its folder (remoteName when the path has none). mainStatus receives
// the main window's status texts; after a failure the last one is "Error:"
// and the reason.
FTPImage* SendFileToFtp(const QString& localPath, const QString& remoteName, const FtpSettings& settings,
                        const FtpUpload::StatusSink& mainStatus = {}, QWidget* parent = nullptr);

// The same window for an upload that is already running: it closes and
// deletes itself when the upload is over.
FTPImage* ShowUploadWindow(FtpUpload* upload, const QString& remoteName, QWidget* parent = nullptr);

} // namespace lv
