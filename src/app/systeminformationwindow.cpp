#include "app/systeminformationwindow.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lv {

SystemInformationWindow::SystemInformationWindow(const QString& text, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("sysinfo"));
    setWindowTitle(QStringLiteral("System Information"));
    auto* layout = new QVBoxLayout(this);
    m_text = new QPlainTextEdit(text, this);
    m_text->setObjectName(QStringLiteral("SystemText"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setMinimumSize(720, 420);
    layout->addWidget(m_text);

    auto* row = new QHBoxLayout;
    auto* copy = new QPushButton(QStringLiteral("&Copy"), this);
    copy->setObjectName(QStringLiteral("Copy"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Close"));
    close->setDefault(true);
    row->addWidget(copy);
    row->addStretch();
    row->addWidget(close);
    layout->addLayout(row);
    // The user asked for the clipboard here, so it is the system clipboard.
    connect(copy, &QPushButton::clicked, this, [this] { QGuiApplication::clipboard()->setText(m_text->toPlainText()); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

QString SystemInformationWindow::text() const { return m_text->toPlainText(); }

} // namespace lv
