#include "app/mainwindow.h"
#include "app/commandicons.h"
#include "app/commandstates.h"
#include "app/dispatcher.h"
#include "app/menutable.h"
#include "app/panels/devicemenu.h"
#include "app/panels/moviepanel.h"
#include "app/panels/panelparts.h"
#include "app/panels/seriespanel.h"
#include "app/panels/stamppanel.h"
#include "app/panels/statuspanel.h"
#include "app/recordingindicator.h"
#include "app/videoscreen.h"
#include "app/windowplaces.h"
#include "base/dialogs.h"
#include "base/diskspace.h"
#include "base/programdirectory.h"
#include "base/settingsstore.h"
#include "base/ui/subwindowfit.h"
#include "base/version.h"
#include "capture/devicewatcher.h"
#include "capture/pipewire/pwportal.h"
#include "image/ui/imageeditor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScopedValueRollback>
#include <QStandardPaths>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

// Defined with the application.
Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace lv {

using panelparts::twoDigits;
using panelparts::withBlank;

namespace {

// The help page shipped with the program; empty when it is missing.
QString helpPage() { return findDataFile(QStringLiteral("help/index.html")); }

// Shows the shipped help page with the desktop's handler for local files. When
// the page is missing or nothing on the machine can show it, a message says so
// and where the page is, instead of a warning on the terminal only.
void openHelpPage(QWidget* parent)
{
    const QString help = helpPage();
    if (help.isEmpty()) {
        dialogs().message(QStringLiteral("The help file help/index.html is missing from the program's data folder."),
                          Dialogs::Icon::Warning, Dialogs::Buttons::Ok, {}, parent);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(help)))
        dialogs().message(QStringLiteral("No program to show the help is installed.\nThe help file is ") + help,
                          Dialogs::Icon::Warning, Dialogs::Buttons::Ok, {}, parent);
}

// The project's home page when the build names one (LV_HOMEPAGE_URL), else empty.
QString homePage() { return QStringLiteral(LUMIVARK_HOMEPAGE); }

// The web command and the address panel: the home page when there is one,
// else the help page that ships with the program.
void openWebPage(QWidget* parent)
{
    if (homePage().isEmpty() || !QDesktopServices::openUrl(QUrl(homePage())))
        openHelpPage(parent);
}

} // namespace

// ---------------------------------------------------------------------------

MainWindow::MainWindow(CaptureModel& model, RunRecord& run, QWidget* parent)
    : QMainWindow(parent)
    , m_model(model)
    , m_run(run)
{
    setObjectName(QStringLiteral("Master"));
    buildMenus();
    auto* central = new QWidget(this);
    auto* h = new QHBoxLayout(central);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);
    buildLeftPanel();
    h->addWidget(LeftPanel);
    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    buildMasterBar();
    right->addWidget(MasterBar);
    m_mdi = new QMdiArea(central);
    m_mdi->setObjectName(QStringLiteral("MdiArea"));
    m_mdi->setBackground(QColor(128, 128, 128));
    SubWindowFit::watch(m_mdi); // child windows never reach past the area's edges
    // A child window larger than the area makes the window grow rather than hide its controls.
    connect(SubWindowFit::of(m_mdi), &SubWindowFit::roomWanted, this, &MainWindow::makeRoomFor);
    right->addWidget(m_mdi, 1);
    h->addLayout(right, 1);
    setCentralWidget(central);

    // Toolbars in the bands keep room for all their buttons.
    QList<KeyedToolBar*> toolbars{DeviceToolbar, OperationBar, m_moviePanel->toolbar(), m_imageStamps->toolbar(),
                                  m_seriesPanel->stamps().toolbar()};
    toolbars += m_seriesPanel->toolbars();
    for (KeyedToolBar* tb : std::as_const(toolbars))
        tb->setFixedWidth(tb->sizeHint().width());

    m_videoScreen = new VideoScreen(*this);
    m_deviceMenu->setScreen(m_videoScreen);
    m_videoSub = m_mdi->addSubWindow(m_videoScreen, Qt::SubWindow | Qt::WindowTitleHint);
    m_videoSub->setObjectName(QStringLiteral("VideoScreenFrame"));
    m_videoSub->show();
    connect(m_videoScreen, &QWidget::windowTitleChanged, m_videoSub, &QWidget::setWindowTitle);

    MasterTimer.setInterval(100);
    connect(&MasterTimer, &QTimer::timeout, this, &MainWindow::masterTimerTick);
    MasterTimer2.setInterval(3000);
    connect(&MasterTimer2, &QTimer::timeout, this, &MainWindow::masterTimer2Tick);
    assignCommandIcons(*this);
    new RecordingIndicator(*this, m_videoScreen);
    connectPanels();
    bindModel();
    wireCommandStates();
}

