#include "base/scripteddialogs.h"
#include "image/bitmapfile.h"
#include "image/ui/imageeditor.h"
#include "image/ui/seriesviewer.h"
#include "image/ui/printtarget.h"
#include "image/stamping.h"
#include "imagetesttools.h"

#include <QBuffer>
#include <QtEndian>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPrinter>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

using namespace lv;

namespace {

QAction* action(QObject* owner, const char* key)
{
    return owner->findChild<QAction*>(QString::fromLatin1(key));
}

QString makeBitmapWithImageMagick(const QTemporaryDir& dir, const QImage& picture, const QString& format)
{
    const QString ppm = dir.filePath(QStringLiteral("src.ppm"));
    picture.save(ppm, "PPM");
    const QString out = dir.filePath(QStringLiteral("made-by-im.bmp"));
    QStringList args{ppm};
    if (format == QLatin1String("bmp4"))
        args << QStringLiteral("-alpha") << QStringLiteral("set");
    else
        args << QStringLiteral("-type") << QStringLiteral("truecolor");
    args << QStringLiteral("-define") << QStringLiteral("bmp:format=") + format << out;
    return lvtest::runTool(QStringLiteral("convert"), args).exitCode == 0 ? out : QString();
}

} // namespace

class TestImageEditor : public QObject {
    Q_OBJECT

private slots:
    void toolbarAndMenuKeys();
    void openFunctionLoadsPeersPictures_data();
    void openFunctionLoadsPeersPictures();
    void openFunctionRefusesBadFile_data();
    void openFunctionRefusesBadFile();
    void toolbarOpenAndSaveUseFiltersAndCaption();
    void savesByEnding_data();
    void savesByEnding();
    void saveFailureShowsTheLayersMessage_data();
    void saveFailureShowsTheLayersMessage();
    void effectsReportProgressAccumulateAndReset();
    void clipboardHoldsDrawnPicture();
    void printsPictureIntoPdf();
    void editorLayout_data();
    void editorLayout();
    void multiImageLayoutAndStamp();
};

void TestImageEditor::toolbarAndMenuKeys()
{
    ImageEditor editor;
    QCOMPARE(editor.toolbar()->objectName(), QStringLiteral("Mastertoolbar"));
    QStringList keys, tips;
    for (QAction* a : editor.toolbar()->actions()) {
        keys << a->objectName();
        tips << a->toolTip();
    }
    QCOMPARE(keys, (QStringList{QStringLiteral("open"), QStringLiteral("save"), QStringLiteral("effects"),
                                QStringLiteral("clipboard"), QStringLiteral("print")}));
    QCOMPARE(tips, (QStringList{QStringLiteral("Open Image File"), QStringLiteral("Save Image"),
                                QStringLiteral("Image Effects"), QStringLiteral("Put on Clipboard"),
                                QStringLiteral("Print Image")}));
    QStringList menu;
    for (QAction* a : editor.effectsMenu()->actions())
        menu << a->objectName() + QLatin1Char('=') + a->text();
    QCOMPARE(menu, (QStringList{
        QStringLiteral("flip=Flip Horizontal"), QStringLiteral("mirror=Flip Vertical"), QStringLiteral("greyscale=Greyscale"),
        QStringLiteral("negative=Negative Image"), QStringLiteral("soften=Soften"), QStringLiteral("sharpen=Sharpen"),
        QStringLiteral("diffuse=Diffuse"), QStringLiteral("emboss=Emboss"), QStringLiteral("lighting=Lighting Effect"),
        QStringLiteral("solarize=Solarize"), QStringLiteral("reset=Reset Image")}));
}

void TestImageEditor::openFunctionLoadsPeersPictures_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("24-bit bitmap by ImageMagick") << "bmp3";
    QTest::newRow("32-bit bitmap by ImageMagick") << "bmp4";
    QTest::newRow("24-bit bitmap by us") << "ours";
    QTest::newRow("JPEG by cjpeg") << "jpg";
}

