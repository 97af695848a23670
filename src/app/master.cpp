#include "app/master.h"
#include "app/menutable.h"
#include "app/commandicons.h"
#include "app/commandstates.h"
#include "app/dispatcher.h"
#include "app/recordingindicator.h"
#include "app/typednumbers.h"
#include "app/videoscreen.h"
#include "app/windowplaces.h"
#include "base/dialogs.h"
#include "base/diskspace.h"
#include "base/programdirectory.h"
#include "base/settingsstore.h"
#include "base/ui/subwindowfit.h"
#include "base/version.h"
#include "capture/capturetiming.h"
#include "capture/ui/capturewindow.h"
#include "capture/drivercatalogue.h"
#include "capture/devicewatcher.h"
#include "capture/pipewire/pwportal.h"
#include "capture/recordingstatus.h"
#include "image/ui/image.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <tuple>
#include <utility>

// Defined with the application.
Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace lv {

namespace {

const QStringList kPositions = {QStringLiteral("Top Left"),    QStringLiteral("Top Right"),
                                QStringLiteral("Top Center"),  QStringLiteral("Bottom Left"),
                                QStringLiteral("Bottom Right"), QStringLiteral("Bottom Center")};

QString twoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

// A number with a leading blank when not negative, as numbers become text here.
QString withBlank(qint64 v) { return v >= 0 ? QLatin1Char(' ') + QString::number(v) : QString::number(v); }

QColor colorFromPacked(uint32_t packed)
{
    return QColor(static_cast<int>(packed & 0xff), static_cast<int>((packed >> 8) & 0xff),
                  static_cast<int>((packed >> 16) & 0xff));
}

uint32_t packedFromColor(const QColor& c)
{
    return static_cast<uint32_t>(c.red()) + 256u * static_cast<uint32_t>(c.green())
        + 65536u * static_cast<uint32_t>(c.blue());
}

QSpinBox* upDown(const QString& name, int lo, int hi, QWidget* parent, const QString& spokenName)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setAccessibleName(spokenName); // what a screen reader says: the arrows carry no caption
    s->setRange(lo, hi);
    s->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    // An up-down: only its arrows show; the label beside it shows the value.
    s->setFixedWidth(18);
    s->setStyleSheet(QStringLiteral("QSpinBox { color: transparent; selection-color: transparent; }"));
    return s;
}

QLabel* display(const QString& name, const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QComboBox* list(const QString& name, const QStringList& entries, QWidget* parent, const QString& tip = {})
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->addItems(entries);
    if (!tip.isEmpty())
        c->setToolTip(tip);
    return c;
}

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

void ClickLabel::mousePressEvent(QMouseEvent* e)
{
    QLabel::mousePressEvent(e);
    emit clicked();
}

ColorSwatch::ColorSwatch(const QString& name, QWidget* parent)
    : QLabel(parent)
{
    setObjectName(name);
    setFixedSize(14, 14);
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    setPackedColor(0);
}

void ColorSwatch::setPackedColor(uint32_t packed)
{
    m_packed = packed;
    QPalette p = palette();
    p.setColor(QPalette::Window, colorFromPacked(packed));
    setPalette(p);
}

// ---------------------------------------------------------------------------

Master::Master(CaptureModel& model, RunRecord& run, QWidget* parent)
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
    connect(SubWindowFit::of(m_mdi), &SubWindowFit::roomWanted, this, &Master::makeRoomFor);
    right->addWidget(m_mdi, 1);
    h->addLayout(right, 1);
    setCentralWidget(central);
    buildStatusBar();

    // Toolbars in the bands keep room for all their buttons.
    for (KeyedToolBar* tb : {DeviceToolbar, OperationBar, MovieToolbar, ImageToolbar, MultipleImageToolbar,
                             MultipleImageToolbar2, TriggerType})
        tb->setFixedWidth(tb->sizeHint().width());

    m_videoScreen = new VideoScreen(*this);
    m_videoSub = m_mdi->addSubWindow(m_videoScreen, Qt::SubWindow | Qt::WindowTitleHint);
    m_videoSub->setObjectName(QStringLiteral("VideoScreenFrame"));
    m_videoSub->show();
    connect(m_videoScreen, &QWidget::windowTitleChanged, m_videoSub, &QWidget::setWindowTitle);

    MasterTimer.setInterval(100);
    connect(&MasterTimer, &QTimer::timeout, this, &Master::masterTimerTick);
    MasterTimer2.setInterval(3000);
    connect(&MasterTimer2, &QTimer::timeout, this, &Master::masterTimer2Tick);
    assignCommandIcons(*this);
    new RecordingIndicator(*this, m_videoScreen);
    for (auto [display, control] : {std::pair{MovieHoursDisplay, MovieHoursControl},
                                    std::pair{MovieMinutesDisplay, MovieMinutesControl},
                                    std::pair{MovieSecondsDisplay, MovieSecondsControl},
                                    std::pair{MultipleImageHoursDisplay, MultipleImageHoursControl},
                                    std::pair{MultipleImageMinutesDisplay, MultipleImageMinutesControl},
                                    std::pair{MultipleImageSecondsDisplay, MultipleImageSecondsControl}})
        acceptTyping(display, control);
    bindModel();
    wireCommandStates();
}

Master::~Master()
{
    // The handlers of the window's parts go with them; the half-gone window is not enabled again.
    m_commands->disconnect(this);
    disconnect(&m_model, &CaptureModel::runStateChanged, this, &Master::refreshCommandStates);
}

// --- Building -------------------------------------------------------------

QAction* Master::addItem(QMenu* menu, const MenuRow& row)
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

bool Master::dispatch(Command command) { return m_commands->dispatch(command); }

void Master::refreshCommandStates()
{
    CommandConditions c;
    for (int i = 0; i < kCommandCount; ++i)
        c.handled[static_cast<size_t>(i)] = m_commands->handles(static_cast<Command>(i));
    c.mixer = m_mixerFound;
    c.run = m_model.runState();
    applyCommandStates(*this, c);
}

void Master::wireCommandStates()
{
    connect(m_commands, &CommandDispatcher::handlersChanged, this, &Master::refreshCommandStates);
    connect(&m_model, &CaptureModel::runStateChanged, this, &Master::refreshCommandStates);
    refreshCommandStates();
}

QAction* Master::action(Command command) const { return m_actions[static_cast<size_t>(command)]; }

QAction* Master::sampleRateItem(int hz) const
{
    for (QAction* a : m_sampleRateItems)
        if (a->data().toInt() == hz)
            return a;
    return nullptr;
}

void Master::requestButtonCommand(const KeyedToolBar* toolbar, const QString& key)
{
    if (const std::optional<Command> c = toolbar->command(key))
        dispatch(*c);
    else
        qCWarning(lcApp) << "button without a command" << toolbar->objectName() << key;
}