MainWindow::~MainWindow()
{
    // The handlers of the window's parts go with them; the half-gone window is not enabled again.
    m_commands->disconnect(this);
    disconnect(&m_model, &CaptureModel::runStateChanged, this, &MainWindow::refreshCommandStates);
}

// --- Building -------------------------------------------------------------

QAction* MainWindow::addItem(QMenu* menu, const MenuRow& row)
{
    QAction* a = menu->addAction(menuRowIcon(row), row.caption);
    if (!row.key.isEmpty())
        a->setShortcut(row.key);
    a->setCheckable(row.checkable);
    const Command command = row.command;
    connect(a, &QAction::triggered, this, [this, command] { dispatch(command); });
    m_actions[static_cast<size_t>(command)] = a;
    return a;
}

bool MainWindow::dispatch(Command command) { return m_commands->dispatch(command); }

void MainWindow::refreshCommandStates()
{
    CommandConditions c;
    for (int i = 0; i < kCommandCount; ++i)
        c.handled[static_cast<size_t>(i)] = m_commands->handles(static_cast<Command>(i));
    c.mixer = m_mixerFound;
    c.run = m_model.runState();
    applyCommandStates(*this, c);
}

void MainWindow::wireCommandStates()
{
    connect(m_commands, &CommandDispatcher::handlersChanged, this, &MainWindow::refreshCommandStates);
    connect(&m_model, &CaptureModel::runStateChanged, this, &MainWindow::refreshCommandStates);
    refreshCommandStates();
}

QAction* MainWindow::action(Command command) const { return m_actions[static_cast<size_t>(command)]; }

QAction* MainWindow::sampleRateItem(int hz) const
{
    for (QAction* a : m_sampleRateItems)
        if (a->data().toInt() == hz)
            return a;
    return nullptr;
}

void MainWindow::requestButtonCommand(const KeyedToolBar* toolbar, const QString& key)
{
    if (const std::optional<Command> c = toolbar->command(key))
        dispatch(*c);
    else
        qCWarning(lcApp) << "button without a command" << toolbar->objectName() << key;
}

