#include "capture/ui/widgetdevicedialogs.h"

#include "base/ui/okcancel.h"
#include "capture/ui/v4l2dialogs.h"
#include "movie/ui/compressiondialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace lv {

std::optional<TestPatternSettings> WidgetDeviceDialogs::testPatternSource(const TestPatternSettings& current,
                                                                          QWidget* parent)
{
    QDialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Video Source"));
    auto* form = new QFormLayout(&dlg);
    auto* brightness = new QSlider(Qt::Horizontal, &dlg);
    brightness->setObjectName(QStringLiteral("brightness"));
    brightness->setRange(-100, 100);
    auto* pattern = new QComboBox(&dlg);
    pattern->setObjectName(QStringLiteral("pattern"));
    pattern->addItems({QStringLiteral("Moving"), QStringLiteral("Still")});
    brightness->setValue(current.brightness);
    pattern->setCurrentIndex(current.still ? 1 : 0);
    form->addRow(QStringLiteral("Brightness:"), brightness);
    form->addRow(QStringLiteral("Pattern:"), pattern);
    form->addRow(okCancelButtons(&dlg));
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    TestPatternSettings n = current;
    n.brightness = brightness->value();
    n.still = pattern->currentIndex() == 1;
    return n;
}

std::optional<TestPatternSettings> WidgetDeviceDialogs::testPatternFormat(const TestPatternSettings& current,
                                                                          QWidget* parent)
{
    QDialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Video Format"));
    auto* form = new QFormLayout(&dlg);
    auto* size = new QComboBox(&dlg);
    size->setObjectName(QStringLiteral("size"));
    for (const QSize& sz : TestPattern::sizes()) {
        size->addItem(QStringLiteral("%1 x %2").arg(sz.width()).arg(sz.height()), sz);
        if (sz == current.size)
            size->setCurrentIndex(size->count() - 1);
    }
    auto* rate = new QSpinBox(&dlg);
    rate->setObjectName(QStringLiteral("rate"));
    rate->setRange(TestPattern::kMinRate, TestPattern::kMaxRate);
    rate->setSuffix(QStringLiteral(" fps"));
    rate->setValue(current.rate);
    form->addRow(QStringLiteral("Frame size:"), size);
    form->addRow(QStringLiteral("Frame rate:"), rate);
    form->addRow(okCancelButtons(&dlg));
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    TestPatternSettings n = current;
    n.size = size->currentData().toSize();
    n.rate = rate->value();
    return n;
}

void WidgetDeviceDialogs::cameraSource(const std::vector<v4l2::ControlInfo>& controls,
                                       const std::function<bool(uint32_t id, int value)>& set, QWidget* parent)
{
    v4l2::SourceDialog dlg(controls, set, parent);
    dlg.exec();
}

std::optional<CameraFormatChoice> WidgetDeviceDialogs::cameraFormat(const std::vector<v4l2::PixelFormatInfo>& formats,
                                                                    const v4l2::CurrentFormat& current,
                                                                    QWidget* parent)
{
    v4l2::FormatDialog dlg(formats, current, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.choice();
}

std::optional<bool> WidgetDeviceDialogs::display(bool scale, QWidget* parent)
{
    QDialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Video Display"));
    auto* layout = new QVBoxLayout(&dlg);
    auto* box = new QCheckBox(QStringLiteral("Scale the picture to the window"), &dlg);
    box->setObjectName(QStringLiteral("scale"));
    box->setChecked(scale);
    layout->addWidget(box);
    layout->addWidget(okCancelButtons(&dlg));
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return box->isChecked();
}

std::optional<CodecChoice> WidgetDeviceDialogs::compression(QWidget* parent, MovieContainer container)
{
    CompressionDialog dialog(parent, savedCodecChoice(container), CompressionDialog::Purpose::Recording, container);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.choice();
}

} // namespace lv
