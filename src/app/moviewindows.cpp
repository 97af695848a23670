#include "app/moviewindows.h"

#include "app/mainwindow.h"
#include "base/dialogs.h"
#include "image/ui/imageeditor.h"
#include "movie/ui/movieviewer.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStatusBar>

namespace lv {

MovieWindows::MovieWindows(MainWindow& master)
    : QObject(&master)
    , m_master(master)
{
}

MovieViewer* MovieWindows::ensureViewer()
{
    if (m_viewer)
        return m_viewer;
    MainWindow& m = m_master;
    MovieViewerHost host;
    host.status = [&m](const QString& text) { m.setStatusString(text); };
    host.allControls = [&m](bool enabled) { m.AllControls(enabled); };
    host.busy = [&m](bool busy) {
        if (busy)
            m.setCursor(Qt::WaitCursor);
        else
            m.unsetCursor();
    };
    host.openInEditor = [this](const QImage& picture, const QString& caption) {
        auto* editor = new ImageEditor;
        editor->setNewFrame(picture);
        editor->setJpegQuality(m_master.model().preferences().JpegQuality);
        editor->setWindowTitle(caption);
        connect(editor, &ImageEditor::statusString, &m_master, &MainWindow::setStatusString);
        QMdiSubWindow* sub = m_master.mdiArea()->addSubWindow(editor);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->show();
    };
    // The main window's controls are disabled meanwhile; its status bar keeps a way out.
    host.offerCancel = [this](std::function<void()> cancel) {
        delete m_cancel;
        if (!cancel)
            return;
        m_cancel = new QPushButton(QStringLiteral("Cancel"));
        m_cancel->setObjectName(QStringLiteral("ExtractCancel"));
        connect(m_cancel, &QPushButton::clicked, m_cancel, [cancel] { cancel(); });
        m_master.statusBar()->addPermanentWidget(m_cancel);
    };
    host.viewerShown = [this] { m_master.run().ViewerShown = true; };
    host.jpegQuality = [this] { return int(m_master.model().preferences().JpegQuality); };

    m_viewer = new MovieViewer(std::move(host), m_master.model().preferences().Autoplay);
    QMdiSubWindow* sub = m_master.mdiArea()->addSubWindow(m_viewer);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(m_viewer->windowIcon());
    return m_viewer;
}

MovieViewer* MovieWindows::viewer() const
{
    return m_viewer;
}

void MovieWindows::askAndOpen()
{
    const QString name = dialogs().openFile(QStringLiteral("Open AVI"),
                                            QStringLiteral("Movie Files (*.avi;*.mkv;*.mp4)|*.avi;*.mkv;*.mp4|"
                                                           "All Files (*.*)|*.*|"),
                                            {},
                                            &m_master);
    if (!name.isEmpty())
        open(name, QFileInfo(name).fileName());
}

void MovieWindows::open(const QString& fileName, const QString& caption)
{
    MovieViewer* v = ensureViewer();
    if (v->isBusy())
        return; // an extraction runs on the loaded movie; it keeps it
    // Not in full screen: a maximised document window comes back to its size.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(v->parentWidget())) {
        sub->showNormal();
        m_master.mdiArea()->setActiveSubWindow(sub);
    }
    v->openMovie(fileName, caption);
}

void MovieWindows::close()
{
    if (!m_viewer)
        return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(m_viewer->parentWidget()))
        sub->close();
    else
        m_viewer->close();
}

} // namespace lv