void Master::buildMenus()
{
    m_commands = new CommandDispatcher(this);
    connect(this, &Master::commandRequested, m_commands, &CommandDispatcher::dispatch);
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
            AudioRate->setCurrentIndex(static_cast<int>(m_sampleRateItems.indexOf(item)));
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

void Master::registerOwnCommands()
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
    own(Command::Mono, [this] { AudioChannels->setCurrentIndex(0); });
    own(Command::Stereo, [this] { AudioChannels->setCurrentIndex(1); });
    own(Command::Bits8, [this] { AudioBits->setCurrentIndex(0); });
    own(Command::Bits16, [this] { AudioBits->setCurrentIndex(1); });
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

void Master::arrangeIcons()
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

void Master::buildLeftPanel()
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

void Master::buildMasterBar()
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
    DeviceMenu = new QMenu(this);
    DeviceMenu->setObjectName(QStringLiteral("DeviceMenu"));
    device->setMenu(DeviceMenu);
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
    connect(DeviceMenu, &QMenu::triggered, this, [this](QAction* a) {
        DeviceMenuCommand(static_cast<int>(DeviceMenu->actions().indexOf(a)), a->data().toString());
    });
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
    connect(previewrate, qOverload<int>(&QComboBox::activated), this, &Master::PreviewRateClicked);
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

    StatusPanel = new QWidget(band2);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    auto* sp = new QHBoxLayout(StatusPanel);
    sp->setContentsMargins(0, 0, 0, 0);
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(8);
    StatusPanel->setFont(arial);
    auto pair = [&](const QString& caption, QLabel*& captionLabel, QLabel*& value, const QString& valueName,
                    const QString& design) {
        auto* col = new QWidget(StatusPanel);
        auto* cl = new QHBoxLayout(col);
        cl->setContentsMargins(0, 0, 0, 0);
        captionLabel = new QLabel(caption, col);
        captionLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        value = new QLabel(design, col);
        value->setObjectName(valueName);
        value->setAutoFillBackground(true);
        QPalette p = value->palette();
        p.setColor(QPalette::Window, Qt::black);
        p.setColor(QPalette::WindowText, Qt::white);
        value->setPalette(p);
        cl->addWidget(captionLabel);
        cl->addWidget(value, 1);
        sp->addWidget(col, 1);
    };
    QLabel* timeCaption = nullptr;
    QLabel* droppedCaption = nullptr;
    pair(QStringLiteral("Capture Time:"), timeCaption, StatusTime, QStringLiteral("StatusTime"),
         QStringLiteral("00:00:00.00"));
    pair(QStringLiteral("Dropped Frames:"), droppedCaption, DroppedString, QStringLiteral("DroppedString"),
         QStringLiteral("-"));
    pair(QStringLiteral("Driver Status:"), StatusCaption, StatusString, QStringLiteral("StatusString"), {});
    StatusCaption->setObjectName(QStringLiteral("StatusCaption"));
    b2->addWidget(StatusPanel, 1);
    v->addWidget(band2);

    MoviePanel = buildMoviePanel();
    ImagePanel = buildImagePanel();
    MultipleImagePanel = buildMultiplePanel();
    v->addWidget(MoviePanel);
    v->addWidget(ImagePanel);
    v->addWidget(MultipleImagePanel);
    ImagePanel->hide();
    MultipleImagePanel->hide();
}

QWidget* Master::newBand(const QString& name, const QString& key)
{
    auto* band = new QWidget(MasterBar);
    band->setObjectName(name);
    band->setProperty("bandKey", key);
    return band;
}

QWidget* Master::buildMoviePanel()
{
    QWidget* panel = newBand(QStringLiteral("MoviePanel"), QStringLiteral("movie"));
    auto* h = new QHBoxLayout(panel);
    h->setContentsMargins(0, 0, 0, 0);
    MovieToolbar = new KeyedToolBar(QStringLiteral("MovieToolbar"), panel);
    MovieToolbar->addButton(QStringLiteral("filename"), QStringLiteral("Set AVI Filename"));
    MovieToolbar->addButton(QStringLiteral("audio"), QStringLiteral("Capture Audio"), {}, true);
    MovieToolbar->addButton(QStringLiteral("writeinfo"), QStringLiteral("Write Other Information"), {}, true);
    MovieToolbar->addButton(QStringLiteral("otherinfo"), QStringLiteral("Edit Other Information"));
    MovieToolbar->addButton(QStringLiteral("compression"), QStringLiteral("Video Compression"));
    MovieToolbar->button(QStringLiteral("otherinfo"))->setEnabled(false);
    h->addWidget(MovieToolbar);

    MovieFrameRateControl = upDown(QStringLiteral("MovieFrameRateControl"), 1, 40, panel, QStringLiteral("Frame rate"));
    MovieFrameRateDisplay = new ClickLabel(QStringLiteral(" 0 fps"), panel);
    MovieFrameRateDisplay->setObjectName(QStringLiteral("MovieFrameRateDisplay"));
    MovieFrameRateDisplay->setToolTip(QStringLiteral("Frame Rate, double-click to 29.97 FPS"));
    MovieFrameRateDisplay->setMinimumWidth(MovieFrameRateDisplay->fontMetrics().horizontalAdvance(QStringLiteral(" 29.97 fps")));
    h->addWidget(MovieFrameRateDisplay);
    h->addWidget(MovieFrameRateControl);
    h->addSpacing(6);
    MovieHoursDisplay = display(QStringLiteral("MovieHoursDisplay"), QStringLiteral("00"), panel);
    MovieHoursControl = upDown(QStringLiteral("MovieHoursControl"), 0, 59, panel, QStringLiteral("Time limit hours"));
    MovieMinutesDisplay = display(QStringLiteral("MovieMinutesDisplay"), QStringLiteral("00"), panel);
    MovieMinutesControl = upDown(QStringLiteral("MovieMinutesControl"), 0, 59, panel, QStringLiteral("Time limit minutes"));
    MovieSecondsDisplay = display(QStringLiteral("MovieSecondsDisplay"), QStringLiteral("00"), panel);
    MovieSecondsControl = upDown(QStringLiteral("MovieSecondsControl"), 0, 59, panel, QStringLiteral("Time limit seconds"));
    for (QWidget* w : std::initializer_list<QWidget*>{MovieHoursDisplay, MovieHoursControl, MovieMinutesDisplay,
                                                      MovieMinutesControl, MovieSecondsDisplay, MovieSecondsControl})
        h->addWidget(w);
    MovieDisableLimit = new QCheckBox(QStringLiteral("No Limit"), panel);
    MovieDisableLimit->setObjectName(QStringLiteral("MovieDisableLimit"));
    MovieDisableLimit->setToolTip(QStringLiteral("Manual Stop, unlimited movie duration"));
    h->addWidget(MovieDisableLimit);
    AudioChannels = list(QStringLiteral("AudioChannels"), {QStringLiteral("Mono"), QStringLiteral("Stereo")}, panel);
    AudioBits = list(QStringLiteral("AudioBits"), {QStringLiteral("8 bit"), QStringLiteral("16 bit")}, panel);
    QStringList rates;
    for (int32_t hz : kAudioRates)
        rates << QStringLiteral("%1 Hz").arg(hz, 5);
    AudioRate = list(QStringLiteral("AudioRate"), rates, panel);
    AudioChannels->setAccessibleName(QStringLiteral("Channels"));
    AudioBits->setAccessibleName(QStringLiteral("Bits"));
    AudioRate->setAccessibleName(QStringLiteral("Sample rate"));
    h->addWidget(AudioChannels);
    h->addWidget(AudioBits);
    h->addWidget(AudioRate);
    h->addStretch();

    connect(MovieFrameRateControl, qOverload<int>(&QSpinBox::valueChanged), this, &Master::setMovieFrameRateFromControl);
    connect(MovieFrameRateDisplay, &ClickLabel::clicked, this, &Master::frameRateDisplayClicked);
    for (QSpinBox* s : {MovieHoursControl, MovieMinutesControl, MovieSecondsControl})
        connect(s, qOverload<int>(&QSpinBox::valueChanged), this, &Master::durationChanged);
    connect(MovieDisableLimit, &QCheckBox::toggled, this, [this](bool noLimit) {
        for (QWidget* w : std::initializer_list<QWidget*>{MovieHoursControl, MovieMinutesControl, MovieSecondsControl,
                                                          MovieHoursDisplay, MovieMinutesDisplay, MovieSecondsDisplay})
            w->setEnabled(!noLimit);
    });
    connect(AudioChannels, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
        action(Command::Mono)->setChecked(i == 0);
        action(Command::Stereo)->setChecked(i == 1);
    });
    connect(AudioBits, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
        action(Command::Bits8)->setChecked(i == 0);
        action(Command::Bits16)->setChecked(i == 1);
    });
    connect(AudioRate, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
        for (QAction* a : std::as_const(m_sampleRateItems))
            a->setChecked(m_sampleRateItems.indexOf(a) == i);
    });
    // However the sound button is pressed, the lists and the menu follow.
    connect(MovieToolbar->button(QStringLiteral("audio")), &QAction::toggled, this, &Master::SetAudioCapture);
    connect(MovieToolbar, &KeyedToolBar::buttonClicked, this, [this](const QString& key) {
        if (key == QLatin1String("filename")) {
            const QString name = dialogs().saveFile(QStringLiteral("Set Movie Clip filename..."),
                                                    QStringLiteral("Movie Clips (*.AVI)|*.avi|Matroska Movie (*.MKV)|*.mkv|"
                                                                   "MP4 Movie (*.MP4)|*.mp4"),
                                                    m_model.fileName(), this);
            if (!name.isEmpty())
                m_model.setFileName(name);
            m_videoScreen->SetFilename(m_model.fileName());
            setPanelText(QStringLiteral("filename"), QStringLiteral("Filename: ") + m_model.fileName());
        } else if (key != QLatin1String("writeinfo") && key != QLatin1String("audio")) {
            requestButtonCommand(MovieToolbar, key);
        }
    });
    // Start values: the handlers above keep displays and menu marks in step.
    AudioChannels->setCurrentIndex(-1);
    AudioChannels->setCurrentIndex(0);
    AudioBits->setCurrentIndex(-1);
    AudioBits->setCurrentIndex(0);
    AudioRate->setCurrentIndex(-1);
    AudioRate->setCurrentIndex(0);
    MovieSecondsControl->setValue(30);
    return panel;
}

