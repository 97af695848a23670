#include "app/panels/stamppanel.h"
#include "app/keyedtoolbar.h"
#include "app/panels/panelparts.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLineEdit>

namespace lv {

using namespace panelparts;

namespace {
const QStringList kPositions = {QStringLiteral("Top Left"),    QStringLiteral("Top Right"),
                                QStringLiteral("Top Center"),  QStringLiteral("Bottom Left"),
                                QStringLiteral("Bottom Right"), QStringLiteral("Bottom Center")};
} // namespace

StampPanel::StampPanel(CaptureModel& model, bool series, QWidget* band, QBoxLayout* row, const QString& prefix,
                       const QString& toolbarName)
    : QObject(band)
    , m_model(model)
    , m_series(series)
{
    m_toolbar = new KeyedToolBar(toolbarName, band);
    m_toolbar->addButton(QStringLiteral("time"), QStringLiteral("Insert Time"), {}, true);
    m_toolbar->addButton(QStringLiteral("timecolor"), QStringLiteral("Time Color"));
    m_toolbar->addButton(QStringLiteral("date"), QStringLiteral("Insert Date"), {}, true);
    m_toolbar->addButton(QStringLiteral("datecolor"), QStringLiteral("Date Color"));
    m_toolbar->addButton(QStringLiteral("text"), QStringLiteral("Insert Text"), {}, true);
    m_toolbar->addButton(QStringLiteral("textcolor"), QStringLiteral("Text Color"));
    row->addWidget(m_toolbar);
    m_timeColor = new ColorSwatch(prefix + QStringLiteral("TimeColor"), band);
    m_timePosition = list(prefix + QStringLiteral("TimePosition"), kPositions, band);
    m_dateColor = new ColorSwatch(prefix + QStringLiteral("DateColor"), band);
    m_datePosition = list(prefix + QStringLiteral("DatePosition"), kPositions, band);
    m_textColor = new ColorSwatch(prefix + QStringLiteral("TextColor"), band);
    m_textPosition = list(prefix + QStringLiteral("TextPosition"), kPositions, band);
    m_text = new QLineEdit(band);
    m_text->setObjectName(prefix + QStringLiteral("Text"));
    m_text->setAccessibleName(QStringLiteral("Text"));
    m_timePosition->setAccessibleName(QStringLiteral("Time position"));
    m_datePosition->setAccessibleName(QStringLiteral("Date position"));
    m_textPosition->setAccessibleName(QStringLiteral("Text position"));
    m_text->setToolTip(QStringLiteral("Use &DATE = Current date , &TIME = Current Time, &FRM& = Image Number"));
    for (QWidget* w : std::initializer_list<QWidget*>{m_timeColor, m_timePosition, m_dateColor, m_datePosition,
                                                      m_textColor, m_textPosition})
        row->addWidget(w);
    row->addWidget(m_text, 1);
    // Both panels' colour buttons act on the shared stamp colours.
    connect(m_toolbar, &KeyedToolBar::buttonClicked, this, [this](const QString& key) {
        if (key == QLatin1String("timecolor"))
            emit colorRequested(0);
        else if (key == QLatin1String("datecolor"))
            emit colorRequested(1);
        else if (key == QLatin1String("textcolor"))
            emit colorRequested(2);
    });

    m_binding = std::make_unique<PanelBinding>(
        m_model, this,
        PanelBinding::Fields{[this](CaptureSettings& c) { read(c); }, [this](const CaptureSettings& c) { show(c); },
                             [series](const CaptureSettings& a, const CaptureSettings& b) {
                                 return series ? a.SeriesStamps == b.SeriesStamps : a.ImageStamps == b.ImageStamps;
                             }});
    for (QComboBox* c : {m_timePosition, m_datePosition, m_textPosition})
        m_binding->pullOn(c, qOverload<int>(&QComboBox::currentIndexChanged));
    m_binding->pullOn(m_text, &QLineEdit::textChanged);
    for (const char* key : {"time", "date", "text"})
        m_binding->pullOn(m_toolbar->button(QString::fromLatin1(key)), &QAction::toggled);
}

StampPanel::~StampPanel() = default;

void StampPanel::read(CaptureSettings& c) const
{
    PanelStamps& st = m_series ? c.SeriesStamps : c.ImageStamps;
    st.InsertTime = m_toolbar->isPressed(QStringLiteral("time"));
    st.InsertDate = m_toolbar->isPressed(QStringLiteral("date"));
    st.InsertText = m_toolbar->isPressed(QStringLiteral("text"));
    st.TimePosition = static_cast<int16_t>(m_timePosition->currentIndex());
    st.DatePosition = static_cast<int16_t>(m_datePosition->currentIndex());
    st.TextPosition = static_cast<int16_t>(m_textPosition->currentIndex());
    st.Text = m_text->text();
}

void StampPanel::show(const CaptureSettings& c)
{
    const PanelStamps& st = m_series ? c.SeriesStamps : c.ImageStamps;
    showPressed(m_toolbar, QStringLiteral("time"), st.InsertTime);
    showPressed(m_toolbar, QStringLiteral("date"), st.InsertDate);
    showPressed(m_toolbar, QStringLiteral("text"), st.InsertText);
    showIndex(m_timePosition, st.TimePosition);
    showIndex(m_datePosition, st.DatePosition);
    showIndex(m_textPosition, st.TextPosition);
    if (m_text->text() != st.Text)
        m_text->setText(st.Text);
}

void StampPanel::setStampsEnabled(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_toolbar, m_timePosition, m_datePosition, m_textPosition, m_text})
        w->setEnabled(enabled);
}

void StampPanel::setToolbarEnabled(bool enabled) { m_toolbar->setEnabled(enabled); }

void StampPanel::refreshSwatches()
{
    m_timeColor->setPackedColor(m_model.settings().TimeColor);
    m_dateColor->setPackedColor(m_model.settings().DateColor);
    m_textColor->setPackedColor(m_model.settings().TextColor);
}

void StampPanel::resetPositions()
{
    for (QComboBox* c : {m_timePosition, m_datePosition, m_textPosition})
        c->setCurrentIndex(0);
}

void StampPanel::setPositionIcon(int which, const QIcon& icon)
{
    QComboBox* list = which == 0 ? m_timePosition : which == 1 ? m_datePosition : m_textPosition;
    for (int i = 0; i < list->count(); ++i)
        list->setItemIcon(i, icon);
}

} // namespace lv
