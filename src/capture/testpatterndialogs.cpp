// The test pattern's own device dialogs; only in builds with Qt Widgets.
#include "capture/testpatterndriver.h"
#include "base/okcancel.h"

#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QSlider>
#include <QSpinBox>

namespace lv {

bool TestPatternDriver::showSourceDialog(QWidget* parent)
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
    const TestPatternSettings s = settings();
    brightness->setValue(s.brightness);
    pattern->setCurrentIndex(s.still ? 1 : 0);
    form->addRow(QStringLiteral("Brightness:"), brightness);
    form->addRow(QStringLiteral("Pattern:"), pattern);
    form->addRow(okCancelButtons(&dlg));
    if (dlg.exec() == QDialog::Accepted) {
        TestPatternSettings n = settings();
        n.brightness = brightness->value();
        n.still = pattern->currentIndex() == 1;
        setSettings(n);
    }
    return true;
}

bool TestPatternDriver::showFormatDialog(QWidget* parent)
{
    QDialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Video Format"));
    auto* form = new QFormLayout(&dlg);
    auto* size = new QComboBox(&dlg);
    size->setObjectName(QStringLiteral("size"));
    const TestPatternSettings s = settings();
    for (const QSize& sz : TestPattern::sizes()) {
        size->addItem(QStringLiteral("%1 x %2").arg(sz.width()).arg(sz.height()), sz);
        if (sz == s.size)
            size->setCurrentIndex(size->count() - 1);
    }
    auto* rate = new QSpinBox(&dlg);
    rate->setObjectName(QStringLiteral("rate"));
    rate->setRange(TestPattern::kMinRate, TestPattern::kMaxRate);
    rate->setSuffix(QStringLiteral(" fps"));
    rate->setValue(s.rate);
    form->addRow(QStringLiteral("Frame size:"), size);
    form->addRow(QStringLiteral("Frame rate:"), rate);
    form->addRow(okCancelButtons(&dlg));
    if (dlg.exec() == QDialog::Accepted) {
        TestPatternSettings n = settings();
        n.size = size->currentData().toSize();
        n.rate = rate->value();
        setSettings(n);
    }
    return true;
}

} // namespace lv
