#pragma once

#include <QString>
#include <QStringList>

namespace lv {

// What a bug report needs to know about this machine, gathered as plain
// text: program and library versions, kernel and desktop session, every
// camera with its formats, sizes and rates, the sound devices and the free
// space where movies go. Widget-free; UI thread (it opens the cameras
// briefly through the V4L2 seam, which tests may replace).
class SystemInformation {
public:
    // movieFile: where movies are written (its folder's free space is shown).
    explicit SystemInformation(const QString& movieFile);

    QString text() const { return m_sections.join(QStringLiteral("\n\n")) + QLatin1Char('\n'); }

    static QString programSection();
    static QString librarySection();
    static QString systemSection();
    static QString cameraSection();
    static QString soundSection();
    static QString diskSection(const QString& movieFile);

private:
    QStringList m_sections;
};

} // namespace lv
