#include "tst_capturerig.h"

#include "image/ui/imageeditor.h"

#include <QAction>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>

using namespace lv;
using namespace captest;

namespace {

QMdiSubWindow* frameOf(QWidget* w) { return w ? qobject_cast<QMdiSubWindow*>(w->parentWidget()) : nullptr; }

QImage rgb(const QImage& i) { return i.convertToFormat(QImage::Format_RGB888); }

// A picture in the editor with an effect on it, not saved.
ImageEditor* editedPicture(Rig& rig)
{
    rig.master->SelectImageMode();
    rig.master->RecordButtonClicked();
    ImageEditor* ed = rig.ctl->editor();
    if (!ed)
        return nullptr;
    ed->effectsMenu()->findChild<QAction*>(QStringLiteral("negative"))->trigger();
    return ed;
}

int unsavedQuestions(const ScriptedDialogs& d)
{
    int n = 0;
    for (const auto& r : d.requests)
        n += r.kind == ScriptedDialogs::Request::Kind::Message && r.buttons == Dialogs::Buttons::SaveDiscardCancel;
    return n;
}

} // namespace

class TestEditorGuard : public QObject {
    Q_OBJECT

private slots:
    void editedPictureIsNotDiscardedSilently_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("answer");
        const struct {
            const char* name;
            Dialogs::Answer answer;
        } answers[] = {{"Save", Dialogs::Answer::Save}, {"Discard", Dialogs::Answer::Discard},
                       {"Cancel", Dialogs::Answer::Cancel}};
        for (const char* how : {"close", "capture", "snapshot key", "scheduled start", "open file", "quit"})
            for (const auto& a : answers)
                QTest::addRow("%s, %s", how, a.name) << QString::fromLatin1(how) << int(a.answer);
    }

    void editedPictureIsNotDiscardedSilently()
    {
        QFETCH(QString, how);
        QFETCH(int, answer);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.avi")));
        QPointer<ImageEditor> ed = editedPicture(rig);
        QVERIFY(ed);
        QVERIFY(ed->isModified());
        const QImage edited = rgb(ed->MasterImage().drawnImage());
        const QString saved = out.filePath(QStringLiteral("edited.bmp"));
        dlg.d.answers.enqueue(Dialogs::Answer(answer));
        if (Dialogs::Answer(answer) == Dialogs::Answer::Save)
            dlg.d.fileAnswers.enqueue(saved);
        if (how == QLatin1String("quit"))
            dlg.d.answers.prepend(Dialogs::Answer::Yes); // "Are you sure you want to quit ?"

        bool gone = false; // the editor window closed
        if (how == QLatin1String("close")) {
            frameOf(ed)->close();
            QTest::qWait(10);
            gone = !ed;
        } else if (how == QLatin1String("capture")) {
            rig.master->RecordButtonClicked();
        } else if (how == QLatin1String("snapshot key")) {
            QCOMPARE(rig.master->action(Command::Snapshot)->shortcut(), QKeySequence(Qt::Key_F11));
            rig.master->action(Command::Snapshot)->trigger();
        } else if (how == QLatin1String("scheduled start")) {
            rig.ctl->OpenAutostart();
            emit rig.ctl->autostart()->fire();
        } else if (how == QLatin1String("open file")) {
            const QString other = out.filePath(QStringLiteral("other.bmp"));
            QImage(64, 48, QImage::Format_RGB888).save(other);
            dlg.d.fileAnswers.enqueue(other);
            ed->toolbar()->findChild<QAction*>(QStringLiteral("open"))->trigger();
        } else {
            gone = rig.master->close();
        }

        QCOMPARE(unsavedQuestions(dlg.d), 1);
        const auto a = Dialogs::Answer(answer);
        if (a == Dialogs::Answer::Cancel) {
            // Nothing happens: the edited picture stays where it was.
            QVERIFY(!gone);
            QVERIFY(ed);
            QCOMPARE(rgb(ed->MasterImage().drawnImage()), edited);
            QVERIFY(ed->isModified());
            QVERIFY(!QFileInfo::exists(saved));
            return;
        }
        if (a == Dialogs::Answer::Save) {
            // Saved first, exactly as edited.
            QCOMPARE(rgb(QImage(saved)), edited);
        }
        if (how == QLatin1String("close") || how == QLatin1String("quit")) {
            QVERIFY(gone);
        } else {
            QVERIFY(ed);
            QVERIFY(rgb(ed->MasterImage().drawnImage()) != edited); // replaced as asked
            QVERIFY(!ed->isModified());
        }
    }

    void uneditedPictureGoesWithoutAQuestion()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.avi")));
        rig.master->SelectImageMode();
        rig.master->RecordButtonClicked();
        QVERIFY(rig.ctl->editor());
        rig.master->RecordButtonClicked();
        rig.master->action(Command::Snapshot)->trigger();
        // Undoing the effects is no edit either.
        rig.ctl->editor()->effectsMenu()->findChild<QAction*>(QStringLiteral("negative"))->trigger();
        rig.ctl->editor()->effectsMenu()->findChild<QAction*>(QStringLiteral("reset"))->trigger();
        rig.master->action(Command::Snapshot)->trigger();
        QCOMPARE(unsavedQuestions(dlg.d), 0);
        // A saved edit is no longer unsaved.
        rig.ctl->editor()->effectsMenu()->findChild<QAction*>(QStringLiteral("negative"))->trigger();
        QVERIFY(rig.ctl->editor()->savePictureFile(out.filePath(QStringLiteral("s.jpg"))));
        rig.master->action(Command::Snapshot)->trigger();
        QCOMPARE(unsavedQuestions(dlg.d), 0);
    }

    void captureWhileTheQuestionStandsWaits_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("questions");
        QTest::newRow("discard: both captures run, no second question") << int(Dialogs::Answer::Discard) << 1;
        QTest::newRow("cancel: the waiting capture asks again") << int(Dialogs::Answer::Cancel) << 2;
    }

    void captureWhileTheQuestionStandsWaits()
    {
        QFETCH(int, answer);
        QFETCH(int, questions);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.avi")));
        QPointer<ImageEditor> ed = editedPicture(rig);
        QVERIFY(ed);
        const QImage edited = rgb(ed->MasterImage().drawnImage());
        dlg.d.answers.enqueue(Dialogs::Answer(answer));
        dlg.d.answers.enqueue(Dialogs::Answer::Discard); // a second question, if one comes
        bool asking = false;
        bool keptWhileAsking = false;
        dlg.d.whileAsking = [&] {
            // The snapshot key while the box is up: it must not replace the picture under it.
            asking = ed->isAsking();
            rig.master->action(Command::Snapshot)->trigger();
            keptWhileAsking = rgb(ed->MasterImage().drawnImage()) == edited;
        };
        frameOf(ed)->close();
        QVERIFY(asking);
        QVERIFY(keptWhileAsking);
        // The waiting snapshot runs once the question has gone.
        QTRY_VERIFY(rig.ctl->editor());
        QTRY_COMPARE(rig.ctl->editor()->windowTitle(), QStringLiteral("Untitled"));
        QCOMPARE(unsavedQuestions(dlg.d), questions);
        QVERIFY(rgb(rig.ctl->editor()->MasterImage().drawnImage()) != edited);
    }
};

QTEST_MAIN(TestEditorGuard)
#include "tst_editorguard.moc"