void MainWindow::buildMenus()
{
    m_commands = new CommandDispatcher(this);
    connect(this, &MainWindow::commandRequested, m_commands, &CommandDispatcher::dispatch);
    QMenuBar* bar = menuBar();
    const std::pair<MenuId, QMenu**> menus[] = {
        {MenuId::File, &FileMenu},     {MenuId::Edit, &EditMenu},   {MenuId::View, &ViewMenu},
        {MenuId::VideoSettings, &VideoSettingsMenu}, {MenuId::Audio, &AudioMenu},
        {MenuId::Window, &WindowMenu}, {MenuId::Help, &HelpMenu}};
    for (const auto& [id, menu] : menus)
        *menu = bar->addMenu(menuCaption(id));
    AudioMenu->setObjectName(QStringLiteral("AudioMenu"));
    AudioMenu->setToolTipsVisible(true);
    auto menuOf = [&menus](MenuId id) {
        for (const auto& [m, menu] : menus)
            if (m == id)
                return *menu;
        return static_cast<QMenu*>(nullptr);
    };
    for (const MenuRow& row : menuRows()) {
        QMenu* menu = menuOf(row.menu);
        switch (row.kind) {
        case MenuRow::Kind::Separator: menu->addSeparator(); break;
        case MenuRow::Kind::Item: addItem(menu, row); break;
        case MenuRow::Kind::SampleRates:
            SampleRateMenu = new QMenu(QStringLiteral("Sample &Rate"), menu);
            SampleRateMenu->setObjectName(QStringLiteral("SampleRateMenu"));
            menu->addMenu(SampleRateMenu);
            for (int32_t hz : kAudioRates) {
                QAction* a = SampleRateMenu->addAction(QStringLiteral("%1 Khz").arg(hz / 1000));
                a->setCheckable(true);
                a->setData(hz);
                m_sampleRateItems.append(a);
            }
            break;
        }
    }

    // The rates are choices of one list, not commands.
    for (QAction* item : std::as_const(m_sampleRateItems))
        connect(item, &QAction::triggered, this, [this, item] {
            for (QAction* a : std::as_const(m_sampleRateItems))
                a->setChecked(false);
            m_moviePanel->setAudioRateEntry(static_cast<int>(m_sampleRateItems.indexOf(item)));
            item->setChecked(true);
        });
    registerOwnCommands();

    EffectsMenu = new QMenu(this);
    EffectsMenu->setObjectName(QStringLiteral("EffectsMenu"));
    for (const char* c : {"Flip Vertical", "Flip Horizontal", "-", "Grayscale", "Negative Image", "-", "Soften",
                          "Sharpen", "Diffuse", "Emboss", "Lighting Effect", "Solarize"}) {
        if (QLatin1String(c) == QLatin1String("-")) {
            EffectsMenu->addSeparator();
        } else {
            QAction* a = EffectsMenu->addAction(QString::fromLatin1(c));
            a->setCheckable(true);
        }
    }
}

void MainWindow::registerOwnCommands()
{
    // The commands this window carries out itself; the application and the
    // capture controller register theirs.
    const auto own = [this](Command c, std::function<void()> work) {
        m_commands->registerHandler(c, this, std::move(work));
    };
    own(Command::MovieMode, [this] { SelectMovieMode(); });
    own(Command::ImageMode, [this] { SelectImageMode(); });
    own(Command::MultipleMode, [this] { SelectMultipleMode(); });
    own(Command::Exit, [this] { close(); });

    own(Command::Overlay, [this] { m_videoScreen->Overlay(); });
    own(Command::Preview, [this] { m_videoScreen->Preview(m_model.settings().PreviewRate); });

    own(Command::VideoSource, [this] { m_videoScreen->VideoSource(); refreshResolutionPanel(); });
    own(Command::VideoFormat, [this] { m_videoScreen->VideoFormat(); refreshResolutionPanel(); });
    own(Command::VideoDisplay, [this] { m_videoScreen->VideoDisplay(); refreshResolutionPanel(); });
    own(Command::Compression, [this] { m_videoScreen->VideoCompressionDialog(); });

    own(Command::AudioOff, [this] { SetAudioCapture(false); });
    own(Command::AudioOn, [this] { SetAudioCapture(true); });
    own(Command::Mono, [this] { m_moviePanel->setAudioChannelsEntry(0); });
    own(Command::Stereo, [this] { m_moviePanel->setAudioChannelsEntry(1); });
    own(Command::Bits8, [this] { m_moviePanel->setAudioBitsEntry(0); });
    own(Command::Bits16, [this] { m_moviePanel->setAudioBitsEntry(1); });
    own(Command::RecordingSettings, [] {
        QProcess::startDetached(QStringLiteral("pavucontrol"), {QStringLiteral("--tab=4")});
    });
    own(Command::Volume, [] { QProcess::startDetached(QStringLiteral("pavucontrol"), {}); });

    own(Command::TileHorizontal, [this] {
        // Stack the children one above the other, each as wide as the area.
        const auto subs = m_mdi->subWindowList();
        if (subs.isEmpty())
            return;
        const int hgt = m_mdi->viewport()->height() / static_cast<int>(subs.size());
        int y = 0;
        for (QMdiSubWindow* s : subs) {
            s->setGeometry(0, y, m_mdi->viewport()->width(), hgt);
            y += hgt;
        }
    });
    own(Command::TileVertical, [this] { m_mdi->tileSubWindows(); });
    own(Command::Cascade, [this] {
        // Cascading gives each window the size it asks for, area or not.
        m_mdi->cascadeSubWindows();
        SubWindowFit::fitInPlace(m_mdi);
    });
    own(Command::Arrange, [this] { arrangeIcons(); });

    own(Command::Help, [this] { openHelpPage(this); });
    // The program's web page is the help page that comes with it.
    own(Command::Web, [this] { openWebPage(this); });
}

