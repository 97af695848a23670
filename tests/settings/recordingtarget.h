#pragma once

#include "settings/parametertarget.h"

#include <QStringList>
#include <array>

// A main window stand-in: keeps the state the reader applies, logs every call
// in order, and hands its state back to the writer.
class RecordingTarget final : public lv::ParameterTarget {
public:
    lv::CaptureSettings state;
    lv::CaptureParms parms;
    QStringList calls;

    lv::CaptureSettings captureSettings() const override
    {
        lv::CaptureSettings s = state;
        s.CaptureOperationBackground = parms.fYield == 1;
        s.VideoBuffers = parms.wNumVideoRequested;
        s.AudioBuffers = parms.wNumAudioRequested;
        s.DOSBuffers = parms.fUsingDOSMemory == 1;
        s.WriteCache = parms.fDisableWriteCache == 0;
        s.MaxIndexSize = parms.dwIndexSize;
        s.ChunkGranularity = parms.wChunkGranularity;
        s.DropError = parms.wPercentDropForError;
        return s;
    }
    lv::CaptureParms& captureParms() override { return parms; }

    void applyViewMode(bool overlay) override { log("viewMode", overlay); state.ViewModeOverlay = overlay; }
    void applyPreviewRateEntry(int e) override { log("previewRateEntry", e); state.PreviewRate = int16_t(e + 1); }
    void applyAutostartHours(int16_t v) override { log("hours", v); state.Hours = v; }
    void applyAutostartMinutes(int16_t v) override { log("minutes", v); state.Minutes = v; }
    void applyAutostartSeconds(int16_t v) override { log("seconds", v); state.Seconds = v; }
    void applyFilename(const QString& n) override { log("filename", n); state.Filename = n; }
    void selectMode(lv::CaptureKind m) override { log("selectMode", int(m)); state.Capture = m; }
    void applyAudio(bool on) override { log("audio", on); state.Audio = on; }
    void applyAudioChannelsEntry(int e) override { log("channelsEntry", e); state.AudioChannels = e + 1; }
    void applyAudioBitsEntry(int e) override { log("bitsEntry", e); state.AudioBits = (e + 1) * 8; }
    void applyAudioRateEntry(int e) override
    {
        static const int rates[4] = {8000, 11025, 22050, 44100};
        log("rateEntry", e);
        state.AudioRate = rates[e];
    }
    void applyFrameRate2997() override { log("frameRate2997", 1); state.FrameRate = 29.97; }
    void applyFrameRate(int16_t f) override { log("frameRate", f); state.FrameRate = f; }
    void applyNoLimit(bool c) override { log("noLimit", c); state.Limit = !c; }
    void applyMovieDuration(int32_t s) override { log("duration", s); state.DurationSeconds = s; }
    void applyAviInfo(lv::CaptureKind m, bool p) override { log("aviInfo", int(m), p); state.AviInfo = p; }
    void applyAviInfoField(int i, const QString& t) override
    {
        log("infoField", i, t);
        QString* f[6] = {&state.Copyright, &state.Artist, &state.Subject, &state.Product, &state.Source, &state.Comments};
        *f[i] = t;
    }
    void applyStampOn(lv::CaptureKind m, lv::StampItem it, bool p) override
    {
        log("stampOn", int(m), int(it), p);
        (it == lv::StampItem::Time ? state.InsertTime : it == lv::StampItem::Date ? state.InsertDate : state.InsertText) = p;
    }
    void applyStampColor(lv::StampItem it, uint32_t c) override
    {
        log("stampColor", int(it), c);
        (it == lv::StampItem::Time ? state.TimeColor : it == lv::StampItem::Date ? state.DateColor : state.TextColor) = c;
    }
    void applyStampPosition(lv::CaptureKind m, lv::StampItem it, int e) override
    {
        log("stampPosition", int(m), int(it), e);
        (it == lv::StampItem::Time ? state.TimePosition : it == lv::StampItem::Date ? state.DatePosition : state.TextPosition) = int16_t(e);
    }
    void applyStampText(lv::CaptureKind m, const QString& t) override { log("stampText", int(m), t); state.Text = t; }
    void applyMultipleImageType(int e) override { log("multipleType", e); state.MultipleImageType = int16_t(e); }
    void applyAviRateEntry(int e) override { log("aviRateEntry", e); state.AVIRate = int16_t(e + 1); }
    void applyTrigger(lv::TriggerKind t) override { log("trigger", int(t)); state.Trigger = t; }
    void applyInterval(int16_t s) override { log("interval", s); state.Interval = s; }
    void applySendToFtp(bool p) override { log("sendToFtp", p); state.SendToFTPServer = p; }
    void applyFtpAddress(const QString& v) override { log("ftpAddress", v); state.URL = v; }
    void applyFtpPort(uint16_t v) override { log("ftpPort", v); state.Port = v; }
    void applyFtpUserName(const QString& v) override { log("ftpUser", v); state.Username = v; }
    void applyFtpPassword(const QString& v) override { log("ftpPassword", v); state.Password = v; }
    void applyFtpDirectory(const QString& v) override { log("ftpDirectory", v); state.Directory = v; }

    // The names of the calls, in order.
    QStringList callNames() const
    {
        QStringList names;
        for (const QString& c : calls)
            names << c.section(QLatin1Char('('), 0, 0);
        return names;
    }
    // The arguments of the first call with this name, or a null string.
    QString argsOf(const QString& name) const
    {
        for (const QString& c : calls) {
            if (c.section(QLatin1Char('('), 0, 0) == name)
                return c.section(QLatin1Char('('), 1).chopped(1);
        }
        return {};
    }
    bool called(const QString& name) const { return callNames().contains(name); }

private:
    static QString arg(const QString& v) { return v; }
    static QString arg(bool v) { return v ? QStringLiteral("1") : QStringLiteral("0"); }
    template <typename T>
    static QString arg(T v) { return QString::number(v); }

    template <typename... A>
    void log(const char* name, const A&... a)
    {
        QStringList parts{arg(a)...};
        calls << QLatin1String(name) + QLatin1Char('(') + parts.join(QLatin1Char(',')) + QLatin1Char(')');
    }
};
