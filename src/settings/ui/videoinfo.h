#pragma once

#include "base/devicerecords.h"

#include <QColor>
#include <QDialog>
#include <QString>
#include <vector>

namespace lv {

struct InfoLine {
    QString text;
    QColor colour;
    bool operator==(const InfoLine&) const = default;
};

// The lines of the device information window. Nothing unless a capture driver
// is connected. versionText is the driver's version as the device reports it
// (a leading "Version:" of its own is not repeated); captureSystem names the
// system behind the device ("V4L2 (uvcvideo 6.1.0)"), "unknown" when empty.
std::vector<InfoLine> videoInfoLines(bool connected, const QString& caption, const QString& versionText,
                                     const QString& captureSystem, const CaptureDriverCaps& caps);

// The area the information lines are printed onto, one line below the other.
class InfoArea final : public QWidget {
    Q_OBJECT
public:
    explicit InfoArea(QWidget* parent = nullptr);
    void say(const QString& text, const QColor& colour);
    const std::vector<InfoLine>& lines() const { return m_lines; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<InfoLine> m_lines;
};

// The "Device Information" window. The caller refreshes the video window first
// and passes its caption; connected is false unless a capture driver is in use.
class VideoInfo final : public QDialog {
    Q_OBJECT
public:
    VideoInfo(bool connected, const QString& caption, const QString& versionText, const QString& captureSystem,
              const CaptureDriverCaps& caps, QWidget* parent = nullptr);

    // Prints text as the next line in its colour.
    void Say(const QString& text, const QColor& colour);
    const InfoArea* targetPic() const { return m_target; }

private:
    InfoArea* m_target;
};

} // namespace lv