// What the panels ask for, the window carries out.
void MainWindow::connectPanels()
{
    connect(m_statusPanel, &StatusPanel::addressClicked, this, [this] { openWebPage(this); });
    connect(m_moviePanel, &MoviePanel::audioChannelsShown, this, [this](int i) {
        action(Command::Mono)->setChecked(i == 0);
        action(Command::Stereo)->setChecked(i == 1);
    });
    connect(m_moviePanel, &MoviePanel::audioBitsShown, this, [this](int i) {
        action(Command::Bits8)->setChecked(i == 0);
        action(Command::Bits16)->setChecked(i == 1);
    });
    connect(m_moviePanel, &MoviePanel::audioRateShown, this, [this](int i) {
        for (QAction* a : std::as_const(m_sampleRateItems))
            a->setChecked(m_sampleRateItems.indexOf(a) == i);
    });
    connect(m_moviePanel, &MoviePanel::audioCaptureShown, this, [this](bool on) {
        action(Command::AudioOn)->setChecked(on);
        action(Command::AudioOff)->setChecked(!on);
    });
    // The menu marks of the lists' start entries.
    action(Command::Mono)->setChecked(true);
    action(Command::Bits8)->setChecked(true);
    m_sampleRateItems.first()->setChecked(true);
    connect(m_moviePanel, &MoviePanel::fileNameChosen, this, [this] {
        m_videoScreen->SetFilename(m_model.fileName());
        setPanelText(QStringLiteral("filename"), QStringLiteral("Filename: ") + m_model.fileName());
    });
    connect(m_moviePanel, &MoviePanel::compressionRequested, this, [this] { dispatch(Command::Compression); });
    connect(m_seriesPanel, &SeriesPanel::compressionRequested, this, [this] { dispatch(Command::Compression); });
    connect(m_moviePanel, &MoviePanel::commandRequested, this, &MainWindow::commandRequested);
    connect(m_seriesPanel, &SeriesPanel::commandRequested, this, &MainWindow::commandRequested);
    connect(m_seriesPanel, &SeriesPanel::fileNameShown, this,
            [this](const QString& text) { setPanelText(QStringLiteral("filename"), text); });
    connect(m_seriesPanel, &SeriesPanel::effectsMenuRequested, EffectsMenu, [this](QPoint at) { EffectsMenu->popup(at); });
    for (StampPanel* stamps : {m_imageStamps, &m_seriesPanel->stamps()})
        connect(stamps, &StampPanel::colorRequested, this, &MainWindow::chooseStampColor);
}

QString MainWindow::panelText(const QString& key) const
{
    return m_statusPanel->panelText(key);
}

void MainWindow::setPanelText(const QString& key, const QString& text) { m_statusPanel->setPanelText(key, text); }

void MainWindow::setStatusString(const QString& text) { m_model.setStatusText(text); }

