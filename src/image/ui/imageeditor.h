#pragma once

#include "image/drawnpicture.h"
#include "image/effects.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QPrinter;
class QStatusBar;
class QToolBar;

namespace lv {

struct StampSettings;

// The image editor: one picture being edited (`MasterImage`), an untouched copy
// (`ResetPicture`), a toolbar and a status bar for progress texts. A plain
// widget: the main window puts it into a QMdiSubWindow and connects
// statusString() to its status label. UI thread only.
class ImageEditor final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ImageEditor)

public:
    explicit ImageEditor(QWidget* parent = nullptr);
    ~ImageEditor() override;

    // The open and save filters of the toolbar's file dialogs.
    static QString openFilter();
    static QString saveFilter();

    DrawnPicture& MasterImage() { return m_picture; }
    const QImage& ResetPicture() const { return m_resetPicture; }
    void setResetPicture(const QImage& picture) { m_resetPicture = picture; }
    // A newly captured frame: it becomes the picture and the reset copy.
    void setNewFrame(const QImage& frame);
    // Stamps MasterImage and shows it; the caller decides whether the stamped
    // picture becomes the reset copy (setResetPicture(MasterImage().drawnImage())).
    void stamp(const StampSettings& settings, int imageNumber);
    // Shows what MasterImage now holds, after drawing on it directly.
    void refresh();

    // "open" without the dialog: loads a bitmap or JPEG file, as its name's
    // ending says; the caption becomes the file's name. On failure shows
    // "Bad file format." (or why the picture is too large) and keeps the
    // picture and caption it had.
    bool loadPictureFile(const QString& fileName);
    // "save" without the dialog: by the name's last three characters, "bmp" or
    // "jpg" (any case); any other ending writes nothing and returns false.
    bool savePictureFile(const QString& fileName);
    void applyEffect(Effect effect);
    void resetImage();
    void putOnClipboard();
    // Prints through the print window on `printer`; false when it cannot print.
    bool printPicture(QPrinter& printer);

    // The JPEG quality used by "save" (the preferences' JpegQuality).
    void setJpegQuality(int quality) { m_jpegQuality = quality; }
    int jpegQuality() const { return m_jpegQuality; }
    // Where "print" prints; by default the system's default printer. Tests
    // hand out a PDF printer. The factory returns null for "no printer".
    using PrinterFactory = std::function<std::unique_ptr<QPrinter>()>;
    void setPrinterFactory(PrinterFactory factory) { m_printerFactory = std::move(factory); }
    // Diffusing's random numbers; by default seeded from the time of day.
    void setRandomSource(UnitRandom random) { m_random = std::move(random); }

    // Effects applied since the picture was captured, loaded or saved.
    bool isModified() const { return m_modified; }
    // Before the picture is replaced or the editor closed: with unsaved
    // edits, asks Save / Discard / Cancel. True when the picture may go
    // (saved or discarded); false when the user keeps it.
    bool mayDiscard();
    // True while that question is on screen.
    bool isAsking() const { return m_asking; }

    void ProgressMessage(const QString& text);
    QString progressText() const;

    QToolBar* toolbar() const { return m_toolbar; }
    QMenu* effectsMenu() const { return m_effectsMenu; }

    // Inside size for a picture: toolbar, 10 pixels, the picture, 10 pixels,
    // the status bar; 40 pixels wider than the picture and never under 240.
    static QSize clientSizeFor(QSize picture, int toolbarHeight, int statusHeight);
    QSize sizeHint() const override;
    void layoutWindow();
    QRect pictureGeometry() const;

signals:
    // Every change of the editor's status text (progress of effects, clipboard).
    void progressMessage(const QString& text);
    // Outcomes for the main window's status label (a failed save).
    void statusString(const QString& text);
    // The unsaved-edits question has been answered (whatever the answer).
    void discardQuestionAnswered();
    // The editor has agreed to close; it is deleted soon after.
    void closing();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void openFromDialog();
    bool saveFromDialog();
    void placeChildren();
    void printFromToolbar();

    DrawnPicture m_picture;
    QImage m_resetPicture;
    QToolBar* m_toolbar = nullptr;   // "Mastertoolbar"
    QMenu* m_effectsMenu = nullptr;
    QLabel* m_label = nullptr;       // "MasterImage"
    QStatusBar* m_status = nullptr;  // "MasterStatus"
    int m_jpegQuality = 75;
    PrinterFactory m_printerFactory;
    UnitRandom m_random;
    bool m_modified = false;
    bool m_asking = false;
};

// The file menu's picture branch: a new, hidden editor holding the picture,
// captioned with the file's name without folder. A picture that cannot be
// loaded gives "Bad file format." (or the size refusal) and no editor: null.
// The caller puts the widget into a QMdiSubWindow and shows it.
ImageEditor* OpenPictureInEditor(const QString& fileName, QWidget* parent = nullptr);

} // namespace lv
