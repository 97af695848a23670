#pragma once

#include <QDialog>
#include <QString>
#include <array>

class QLineEdit;
class QListWidget;

namespace lv {

// The six movie information fields: Copyright, Artist, Subject, Product,
// Source, Comments.
using AviInfoTexts = std::array<QString, 6>;

// Their names, in that order, as the list shows them and files key them.
const std::array<QString, 6>& aviInfoNames();

// The "Other Information" window: a list of the six fields and one text box.
// Every change of the text is stored at once into the selected field; there is
// no OK or Cancel. fields must outlive the window. UI thread only.
class OtherInfo final : public QDialog {
    Q_OBJECT
public:
    explicit OtherInfo(AviInfoTexts& fields, QWidget* parent = nullptr);

private:
    AviInfoTexts& m_fields;
    QListWidget* m_items;
    QLineEdit* m_text;
};

} // namespace lv
