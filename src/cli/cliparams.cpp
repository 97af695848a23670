#include "cli/cliparams.h"

#include "settings/capturesettings.h"
#include "settings/parameterfile.h"
#include "settings/parameterreader.h"
#include "settings/settingstarget.h"

#include <QFile>

namespace lv::cli {

PanelStamps panelOf(const StampSettings& st)
{
    PanelStamps p;
    p.InsertTime = st.timeOn;
    p.TimePosition = static_cast<int16_t>(st.timePosition);
    p.InsertDate = st.dateOn;
    p.DatePosition = static_cast<int16_t>(st.datePosition);
    p.InsertText = st.textOn;
    p.TextPosition = static_cast<int16_t>(st.textPosition);
    p.Text = st.text;
    return p;
}

namespace {

void takePanel(StampSettings& st, const PanelStamps& p, const CaptureSettings& c)
{
    st.timeOn = p.InsertTime;
    st.timePosition = p.TimePosition;
    st.dateOn = p.InsertDate;
    st.datePosition = p.DatePosition;
    st.textOn = p.InsertText;
    st.textPosition = p.TextPosition;
    st.text = p.Text;
    // The colours are shared by both panels.
    st.timeColor = c.TimeColor;
    st.dateColor = c.DateColor;
    st.textColor = c.TextColor;
}

// The command's settings as the parameters file holds them, so that keys a
// file lacks keep the command's own values.
CaptureSettings toCaptureSettings(const Settings& s)
{
    CaptureSettings c;
    c.Audio = s.audioOn;
    c.AudioChannels = s.audio.nChannels;
    c.AudioBits = s.audio.wBitsPerSample;
    c.AudioRate = static_cast<int32_t>(s.audio.nSamplesPerSec);
    c.FrameRate = s.frameRate;
    c.Limit = s.limit;
    c.DurationSeconds = s.durationSeconds;
    c.MovieAviInfo = s.movieInfo;
    c.Copyright = s.infoFields[0];
    c.Artist = s.infoFields[1];
    c.Subject = s.infoFields[2];
    c.Product = s.infoFields[3];
    c.Source = s.infoFields[4];
    c.Comments = s.infoFields[5];
    c.ImageStamps = panelOf(s.singleStamps);
    c.SeriesStamps = panelOf(s.seriesStamps);
    c.TimeColor = s.singleStamps.timeColor;
    c.DateColor = s.singleStamps.dateColor;
    c.TextColor = s.singleStamps.textColor;
    c.Trigger = s.trigger;
    c.Interval = s.interval;
    c.SendToFTPServer = s.sendToFtp;
    c.URL = s.ftp.server;
    c.Port = s.ftp.port;
    c.Username = s.ftp.userName;
    c.Password = s.ftp.password;
    c.Directory = s.ftp.directory;
    return c;
}

void takeCaptureSettings(Settings& s, const CaptureSettings& c)
{
    s.audioOn = c.Audio;
    s.audio.nChannels = static_cast<uint16_t>(c.AudioChannels);
    s.audio.wBitsPerSample = static_cast<uint16_t>(c.AudioBits);
    s.audio.nSamplesPerSec = static_cast<uint32_t>(c.AudioRate);
    s.frameRate = c.FrameRate;
    s.limit = c.Limit;
    s.durationSeconds = c.DurationSeconds;
    s.movieInfo = c.MovieAviInfo;
    s.infoFields = {c.Copyright, c.Artist, c.Subject, c.Product, c.Source, c.Comments};
    takePanel(s.singleStamps, c.ImageStamps, c);
    takePanel(s.seriesStamps, c.SeriesStamps, c);
    if (c.Trigger)
        s.trigger = *c.Trigger;
    s.interval = c.Interval;
    s.sendToFtp = c.SendToFTPServer;
    s.ftp.server = c.URL;
    s.ftp.port = static_cast<uint16_t>(c.Port);
    s.ftp.userName = c.Username;
    s.ftp.password = c.Password;
    s.ftp.directory = c.Directory;
}

} // namespace

FileResult readSettings(const QString& path, Settings* settings)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return FileResult::failure(QStringLiteral("cannot read %1: %2").arg(path, f.errorString()), MessageIcon::Error)
            .because(f.errorString());
    f.close();
    const CaptureSettings read = readCaptureSettings(path, ParameterFileKind::User, toCaptureSettings(*settings),
                                                     settings->parms, &settings->ignored);
    takeCaptureSettings(*settings, read);
    // The main window opens this device itself; the reader does not apply it.
    bool ok = false;
    const int device = GetParameter(path, QStringLiteral("Device Index"), QStringLiteral("0")).toInt(&ok);
    if (ok && device >= 0)
        settings->device = device;
    settings->fromFile = true;
    return {};
}

} // namespace lv::cli
