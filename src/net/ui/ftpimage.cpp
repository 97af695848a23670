#include "net/ui/ftpimage.h"

#include "base/programdirectory.h"
#include "net/netlog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace lv {

FTPImage::FTPImage(const FtpSettings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_settings(settings)
{
    setObjectName(QStringLiteral("FTPImage"));
    setModal(true);
    setWindowTitle(QStringLiteral("File Upload"));

    auto* heading = new QLabel(QStringLiteral("File Upload"), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);

    m_animation = new QLabel(this);
    m_animation->setObjectName(QStringLiteral("Animation1"));
    m_remoteLabel = new QLabel(QStringLiteral("Transfering: "), this);
    m_remoteLabel->setObjectName(QStringLiteral("Remotefile"));
    m_statusLabel = new QLabel(QStringLiteral("Connecting..."), this);
    m_statusLabel->setObjectName(QStringLiteral("Status"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar"));
    m_progress->setRange(1, 100);
    m_progress->setValue(1);
    m_progress->setTextVisible(false);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("Command1"));
    connect(m_cancel, &QPushButton::clicked, this, &FTPImage::reject);

    const QString animationFile = findDataFile(QStringLiteral("lmvkua.iva"));
    if (!animationFile.isEmpty()) {
        m_movie = new QMovie(animationFile, "gif", this);
        if (m_movie->isValid()) {
            m_animation->setMovie(m_movie);
        } else {
            delete m_movie;
            m_movie = nullptr;
        }
    }
    if (!m_movie) {
        qCInfo(lcNet) << "upload animation not available";
        m_animation->hide();
    }

    auto* text = new QVBoxLayout;
    text->addWidget(heading);
    text->addWidget(m_remoteLabel);
    text->addWidget(m_statusLabel);
    auto* top = new QHBoxLayout;
    top->addWidget(m_animation, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_progress, 1);
    bottom->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);
    setMinimumWidth(360);

    m_statusTimer = new QTimer(this);
    m_statusTimer->setObjectName(QStringLiteral("StatusTimer"));
    m_statusTimer->setInterval(500);
    connect(m_statusTimer, &QTimer::timeout, this, &FTPImage::showStatus);
    m_statusTimer->start();
}

FTPImage::~FTPImage() = default;

void FTPImage::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_movie)
        m_movie->start();
    if (!m_started) {
        m_started = true;
        // At once: the upload runs on its own worker, and whoever opened the
        // window sees it running from now on.
        runUpload();
    }
}

void FTPImage::watch(FtpUpload* upload)
{
    m_watched = upload;
    m_started = true;
    connect(upload, &FtpUpload::finished, this, &FTPImage::uploadEnded);
    m_remoteLabel->setText(QStringLiteral("Uploading ") + m_remoteFile);
}

void FTPImage::runUpload()
{
    m_upload = std::make_unique<FtpUpload>(m_settings);
    connect(m_upload.get(), &FtpUpload::mainStatusChanged, this, [this](const QString& text) {
        if (m_mainStatus)
            m_mainStatus(text);
    });
    connect(m_upload.get(), &FtpUpload::finished, this, &FTPImage::uploadEnded);
    m_remoteLabel->setText(QStringLiteral("Uploading ") + FtpUpload::RemoteNameFor(m_localFile, m_remoteFile));
    m_upload->start(m_localFile, m_remoteFile);
}

void FTPImage::uploadEnded(bool ok)
{
    m_succeeded = ok;
    showStatus();
    if (m_movie)
        m_movie->stop();
    done(ok ? QDialog::Accepted : QDialog::Rejected);
    emit uploadFinished(ok);
}

void FTPImage::showStatus()
{
    FtpUpload* up = upload();
    if (!up)
        return;
    m_statusLabel->setText(up->statusText());
    const int percent = up->progressPercent();
    if (percent > m_progress->minimum() && percent < m_progress->maximum())
        m_progress->setValue(percent);
}

void FTPImage::reject()
{
    // "Cancel": the running step fails at libcurl's next poll and the upload
    // unwinds through its failure path; the window goes away now.
    if (upload() && upload()->isRunning()) {
        upload()->cancel();
        hide();
        return;
    }
    QDialog::reject();
}

void FTPImage::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

FTPImage* SendFileToFtp(const QString& localPath, const QString& remoteName, const FtpSettings& settings,
                        const FtpUpload::StatusSink& mainStatus, QWidget* parent)
{
    auto* window = new FTPImage(settings, parent);
    window->setLocalFile(localPath);
    window->setRemoteFile(remoteName);
    window->setMainStatusSink(mainStatus);
    QObject::connect(window, &FTPImage::uploadFinished, window, &QObject::deleteLater);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    return window;
}

FTPImage* ShowUploadWindow(FtpUpload* upload, const QString& remoteName, QWidget* parent)
{
    auto* window = new FTPImage({}, parent);
    window->setRemoteFile(remoteName);
    window->watch(upload);
    QObject::connect(window, &FTPImage::uploadFinished, window, &QObject::deleteLater);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    return window;
}

} // namespace lv
