// The main window's panels on their own, bound to a model: what the model
// holds shows in the controls, what a user edits reaches the model, and each
// panel minds its own fields only.
#include "apptestenv.h"

#include "app/keyedtoolbar.h"
#include "app/panels/moviepanel.h"
#include "app/panels/seriespanel.h"
#include "app/panels/stamppanel.h"
#include "mainwindowparts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

using lv::test::part;

using namespace lv;

namespace {

// The three bound panels in a window of their own, as the main window holds them.
struct Panels {
    CaptureModel model;
    QWidget host;
    MoviePanel* movie = nullptr;
    StampPanel* image = nullptr;
    SeriesPanel* series = nullptr;

    Panels()
    {
        auto* v = new QVBoxLayout(&host);
        movie = new MoviePanel(model, &host);
        auto* band = new QWidget(&host);
        image = new StampPanel(model, false, band, new QHBoxLayout(band), QStringLiteral("Image"),
                               QStringLiteral("ImageToolbar"));
        series = new SeriesPanel(model, &host);
        series->fillFrameRates(kSeriesMovieRates);
        for (QWidget* w : {static_cast<QWidget*>(movie), band, static_cast<QWidget*>(series)})
            v->addWidget(w);
    }
    // What a control shows: a label's or a line's text, a box's tick, a list's entry.
    QString shown(const char* name) const
    {
        QWidget* w = part<QWidget>(host, name);
        if (auto* l = qobject_cast<QLabel*>(w))
            return l->text();
        if (auto* e = qobject_cast<QLineEdit*>(w))
            return e->text();
        if (auto* c = qobject_cast<QCheckBox*>(w))
            return c->isChecked() ? QStringLiteral("ticked") : QStringLiteral("clear");
        if (auto* c = qobject_cast<QComboBox*>(w))
            return c->currentText();
        return QStringLiteral("?");
    }
};

} // namespace