// --- Load -----------------------------------------------------------------

bool MainWindow::mixerAvailable() { return !QStandardPaths::findExecutable(QStringLiteral("pavucontrol")).isEmpty(); }

void MainWindow::load(const QString& commandLine)
{
    // 1. The cool bar stays hidden until the window is first activated.
    MasterBar->hide();
    // 2. The mixer items need the mixer program.
    // A disabled item says what would enable it.
    m_mixerFound = mixerAvailable();
    refreshCommandStates();
    const QString why = m_mixerFound ? QString() : QStringLiteral("Install the pavucontrol package to use this item");
    for (Command c : {Command::RecordingSettings, Command::Volume}) {
        action(c)->setToolTip(why); // empty: the item's own text
        action(c)->setStatusTip(why);
    }
    // 3. Caption.
    setWindowTitle(programTitle() + QStringLiteral(" Version") + withBlank(kVersionMajor) + QLatin1Char('.')
                   + QString::number(kVersionMinor));
    // 4. Size, or the size and place it had when the program last ended.
    resize(650, 480);
    windowplaces::restoreMain(*this);
    // 5. Preview rates.
    const int16_t rate = m_model.settings().PreviewRate; // filling the list moves the entry
    previewrate->clear();
    for (int i = 1; i <= kPreviewRates; ++i)
        previewrate->addItem(twoDigits(i) + QStringLiteral(" FPS"));
    previewrate->setCurrentIndex(rate < 1 ? 11 : std::min(kPreviewRates - 1, rate - 1));
    // 6. Series frame rates.
    m_seriesPanel->fillFrameRates(kSeriesMovieRates);
    // 7. First entries, manual trigger.
    m_seriesPanel->resetFileType();
    m_imageStamps->resetPositions();
    m_seriesPanel->stamps().resetPositions();
    m_seriesPanel->setTrigger(TriggerKind::Manual);
    // 8. Swatches.
    refreshSwatches();
    // 9. Devices: connect the first capture driver of the menu; the menu
    // follows cameras coming and going.
    m_deviceMenu->fill();
    connect(new DeviceWatcher(this), &DeviceWatcher::changed, m_deviceMenu, &DeviceMenu::devicesChanged);
    m_deviceMenu->connectFirstDriver();
    // A sandboxed program that may not use the cameras says so, now or
    // when the camera portal answers.
    if (pipewire::portalRefused())
        setStatusString(pipewire::portalRefusal());
    connect(&pipewire::portalAccess(), &pipewire::PortalAccess::answered, this, [this] {
        if (pipewire::portalRefused())
            setStatusString(pipewire::portalRefusal());
    });
    // 10. The capture file name.
    TakeFilenameFromVideoWindow();
    // 11. The last session, else Movie mode.
    const QString lastSession = m_model.programDirectory() + QStringLiteral("lvsr.lv2");
    if (QFileInfo::exists(lastSession) && readParameters)
        readParameters(lastSession);
    else
        SelectMovieMode();
    // 12. The command-line file.
    if (!commandLine.isEmpty()) {
        if (QFileInfo(commandLine).isFile() && readParameters)
            readParameters(commandLine);
        else
            dialogs().message(QStringLiteral("Cannot open ") + commandLine, Dialogs::Icon::Warning, Dialogs::Buttons::Ok,
                              {}, this);
    }
    MasterTimer.start();
    m_videoScreen->setSettingsLoaded();
    m_loaded = true;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    settings::save(QStringLiteral("LV"), QStringLiteral("LV"), QStringLiteral("PUMV"), m_model.preferences().PopUpMovieViewer);
    settings::save(QStringLiteral("LV"), QStringLiteral("LV"), QStringLiteral("AP"), m_model.preferences().Autoplay);
    settings::save(QStringLiteral("LV"), QStringLiteral("LV"), QStringLiteral("ES"), m_model.preferences().SystemSounds);
    if (writeParameters)
        writeParameters(m_model.programDirectory() + QStringLiteral("lvsr.lv2"));
    const auto answer = dialogs().message(QStringLiteral("Are you sure you want to quit ?"), Dialogs::Icon::Question,
                                          Dialogs::Buttons::YesNo, programTitle(), this);
    if (answer != Dialogs::Answer::Yes) {
        event->ignore();
        return;
    }
    // Edited pictures are not thrown away without their owner's word.
    for (QMdiSubWindow* sub : m_mdi->subWindowList())
        if (auto* editor = qobject_cast<ImageEditor*>(sub->widget()); editor && !editor->mayDiscard()) {
            event->ignore();
            return;
        }
    windowplaces::saveMain(*this);
    windowplaces::saveChildren(*m_mdi);
    m_videoScreen->Disconnect();
    MasterTimer.stop();
    event->accept();
}

