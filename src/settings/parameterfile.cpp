#include "settings/parameterfile.h"

#include "base/clock.h"
#include "base/programdirectory.h"
#include "base/textnumber.h"
#include "base/version.h"
#include "settings/parameterreader.h"
#include "settings/parametertarget.h"
#include "settings/settingslog.h"

#include <QBuffer>
#include <QFile>
#include <QFileDevice>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace lv {

namespace {

const QString kSeparator = QStringLiteral("; ") + QString(93, QLatin1Char('-'));

const char* const kInfoKeys[6] = {"Copyright", "Artist", "Subject", "Product", "Source", "Comments"};

QString yesNo(bool v) { return v ? QStringLiteral("Yes") : QStringLiteral("No"); }

// A value goes on one line. A line break would start new fields (and could
// plant keys), so it becomes a blank. A double quote that opens a field after
// a comma would swallow the following lines up to the next quote; it becomes
// an apostrophe. Only the part after a comma is affected, which is never read
// back as part of the value anyway.
QString lineValue(QString v)
{
    v.replace(QLatin1Char('\r'), QLatin1Char(' '));
    v.replace(QLatin1Char('\n'), QLatin1Char(' '));
    bool fieldStart = false;
    for (qsizetype i = 0; i < v.size(); ++i) {
        const QChar c = v.at(i);
        if (c == QLatin1Char(',')) {
            fieldStart = true;
        } else if (fieldStart && (c == QLatin1Char(' ') || c == QLatin1Char('\t'))) {
            continue;
        } else {
            if (fieldStart && c == QLatin1Char('"'))
                v[i] = QLatin1Char('\'');
            fieldStart = false;
        }
    }
    return v;
}

class Writer {
public:
    void line(const QString& text) { m_text += text + QStringLiteral("\r\n"); }
    void setting(const char* key, const QString& value)
    {
        line(QLatin1String(key) + QLatin1Char('=') + lineValue(value));
    }
    void setting(const char* key, qint64 value) { setting(key, QString::number(value)); }
    void block(const QString& title)
    {
        line(QStringLiteral(";"));
        line(QStringLiteral("; ") + title);
        line(kSeparator);
    }
    // Latin-1 as always when every character has a place there; otherwise
    // UTF-8, which the reader tells apart because it is valid UTF-8 with a
    // byte past ASCII. Latin-1 text that would pass for UTF-8 is written as
    // UTF-8 too, so it reads back as written.
    QByteArray bytes() const
    {
        const bool fits = std::all_of(m_text.cbegin(), m_text.cend(), [](QChar c) { return c.unicode() < 0x100; });
        if (fits) {
            const QByteArray latin1 = m_text.toLatin1();
            QBuffer check;
            check.setData(latin1);
            check.open(QIODevice::ReadOnly);
            if (!isUtf8Text(check))
                return latin1;
        }
        return m_text.toUtf8();
    }

private:
    QString m_text;
};

void writeStamps(Writer& w, const CaptureSettings& s, CaptureKind mode)
{
    w.block(QStringLiteral("Image Options - Time Insertion"));
    w.setting("Insert Time", yesNo(s.InsertTime));
    w.setting("Time Color", s.TimeColor);
    w.setting("Time Position", s.TimePosition);
    w.block(QStringLiteral("Image Options - Date Insertion"));
    w.setting("Insert Date", yesNo(s.InsertDate));
    w.setting("Date Color", s.DateColor);
    w.setting("Date Position", s.DatePosition);
    w.block(QStringLiteral("Image Options - Text Insertion"));
    // The single-image panel has always written its "on" literal with this
    // key; readers rely on it (the missing key reads as the default "Yes").
    if (s.InsertText && mode == CaptureKind::SingleImage)
        w.line(QStringLiteral("Intert Text=Yes"));
    else
        w.setting("Insert Text", yesNo(s.InsertText));
    w.setting("Text Color", s.TextColor);
    w.setting("Text Position", s.TextPosition);
    w.setting("Text", s.Text);
}

void writeAviInfo(Writer& w, const CaptureSettings& s)
{
    w.block(QStringLiteral("AVI Other Information"));
    w.setting("AVI Info", yesNo(s.AviInfo));
    const QString* fields[6] = {&s.Copyright, &s.Artist, &s.Subject, &s.Product, &s.Source, &s.Comments};
    for (int i = 0; i < 6; ++i)
        w.setting(kInfoKeys[i], *fields[i]);
}

QString audioRateText(int32_t hz)
{
    return audioRateEntry(hz) >= 0 ? QString::number(hz) : QString();
}

} // namespace

