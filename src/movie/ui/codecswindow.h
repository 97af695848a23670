#pragma once

#include "movie/codeccatalogue.h"
#include "movie/whatcodec.h" // the names the window shows, and the menu's "What Codec..."

#include <QDialog>
#include <QStringList>

class QTreeWidget;

namespace lv {

// "Installed Video Compressors": a tree of the driver list's video
// compressors, each with its bits, signature and file, named by
// LookUpCodecName. UI thread only.
class Codecs final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Codecs)

public:
    explicit Codecs(const QStringList& driverList, const QString& cataloguePath = codecCatalogueFile(),
                    QWidget* parent = nullptr);

    QTreeWidget* tree() const { return m_tree; }

private:
    QTreeWidget* m_tree = nullptr;
};

// The video menu's "Video Codecs": the notice, then the codecs window of the
// installed FFmpeg's encoders, modal.
void showVideoCodecs(QWidget* parent);

} // namespace lv