void TestImageEditor::openFunctionLoadsPeersPictures()
{
    QFETCH(QString, format);
    QTemporaryDir dir;
    const QImage picture = format == QLatin1String("jpg") ? lvtest::blockImage(96, 48) : lvtest::patternImage(37, 21);
    QString path;
    if (format == QLatin1String("ours")) {
        path = dir.filePath(QStringLiteral("ours.bmp"));
        QVERIFY(SavePictureAsBitmap(picture, path));
        const auto id = lvtest::runTool(QStringLiteral("identify"), {QStringLiteral("-format"), QStringLiteral("%m %w %h %z"), path});
        QCOMPARE(QString::fromLatin1(id.out), QStringLiteral("BMP3 37 21 8"));
    } else if (format == QLatin1String("jpg")) {
        const QString ppm = dir.filePath(QStringLiteral("src.ppm"));
        picture.save(ppm, "PPM");
        path = dir.filePath(QStringLiteral("peer.jpg"));
        QCOMPARE(lvtest::runTool(QStringLiteral("cjpeg"), {QStringLiteral("-outfile"), path, ppm}).exitCode, 0);
    } else {
        path = makeBitmapWithImageMagick(dir, picture, format);
        QVERIFY(!path.isEmpty());
    }

    ScopedScriptedDialogs scripted;
    std::unique_ptr<ImageEditor> editor(OpenPictureInEditor(path));
    QVERIFY(scripted.d.requests.isEmpty());
    QVERIFY(!editor->isVisible());
    QCOMPARE(editor->windowTitle(), QFileInfo(path).fileName());
    QCOMPARE(editor->MasterImage().size(), picture.size());
    if (format == QLatin1String("jpg"))
        QVERIFY(lvtest::meanAbsDifference(editor->MasterImage().drawnImage(), picture) < 6);
    else
        QCOMPARE(editor->MasterImage().drawnImage(), picture);
}

void TestImageEditor::openFunctionRefusesBadFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    const QString bad = QStringLiteral("Bad file format.");
    QTest::newRow("text named .bmp") << "broken.bmp" << QByteArray("not a picture\n") << bad;
    QTest::newRow("truncated bitmap") << "broken.bmp" << QByteArray("BM\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28", 15)
                                      << bad;
    QTest::newRow("empty") << "broken.bmp" << QByteArray() << bad;
    // Whole headers, but only 6 bytes of the pixels they promise.
    QByteArray cut;
    {
        QBuffer b(&cut);
        b.open(QIODevice::WriteOnly);
        lvtest::patternImage(8, 8).save(&b, "BMP");
    }
    cut.truncate(qFromLittleEndian<quint32>(cut.constData() + 10) + 6);
    QTest::newRow("pixels cut short") << "cut.bmp" << cut << bad;
    // The name says the format: a picture of another kind under it is not opened.
    QByteArray png;
    {
        QBuffer b(&png);
        b.open(QIODevice::WriteOnly);
        lvtest::patternImage(8, 8).save(&b, "PNG");
    }
    QTest::newRow("PNG named .bmp") << "png.bmp" << png << bad;
    QTest::newRow("PNG named .jpg") << "png.jpg" << png << bad;
    // A small file that would decode into 5600 x 5600 pixels.
    QByteArray huge(54, '\0');
    auto put32 = [&huge](int at, quint32 v) { qToLittleEndian(v, huge.data() + at); };
    huge[0] = 'B';
    huge[1] = 'M';
    put32(2, 54 + 5600u * 16800u);
    put32(10, 54);
    put32(14, 40);
    put32(18, 5600);
    put32(22, 5600);
    qToLittleEndian<quint16>(1, huge.data() + 26);
    qToLittleEndian<quint16>(24, huge.data() + 28);
    huge += QByteArray(10000, '\x7f');
    QTest::newRow("5600 x 5600 bitmap") << "huge.bmp" << huge
                                        << "The picture is too large to open: 5600 x 5600 pixels (at most 25 million).";
}