QString frameRateText(double fps)
{
    if (!std::isfinite(fps) || std::fabs(fps) > 1e9)
        return {};
    QString t = QString::number(std::round(fps * 10000.0) / 10000.0, 'f', 4);
    while (t.endsWith(QLatin1Char('0')))
        t.chop(1);
    if (t.endsWith(QLatin1Char('.')))
        t.chop(1);
    if (t == QLatin1String("-0"))
        t = QStringLiteral("0");
    return t;
}

QByteArray parameterFileBytes(const CaptureSettings& s, ParameterFileKind kind)
{
    Writer w;
    const QDateTime now = lv::clock().now();
    w.line(QStringLiteral("; Video Capture Parameters File"));
    w.line(QStringLiteral("; %1 Version %2.%3  Build:%4")
               .arg(programTitle())
               .arg(kVersionMajor)
               .arg(kVersionMinor, 2, 10, QLatin1Char('0'))
               .arg(kVersionBuild, 4, 10, QLatin1Char('0')));
    w.line(kSeparator);
    w.line(QStringLiteral("; Created ") + now.toString(QStringLiteral("MM-dd-yyyy  HH:mm:ss")));
    w.line(kSeparator);
    w.line(QStringLiteral("; Copyright (C) The Lumivark developers. Settings of a capture session."));
    w.line(kSeparator);

    w.block(QStringLiteral("Video Capture Device"));
    w.setting("Device Index", s.DeviceIndex);
    w.setting("Device Description", s.DeviceDescription);
    w.setting("View Mode", s.ViewModeOverlay ? QStringLiteral("Overlay") : QStringLiteral("Preview"));
    w.setting("Preview Rate", s.PreviewRate);

    w.block(QStringLiteral("Autostart"));
    w.setting("Hours", s.Hours);
    w.setting("Minutes", s.Minutes);
    w.setting("Seconds", s.Seconds);

    w.block(QStringLiteral("Filename"));
    w.setting("Filename", s.Filename);

    w.block(QStringLiteral("Capture Type"));
    if (!s.Capture)
        return w.bytes();

    switch (*s.Capture) {
    case CaptureKind::Movie: {
        w.line(QStringLiteral("Capture=Movie"));
        w.block(QStringLiteral("Audio Settings"));
        w.setting("Audio", yesNo(s.Audio));
        w.setting("Audio Channels", s.AudioChannels);
        w.setting("Audio Bits", s.AudioBits);
        if (const QString rate = audioRateText(s.AudioRate); !rate.isEmpty())
            w.setting("Audio Rate", rate);
        writeAviInfo(w, s);
        w.block(QStringLiteral("Movie Options"));
        if (const QString fps = frameRateText(s.FrameRate); !fps.isEmpty())
            w.setting("Frame Rate", fps);
        w.setting("Limit", yesNo(s.Limit));
        w.setting("Duration(Seconds)", s.DurationSeconds);
        if (kind != ParameterFileKind::Device) {
            w.block(QStringLiteral("Advanced Settings"));
            w.setting("Capture Operation", s.CaptureOperationBackground ? QStringLiteral("Background Task")
                                                                         : QStringLiteral("Exclusive Task"));
            w.setting("Video Buffers", s.VideoBuffers);
            w.setting("Audio Buffers", s.AudioBuffers);
            w.setting("DOS Buffers", yesNo(s.DOSBuffers));
            w.setting("Write Cache", yesNo(s.WriteCache));
            w.setting("Max Index Size", s.MaxIndexSize);
            w.setting("Chunk Granularity", s.ChunkGranularity);
            w.setting("Drop Error", s.DropError);
        }
        break;
    }
    case CaptureKind::SingleImage:
        w.line(QStringLiteral("Capture=Single Image"));
        writeStamps(w, s, CaptureKind::SingleImage);
        break;
    case CaptureKind::MultipleImage:
        w.line(QStringLiteral("Capture=Multiple Image"));
        w.setting("Multiple Image Type", s.MultipleImageType);
        w.setting("AVI Rate", s.AVIRate);
        writeStamps(w, s, CaptureKind::MultipleImage);
        w.block(QStringLiteral("Trigger Type"));
        if (s.Trigger) {
            switch (*s.Trigger) {
            case TriggerKind::Manual: w.line(QStringLiteral("Trigger=Manual")); break;
            case TriggerKind::Timer:
                w.line(QStringLiteral("Trigger=Timer"));
                w.setting("Interval", s.Interval);
                break;
            case TriggerKind::Motion: w.line(QStringLiteral("Trigger=Motion")); break;
            }
        }
        writeAviInfo(w, s);
        w.block(QStringLiteral("Internet Settings"));
        w.setting("Send to FTP Server", yesNo(s.SendToFTPServer));
        w.setting("URL", s.URL);
        w.setting("Port", s.Port);
        w.setting("Username", s.Username);
        w.setting("Password", s.Password);
        w.setting("Directory", s.Directory);
        w.block(QStringLiteral("Image Effects "));
        break;
    }
    return w.bytes();
}

