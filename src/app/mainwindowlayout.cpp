// The main window's layout: the left toolbar, the cool bar with its device and
// operation bands and the mode bands (the panels), and the window's size.
#include "app/mainwindow.h"
#include "app/panels/devicemenu.h"
#include "app/panels/moviepanel.h"
#include "app/panels/seriespanel.h"
#include "app/panels/stamppanel.h"
#include "app/panels/statuspanel.h"
#include "app/videoscreen.h"
#include "app/windowplaces.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

// Defined with the application.
Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace lv {

void MainWindow::arrangeIcons()
{
    // The minimised windows line up from the bottom left of the area, a row above
    // when one is full; the open windows stay where they are.
    const QSize room = m_mdi->viewport()->size();
    int x = 0;
    int rowBottom = room.height();
    int rowHeight = 0;
    for (QMdiSubWindow* sub : m_mdi->subWindowList(QMdiArea::CreationOrder)) {
        if (sub->isHidden() || !sub->isMinimized())
            continue;
        const QSize size = sub->size();
        if (x > 0 && x + size.width() > room.width()) {
            rowBottom -= rowHeight;
            x = 0;
            rowHeight = 0;
        }
        sub->move(x, rowBottom - size.height());
        x += size.width();
        rowHeight = std::max(rowHeight, size.height());
    }
}

void MainWindow::buildLeftPanel()
{
    LeftPanel = new QWidget(this);
    LeftPanel->setObjectName(QStringLiteral("LeftPanel"));
    MainToolbar = new KeyedToolBar(QStringLiteral("MainToolbar"), LeftPanel);
    MainToolbar->setOrientation(Qt::Vertical);
    MainToolbar->addButton(QStringLiteral("open"), QStringLiteral("Open"));
    MainToolbar->addButton(QStringLiteral("save"), QStringLiteral("Save Capture Parameters"));
    MainToolbar->addSeparator();
    MainToolbar->addButton(QStringLiteral("movie"), QStringLiteral("Movie Capture"), {}, true);
    MainToolbar->addButton(QStringLiteral("image"), QStringLiteral("Image Capture"), {}, true);
    MainToolbar->addButton(QStringLiteral("multiple"), QStringLiteral("Multiple Image Capture"), {}, true);
    MainToolbar->addSeparator();
    MainToolbar->addButton(QStringLiteral("viewer"), QStringLiteral("Movie Viewer"));
    MainToolbar->addButton(QStringLiteral("preferences"), QStringLiteral("Preferences"));
    MainToolbar->addButton(QStringLiteral("about"), QStringLiteral("About Video Lumivark..."));
    // The mode follows its button however it was pressed: a click, the keyboard or an
    // accessibility client's toggle.
    MainToolbar->makeExclusive({QStringLiteral("movie"), QStringLiteral("image"), QStringLiteral("multiple")});
    connect(MainToolbar, &KeyedToolBar::buttonPressed, this, [this](const QString& key) {
        if (visibleBand() != key)
            requestButtonCommand(MainToolbar, key);
    });
    // A click on the current mode selects it again.
    connect(MainToolbar, &KeyedToolBar::buttonClicked, this,
            [this](const QString& key) { requestButtonCommand(MainToolbar, key); });
    MainToolbar->adjustSize();
    // The panel is one pixel wider than its toolbar, which sits at its top left.
    LeftPanel->setFixedWidth(MainToolbar->sizeHint().width() + 1);
    MainToolbar->move(0, 0);
}

void MainWindow::buildMasterBar()
{
    MasterBar = new QWidget(this);
    MasterBar->setObjectName(QStringLiteral("MasterBar"));
    auto* v = new QVBoxLayout(MasterBar);
    v->setContentsMargins(2, 2, 2, 2);
    v->setSpacing(2);

    // Band 1: the device toolbar and the preview-rate box over its placeholder.
    auto* band1 = new QWidget(MasterBar);
    auto* b1 = new QHBoxLayout(band1);
    b1->setContentsMargins(0, 0, 0, 0);
    DeviceToolbar = new KeyedToolBar(QStringLiteral("DeviceToolbar"), band1);
    QAction* device = DeviceToolbar->addButton(QStringLiteral("device"), QStringLiteral("Choose Video Device"));
    m_deviceMenu = new DeviceMenu(m_model, this);
    device->setMenu(m_deviceMenu);
    if (auto* tb = qobject_cast<QToolButton*>(DeviceToolbar->widgetForAction(device)))
        tb->setPopupMode(QToolButton::InstantPopup);
    DeviceToolbar->addButton(QStringLiteral("source"), QStringLiteral("Video Source"));
    DeviceToolbar->addButton(QStringLiteral("display"), QStringLiteral("Video Display"));
    DeviceToolbar->addButton(QStringLiteral("format"), QStringLiteral("Video Format"));
    DeviceToolbar->addSeparator();
    DeviceToolbar->addButton(QStringLiteral("fullscreen"), QStringLiteral("Fullscreen"));
    DeviceToolbar->addButton(QStringLiteral("snapshot"), QStringLiteral("Take a Instant Snapshot (F11)"));
    DeviceToolbar->addSeparator();
    DeviceToolbar->addButton(QStringLiteral("overlay"), QStringLiteral("Overlay view mode"), {}, true);
    DeviceToolbar->addButton(QStringLiteral("preview"), QStringLiteral("Preview view mode"), {}, true);
    DeviceToolbar->addButton(QStringLiteral("advanced"), QStringLiteral("Advanced Settings"));
    DeviceToolbar->addSeparator();
    pr_space = new QGroupBox(QStringLiteral("Preview"), DeviceToolbar);
    pr_space->setObjectName(QStringLiteral("pr_space"));
    auto* prl = new QHBoxLayout(pr_space);
    prl->setContentsMargins(7, 0, 2, 2);
    previewrate = new QComboBox(pr_space);
    previewrate->setObjectName(QStringLiteral("previewrate"));
    previewrate->setAccessibleName(QStringLiteral("Preview rate"));
    prl->addWidget(previewrate);
    QAction* seprate = DeviceToolbar->addWidget(pr_space);
    seprate->setObjectName(QStringLiteral("seprate"));
    DeviceToolbar->button(QStringLiteral("fullscreen"))->setEnabled(false); // until a device connects
    connect(m_deviceMenu, &DeviceMenu::driverConnected, this, &MainWindow::updateViewButtons);
    connect(m_deviceMenu, &DeviceMenu::deviceInfoRequested, this, [this] { emit commandRequested(Command::DeviceInfo); });
    connect(DeviceToolbar, &KeyedToolBar::buttonClicked, this, [this](const QString& key) {
        if (key == QLatin1String("overlay") || key == QLatin1String("preview") || key == QLatin1String("device"))
            return; // the view buttons act when toggled, below; the device button opens its menu
        if (key == QLatin1String("fullscreen"))
            FullScreen(true); // says so on the status line while it lasts
        else
            requestButtonCommand(DeviceToolbar, key);
    });
    // The view buttons act on any change of their state (a click, the keyboard, a
    // screen reader's toggle action); the device's answer then sets both.
    for (bool overlay : {true, false})
        connect(DeviceToolbar->button(overlay ? QStringLiteral("overlay") : QStringLiteral("preview")), &QAction::toggled,
                this, [this, overlay](bool on) {
                    // A button set to what the device already shows needs nothing.
                    const CaptureStatus& st = m_videoScreen->status();
                    const bool shown = overlay ? st.fOverlayWindow == 1 : st.fLiveWindow == 1;
                    if (!m_showingViewMode && on != shown)
                        viewMode(overlay);
                });
    connect(previewrate, qOverload<int>(&QComboBox::activated), this, &MainWindow::PreviewRateClicked);
    b1->addWidget(DeviceToolbar);
    b1->addStretch();
    v->addWidget(band1);

    // Band 2: the operation toolbar and the recording status beside it.
    auto* band2 = new QWidget(MasterBar);
    auto* b2 = new QHBoxLayout(band2);
    b2->setContentsMargins(0, 0, 0, 0);
    OperationBar = new KeyedToolBar(QStringLiteral("OperationBar"), band2);
    OperationBar->addButton(QStringLiteral("record"), QStringLiteral("Start/Stop Capture"), QStringLiteral("Rec/Stop"),
                            false, QStringLiteral("record"));
    OperationBar->addButton(QStringLiteral("autostart"), QStringLiteral("Autostart"));
    OperationBar->addButton(QStringLiteral("motion"), QStringLiteral("Motion Detector"));
    OperationBar->addPlaceholder(QStringLiteral("fim"), 10);
    connect(OperationBar, &KeyedToolBar::buttonClicked, this, [this](const QString& key) {
        if (key == QLatin1String("record"))
            RecordButtonClicked();
        else
            requestButtonCommand(OperationBar, key);
    });
    b2->addWidget(OperationBar);

    m_statusPanel = new StatusPanel(m_model, statusBar(), band2);
    b2->addWidget(m_statusPanel, 1);
    v->addWidget(band2);

    buildBands(v);
}

void MainWindow::buildBands(QBoxLayout* bar)
{
    m_moviePanel = new MoviePanel(m_model, MasterBar);
    m_imageBand = new QWidget(MasterBar);
    m_imageBand->setObjectName(QStringLiteral("ImagePanel"));
    m_imageBand->setProperty("bandKey", QStringLiteral("image"));
    auto* imageRow = new QHBoxLayout(m_imageBand);
    imageRow->setContentsMargins(0, 0, 0, 0);
    m_imageStamps = new StampPanel(m_model, false, m_imageBand, imageRow, QStringLiteral("Image"),
                                   QStringLiteral("ImageToolbar"));
    m_seriesPanel = new SeriesPanel(m_model, MasterBar);
    bar->addWidget(m_moviePanel);
    bar->addWidget(m_imageBand);
    bar->addWidget(m_seriesPanel);
    m_imageBand->hide();
    m_seriesPanel->hide();
    MasterStatus = statusBar();
    MasterStatus->setObjectName(QStringLiteral("MasterStatus"));
    MasterStatus->setSizeGripEnabled(true);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Being shown is being activated on a desktop without a window manager too.
    MasterBar->show();
    if (m_roomWanted.isValid())
        QMetaObject::invokeMethod(
            this, [this] { makeRoomFor(std::exchange(m_roomWanted, QSize())); }, Qt::QueuedConnection);
    if (m_loaded && !m_childrenPlaced) {
        m_childrenPlaced = true;
        // Once the bands are in and the area has its size.
        QMetaObject::invokeMethod(this, [this] { windowplaces::restoreChild(*m_videoSub); }, Qt::QueuedConnection);
    }
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        MasterBar->show();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (m_loaded && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
        if (width() < 665 || height() < 480)
            resize(std::max(665, width()), std::max(480, height()));
    }
}

void MainWindow::makeRoomFor(QSize areaSize)
{
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    if (!isVisible()) {
        // The window manager's frame is known once shown: grow then.
        m_roomWanted = m_roomWanted.expandedTo(areaSize);
        return;
    }
    const QSize room = m_mdi->viewport()->size();
    const QSize more(std::max(0, areaSize.width() - room.width()), std::max(0, areaSize.height() - room.height()));
    QScreen* where = screen();
    if (more.isNull() || !where)
        return;
    const QRect avail = where->availableGeometry();
    const QRect outer = frameGeometry();
    const QSize decoration = outer.size() - size(); // title bar and borders of the window manager
    const QSize target = (size() + more).boundedTo(avail.size() - decoration).expandedTo(size());
    if (target == size())
        return;
    qCDebug(lcApp) << "window grows from" << size() << "to" << target << "for a child window";
    resize(target);
    // Grown past the screen's edge, it moves back onto it.
    const QSize outerSize = target + decoration;
    const QPoint at(std::clamp(outer.x(), avail.left(), std::max(avail.left(), avail.right() + 1 - outerSize.width())),
                    std::clamp(outer.y(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - outerSize.height())));
    if (at != outer.topLeft())
        move(at);
}

} // namespace lv