void TestImageEditor::openFunctionRefusesBadFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();

    ScopedScriptedDialogs scripted;
    std::unique_ptr<ImageEditor> editor(OpenPictureInEditor(path));
    QCOMPARE(scripted.d.messages(), QStringList{message});
    QCOMPARE(scripted.d.requests.first().icon, Dialogs::Icon::Error);
    const QString caption = scripted.d.requests.first().caption; // the program's title
    QVERIFY(caption.isEmpty() || caption == QStringLiteral("Video Lumivark 2000"));
    // No empty editor is left behind.
    QVERIFY(!editor);

    // An editor that holds a picture keeps it when another cannot be opened.
    ImageEditor shown;
    shown.setNewFrame(lvtest::patternImage(11, 7));
    shown.setWindowTitle(QStringLiteral("kept"));
    QVERIFY(!shown.loadPictureFile(path));
    QCOMPARE(shown.MasterImage().size(), QSize(11, 7));
    QCOMPARE(shown.windowTitle(), QStringLiteral("kept"));
}

void TestImageEditor::toolbarOpenAndSaveUseFiltersAndCaption()
{
    QTemporaryDir dir;
    const QString bmp = dir.filePath(QStringLiteral("in.bmp"));
    QVERIFY(SavePictureAsBitmap(lvtest::patternImage(30, 20), bmp));
    ScopedScriptedDialogs scripted;
    ImageEditor editor;
    editor.ProgressMessage(QStringLiteral("old text"));

    scripted.d.fileAnswers.enqueue(bmp);
    action(&editor, "open")->trigger();
    QCOMPARE(editor.progressText(), QString()); // the click emptied the status
    QCOMPARE(scripted.d.requests.size(), 1);
    QCOMPARE(scripted.d.requests[0].kind, ScriptedDialogs::Request::Kind::OpenFile);
    QCOMPARE(scripted.d.requests[0].caption, ImageEditor::openFilter());
    QCOMPARE(editor.windowTitle(), QStringLiteral("in.bmp"));
    QCOMPARE(editor.MasterImage().size(), QSize(30, 20));

    // Cancelled open changes nothing.
    action(&editor, "open")->trigger();
    QCOMPARE(editor.MasterImage().size(), QSize(30, 20));

    const QString out = dir.filePath(QStringLiteral("out.jpg"));
    scripted.d.fileAnswers.enqueue(out);
    action(&editor, "save")->trigger();
    const auto& save = scripted.d.requests.last();
    QCOMPARE(save.kind, ScriptedDialogs::Request::Kind::SaveFile);
    QCOMPARE(save.caption, ImageEditor::saveFilter());
    QCOMPARE(save.initial, QStringLiteral("in.bmp"));
    QVERIFY(QFileInfo::exists(out));
    QCOMPARE(editor.windowTitle(), QStringLiteral("out.jpg"));
}

void TestImageEditor::savesByEnding_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("identified"); // empty: nothing written
    QTest::newRow("bmp") << "a.bmp" << "BMP3 41 23 8";
    QTest::newRow("upper-case BMP") << "b.BMP" << "BMP3 41 23 8";
    QTest::newRow("jpg at quality 83") << "c.jpg" << "JPEG 41 23 8 83";
    QTest::newRow("png writes nothing") << "d.png" << "";
    QTest::newRow("jpeg ending writes nothing") << "e.jpeg" << "";
}

void TestImageEditor::savesByEnding()
{
    QFETCH(QString, name);
    QFETCH(QString, identified);
    QTemporaryDir dir;
    ImageEditor editor;
    editor.setJpegQuality(83);
    editor.setNewFrame(lvtest::blockImage(41, 23));
    StampSettings s;
    s.textOn = true;
    s.textColor = 0xffffff;
    s.text = QStringLiteral("X");
    editor.stamp(s, 1);
    const QString path = dir.filePath(name);
    QCOMPARE(editor.savePictureFile(path), !identified.isEmpty());
    if (identified.isEmpty()) {
        QVERIFY(!QFileInfo::exists(path));
        return;
    }
    const bool jpeg = identified.startsWith(QLatin1String("JPEG"));
    const auto id = lvtest::runTool(QStringLiteral("identify"),
                                    {QStringLiteral("-format"), jpeg ? QStringLiteral("%m %w %h %z %Q") : QStringLiteral("%m %w %h %z"), path});
    QCOMPARE(QString::fromLatin1(id.out).trimmed(), identified);
    if (!jpeg) // the stamp is in the file
        QCOMPARE(LoadPicture(path), editor.MasterImage().drawnImage());
}