// --- Modes ----------------------------------------------------------------

QString MainWindow::visibleBand() const
{
    if (!m_moviePanel->isHidden())
        return QStringLiteral("movie");
    if (!m_imageBand->isHidden())
        return QStringLiteral("image");
    if (!m_seriesPanel->isHidden())
        return QStringLiteral("multiple");
    return {};
}

void MainWindow::showBand(const QString& key)
{
    for (QWidget* band : {static_cast<QWidget*>(m_moviePanel), m_imageBand, static_cast<QWidget*>(m_seriesPanel)})
        band->setVisible(band->property("bandKey").toString() == key);
}

void MainWindow::setRecordButton(const QString& image, const QString& caption)
{
    OperationBar->setImageKey(QStringLiteral("record"), image);
    if (!caption.isEmpty()) {
        QAction* a = OperationBar->button(QStringLiteral("record"));
        a->setText(caption);
        a->setIconText(caption);
    }
}

void MainWindow::selectMode(const QString& band, const QString& image, const QString& caption)
{
    setRecordButton(image, caption);
    showBand(band);
    // The group releases the other two.
    MainToolbar->setPressed(band, true);
    // The time limit is on after every selection of Movie mode.
    if (band == QLatin1String("movie"))
        m_moviePanel->setLimit(true);
    UpdateFilenameExtension();
    m_binding->pull();
}

void MainWindow::SelectMovieMode() { selectMode(QStringLiteral("movie"), QStringLiteral("record"), QStringLiteral("Rec/Stop")); }
void MainWindow::SelectImageMode() { selectMode(QStringLiteral("image"), QStringLiteral("pause"), QStringLiteral("Capture")); }
void MainWindow::SelectMultipleMode()
{
    selectMode(QStringLiteral("multiple"), QStringLiteral("record"), QStringLiteral("Rec/Stop"));
}

StampPanel& MainWindow::stampPanel(bool series) const { return series ? m_seriesPanel->stamps() : *m_imageStamps; }

void MainWindow::UpdateFilenameExtension()
{
    auto replaceLastThree = [this](const QString& ext) {
        const QString old = m_model.fileName();
        const QString name = old.left(std::max<qsizetype>(0, old.size() - 3)) + ext;
        m_model.setFileName(name);
        setPanelText(QStringLiteral("filename"), QStringLiteral("Filename: ") + name);
    };
    const QString band = visibleBand();
    if (band == QLatin1String("movie")) {
        // The modern containers are movies too: their names stay.
        const QString ext = m_model.fileName().right(4).toLower();
        if (ext != QLatin1String(".mkv") && ext != QLatin1String(".mp4"))
            replaceLastThree(QStringLiteral("avi"));
    } else if (band == QLatin1String("image")) {
        setPanelText(QStringLiteral("filename"), QString());
    } else if (band == QLatin1String("multiple")) {
        switch (m_seriesPanel->fileType()) {
        case 0: replaceLastThree(QStringLiteral("avi")); break;
        case 2:
        case 4: replaceLastThree(QStringLiteral("jpg")); break;
        case 1:
        case 3: replaceLastThree(QStringLiteral("bmp")); break;
        case 5: setPanelText(QStringLiteral("filename"), QString()); break;
        default: break;
        }
    }
}