FileResult WriteParameters(const QString& path, const CaptureSettings& settings, ParameterFileKind kind)
{
    const QByteArray bytes = parameterFileBytes(settings, kind);
    // Only the multiple-image file carries the password.
    const bool secret = settings.Capture == CaptureKind::MultipleImage && !settings.Password.isEmpty();

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcSettings) << "cannot create" << path << file.errorString();
        return FileResult::failed(file.errorString());
    }
    // Set the mode on the temporary file before any byte of the password is in
    // it; a replaced file otherwise keeps the mode of the old one.
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (secret && !file.setPermissions(ownerOnly)) {
        qCWarning(lcSettings) << "cannot restrict" << path << "to its owner; not written";
        file.cancelWriting();
        return FileResult::failed(QStringLiteral("cannot make the file readable by its owner only"));
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        qCWarning(lcSettings) << "cannot write" << path << file.errorString();
        return FileResult::failed(file.errorString());
    }
    return {};
}

FileResult WriteParameters(const QString& path, const ParameterTarget& target, ParameterFileKind kind)
{
    return WriteParameters(path, target.captureSettings(), kind);
}

namespace {

QStringList allKeys()
{
    QStringList keys = {
        QStringLiteral("View Mode"), QStringLiteral("Preview Rate"), QStringLiteral("Hours"),
        QStringLiteral("Minutes"), QStringLiteral("Seconds"), QStringLiteral("Filename"),
        QStringLiteral("Capture"), QStringLiteral("Audio"), QStringLiteral("Audio Channels"),
        QStringLiteral("Audio Bits"), QStringLiteral("Audio Rate"), QStringLiteral("AVI Info"),
        QStringLiteral("Frame Rate"), QStringLiteral("Limit"), QStringLiteral("Duration(Seconds)"),
        QStringLiteral("Capture Operation"), QStringLiteral("Video Buffers"), QStringLiteral("Audio Buffers"),
        QStringLiteral("DOS Buffers"), QStringLiteral("Write Cache"), QStringLiteral("Max Index Size"),
        QStringLiteral("Chunk Granularity"), QStringLiteral("Drop Error"), QStringLiteral("Insert Time"),
        QStringLiteral("Time Color"), QStringLiteral("Time Position"), QStringLiteral("Insert Date"),
        QStringLiteral("Date Color"), QStringLiteral("Date Position"), QStringLiteral("Insert Text"),
        QStringLiteral("Text Color"), QStringLiteral("Text Position"), QStringLiteral("Text"),
        QStringLiteral("Multiple Image Type"), QStringLiteral("AVI Rate"), QStringLiteral("Trigger"),
        QStringLiteral("Interval"), QStringLiteral("Send to FTP Server"), QStringLiteral("URL"),
        QStringLiteral("Port"), QStringLiteral("Username"), QStringLiteral("Password"),
        QStringLiteral("Directory")};
    for (const char* k : kInfoKeys)
        keys << QLatin1String(k);
    return keys;
}

class Reader {
public:
    explicit Reader(const QString& path) : m_lookup(allKeys()) { m_lookup.load(path); }