void Master::buildStampControls(QWidget* panel, QBoxLayout* row, const QString& prefix, const QString& toolbarName,
                                KeyedToolBar*& toolbar, ColorSwatch*& timeColor, QComboBox*& timePosition,
                                ColorSwatch*& dateColor, QComboBox*& datePosition, ColorSwatch*& textColor,
                                QComboBox*& textPosition, QLineEdit*& text)
{
    toolbar = new KeyedToolBar(toolbarName, panel);
    toolbar->addButton(QStringLiteral("time"), QStringLiteral("Insert Time"), {}, true);
    toolbar->addButton(QStringLiteral("timecolor"), QStringLiteral("Time Color"));
    toolbar->addButton(QStringLiteral("date"), QStringLiteral("Insert Date"), {}, true);
    toolbar->addButton(QStringLiteral("datecolor"), QStringLiteral("Date Color"));
    toolbar->addButton(QStringLiteral("text"), QStringLiteral("Insert Text"), {}, true);
    toolbar->addButton(QStringLiteral("textcolor"), QStringLiteral("Text Color"));
    row->addWidget(toolbar);
    timeColor = new ColorSwatch(prefix + QStringLiteral("TimeColor"), panel);
    timePosition = list(prefix + QStringLiteral("TimePosition"), kPositions, panel);
    dateColor = new ColorSwatch(prefix + QStringLiteral("DateColor"), panel);
    datePosition = list(prefix + QStringLiteral("DatePosition"), kPositions, panel);
    textColor = new ColorSwatch(prefix + QStringLiteral("TextColor"), panel);
    textPosition = list(prefix + QStringLiteral("TextPosition"), kPositions, panel);
    text = new QLineEdit(panel);
    text->setObjectName(prefix + QStringLiteral("Text"));
    text->setAccessibleName(QStringLiteral("Text"));
    timePosition->setAccessibleName(QStringLiteral("Time position"));
    datePosition->setAccessibleName(QStringLiteral("Date position"));
    textPosition->setAccessibleName(QStringLiteral("Text position"));
    text->setToolTip(QStringLiteral("Use &DATE = Current date , &TIME = Current Time, &FRM& = Image Number"));
    for (QWidget* w : std::initializer_list<QWidget*>{timeColor, timePosition, dateColor, datePosition, textColor,
                                                      textPosition})
        row->addWidget(w);
    row->addWidget(text, 1);
    // Both panels' colour buttons act on the shared stamp colours.
    connect(toolbar, &KeyedToolBar::buttonClicked, this, [this](const QString& key) {
        if (key == QLatin1String("timecolor"))
            chooseStampColor(0);
        else if (key == QLatin1String("datecolor"))
            chooseStampColor(1);
        else if (key == QLatin1String("textcolor"))
            chooseStampColor(2);
    });
}

QWidget* Master::buildImagePanel()
{
    QWidget* panel = newBand(QStringLiteral("ImagePanel"), QStringLiteral("image"));
    auto* h = new QHBoxLayout(panel);
    h->setContentsMargins(0, 0, 0, 0);
    buildStampControls(panel, h, QStringLiteral("Image"), QStringLiteral("ImageToolbar"), ImageToolbar, ImageTimeColor,
                       ImageTimePosition, ImageDateColor, ImageDatePosition, ImageTextColor, ImageTextPosition, ImageText);
    return panel;
}