void TestImageEditor::saveFailureShowsTheLayersMessage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("statusEnd");
    QTest::newRow("jpg") << "c.jpg" << QStringList{QStringLiteral("Failed to save to JPG")} << "JPEG File.";
    QTest::newRow("bmp") << "a.bmp" << QStringList{} << ": Not a directory";
}

// The file layer only reports; the editor shows the JPEG warning (and only it)
// and puts the reason on its status line.
void TestImageEditor::saveFailureShowsTheLayersMessage()
{
    QFETCH(QString, name);
    QFETCH(QStringList, messages);
    QFETCH(QString, statusEnd);
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("pics"));
    QFile f(blocker);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    ScopedScriptedDialogs scripted;
    ImageEditor editor;
    editor.setNewFrame(lvtest::blockImage(41, 23));
    QStringList status;
    connect(&editor, &ImageEditor::statusString, this, [&](const QString& t) { status << t; });
    const QString path = blocker + QLatin1Char('/') + name;
    QVERIFY(!editor.savePictureFile(path));
    QCOMPARE(scripted.d.messages(), messages);
    for (const auto& r : scripted.d.requests)
        QCOMPARE(r.icon, Dialogs::Icon::Warning);
    QCOMPARE(status.size(), 1);
    QVERIFY2(status.first().startsWith(QStringLiteral("Error writing ") + path) && status.first().endsWith(statusEnd),
             qPrintable(status.first()));
}

void TestImageEditor::effectsReportProgressAccumulateAndReset()
{
    ImageEditor editor;
    const QImage frame = lvtest::patternImage(101, 12);
    editor.setNewFrame(frame);
    QStringList seen;
    connect(&editor, &ImageEditor::progressMessage, this, [&](const QString& t) { seen << t; });

    action(editor.effectsMenu(), "negative")->trigger();
    const QStringList progress = seen.filter(QStringLiteral("Inverting... "));
    QCOMPARE(progress.size(), 21); // about twenty times
    QCOMPARE(progress.first(), QStringLiteral("Inverting... 0%"));
    QCOMPARE(progress.last(), QStringLiteral("Inverting... 100%"));
    QCOMPARE(seen.last(), QString()); // emptied at the end
    QCOMPARE(editor.progressText(), QString());
    QImage inverted = frame;
    inverted.invertPixels();
    QCOMPARE(editor.MasterImage().drawnImage(), inverted);

    // Effects accumulate; the reset copy is untouched by them.
    action(editor.effectsMenu(), "mirror")->trigger();
    QCOMPARE(editor.MasterImage().drawnImage(), inverted.mirrored(true, false));
    QCOMPARE(editor.ResetPicture(), frame);
    action(editor.effectsMenu(), "reset")->trigger();
    QCOMPARE(editor.MasterImage().drawnImage(), frame);

    // The "effects" button itself resets too, and opening a file leaves the reset copy.
    action(editor.effectsMenu(), "flip")->trigger();
    QCOMPARE(editor.MasterImage().drawnImage(), frame.mirrored(true, true));
    action(&editor, "effects")->trigger();
    QCOMPARE(editor.MasterImage().drawnImage(), frame);

    // Stamps are part of what an effect reads.
    StampSettings s;
    s.textOn = true;
    s.textColor = 0xffffff;
    s.text = QStringLiteral("HELLO");
    editor.stamp(s, 1);
    const QImage stamped = editor.MasterImage().drawnImage();
    action(editor.effectsMenu(), "negative")->trigger();
    QImage stampedInverted = stamped;
    stampedInverted.invertPixels();
    QCOMPARE(editor.MasterImage().drawnImage(), stampedInverted);
}

