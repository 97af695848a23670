#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>

// Reads a movie back with ffprobe: its streams (with packet counts) and format.
inline QJsonObject ffprobe(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_packets"),
             QStringLiteral("-show_streams"), QStringLiteral("-show_format"), QStringLiteral("-of"),
             QStringLiteral("json"), file});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

inline QJsonObject probeStream(const QJsonObject& probe, const QString& type)
{
    for (const QJsonValue& v : probe.value(QStringLiteral("streams")).toArray())
        if (v.toObject().value(QStringLiteral("codec_type")).toString() == type)
            return v.toObject();
    return {};
}

inline int probeInt(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString().toInt() : v.toInt();
}

inline double probeDouble(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString().toDouble() : v.toDouble();
}

// ffmpeg decodes every frame of the file; true when none fails.
inline bool decodesCleanly(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-xerror"),
                                       QStringLiteral("-i"), file, QStringLiteral("-f"), QStringLiteral("null"),
                                       QStringLiteral("-")});
    return p.waitForFinished(60000) && p.exitCode() == 0 && p.readAllStandardError().trimmed().isEmpty();
}

// ffprobe's count of the frames it decodes in the movie's video stream; -1
// when it cannot read the file.
inline int countFrames(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                                        QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                                        QStringLiteral("-show_entries"), QStringLiteral("stream=nb_read_frames"),
                                        QStringLiteral("-of"), QStringLiteral("csv=p=0"), file});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return -1;
    bool ok = false;
    const int n = p.readAllStandardOutput().trimmed().toInt(&ok);
    return ok ? n : -1;
}