class TestPanels : public QObject {
    Q_OBJECT
    AppTestEnv m_env;

private slots:
    // A change of the model (a parameters file, another window) shows in the
    // panel's controls, and what their handlers make of it goes back.
    void modelShows_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QVariant>("kept"); // the field once the controls have shown it
        QTest::newRow("interval of nought becomes one second")
            << "Interval" << QVariant(0) << "MultipleImageSecondsDisplay" << "01" << QVariant(1);
        QTest::newRow("duration in hours, minutes and seconds")
            << "DurationSeconds" << QVariant(3725) << "MovieMinutesDisplay" << "02" << QVariant(3725);
        QTest::newRow("29.97 frames a second")
            << "FrameRate" << QVariant(29.97) << "MovieFrameRateDisplay" << " 29.97 fps" << QVariant(29.97);
        QTest::newRow("a rate beyond the up-down stops at its end")
            << "FrameRate" << QVariant(90.0) << "MovieFrameRateDisplay" << " 40 fps" << QVariant(40.0);
        QTest::newRow("no limit") << "Limit" << QVariant(false) << "MovieDisableLimit" << "ticked" << QVariant(false);
        QTest::newRow("sample rate") << "AudioRate" << QVariant(44100) << "AudioRate" << "44100 Hz" << QVariant(44100);
        QTest::newRow("series stamp text") << "SeriesText" << QVariant(QStringLiteral("garden"))
                                           << "MultipleImageText" << "garden" << QVariant(QStringLiteral("garden"));
        QTest::newRow("single-image stamp text") << "ImageText" << QVariant(QStringLiteral("porch")) << "ImageText"
                                                 << "porch" << QVariant(QStringLiteral("porch"));
    }
    void modelShows()
    {
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        QFETCH(QString, control);
        QFETCH(QString, shown);
        QFETCH(QVariant, kept);
        Panels p;
        const CaptureSettings before = p.model.settings();
        auto fieldOf = [&field](CaptureSettings& c) -> QVariant {
            if (field == QLatin1String("Interval")) return c.Interval;
            if (field == QLatin1String("DurationSeconds")) return c.DurationSeconds;
            if (field == QLatin1String("FrameRate")) return c.FrameRate;
            if (field == QLatin1String("Limit")) return c.Limit;
            if (field == QLatin1String("AudioRate")) return c.AudioRate;
            if (field == QLatin1String("SeriesText")) return c.SeriesStamps.Text;
            return c.ImageStamps.Text;
        };
        p.model.edit([&](CaptureSettings& c) {
            if (field == QLatin1String("Interval")) c.Interval = value.toInt();
            else if (field == QLatin1String("DurationSeconds")) c.DurationSeconds = value.toInt();
            else if (field == QLatin1String("FrameRate")) c.FrameRate = value.toDouble();
            else if (field == QLatin1String("Limit")) c.Limit = value.toBool();
            else if (field == QLatin1String("AudioRate")) c.AudioRate = value.toInt();
            else if (field == QLatin1String("SeriesText")) c.SeriesStamps.Text = value.toString();
            else c.ImageStamps.Text = value.toString();
        });
        QCOMPARE(p.shown(control.toLatin1().constData()), shown);
        CaptureSettings now = p.model.settings();
        QCOMPARE(fieldOf(now), kept);
        // The other band's stamps are its own.
        if (field == QLatin1String("SeriesText"))
            QCOMPARE(now.ImageStamps, before.ImageStamps);
        if (field == QLatin1String("ImageText"))
            QCOMPARE(now.SeriesStamps, before.SeriesStamps);
    }

    // A user's edit of a control reaches the model's field of that panel.
    void editsReachModel()
    {
        Panels p;
        part<QComboBox>(p.host, "AudioRate")->setCurrentIndex(2);
        QCOMPARE(p.model.settings().AudioRate, 22050);
        part<KeyedToolBar>(p.host, "TriggerType")->button(QStringLiteral("timer"))->trigger();
        QCOMPARE(p.model.settings().Trigger, std::optional(TriggerKind::Timer));
        QVERIFY(!part<QWidget>(p.host, "MultipleImageSecondsControl")->isHidden());
        const PanelStamps series = p.model.settings().SeriesStamps;
        part<QComboBox>(p.host, "ImageTimePosition")->setCurrentIndex(4);
        QCOMPARE(p.model.settings().ImageStamps.TimePosition, int16_t(4));
        QCOMPARE(p.model.settings().SeriesStamps, series);
        p.movie->setFrameRate2997();
        QCOMPARE(p.model.settings().FrameRate, 29.97);
    }

    // Choosing a series file type renames the capture file while the list's own
    // handler runs: the model changes before it has the new type, and the list
    // keeps the user's choice rather than being set back to the model's old one.
    void controlsAheadOfModelStay()
    {
        Panels p;
        p.model.setFileName(QStringLiteral("/videos/garden.avi"));
        QString panelText;
        connect(p.series, &SeriesPanel::fileNameShown, &p.host, [&panelText](const QString& t) { panelText = t; });
        part<QComboBox>(p.host, "MultipleImageMode")->setCurrentIndex(2);
        QCOMPARE(part<QComboBox>(p.host, "MultipleImageMode")->currentIndex(), 2);
        QCOMPARE(p.model.settings().MultipleImageType, int16_t(2));
        QCOMPARE(p.model.fileName(), QStringLiteral("/videos/garden.JPG"));
        QCOMPARE(panelText, QStringLiteral("Filename: /videos/garden.JPG"));
        // Movie files keep the stamps off and the frame rate on.
        part<QComboBox>(p.host, "MultipleImageMode")->setCurrentIndex(0);
        QVERIFY(!part<QWidget>(p.host, "MultipleImageText")->isEnabled());
        QVERIFY(part<QWidget>(p.host, "MultipleImageFrameRate")->isEnabled());
    }
};

QTEST_MAIN(TestPanels)

#include "tst_panels.moc"
