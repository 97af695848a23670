#pragma once

#include "movie/recompressor.h"
#include "movie/videocodecs.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QSlider;
class QSpinBox;
class QLabel;

namespace lv {

// Chooses a codec among the encoders of this FFmpeg the container holds, and its
// quality: for recordings (the caller saves the choice), or for a
// recompression, where it also offers a key frame every N frames and a data
// rate. UI thread only.
class CompressionDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CompressionDialog)

public:
    enum class Purpose { Recording, Recompression };

    // The list holds what the container can take.
    explicit CompressionDialog(QWidget* parent = nullptr, const CodecChoice& initial = savedCodecChoice(),
                               Purpose purpose = Purpose::Recording, MovieContainer container = MovieContainer::Avi);

    CodecChoice choice() const;
    void setChoice(const CodecChoice& choice);
    // The encoder names in the order the list shows them.
    QStringList listedEncoders() const;
    bool qualityEnabled() const;

    // Recompression only: the choice with key frames and data rate (0 = off).
    RecompressOptions recompressOptions() const;
    void setRecompressOptions(const RecompressOptions& options);

private:
    void updateQualityState();

    QComboBox* m_codec = nullptr;
    QSlider* m_quality = nullptr;
    QLabel* m_qualityText = nullptr;
    QCheckBox* m_keyFramesOn = nullptr;
    QSpinBox* m_keyFrames = nullptr;
    QCheckBox* m_dataRateOn = nullptr;
    QSpinBox* m_dataRate = nullptr;
    std::vector<VideoCodecInfo> m_codecs;
};

} // namespace lv