QWidget* Master::buildMultiplePanel()
{
    QWidget* panel = newBand(QStringLiteral("MultipleImagePanel"), QStringLiteral("multiple"));
    auto* v = new QVBoxLayout(panel);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(1);
    auto* row1 = new QHBoxLayout;
    auto* row2 = new QHBoxLayout;
    v->addLayout(row1);
    v->addLayout(row2);

    MultipleImageMode = list(QStringLiteral("MultipleImageMode"),
                             {QStringLiteral("Movie file (.AVI)"), QStringLiteral("Multiple Bitmap file (.BMP)"),
                              QStringLiteral("Multiple JPEG file (.JPG)"), QStringLiteral("Refresh Same Bitmap file (.BMP)"),
                              QStringLiteral("Refresh Same JPEG file (.JPG)"), QStringLiteral("Put On Clipboard")},
                             panel, QStringLiteral("File type selection"));
    MultipleImageFrameRate = list(QStringLiteral("MultipleImageFrameRate"), {}, panel,
                                  QStringLiteral("Frame Rate for Movie Viewer"));
    MultipleImageMode->setAccessibleName(QStringLiteral("File type"));
    MultipleImageFrameRate->setAccessibleName(QStringLiteral("Frame rate"));
    row1->addWidget(MultipleImageMode);
    row1->addWidget(MultipleImageFrameRate);

    TriggerType = new KeyedToolBar(QStringLiteral("TriggerType"), panel);
    TriggerType->addButton(QStringLiteral("manual"), QStringLiteral("Manual Trigger"), {}, true);
    TriggerType->addButton(QStringLiteral("timer"), QStringLiteral("Timer Trigger"), {}, true);
    TriggerType->addButton(QStringLiteral("motion"), QStringLiteral("Motion Trigger"), {}, true);
    TriggerType->makeExclusive({QStringLiteral("manual"), QStringLiteral("timer"), QStringLiteral("motion")});
    connect(TriggerType, &KeyedToolBar::buttonPressed, this, &Master::triggerClicked);
    connect(TriggerType, &KeyedToolBar::buttonClicked, this, &Master::triggerClicked);
    row1->addWidget(TriggerType);
    MultipleImageHoursDisplay = display(QStringLiteral("MultipleImageHoursDisplay"), QStringLiteral("00"), panel);
    MultipleImageHoursControl = upDown(QStringLiteral("MultipleImageHoursControl"), 0, 23, panel, QStringLiteral("Interval hours"));
    MultipleImageMinutesDisplay = display(QStringLiteral("MultipleImageMinutesDisplay"), QStringLiteral("00"), panel);
    MultipleImageMinutesControl = upDown(QStringLiteral("MultipleImageMinutesControl"), 0, 59, panel, QStringLiteral("Interval minutes"));
    MultipleImageSecondsDisplay = display(QStringLiteral("MultipleImageSecondsDisplay"), QStringLiteral("00"), panel);
    MultipleImageSecondsControl = upDown(QStringLiteral("MultipleImageSecondsControl"), 0, 59, panel, QStringLiteral("Interval seconds"));
    for (QWidget* w : std::initializer_list<QWidget*>{MultipleImageHoursDisplay, MultipleImageHoursControl,
                                                      MultipleImageMinutesDisplay, MultipleImageMinutesControl,
                                                      MultipleImageSecondsDisplay, MultipleImageSecondsControl})
        row1->addWidget(w);
    MotionLabel = new QLabel(QStringLiteral("Trigged by Motion"), panel);
    MotionLabel->setObjectName(QStringLiteral("MotionLabel"));
    row1->addWidget(MotionLabel);
    Shooter = new QPushButton(QStringLiteral("Shoot"), panel);
    Shooter->setObjectName(QStringLiteral("Shooter"));
    Shooter->setEnabled(false);
    row1->addWidget(Shooter);
    MultipleImageToolbar = new KeyedToolBar(QStringLiteral("MultipleImageToolbar"), panel);
    MultipleImageToolbar->addButton(QStringLiteral("filename"), QStringLiteral("Set Filename"), {}, false,
                                    QStringLiteral("filename"));
    MultipleImageToolbar->addButton(QStringLiteral("writeinfo"), QStringLiteral("Write Other Information"), {}, true);
    MultipleImageToolbar->addButton(QStringLiteral("otherinfo"), QStringLiteral("Edit Other Information"));
    MultipleImageToolbar->addButton(QStringLiteral("vidcompression"), QStringLiteral("Video Compression (CODEC)"));
    MultipleImageToolbar->addButton(QStringLiteral("netset"), QStringLiteral("Internet Settings"));
    MultipleImageToolbar->addButton(QStringLiteral("ftp"), QStringLiteral("Send a copy to FTP Server"), {}, true);
    MultipleImageToolbar->addButton(QStringLiteral("effects"), QStringLiteral("Image Effects"));
    connect(MultipleImageToolbar, &KeyedToolBar::buttonClicked, this, [this](const QString& key) {
        if (key == QLatin1String("filename")) {
            static QString filter = QStringLiteral("Movie Clips (*.AVI)|*.avi");
            const QString ext = m_model.fileName().right(3).toUpper();
            if (ext == QLatin1String("AVI"))
                filter = QStringLiteral("Movie Clips (*.AVI)|*.avi");
            else if (ext == QLatin1String("BMP"))
                filter = QStringLiteral("Bitmap Image File (*.BMP)|*.BMP");
            else if (ext == QLatin1String("JPG"))
                filter = QStringLiteral("JPEG Image File (*.JPG)|*.JPG");
            const QString name = dialogs().saveFile(QStringLiteral("Save as..."), filter, m_model.fileName(), this);
            if (!name.isEmpty())
                m_model.setFileName(name);
            setPanelText(QStringLiteral("filename"), QStringLiteral("Filename: ") + m_model.fileName());
        } else if (key == QLatin1String("effects")) {
            if (QWidget* w = MultipleImageToolbar->widgetForAction(MultipleImageToolbar->button(key)))
                EffectsMenu->popup(w->mapToGlobal(QPoint(0, w->height())));
        } else if (key != QLatin1String("writeinfo") && key != QLatin1String("ftp")) {
            requestButtonCommand(MultipleImageToolbar, key);
        }
    });
    MultipleImageToolbar->button(QStringLiteral("otherinfo"))->setEnabled(false);
    row2->addWidget(MultipleImageToolbar);
    buildStampControls(panel, row2, QStringLiteral("MultipleImage"), QStringLiteral("MultipleImageToolbar2"),
                       MultipleImageToolbar2, MultipleImageTimeColor, MultipleImageTimePosition, MultipleImageDateColor,
                       MultipleImageDatePosition, MultipleImageTextColor, MultipleImageTextPosition, MultipleImageText);
    row1->addStretch();

    connect(MultipleImageMode, qOverload<int>(&QComboBox::currentIndexChanged), this, &Master::multipleImageModeChanged);
    for (QSpinBox* s : {MultipleImageHoursControl, MultipleImageMinutesControl, MultipleImageSecondsControl})
        connect(s, qOverload<int>(&QSpinBox::valueChanged), this, &Master::intervalChanged);
    MultipleImageSecondsControl->setValue(10);
    triggerClicked(QStringLiteral("manual"));
    return panel;
}

void Master::buildStatusBar()
{
    MasterStatus = statusBar();
    MasterStatus->setObjectName(QStringLiteral("MasterStatus"));
    MasterStatus->setSizeGripEnabled(true);
    for (const char* key : {"filename", "resolution", "filesize", "diskcap"}) {
        QLabel* l = key == QByteArrayView("filesize") ? new ClickLabel(MasterStatus) : new QLabel(MasterStatus);
        l->setObjectName(QString::fromLatin1(key));
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        MasterStatus->addWidget(l, key == QByteArrayView("filename") ? 3 : 1);
        m_panels.insert(QString::fromLatin1(key), l);
    }
    connect(static_cast<ClickLabel*>(m_panels.value(QStringLiteral("filesize"))), &ClickLabel::clicked, this,
            [this] { openWebPage(this); });
}

QString Master::panelText(const QString& key) const
{
    const QLabel* l = m_panels.value(key);
    return l ? l->text() : QString();
}

void Master::setPanelText(const QString& key, const QString& text)
{
    if (QLabel* l = m_panels.value(key); l && l->text() != text)
        l->setText(text);
}

void Master::setStatusString(const QString& text) { m_model.setStatusText(text); }

// --- Load -----------------------------------------------------------------

bool Master::mixerAvailable() { return !QStandardPaths::findExecutable(QStringLiteral("pavucontrol")).isEmpty(); }

