#include "base/ui/qtdialogs.h"
#include "base/scripteddialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace lv;

namespace {
const QString kImages = QStringLiteral("Bitmap File (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|");
}

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void extensionOfTheChosenFilter_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bitmap") << "/p/snap" << kImages << 0 << "/p/snap.bmp";
        QTest::newRow("JPEG") << "/p/snap" << kImages << 1 << "/p/snap.jpg";
        QTest::newRow("own extension kept") << "/p/snap.png" << kImages << 0 << "/p/snap.png";
        QTest::newRow("dot in a folder name only") << "/p.d/snap" << kImages << 1 << "/p.d/snap.jpg";
        QTest::newRow("trailing dot") << "/p/snap." << kImages << 0 << "/p/snap.bmp";
        QTest::newRow("hidden file") << "/p/.snap" << kImages << 0 << "/p/.snap.bmp";
        QTest::newRow("first pattern of several") << "/p/garden"
                                                  << "All files |*.lvp;*.bmp|" << 0 << "/p/garden.lvp";
        QTest::newRow("upper-case pattern") << "/p/cam" << "Bitmap Image File (*.BMP)|*.BMP" << 0 << "/p/cam.BMP";
        QTest::newRow("filter without an extension") << "/p/cam" << "Anything|*.*|" << 0 << "/p/cam";
        QTest::newRow("no such filter") << "/p/cam" << kImages << 5 << "/p/cam";
        QTest::newRow("cancelled stays empty") << "" << kImages << 0 << "";
    }
    void extensionOfTheChosenFilter()
    {
        QFETCH(QString, name);
        QFETCH(QString, filter);
        QFETCH(int, index);
        QFETCH(QString, expected);
        QCOMPARE(withFilterExtension(name, filter, index), expected);

        // The scripted dialogs answer as the real one does.
        ScriptedDialogs scripted;
        scripted.fileAnswers.enqueue(name);
        scripted.filterAnswers.enqueue(index);
        Dialogs& asked = scripted;
        QCOMPARE(asked.saveFile(QStringLiteral("Save"), filter), expected);
    }

    // The real save dialog, as a user fills it in.
    void realSaveDialogAddsTheChosenExtension_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bitmap filter") << "snap" << 0 << "snap.bmp";
        QTest::newRow("JPEG filter") << "snap" << 1 << "snap.jpg";
        QTest::newRow("own extension") << "snap.bmp" << 1 << "snap.bmp";
    }
    void realSaveDialogAddsTheChosenExtension()
    {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        bool seen = false;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            poll.stop();
            seen = true;
            dlg->setDirectory(dir.path());
            // Choose the filter in the dialog's own list, so its signal runs as for a click.
            auto* types = dlg->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            if (types) {
                types->setCurrentIndex(filter);
                emit types->activated(filter);
            } else {
                dlg->selectNameFilter(dlg->nameFilters().at(filter));
            }
            auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            edit->setText(typed);
            static_cast<QDialog*>(dlg)->accept(); // as the Save button does
        });
        poll.start();
        QtDialogs real;
        const QString name = real.saveFile(QStringLiteral("Save Image"), kImages, {}, nullptr);
        QVERIFY(seen);
        QCOMPARE(name, dir.filePath(expected));
    }

    // The name gets its extension before the dialog checks for an existing
    // file, so the replace question is asked about the file really written.
    void realSaveDialogAsksBeforeReplacingTheCompletedName()
    {
        QTemporaryDir dir;
        QFile existing(dir.filePath(QStringLiteral("snap.jpg")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("keep");
        existing.close();
        QString question;
        int step = 0;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal); box && step == 1) {
                question = box->text();
                box->button(QMessageBox::No)->click();
                step = 2;
            } else if (auto* dlg = qobject_cast<QFileDialog*>(modal)) {
                if (step == 0) {
                    dlg->setDirectory(dir.path());
                    auto* types = dlg->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                    QVERIFY(types);
                    types->setCurrentIndex(1);
                    emit types->activated(1);
                    dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("snap"));
                    step = 1;
                    // Queued: the replace question it opens must find this timer free to run.
                    QMetaObject::invokeMethod(dlg, "accept", Qt::QueuedConnection);
                } else if (step == 2) {
                    poll.stop();
                    dlg->reject(); // the user thinks again
                }
            }
        });
        poll.start();
        QtDialogs real;
        QCOMPARE(real.saveFile(QStringLiteral("Save Image"), kImages, {}, nullptr), QString());
        QVERIFY2(question.contains(QLatin1String("snap.jpg")), qPrintable(question));
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("keep"));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
