#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

class QFileSystemWatcher;

namespace lv {

namespace pipewire {
class Session;
}

// Notices cameras coming and going: /dev/video* nodes appearing or vanishing,
// and PipeWire video sources entering or leaving the graph (reconnecting when
// the PipeWire service starts later or restarts). In a sandbox it also
// notices the camera portal's answer. changed() comes on the owner's thread,
// once per burst.
class DeviceWatcher final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceWatcher)
public:
    // devDir: where device nodes appear (tests may watch another folder).
    explicit DeviceWatcher(QObject* parent = nullptr, const QString& devDir = QStringLiteral("/dev"));
    ~DeviceWatcher() override;

    bool pipewireConnected() const { return m_session != nullptr; }

signals:
    void changed();

private:
    void onDirectoryChanged();
    void connectPipeWire();
    QStringList videoNodes() const;

    QString m_devDir;
    QStringList m_nodes;
    QFileSystemWatcher* m_fs = nullptr;
    std::unique_ptr<pipewire::Session> m_session;
    QTimer m_settle;
    QTimer m_retry;
};

} // namespace lv