void MainWindow::AllControls(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{DeviceToolbar, previewrate, MainToolbar})
        w->setEnabled(enabled);
    m_moviePanel->setControlsEnabled(enabled);
    m_imageStamps->setToolbarEnabled(enabled);
    m_seriesPanel->setControlsEnabled(enabled);
}

// --- Panel handlers -------------------------------------------------------

void MainWindow::SetAudioCapture(bool on) { m_moviePanel->setAudioCapture(on); }

void MainWindow::DeviceMenuCommand(int index, const QString& key) { m_deviceMenu->choose(index, key); }

void MainWindow::enableOtherInfo()
{
    m_moviePanel->enableOtherInfo();
    m_seriesPanel->enableOtherInfo();
}

void MainWindow::chooseStampColor(int which)
{
    auto field = [which](CaptureSettings& c) -> uint32_t& {
        return which == 0 ? c.TimeColor : which == 1 ? c.DateColor : c.TextColor;
    };
    CaptureSettings now = m_model.settings();
    if (const auto c = dialogs().chooseColor(panelparts::colorFromPacked(field(now)), this))
        m_model.edit([&](CaptureSettings& s) { field(s) = panelparts::packedFromColor(*c); });
    refreshSwatches();
}

void MainWindow::refreshSwatches()
{
    m_imageStamps->refreshSwatches();
    m_seriesPanel->stamps().refreshSwatches();
}

// --- Model binding --------------------------------------------------------

void MainWindow::bindModel()
{
    // The panels bind their own fields; the window's are the mode its band shows and the preview rate.
    m_binding = std::make_unique<PanelBinding>(
        m_model, this,
        PanelBinding::Fields{[this](CaptureSettings& c) {
                                 const QString band = visibleBand();
                                 if (band == QLatin1String("movie"))
                                     c.Capture = CaptureKind::Movie;
                                 else if (band == QLatin1String("image"))
                                     c.Capture = CaptureKind::SingleImage;
                                 else if (band == QLatin1String("multiple"))
                                     c.Capture = CaptureKind::MultipleImage;
                                 else
                                     c.Capture.reset();
                                 if (previewrate->currentIndex() >= 0) // the list is filled when the window loads
                                     c.PreviewRate = static_cast<int16_t>(previewrate->currentIndex() + 1);
                             },
                             [this](const CaptureSettings& c) { panelparts::showIndex(previewrate, c.PreviewRate - 1); },
                             [](const CaptureSettings& a, const CaptureSettings& b) {
                                 return a.Capture == b.Capture && a.PreviewRate == b.PreviewRate;
                             }});
    m_binding->pullOn(previewrate, qOverload<int>(&QComboBox::currentIndexChanged));
    connect(&m_model, &CaptureModel::runStateChanged, this, &MainWindow::showRunState);
}

void MainWindow::showRunState()
{
    const bool idle = m_model.runState() == RunState::Idle;
    setRecordButton(!idle ? QStringLiteral("stop")
                    : visibleBand() == QLatin1String("image") ? QStringLiteral("pause")
                                                              : QStringLiteral("record"));
}

// --- Devices --------------------------------------------------------------

void MainWindow::TakeFilenameFromVideoWindow()
{
    m_model.setFileName(m_videoScreen->GetFilename());
    if (m_model.fileName().toLower() == QLatin1String("error"))
        m_model.setFileName(m_model.programDirectory() + QStringLiteral("lumivark.avi"));
}

void MainWindow::refreshResolutionPanel() { m_videoScreen->RefreshWindow(); }

void MainWindow::viewMode(bool overlay)
{
    if (overlay)
        m_videoScreen->Overlay();
    else
        m_videoScreen->Preview(m_model.settings().PreviewRate);
    updateViewButtons();
}