void TestImageEditor::clipboardHoldsDrawnPicture()
{
    ImageEditor editor;
    editor.setNewFrame(lvtest::patternImage(20, 10));
    StampSettings s;
    s.timeOn = true;
    s.timeColor = 0xffffff;
    editor.stamp(s, 1);
    action(&editor, "clipboard")->trigger();
    QCOMPARE(editor.progressText(), QStringLiteral("Image on Clipboard."));
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             editor.MasterImage().drawnImage());
}

void TestImageEditor::printsPictureIntoPdf()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty())
        QSKIP("pdfimages (poppler-utils) is not installed");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("print.pdf"));
    ImageEditor editor;
    editor.setNewFrame(lvtest::blockImage(160, 90));
    editor.setPrinterFactory([pdf] {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf);
        return printer;
    });
    action(&editor, "print")->trigger();
    QCOMPARE(editor.progressText(), QString());
    const auto list = lvtest::runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    QCOMPARE(list.exitCode, 0);
    // page num type width height ...
    const QStringList lines = QString::fromLatin1(list.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 3, list.out.constData());
    const QStringList fields = lines[2].simplified().split(QLatin1Char(' '));
    QCOMPARE(fields[2], QStringLiteral("image"));
    QCOMPARE(fields[3], QStringLiteral("160"));
    QCOMPARE(fields[4], QStringLiteral("90"));

    // No printer: a status text, nothing else.
    editor.setPrinterFactory([] { return std::unique_ptr<QPrinter>(); });
    action(&editor, "print")->trigger();
    QCOMPARE(editor.progressText(), QStringLiteral("No printer is available."));
}

void TestImageEditor::editorLayout_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("clientWidth");
    QTest::newRow("320x240") << QSize(320, 240) << 360;
    QTest::newRow("narrow picture keeps 240") << QSize(100, 50) << 240;
    QTest::newRow("200 wide exactly 240") << QSize(200, 50) << 240;
}

void TestImageEditor::editorLayout()
{
    QFETCH(QSize, picture);
    QFETCH(int, clientWidth);
    QCOMPARE(ImageEditor::clientSizeFor(picture, 30, 20), QSize(clientWidth, 30 + 20 + picture.height() + 20));

    QMdiArea area;
    area.resize(1200, 900);
    auto* editor = new ImageEditor;
    editor->setNewFrame(lvtest::blockImage(picture.width(), picture.height()));
    QMdiSubWindow* sub = area.addSubWindow(editor);
    area.show();
    sub->show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    const int toolbarHeight = editor->toolbar()->height();
    QCOMPARE(editor->size(), ImageEditor::clientSizeFor(picture, toolbarHeight, editor->size().height() - toolbarHeight - picture.height() - 20));
    const QLabel* label = editor->findChild<QLabel*>(QStringLiteral("MasterImage"));
    QCOMPARE(label->geometry().top(), toolbarHeight + 10);
    QCOMPARE(label->geometry().left(), (clientWidth - picture.width()) / 2);
    QCOMPARE(label->size(), picture);
    QVERIFY(sub->widget()->geometry().width() == clientWidth);
}

void TestImageEditor::multiImageLayoutAndStamp()
{
    SeriesViewer viewer;
    viewer.setPicture(lvtest::blockImage(320, 240));
    viewer.setWindowTitle(QStringLiteral("Untitled "));
    viewer.show();
    QCOMPARE(viewer.size(), QSize(340, 260));
    const QLabel* label = viewer.findChild<QLabel*>(QStringLiteral("MasterImage"));
    QCOMPARE(label->pos(), QPoint(8, 10));
    QCOMPARE(label->size(), QSize(320, 240));

    StampSettings s;
    s.textOn = true;
    s.textColor = 0xff;
    s.text = QStringLiteral("one");
    viewer.stamp(s, 1);
    QVERIFY(viewer.MasterImage().drawnImage() != viewer.MasterImage().frame());
    viewer.setPicture(lvtest::blockImage(64, 32)); // grows and shrinks with the picture
    QCOMPARE(viewer.size(), QSize(84, 52));
    QCOMPARE(viewer.MasterImage().drawnImage(), lvtest::blockImage(64, 32));
}

QTEST_MAIN(TestImageEditor)
#include "tst_imageeditor.moc"
