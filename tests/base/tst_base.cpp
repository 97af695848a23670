#include "base/command.h"
#include "base/dialogs.h"
#include "base/diskspace.h"
#include "base/programdirectory.h"
#include "base/scripteddialogs.h"
#include "base/settingsstore.h"
#include "base/textnumber.h"

#include <QTemporaryDir>
#include <QTest>

using namespace lv;

class TestBase : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "42" << 42.0;
        QTest::newRow("digits then letters") << "12abc" << 12.0;
        QTest::newRow("not a number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("blanks before") << "  7" << 7.0;
        QTest::newRow("negative") << "-3" << -3.0;
        QTest::newRow("fraction") << "29.97 fps" << 29.97;
        QTest::newRow("comma is not a decimal point") << "29,97" << 29.0;
        QTest::newRow("lone sign") << "-" << 0.0;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(lv::leadingNumber(text), value);
    }

    void roundingAndClamping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("int16");
        QTest::newRow("half to even down") << "2.5" << 2;
        QTest::newRow("half to even up") << "3.5" << 4;
        QTest::newRow("beyond 16 bits") << "99999999" << 32767;
        QTest::newRow("far below") << "-99999999" << -32768;
        QTest::newRow("absurdly long") << QString(400, QLatin1Char('9')) << 32767;
    }
    void roundingAndClamping()
    {
        QFETCH(QString, text);
        QFETCH(int, int16);
        QCOMPARE(int(readInt16(text)), int16);
    }

    void trailingSlash_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("without") << "/home/u/lv" << "/home/u/lv/";
        QTest::newRow("already ends in slash") << "/" << "/";
        QTest::newRow("folder with slash") << "/tmp/x/" << "/tmp/x/";
    }
    void trailingSlash()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(withTrailingSlash(in), out);
    }

    void programDirectoryFromEnvironment()
    {
        const QString dir = m_home.filePath(QStringLiteral("prog"));
        qputenv("LUMIVARK_HOME", dir.toLocal8Bit());
        QCOMPARE(programDirectory(), dir + QLatin1Char('/'));
        QVERIFY(QFileInfo(dir).isDir());
        qputenv("LUMIVARK_HOME", (dir + QLatin1Char('/')).toLocal8Bit());
        QCOMPARE(programDirectory(), dir + QLatin1Char('/'));
        qunsetenv("LUMIVARK_HOME");
    }

    // Each command has its own name, and the name leads back to it: the toolbar
    // mapping and the pictures find commands by name.
    void commandNamesAreDistinct()
    {
        QSet<QString> seen;
        for (int i = 0; i < kCommandCount; ++i) {
            const auto c = static_cast<Command>(i);
            const QString name = commandName(c);
            QVERIFY2(!name.isEmpty(), qPrintable(QString::number(i)));
            QVERIFY2(!seen.contains(name), qPrintable(name));
            seen.insert(name);
            QCOMPARE(commandFromName(name), std::optional<Command>(c));
        }
        QCOMPARE(commandFromName(u"no-such-command"), std::nullopt);
        QCOMPARE(commandFromName(u""), std::nullopt);
    }

    void settingsStoreDefaultsAndRoundTrip()
    {
        QCOMPARE(settings::get(QStringLiteral("LV"), QStringLiteral("MD"), QStringLiteral("SENSE"), QStringLiteral("5")),
                 QStringLiteral("5"));
        settings::save(QStringLiteral("LV"), QStringLiteral("MD"), QStringLiteral("SENSE"), QStringLiteral("abc"));
        QCOMPARE(readInt16(settings::get(QStringLiteral("LV"), QStringLiteral("MD"), QStringLiteral("SENSE"), QStringLiteral("5"))), 0);
        QVERIFY(QFileInfo::exists(settings::storeDirectory() + QStringLiteral("/LV.ini")));
        // Each application name is its own file.
        settings::save(QStringLiteral("VLUMIVARK"), QStringLiteral("ADV"), QStringLiteral("YIELD"), QStringLiteral("0"));
        QVERIFY(QFileInfo::exists(settings::storeDirectory() + QStringLiteral("/VLUMIVARK.ini")));
    }

    void freeSpaceOfMissingFileUsesItsFolder()
    {
        const int64_t folder = freeDiskSpace(m_home.path());
        QVERIFY(folder > 0);
        const int64_t missing = freeDiskSpace(m_home.filePath(QStringLiteral("no/such/dir/movie.avi")));
        QVERIFY(missing > 0);
    }

    void pipeFilters_data()
    {
        QTest::addColumn<QString>("pipe");
        QTest::addColumn<QString>("qt");
        QTest::newRow("one") << "Movie File (*.avi)|*.avi|" << "Movie File (*.avi)";
        QTest::newRow("several patterns") << "All files |*.lvp;*.bmp|Lumivark Parameters (*.lvp)|*.lvp|"
                                          << "All files (*.lvp *.bmp);;Lumivark Parameters (*.lvp)";
        QTest::newRow("pattern differs from name") << "Bitmap Image File (*.BMP)|*.BMP" << "Bitmap Image File (*.BMP)";
    }
    void pipeFilters()
    {
        QFETCH(QString, pipe);
        QFETCH(QString, qt);
        QCOMPARE(qtFilterFromPipeFilter(pipe), qt);
    }

private:
    QTemporaryDir m_home;

    // Without windows nobody answers: the default dialogs log the message,
    // say no or cancel, and choose nothing, until a program installs its own.
    void defaultDialogsLogUntilInstalled_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("answer");
        QTest::newRow("ok") << int(Dialogs::Buttons::Ok) << int(Dialogs::Answer::Ok);
        QTest::newRow("yes/no") << int(Dialogs::Buttons::YesNo) << int(Dialogs::Answer::No);
        QTest::newRow("ok/cancel") << int(Dialogs::Buttons::OkCancel) << int(Dialogs::Answer::Cancel);
        QTest::newRow("save/discard/cancel") << int(Dialogs::Buttons::SaveDiscardCancel) << int(Dialogs::Answer::Cancel);
    }
    void defaultDialogsLogUntilInstalled()
    {
        QFETCH(int, buttons);
        QFETCH(int, answer);
        QTest::ignoreMessage(QtWarningMsg, "Disk full");
        QCOMPARE(int(dialogs().message(QStringLiteral("Disk full"), Dialogs::Icon::Error, Dialogs::Buttons(buttons))),
                 answer);
        QCOMPARE(dialogs().openFile(QStringLiteral("Open"), QStringLiteral("All|*|")), QString());
        QCOMPARE(dialogs().saveFile(QStringLiteral("Save"), QStringLiteral("All|*|")), QString());
        QVERIFY(!dialogs().chooseColor(Qt::red));

        // The program's own dialogs replace the log; a test's replace those
        // for a while and give them back.
        ScriptedDialogs program;
        setDefaultDialogs(&program);
        {
            ScopedScriptedDialogs test;
            dialogs().message(QStringLiteral("to the test"), Dialogs::Icon::Information);
            QCOMPARE(test.d.messages(), QStringList{QStringLiteral("to the test")});
        }
        dialogs().message(QStringLiteral("to the program"), Dialogs::Icon::Information);
        QCOMPARE(program.messages(), QStringList{QStringLiteral("to the program")});
        setDefaultDialogs(nullptr);
        QTest::ignoreMessage(QtWarningMsg, "logged again");
        dialogs().message(QStringLiteral("logged again"), Dialogs::Icon::Warning);
        QCOMPARE(program.messages().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestBase)
#include "tst_base.moc"
