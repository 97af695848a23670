#include "image/ui/imageeditor.h"
#include "base/commandicons.h"

#include "base/dialogs.h"
#include "base/ui/subwindowfit.h"
#include "image/bitmapfile.h"
#include "image/imagelog.h"
#include "image/jpegoutput.h"
#include "image/ui/printtarget.h"
#include "image/stamping.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <memory>

namespace lv {

namespace {

struct EffectEntry {
    const char* key;
    const char* text;
    Effect effect;
};

constexpr EffectEntry kEffects[] = {
    {"flip", "Flip Horizontal", Effect::FlipHorizontal}, {"mirror", "Flip Vertical", Effect::FlipVertical},
    {"greyscale", "Greyscale", Effect::Grayscaling},     {"negative", "Negative Image", Effect::Inverting},
    {"soften", "Soften", Effect::Softening},             {"sharpen", "Sharpen", Effect::Sharpening},
    {"diffuse", "Diffuse", Effect::Diffusing},           {"emboss", "Emboss", Effect::Embossing},
    {"lighting", "Lighting Effect", Effect::Lighting},   {"solarize", "Solarize", Effect::Solarizing},
};

// The busy pointer for the length of one operation.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

ImageEditor::ImageEditor(QWidget* parent)
    : QWidget(parent), m_toolbar(new QToolBar(this)), m_effectsMenu(new QMenu(this)), m_label(new QLabel(this)),
      m_status(new QStatusBar(this))
{
    setObjectName(QStringLiteral("Image"));
    m_toolbar->setObjectName(QStringLiteral("Mastertoolbar"));
    m_label->setObjectName(QStringLiteral("MasterImage"));
    m_label->setScaledContents(true); // shown smaller when the window has no room for it
    m_status->setObjectName(QStringLiteral("MasterStatus"));
    m_status->setSizeGripEnabled(false);

    auto addButton = [this](const char* key, const char* tip, auto slot) {
        QAction* a = m_toolbar->addAction(QString::fromLatin1(tip));
        a->setObjectName(QString::fromLatin1(key));
        a->setToolTip(QString::fromLatin1(tip));
        a->setIcon(commandIcon(QString::fromLatin1(key)));
        connect(a, &QAction::triggered, this, [this, slot] {
            ProgressMessage(QString()); // every toolbar click starts with an empty status
            (this->*slot)();
        });
        return a;
    };
    addButton("open", "Open Image File", &ImageEditor::openFromDialog);
    addButton("save", "Save Image", &ImageEditor::saveFromDialog);
    QAction* effects = addButton("effects", "Image Effects", &ImageEditor::resetImage);
    QAction* clipboard = addButton("clipboard", "Put on Clipboard", &ImageEditor::putOnClipboard);
    QAction* print = addButton("print", "Print Image", &ImageEditor::printFromToolbar);
    // The editor's own keys work while it has the focus; the main window keeps Ctrl+O and Ctrl+S.
    for (auto [action, key] : {std::pair{clipboard, QKeySequence(QKeySequence::Copy)},
                               std::pair{print, QKeySequence(QKeySequence::Print)}}) {
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }

    for (const EffectEntry& e : kEffects) {
        QAction* a = m_effectsMenu->addAction(QString::fromLatin1(e.text));
        a->setObjectName(QString::fromLatin1(e.key));
        const Effect effect = e.effect;
        connect(a, &QAction::triggered, this, [this, effect] { applyEffect(effect); });
    }
    QAction* reset = m_effectsMenu->addAction(QStringLiteral("Reset Image"));
    reset->setObjectName(QStringLiteral("reset"));
    connect(reset, &QAction::triggered, this, &ImageEditor::resetImage);
    effects->setMenu(m_effectsMenu);
    if (auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(effects)))
        button->setPopupMode(QToolButton::MenuButtonPopup);

