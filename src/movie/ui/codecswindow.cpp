#include "movie/ui/codecswindow.h"

#include "base/dialogs.h"
#include "movie/compressorlist.h"
#include "movie/moviecodeccheck.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lv {

QString LookUpCodecName(const QString& code, const QString& cataloguePath, QWidget* parent)
{
    const CodecLookup found = lookUpCodec(cataloguePath, code);
    if (found.status == CodecLookup::Status::NoFile)
        dialogs().message(QStringLiteral("ERROR C100: Can't find CODEC Information file."), Dialogs::Icon::Error,
                          Dialogs::Buttons::Ok, {}, parent);
    else if (found.status == CodecLookup::Status::BadHeader)
        dialogs().message(QStringLiteral("ERROR C101: Error in Script Alpha."), Dialogs::Icon::Error,
                          Dialogs::Buttons::Ok, {}, parent);
    return found.text;
}

Codecs::Codecs(const QStringList& driverList, const QString& cataloguePath, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("codecs"));
    setWindowTitle(QStringLiteral("Installed Video Compressors"));
    auto* layout = new QVBoxLayout(this);
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("TreeView1"));
    m_tree->setHeaderHidden(true);
    m_tree->setMinimumSize(360, 320);
    layout->addWidget(m_tree);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setObjectName(QStringLiteral("Command1"));
    row->addWidget(exit);
    layout->addLayout(row);
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);

    const auto nodes = compressorTree(driverList, [&](const QString& code) {
        return LookUpCodecName(code, cataloguePath, this);
    });
    for (const CompressorNode& n : nodes) {
        auto* top = new QTreeWidgetItem(m_tree, {n.name});
        top->setData(0, Qt::UserRole, n.code);
        for (const QString& d : n.details)
            new QTreeWidgetItem(top, {d});
    }
}

void showVideoCodecs(QWidget* parent)
{
    dialogs().message(QStringLiteral("This will browse all Compressors/Decompressors of all Multimedia formats\n"
                                     "May not correspond to the CODECs for Video Capture.\n"
                                     "The list shows the video encoders of the installed FFmpeg."),
                      Dialogs::Icon::Information, Dialogs::Buttons::Ok, {}, parent);
    Codecs window(ffmpegDriverList(), codecCatalogueFile(), parent);
    window.exec();
}

void whatCodec(QWidget* parent)
{
    const QString name = dialogs().openFile(QStringLiteral("Open AVI"),
                                            QStringLiteral("Movie Files (*.avi;*.mkv;*.mp4)|*.avi;*.mkv;*.mp4|"
                                                           "All Files (*.*)|*.*|"),
                                            {}, parent);
    if (name.isEmpty())
        return;
    const MovieCodecCheck check = checkMovieFile(name);
    QString codecName;
    if (check.result == MovieCodecCheck::Result::Compressed)
        codecName = LookUpCodecName(check.code.toUpper(), codecCatalogueFile(), parent);
    dialogs().message(movieCodecMessage(name, check, codecName),
                      check.result == MovieCodecCheck::Result::Compressed
                              || check.result == MovieCodecCheck::Result::Uncompressed
                              || check.result == MovieCodecCheck::Result::Named
                          ? Dialogs::Icon::Information
                          : Dialogs::Icon::Warning,
                      Dialogs::Buttons::Ok, {}, parent);
}

} // namespace lv