void MainWindow::updateViewButtons()
{
    // The device's own report decides; when it reports neither, the buttons stay as they were.
    const CaptureStatus& s = m_videoScreen->status();
    const QScopedValueRollback guard(m_showingViewMode, true);
    if (s.fLiveWindow == 1) {
        DeviceToolbar->setPressed(QStringLiteral("overlay"), false);
        DeviceToolbar->setPressed(QStringLiteral("preview"), true);
    } else if (s.fOverlayWindow == 1) {
        DeviceToolbar->setPressed(QStringLiteral("overlay"), true);
        DeviceToolbar->setPressed(QStringLiteral("preview"), false);
    } else {
        // A click toggles a check button; put it back to what it showed.
        DeviceToolbar->setPressed(QStringLiteral("overlay"), false);
        DeviceToolbar->setPressed(QStringLiteral("preview"), false);
    }
}

void MainWindow::PreviewRateClicked(int index)
{
    m_model.edit([index](CaptureSettings& c) { c.PreviewRate = static_cast<int16_t>(index + 1); });
    m_videoScreen->Preview(m_model.settings().PreviewRate);
    updateViewButtons();
}

void MainWindow::FullScreen(bool fromButton)
{
    if (fromButton)
        setStatusString(QStringLiteral("Fullscreen..."));
    dispatch(Command::FullScreen);
    if (fromButton)
        setStatusString(QString());
}

void MainWindow::RecordButtonClicked()
{
    dispatch(Command::Record);
}

// --- Timers ---------------------------------------------------------------

void MainWindow::masterTimerTick()
{
    if (m_model.fileName().isEmpty())
        m_model.setFileName(defaultMovieFolder() + QStringLiteral("capture.avi"));
    const bool capturing = m_videoScreen->status().fCapturingNow == 1;
    const bool renamed = m_model.fileName() != m_panelsFileName;
    if (!capturing && renamed) {
        // The page a click on this panel opens: an address, never a path of this machine.
        const QString address = homePage().isEmpty() ? QStringLiteral("Help") : homePage();
        const QString tip = homePage().isEmpty() ? QStringLiteral("Open the help page") : homePage();
        setPanelText(QStringLiteral("filesize"), address);
        m_statusPanel->setPanelToolTip(QStringLiteral("filesize"), tip);
    }
    // Every idle tick, not only on a new name: a mode that blanks the panel (Single Image,
    // clipboard series) gets the name back here. As it is: on Linux another case names another file.
    if (!capturing)
        setPanelText(QStringLiteral("filename"), QStringLiteral("Filename: ") + m_model.fileName());
    // Free space at once for a new name, every tick while recording, and
    // every five seconds otherwise.
    constexpr int kIdleFreeSpaceTicks = 50;
    if (renamed || capturing || ++m_ticksSinceFreeSpace >= kIdleFreeSpaceTicks) {
        m_ticksSinceFreeSpace = 0;
        const int64_t free = capturing ? m_run.FreeSpaceNow : freeDiskSpace(m_model.fileName());
        if (free <= 1048576)
            setPanelText(QStringLiteral("diskcap"), QStringLiteral("Disk Full (< 1Mb)"));
        else
            setPanelText(QStringLiteral("diskcap"), QStringLiteral("Free Space : %1 Mb").arg(free / 1048576));
    }
    // After a recording the idle panels are written again.
    m_panelsFileName = capturing ? QString() : m_model.fileName();
    if (m_recordingEndPending)
        showRecordingEnd();
}

void MainWindow::masterTimer2Tick()
{
    const bool statusExpires = m_model.statusColor() != QColor(255, 255, 255);
    if (m_model.expireStatus()) {
        if (statusExpires)
            m_statusPanel->showStatusExpired();
        MasterTimer2.stop();
    }
}

} // namespace lv