    layoutWindow();
}

ImageEditor::~ImageEditor() = default;

QString ImageEditor::openFilter()
{
    return QStringLiteral("All files |*.bmp;*.jpg|Bitmap File (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|");
}

QString ImageEditor::saveFilter()
{
    return QStringLiteral("Bitmap File (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|");
}

void ImageEditor::setNewFrame(const QImage& frame)
{
    m_picture.setFrame(frame);
    m_resetPicture = m_picture.drawnImage();
    m_modified = false;
    refresh();
}

void ImageEditor::stamp(const StampSettings& settings, int imageNumber)
{
    StampImage(m_picture, settings, imageNumber);
    refresh();
}

void ImageEditor::refresh()
{
    m_label->setPixmap(m_picture.isNull() ? QPixmap() : QPixmap::fromImage(m_picture.drawnImage()));
    layoutWindow();
}

bool ImageEditor::loadPictureFile(const QString& fileName)
{
    PictureLoad load;
    {
        BusyCursor busy;
        load = LoadPictureChecked(fileName);
        // A picture that cannot be loaded leaves the one shown before.
        if (!load.image.isNull()) {
            m_picture.setFrame(load.image);
            m_modified = false;
            setWindowTitle(QFileInfo(fileName).fileName());
            refresh();
        }
    }
    if (load.image.isNull()) {
        qCWarning(lcImage) << "cannot load picture" << fileName << load.error;
        dialogs().message(load.tooLarge ? load.error : QStringLiteral("Bad file format."), Dialogs::Icon::Error,
                          Dialogs::Buttons::Ok, {}, this);
        return false;
    }
    return true;
}

bool ImageEditor::savePictureFile(const QString& fileName)
{
    const QString ending = fileName.right(3).toLower();
    bool written = false;
    if (ending == QLatin1String("bmp")) {
        const FileResult saved = SavePictureAsBitmap(m_picture.drawnImage(), fileName);
        written = saved.ok();
        if (!written)
            emit statusString(QStringLiteral("Error writing ") + fileName + QStringLiteral(": ") + saved.reason());
    } else if (ending == QLatin1String("jpg")) {
        const FileResult saved = SaveJPEGFile(m_picture.drawnImage(), fileName, m_jpegQuality,
                                              [this](const QString& s) { emit statusString(s); });
        showFailure(saved, this);
        written = saved.ok();
    } else {
        // The type is told by the name's ending; with any other nothing is written, and the user hears why.
        emit statusString(QStringLiteral("Cannot save ") + fileName
                          + QStringLiteral(": a picture's name must end in .bmp or .jpg"));
        return false;
    }
    if (written) {
        setWindowTitle(QFileInfo(fileName).fileName());
        m_modified = false;
    }
    return written;
}

void ImageEditor::applyEffect(Effect effect)
{
    if (m_picture.isNull())
        return;
    BusyCursor busy;
    ProgressMessage(QString());
    const PixelBuffer source = PixelBuffer::fromImage(m_picture.drawnImage());
    const UnitRandom& random = m_random;
    const PixelBuffer result = runEffect(effect, source, [this](const QString& t) {
        ProgressMessage(t);
        m_status->repaint();
    }, random);
    m_picture.setFrame(result.toImage());
    m_modified = true;
    refresh();
    ProgressMessage(QString());
}

void ImageEditor::resetImage()
{
    m_picture.setFrame(m_resetPicture);
    m_modified = false;
    refresh();
}

bool ImageEditor::mayDiscard()
{
    if (!m_modified)
        return true;
    if (m_asking)
        return false; // one question at a time; the caller waits for its answer
    m_asking = true;
    const auto answer = dialogs().message(QStringLiteral("The picture \"") + windowTitle().trimmed()
                                              + QStringLiteral("\" has unsaved changes. Save them?"),
                                          Dialogs::Icon::Question, Dialogs::Buttons::SaveDiscardCancel, {}, this);
    bool mayGo = false;
    if (answer == Dialogs::Answer::Save)
        mayGo = saveFromDialog(); // a cancelled or failed save keeps the picture
    else if (answer == Dialogs::Answer::Discard)
        mayGo = true;
    if (mayGo)
        m_modified = false;
    m_asking = false;
    emit discardQuestionAnswered();
    return mayGo;
}

void ImageEditor::closeEvent(QCloseEvent* e)
{
    if (!mayDiscard()) {
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
    emit closing();
}

void ImageEditor::putOnClipboard()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(m_picture.drawnImage());
    ProgressMessage(QStringLiteral("Image on Clipboard."));
}

bool ImageEditor::printPicture(QPrinter& printer)
{
    PrintTarget target;
    target.setPicture(m_picture.drawnImage());
    return target.printOn(printer);
}

void ImageEditor::printFromToolbar()
{
    std::unique_ptr<QPrinter> printer;
    if (m_printerFactory) {
        printer = m_printerFactory();
    } else if (const QPrinterInfo info = QPrinterInfo::defaultPrinter(); !info.isNull()) {
        printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }
    if (!printer || !printPicture(*printer))
        ProgressMessage(QStringLiteral("No printer is available."));
}

void ImageEditor::openFromDialog()
{
    if (!mayDiscard())
        return;
    const QString name = dialogs().openFile(QStringLiteral("Open Image File"), openFilter(), {}, this);
    if (!name.isEmpty())
        loadPictureFile(name);
}

bool ImageEditor::saveFromDialog()
{
    const QString name = dialogs().saveFile(QStringLiteral("Save Image"), saveFilter(), windowTitle(), this);
    return !name.isEmpty() && savePictureFile(name);
}

void ImageEditor::ProgressMessage(const QString& text)
{
    if (text.isEmpty())
        m_status->clearMessage();
    else
        m_status->showMessage(text);
    emit progressMessage(text);
}

QString ImageEditor::progressText() const
{
    return m_status->currentMessage();
}

QSize ImageEditor::clientSizeFor(QSize picture, int toolbarHeight, int statusHeight)
{
    return {std::max(picture.width() + 40, 240), toolbarHeight + statusHeight + picture.height() + 20};
}

QSize ImageEditor::sizeHint() const
{
    return clientSizeFor(m_picture.size(), m_toolbar->sizeHint().height(), m_status->sizeHint().height());
}

QRect ImageEditor::pictureGeometry() const
{
    // At its own size, 10 pixels below the toolbar and centred, when the window
    // has room; otherwise as large as fits between toolbar and status bar, keeping its shape.
    const int top = m_toolbar->sizeHint().height() + 10;
    const int bottom = height() - m_status->sizeHint().height() - 10;
    const QSize room(std::max(1, width()), std::max(1, bottom - top));
    QSize shown = m_picture.size();
    if (shown.width() > room.width() || shown.height() > room.height())
        shown = shown.scaled(room, Qt::KeepAspectRatio);
    return {(width() - shown.width()) / 2, top, shown.width(), shown.height()};
}

void ImageEditor::layoutWindow()
{
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub && (sub->isMinimized() || sub->isMaximized()))
        return;
    if (sub) {
        // The window wants the picture's whole size; the area may allow less.
        updateGeometry();
        SubWindowFit::resizeWithin(sub, sub->sizeHint());
    } else {
        resize(sizeHint());
    }
    placeChildren();
}

void ImageEditor::placeChildren()
{
    const int toolbarHeight = m_toolbar->sizeHint().height();
    const int statusHeight = m_status->sizeHint().height();
    m_toolbar->setGeometry(0, 0, width(), toolbarHeight);
    m_label->setGeometry(pictureGeometry());
    m_status->setGeometry(0, height() - statusHeight, width(), statusHeight);
}

void ImageEditor::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    placeChildren();
}

bool ImageEditor::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show)
        layoutWindow();
    return QWidget::event(e);
}

ImageEditor* OpenPictureInEditor(const QString& fileName, QWidget* parent)
{
    auto editor = std::make_unique<ImageEditor>(parent);
    if (!editor->loadPictureFile(fileName))
        return nullptr;
    return editor.release();
}

} // namespace lv