void Master::load(const QString& commandLine)
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
    MultipleImageFrameRate->clear();
    for (int i = 1; i <= kSeriesMovieRates; ++i)
        MultipleImageFrameRate->addItem(withBlank(i) + QStringLiteral(" FPS"));
    MultipleImageFrameRate->setCurrentIndex(10);
    // 7. First entries, manual trigger.
    MultipleImageMode->setCurrentIndex(-1);
    MultipleImageMode->setCurrentIndex(0);
    for (QComboBox* c : {ImageTimePosition, ImageDatePosition, ImageTextPosition, MultipleImageTimePosition,
                         MultipleImageDatePosition, MultipleImageTextPosition})
        c->setCurrentIndex(0);
    triggerClicked(QStringLiteral("manual"));
    // 8. Swatches.
    refreshSwatches();
    // 9. Devices: connect the first capture driver of the menu; the menu
    // follows cameras coming and going.
    FillDeviceMenu();
    connect(new DeviceWatcher(this), &DeviceWatcher::changed, this, &Master::devicesChanged);
    const QList<QAction*> entries = DeviceMenu->actions();
    for (int i = 0; i < entries.size(); ++i) {
        const QString key = entries[i]->data().toString();
        if (key == QLatin1String("vfw") || key == QLatin1String("dx") || key == QLatin1String("dv")
            || key == QLatin1String("snappy") || key == QLatin1String("mjpeg")) {
            DeviceMenuCommand(i, key);
            break;
        }
    }
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

void Master::showEvent(QShowEvent* event)
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

void Master::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        MasterBar->show();
}

void Master::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (m_loaded && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
        if (width() < 665 || height() < 480)
            resize(std::max(665, width()), std::max(480, height()));
    }
}

void Master::makeRoomFor(QSize areaSize)
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

