#include "settings/ui/otherinfo.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>

namespace lv {

const std::array<QString, 6>& aviInfoNames()
{
    static const std::array<QString, 6> names = {QStringLiteral("Copyright"), QStringLiteral("Artist"),
                                                 QStringLiteral("Subject"),   QStringLiteral("Product"),
                                                 QStringLiteral("Source"),    QStringLiteral("Comments")};
    return names;
}

OtherInfo::OtherInfo(AviInfoTexts& fields, QWidget* parent)
    : QDialog(parent), m_fields(fields)
{
    setObjectName(QStringLiteral("OtherInfo"));
    setWindowTitle(QStringLiteral("Other Information"));

    m_items = new QListWidget(this);
    m_items->setObjectName(QStringLiteral("InfoItems"));
    for (const QString& name : aviInfoNames())
        m_items->addItem(name);
    m_items->setMaximumWidth(120);

    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("TextItems"));

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_items);
    layout->addWidget(m_text, 1, Qt::AlignTop);

    connect(m_items, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0 || row >= int(m_fields.size()))
            return;
        // Showing a field's text is not an edit of it.
        const QSignalBlocker block(m_text);
        m_text->setText(m_fields[static_cast<size_t>(row)]);
    });
    connect(m_text, &QLineEdit::textChanged, this, [this](const QString& text) {
        const int row = m_items->currentRow();
        if (row >= 0 && row < int(m_fields.size()))
            m_fields[static_cast<size_t>(row)] = text;
    });
    m_items->setCurrentRow(0);
}

} // namespace lv
