#include "settings/ui/preferences.h"

#include "base/settingsstore.h"
#include "base/textnumber.h"
#include "settings/ui/windowdragger.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace lv {

namespace {

const QString kApp = QStringLiteral("LV");

QString storeText(const char* section, const char* key, const char* def)
{
    return settings::get(kApp, QLatin1String(section), QLatin1String(key), QLatin1String(def));
}

QCheckBox* checkBox(const QString& caption, const char* name, QWidget* parent)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

QSlider* slider(int minimum, int maximum, const char* name, QWidget* parent)
{
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(minimum, maximum);
    s->setTickPosition(QSlider::TicksBelow);
    return s;
}

QString flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

} // namespace

Preferences::Preferences(PreferenceValues& values, QWidget* parent)
    : QDialog(parent), m_values(values)
{
    setObjectName(QStringLiteral("Preferences"));
    setWindowTitle(QStringLiteral("Preferences"));

    auto* movie = new QGroupBox(QStringLiteral("Movie"), this);
    m_popUpViewer = checkBox(QStringLiteral("Pop-Up Movie Viewer after capture"), "PopUpViewer", movie);
    m_autoplay = checkBox(QStringLiteral("Autoplay  "), "Autoplay", movie);
    m_overwrite = checkBox(QStringLiteral("Pop-Up overwrite file question"), "OverwriteQuestion", movie);
    auto* movieLayout = new QVBoxLayout(movie);
    movieLayout->addWidget(m_popUpViewer);
    movieLayout->addWidget(m_autoplay);
    movieLayout->addWidget(m_overwrite);

    auto* general = new QGroupBox(QStringLiteral("General"), this);
    m_sounds = checkBox(QStringLiteral("Enable system sounds"), "ESounds", general);
    m_hangUp = checkBox(QStringLiteral("Hang Up when image upload is finished"), "HangUp", general);
    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(m_sounds);
    generalLayout->addWidget(m_hangUp);

    auto* jpeg = new QGroupBox(QStringLiteral("JPEG Compression"), this);
    m_jpeg = slider(1, 100, "JpegCompression", jpeg);
    m_jpeg->setTickInterval(10);
    auto* jpegEnds = new QHBoxLayout;
    auto* moreCompression = new QLabel(QStringLiteral("More Compression"), jpeg);
    auto* moreQuality = new QLabel(QStringLiteral("More Quality"), jpeg);
    jpegEnds->addWidget(moreCompression);
    jpegEnds->addStretch();
    jpegEnds->addWidget(moreQuality);
    auto* jpegLayout = new QVBoxLayout(jpeg);
    jpegLayout->addWidget(m_jpeg);
    jpegLayout->addLayout(jpegEnds);

    auto* motion = new QGroupBox(QStringLiteral("Motion Detection Sensitivity"), this);
    m_motion = slider(1, 15, "Motion", motion);
    m_motion->setTickInterval(1);
    auto* motionLayout = new QVBoxLayout(motion);
    motionLayout->addWidget(m_motion);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("ok"));
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(movie);
    layout->addWidget(general);
    layout->addWidget(jpeg);
    layout->addWidget(motion);
    layout->addWidget(buttons);

    new WindowDragger(this, {moreCompression, moreQuality});

    m_popUpViewer->setChecked(values.PopUpMovieViewer == QLatin1String("1"));
    m_sounds->setChecked(values.SystemSounds == QLatin1String("1"));
    m_autoplay->setChecked(values.Autoplay == QLatin1String("1"));
    // The quality pictures are written with now, not the store's default for an absent key.
    m_jpeg->setValue(values.JpegQuality);
    m_motion->setValue(readInt16(storeText("MD", "SENSE", "5")));
    m_overwrite->setChecked(readInt16(storeText("MD", "OQ", "1")) != 0);
    m_hangUp->setChecked(readInt16(storeText("NET", "HANGUP", "1")) != 0);
}

void Preferences::accept()
{
    m_values.PopUpMovieViewer = flag(m_popUpViewer->isChecked());
    m_values.Autoplay = flag(m_autoplay->isChecked());
    m_values.SystemSounds = flag(m_sounds->isChecked());

    settings::save(kApp, QStringLiteral("JPEG"), QStringLiteral("Compression"), QString::number(m_jpeg->value()));
    m_values.JpegQuality = m_jpeg->value();
    settings::save(kApp, QStringLiteral("MD"), QStringLiteral("SENSE"), QString::number(m_motion->value()));
    settings::save(kApp, QStringLiteral("MD"), QStringLiteral("OQ"), flag(m_overwrite->isChecked()));
    settings::save(kApp, QStringLiteral("NET"), QStringLiteral("HANGUP"), flag(m_hangUp->isChecked()));
    m_values.MotionSensitivity = static_cast<int16_t>(m_motion->value());
    QDialog::accept();
}

} // namespace lv
