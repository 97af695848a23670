#include "tst_capturerig.h"

#include "schedule/ui/autostart.h"
#include "mainwindowparts.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>

using lv::test::part;

using namespace lv;
using namespace captest;

class TestCaptureAutostart : public QObject {
    Q_OBJECT

private slots:
    void countdownStartsTheCapture_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("series") << "multiple";
        QTest::newRow("movie") << "movie";
    }
    void countdownStartsTheCapture()
    {
        QFETCH(QString, mode);
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.bmp")));
        rig.fileName = out.filePath(QStringLiteral("cam.bmp"));
        if (mode == QLatin1String("multiple")) {
            rig.multiple(1);
        } else {
            rig.master->SelectMovieMode();
            rig.model.setFileName(out.filePath(QStringLiteral("auto.avi")));
            part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(false);
            part<QSpinBox>(rig.master, "MovieSecondsControl")->setValue(1);
        }
        emit rig.master->OperationBar->buttonClicked(QStringLiteral("autostart"));
        QPointer<Autostart> a = rig.ctl->autostart();
        QVERIFY(a);
        QVERIFY(a->isVisible());
        a->chor->setValue(0);
        a->cmin->setValue(0);
        a->csec->setValue(2);
        a->start->click();
        a->tcountdown.stop();
        a->countdownTick();
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        a->countdownTick();
        // The dispatcher closed the window and started the capture of the mode.
        QTRY_VERIFY(!a);
        QVERIFY(!rig.ctl->autostart());
        if (mode == QLatin1String("multiple")) {
            QCOMPARE(rig.recordImage(), QStringLiteral("stop"));
            QVERIFY(part<QPushButton>(rig.master, "Shooter")->isEnabled());
            QVERIFY(!rig.master->OperationBar->button(QStringLiteral("autostart"))->isEnabled());
            rig.master->RecordButtonClicked();
            QVERIFY(rig.master->OperationBar->button(QStringLiteral("autostart"))->isEnabled());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Stopped"), 10000);
            QVERIFY(probeInt(probeStream(rig.model.fileName(), QStringLiteral("video")), "nb_read_packets") > 0);
        }
    }
};

QTEST_MAIN(TestCaptureAutostart)
#include "tst_captureautostart.moc"
