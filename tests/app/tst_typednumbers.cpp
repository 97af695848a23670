// Duration and interval numbers take typing as well as their arrows.
#include "apptestenv.h"

#include "app/mainwindow.h"
#include "schedule/ui/autostart.h"
#include "mainwindowparts.h"

#include <QApplication>
#include <QLabel>
#include <QSpinBox>
#include <QTest>

using lv::test::part;

using namespace lv;

class TestTypedNumbers : public QObject {
    Q_OBJECT

private slots:
    void typing_data()
    {
        QTest::addColumn<QString>("field"); // the display's name; its control is named alike
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("movie minutes") << "MovieMinutes" << "45" << 45 << "45";
        QTest::newRow("movie seconds, one digit") << "MovieSeconds" << "7" << 7 << "07";
        QTest::newRow("movie hours") << "MovieHours" << "2" << 2 << "02";
        QTest::newRow("series hours") << "MultipleImageHours" << "12" << 12 << "12";
        QTest::newRow("series seconds") << "MultipleImageSeconds" << "59" << 59 << "59";
        QTest::newRow("beyond the range stops at the last good digit") << "MovieMinutes" << "75" << 7 << "07";
        QTest::newRow("letters are refused") << "MovieMinutes" << "x" << 0 << "00";
        QTest::newRow("backspace then digits") << "MovieSeconds" << "\b" "12" << 12 << "12";
    }
    void typing()
    {
        QFETCH(QString, field);
        QFETCH(QString, keys);
        QFETCH(int, value);
        QFETCH(QString, shown);
        AppTestEnv env;
        CaptureModel model;
        RunRecord run;
        MainWindow m(model, run);
        m.SelectMultipleMode();
        emit part<lv::KeyedToolBar>(m, "TriggerType")->buttonClicked(QStringLiteral("timer")); // shows the interval
        if (field.startsWith(QLatin1String("Movie")))
            m.SelectMovieMode();
        m.show();
        m.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m));
        auto* display = m.findChild<QLabel*>(field + QStringLiteral("Display"));
        auto* control = m.findChild<QSpinBox*>(field + QStringLiteral("Control"));
        QVERIFY(display && control);
        QVERIFY(display->isVisible());
        // The movie's seconds start at 30, the series' at 10; the others at 0.
        const int before = control->value();

        QTest::mouseClick(display, Qt::LeftButton);
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus == control || focus->parentWidget() == control);
        for (const QChar c : keys) {
            if (c == QLatin1Char('\b'))
                QTest::keyClick(focus, Qt::Key_Backspace);
            else
                QTest::keyClicks(focus, QString(c));
        }
        if (keys == QLatin1String("x")) {
            QCOMPARE(control->value(), before);
            return;
        }
        QCOMPARE(control->value(), value);
        QCOMPARE(display->text(), shown);
        // The arrows still work on the typed number.
        QTest::keyClick(focus, Qt::Key_Up);
        QCOMPARE(control->value(), std::min(control->maximum(), value + 1));
    }

    // The countdown of the scheduled start: its fields are spin boxes of their own.
    void countdown_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("shown");
        QTest::newRow("hours") << "chor" << "dhor" << "7" << "07";
        QTest::newRow("minutes") << "cmin" << "dmin" << "45" << "45";
        QTest::newRow("seconds beyond the range") << "csec" << "dsec" << "61" << "06";
    }
    void countdown()
    {
        QFETCH(QString, field);
        QFETCH(QString, display);
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        AppTestEnv env;
        CaptureModel model;
        Autostart a(model);
        a.show();
        auto* control = a.findChild<QSpinBox*>(field);
        auto* label = a.findChild<QLabel*>(display);
        QVERIFY(control && label);
        control->selectAll();
        QTest::keyClicks(control, keys);
        QCOMPARE(label->text(), shown);
    }
};

QTEST_MAIN(TestTypedNumbers)
#include "tst_typednumbers.moc"
