#pragma once

#include "movie/codeccatalogue.h"

#include <QDialog>
#include <QStringList>

class QTreeWidget;

namespace lv {

// Names code from the catalogue; a missing catalogue shows "ERROR C100", a
// wrong one "ERROR C101" (critical message boxes) and gives "" or "Error".
// UI thread only.
QString LookUpCodecName(const QString& code, const QString& cataloguePath = codecCatalogueFile(),
                        QWidget* parent = nullptr);

// "Installed Video Compressors": a tree of the driver list's video
// compressors, each with its bits, signature and file. UI thread only.
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

// The video menu's "What Codec...": asks for an AVI file and says which
// codec its first stream uses.
void whatCodec(QWidget* parent);

} // namespace lv
