#include "base/scripteddialogs.h"
#include "movie/ui/codecswindow.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace lv;

namespace {

QString shippedCatalogue()
{
    return qEnvironmentVariable("LUMIVARK_TEST_SOURCE_DIR") + QStringLiteral("/data/codec.lv");
}

} // namespace

// The "Installed Video Compressors" window shows the names the catalogue
// gives (tst_codeccatalogue tests the catalogue and the lookup itself).
class TestCodecsWindow : public QObject {
    Q_OBJECT

private slots:
    void window()
    {
        ScopedScriptedDialogs scripted;
        const QStringList list{QStringLiteral("[drivers32]"), QStringLiteral("VIDC.MJPG=lib (mjpeg)"),
                               QStringLiteral("VIDC.mjpg=lib (other)"), QStringLiteral("VIDC.FMP4=lib (mpeg4)")};
        Codecs w(list, ::shippedCatalogue());
        QCOMPARE(w.windowTitle(), QStringLiteral("Installed Video Compressors"));
        QVERIFY(scripted.d.requests.isEmpty());
        QTreeWidget* tree = w.tree();
        QCOMPARE(tree->topLevelItemCount(), 3);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Motion JPEG"));
        QCOMPARE(tree->topLevelItem(0)->child(1)->text(0), QStringLiteral("Signature: MJPG"));
        QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("Motion JPEG"));
        QCOMPARE(tree->topLevelItem(2)->text(0), QStringLiteral("MPEG-4 part 2"));
        QCOMPARE(tree->topLevelItem(2)->child(2)->text(0), QStringLiteral("File: lib (mpeg4)"));
        auto* exit = w.findChild<QPushButton*>(QStringLiteral("Command1"));
        QVERIFY(exit);
        QCOMPARE(exit->text(), QStringLiteral("Exit"));
    }

    // Without a catalogue every codec line shows C100 and the node stays unnamed.
    void windowWithoutCatalogue()
    {
        ScopedScriptedDialogs scripted;
        QTemporaryDir dir;
        Codecs w({QStringLiteral("[drivers32]"), QStringLiteral("VIDC.MJPG=a"), QStringLiteral("VIDC.MJPG=b")},
                 dir.filePath(QStringLiteral("codec.lv")));
        QCOMPARE(scripted.d.messages().size(), 2);
        QCOMPARE(w.tree()->topLevelItemCount(), 1);
        QCOMPARE(w.tree()->topLevelItem(0)->text(0), QString());
        QCOMPARE(w.tree()->topLevelItem(0)->childCount(), 6);
    }

    void menuNotice()
    {
        ScopedScriptedDialogs scripted;
        QTimer::singleShot(0, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* c = qobject_cast<Codecs*>(w))
                    c->accept();
        });
        showVideoCodecs(nullptr);
        QCOMPARE(scripted.d.messages().size(), 1);
        const QStringList lines = scripted.d.messages().first().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("This will browse all Compressors/Decompressors of all Multimedia formats"));
        QCOMPARE(lines[1], QStringLiteral("May not correspond to the CODECs for Video Capture."));
        QVERIFY(lines[2].contains(QLatin1String("FFmpeg")));
    }
};

QTEST_MAIN(TestCodecsWindow)
#include "tst_codecswindow.moc"
