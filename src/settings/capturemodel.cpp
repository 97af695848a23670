#include "settings/capturemodel.h"

namespace lv {

CaptureModel::CaptureModel(QObject* parent)
    : QObject(parent)
{
}

void CaptureModel::edit(const std::function<void(CaptureSettings&)>& change)
{
    CaptureSettings next = m_settings;
    change(next);
    setSettings(next);
}

void CaptureModel::setSettings(const CaptureSettings& settings)
{
    if (settings == m_settings)
        return;
    m_settings = settings;
    emit settingsChanged();
}

CaptureSettings CaptureModel::forFile() const
{
    CaptureSettings c = m_settings;
    const bool series = c.Capture == CaptureKind::MultipleImage;
    const PanelStamps& p = stamps(series);
    c.InsertTime = p.InsertTime;
    c.TimePosition = p.TimePosition;
    c.InsertDate = p.InsertDate;
    c.DatePosition = p.DatePosition;
    c.InsertText = p.InsertText;
    c.TextPosition = p.TextPosition;
    c.Text = p.Text;
    c.AviInfo = series ? c.SeriesAviInfo : c.MovieAviInfo;
    const CaptureParms& d = m_parms;
    c.CaptureOperationBackground = d.fYield == 1;
    c.VideoBuffers = d.wNumVideoRequested;
    c.AudioBuffers = d.wNumAudioRequested;
    c.DOSBuffers = d.fUsingDOSMemory == 1;
    c.WriteCache = d.fDisableWriteCache != 1;
    c.MaxIndexSize = d.dwIndexSize;
    c.ChunkGranularity = d.wChunkGranularity;
    c.DropError = d.wPercentDropForError;
    return c;
}

void CaptureModel::setFileName(const QString& name)
{
    edit([&name](CaptureSettings& c) { c.Filename = name; });
}

std::array<QString, 6> CaptureModel::infoFields() const
{
    const CaptureSettings& c = m_settings;
    return {c.Copyright, c.Artist, c.Subject, c.Product, c.Source, c.Comments};
}

void CaptureModel::setInfoFields(const std::array<QString, 6>& f)
{
    edit([&f](CaptureSettings& c) {
        c.Copyright = f[0];
        c.Artist = f[1];
        c.Subject = f[2];
        c.Product = f[3];
        c.Source = f[4];
        c.Comments = f[5];
    });
}

void CaptureModel::setInfoField(int index, const QString& text)
{
    if (index < 0 || index >= 6)
        return;
    std::array<QString, 6> f = infoFields();
    f[static_cast<size_t>(index)] = text;
    setInfoFields(f);
}

bool CaptureModel::writesInfo() const
{
    // Either button asks for it, as either toolbar may be the one pressed.
    return m_settings.MovieAviInfo || m_settings.SeriesAviInfo;
}

void CaptureModel::setRunState(RunState state)
{
    if (state == m_runState)
        return;
    m_runState = state;
    emit runStateChanged(state);
}

bool CaptureModel::runningIn(CaptureKind mode) const
{
    switch (mode) {
    case CaptureKind::Movie: return m_runState == RunState::Recording || m_runState == RunState::MotionArmed;
    case CaptureKind::SingleImage: return m_runState == RunState::MotionArmed;
    case CaptureKind::MultipleImage:
        return m_runState == RunState::SeriesRunning || m_runState == RunState::MotionArmed;
    }
    return false;
}

void CaptureModel::setStatusText(const QString& text)
{
    if (text == m_statusText)
        return;
    m_statusText = text;
    emit statusChanged();
}

void CaptureModel::setCaptureTimeText(const QString& text)
{
    if (text == m_captureTime)
        return;
    m_captureTime = text;
    emit statusChanged();
}

void CaptureModel::setDropped(const QString& text, const QColor& color)
{
    if (text == m_droppedText && color == m_droppedColor)
        return;
    m_droppedText = text;
    m_droppedColor = color;
    emit statusChanged();
}

bool CaptureModel::expireStatus()
{
    const QColor white(255, 255, 255);
    bool expired = false;
    if (m_statusColor != white) {
        m_statusText.clear();
        expired = true;
    }
    // The colour stays with the display, as a label keeps its palette.
    if (m_droppedColor != white) {
        m_droppedText.clear();
        expired = true;
    }
    if (expired)
        emit statusChanged();
    return expired;
}

} // namespace lv
