#pragma once

#include "movie/videocodecs.h"

#include <QDialog>

class QComboBox;
class QSlider;
class QLabel;

namespace lv {

// Chooses the recording codec among the AVI-capable encoders of this FFmpeg
// and its quality. Starts from the saved choice; the caller saves the
// result. UI thread only.
class CompressionDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CompressionDialog)

public:
    explicit CompressionDialog(QWidget* parent = nullptr, const CodecChoice& initial = savedCodecChoice());

    CodecChoice choice() const;
    void setChoice(const CodecChoice& choice);
    // The encoder names in the order the list shows them.
    QStringList listedEncoders() const;
    bool qualityEnabled() const;

private:
    void updateQualityState();

    QComboBox* m_codec = nullptr;
    QSlider* m_quality = nullptr;
    QLabel* m_qualityText = nullptr;
};

} // namespace lv
