#include "apptestenv.h"

#include "app/commandline.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace lv;

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("file");   // Run: the parameters file
        QTest::addColumn<QString>("output"); // the start of what is printed
        using A = CommandLine::Action;
        QTest::newRow("nothing") << QStringList() << int(A::Run) << "" << "";
        QTest::newRow("a file name") << QStringList{QStringLiteral("my.lvp")} << int(A::Run) << "my.lvp" << "";
        QTest::newRow("a name with blanks is one name")
            << QStringList{QStringLiteral("holiday"), QStringLiteral("2024.lvp")} << int(A::Run) << "holiday 2024.lvp"
            << "";
        QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << int(A::Help) << "" << "Usage: lumivark";
        QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << int(A::Help) << "" << "Usage: lumivark";
        QTest::newRow("--help after a name") << QStringList{QStringLiteral("x.lvp"), QStringLiteral("--help")}
                                             << int(A::Help) << "" << "Usage: lumivark";
        QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << int(A::Version) << ""
                                   << "lumivark 3.80";
        QTest::newRow("-v") << QStringList{QStringLiteral("-v")} << int(A::Version) << "" << "lumivark 3.80";
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--fullscreen")} << int(A::Refuse) << ""
                                        << "lumivark: unknown option '--fullscreen'";
        QTest::newRow("unknown option after a name")
            << QStringList{QStringLiteral("x.lvp"), QStringLiteral("-q")} << int(A::Refuse) << ""
            << "lumivark: unknown option '-q'";
        QTest::newRow("an existing file that begins with a dash") << QStringList{QStringLiteral("@dash")} << int(A::Run)
                                                                  << "@dash" << "";
    }
    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(int, action);
        QFETCH(QString, file);
        QFETCH(QString, output);
        QTemporaryDir dir;
        if (args == QStringList{QStringLiteral("@dash")}) {
            const QString dashed = dir.filePath(QStringLiteral("-odd name.lvp"));
            QFile f(dashed);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            args = dashed.split(QLatin1Char(' '));
            file = dashed;
        }
        const CommandLine c = parseCommandLine(args);
        QCOMPARE(int(c.action), action);
        QCOMPARE(c.parametersFile, file);
        if (output.isEmpty())
            QCOMPARE(c.output, QString());
        else
            QVERIFY2(c.output.startsWith(output), qPrintable(c.output));
        QCOMPARE(c.exitCode, action == int(CommandLine::Action::Refuse) ? 2 : 0);
    }

    // The program itself, as a user at a terminal meets it.
    void program_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("display"); // false: no window system at all
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("--help needs no display") << QStringList{QStringLiteral("--help")} << false << 0
                                                 << "Usage: lumivark [PARAMETERS-FILE]\n" << "";
        QTest::newRow("--version needs no display") << QStringList{QStringLiteral("--version")} << false << 0
                                                    << "lumivark 3.80" << "";
        QTest::newRow("unknown option is refused on stderr")
            << QStringList{QStringLiteral("--bogus")} << true << 2 << ""
            << "lumivark: unknown option '--bogus'\nTry 'lumivark --help' for more information.\n";
    }
    void program()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, display);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        AppTestEnv env;
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        if (display) {
            e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        } else {
            e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            e.remove(QStringLiteral("DISPLAY"));
            e.remove(QStringLiteral("WAYLAND_DISPLAY"));
        }
        p.setProcessEnvironment(e);
        p.start(QStringLiteral(LUMIVARK_PROGRAM), args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), exitCode);
        const QString stdOut = QString::fromLocal8Bit(p.readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(p.readAllStandardError());
        if (out.isEmpty())
            QCOMPARE(stdOut, QString());
        else
            QVERIFY2(stdOut.startsWith(out), qPrintable(stdOut));
        QCOMPARE(stdErr, err);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