void Master::closeEvent(QCloseEvent* event)
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
        if (auto* editor = qobject_cast<Image*>(sub->widget()); editor && !editor->mayDiscard()) {
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

QString Master::visibleBand() const
{
    if (!MoviePanel->isHidden())
        return QStringLiteral("movie");
    if (!ImagePanel->isHidden())
        return QStringLiteral("image");
    if (!MultipleImagePanel->isHidden())
        return QStringLiteral("multiple");
    return {};
}

void Master::showBand(const QString& key)
{
    for (QWidget* band : {MoviePanel, ImagePanel, MultipleImagePanel})
        band->setVisible(band->property("bandKey").toString() == key);
}

void Master::setRecordButton(const QString& image, const QString& caption)
{
    OperationBar->setImageKey(QStringLiteral("record"), image);
    if (!caption.isEmpty()) {
        QAction* a = OperationBar->button(QStringLiteral("record"));
        a->setText(caption);
        a->setIconText(caption);
    }
}

void Master::selectMode(const QString& band, const QString& image, const QString& caption)
{
    setRecordButton(image, caption);
    showBand(band);
    // The group releases the other two.
    MainToolbar->setPressed(band, true);
    // The time limit is on after every selection of Movie mode.
    if (band == QLatin1String("movie"))
        MovieDisableLimit->setChecked(false);
    UpdateFilenameExtension();
    pullSettings();
}

void Master::SelectMovieMode() { selectMode(QStringLiteral("movie"), QStringLiteral("record"), QStringLiteral("Rec/Stop")); }
void Master::SelectImageMode() { selectMode(QStringLiteral("image"), QStringLiteral("pause"), QStringLiteral("Capture")); }
void Master::SelectMultipleMode()
{
    selectMode(QStringLiteral("multiple"), QStringLiteral("record"), QStringLiteral("Rec/Stop"));
}

Master::StampPanel Master::stampPanel(bool series) const
{
    if (series)
        return {MultipleImageToolbar2, MultipleImageTimePosition, MultipleImageDatePosition, MultipleImageTextPosition,
                MultipleImageText};
    return {ImageToolbar, ImageTimePosition, ImageDatePosition, ImageTextPosition, ImageText};
}

void Master::UpdateFilenameExtension()
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
        switch (MultipleImageMode->currentIndex()) {
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

void Master::AllControls(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{
             DeviceToolbar, previewrate, MovieToolbar, MovieFrameRateControl, MovieDisableLimit, MovieHoursControl,
             MovieMinutesControl, MovieSecondsControl, AudioChannels, AudioBits, AudioRate, ImageToolbar,
             MultipleImageMode, TriggerType, MultipleImageHoursControl, MultipleImageMinutesControl,
             MultipleImageSecondsControl, MainToolbar, MoviePanel})
        w->setEnabled(enabled);
}

// --- Panel handlers -------------------------------------------------------

void Master::setMovieFrameRateFromControl(int value)
{
    m_movieFrameRate = value;
    MovieFrameRateDisplay->setText(withBlank(value) + QStringLiteral(" fps"));
}

void Master::frameRateDisplayClicked()
{
    MovieFrameRateControl->setValue(29);
    setMovieFrameRateFromControl(29);
    m_movieFrameRate = 29.97;
    MovieFrameRateDisplay->setText(QStringLiteral(" 29.97 fps"));
    pullSettings();
}

namespace {
// Shows hours, minutes and seconds with two digits each; an all-zero time becomes one second.
void showTimeParts(QSpinBox* h, QSpinBox* m, QSpinBox* s, QLabel* hd, QLabel* md, QLabel* sd)
{
    hd->setText(twoDigits(h->value()));
    md->setText(twoDigits(m->value()));
    sd->setText(twoDigits(s->value()));
    if (h->value() == 0 && m->value() == 0 && s->value() == 0)
        s->setValue(1);
}
} // namespace

void Master::durationChanged()
{
    showTimeParts(MovieHoursControl, MovieMinutesControl, MovieSecondsControl, MovieHoursDisplay, MovieMinutesDisplay,
                  MovieSecondsDisplay);
}

void Master::intervalChanged()
{
    showTimeParts(MultipleImageHoursControl, MultipleImageMinutesControl, MultipleImageSecondsControl,
                  MultipleImageHoursDisplay, MultipleImageMinutesDisplay, MultipleImageSecondsDisplay);
}

void Master::SetAudioCapture(bool on)
{
    MovieToolbar->setPressed(QStringLiteral("audio"), on);
    action(Command::AudioOn)->setChecked(on);
    action(Command::AudioOff)->setChecked(!on);
    AudioChannels->setEnabled(on);
    AudioBits->setEnabled(on);
    AudioRate->setEnabled(on);
}

void Master::triggerClicked(const QString& key)
{
    const bool timer = key == QLatin1String("timer");
    const bool motion = key == QLatin1String("motion");
    const bool manual = !timer && !motion;
    // The group releases the other two.
    TriggerType->setPressed(timer ? QStringLiteral("timer") : motion ? QStringLiteral("motion") : QStringLiteral("manual"),
                            true);
    Shooter->setVisible(manual);
    for (QWidget* w : std::initializer_list<QWidget*>{MultipleImageHoursDisplay, MultipleImageMinutesDisplay,
                                                      MultipleImageSecondsDisplay, MultipleImageHoursControl,
                                                      MultipleImageMinutesControl, MultipleImageSecondsControl})
        w->setVisible(timer);
    MotionLabel->setVisible(motion);
}

void Master::multipleImageModeChanged(int type)
{
    if (type < 0)
        return;
    const bool movie = type == 0;
    const bool files = type >= 1 && type <= 4;
    for (QWidget* w : std::initializer_list<QWidget*>{MultipleImageToolbar2, MultipleImageTimePosition,
                                                      MultipleImageDatePosition, MultipleImageTextPosition,
                                                      MultipleImageText})
        w->setEnabled(!movie);
    MultipleImageFrameRate->setEnabled(movie);
    MultipleImageToolbar->setImageKey(QStringLiteral("filename"), movie ? QStringLiteral("filename") : QStringLiteral("save"));
    MultipleImageToolbar->button(QStringLiteral("filename"))->setEnabled(type != 5);
    for (const char* k : {"writeinfo", "vidcompression"})
        MultipleImageToolbar->button(QString::fromLatin1(k))->setEnabled(movie);
    MultipleImageToolbar->button(QStringLiteral("netset"))->setEnabled(files);
    MultipleImageToolbar->button(QStringLiteral("ftp"))->setEnabled(files);
    MultipleImageToolbar->button(QStringLiteral("effects"))->setEnabled(!movie);
    // The information is written into AVI files only.
    MultipleImageToolbar->button(QStringLiteral("otherinfo"))->setEnabled(movie && m_otherInfoReady);

    if (type == 5) {
        setPanelText(QStringLiteral("filename"), QString());
        return;
    }
    QString name = m_model.fileName();
    if (!name.isEmpty()) {
        const QString ext = movie ? QStringLiteral(".AVI") : (type == 2 || type == 4) ? QStringLiteral(".JPG") : QStringLiteral(".BMP");
        // A name too short to hold an extension gets one appended instead.
        name = name.size() >= 4 ? name.left(name.size() - 4) + ext : name + ext;
        m_model.setFileName(name);
    }
    setPanelText(QStringLiteral("filename"), QStringLiteral("Filename: ") + name);
}

void Master::enableOtherInfo()
{
    m_otherInfoReady = true;
    MovieToolbar->button(QStringLiteral("otherinfo"))->setEnabled(true);
    MultipleImageToolbar->button(QStringLiteral("otherinfo"))->setEnabled(MultipleImageMode->currentIndex() == 0);
}

void Master::chooseStampColor(int which)
{
    auto field = [which](CaptureSettings& c) -> uint32_t& {
        return which == 0 ? c.TimeColor : which == 1 ? c.DateColor : c.TextColor;
    };
    CaptureSettings now = m_model.settings();
    if (const auto c = dialogs().chooseColor(colorFromPacked(field(now)), this))
        m_model.edit([&](CaptureSettings& s) { field(s) = packedFromColor(*c); });
    refreshSwatches();
}

void Master::refreshSwatches()
{
    ImageTimeColor->setPackedColor(m_model.settings().TimeColor);
    MultipleImageTimeColor->setPackedColor(m_model.settings().TimeColor);
    ImageDateColor->setPackedColor(m_model.settings().DateColor);
    MultipleImageDateColor->setPackedColor(m_model.settings().DateColor);
    ImageTextColor->setPackedColor(m_model.settings().TextColor);
    MultipleImageTextColor->setPackedColor(m_model.settings().TextColor);
}

// --- Model binding --------------------------------------------------------

namespace {

int32_t totalOf(const QSpinBox* h, const QSpinBox* m, const QSpinBox* s)
{
    return static_cast<int32_t>(capturetiming::TotalSeconds(h->value(), m->value(), s->value()));
}

// Sets the three up-downs to a total, one at a time as a user would (each runs its handler).
void showTotal(QSpinBox* h, QSpinBox* m, QSpinBox* s, int32_t total)
{
    if (totalOf(h, m, s) == total)
        return;
    h->setValue(capturetiming::HoursOf(total));
    m->setValue(capturetiming::MinutesOf(total));
    s->setValue(capturetiming::SecondsOf(total));
}

void showIndex(QComboBox* c, int index)
{
    if (index >= 0 && index < c->count() && c->currentIndex() != index)
        c->setCurrentIndex(index);
}

void showPressed(KeyedToolBar* tb, const QString& key, bool pressed)
{
    if (tb->isPressed(key) != pressed)
        tb->setPressed(key, pressed);
}
} // namespace

void Master::bindModel()
{
    // The model is the context: no edit reaches it once it is gone.
    const auto pull = [this] { pullSettings(); };
    for (QComboBox* c : {AudioChannels, AudioBits, AudioRate, MultipleImageMode, MultipleImageFrameRate, previewrate,
                         ImageTimePosition, ImageDatePosition, ImageTextPosition, MultipleImageTimePosition,
                         MultipleImageDatePosition, MultipleImageTextPosition})
        connect(c, qOverload<int>(&QComboBox::currentIndexChanged), &m_model, pull);
    for (QSpinBox* sb : {MovieFrameRateControl, MovieHoursControl, MovieMinutesControl, MovieSecondsControl,
                         MultipleImageHoursControl, MultipleImageMinutesControl, MultipleImageSecondsControl})
        connect(sb, qOverload<int>(&QSpinBox::valueChanged), &m_model, pull);
    connect(MovieDisableLimit, &QCheckBox::toggled, &m_model, pull);
    for (QLineEdit* e : {ImageText, MultipleImageText})
        connect(e, &QLineEdit::textChanged, &m_model, pull);
    const std::pair<KeyedToolBar*, const char*> buttons[] = {
        {MovieToolbar, "audio"},          {MovieToolbar, "writeinfo"},  {MultipleImageToolbar, "writeinfo"},
        {MultipleImageToolbar, "ftp"},    {TriggerType, "manual"},      {TriggerType, "timer"},
        {TriggerType, "motion"},          {ImageToolbar, "time"},       {ImageToolbar, "date"},
        {ImageToolbar, "text"},           {MultipleImageToolbar2, "time"}, {MultipleImageToolbar2, "date"},
        {MultipleImageToolbar2, "text"}};
    for (const auto& [tb, key] : buttons)
        connect(tb->button(QString::fromLatin1(key)), &QAction::toggled, &m_model, pull);
    connect(&m_model, &CaptureModel::settingsChanged, this, &Master::showSettings);
    connect(&m_model, &CaptureModel::statusChanged, this, &Master::showStatus);
    connect(&m_model, &CaptureModel::runStateChanged, this, &Master::showRunState);
    pullSettings();
    showStatus();
}

void Master::pullSettings()
{
    if (m_showingSettings)
        return;
    CaptureSettings c = m_model.settings();
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
    c.Audio = MovieToolbar->isPressed(QStringLiteral("audio"));
    c.AudioChannels = AudioChannels->currentIndex() + 1;
    c.AudioBits = (AudioBits->currentIndex() + 1) * 8;
    const int ri = AudioRate->currentIndex();
    c.AudioRate = ri >= 0 && ri < int(std::size(kAudioRates)) ? kAudioRates[ri] : 0;
    c.MovieAviInfo = MovieToolbar->isPressed(QStringLiteral("writeinfo"));
    c.SeriesAviInfo = MultipleImageToolbar->isPressed(QStringLiteral("writeinfo"));
    c.FrameRate = m_movieFrameRate;
    c.Limit = !MovieDisableLimit->isChecked();
    c.DurationSeconds = totalOf(MovieHoursControl, MovieMinutesControl, MovieSecondsControl);
    c.MultipleImageType = static_cast<int16_t>(MultipleImageMode->currentIndex());
    c.AVIRate = static_cast<int16_t>(MultipleImageFrameRate->currentIndex() + 1);
    for (const bool series : {false, true}) {
        const StampPanel p = stampPanel(series);
        PanelStamps& st = series ? c.SeriesStamps : c.ImageStamps;
        st.InsertTime = p.toolbar->isPressed(QStringLiteral("time"));
        st.InsertDate = p.toolbar->isPressed(QStringLiteral("date"));
        st.InsertText = p.toolbar->isPressed(QStringLiteral("text"));
        st.TimePosition = static_cast<int16_t>(p.timePosition->currentIndex());
        st.DatePosition = static_cast<int16_t>(p.datePosition->currentIndex());
        st.TextPosition = static_cast<int16_t>(p.textPosition->currentIndex());
        st.Text = p.text->text();
    }
    if (TriggerType->isPressed(QStringLiteral("manual")))
        c.Trigger = TriggerKind::Manual;
    else if (TriggerType->isPressed(QStringLiteral("timer")))
        c.Trigger = TriggerKind::Timer;
    else if (TriggerType->isPressed(QStringLiteral("motion")))
        c.Trigger = TriggerKind::Motion;
    else
        c.Trigger.reset();
    c.Interval = totalOf(MultipleImageHoursControl, MultipleImageMinutesControl, MultipleImageSecondsControl);
    c.SendToFTPServer = MultipleImageToolbar->isPressed(QStringLiteral("ftp"));
    m_shownPanels = c;
    m_model.setSettings(c);
}

namespace {
// The fields the panels' controls show (and pullSettings reads back).
auto panelFields(const CaptureSettings& c)
{
    return std::tie(c.Capture, c.PreviewRate, c.Audio, c.AudioChannels, c.AudioBits, c.AudioRate, c.MovieAviInfo,
                    c.SeriesAviInfo, c.FrameRate, c.Limit, c.DurationSeconds, c.MultipleImageType, c.AVIRate,
                    c.ImageStamps, c.SeriesStamps, c.Trigger, c.Interval, c.SendToFTPServer);
}
} // namespace

void Master::showSettings()
{
    if (m_showingSettings)
        return;
    // A change of a field no control shows (the file name, a colour, the
    // device) may come while a control's own handler runs: the controls are
    // then ahead of the model and stay as they are.
    if (panelFields(m_model.settings()) == panelFields(m_shownPanels))
        return;
    m_showingSettings = true;
    const CaptureSettings c = m_model.settings();
    // Each control is set as a user would set it, so its own handler runs.
    showIndex(previewrate, c.PreviewRate - 1);
    if (MovieToolbar->isPressed(QStringLiteral("audio")) != c.Audio)
        SetAudioCapture(c.Audio);
    showIndex(AudioChannels, c.AudioChannels - 1);
    showIndex(AudioBits, c.AudioBits / 8 - 1);
    showIndex(AudioRate, audioRateEntry(c.AudioRate));
    showPressed(MovieToolbar, QStringLiteral("writeinfo"), c.MovieAviInfo);
    showPressed(MultipleImageToolbar, QStringLiteral("writeinfo"), c.SeriesAviInfo);
    if (c.FrameRate != m_movieFrameRate) {
        if (c.FrameRate == 29.97) {
            frameRateDisplayClicked();
        } else {
            MovieFrameRateControl->setValue(static_cast<int>(c.FrameRate));
            // An unchanged up-down fires no change; the rate still follows it (within its range).
            setMovieFrameRateFromControl(MovieFrameRateControl->value());
        }
    }
    if (MovieDisableLimit->isChecked() == c.Limit)
        MovieDisableLimit->setChecked(!c.Limit);
    showTotal(MovieHoursControl, MovieMinutesControl, MovieSecondsControl, c.DurationSeconds);
    showIndex(MultipleImageMode, c.MultipleImageType);
    showIndex(MultipleImageFrameRate, c.AVIRate - 1);
    for (const bool series : {false, true}) {
        const StampPanel p = stampPanel(series);
        const PanelStamps& st = series ? c.SeriesStamps : c.ImageStamps;
        showPressed(p.toolbar, QStringLiteral("time"), st.InsertTime);
        showPressed(p.toolbar, QStringLiteral("date"), st.InsertDate);
        showPressed(p.toolbar, QStringLiteral("text"), st.InsertText);
        showIndex(p.timePosition, st.TimePosition);
        showIndex(p.datePosition, st.DatePosition);
        showIndex(p.textPosition, st.TextPosition);
        if (p.text->text() != st.Text)
            p.text->setText(st.Text);
    }
    if (c.Trigger) {
        const QString key = *c.Trigger == TriggerKind::Timer    ? QStringLiteral("timer")
                          : *c.Trigger == TriggerKind::Motion ? QStringLiteral("motion")
                                                                : QStringLiteral("manual");
        if (!TriggerType->isPressed(key))
            triggerClicked(key);
    }
    showTotal(MultipleImageHoursControl, MultipleImageMinutesControl, MultipleImageSecondsControl, c.Interval);
    showPressed(MultipleImageToolbar, QStringLiteral("ftp"), c.SendToFTPServer);
    m_showingSettings = false;
    // What the controls' handlers made of it (an all-zero time becomes one second).
    pullSettings();
}

void Master::showStatus()
{
    StatusString->setText(m_model.statusText());
    StatusTime->setText(m_model.captureTimeText());
    DroppedString->setText(m_model.droppedText());
    QPalette p = DroppedString->palette();
    if (p.color(QPalette::WindowText) != m_model.droppedColor()) {
        p.setColor(QPalette::WindowText, m_model.droppedColor());
        DroppedString->setPalette(p);
    }
}

void Master::showRunState()
{
    const bool idle = m_model.runState() == RunState::Idle;
    setRecordButton(!idle ? QStringLiteral("stop")
                    : visibleBand() == QLatin1String("image") ? QStringLiteral("pause")
                                                              : QStringLiteral("record"));
}

// --- Devices --------------------------------------------------------------

void Master::FillDeviceMenu()
{
    DeviceMenu->clear();
    if (CaptureWindow::HasDrivers()) {
        const int n = CaptureWindow::CountDrivers();
        for (int i = 0; i < n; ++i)
            DeviceMenu->addAction(CaptureWindow::GetDriverName(i))->setData(QStringLiteral("vfw"));
    } else {
        QAction* a = DeviceMenu->addAction(QStringLiteral("no MSVIDEO devices detected"));
        a->setData(QStringLiteral("menu"));
        a->setEnabled(false);
    }
    DeviceMenu->addSeparator();
    DeviceMenu->addAction(QStringLiteral("Video Device Information..."))->setData(QStringLiteral("info"));
    DeviceMenu->addAction(QStringLiteral("Disconnect driver to unplug external device"))->setData(QStringLiteral("unplug"));
}

void Master::devicesChanged()
{
    // The connected device keeps its place in the state under its new index.
    const QString current = CaptureWindow::GetDriverName(m_model.settings().DeviceIndex);
    driverCatalogue().rescan();
    for (int i = 0, n = CaptureWindow::CountDrivers(); i < n; ++i)
        if (CaptureWindow::GetDriverName(i) == current) {
            m_model.edit([i](CaptureSettings& c) { c.DeviceIndex = i; });
            break;
        }
    FillDeviceMenu();
}

void Master::DeviceMenuCommand(int index, const QString& key)
{
    if (key == QLatin1String("vfw")) {
        m_videoScreen->Disconnect();
        m_model.edit([index](CaptureSettings& c) { c.DeviceIndex = index; });
        m_videoScreen->ConnectionTag = QStringLiteral("vfw");
        m_videoScreen->Initialize();
        updateViewButtons();
    } else if (key == QLatin1String("unplug")) {
        m_videoScreen->setWindowTitle(QStringLiteral("Disconnected"));
        m_videoScreen->Disconnect();
        dialogs().message(QStringLiteral("Device Driver Disconnected.\r\nCan be now removed if is a USB device..."),
                          Dialogs::Icon::Information, Dialogs::Buttons::Ok, {}, this);
    } else if (key == QLatin1String("info")) {
        emit commandRequested(Command::DeviceInfo);
    }
}

void Master::TakeFilenameFromVideoWindow()
{
    m_model.setFileName(m_videoScreen->GetFilename());
    if (m_model.fileName().toLower() == QLatin1String("error"))
        m_model.setFileName(m_model.programDirectory() + QStringLiteral("lumivark.avi"));
}

void Master::refreshResolutionPanel() { m_videoScreen->RefreshWindow(); }

void Master::viewMode(bool overlay)
{
    if (overlay)
        m_videoScreen->Overlay();
    else
        m_videoScreen->Preview(m_model.settings().PreviewRate);
    updateViewButtons();
}

void Master::updateViewButtons()
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

void Master::PreviewRateClicked(int index)
{
    m_model.edit([index](CaptureSettings& c) { c.PreviewRate = static_cast<int16_t>(index + 1); });
    m_videoScreen->Preview(m_model.settings().PreviewRate);
    updateViewButtons();
}

void Master::FullScreen(bool fromButton)
{
    if (fromButton)
        setStatusString(QStringLiteral("Fullscreen..."));
    dispatch(Command::FullScreen);
    if (fromButton)
        setStatusString(QString());
}

void Master::RecordButtonClicked()
{
    dispatch(Command::Record);
}

// --- Timers ---------------------------------------------------------------

void Master::masterTimerTick()
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
        if (QLabel* panel = m_panels.value(QStringLiteral("filesize")); panel && panel->toolTip() != tip)
            panel->setToolTip(tip);
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

void Master::masterTimer2Tick()
{
    const bool statusExpires = m_model.statusColor() != QColor(255, 255, 255);
    if (m_model.expireStatus()) {
        if (statusExpires)
            StatusCaption->setText(QStringLiteral("Status:"));
        MasterTimer2.stop();
    }
}

// --- A movie recording ------------------------------------------------------

void Master::watchRecording(MovieRecording& recording)
{
    connect(&recording, &MovieRecording::started, this, &Master::recordingStarted);
    connect(&recording, &MovieRecording::progress, this,
            [this](uint32_t frames, uint32_t dropped, int64_t, int64_t freeBytes, int64_t) {
                recordingProgress(frames, dropped, freeBytes);
            });
    connect(&recording, &MovieRecording::ended, this, &Master::recordingEnded);
}

void Master::recordingStarted(const QString&, const QString& withoutSound)
{
    m_recordingWithoutSound = withoutSound;
    m_recordingEndPending = false;
    // The time starts at nought; the device's status is taken again with the first recorded frame.
    m_model.setCaptureTimeText(QStringLiteral("00:00:00.00"));
}

void Master::recordingProgress(uint32_t frames, uint32_t dropped, int64_t freeBytes)
{
    if (CaptureWindow* w = m_videoScreen->captureWindow())
        w->GetStatus(m_videoScreen->status());
    m_run.FreeSpaceNow = freeBytes;
    if (m_run.FreeSpaceNow >= m_run.FreeSpaceAtStart)
        m_run.FreeSpaceAtStart = m_run.FreeSpaceNow;
    m_run.EstimatedSize = static_cast<float>(m_run.FreeSpaceAtStart - m_run.FreeSpaceNow);
    setPanelText(QStringLiteral("filesize"),
                 QStringLiteral("Estimated Filesize: ")
                     + withBlank(static_cast<qint64>(m_run.EstimatedSize / 1048576.0f)) + QStringLiteral(" Mb"));
    // A recording that started without the record button (a scheduled or motion start) shows too.
    if (m_model.runState() == RunState::Idle)
        m_model.setRunState(RunState::Recording);
    if (visibleBand() == QLatin1String("multiple")) {
        if (m_model.settings().Trigger == TriggerKind::Manual)
            setStatusString(QString::number(frames) + QStringLiteral(" frames captured"));
    } else {
        // Sound was asked for but no input could give it: the user hears of it now, not at playback.
        setStatusString(m_recordingWithoutSound.isEmpty() ? QStringLiteral("Recording")
                                                          : QStringLiteral("Recording without sound"));
    }
    m_model.setCaptureTimeText(recordingstatus::elapsedText(frames, m_run.FrameRate));
    if (visibleBand() != QLatin1String("movie") || m_model.captureParms().wPercentDropForError < 1) {
        m_model.setDroppedText(QString());
    } else {
        const auto d = recordingstatus::droppedText(frames, dropped, m_model.captureParms().wPercentDropForError);
        m_model.setDropped(d.text, d.color);
    }
}

void Master::recordingEnded(const MovieRecordingResult& result)
{
    if (CaptureWindow* w = m_videoScreen->captureWindow())
        w->GetStatus(m_videoScreen->status());
    if (visibleBand() == QLatin1String("movie") && m_model.runState() == RunState::Recording)
        m_model.setRunState(RunState::Idle);
    m_recordingResult = result;
    m_recordingEndPending = true;
    showRecordingEnd();
}

void Master::showRecordingEnd()
{
    const QString band = visibleBand();
    if (band != QLatin1String("movie") && band != QLatin1String("multiple"))
        return; // shown when one of them is back
    m_recordingEndPending = false;
    const MovieRecordingResult& r = m_recordingResult;
    // The recording wrote the information itself; its outcome is shown here.
    bool infoFailed = false;
    if (r.infoAsked) {
        setStatusString(QStringLiteral("Writing Info"));
        m_model.setInfoWriteFailed(!r.infoWritten);
        if (!r.infoWritten) {
            setStatusString(r.infoError);
            infoFailed = true;
        }
    }
    // A write error, or a failed information write, leaves its reason standing instead of "Stopped".
    if (!r.error.isEmpty())
        setStatusString(QStringLiteral("Recording stopped: ") + r.error);
    else if (!infoFailed)
        setStatusString(QStringLiteral("Stopped"));
    if (r.diskFull)
        setStatusString(QStringLiteral("Recording stopped: the disk is full"));
    if (m_model.runState() == RunState::Recording)
        m_model.setRunState(RunState::Idle);
    MasterTimer2.start();
    if (m_model.preferences().PopUpMovieViewer == QLatin1String("1") && !m_run.ViewerShown) {
        m_run.ViewerShown = true;
        emit commandRequested(Command::PopUpViewer);
    }
}

} // namespace lv