    QString text(const char* key, const QString& def = {}) const
    {
        return m_lookup.value(QLatin1String(key), def);
    }
    QString upper(const char* key, const char* def) const { return text(key, QLatin1String(def)).toUpper(); }
    bool is(const char* key, const char* def, const char* literal) const
    {
        return upper(key, def) == QLatin1String(literal);
    }
    double number(const char* key, const char* def) const { return leadingNumber(text(key, QLatin1String(def))); }
    int16_t int16(const char* key, const char* def) const { return toInt16(number(key, def)); }
    int32_t int32(const char* key, const char* def) const { return toInt32(number(key, def)); }
    uint32_t uint32(const char* key, const char* def) const { return toUInt32(number(key, def)); }

    // A file name or an FTP field. A control character would cut the name
    // the system sees at a NUL, or end an FTP command and start another; such
    // a value, or a path longer than the system takes, is refused and reads
    // as def.
    QString checked(const char* key, const QString& def, bool isPath) const
    {
        const QString v = text(key, def);
        const bool control = std::any_of(v.cbegin(), v.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
        if (!control && (!isPath || QFile::encodeName(v).size() <= kMaxPathBytes))
            return v;
        m_refused << QLatin1String(key);
        return def;
    }
    QStringList refused() const { return m_refused; }

private:
    ParameterLookup m_lookup;
    mutable QStringList m_refused;
};

constexpr int kPositionEntries = 6;
constexpr int kMultipleImageTypes = 6;

void readStamps(const Reader& r, ParameterTarget& t, CaptureKind mode)
{
    struct Stamp {
        StampItem item;
        const char* on;
        const char* colour;
        const char* position;
    };
    const Stamp stamps[3] = {{StampItem::Time, "Insert Time", "Time Color", "Time Position"},
                             {StampItem::Date, "Insert Date", "Date Color", "Date Position"},
                             {StampItem::Text, "Insert Text", "Text Color", "Text Position"}};
    for (const Stamp& s : stamps) {
        t.applyStampOn(mode, s.item, r.is(s.on, "Yes", "YES"));
        t.applyStampColor(s.item, r.uint32(s.colour, "0"));
        const int16_t pos = r.int16(s.position, "0");
        if (pos >= 0 && pos < kPositionEntries)
            t.applyStampPosition(mode, s.item, pos);
    }
    t.applyStampText(mode, r.text("Text"));
}

void readAviInfo(const Reader& r, ParameterTarget& t, CaptureKind mode)
{
    t.applyAviInfo(mode, r.is("AVI Info", "Yes", "YES"));
    for (int i = 0; i < 6; ++i)
        t.applyAviInfoField(i, r.text(kInfoKeys[i]));
}

void readMovie(const Reader& r, ParameterTarget& t, ParameterFileKind kind)
{
    t.applyAudio(r.is("Audio", "Yes", "YES"));
    t.applyAudioChannelsEntry(r.int32("Audio Channels", "1") == 1 ? 0 : 1);
    t.applyAudioBitsEntry(r.int32("Audio Bits", "8") == 8 ? 0 : 1);
    t.applyAudioRateEntry(std::max(0, audioRateEntry(r.int32("Audio Rate", "8000")))); // another rate: the first

    readAviInfo(r, t, CaptureKind::Movie);

    // 29.97 is the one fractional rate; the file holds it to four decimals.
    const double fps = r.number("Frame Rate", "12");
    if (std::llround(std::clamp(fps, -1e6, 1e6) * 10000.0) == 299700) {
        t.applyFrameRate2997();
    } else {
        const int16_t whole = toInt16(fps);
        if (whole > 1 && whole < 31)
            t.applyFrameRate(whole);
    }
    t.applyNoLimit(!r.is("Limit", "Yes", "YES"));
    t.applyMovieDuration(r.int32("Duration(Seconds)", "30"));

    if (kind == ParameterFileKind::Device)
        return;
    CaptureParms& p = t.captureParms();
    p.fYield = r.is("Capture Operation", "Background Task", "BACKGROUND TASK") ? 1 : 0;
    p.wNumVideoRequested = r.uint32("Video Buffers", "0");
    p.wNumAudioRequested = r.uint32("Audio Buffers", "0");
    p.fUsingDOSMemory = r.is("DOS Buffers", "No", "NO") ? 0 : 1;
    p.fDisableWriteCache = r.is("Write Cache", "Yes", "YES") ? 0 : 1;
    p.dwIndexSize = r.uint32("Max Index Size", "324000");
    p.wChunkGranularity = r.uint32("Chunk Granularity", "0");
    p.wPercentDropForError = r.uint32("Drop Error", "10");
}

void readMultiple(const Reader& r, ParameterTarget& t)
{
    const int16_t type = r.int16("Multiple Image Type", "0");
    if (type >= 0 && type < kMultipleImageTypes)
        t.applyMultipleImageType(type);
    const int16_t aviRate = r.int16("AVI Rate", "10");
    if (aviRate > 0 && aviRate <= kSeriesMovieRates)
        t.applyAviRateEntry(aviRate - 1);

    readStamps(r, t, CaptureKind::MultipleImage);

    const QString trigger = r.upper("Trigger", "Manual");
    if (trigger == QLatin1String("TIMER")) {
        t.applyTrigger(TriggerKind::Timer);
        t.applyInterval(r.int16("Interval", "10"));
    } else if (trigger == QLatin1String("MOTION")) {
        t.applyTrigger(TriggerKind::Motion);
    } else {
        t.applyTrigger(TriggerKind::Manual);
    }

    readAviInfo(r, t, CaptureKind::MultipleImage);

    t.applySendToFtp(r.is("Send to FTP Server", "Yes", "YES"));
    t.applyFtpAddress(r.checked("URL", {}, false));
    // Ports run to 65535; a 16-bit signed field would cut them at 32767.
    t.applyFtpPort(static_cast<uint16_t>(std::clamp<int32_t>(r.int32("Port", "21"), 0, 65535)));
    t.applyFtpUserName(r.checked("Username", {}, false));
    t.applyFtpPassword(r.checked("Password", {}, false));
    t.applyFtpDirectory(r.checked("Directory", {}, false));
}

} // namespace

QString ReadParameters(const QString& path, ParameterTarget& target, ParameterFileKind kind)
{
    const Reader r(path);

    target.applyViewMode(r.is("View Mode", "Overlay", "OVERLAY"));
    const int entry = std::abs(int(r.int16("Preview Rate", "15")) - 1);
    if (entry < kPreviewRates)
        target.applyPreviewRateEntry(entry);

    target.applyAutostartHours(r.int16("Hours", "0"));
    target.applyAutostartMinutes(r.int16("Minutes", "0"));
    target.applyAutostartSeconds(r.int16("Seconds", "10"));

    target.applyFilename(r.checked("Filename", defaultCaptureFileName(), true));

    const QString mode = r.upper("Capture", "Movie");
    if (mode == QLatin1String("MOVIE")) {
        target.selectMode(CaptureKind::Movie);
        readMovie(r, target, kind);
    } else if (mode == QLatin1String("SINGLE IMAGE")) {
        target.selectMode(CaptureKind::SingleImage);
        readStamps(r, target, CaptureKind::SingleImage);
    } else if (mode == QLatin1String("MULTIPLE IMAGE")) {
        target.selectMode(CaptureKind::MultipleImage);
        readMultiple(r, target);
    }
    if (r.refused().isEmpty())
        return {};
    return QStringLiteral("Ignored ") + r.refused().join(QStringLiteral(", ")) + QStringLiteral(" in ") + path
           + QStringLiteral(": a control character or too long");
}

QString lastSessionFilePath() { return programDirectory() + QStringLiteral("lvsr.lv2"); }
QString deviceFilePath() { return programDirectory() + QStringLiteral("lvsr.lv3"); }
QString defaultCaptureFileName() { return defaultMovieFolder() + QStringLiteral("lumivark.avi"); }

} // namespace lv
