#include "net/seriesuploader.h"

#include "base/programdirectory.h"
#include "base/settingsstore.h"
#include "net/netlog.h"

#include <QFileInfo>

namespace lv {

SeriesUploader::SeriesUploader(const FtpSettings& settings, const QString& spoolRoot, qint64 capBytes, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_address(ServerAddress::parse(settings.server, settings.port, settings.directory))
    , m_spool(UploadSpool::folderFor(spoolRoot, m_address,
                                     settings.userName.isEmpty() ? m_address.userName : settings.userName),
              capBytes)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(30000);
    connect(&m_retry, &QTimer::timeout, this, &SeriesUploader::sendWaiting);
    const int left = m_spool.count();
    if (left > 0) {
        qCInfo(lcNet).noquote() << "spool:" << left << "pictures left from before wait for" << m_address.display();
        // From the event loop: whoever made this object connects first.
        QMetaObject::invokeMethod(this, &SeriesUploader::sendWaiting, Qt::QueuedConnection);
    }
}

SeriesUploader::~SeriesUploader()
{
    if (m_upload) {
        QObject::disconnect(m_upload, nullptr, this, nullptr);
        m_upload->stop();
        delete m_upload.data();
    }
}

QString SeriesUploader::defaultSpoolRoot()
{
    return programDirectory() + QStringLiteral("upload-spool");
}

int SeriesUploader::spoolLimitMegabytes()
{
    bool ok = false;
    const int mb = settings::get(QStringLiteral("LV"), QStringLiteral("NET"), QStringLiteral("SPOOLMB"),
                                 QString::number(DefaultSpoolLimitMegabytes))
                       .toInt(&ok);
    return ok && mb > 0 ? mb : DefaultSpoolLimitMegabytes;
}

void SeriesUploader::setSpoolLimitMegabytes(int megabytes)
{
    settings::save(QStringLiteral("LV"), QStringLiteral("NET"), QStringLiteral("SPOOLMB"),
                   QString::number(std::max(1, megabytes)));
}

int SeriesUploader::waiting() const
{
    return m_spool.count() + static_cast<int>(m_unkept.size()) + (isSending() && !m_current.spooled ? 1 : 0);
}

QString SeriesUploader::waitingText() const
{
    const int n = waiting();
    if (n == 0)
        return {};
    return n == 1 ? QStringLiteral("1 picture waits for the server") : QStringLiteral("%1 pictures wait for the server").arg(n);
}

bool SeriesUploader::add(const QString& localFile, const QString& remoteName)
{
    QStringList given;
    QString why;
    const bool kept = m_spool.add(localFile, remoteName, &given, &why);
    for (const QString& name : std::as_const(given)) {
        const QString text = QStringLiteral("Upload spool full (%1 MB): %2, the oldest waiting picture, was dropped.")
                                 .arg(m_spool.capBytes() / (1024 * 1024))
                                 .arg(name);
        emit dropped(name, text);
        emit mainStatusChanged(text);
    }
    if (!kept) {
        // Sent from where it is, but not kept for a later try.
        m_unkept.erase(std::remove_if(m_unkept.begin(), m_unkept.end(),
                                      [&](const Item& i) { return i.entry.remoteName == remoteName; }),
                       m_unkept.end());
        m_unkept.push_back({{localFile, remoteName, QFileInfo(localFile).size(), 0}, false});
        emit dropped(remoteName, why);
        emit mainStatusChanged(why);
    }
    sendWaiting();
    return kept;
}

void SeriesUploader::sendWaiting()
{
    if (isSending())
        return;
    m_retry.stop();
    startNext();
}

void SeriesUploader::stop()
{
    m_retry.stop();
    if (m_upload)
        m_upload->stop(); // finished() follows at once; the picture keeps waiting
}

void SeriesUploader::startNext()
{
    const std::vector<UploadSpool::Entry> entries = m_spool.entries();
    if (!entries.empty()) {
        m_current = {entries.front(), true};
    } else if (!m_unkept.empty()) {
        m_current = m_unkept.front();
        m_unkept.erase(m_unkept.begin());
    } else {
        emit idle();
        return;
    }
    auto* up = new FtpUpload(m_settings, this);
    if (m_optionsSet)
        up->setOptions(m_options);
    if (m_hangUp)
        up->setHangUp(m_hangUp);
    up->setExactRemoteName(true);
    m_upload = up;
    connect(up, &FtpUpload::mainStatusChanged, this, [this](const QString& text) {
        // The upload's last word is empty after a success; what waits is said instead.
        emit mainStatusChanged(text.isEmpty() ? waitingText() : text);
    });
    connect(up, &FtpUpload::finished, this, &SeriesUploader::uploadEnded);
    emit uploadStarted(up, m_current.entry.remoteName);
    // The spool's copy is sent under the picture's own name.
    up->start(m_current.entry.file, m_current.entry.remoteName);
}

void SeriesUploader::uploadEnded(bool ok)
{
    FtpUpload* up = m_upload;
    if (!up)
        return;
    m_upload.clear();
    up->deleteLater();
    const Item item = m_current;
    m_current = {};
    if (ok) {
        m_lastError.clear();
        if (item.spooled)
            m_spool.remove(item.entry);
        emit sent(item.entry.remoteName);
        if (waiting() > 0) {
            startNext();
        } else {
            emit mainStatusChanged(QString());
            emit idle();
        }
        return;
    }
    m_lastError = up->lastError();
    const bool temporary = up->failureIsTemporary() && !up->isCancelled();
    if (!item.spooled)
        m_unkept.insert(m_unkept.begin(), item); // still first in line
    const QString status = m_lastError + QStringLiteral(" - ") + waitingText();
    emit mainStatusChanged(status);
    qCInfo(lcNet).noquote() << "spool:" << waitingText() << (temporary ? "(trying again later)" : "");
    emit failed(item.entry.remoteName, m_lastError, temporary);
    if (temporary && !up->isCancelled())
        m_retry.start();
}

} // namespace lv
