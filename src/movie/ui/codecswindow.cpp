#include "movie/ui/codecswindow.h"

#include "base/dialogs.h"
#include "movie/compressorlist.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lv {

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

} // namespace lv
