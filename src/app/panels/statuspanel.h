#pragma once

#include "settings/capturemodel.h"

#include <QHash>
#include <QWidget>

class QLabel;
class QStatusBar;

namespace lv {

// The recording status beside the operation toolbar (capture time, dropped
// frames, the driver status) and the panels of the status bar (file name,
// resolution, file size, disk capacity). Shows the model's status texts.
class StatusPanel final : public QWidget {
    Q_OBJECT

public:
    // The status bar's panels go into bar.
    StatusPanel(CaptureModel& model, QStatusBar* bar, QWidget* parent);

    // Text of a status bar panel by key ("filename", "resolution", "filesize", "diskcap").
    QString panelText(const QString& key) const;
    void setPanelText(const QString& key, const QString& text);
    void setPanelToolTip(const QString& key, const QString& tip);
    // The status caption once an error's status has expired.
    void showStatusExpired();

signals:
    // The file size panel was clicked (it shows the program's address when idle).
    void addressClicked();

private:
    void showStatus();

    CaptureModel& m_model;
    QLabel* m_time = nullptr;
    QLabel* m_dropped = nullptr;
    QLabel* m_caption = nullptr;
    QLabel* m_string = nullptr;
    QHash<QString, QLabel*> m_panels;
};

} // namespace lv
