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
    return c;
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
